#include "view/geometry/songwindow.h"

#include "view/geometry/noteedit.h"

#include "model/midisong.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace reedtab {
namespace {

// Division 480; one track holding the time signatures given and the notes added.
class SongWindowTest : public ::testing::Test {
protected:
    SongWindowTest() {
        song.division = 480;
        auto track = std::make_unique<MidiTrack>();
        song.tracks.push_back(std::move(track));
        layout.setLayoutSize(0, 0, 45 + 8 * 72, 400); // eight whole beats at 100%
        layout.setMeasuredTextHeight(14);
        scale.pixelsPerBeat = 72;
        scale.division = 480;
    }

    void addSignature(std::int32_t tick, int numerator, int denominator) {
        song.addEvent(tick, 0, makeTimeSignatureEvent(numerator, denominator));
        for (const auto& e : song.tracks[0]->events) {
            if (e->tick == tick && e->kind() == KindTimeSignature) {
                song.timeSignatureList.push_back(static_cast<TimeSignatureEvent*>(e.get()));
            }
        }
    }

    // A drawn note; returns its merged-list index once the song is complete.
    MidiEvent* addNote(int key, std::int32_t tick, std::int32_t duration, int channel = 0) {
        song.addEvent(tick, 0, makeChannelEvent(0x90 | channel, key, 100));
        MidiEvent* on = nullptr;
        for (const auto& e : song.tracks[0]->events) {
            if (e->tick == tick && e->kind() == KindNoteOn && e->data1 == key) {
                on = e.get();
            }
        }
        on->duration = duration;
        on->isNote = 1;
        song.length = std::max(song.length, tick + duration);
        return on;
    }

    SongWindow windowAt(std::int32_t tick, bool running = false) {
        SongWindow window;
        followWindow(window, song, layout, 72, tick, running);
        scale.firstTick = window.firstTick;
        return window;
    }

