#pragma once

// Fingerings chosen for a whole phrase: for every note one of the ways the harmonica plays it,
// so that the phrase as a whole is the least effort. Each note costs its technique (a bend, an
// overblow, the slide) and each step from one note to the next costs the holes the mouth moves,
// a change of breath and a change of the slide. Notes that start together are a chord and keep
// to ways that can sound together when there are any. The optimum is exact: dynamic
// programming over the notes in time order. docs/fingerings.md gives the weights and why.

#include "harmonica/harmonicalayout.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace reedtab {

/// The effort of each part of playing a phrase, in points.
struct FingeringWeights {
    double holeMove = 1.0;     ///< per hole the mouth moves between consecutive notes
    double breathChange = 1.5; ///< blow after draw or draw after blow
    double slideChange = 1.0;  ///< the chromatic slide pushed in or let go
    double slideIn = 0.5;      ///< a note played with the slide in
    std::array<double, 3> bend = {3.0, 5.0, 7.0}; ///< a bend by one, two or three half steps
    double valvedBend = 3.0;
    double over = 8.0;                ///< an overblow or overdraw
    double otherThanPreferred = 0.01; ///< breaks ties towards the usual way of a note
    double avoided = 1000.0;          ///< added to a technique the player asked to avoid
    double afterRest = 0.5;           ///< moves to a note after a rest count this much
};

struct FingeringOptions {
    bool avoidBends = false;     ///< bends (valved ones too) only where nothing else plays it
    bool avoidOverblows = false; ///< overblows and overdraws likewise
    /// Ticks of silence before a note that make it a note after a rest (a beat: the song's
    /// division); 0: no note counts as one.
    int32_t restTicks = 0;
    FingeringWeights weights;
};

/// One note of a phrase.
struct PhraseNote {
    int32_t tick = 0; ///< start; notes with the same start form a chord
    int32_t end = 0;  ///< where it stops sounding
    int key = 0;      ///< MIDI note
};

/// For each note, the index of the alternative (in `layout.noteMap(key)`) that the least costly
/// way of playing the whole phrase uses; -1 for a note the harmonica does not play. The notes
/// may come in any order.
///
/// A chord keeps to combinations that sound together (one breath, one slide position, no bend
/// or over, different holes within four neighbouring holes) when it has any; a chord with none
/// plays each note its least costly way.
std::vector<int> bestAlternatives(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                                  const FingeringOptions& options);

/// The cost of playing the phrase with `alternatives` (one per note, -1 for the notes the
/// harmonica does not play), as `bestAlternatives` counts it.
double phraseCost(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                  std::span<const int> alternatives, const FingeringOptions& options);

/// The cost of playing one note one way, without the moves to and from it.
double techniqueCost(const Playing& playing, int alternative, const FingeringOptions& options);

/// Whether the ways in `playings` (two or more) can sound together as one chord.
bool soundTogether(std::span<const Playing> playings);

} // namespace reedtab
