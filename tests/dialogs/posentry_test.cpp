#include "dialogs/posentry.h"

#include "model/midisong.h"

#include <QApplication>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>

namespace reedtab {
namespace {

TEST(PosEntry, StartsAtBarOneBeatOneTickZero) {
    CPosEntry entry;
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.beat(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, RangeCheckKeepsBarInTheSongAndTickWithinADivision) {
    CPosEntry entry;
    entry.setRange(12, 480);
    entry.setPosition(40, 3, 900);
    EXPECT_EQ(entry.bar(), 12);
    EXPECT_EQ(entry.beat(), 3);
    EXPECT_EQ(entry.tick(), 480);
    entry.setPosition(0, 1, -5);
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, EmptySongStillAllowsBarOne) {
    CPosEntry entry;
    entry.setRange(0, 0);
    entry.setPosition(3, 1, 10);
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, WithoutRangeCheckCountsStartAtZero) {
    CPosEntry entry;
    entry.setRange(4, 96);
    entry.setRangeCheck(false);
    entry.setPosition(0, 0, 5000);
    EXPECT_EQ(entry.bar(), 0);
    EXPECT_EQ(entry.beat(), 0);
    EXPECT_EQ(entry.tick(), 5000);
}

// The mark commands open the entry at the play position: bar, quarter-note beat and tick.
TEST(PosEntry, ShowsATickOfTheSongAsBarBeatTick) {
    MidiSong song;
    song.division = 480;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    song.addEvent(0, 0, makeTimeSignatureEvent(3, 4));
    song.timeSignatureList.push_back(
        static_cast<TimeSignatureEvent*>(song.tracks[0]->events.front().get()));
    song.length = 20 * 1440;
    song.rebuildBars();
    CPosEntry entry;
    entry.setRange(static_cast<int>(song.barTable.size()), song.division);
    entry.setPositionOf(song, 2 * 1440 + 480 + 77);
    EXPECT_EQ(entry.bar(), 3);
    EXPECT_EQ(entry.beat(), 2);
    EXPECT_EQ(entry.tick(), 77);
    EXPECT_EQ(song.barBeatTickToTick(entry.bar(), entry.beat(), entry.tick()), 2 * 1440 + 557);
    entry.setPositionOf(song, song.length + 1);
    EXPECT_EQ(entry.bar(), 1) << "past the song's end";
    EXPECT_EQ(entry.beat(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

} // namespace
} // namespace reedtab