    MidiSong song;
    ViewLayout layout;
    ViewScale scale;
};

TEST_F(SongWindowTest, FollowTurnsThePageAndFindsTheFirstEvent) {
    addSignature(0, 4, 4);
    addNote(60, 0, 480);
    MidiEvent* late = addNote(62, 5000, 480);
    song.length = 20000;
    song.rebuildBars();

    SongWindow w = windowAt(0);
    EXPECT_EQ(w.firstTick, 0);
    EXPECT_EQ(w.visibleTicks, 9 * 480) << "eight whole beats plus one";
    EXPECT_EQ(w.lastTick, 9 * 480);
    EXPECT_EQ(song.mergedEvents[w.firstVisibleEvent]->data1, 60);

    followWindow(w, song, layout, 72, 5000, false);
    EXPECT_EQ(w.firstTick, 4800) << "the beat at or before the position";
    EXPECT_EQ(song.mergedEvents[w.firstVisibleEvent], late);
    EXPECT_EQ(w.firstVisibleBar, 2);

    followWindow(w, song, layout, 72, 0, false);
    EXPECT_EQ(w.firstTick, 0) << "going back searches from the start again";
    EXPECT_EQ(song.mergedEvents[w.firstVisibleEvent]->data1, 60);
    EXPECT_EQ(w.firstVisibleBar, 0);
}

TEST_F(SongWindowTest, EmptySongsStayPut) {
    SongWindow w;
    w.firstTick = 960;
    followWindow(w, song, layout, 72, 5000, false);
    EXPECT_EQ(w.firstTick, 960) << "a song without events never moves the window";
    EXPECT_EQ(w.firstVisibleEvent, -1);
}

TEST_F(SongWindowTest, PrintedLinesShowExactlyTheirTicksLineAfterLine) {
    addSignature(0, 4, 4);
    MidiEvent* held = addNote(60, 1000, 3000); // sounds in lines 1 and 2
    song.addEvent(1900, 0, makeLyricEvent("la"));
    MidiEvent* atEnd = addNote(62, 2000, 100); // starts where line 1 ends
    MidiEvent* late = addNote(64, 9000, 100);  // after two empty lines
    song.rebuildBars();
    const MergedEventList& list = song.mergedEvents;
    const auto first = [&](const SongWindow& w) {
        return w.firstVisibleEvent < 0 ? nullptr : list[w.firstVisibleEvent];
    };

    SongWindow w;
    advanceWindow(w, song, 1001, 2000);
    EXPECT_EQ(w.firstTick, 1001) << "a line starts exactly at its tick, off the beat";
    EXPECT_EQ(w.lastTick, 2000) << "and ends where the next begins: nothing of it shows";
    EXPECT_EQ(w.visibleTicks, 999);
    EXPECT_EQ(first(w), held);

    advanceWindow(w, song, 2000, 3000);
    EXPECT_EQ(first(w), held) << "still sounding";
    EXPECT_EQ(w.firstVisibleBar, 1);
    advanceWindow(w, song, 5000, 6000);
    ASSERT_NE(first(w), nullptr) << "a window with nothing in it starts its layers past it";
    EXPECT_GE(first(w)->tick, 6000);
    advanceWindow(w, song, 6000, 7000);
    advanceWindow(w, song, 9000, 10000);
    EXPECT_EQ(first(w), late) << "found after the empty lines";

    advanceWindow(w, song, 2000, 3000);
    EXPECT_EQ(first(w), held) << "a window moved back searches from the start";
    advanceWindow(w, song, 1950, 2050);
    EXPECT_EQ(first(w), held);
    advanceWindow(w, song, 3990, 4100);
    EXPECT_EQ(first(w), held) << "the held note ends at 4000";
    advanceWindow(w, song, 4000, 8000);
    EXPECT_NE(first(w), held);
    EXPECT_NE(first(w), atEnd);
    advanceWindow(w, song, 10000, 12000);
    EXPECT_EQ(first(w), nullptr) << "past every event";
}

TEST_F(SongWindowTest, FirstVisibleEventCountsSoundingNotesDrumsAndText) {
    addNote(60, 0, 100);
    addNote(36, 100, 50, 9)->isNote = 0; // drums hidden from the staff still mark the drum row
    song.addEvent(200, 0, makeLyricEvent("la"));
    addNote(64, 1000, 2000);
    song.rebuildBars();
    const MergedEventList& list = song.mergedEvents;
    EXPECT_EQ(list[findFirstVisibleEvent(list, 50, 4000, -1)]->data1, 60);
    EXPECT_EQ(list[findFirstVisibleEvent(list, 120, 4000, -1)]->data1, 36);
    EXPECT_EQ(list[findFirstVisibleEvent(list, 150, 4000, -1)]->kind(), KindLyric);
    EXPECT_EQ(list[findFirstVisibleEvent(list, 2500, 4000, -1)]->data1, 64)
        << "a note that started before the window still sounds in it";
    EXPECT_EQ(findFirstVisibleEvent(list, 3000, 4000, -1), -1);
    const int lyric = findFirstVisibleEvent(list, 150, 4000, -1);
    EXPECT_EQ(list[findFirstVisibleEvent(list, 50, 4000, lyric)]->data1, 60)
        << "a window left of the resume point searches from the start";
}

TEST_F(SongWindowTest, BeatGridFollowsTheTimeSignatures) {
    addSignature(0, 4, 4);
    addSignature(1920, 6, 8);
    addNote(60, 0, 8000);
    song.rebuildBars();
    SongWindow w = windowAt(0);
    const std::vector<GridLine> lines = beatGrid(song, layout, scale, w);
    std::vector<int> bars;
    std::vector<int> beats;
    for (const GridLine& line : lines) {
        (line.barLine ? bars : beats).push_back(line.x);
    }
    // 4/4 bar at 0, then 6/8 bars of 1440 ticks at 1920 and 3360; the window ends at 4320.
    EXPECT_EQ(bars, (std::vector<int>{45, 45 + 4 * 72, 45 + 7 * 72}));
    EXPECT_EQ(beats.size(), 3u + 5u + 4u) << "quarters, then eighths, up to the window's end";
    EXPECT_EQ(beats[3], 45 + 4 * 72 + 36) << "eighth-note beats under 6/8";
    EXPECT_EQ(beatTicks(480, 3), 240);
    EXPECT_EQ(beatTicks(480, 40), 1) << "a corrupt denominator still gives a step";

    SongWindow none = w;
    none.firstTick = -1;
    const std::vector<GridLine> plain = beatGrid(song, layout, scale, none);
    ASSERT_EQ(plain.size(), 9u);
    EXPECT_EQ(plain[1].x - plain[0].x, 72);
}

// 4/4 from 0, 6/8 from 1920 (bars of 1440 ticks, eighth-note beats of 240) and 3/4 from 4000,
// which cuts the 6/8 bar at 3360 short after 640 ticks.
TEST_F(SongWindowTest, TheNearestBeatFollowsEachBarsTimeSignature) {
    addSignature(0, 4, 4);
    addSignature(1920, 6, 8);
    addSignature(4000, 3, 4);
    addNote(60, 0, 6000);
    song.rebuildBars();
    ASSERT_EQ(song.barTable[3].startTick, 4000);

    struct Case {
        std::int32_t tick;
        std::int32_t beat;
        const char* why;
    };
    const Case cases[] = {
        {0, 0, "on a bar line"},
        {239, 0, "just before halfway"},
        {240, 480, "halfway counts as the later beat"},
        {1487, 1440, "47 ticks late"},
        {1960, 1920, "40 ticks after the bar line"},
        {1800, 1920, "the bar line ends the bar before it"},
        {2039, 1920, "6/8: beats are eighths"},
        {2040, 2160, "6/8: halfway to the second eighth"},
        {3300, 3360, "the next 6/8 bar"},
        {3850, 3840, "an eighth of the short bar"},
        {3930, 4000, "the short bar ends at the 3/4 bar line"},
        {4230, 4000, "3/4: quarter beats again"},
        {4250, 4480, "3/4: past halfway"},
        {9000, 8800, "past the last bar its beats go on"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nearestBeat(song, c.tick), c.beat) << "tick " << c.tick << ": " << c.why;
    }

    MidiSong bare;
    bare.division = 480;
    EXPECT_EQ(nearestBeat(bare, 700), 480) << "without bars the beats are quarters from 0";
    EXPECT_EQ(nearestBeat(bare, 721), 960);
}

TEST_F(SongWindowTest, AMarkClickLandsOnTheNearestTickOrWithSnappingOnTheNearestBeat) {
    addSignature(0, 4, 4);
    addSignature(1920, 6, 8);
    addNote(60, 0, 8000);
    song.rebuildBars();
    // At 100% a pixel is 480 / 72 = 6.67 ticks; tick 1920 (bar 2) lies at x 45 + 288.
    const SongWindow w = windowAt(0);
    const int bar2 = 45 + 4 * 72;
    EXPECT_EQ(markClickTick(song, layout, scale, bar2, false), 1920);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2, true), 1920);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2 + 6, false), 1960);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2 + 6, true), 1920);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2 - 7, false), 1873);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2 - 7, true), 1920);
    EXPECT_EQ(markClickTick(song, layout, scale, bar2 + 20, true), 2160)
        << "133 ticks into a 6/8 bar is nearer its second eighth";
    EXPECT_EQ(markClickTick(song, layout, scale, 45 + 72 + 35, true), 480);
    EXPECT_EQ(markClickTick(song, layout, scale, 45 + 72 + 37, true), 960);
    EXPECT_EQ(markClickTick(song, layout, scale, 10, true), 0) << "left of the time area";

    ASSERT_EQ(w.firstTick, 0);
    ASSERT_EQ(windowAt(5000).firstTick, 4800) << "a later window, starting on a bar line";
    EXPECT_EQ(markClickTick(song, layout, scale, 45 + 5, false), 4833);
    EXPECT_EQ(markClickTick(song, layout, scale, 45 + 5, true), 4800);
    EXPECT_EQ(markClickTick(song, layout, scale, 45 + 20, true), 5040);
}

