#include "view/geometry/songwindow.h"

#include "model/midiconstants.h"
#include "model/midisong.h"

#include <algorithm>
#include <limits>

namespace reedtab {

namespace {

bool isTextOrLyric(const MidiEvent& e) {
    return e.kind() == KindText || e.kind() == KindLyric;
}

bool onDrumChannel(const MidiEvent& e) {
    return e.isChannelEvent() && e.channel() == kDrumChannel;
}

// A drawn note or drum note sounding in the window, or a text or lyric at or after its start
// (the text line shows it when it starts before the window's end).
bool showsFrom(const MidiEvent& e, std::int32_t firstTick, std::int32_t lastTick) {
    if ((e.isNote || onDrumChannel(e)) && firstTick < e.tick + e.duration && e.tick < lastTick) {
        return true;
    }
    return isTextOrLyric(e) && e.tick >= firstTick;
}

} // namespace

int songDivision(const MidiSong& song) {
    return song.division > 0 ? song.division : kDefaultDivision;
}

void followWindow(SongWindow& window, const MidiSong& song, const ViewLayout& layout,
                  int pixelsPerBeat, std::int32_t tick, bool running) {
    const int d = songDivision(song);
    window.visibleTicks = visibleTicksFor(layout, pixelsPerBeat, d);
    if (!song.mergedEvents.empty()) {
        window.firstTick = followFirstTick(window.firstTick, window.visibleTicks, tick, d, running);
    }
    window.lastTick = window.firstTick + window.visibleTicks;
    window.firstVisibleEvent = findFirstVisibleEvent(song.mergedEvents, window.firstTick,
                                                     window.lastTick, window.firstVisibleEvent);
    window.firstVisibleBar = findFirstVisibleBar(song.barTable, window.firstTick);
}

void advanceWindow(SongWindow& window, const MidiSong& song, std::int32_t firstTick,
                   std::int32_t lastTick) {
    const MergedEventList& list = song.mergedEvents;
    const int count = list.count();
    // Everything before the previous first event ended before the previous window, and so
    // before this one. The search stops at the first event past the window's end too: the
    // layers stop there, and the next line goes on from it.
    int i = window.firstVisibleEvent >= 0 && window.firstVisibleEvent < count &&
                    firstTick >= window.firstTick
                ? window.firstVisibleEvent
                : 0;
    while (i < count && !showsFrom(*list[i], firstTick, lastTick) && list[i]->tick < lastTick) {
        ++i;
    }
    window.firstTick = firstTick;
    window.lastTick = lastTick;
    window.visibleTicks = lastTick - firstTick;
    window.firstVisibleEvent = i < count ? i : -1;
    window.firstVisibleBar = findFirstVisibleBar(song.barTable, firstTick);
}

int findFirstVisibleEvent(const MergedEventList& list, std::int32_t firstTick,
                          std::int32_t lastTick, int resumeFrom) {
    const int count = list.count();
    int start = 0;
    if (resumeFrom >= 0 && resumeFrom < count) {
        const MidiEvent& e = *list[resumeFrom];
        if ((e.isNote && e.tick + e.duration <= firstTick) ||
            (isTextOrLyric(e) && e.tick < firstTick)) {
            start = resumeFrom;
        }
    }
    for (int i = start; i < count; ++i) {
        if (showsFrom(*list[i], firstTick, lastTick)) {
            return i;
        }
    }
    return -1;
}

// A lookup, not a walk from the last window: a song whose bars run into the millions (a file
// ending at a huge tick) must not cost a step per bar when the view jumps to its end.
int findFirstVisibleBar(const BarTable& bars, std::int32_t firstTick) {
    const std::int64_t count = static_cast<std::int64_t>(bars.size());
    if (count < 2) {
        return 0;
    }
    const std::int64_t before =
        firstTick > std::numeric_limits<std::int32_t>::min() ? bars.indexAt(firstTick - 1) : -1;
    return static_cast<int>(std::clamp<std::int64_t>(before, 0, count - 2));
}

std::int64_t beatTicks(int division, int denominatorPower) {
    const int shift = std::clamp(denominatorPower, 0, 30);
    return std::max<std::int64_t>(1, (static_cast<std::int64_t>(division) * 4) >> shift);
}

int barDenominatorPower(const MidiSong& song, int bar) {
    const auto& signatures = song.timeSignatureList;
    if (bar < 0 || bar >= static_cast<int>(song.barTable.size())) {
        return 2;
    }
    const int sig = song.barTable[bar].timeSignatureIndex;
    if (sig >= 0 && sig < static_cast<int>(signatures.size()) && signatures[sig]->dataLength >= 2 &&
        signatures[sig]->data) {
        return signatures[sig]->data[1];
    }
    return 2;
}

std::int32_t nearestBeat(const MidiSong& song, std::int32_t tick) {
    const BarTable& bars = song.barTable;
    const int d = songDivision(song);
    const std::int64_t bar = bars.empty() ? -1 : bars.indexAt(tick);
    std::int64_t start = 0;
    std::int64_t beat = d;
    std::int64_t next = std::numeric_limits<std::int64_t>::max();
    if (bar >= 0) {
        start = bars[static_cast<std::size_t>(bar)].startTick;
        beat = beatTicks(d, barDenominatorPower(song, static_cast<int>(bar)));
        // Bars cut short by a late time signature may start out of order: such a start is no
        // end of this bar.
        if (bar + 1 < static_cast<std::int64_t>(bars.size())) {
            const std::int64_t following = bars[static_cast<std::size_t>(bar + 1)].startTick;
            if (following > tick) {
                next = following;
            }
        }
    }
    const std::int64_t before = start + (tick - start) / beat * beat;
    const std::int64_t after = std::min(before + beat, next);
    const std::int64_t nearest = (tick - before) * 2 < after - before ? before : after;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(nearest, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t markClickTick(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
                           int x, bool snap) {
    const std::int32_t tick = clickTick(layout, scale, x, false);
    return snap ? nearestBeat(song, tick) : tick;
}

MarkPlaces markPlaces(const ViewLayout& layout, const ViewScale& scale, const SongWindow& window,
                      std::int32_t markBegin, std::int32_t markEnd) {
    MarkPlaces places;
    if (window.firstTick == -1 || (markBegin == -1 && markEnd == -1)) {
        return places;
    }
    const auto inWindow = [&](std::int32_t tick) {
        return tick != -1 && tick >= window.firstTick && tick <= window.lastTick;
    };
    if (inWindow(markBegin)) {
        places.beginX = tickX(layout, scale, markBegin);
    }
    if (inWindow(markEnd)) {
        places.endX = tickX(layout, scale, markEnd);
    }
    const bool beginLeft = markBegin == -1 || markBegin < window.firstTick;
    const bool endRight = markEnd == -1 || markEnd > window.lastTick;
    if ((places.beginX || beginLeft) && (places.endX || endRight)) {
        places.rangeLeft = places.beginX.value_or(layout.timeLeft);
        places.rangeRight = places.endX.value_or(layout.right);
        places.range = places.rangeLeft < places.rangeRight;
    }
    return places;
}

std::vector<GridLine> beatGrid(const MidiSong& song, const ViewLayout& layout,
                               const ViewScale& scale, const SongWindow& window) {
    std::vector<GridLine> lines;
    const BarTable& bars = song.barTable;
    if (window.firstTick == -1 || bars.empty()) {
        const int step = std::max(1, scale.pixelsPerBeat);
        for (int x = layout.timeLeft; x <= layout.right; x += step) {
            lines.push_back({x, false});
        }
        return lines;
    }
    const int count = static_cast<int>(bars.size());
    const int d = songDivision(song);
    for (int b = std::clamp(window.firstVisibleBar, 0, count - 1);
         b < count && bars[b].startTick <= window.lastTick; ++b) {
        const std::int64_t beat = beatTicks(d, barDenominatorPower(song, b));
        const std::int64_t start = bars[b].startTick;
        const std::int64_t end =
            b + 1 < count ? bars[b + 1].startTick : static_cast<std::int64_t>(window.lastTick) + 1;
        // Beats left of the window are skipped by arithmetic: a long bar at a high zoom would
        // otherwise be walked beat by beat.
        std::int64_t k = start < window.firstTick ? (window.firstTick - start) / beat : 0;
        for (; start + k * beat < end; ++k) {
            const std::int64_t t = start + k * beat;
            if (t > window.lastTick) {
                break;
            }
            if (t >= window.firstTick) {
                lines.push_back({tickX(layout, scale, static_cast<std::int32_t>(t)), k == 0});
            }
        }
    }
    return lines;
}

StaffLineKind staffLineKind(int step) {
    if (step % 2 == 0) {
        return StaffLineKind::None;
    }
    if ((step > 35 && step < 46) || (step > 24 && step < 35)) {
        return StaffLineKind::Staff;
    }
    return StaffLineKind::Ledger;
}

std::vector<StaffLine> staffLines(const ViewLayout& layout, int centreStep) {
    std::vector<StaffLine> lines;
    const int half = layout.visibleSteps / 2;
    for (int a = half; a >= -half; --a) {
        const StaffLineKind kind = staffLineKind(centreStep + a);
        if (kind != StaffLineKind::None) {
            lines.push_back({layout.middleY - a * layout.stepHeight, kind});
        }
    }
    return lines;
}

BarLabelRows barLabelRows(const ViewLayout& layout) {
    BarLabelRows rows;
    rows.numberY =
        std::max(layout.middleY - ((layout.visibleSteps + 2) / 4) * layout.stepHeight * 2 - 1,
                 layout.staffTop);
    rows.signatureY = rows.numberY + 2 * layout.stepHeight;
    return rows;
}

NoteLabelPlace noteLabelPlace(const PixelRect& bar, int prefixLength, int textHeight) {
    NoteLabelPlace place;
    place.prefixX = bar.left + 2;
    place.prefixY = bar.top + 1;
    place.textX = bar.left + 7 * prefixLength + 2;
    place.textY = bar.top - 1;
    place.accidentalX = bar.left + 1;
    place.accidentalY = bar.top - textHeight + 1;
    return place;
}

ClefPlace clefPlace(const ViewLayout& layout, int centreStep) {
    ClefPlace place;
    place.trebleY = layout.middleY - (40 - centreStep) * layout.stepHeight - 35;
    place.bassY = place.trebleY + 9 * layout.stepHeight;
    return place;
}

namespace {

// Calls `visit(index, bar)` for each drawn note of a visible track in the window, in song order.
template <typename Visit>
void forEachShownNote(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
                      const SongWindow& window, Visit visit) {
    if (window.firstVisibleEvent < 0) {
        return;
    }
    const MergedEventList& list = song.mergedEvents;
    for (int i = window.firstVisibleEvent; i < list.count(); ++i) {
        const MidiEvent& e = *list[i];
        if (e.tick >= window.lastTick) {
            break;
        }
        if (!e.isNote || e.track == nullptr || !(e.track->flags & TrackShown)) {
            continue;
        }
        visit(i, noteRect(layout, scale, e.data1, e.tick, e.duration));
    }
}

} // namespace

NoteHit noteAt(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
               const SongWindow& window, int x, int y) {
    NoteHit hit;
    forEachShownNote(song, layout, scale, window, [&](int index, const PixelRect& r) {
        if (r.contains(x, y)) {
            hit.index = index;
            hit.rect = r;
        }
    });
    return hit;
}

std::vector<int> notesInside(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
                             const SongWindow& window, const PixelRect& band) {
    std::vector<int> inside;
    forEachShownNote(song, layout, scale, window, [&](int index, const PixelRect& r) {
        if (band.contains(r.left, r.top) && band.contains(r.right, r.bottom)) {
            inside.push_back(index);
        }
    });
    return inside;
}

} // namespace reedtab
