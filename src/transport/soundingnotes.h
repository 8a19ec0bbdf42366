#pragma once

// Which notes sound at a tick, and what each kind of tool window is sent of the events the
// playing song passes: the rules every tool window relies on, in one place.

#include <cstdint>
#include <vector>

namespace reedtab {

class MidiSong;

/// What a kind of tool window takes of the events the song passes.
struct NoteDelivery {
    /// Every note, of hidden tracks and on the drum channel too (the mixer's meters). Other
    /// windows take only the notes of shown tracks off channel 10.
    bool everyNote = false;
    /// Lyric and text events.
    bool words = false;
    /// Every event.
    bool everyEvent = false;
};

/// What one passed event brings a window.
struct EventNews {
    bool noteOn = false;  ///< a note starts sounding
    bool noteOff = false; ///< a note stops
    bool words = false;   ///< a lyric or text was reached
    bool event = false;   ///< an event was reached
};

/// What a window shows at a tick, as if the song had played up to there.
struct SoundingState {
    /// The note-ons still sounding there that the window takes, in song order (merged-list
    /// indices).
    std::vector<int> notes;
    /// The event reached last, for a window that takes every event; else -1.
    int lastEvent = -1;
    /// The lyric or text reached last, for a window that takes words; else -1.
    int lastWords = -1;
};

class SoundingNotes {
public:
    /// `song` must outlive this object.
    explicit SoundingNotes(const MidiSong& song) : song_(song) {}

    /// The news merged-list event `index` brings a window that takes `delivery`.
    EventNews newsFor(int index, const NoteDelivery& delivery) const;
    /// What a window that takes `delivery` shows at `tick`: a note sounds there when it
    /// starts at or before `tick` and lasts past it (a note of no length lasts one tick).
    SoundingState at(std::int32_t tick, const NoteDelivery& delivery) const;

private:
    const MidiSong& song_;
};

} // namespace reedtab