TEST_F(SongWindowTest, MarkPlacesOpenTheRangeToTheWindowsEdgesWhereAMarkLiesBeyond) {
    addNote(60, 0, 20000);
    const SongWindow w = windowAt(0); // ticks 0 to 4320
    ASSERT_EQ(w.lastTick, 4320);
    const int right = layout.right;

    MarkPlaces both = markPlaces(layout, scale, w, 480, 960);
    EXPECT_TRUE(both.range);
    EXPECT_EQ(both.beginX, 45 + 72);
    EXPECT_EQ(both.endX, 45 + 144);
    EXPECT_EQ(both.rangeLeft, 45 + 72);
    EXPECT_EQ(both.rangeRight, 45 + 144);

    const MarkPlaces open = markPlaces(layout, scale, w, 480, -1);
    EXPECT_TRUE(open.range);
    EXPECT_FALSE(open.endX);
    EXPECT_EQ(open.rangeRight, right) << "an unset end runs to the right edge";

    const MarkPlaces endOnly = markPlaces(layout, scale, w, -1, 960);
    EXPECT_FALSE(endOnly.beginX);
    EXPECT_EQ(endOnly.rangeLeft, 45) << "from the time area's left edge, not the clefs";

    const MarkPlaces through = markPlaces(layout, scale, windowAt(9600), 480, 19200);
    EXPECT_TRUE(through.range) << "both marks beyond the window, the range across it";
    EXPECT_FALSE(through.beginX);
    EXPECT_FALSE(through.endX);
    EXPECT_EQ(through.rangeLeft, 45);
    EXPECT_EQ(through.rangeRight, right);

    EXPECT_FALSE(markPlaces(layout, scale, windowAt(9600), 480, 960).range)
        << "a range wholly before the window";
    EXPECT_FALSE(markPlaces(layout, scale, w, 9600, -1).range) << "a range wholly after it";
    EXPECT_FALSE(markPlaces(layout, scale, w, -1, -1).range);
}

