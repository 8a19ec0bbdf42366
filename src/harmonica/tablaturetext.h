#pragma once

// The displayed tablature of a song as text: what the edit command turns into a text track and
// what reedtab-cli prints. This is the one part of the harmonica module that reads the song
// model.

#include "harmonica/notation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reedtab {

class MidiSong;

/// The notes of one track that start at one tick, as one text.
struct TablatureGroup {
    int32_t tick = 0;
    /// Each note as prefix and text (plain symbols), "/" in front of a note that starts a new
    /// bar, then one blank: "/-4+5 ", "+6 ".
    std::string text;
};

struct TrackTablature {
    int trackIndex = 0;
    std::vector<TablatureGroup> groups;
};

struct SongTablature {
    /// The shown tracks that have notes in the range, in track order.
    std::vector<TrackTablature> tracks;
    /// The note-off tick of the last note converted (its own tick when it has none); -1 when
    /// no note was converted.
    int32_t endTick = -1;
};

/// The tablature of the song's shown tracks (flag bit 0) in the notation's current mode, over
/// the note-ons with `isNote` set and `fromTick` <= tick < `toTick` (-1 leaves that side open).
///
/// Notes at one tick of a track form a group. A note is written with a leading "/" when it lies
/// in another bar than the previous note written for its track, so the first note of every
/// track starts with "/". A note the harmonica cannot play is written by its note name. The
/// caller sets `isNote` first and calls this before adding a track of its own.
SongTablature tablatureText(const MidiSong& song, const Notation& notation, int32_t fromTick,
                            int32_t toTick);

} // namespace reedtab
