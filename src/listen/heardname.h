#pragma once

// Naming a heard pitch the way the player plays it: hole and technique on the current
// harmonica, and how far from that target it lies.

#include "harmonica/notation.h"

#include <cstdint>
#include <string>

namespace reedtab {

/// A heard pitch, named.
struct HeardName {
    int note = -1;
    /// Cents from `note`.
    double cents = 0.0;
    /// The note's label as the staff shows it, with plain + and - ("-3''"); the note's name
    /// when the harmonica cannot play it or the view shows note names.
    std::string tab;
    /// The hole with its blow or draw sign ("-3"); empty when `tab` is a note name.
    std::string hole;
    /// How the hole is played: "blow", "draw", "bent one half step", "bent one whole step",
    /// "bent one and a half steps", "overblow", "overdraw", "valved bend", "blow with the slide
    /// in", "draw with the slide in"; "not on the harmonica" when it cannot be played; empty
    /// for note names.
    std::string technique;

    /// "-3, bent one whole step, 12 cents flat".
    std::string describe() const;
};

/// "12 cents flat", "1 cent sharp", "in tune" (under half a cent).
std::string centsText(double cents);

/// The notes of the hole a heard note is played on, for a bend gauge: a hole whose higher reed
/// bends spans from its deepest bend to that reed's plain note, an over note from the higher
/// reed's note to the over; a note without either (the lower reed, a chromatic hole, a note
/// name) spans itself. MIDI notes, `low` <= `plain`, `high`.
struct HoleSpan {
    int low = -1;
    int high = -1;
    /// The note of the hole unbent.
    int plain = -1;
};

/// Names notes through the layout that the tablature mode of `settings` shows (a note name in
/// the note-name modes). Reads settings and layouts at each call: their thread's.
class HeardNamer {
public:
    HeardNamer(const Settings& settings, const DiatonicLayout& diatonic,
               const ChromaticLayout& chromatic)
        : settings_(settings), diatonic_(diatonic), chromatic_(chromatic),
          notation_(settings, diatonic, chromatic) {}

    /// `note` heard `cents` away from it; `fingering` chooses the way of playing it as a note's
    /// `MidiEvent::fingering` does (0: the preferred one).
    HeardName name(int note, double cents = 0.0, std::uint16_t fingering = 0) const;
    /// Just the label (`HeardName::tab`).
    std::string tab(int note, std::uint16_t fingering = 0) const;
    /// The span of the hole `note` is played on (chosen as `name` chooses it).
    HoleSpan span(int note, std::uint16_t fingering = 0) const;

private:
    const Settings& settings_;
    const DiatonicLayout& diatonic_;
    const ChromaticLayout& chromatic_;
    Notation notation_;
};

} // namespace reedtab
