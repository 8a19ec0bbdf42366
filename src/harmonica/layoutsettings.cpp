#include "harmonica/layoutsettings.h"

#include "settings/settings.h"

namespace reedtab {

namespace {

// The built-in entry named `text`, else the custom entry when `text` is a loadable tuning
// file, else `fallback`.
int restoreTuning(HarmonicaLayout& layout, const std::string& text, int fallback) {
    if (text.empty()) {
        return fallback;
    }
    for (int i = 0; i < layout.customIndex(); ++i) {
        if (layout.tuningName(i) == text) {
            return i;
        }
    }
    return layout.loadTuningFile(text) == 0 ? layout.customIndex() : fallback;
}

int restoreKey(const SettingsStore& store, const char* key, int fallback, int low, int high) {
    if (fallback < low || fallback > high) {
        fallback = 60;
    }
    const int value = store.readInt(kWindowSection, key).value_or(fallback);
    return value >= low && value <= high ? value : fallback;
}

void saveLayout(SettingsStore& store, const HarmonicaLayout& layout, const char* tuningKey,
                const char* keyKey) {
    const bool custom = layout.tuningIndex() == layout.customIndex();
    store.writeString(kWindowSection, tuningKey,
                      custom ? layout.customTuningPath() : layout.tuningName(layout.tuningIndex()));
    store.writeInt(kWindowSection, keyKey, layout.key());
}

} // namespace

void restoreLayouts(const SettingsStore& store, DiatonicLayout& diatonic,
                    ChromaticLayout& chromatic) {
    const int diatonicTuning =
        restoreTuning(diatonic, store.readString(kWindowSection, "DiatonicTuning").value_or(""), 0);
    const int offset = diatonic.tuningAt(diatonicTuning)->keyOffset;
    const int diatonicKey = restoreKey(store, "DiatonicKey", diatonic.key(),
                                       kDiatonicKeyLow - offset, kDiatonicKeyHigh - offset);
    diatonic.build(diatonicKey, diatonicTuning);

    const int chromaticTuning = restoreTuning(
        chromatic,
        store.readString(kWindowSection, "ChromaticTuning").value_or("12 Hole Chromatic (std 48)"),
        0);
    chromatic.build(
        restoreKey(store, "ChromaticKey", diatonicKey, kChromaticKeyLow, kChromaticKeyHigh),
        chromaticTuning);
}

void saveLayouts(SettingsStore& store, const DiatonicLayout& diatonic,
                 const ChromaticLayout& chromatic) {
    saveLayout(store, diatonic, "DiatonicTuning", "DiatonicKey");
    saveLayout(store, chromatic, "ChromaticTuning", "ChromaticKey");
}

} // namespace reedtab
