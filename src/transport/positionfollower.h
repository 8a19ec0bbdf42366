#pragma once

// Following the playing song from the player's position messages: the tick reached, the events
// passed since the last report, whether the song jumped back (a loop) and the tempo in force.
// Values only; what to repaint and when to turn the page is the view's to decide.

#include <cstdint>

namespace reedtab {

class MidiSong;

/// One position report of the playing song.
struct PositionReport {
    /// The tick reached.
    std::int32_t tick = 0;
    /// The events passed since the last report, in song order: merged-list indices
    /// [firstEvent, endEvent).
    int firstEvent = 0;
    int endEvent = 0;
    /// The report came from a tick marker (an empty stretch), not from an event.
    bool tickMarker = false;
    /// The song jumped back (a loop) since the last report.
    bool jumpedBack = false;
    /// The song's tempo in force after the report, microseconds per quarter before the tempo
    /// percentage; `tempoChanged` when the report passed a tempo event or jumped back.
    int tempo = 0;
    bool tempoChanged = false;
};

/// Where following stands between two reports.
struct FollowState {
    /// The tick of the last report.
    std::int32_t lastShownTick = 0;
    /// The merged-list index of the first event not yet passed; -1 when nothing is shown.
    int shownEventIndex = -1;
    /// The tempo in force, microseconds per quarter.
    int tempo = 500000;
};

class PositionFollower {
public:
    /// `song` must outlive the follower.
    explicit PositionFollower(const MidiSong& song) : song_(song) {}

    /// The report of the player's position value `value` (kPositionTickFlag + a tick, or a
    /// merged-list index); `state` moves on with it. A report the player did not count
    /// (`counted` false: it came after a stop) repeats the last tick and passes nothing.
    PositionReport follow(std::uint32_t value, bool counted, FollowState& state) const;

private:
    const MidiSong& song_;
};

} // namespace reedtab
