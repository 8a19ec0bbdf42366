#pragma once

// The Standard MIDI File form of events, piece by piece: the data of one track chunk written
// event by event, and a whole file put together from such data. `MidiSong::saveFile` writes
// with these; the document keeps its undo images and its clip in the same form.

#include "model/midievent.h"

#include <cstdint>
#include <span>
#include <string>

namespace reedtab {

class MidiTrack;

/// Writes the data of one track chunk (without the chunk's tag and length).
class TrackWriter {
public:
    /// Appends `event` at `tick`: its delta time, the fingering event of a note-on that has one,
    /// and the message. A tick earlier than the last one written is written at that one's time
    /// (a negative delta has no file form). An event of the base kind is left out.
    void add(int32_t tick, const MidiEvent& event);
    /// The data written so far; the writer then starts again from tick 0.
    std::string take();

private:
    std::string out_;
    int64_t previous_ = 0;
};

/// The chunk data of `track`, every event at its own tick.
std::string trackData(const MidiTrack& track);

/// A Standard MIDI File: the header with `format` and `division`, then one track chunk for each
/// entry of `chunks` (chunk data as `TrackWriter` makes it).
std::string smfFile(int format, int division, std::span<const std::string> chunks);

} // namespace reedtab
