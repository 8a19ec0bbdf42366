#include "view/geometry/viewlayout.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

// A window of 1000 x 400 with the default font: textHeight 12, stepHeight 8.
ViewLayout screenLayout(int width = 1000, int height = 400) {
    ViewLayout layout;
    layout.setLayoutSize(0, 0, width, height);
    layout.setMeasuredTextHeight(14);
    return layout;
}

ViewScale scaleAt(int firstTick = 0, int pixelsPerBeat = 72, int division = 480) {
    ViewScale scale;
    scale.firstTick = firstTick;
    scale.pixelsPerBeat = pixelsPerBeat;
    scale.division = division;
    return scale;
}

TEST(ViewLayoutSize, EdgesAndDerivedValues) {
    ViewLayout layout;
    EXPECT_FALSE(layout.setLayoutSize(0, 0, 1000, 400)) << "nothing derives before measuring";
    EXPECT_EQ(layout.right, 1000);
    EXPECT_EQ(layout.width, 1000);
    EXPECT_EQ(layout.timeLeft, 45);
    EXPECT_EQ(layout.staffBottom, 382);
    EXPECT_EQ(layout.staffTop, 12);
    EXPECT_EQ(layout.bottom, 400);

    layout.setMeasuredTextHeight(14);
    EXPECT_EQ(layout.textHeight, 12);
    EXPECT_EQ(layout.stepHeight, 8);
    EXPECT_EQ(layout.middleY, 197);
    EXPECT_EQ(layout.visibleSteps, 46); // (197 - 12) / 8 = 23 steps each way

    layout.setMeasuredTextHeight(15);
    EXPECT_EQ(layout.textHeight, 14) << "measured heights are made even";
    EXPECT_EQ(layout.stepHeight, 9);

    EXPECT_TRUE(layout.setLayoutSize(-1, -1, 600, -1));
    EXPECT_EQ(layout.right, 600);
    EXPECT_EQ(layout.staffBottom, 382) << "-1 leaves an edge alone";
}

TEST(ViewLayoutSize, TinyAreasClampTimeLeftAndStaffTop) {
    ViewLayout layout;
    layout.setLayoutSize(0, 0, 30, 25);
    EXPECT_EQ(layout.timeLeft, 30) << "time area starts at most at the right edge";
    EXPECT_EQ(layout.staffBottom, 7);
    EXPECT_EQ(layout.staffTop, 7) << "staff top never below staff bottom";
}

TEST(ViewLayoutSize, TheMarkStripPushesTheStaffDown) {
    ViewLayout layout;
    layout.markStripHeight = kMarkStripHeight;
    layout.setLayoutSize(0, 100, 1000, 500);
    EXPECT_EQ(layout.staffTop, 100 + kTopBandHeight + kMarkStripHeight);
    EXPECT_GE(layout.staffTop - layout.top, 20) << "a band a finger can hit";
    EXPECT_EQ(layout.staffBottom, 482) << "the text line keeps its place";
}

TEST(ViewLayoutSize, StaffSpaceWidensSteps) {
    ViewLayout layout;
    layout.tabStaffSpace = 3;
    layout.setLayoutSize(0, 0, 800, 300);
    layout.setMeasuredTextHeight(14);
    EXPECT_EQ(layout.stepHeight, 12);
}

TEST(StaffSteps, PitchClassTable) {
    const int steps[12] = {0, 0, 1, 2, 2, 3, 3, 4, 5, 5, 6, 6};
    const Accidental marks[12] = {Accidental::None,  Accidental::Sharp, Accidental::None,
                                  Accidental::Flat,  Accidental::None,  Accidental::None,
                                  Accidental::Sharp, Accidental::None,  Accidental::Flat,
                                  Accidental::None,  Accidental::Flat,  Accidental::None};
    for (int pc = 0; pc < 12; ++pc) {
        EXPECT_EQ(stepOfPitchClass(pc), steps[pc]) << pc;
        EXPECT_EQ(accidentalOfPitchClass(pc), marks[pc]) << pc;
    }
}

