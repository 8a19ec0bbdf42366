#include "view/geometry/printlayout.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

PrintOptions bothClefs(int beatsPerLine = 16) {
    PrintOptions options;
    options.trebleClef = true;
    options.bassClef = true;
    options.beatsPerLine = beatsPerLine;
    return options;
}

TEST(PrintPage, BothClefsGiveFiveLinesAndKeepTheScreenStaff) {
    PrintSource source;
    source.division = 480;
    source.songLength = 40000;
    source.screenCentreStep = 33;
    const PrintPageLayout page = printPageLayout(bothClefs(), source);
    EXPECT_EQ(page.linesPerPage, 5);
    EXPECT_EQ(page.lineHeight, 214);
    EXPECT_EQ(page.centreStep, 33);
    EXPECT_EQ(page.ticksPerLine, 7680);
    EXPECT_EQ(page.ticksPerPage, 38400);
    EXPECT_EQ(page.pageCount, 2);
    EXPECT_EQ(printLinesOnPage(page, 1), 5);
    EXPECT_EQ(printLinesOnPage(page, 2), 1) << "the second page holds the last 1600 ticks";
    EXPECT_EQ(printLineTick(page, 2, 0), 38400);
    EXPECT_EQ(page.unitsPerBeat, 59) << "955 / 16";
}

TEST(PrintPage, OneClefGivesSixLinesAroundItsStaff) {
    PrintOptions treble;
    PrintSource source;
    PrintPageLayout page = printPageLayout(treble, source);
    EXPECT_EQ(page.linesPerPage, 6);
    EXPECT_EQ(page.lineHeight, 178);
    EXPECT_EQ(page.centreStep, 41);

    PrintOptions bass;
    bass.trebleClef = false;
    bass.bassClef = true;
    EXPECT_EQ(printPageLayout(bass, source).centreStep, 31);
    bass.bassClef = false;
    EXPECT_EQ(printPageLayout(bass, source).centreStep, 41) << "no clef centres on the treble";
}

TEST(PrintPage, BeatsPerLineSetTheUnitsPerBeat) {
    PrintSource source;
    EXPECT_EQ(printPageLayout(bothClefs(48), source).unitsPerBeat, 19);
    EXPECT_EQ(printPageLayout(bothClefs(1), source).unitsPerBeat, 955);
    EXPECT_EQ(printPageLayout(bothClefs(0), source).beatsPerLine, 1) << "held to 1..48";
    EXPECT_EQ(printPageLayout(bothClefs(99), source).beatsPerLine, 48);
}

TEST(PrintPage, MarksChooseTheRangeAndShortSongsPrintOnePage) {
    PrintSource source;
    source.division = 960;
    source.songLength = 200000;
    source.markBegin = 30720; // bar 9 of 4/4
    source.markEnd = 40000;
    const PrintPageLayout page = printPageLayout(bothClefs(), source);
    EXPECT_EQ(page.start, 30720);
    EXPECT_EQ(page.end, 40000);
    EXPECT_EQ(printLineTick(page, 1, 0), 30720) << "the first line starts at the mark itself";
    EXPECT_EQ(page.pageCount, 1);
    EXPECT_EQ(printLinesOnPage(page, 1), 1);

    source.markBegin = -1;
    source.markEnd = -1;
    source.songLength = 0;
    EXPECT_EQ(printPageLayout(bothClefs(), source).pageCount, 1) << "an empty song, one page";
    source.markBegin = 9000;
    source.markEnd = 100;
    EXPECT_EQ(printPageLayout(bothClefs(), source).pageCount, 1) << "a reversed range, one page";
}

TEST(PrintPage, LineLayoutStacksTheLinesBelowTheHeader) {
    PrintSource source;
    const PrintPageLayout page = printPageLayout(PrintOptions{}, source);
    const ViewLayout first = printLineLayout(page, 0, 12);
    EXPECT_EQ(first.top, 18);
    EXPECT_EQ(first.staffTop, 30);
    EXPECT_EQ(first.staffBottom, 178);
    EXPECT_EQ(first.right, 45 + 16 * 59) << "the time area ends with the line's last beat";
    EXPECT_EQ(first.timeLeft, 45);
    EXPECT_EQ(first.stepHeight, 6) << "print staff space 0";
    EXPECT_TRUE(first.showTrebleClef);
    EXPECT_FALSE(first.showBassClef);
    const ViewLayout last = printLineLayout(page, 5, 12);
    EXPECT_EQ(last.staffBottom, 6 * 178);
    EXPECT_LE(last.bottom, kPrintPageHeight);
    EXPECT_EQ(printLineLayout(page, 0, -1).stepHeight, 0) << "not derived before measuring";
    EXPECT_EQ(printLineLayout(printPageLayout(bothClefs(5), source), 0, 12).right, 1000)
        << "955 units hold five beats exactly";
    EXPECT_EQ(printLineLayout(printPageLayout(bothClefs(48), source), 0, 12).right, 45 + 48 * 19);
}

TEST(PrintPage, LineSpansFollowEachOtherWithoutOverlap) {
    PrintSource source;
    source.division = 480;
    source.songLength = 100000;
    source.markBegin = 1000;
    const PrintPageLayout page = printPageLayout(PrintOptions{}, source);
    EXPECT_EQ(printLineSpan(page, 1, 0).firstTick, 1000);
    EXPECT_EQ(printLineSpan(page, 1, 0).lastTick, 1000 + 7680);
    EXPECT_EQ(printLineSpan(page, 1, 5).lastTick, printLineSpan(page, 2, 0).firstTick)
        << "the last line of a page ends where the next page begins";

    source.markBegin = INT32_MAX - 100;
    source.markEnd = INT32_MAX;
    const PrintPageLayout atTheEnd = printPageLayout(PrintOptions{}, source);
    EXPECT_EQ(printLineSpan(atTheEnd, 1, 0).lastTick, INT32_MAX) << "no overflow";
}

} // namespace
} // namespace reedtab
