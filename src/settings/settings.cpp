#include "settings/settings.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace reedtab {

namespace {

constexpr std::size_t kMaxFaceName = 31;
// The name field of a tuning record holds 63 characters.
constexpr std::size_t kMaxTuningName = 63;
constexpr char kHarpSeparator = '|';

// One stored "NAME@KEY" entry; nullopt when it is not well formed.
std::optional<OwnedHarp> ownedHarp(std::string_view entry) {
    const auto at = entry.rfind('@');
    if (at == std::string_view::npos || at == 0 || at > kMaxTuningName) {
        return std::nullopt;
    }
    const auto key = parseStoredInt(std::string(entry.substr(at + 1)));
    if (!key || *key < 0 || *key > 11) {
        return std::nullopt;
    }
    return OwnedHarp{std::string(entry.substr(0, at)), *key};
}

class Reader {
public:
    explicit Reader(const SettingsStore& store) : store_(store) {}

    void integer(const char* key, int& field, int low, int high) const {
        if (const auto value = store_.readInt(kSettingsSection, key)) {
            if (*value >= low && *value <= high) {
                field = *value;
            }
        }
    }
    template <typename Flag>
    void flag(const char* key, Flag& field) const {
        if (const auto value = store_.readInt(kSettingsSection, key)) {
            if (*value == 0 || *value == 1) {
                field = *value == 1;
            }
        }
    }
    void symbol(const char* key, char& field) const {
        // A blank or control character would be lost between the blanks of a tablature text.
        int value = field;
        integer(key, value, 33, 126);
        field = static_cast<char>(value);
    }
    void colour(const char* key, Rgb& field) const {
        int value = field.stored();
        integer(key, value, 0, 0xFFFFFF);
        field = Rgb::fromStored(value);
    }
    void text(const char* key, std::string& field) const {
        if (const auto value = store_.readString(kSettingsSection, key)) {
            field = *value;
        }
    }
    void harps(const char* key, std::vector<OwnedHarp>& field) const {
        const auto value = store_.readString(kSettingsSection, key);
        if (!value) {
            return;
        }
        field.clear();
        std::string_view rest = *value;
        while (!rest.empty() && field.size() < kMaxOwnedHarps) {
            const auto end = std::min(rest.find(kHarpSeparator), rest.size());
            const auto harp = ownedHarp(rest.substr(0, end));
            if (harp && std::find(field.begin(), field.end(), *harp) == field.end()) {
                field.push_back(*harp);
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    void font(const std::string& prefix, FontSpec& field) const {
        if (const auto face = store_.readString(kSettingsSection, prefix + "FaceName")) {
            if (!face->empty()) {
                field.faceName = face->substr(0, kMaxFaceName);
            }
        }
        integer((prefix + "Height").c_str(), field.height, -1000, 1000);
        integer((prefix + "Weight").c_str(), field.weight, 0, 1000);
        flag((prefix + "Italic").c_str(), field.italic);
    }

private:
    const SettingsStore& store_;
};

class Writer {
public:
    explicit Writer(SettingsStore& store) : store_(store) {}

    void integer(const char* key, int value) { store_.writeInt(kSettingsSection, key, value); }
    void text(const char* key, const std::string& value) {
        store_.writeString(kSettingsSection, key, value);
    }
    void harps(const char* key, const std::vector<OwnedHarp>& harps) {
        std::string value;
        for (const OwnedHarp& harp : harps) {
            if (!value.empty()) {
                value += kHarpSeparator;
            }
            value += harp.tuning + '@' + std::to_string(harp.key);
        }
        text(key, value);
    }
    void font(const std::string& prefix, const FontSpec& font) {
        text((prefix + "FaceName").c_str(), font.faceName);
        integer((prefix + "Height").c_str(), font.height);
        integer((prefix + "Weight").c_str(), font.weight);
        integer((prefix + "Italic").c_str(), font.italic ? 1 : 0);
    }

private:
    SettingsStore& store_;
};

int firstIndexOf(const std::vector<std::string>& names, const std::string& name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

Settings& settings() {
    static Settings block;
    return block;
}

void loadSettings(const SettingsStore& store, Settings& block) {
    const Reader read(store);
    read.integer("tabMode", block.tabMode, 0, 4);
    read.integer("tabStaffSpace", block.tabStaffSpace, 0, 100);
    read.integer("musicNoteType", block.musicNoteType, 0, 4);
    read.font("fontTab", block.fontTab);
    read.font("fontText", block.fontText);
    read.font("fontLyrics", block.fontLyrics);
    read.colour("fontLyricsTxt", block.fontLyricsTxt);
    read.colour("fontLyricsBg", block.fontLyricsBg);
    read.symbol("dblowSym", block.dblowSym);
    read.symbol("ddrawSym", block.ddrawSym);
    read.symbol("dbendSym", block.dbendSym);
    read.symbol("doverSym", block.doverSym);
    read.symbol("cblowSym", block.cblowSym);
    read.symbol("cdrawSym", block.cdrawSym);
    read.symbol("cslideSym", block.cslideSym);
    read.colour("colorSelect", block.colorSelect);
    read.colour("colorPlaySel", block.colorPlaySel);
    read.colour("colorPlayed", block.colorPlayed);
    read.colour("colorNormal1", block.colorNormal1);
    read.colour("colorNormal2", block.colorNormal2);
    read.colour("colorDimmed", block.colorDimmed);
    read.colour("colorBlow", block.colorBlow);
    read.colour("colorDraw", block.colorDraw);
    read.colour("colorOver", block.colorOver);
    read.colour("colorBend", block.colorBend);
    read.colour("colorBlowChro", block.colorBlowChro);
    read.colour("colorDrawChro", block.colorDrawChro);
    read.colour("colorBlowSlide", block.colorBlowSlide);
    read.colour("colorDrawSlide", block.colorDrawSlide);
    read.flag("playMetronome", block.playMetronome);
    read.flag("playCountIn", block.playCountIn);
    read.flag("playLoop", block.playLoop);
    read.flag("offsetsharpsflats", block.offsetsharpsflats);
    read.flag("showPitchBends", block.showPitchBends);
    read.flag("showDrumsNotes", block.showDrumsNotes);
    read.flag("editSnap", block.editSnap);
    read.flag("changeExpr2Vol", block.changeExpr2Vol);
    read.flag("sendMidiSt", block.sendMidiSt);
    read.flag("skipPrgChange", block.skipPrgChange);
    read.text("midiOutDeviceStr", block.midiOutDeviceStr);
    read.text("midiInDeviceStr", block.midiInDeviceStr);
    read.text("soundFont", block.soundFont);
    read.integer("autosaveSeconds", block.autosaveSeconds, 0, 86400);
    read.integer("printTabSpace", block.printTabSpace, 0, 100);
    read.flag("printTrebleClef", block.printTrebleClef);
    read.flag("printBassClef", block.printBassClef);
    read.flag("printNoColorBars", block.printNoColorBars);
    read.integer("printBeatsPerLine", block.printBeatsPerLine, 1, 48);
    read.harps("myHarps", block.myHarps);
    read.text("listenInput", block.listenInput);
    read.integer("concertPitch", block.concertPitch, 430, 450);
    read.integer("listenTolerance", block.listenTolerance, 10, 100);
    read.integer("listenOffsetMs", block.listenOffsetMs, -500, 500);
    read.flag("listenWait", block.listenWait);
    read.colour("colorHit", block.colorHit);
    read.colour("colorWrong", block.colorWrong);
    read.colour("colorMissed", block.colorMissed);
    read.colour("colorHeard", block.colorHeard);
}

void saveSettings(SettingsStore& store, unsigned groups, const Settings& block) {
    Writer write(store);
    write.integer("tabMode", block.tabMode);
    if (groups & kSaveDiatonicSymbols) {
        write.integer("dblowSym", block.dblowSym);
        write.integer("ddrawSym", block.ddrawSym);
        write.integer("dbendSym", block.dbendSym);
        write.integer("doverSym", block.doverSym);
    }
    if (groups & kSaveChromaticSymbols) {
        write.integer("cblowSym", block.cblowSym);
        write.integer("cdrawSym", block.cdrawSym);
        write.integer("cslideSym", block.cslideSym);
    }
    if (groups & kSaveFonts) {
        write.font("fontTab", block.fontTab);
        write.font("fontText", block.fontText);
    }
    if (groups & kSaveLyrics) {
        write.font("fontLyrics", block.fontLyrics);
        write.integer("fontLyricsTxt", block.fontLyricsTxt.stored());
        write.integer("fontLyricsBg", block.fontLyricsBg.stored());
    }
    if (groups & kSavePlayer) {
        write.integer("playMetronome", block.playMetronome ? 1 : 0);
        write.integer("playCountIn", block.playCountIn ? 1 : 0);
        write.integer("playLoop", block.playLoop ? 1 : 0);
        write.integer("musicNoteType", block.musicNoteType);
        write.integer("offsetsharpsflats", block.offsetsharpsflats ? 1 : 0);
        write.integer("showPitchBends", block.showPitchBends ? 1 : 0);
        write.integer("showDrumsNotes", block.showDrumsNotes ? 1 : 0);
        write.integer("editSnap", block.editSnap ? 1 : 0);
        write.integer("changeExpr2Vol", block.changeExpr2Vol ? 1 : 0);
        write.integer("sendMidiSt", block.sendMidiSt ? 1 : 0);
        write.integer("skipPrgChange", block.skipPrgChange ? 1 : 0);
        // An index outside the lists (devices unplugged since) writes the fallback names.
        const int out = block.outputDeviceIndex + 1;
        const auto& outputs = block.outputDeviceNames;
        write.text("midiOutDeviceStr", out >= 1 && out < static_cast<int>(outputs.size())
                                           ? outputs[static_cast<std::size_t>(out)]
                                           : std::string(kMidiMapperName));
        const int in = block.inputDeviceIndex;
        const auto& inputs = block.inputDeviceNames;
        write.text("midiInDeviceStr", in >= 0 && in < static_cast<int>(inputs.size())
                                          ? inputs[static_cast<std::size_t>(in)]
                                          : std::string(kNoMidiInputName));
        write.text("soundFont", block.soundFont);
        write.integer("autosaveSeconds", block.autosaveSeconds);
    }
    if (groups & kSavePrint) {
        write.integer("printTrebleClef", block.printTrebleClef ? 1 : 0);
        write.integer("printBassClef", block.printBassClef ? 1 : 0);
        write.integer("printNoColorBars", block.printNoColorBars ? 1 : 0);
        write.integer("printBeatsPerLine", block.printBeatsPerLine);
    }
    if (groups & kSaveHarps) {
        write.harps("myHarps", block.myHarps);
    }
    if (groups & kSaveListen) {
        write.text("listenInput", block.listenInput);
        write.integer("concertPitch", block.concertPitch);
        write.integer("listenTolerance", block.listenTolerance);
        write.integer("listenOffsetMs", block.listenOffsetMs);
        write.integer("listenWait", block.listenWait ? 1 : 0);
        write.integer("colorHit", block.colorHit.stored());
        write.integer("colorWrong", block.colorWrong.stored());
        write.integer("colorMissed", block.colorMissed.stored());
        write.integer("colorHeard", block.colorHeard.stored());
    }
}

void resolveDevices(const std::vector<std::string>& outputNames,
                    const std::vector<std::string>& inputNames, Settings& block) {
    const int out = firstIndexOf(outputNames, block.midiOutDeviceStr);
    block.outputDeviceIndex = out <= 0 ? -1 : out - 1;
    block.inputDeviceIndex = firstIndexOf(inputNames, block.midiInDeviceStr);
    block.outputDeviceNames = outputNames;
    block.inputDeviceNames = inputNames;
}

} // namespace reedtab