TEST(StaffSteps, MiddleCAndTranspositionByTabMode) {
    EXPECT_EQ(staffStepOfNote(60, 0), kMiddleCStep);
    EXPECT_EQ(staffStepOfNote(61, 0), kMiddleCStep) << "C# shares C's step";
    EXPECT_EQ(staffStepOfNote(64, 0), 37) << "E is the treble staff's bottom line";
    EXPECT_EQ(staffStepOfNote(77, 0), 45) << "F is its top line";
    EXPECT_EQ(staffStepOfNote(43, 0), 25) << "G is the bass staff's bottom line";
    EXPECT_EQ(displayTranspose(0), 0);
    EXPECT_EQ(displayTranspose(1), 0);
    EXPECT_EQ(displayTranspose(2), 0);
    EXPECT_EQ(displayTranspose(3), 2);
    EXPECT_EQ(displayTranspose(4), -3);
    EXPECT_EQ(staffStepOfNote(60, displayTranspose(3)), 36) << "B-flat instrument: D";
    EXPECT_EQ(staffStepOfNote(60, displayTranspose(4)), 33) << "E-flat instrument: A below";
    EXPECT_EQ(accidentalOfNote(61, displayTranspose(4)), Accidental::Flat) << "C# shown as Bb";
}

TEST(StaffSteps, NotesBelowZeroAfterTranspositionStayInRange) {
    EXPECT_EQ(staffStepOfNote(0, -3), 5 - 7) << "A of the octave below 0";
    EXPECT_EQ(accidentalOfNote(1, -3), Accidental::Flat) << "Bb";
}

TEST(NoteGeometry, BeatAfterStartAtFullZoom) {
    const ViewLayout layout = screenLayout();
    const ViewScale scale = scaleAt();
    const PixelRect bar = noteRect(layout, scale, 72, 480, 480);
    EXPECT_EQ(bar.left, 117);
    EXPECT_EQ(bar.right, 189);
    const PixelRect tiny = noteRect(layout, scale, 72, 480, 1);
    EXPECT_EQ(tiny.right, tiny.left + 1) << "a one-tick note is one pixel wide";
    const PixelRect none = noteRect(layout, scale, 72, 480, 0);
    EXPECT_EQ(none.right, none.left + 1);
}

TEST(NoteGeometry, NoteBarXRoundsWhileLinesTruncate) {
    const ViewLayout layout = screenLayout();
    const ViewScale scale = scaleAt(0, 72, 480);
    // 100 ticks = 15 pixels exactly; 110 ticks = 16.5 pixels.
    EXPECT_EQ(noteBarX(layout, scale, 110), 45 + 17);
    EXPECT_EQ(tickX(layout, scale, 110), 45 + 16);
    EXPECT_EQ(noteBarX(layout, scale, 100), 45 + 15);
    EXPECT_EQ(tickX(layout, scale, 100), 45 + 15);
    const ViewScale later = scaleAt(960, 72, 480);
    EXPECT_EQ(tickX(layout, later, 960), 45);
    EXPECT_EQ(tickX(layout, later, 480), 45 - 72);
}

TEST(NoteGeometry, NoOverflowFarIntoALongSong) {
    const ViewLayout layout = screenLayout();
    const ViewScale scale = scaleAt(2000000000, 144, 96);
    EXPECT_EQ(tickX(layout, scale, 2000000096), 45 + 144);
    EXPECT_EQ(noteBarX(layout, scale, 2000000096), 45 + 144);
    const PixelRect bar = noteRect(layout, scale, 60, 2000000000, 2000000000);
    EXPECT_GT(bar.right, bar.left) << "the end tick beyond 32 bits must not wrap";
}

TEST(NoteGeometry, MiddleCSitsTwoStepsBelowCentre) {
    const ViewLayout layout = screenLayout();
    ViewScale scale = scaleAt();
    const PixelRect c = noteRect(layout, scale, 60, 0, 480);
    EXPECT_EQ(c.top, layout.middleY + 2 * layout.stepHeight - layout.textHeight / 2);
    EXPECT_EQ(c.bottom, c.top + layout.textHeight + 1);
    const PixelRect cSharp = noteRect(layout, scale, 61, 0, 480);
    EXPECT_EQ(cSharp.top, c.top);
    scale.offsetAccidentals = true;
    EXPECT_EQ(noteRect(layout, scale, 61, 0, 480).top, c.top - layout.stepHeight / 2);
    EXPECT_EQ(noteRect(layout, scale, 60, 0, 480).top, c.top) << "naturals do not move";
    const PixelRect e = noteRect(layout, scale, 64, 0, 480);
    EXPECT_EQ(noteRect(layout, scale, 63, 0, 480).top, e.top + layout.stepHeight / 2)
        << "Eb lowered below E";
}

