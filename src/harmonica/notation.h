#pragma once

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "settings/settings.h"

#include <string>

namespace reedtab {

/// Tablature modes, the setting `tabMode`.
enum TabMode : int {
    kNotesC = 0,
    kDiatonicTab = 1,
    kChromaticTab = 2,
    kNotesBb = 3,
    kNotesEb = 4,
};

/// Title of a note-name scheme 0..4 ("C D E F G A B" ...); empty outside.
std::string schemeTitle(int scheme);

/// The text every note is labelled with: tablature in the harmonica modes, the note name in
/// the others, after the settings `tabMode`, `musicNoteType` and the user's symbols.
/// Reads settings and layouts at each call (GUI thread).
class Notation {
public:
    Notation(const Settings& settings, const DiatonicLayout& diatonic,
             const ChromaticLayout& chromatic)
        : settings_(settings), diatonic_(diatonic), chromatic_(chromatic) {}

    /// The name of the note's pitch class (taken in 0..11) in the current scheme.
    std::string noteName(int note) const;
    /// " " for the naturals, "#" for pitch classes 1 and 6, "b" for 3, 8 and 10.
    static std::string accidental(int note);
    /// The key name of a pitch class ("C", "Db", ... "B").
    static std::string keyName(int pitchClass) { return HarmonicaLayout::keyName(pitchClass); }
    /// The notation of alternative `alternative` of a note. Returns 0, or -1 when the
    /// alternative does not exist or the note has no tablature (then the text is the note name
    /// and, in a tablature mode, the brush the layout's dimmed one). With `plainSymbols` the
    /// blow and draw prefixes are "+" and "-", and a chromatic low-octave hole is marked with
    /// an apostrophe (3' and 3'<).
    int notate(int note, int alternative, bool plainSymbols, NoteText& out) const;
    /// The alternative a note's chosen fingering stands for on the harmonica of the current
    /// mode; 0 (the preferred one) in the note-name modes and when none applies.
    int alternativeOf(int note, std::uint16_t fingering) const;
    /// The fingering value that chooses alternative `alternative` of a note on the harmonica of
    /// the current mode; 0 for the preferred one and in the note-name modes.
    std::uint16_t fingeringFor(int note, int alternative) const;
    /// `notate` with the alternative the note's fingering chooses.
    int notateChosen(int note, std::uint16_t fingering, bool plainSymbols, NoteText& out) const {
        return notate(note, alternativeOf(note, fingering), plainSymbols, out);
    }
    /// Title of the current mode: full ("Diatonic Tab: ...") or short (the description, empty
    /// for note names). Returns 0, or -1 (text untouched) for a mode outside 0..4.
    int tabTitle(bool shortForm, std::string& text) const;

private:
    /// The harmonica of the current mode; null in the note-name modes.
    const HarmonicaLayout* tabLayout() const;

    const Settings& settings_;
    const DiatonicLayout& diatonic_;
    const ChromaticLayout& chromatic_;
};

/// The notation over the process-wide settings and layouts (`settings()`, `diatonicLayout()`,
/// `chromaticLayout()`). It sees a tuning or key change only when the program changes those
/// very layouts: a layout object of one's own needs a `Notation` of its own.
const Notation& notation();

} // namespace reedtab
