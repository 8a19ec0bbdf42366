// The status bar's position text on a song whose meter and tempo change.

#include "app/statusposition.h"

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include <memory>

namespace reedtab {
namespace {

void addTimeSignature(MidiSong& song, std::int32_t tick, int numerator, int denominator) {
    auto signature = makeTimeSignatureEvent(numerator, denominator);
    TimeSignatureEvent* raw = signature.get();
    song.addEvent(tick, 0, std::move(signature));
    song.timeSignatureList.push_back(raw);
}

// 4/4 at 120 bpm for one bar, then 3/4 at 60 bpm for two bars, then 6/8.
void makeSong(MidiSong& song) {
    song.clear();
    song.format = 1;
    song.division = 480;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    addTimeSignature(song, 0, 4, 4);
    addTimeSignature(song, 1920, 3, 4);
    addTimeSignature(song, 4800, 6, 8);
    song.addEvent(1920, 0, makeTempoEvent(1000000));
    song.length = 40000;
    song.rebuildBars();
}

TEST(StatusPosition, BarsAndBeatsFollowTheMeterAndTheTimeTheTempo) {
    MidiSong song;
    makeSong(song);
    EXPECT_EQ(positionText(song, 0).toStdString(), "1:1:000  0:00");
    EXPECT_EQ(positionText(song, 1919).toStdString(), "1:4:479  0:01");
    // Two seconds for the first bar, then a second a quarter.
    EXPECT_EQ(positionText(song, 1920 + 480 + 10).toStdString(), "2:2:010  0:03");
    EXPECT_EQ(positionText(song, 1920 + 1440).toStdString(), "3:1:000  0:05");
    // 6/8 counts eighths.
    EXPECT_EQ(positionText(song, 4800 + 3 * 240 + 5).toStdString(), "4:4:005  0:09");
    // 65 quarters after the change: a minute and seven seconds; 6/8 bars of 1440 ticks.
    EXPECT_EQ(positionText(song, 1920 + 480 * 65).toStdString(), "23:5:000  1:07");
}

TEST(StatusPosition, ASongWithoutBarsCountsQuartersAtTheDefaultTempo) {
    MidiSong song;
    song.division = 96;
    EXPECT_EQ(positionText(song, 96 * 5 + 7).toStdString(), "1:6:007  0:02");
    EXPECT_EQ(positionText(song, -5).toStdString(), "1:1:000  0:00");
}

} // namespace
} // namespace reedtab
