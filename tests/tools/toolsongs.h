#pragma once

// Small songs built note by note for the tool-window tests.

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>

namespace reedtab::testing {

struct SongNote {
    int track;
    int channel;
    int key;
    std::int32_t on;
    std::int32_t off;
};

/// Replaces `song` with `tracks` tracks holding `notes`, ended at `endTick`, notes paired.
inline void buildSong(MidiSong& song, int tracks, std::initializer_list<SongNote> notes,
                      std::int32_t endTick) {
    song.clear();
    song.format = 1;
    song.division = 480;
    for (int i = 0; i < tracks; ++i) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        song.tracks.back()->index = i;
    }
    for (const SongNote& n : notes) {
        song.addEvent(n.on, n.track,
                      makeChannelEvent(static_cast<std::uint8_t>(0x90 | n.channel),
                                       static_cast<std::uint8_t>(n.key), 100));
        song.addEvent(n.off, n.track,
                      makeChannelEvent(static_cast<std::uint8_t>(0x80 | n.channel),
                                       static_cast<std::uint8_t>(n.key), 0));
    }
    for (int i = 0; i < tracks; ++i) {
        song.addEvent(endTick, i, makeEndOfTrackEvent());
    }
    song.repairAllTracks();
    song.rebuildBars();
}

} // namespace reedtab::testing