TEST(NoteGeometry, CentreStepMovesTheStaff) {
    const ViewLayout layout = screenLayout();
    ViewScale scale = scaleAt();
    const int at37 = noteRect(layout, scale, 60, 0, 1).top;
    scale.centreStep = 35;
    EXPECT_EQ(noteRect(layout, scale, 60, 0, 1).top, layout.middleY - layout.textHeight / 2);
    EXPECT_EQ(at37 - 2 * layout.stepHeight, layout.middleY - layout.textHeight / 2);
}

TEST(NoteGeometry, TabModeMovesDrawnStepNotNote) {
    const ViewLayout layout = screenLayout();
    ViewScale scale = scaleAt();
    scale.transpose = displayTranspose(3);
    const int d = noteRect(layout, scale, 60, 0, 1).top;
    scale.transpose = 0;
    EXPECT_EQ(d, noteRect(layout, scale, 62, 0, 1).top);
}

TEST(PitchAtY, InvertsNoteRectForEveryNaturalAndShiftedAccidental) {
    for (int tabMode : {0, 3, 4}) {
        const ViewLayout layout = screenLayout(1000, 900);
        ViewScale scale = scaleAt();
        scale.transpose = displayTranspose(tabMode);
        for (int note = 36; note <= 96; ++note) {
            if (accidentalOfNote(note, scale.transpose) != Accidental::None) {
                continue;
            }
            EXPECT_EQ(pitchAtY(layout, scale, noteRect(layout, scale, note, 0, 1).top), note)
                << "mode " << tabMode << " note " << note;
        }
    }
}

TEST(PitchAtY, HalfStepAboveANaturalIsItsSharpOrTheNextNatural) {
    const ViewLayout layout = screenLayout(1000, 900);
    const ViewScale scale = scaleAt();
    const int cTop = noteRect(layout, scale, 60, 0, 1).top;
    EXPECT_EQ(pitchAtY(layout, scale, cTop - layout.stepHeight / 2), 61);
    const int eTop = noteRect(layout, scale, 64, 0, 1).top;
    EXPECT_EQ(pitchAtY(layout, scale, eTop - layout.stepHeight / 2), 65) << "above E is F";
    const int bTop = noteRect(layout, scale, 71, 0, 1).top;
    EXPECT_EQ(pitchAtY(layout, scale, bTop - layout.stepHeight / 2), 71) << "above B stays B";
}

TEST(PitchAtY, FarOffStaffStaysAMidiNote) {
    const ViewLayout layout = screenLayout();
    const ViewScale scale = scaleAt();
    EXPECT_EQ(pitchAtY(layout, scale, -100000), 127);
    EXPECT_EQ(pitchAtY(layout, scale, 100000), 0);
}

TEST(TickUnderMouse, NearestTickAndSnapping) {
    const ViewLayout layout = screenLayout();
    const ViewScale scale = scaleAt(0, 72, 480);
    EXPECT_EQ(clickTick(layout, scale, 117, false), 480);
    EXPECT_EQ(clickTick(layout, scale, 10, false), 0) << "left of the time area counts as 0";
    EXPECT_EQ(clickTick(layout, scaleAt(960), 117, false), 1440);
    EXPECT_EQ(snapToTwelfth(1000, 480), 1000);
    EXPECT_EQ(snapToTwelfth(1010, 480), 1000);
    EXPECT_EQ(snapToTwelfth(1021, 480), 1040);
    EXPECT_EQ(snapToTwelfth(479, 480), 480);
    // x 118 is 486.67 ticks -> nearest 487, snapped to 480.
    EXPECT_EQ(clickTick(layout, scale, 118, false), 487);
    EXPECT_EQ(clickTick(layout, scale, 118, true), 480);
}

