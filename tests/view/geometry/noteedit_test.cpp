#include "view/geometry/noteedit.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

// 1000 x 400 at 100%, division 480: a beat is 72 pixels, a twelfth of it 6 pixels (40 ticks);
// textHeight 12 and stepHeight 8, so a row step is 4 pixels.
class NoteEditTest : public ::testing::Test {
protected:
    NoteEditTest() {
        layout.setLayoutSize(0, 0, 1000, 400);
        layout.setMeasuredTextHeight(14);
        scale.pixelsPerBeat = 72;
        scale.division = 480;
        scale.offsetAccidentals = true;
    }

    PixelRect bar(int note, std::int32_t tick, std::int32_t duration) const {
        return noteRect(layout, scale, note, tick, duration);
    }

    static PixelRect moved(const PixelRect& r, int dx, int dy) {
        return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
    }

    MoveRules rules(bool snap = false) const {
        MoveRules m;
        m.snap = snap;
        m.rowStep = layout.stepHeight / 2;
        return m;
    }

    ViewLayout layout;
    ViewScale scale;
};

TEST_F(NoteEditTest, TheHandleStretchesAndTheRestOfTheFrameMoves) {
    const PixelRect frame = bar(60, 480, 480);
    const int middle = (frame.top + frame.bottom) / 2;
    EXPECT_EQ(frameHitTest(frame, true, frame.right, middle), FrameHit::Resize);
    EXPECT_EQ(frameHitTest(frame, true, frame.right + kHandleReach, middle), FrameHit::Resize)
        << "the handle reaches a little beyond the edge";
    EXPECT_EQ(frameHitTest(frame, true, frame.right - 1, frame.top), FrameHit::Move)
        << "only the middle of the right edge holds the handle";
    EXPECT_EQ(frameHitTest(frame, false, frame.right, middle), FrameHit::Move);
    EXPECT_EQ(frameHitTest(frame, true, frame.left + 2, middle), FrameHit::Move);
    EXPECT_EQ(frameHitTest(frame, false, frame.right + 2, middle), FrameHit::None);
    EXPECT_EQ(frameHitTest(frame, true, frame.left - 1, middle), FrameHit::None);
}

TEST_F(NoteEditTest, AMoveKeepsTheSizeAndWholeRowSteps) {
    const PixelRect start = bar(60, 480, 480);
    const PixelRect r = adjustMovedFrame(layout, scale, moved(start, 75, -11), start, rules());
    EXPECT_EQ(r.left, start.left + 75) << "without snap the pixel stays";
    EXPECT_EQ(r.top, start.top - 8) << "-11 pixels go back to two row steps";
    EXPECT_EQ(r.right - r.left, start.right - start.left);
    EXPECT_EQ(r.bottom - r.top, start.bottom - start.top);

    const PixelRect snapped =
        adjustMovedFrame(layout, scale, moved(start, 75, 0), start, rules(true));
    EXPECT_EQ(snapped.left, start.left + 78) << "the grid lies every 6 pixels from timeLeft";
    EXPECT_EQ(rectToNote(layout, scale, snapped).start, 1000);
    const PixelRect down = adjustMovedFrame(layout, scale, moved(start, 70, 2), start, rules(true));
    EXPECT_EQ(down.left, start.left + 72);
    EXPECT_EQ(down.top, start.top) << "less than a row step is no move";
}

TEST_F(NoteEditTest, ShiftKeepsTheTimeAltKeepsThePitch) {
    const PixelRect start = bar(62, 960, 240);
    MoveRules shift = rules();
    shift.keepTime = true;
    const PixelRect vertical = adjustMovedFrame(layout, scale, moved(start, 50, 8), start, shift);
    EXPECT_EQ(vertical.left, start.left);
    EXPECT_EQ(vertical.top, start.top + 8);
    MoveRules alt = rules();
    alt.keepPitch = true;
    const PixelRect horizontal = adjustMovedFrame(layout, scale, moved(start, 50, 8), start, alt);
    EXPECT_EQ(horizontal.left, start.left + 50);
    EXPECT_EQ(horizontal.top, start.top);
}

