#include "view/geometry/noteedit.h"

#include <algorithm>

namespace reedtab {

namespace {

// Pixels of a twelfth of a beat are fractional at most zooms: the grid is laid from timeLeft
// and each position rounded as the ticks are.
int snapX(const ViewLayout& layout, const ViewScale& scale, int x) {
    const int ppb = std::max(1, scale.pixelsPerBeat);
    const int offset = x - layout.timeLeft;
    const int r = ((offset % ppb) + ppb) % ppb;
    const double g = ppb / 12.0;
    return x - r + static_cast<int>(static_cast<int>((r + g / 2) / g) * g);
}

// x of tick 0: a move never takes a note before the start of the song.
int tickZeroX(const ViewLayout& layout, const ViewScale& scale) {
    const double beats =
        static_cast<double>(scale.pixelsPerBeat) * scale.firstTick / std::max(1, scale.division);
    return layout.timeLeft - static_cast<int>(beats + 0.5);
}

} // namespace

PixelRect handleRect(const PixelRect& frame) {
    const int y = (frame.top + frame.bottom) / 2;
    return {frame.right - kHandleReach, y - kHandleReach, frame.right + kHandleReach,
            y + kHandleReach};
}

FrameHit frameHitTest(const PixelRect& frame, bool hasHandle, int x, int y) {
    if (hasHandle && handleRect(frame).contains(x, y)) {
        return FrameHit::Resize;
    }
    return frame.contains(x, y) ? FrameHit::Move : FrameHit::None;
}

PixelRect adjustMovedFrame(const ViewLayout& layout, const ViewScale& scale,
                           const PixelRect& proposed, const PixelRect& last,
                           const MoveRules& rules) {
    int left = rules.snap ? snapX(layout, scale, proposed.left) : proposed.left;
    const int rowStep = std::max(1, rules.rowStep);
    int top = last.top + (proposed.top - last.top) / rowStep * rowStep;
    if (rules.keepTime) {
        left = last.left;
    }
    if (rules.keepPitch) {
        top = last.top;
    }
    left = std::max(left, tickZeroX(layout, scale));
    return {left, top, left + (last.right - last.left), top + (last.bottom - last.top)};
}

PixelRect adjustResizedFrame(const ViewLayout& layout, const ViewScale& scale, int right,
                             const PixelRect& last, bool snap) {
    PixelRect r = last;
    r.right = std::max(snap ? snapX(layout, scale, right) : right, last.left + 1);
    return r;
}

FrameNote rectToNote(const ViewLayout& layout, const ViewScale& scale, const PixelRect& rect) {
    return {pitchAtY(layout, scale, rect.top), tickAtX(layout, scale, rect.left),
            tickAtX(layout, scale, rect.right)};
}

FrameChange frameChange(const ViewLayout& layout, const ViewScale& scale, const PixelRect& before,
                        const PixelRect& after) {
    const FrameNote from = rectToNote(layout, scale, before);
    const FrameNote to = rectToNote(layout, scale, after);
    FrameChange change;
    change.tickOffset = to.start - from.start;
    change.keyOffset = to.note - from.note;
    if (after.right - after.left != before.right - before.left) {
        change.newLength = std::max<std::int32_t>(1, to.end - to.start);
    }
    return change;
}

PixelRect normalisedRect(int x1, int y1, int x2, int y2) {
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

std::int32_t bandScrollTick(BandReach& reach, int x, int clientWidth, std::int32_t playTick,
                            std::int32_t songLength, int division) {
    const bool goingRight = x > reach.rightmostX;
    const bool goingLeft = x < reach.leftmostX;
    reach.rightmostX = std::max(reach.rightmostX, x);
    reach.leftmostX = std::min(reach.leftmostX, x);
    const int quarterBeat = std::max(1, division) / 4;
    if (x > clientWidth + 5 && goingRight &&
        static_cast<std::int64_t>(playTick) <= static_cast<std::int64_t>(songLength) + division) {
        return playTick + quarterBeat;
    }
    if (x < 40 && goingLeft && playTick >= 0) {
        return std::max(0, playTick - quarterBeat);
    }
    return playTick;
}

} // namespace reedtab
