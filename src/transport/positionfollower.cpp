#include "transport/positionfollower.h"

#include "model/midievent.h"
#include "model/midisong.h"
#include "playback/streamplayer.h"

#include <algorithm>

namespace reedtab {

PositionReport PositionFollower::follow(std::uint32_t value, bool counted,
                                        FollowState& state) const {
    const MergedEventList& events = song_.mergedEvents;
    PositionReport report;
    std::int32_t e = state.lastShownTick;
    if (counted) {
        report.tickMarker = (value & kPositionTickFlag) != 0;
        if (report.tickMarker) {
            e = static_cast<std::int32_t>(value & ~kPositionTickFlag);
        } else if (value < events.size()) {
            e = events[value]->tick;
        }
        if (state.lastShownTick > e) {
            state.shownEventIndex = events.lowerBound(e);
            report.jumpedBack = true;
            // The pass starts again under the tempo in force at the loop start, not the one
            // the loop's end left behind.
            state.tempo = song_.tempoAt(e);
            report.tempoChanged = true;
        }
    }
    int index = std::max(0, state.shownEventIndex);
    report.firstEvent = index;
    if (counted && !report.tickMarker) {
        const int count = events.count();
        for (; index < count; ++index) {
            const MidiEvent& passed = *events[static_cast<std::size_t>(index)];
            if (passed.tick > e) {
                break;
            }
            if (passed.kind() == KindTempo) {
                state.tempo = passed.value();
                report.tempoChanged = true;
            }
        }
        state.shownEventIndex = index;
    }
    report.endEvent = index;
    report.tick = e;
    report.tempo = state.tempo;
    state.lastShownTick = e;
    return report;
}

} // namespace reedtab