TEST_F(SongWindowTest, FirstVisibleBarIsTheLastBarStartingBeforeTheWindow) {
    BarTable bars;
    bars.append(0, 1920, 6, 0);
    EXPECT_EQ(findFirstVisibleBar(bars, 4000), 2);
    EXPECT_EQ(findFirstVisibleBar(bars, 3840), 1) << "a window on a bar line starts a bar early";
    EXPECT_EQ(findFirstVisibleBar(bars, 100), 0);
    EXPECT_EQ(findFirstVisibleBar(bars, 99999), 4) << "stops before the last bar";
    EXPECT_EQ(findFirstVisibleBar(bars, 0), 0);
}

TEST_F(SongWindowTest, FirstVisibleBarOfAHugeSongIsFoundWithoutWalking) {
    BarTable bars;
    // A song whose last event lies near the end of the tick range: about a million bars.
    bars.append(0, 1920, 1'100'000, 0);
    EXPECT_EQ(findFirstVisibleBar(bars, 2'000'000'000), 1'041'666);
    EXPECT_EQ(findFirstVisibleBar(bars, 1920 * 7 + 1), 7);
}

TEST_F(SongWindowTest, StaffLinesAndLabelPlaces) {
    EXPECT_EQ(staffLineKind(35), StaffLineKind::Ledger) << "middle C";
    EXPECT_EQ(staffLineKind(37), StaffLineKind::Staff);
    EXPECT_EQ(staffLineKind(45), StaffLineKind::Staff);
    EXPECT_EQ(staffLineKind(47), StaffLineKind::Ledger);
    EXPECT_EQ(staffLineKind(25), StaffLineKind::Staff);
    EXPECT_EQ(staffLineKind(40), StaffLineKind::None);
    const std::vector<StaffLine> lines = staffLines(layout, 37);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const StaffLine& l) { return l.kind == StaffLineKind::Staff; }),
              10);
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end(),
                               [](const StaffLine& a, const StaffLine& b) { return a.y < b.y; }));
    const StaffLine top = *std::find_if(lines.begin(), lines.end(), [](const StaffLine& l) {
        return l.kind == StaffLineKind::Staff;
    });
    EXPECT_EQ(top.y, layout.middleY - 8 * layout.stepHeight) << "step 45, eight above 37";

    const NoteLabelPlace place = noteLabelPlace(PixelRect{100, 50, 150, 63}, 2, 12);
    EXPECT_EQ(place.textX, 116) << "seven pixels per prefix character";
    EXPECT_EQ(place.accidentalY, 39);
    const BarLabelRows rows = barLabelRows(layout);
    EXPECT_EQ(rows.signatureY - rows.numberY, 2 * layout.stepHeight);
    EXPECT_GE(rows.numberY, layout.staffTop);
    EXPECT_EQ(clefPlace(layout, 40).trebleY, layout.middleY - 35);
}

