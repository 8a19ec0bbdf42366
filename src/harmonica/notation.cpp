#include "harmonica/notation.h"

#include <array>

namespace reedtab {

namespace {

using Names = std::array<const char*, 12>;

struct Scheme {
    const char* title;
    Names names;
};

const std::array<Scheme, 5> kSchemes = {{
    {"C D E F G A B", {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"}},
    {"C D E F G A H", {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "B", "H"}},
    {"DO RE MI FA SOL LA TI",
     {"DO", "DO#", "RE", "MIb", "MI", "FA", "FA#", "SOL", "LAb", "LA", "TIb", "TI"}},
    {"DO RE MI FA SOL LA SI",
     {"DO", "DO#", "RE", "MIb", "MI", "FA", "FA#", "SOL", "LAb", "LA", "SIb", "SI"}},
    {"UT RE MI FA SOL LA TI",
     {"UT", "UT#", "RE", "MIb", "MI", "FA", "FA#", "SOL", "LAb", "LA", "TIb", "TI"}},
}};

std::size_t pitchClass(int note) {
    return static_cast<std::size_t>(((note % 12) + 12) % 12);
}

} // namespace

std::string schemeTitle(int scheme) {
    if (scheme < 0 || scheme > 4) {
        return {};
    }
    return kSchemes[static_cast<std::size_t>(scheme)].title;
}

std::string Notation::noteName(int note) const {
    // A scheme set out of range at run time names notes as the default scheme does.
    const int scheme = settings_.musicNoteType;
    const Scheme& names =
        kSchemes[scheme >= 0 && scheme <= 4 ? static_cast<std::size_t>(scheme) : 0];
    return names.names[pitchClass(note)];
}

std::string Notation::accidental(int note) {
    static constexpr char marks[] = " # b  # b b ";
    return std::string(1, marks[pitchClass(note)]);
}

const HarmonicaLayout* Notation::tabLayout() const {
    switch (settings_.tabMode) {
    case kDiatonicTab:
        return &diatonic_;
    case kChromaticTab:
        return &chromatic_;
    default:
        return nullptr;
    }
}

int Notation::alternativeOf(int note, std::uint16_t fingering) const {
    const HarmonicaLayout* layout = tabLayout();
    return layout ? layout->alternativeOf(note, fingering) : 0;
}

std::uint16_t Notation::fingeringFor(int note, int alternative) const {
    const HarmonicaLayout* layout = tabLayout();
    return layout ? layout->fingeringFor(note, alternative) : 0;
}

int Notation::notate(int note, int alternative, bool plainSymbols, NoteText& out) const {
    out.prefix.clear();
    out.brush.reset();
    out.lowOctave = false;
    out.text = noteName(note);
    out.accidental = accidental(note);
    switch (settings_.tabMode) {
    case kNotesC:
        return alternative > 0 ? -1 : 0;
    case kNotesBb:
    case kNotesEb: {
        const int sounding = settings_.tabMode == kNotesBb ? note + 2 : note - 3;
        out.text = noteName(sounding);
        out.accidental = accidental(sounding);
        return alternative > 0 ? -1 : 0;
    }
    case kDiatonicTab:
        return diatonic_.tabText(note, alternative, out, plainSymbols);
    case kChromaticTab: {
        const int result = chromatic_.tabText(note, alternative, out, plainSymbols);
        if (result == 0 && plainSymbols && out.lowOctave) {
            if (!out.text.empty() && out.text.back() == '<') {
                out.text.back() = '\'';
                out.text += '<';
            } else {
                out.text += '\'';
            }
        }
        return result;
    }
    default:
        out.text = "?";
        return alternative > 0 ? -1 : 0;
    }
}

int Notation::tabTitle(bool shortForm, std::string& text) const {
    switch (settings_.tabMode) {
    case kNotesC:
        text = shortForm ? "" : "C Instrument Notes";
        return 0;
    case kNotesBb:
        text = shortForm ? "" : "Bb Instrument Notes";
        return 0;
    case kNotesEb:
        text = shortForm ? "" : "Eb Instrument Notes";
        return 0;
    case kDiatonicTab:
        text = shortForm ? diatonic_.layoutTitle() : "Diatonic Tab: " + diatonic_.layoutTitle();
        return 0;
    case kChromaticTab:
        text = shortForm ? chromatic_.layoutTitle() : "Chromatic Tab: " + chromatic_.layoutTitle();
        return 0;
    default:
        return -1;
    }
}

const Notation& notation() {
    static const Notation instance(settings(), diatonicLayout(), chromaticLayout());
    return instance;
}

} // namespace reedtab
