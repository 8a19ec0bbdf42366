#pragma once

// The notes a player is expected to play: one track of the song over a range, timed.

#include "model/midisong.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reedtab {

/// One note the player should play.
struct ExpectedNote {
    int32_t tick = 0;
    /// When it starts, in ms on the judge's clock.
    double ms = 0.0;
    double durationMs = 0.0;
    int note = 0;
    /// The note's `MidiEvent::fingering` (the way of playing it the user chose).
    std::uint16_t fingering = 0;
};

/// Which notes: a track (-1: `melodyTrack`), the ticks from `from` (when not -1) to before `to`
/// (when not -1), played at `tempoPercent`.
struct ListenRange {
    int track = -1;
    int32_t from = -1;
    int32_t to = -1;
    int tempoPercent = 100;
};

struct ExpectedTrack {
    /// The track the notes come from; -1 when the song has no notes outside channel 10.
    int track = -1;
    /// In time order, one per start tick (the highest of a chord: the melody lies on top);
    /// `ms` counts from the start of the song at the range's tempo.
    std::vector<ExpectedNote> notes;

    /// Moves every note so that the first one starts at `ms`.
    void placeFirstAt(double ms);
};

/// The time of `tick` from the start of the song in ms at `tempoPercent` (the tempo changes in
/// force, 120 beats a minute before the first).
double songMs(const MidiSong& song, int32_t tick, int tempoPercent = 100);

/// The notes of the range; the drum channel's notes are never expected.
ExpectedTrack expectedNotes(const MidiSong& song, const ListenRange& range);

/// A hash of every note of the song (track, channel, key, start and length), as 16 hex digits:
/// it tells the song's scores apart from those of an edited song of the same path.
std::string notesHash(const MidiSong& song);

} // namespace reedtab
