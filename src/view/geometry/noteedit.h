#pragma once

// The arithmetic of editing notes with the mouse: how a selection frame answers the pointer,
// how a dragged or stretched frame is held to the grid, what note a frame stands for and how a
// rubber band dragged past the window's edge scrolls. Plain
// code over the layout and the song model, so that the widget only turns events into calls.

#include "view/geometry/viewlayout.h"

#include <cstdint>

namespace reedtab {

// Half the side of the square resize handle at the middle of a frame's right edge (pixels).
inline constexpr int kHandleReach = 4;

enum class FrameHit { None, Move, Resize };

// What pressing at (x, y) does to a frame: the handle (when the frame has one) stretches it,
// anywhere else on it moves it.
FrameHit frameHitTest(const PixelRect& frame, bool hasHandle, int x, int y);

// The square of the resize handle.
PixelRect handleRect(const PixelRect& frame);

// The modifier rules of a move: Shift keeps the time, Alt keeps the pitch.
struct MoveRules {
    bool snap = false;      // left edge on the twelfth-of-a-beat grid
    bool keepTime = false;  // Shift: vertical move only
    bool keepPitch = false; // Alt: horizontal move only
    int rowStep = 1;        // vertical quantum in pixels (half a staff step)
};

// A frame moved as a whole to `proposed`, held to the rules: the left edge snapped, the top a
// whole number of row steps from `last`, one axis kept when asked, never left of tick 0; the
// frame keeps the size of `last`.
PixelRect adjustMovedFrame(const ViewLayout& layout, const ViewScale& scale,
                           const PixelRect& proposed, const PixelRect& last,
                           const MoveRules& rules);

// A frame whose right edge was dragged to `right`: snapped like a move's left edge when asked,
// and always at least one pixel right of the left edge.
PixelRect adjustResizedFrame(const ViewLayout& layout, const ViewScale& scale, int right,
                             const PixelRect& last, bool snap);

// The note a frame stands for: its number from the top edge, its start and end ticks from
// the left and right edges.
struct FrameNote {
    int note = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
};
FrameNote rectToNote(const ViewLayout& layout, const ViewScale& scale, const PixelRect& rect);

// What a drag did to a frame, as the document's move takes it: ticks and half steps to move
// every selected note by, and the new length of the dragged note (0 when its width stayed).
struct FrameChange {
    std::int32_t tickOffset = 0;
    int keyOffset = 0;
    std::int32_t newLength = 0;

    bool any() const { return tickOffset != 0 || keyOffset != 0 || newLength != 0; }
};
FrameChange frameChange(const ViewLayout& layout, const ViewScale& scale, const PixelRect& before,
                        const PixelRect& after);

// The band from two corners, left <= right and top <= bottom.
PixelRect normalisedRect(int x1, int y1, int x2, int y2);

// How far the pointer has gone each way while a rubber band is dragged; the band scrolls only
// while the pointer keeps going beyond the window.
struct BandReach {
    int rightmostX = -1;
    int leftmostX = 9999999;
};

// The play position after the band's moving corner reached x (pixels from the window's left
// edge, `clientWidth` wide): a quarter beat later when the pointer keeps going right past the
// right edge (up to a beat after the song's end), a quarter beat earlier (not below 0) when it
// keeps going left near the left edge; otherwise `playTick` unchanged.
std::int32_t bandScrollTick(BandReach& reach, int x, int clientWidth, std::int32_t playTick,
                            std::int32_t songLength, int division);

} // namespace reedtab