TEST_F(SongWindowTest, NoteAtReturnsTheTopmostNoteOfAShownTrack) {
    addNote(60, 0, 960);
    MidiEvent* over = addNote(60, 480, 960);
    addNote(64, 0, 480);
    song.rebuildBars();
    SongWindow w = windowAt(0);
    const PixelRect r = noteRect(layout, scale, 60, 480, 960);
    const int y = (r.top + r.bottom) / 2;
    NoteHit hit = noteAt(song, layout, scale, w, r.left + 5, y);
    EXPECT_EQ(song.mergedEvents[hit.index], over) << "the later note is drawn on top";
    EXPECT_EQ(hit.rect, r);
    EXPECT_EQ(noteAt(song, layout, scale, w, r.left - 5, y).rect.left, layout.timeLeft);
    EXPECT_EQ(noteAt(song, layout, scale, w, r.left + 5, r.top - 30).index, -1);

    song.tracks[0]->flags = TrackSelected;
    EXPECT_EQ(noteAt(song, layout, scale, w, r.left + 5, y).index, -1)
        << "a hidden track has no notes to hit, even when selected";
}

TEST_F(SongWindowTest, NotesInsideTakesOnlyWholeBarsOfShownTracksInTheWindow) {
    MidiEvent* a = addNote(60, 0, 480);
    MidiEvent* b = addNote(62, 480, 480);
    addNote(64, 960, 480);
    addNote(60, 9600, 480); // beyond the window
    song.rebuildBars();
    SongWindow w = windowAt(0);
    const PixelRect ra = noteRect(layout, scale, 60, 0, 480);
    const PixelRect rb = noteRect(layout, scale, 62, 480, 480);
    const PixelRect rc = noteRect(layout, scale, 64, 960, 480);

    const PixelRect band = normalisedRect(rb.right, rb.bottom, ra.left, rb.top);
    const std::vector<int> inside = notesInside(song, layout, scale, w, band);
    ASSERT_EQ(inside.size(), 1u) << "a's bar reaches below the band, c lies right of it";
    EXPECT_EQ(song.mergedEvents[inside[0]], b);

    const PixelRect all = normalisedRect(ra.left, rc.top, rc.right, ra.bottom);
    const std::vector<int> three = notesInside(song, layout, scale, w, all);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(song.mergedEvents[three[0]], a);
    const PixelRect shortOfC{all.left, all.top, all.right - 1, all.bottom};
    EXPECT_EQ(notesInside(song, layout, scale, w, shortOfC).size(), 2u)
        << "a bar with one corner outside stays out";

    song.tracks[0]->flags = TrackSelected;
    EXPECT_TRUE(notesInside(song, layout, scale, w, all).empty());
}

} // namespace
} // namespace reedtab
