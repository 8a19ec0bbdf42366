#pragma once

// One track of a song: the events it owns, in tick order, and the per-track fields the mixer,
// the view and playback use.
//
// Threads: changed on the user-interface thread only; the player's callback thread reads
// `flags` and `volumePercent` while it plays, so those two are atomic (edits stop the player
// first). Outside the model only the document's track-state operations change them.

#include "model/midievent.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {

class MergedEventList;

/// Track flag bits.
inline constexpr uint16_t TrackShown = 0x1;    ///< drawn in the tablature view
inline constexpr uint16_t TrackSelected = 0x2; ///< selected (mixer list and view menu)
inline constexpr uint16_t TrackMuted = 0x4;    ///< muted at playback

/// What one pairing pass found.
struct PairingCounts {
    int32_t discarded = 0;  ///< extra note-ons after a stray note-off, removed
    int32_t corrected = 0;  ///< zero-length notes and lone note-offs, removed
    int32_t unfinished = 0; ///< note-ons never switched off, removed
    int32_t overlapped = 0; ///< note-ons that started while the same key still sounded
};

class MidiTrack {
public:
    MidiTrack();
    MidiTrack(const MidiTrack&) = delete;
    MidiTrack& operator=(const MidiTrack&) = delete;
    ~MidiTrack();

    /// The events, owned, in non-decreasing tick order with the end of track last.
    std::vector<std::unique_ptr<MidiEvent>> events;
    /// MIDI channels 0..15 used by the track's channel events.
    std::vector<uint8_t> channels;
    /// The name shown everywhere; empty at creation.
    std::string name;
    /// The mixer's level meter value.
    int16_t meterLevel = 0;
    /// Scale applied to note-on velocities at playback, in percent.
    std::atomic<uint8_t> volumePercent = 100;
    /// `TrackShown`, `TrackSelected`, `TrackMuted`.
    std::atomic<uint16_t> flags = TrackShown;
    /// Number of text events read or added.
    int32_t textCount = 0;
    /// Number of lyric events read.
    int32_t lyricCount = 0;
    /// The track's position in the song's track array when it was created.
    int32_t index = 0;

    size_t size() const { return events.size(); }
    bool empty() const { return events.empty(); }
    MidiEvent* at(size_t i) const { return events[i].get(); }
    MidiEvent* last() const { return events.empty() ? nullptr : events.back().get(); }

    /// Position of `event` in `events`, or -1. Searches from the end when `fromBack`.
    int indexOf(const MidiEvent* event, bool fromBack = false) const;
    /// Appends an event (no order check) and sets its `track`.
    MidiEvent* append(std::unique_ptr<MidiEvent> event);
    /// Inserts an event at `position` (clamped to the end) and sets its `track`.
    MidiEvent* insert(size_t position, std::unique_ptr<MidiEvent> event);
    /// Takes `event` out of the track and returns it; null when it is not in this track.
    std::unique_ptr<MidiEvent> take(const MidiEvent* event);

    /// Name, counters, meter, index 0, volume 100, flag bit 0 set and bits 1, 2 cleared.
    void reset();
    /// `reset` and also empties `events` and `channels`.
    void resetFull();

    /// Adds `channel` to `channels` when it is new (appended at the end).
    void addChannel(int channel);

    /// Links every note-on with its note-off, sets note durations and removes broken notes
    /// (a note-on with velocity 0 counts as a note-off). Messages are appended to `report`
    /// while it is shorter than `capacity` - 50; removed events also leave `mergedList`.
    /// Either pointer may be null.
    PairingCounts pairNotes(std::string* report, size_t capacity, bool clearReport,
                            MergedEventList* mergedList);
};

} // namespace reedtab