TEST_F(NoteEditTest, NoMoveGoesBeforeTickZero) {
    const PixelRect start = bar(60, 240, 480);
    const PixelRect r = adjustMovedFrame(layout, scale, moved(start, -200, 0), start, rules());
    EXPECT_EQ(r.left, layout.timeLeft);
    EXPECT_EQ(rectToNote(layout, scale, r).start, 0);

    scale.firstTick = 960; // two beats scrolled away: tick 0 lies 144 pixels left of timeLeft
    const PixelRect later = bar(60, 1200, 480);
    const PixelRect limited =
        adjustMovedFrame(layout, scale, moved(later, -1000, 0), later, rules(true));
    EXPECT_EQ(limited.left, layout.timeLeft - 144);
    EXPECT_EQ(rectToNote(layout, scale, limited).start, 0);
}

TEST_F(NoteEditTest, AStretchMovesOnlyTheRightEdge) {
    const PixelRect start = bar(60, 480, 480);
    PixelRect r = adjustResizedFrame(layout, scale, start.right + 40, start, false);
    EXPECT_EQ(r.left, start.left);
    EXPECT_EQ(r.top, start.top);
    EXPECT_EQ(r.right, start.right + 40);
    r = adjustResizedFrame(layout, scale, start.right + 40, start, true);
    EXPECT_EQ(r.right, start.right + 42) << "snapped to the twelfth-of-a-beat grid";
    r = adjustResizedFrame(layout, scale, start.left - 30, start, false);
    EXPECT_EQ(r.right, start.left + 1) << "a frame never turns inside out";
}

TEST_F(NoteEditTest, FrameChangeGivesTicksHalfStepsAndLength) {
    const PixelRect c = bar(60, 480, 480);
    const PixelRect d = bar(62, 960, 480);
    FrameChange change = frameChange(layout, scale, c, moved(c, 72, -layout.stepHeight));
    EXPECT_EQ(change.tickOffset, 480);
    EXPECT_EQ(change.keyOffset, 2) << "a staff step up from C is D";
    EXPECT_EQ(change.newLength, 0) << "same width, same length";
    EXPECT_EQ(moved(c, 72, -layout.stepHeight), d);

    EXPECT_EQ(frameChange(layout, scale, c, moved(c, 0, -layout.stepHeight / 2)).keyOffset, 1)
        << "a row step up from C is C#";
    const PixelRect cSharp = bar(61, 480, 480);
    EXPECT_EQ(rectToNote(layout, scale, cSharp).note, 61) << "a raised sharp reads back";
    EXPECT_EQ(rectToNote(layout, scale, bar(63, 480, 480)).note, 63) << "a lowered flat too";

    PixelRect longer = c;
    longer.right += 36;
    change = frameChange(layout, scale, c, longer);
    EXPECT_EQ(change.tickOffset, 0);
    EXPECT_EQ(change.newLength, 720);
    EXPECT_TRUE(change.any());
    EXPECT_FALSE(frameChange(layout, scale, c, c).any());
}

TEST_F(NoteEditTest, TheBandScrollsOnlyWhileThePointerKeepsGoingPastTheEdge) {
    BandReach reach;
    EXPECT_EQ(bandScrollTick(reach, 500, 900, 0, 9600, 480), 0);
    EXPECT_EQ(bandScrollTick(reach, 905, 900, 0, 9600, 480), 0) << "5 pixels out is not enough";
    EXPECT_EQ(bandScrollTick(reach, 906, 900, 0, 9600, 480), 120);
    EXPECT_EQ(bandScrollTick(reach, 906, 900, 120, 9600, 480), 120) << "standing still";
    EXPECT_EQ(bandScrollTick(reach, 902, 900, 120, 9600, 480), 120) << "coming back";
    EXPECT_EQ(bandScrollTick(reach, 920, 900, 120, 9600, 480), 240);
    EXPECT_EQ(bandScrollTick(reach, 930, 900, 10080, 9600, 480), 10200)
        << "up to one beat past the end";
    EXPECT_EQ(bandScrollTick(reach, 940, 900, 10081, 9600, 480), 10081);

    BandReach left;
    EXPECT_EQ(bandScrollTick(left, 39, 900, 200, 9600, 480), 80);
    EXPECT_EQ(bandScrollTick(left, 39, 900, 80, 9600, 480), 80) << "standing still";
    EXPECT_EQ(bandScrollTick(left, 30, 900, 80, 9600, 480), 0) << "not below 0";
    EXPECT_EQ(bandScrollTick(left, 20, 900, 0, 9600, 480), 0);
    EXPECT_EQ(bandScrollTick(left, 40, 900, 960, 9600, 480), 960) << "40 pixels is far enough";
}

} // namespace
} // namespace reedtab