TEST(TickUnderMouse, TickAtXRoundsInFloatingPoint) {
    const ViewLayout layout = screenLayout();
    EXPECT_EQ(tickAtX(layout, scaleAt(0, 72, 480), 117), 480);
    EXPECT_EQ(tickAtX(layout, scaleAt(480, 72, 480), 118), 480 + 487);
    EXPECT_EQ(tickAtX(layout, scaleAt(960, 72, 480), 45 - 144), 0) << "left of timeLeft too";
    EXPECT_EQ(tickAtX(layout, scaleAt(960, 72, 480), 45 - 143), 7);
    EXPECT_EQ(tickAtX(layout, scaleAt(0, 72, 480), noteBarX(layout, scaleAt(), 1234)), 1233)
        << "within one pixel of the tick";
}

TEST(WindowFollow, VisibleTicksCountWholeBeatsPlusOne) {
    ViewLayout layout = screenLayout(621, 300); // 576 pixels of time area = 8 beats at 72
    EXPECT_EQ(visibleTicksFor(layout, 72, 480), 9 * 480);
    layout.setLayoutSize(-1, -1, 100, -1); // 55 pixels: less than a beat
    EXPECT_EQ(visibleTicksFor(layout, 72, 480), 480);
}

TEST(WindowFollow, PageTurnsTwoBeatsEarlyWhileRunning) {
    const int division = 480;
    const int visible = 8 * division;
    EXPECT_EQ(followFirstTick(0, visible, 6 * division, division, true), 0);
    EXPECT_EQ(followFirstTick(0, visible, 6 * division + 1, division, true), 6 * division);
    EXPECT_EQ(followFirstTick(0, visible, 6 * division + 1, division, false), 0)
        << "stopped: only leaving the window turns the page";
    EXPECT_EQ(followFirstTick(0, visible, 8 * division - 1, division, false), 0);
    EXPECT_EQ(followFirstTick(0, visible, 8 * division, division, false), 8 * division);
    EXPECT_EQ(followFirstTick(4800, visible, 1000, division, false), 960)
        << "back to the beat at or before the position";
}

TEST(Scrolling, PageAndWheelSteps) {
    EXPECT_EQ(scrollPageTicks(17 * 480, 480), 12 * 480);
    EXPECT_EQ(wheelStepTicks(17 * 480, 480), 3 * 480);
    for (int beats = 4; beats <= 7; ++beats) {
        EXPECT_EQ(scrollPageTicks(beats * 480, 480), 0) << beats;
        EXPECT_EQ(wheelStepTicks(beats * 480, 480), 0) << beats;
    }
    EXPECT_EQ(scrollPageTicks(2 * 480, 480), 0) << "a narrow window never pages backwards";
    EXPECT_EQ(wheelStepTicks(480, 480), 0);
}

TEST(Scrolling, CentreStepRange) {
    EXPECT_EQ(clampCentreStep(64 + 7), 67);
    EXPECT_EQ(clampCentreStep(2), 3);
    EXPECT_EQ(clampCentreStep(40), 40);
}

TEST(TrackColours, BlendSwingsBetweenTheTwoColours) {
    const std::uint32_t c1 = 64 + 256 * 255 + 65536 * 64;
    const std::uint32_t c2 = 192 + 256 * 192 + 65536 * 128;
    EXPECT_EQ(trackColour(0, c1, c2), c1);
    // k = 1: w = 20 -> red 64*108/128 + 192*20/128 = 54 + 30
    EXPECT_EQ(trackColour(1, c1, c2) & 0xFF, 84u);
    // k = 6: w = 120; k = 7: w = 140 -> 116, so the shades turn back.
    const auto red = [&](int k) { return trackColour(k, c1, c2) & 0xFF; };
    EXPECT_GT(red(6), red(7));
    EXPECT_EQ(red(7), 64u * 12 / 128 + 192u * 116 / 128);
    EXPECT_EQ((trackColour(6, c1, c2) >> 16) & 0xFF, 64u * 8 / 128 + 128u * 120 / 128);
}

} // namespace
} // namespace reedtab
