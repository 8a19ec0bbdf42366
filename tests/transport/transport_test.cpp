// The transport on the manual clock: following the position, the loop and its wrap, marks moved
// while playing, the trainer's passes, seeking and stopping while notes sound, the end of a
// song, holding and releasing, and where Play starts.

#include "transporttesting.h"

#include "model/midievent.h"
#include "playback/speedtrainer.h"

#include <algorithm>

namespace reedtab::testing {
namespace {

using namespace std::chrono_literals;

// Division 480 at 120 bpm: a quarter is 500 ms.
class Following : public TransportTest {
protected:
    Following() {
        startSong(2);
        addTempo(song, 0, 960, 250000);
        addText(song, 0, 1200, "words");
        addNote(song, 1, 0, 60, 0, 400);
        addNote(song, 1, 0, 62, 480, 880);
        addNote(song, 1, 0, 64, 960, 1360);
        addNote(song, 1, 0, 65, 1440, 1800);
        finishSong(song, 1920);
    }
};

TEST_F(Following, ReportsPassEveryEventOnceInOrderAndFollowTheTempo) {
    ready();
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    runToEnd();
    ASSERT_GT(news.reports.size(), 10u);
    int next = 0;
    std::int32_t lastTick = 0;
    for (const PositionReport& report : news.reports) {
        EXPECT_FALSE(report.jumpedBack);
        EXPECT_GE(report.tick, lastTick) << "the position only moves on";
        EXPECT_EQ(report.firstEvent, next) << "each report goes on where the last one stopped";
        for (int i = report.firstEvent; i < report.endEvent; ++i) {
            EXPECT_LE(song.mergedEvents[i]->tick, report.tick) << "an event passed is reached";
        }
        next = report.endEvent;
        lastTick = report.tick;
    }
    EXPECT_EQ(lastTick, 1920);
    // The ends of track at 1920 carry no marker of their own: the tick marker reaches them.
    EXPECT_EQ(next, song.mergedEvents.lowerBound(1920)) << "every event before passed";

    std::vector<std::int32_t> tempoTicks;
    for (const PositionReport& report : news.reports) {
        if (report.tempoChanged) {
            tempoTicks.push_back(report.tick);
            EXPECT_EQ(report.tempo, report.tick < 960 ? 500000 : 250000);
        }
    }
    EXPECT_EQ(tempoTicks, (std::vector<std::int32_t>{0, 960}));
    EXPECT_EQ(news.tempos.front(), 500000) << "the player's tempo at the start";
    EXPECT_EQ(news.tempos.back(), 250000);
    EXPECT_EQ(transport.baseTempo(), 250000);
    EXPECT_EQ(transport.beatsPerMinute(), 240);
    EXPECT_EQ(news.ended, std::vector<int>{PlayerOk}) << "the end of the song, told once";
}

TEST_F(Following, TheLoopWrapsToTheBeginMarkUnderItsTempoAndMovedMarksApplyFromTheNextReport) {
    marks = {480, 1440};
    options.loop = true;
    ready();
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    // 480 ticks at 500 ms a quarter, then 480 at 250 ms: 750 ms a pass.
    run(2200ms);
    std::vector<PositionReport> wraps;
    for (const PositionReport& report : news.reports) {
        if (report.jumpedBack) {
            wraps.push_back(report);
        }
    }
    ASSERT_EQ(wraps.size(), 2u);
    for (const PositionReport& report : wraps) {
        EXPECT_EQ(report.tick, 480);
        EXPECT_EQ(report.firstEvent, song.mergedEvents.lowerBound(480));
        EXPECT_TRUE(report.tempoChanged);
        EXPECT_EQ(report.tempo, 500000) << "the tempo at the begin mark, not the loop's end";
    }
    EXPECT_EQ(timesOf({0x90, 62, 100}).size(), 3u) << "the begin mark's note on every pass";
    EXPECT_TRUE(timesOf({0x90, 65, 100}).empty()) << "the end mark's note is never played";
    EXPECT_TRUE(timesOf({0x90, 60, 100}).empty()) << "Play started at the begin mark";

    marks = {480, -1};
    run(2000ms);
    EXPECT_EQ(timesOf({0x90, 65, 100}).size(), 1u) << "the loop is gone: the song plays on";
    runToEnd();
    EXPECT_EQ(news.ended, std::vector<int>{PlayerOk});
}

TEST_F(Following, WithTheLoopSwitchOffTheMarksOnlyEndPlaying) {
    marks = {480, 1440};
    ready();
    EXPECT_FALSE(transport.looping());
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    runToEnd();
    EXPECT_EQ(timesOf({0x90, 62, 100}).size(), 1u);
    EXPECT_TRUE(timesOf({0x90, 65, 100}).empty());
    EXPECT_EQ(news.ended, std::vector<int>{PlayerOk});
}

TEST_F(Following, PlayStartsAtTheBeginMarkTheEditCursorOrThePlayPosition) {
    options.countIn = true;
    ready();
    transport.seek(960);
    EXPECT_FALSE(transport.countsInFromCursor()) << "neither at 0 nor at the begin mark";
    marks = {480, -1};
    ASSERT_EQ(transport.play(false, true, -1), PlayerOk);
    run(10ms);
    EXPECT_EQ(heard().back(), (Bytes{0x90, 64, 100})) << "from the play position";
    transport.stop();

    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    run(10ms);
    EXPECT_EQ(heard().back(), (Bytes{0x90, 62, 100})) << "from the begin mark";
    transport.stop();

    marks = {};
    options.editMode = true;
    transport.setOptions(options);
    ASSERT_EQ(transport.play(false, true, 1440), PlayerOk);
    run(10ms);
    EXPECT_EQ(heard().back(), (Bytes{0x90, 65, 100})) << "from the edit cursor";
    transport.stop();

    transport.seek(0);
    EXPECT_TRUE(transport.countsInFromCursor());
    marks = {480, -1};
    transport.seek(480);
    EXPECT_TRUE(transport.countsInFromCursor()) << "at the begin mark";
}

TEST_F(Following, TheTempoPercentageSoundsAtOnceAndGivesTheBeatsPerMinute) {
    ready();
    EXPECT_EQ(transport.setTempoPercent(200), 240);
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    runToEnd();
    const double first = timesOf({0x90, 60, 100}).at(0);
    EXPECT_NEAR(timesOf({0x90, 62, 100}).at(0) - first, 250.0, 0.01);
    EXPECT_EQ(transport.setTempoPercent(0), 2) << "below 1 counts as 1 (of 250000 a quarter)";
    EXPECT_EQ(transport.tempoPercent(), 1);
}

// Two long notes that sound across every place the tests move to.
class SoundingNotesWhileMoving : public TransportTest {
protected:
    SoundingNotesWhileMoving() {
        startSong(2);
        addNote(song, 1, 0, 60, 0, 3000);
        addNote(song, 1, 1, 64, 0, 3840);
        addNote(song, 1, 0, 67, 2880, 3000);
        finishSong(song, 3840);
    }
};

TEST_F(SoundingNotesWhileMoving, SeekingReStrikesTheNotesThereAndStoppingSilencesThem) {
    ready();
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    run(300ms);
    EXPECT_EQ(soundingKeys(), (std::vector<int>{60, 128 + 64}));
    out.clear();
    EXPECT_GE(transport.seek(1920), 1920);
    EXPECT_TRUE(transport.isPlaying());
    run(20ms);
    const std::vector<Bytes> afterSeek = heard();
    const auto reStruck = [&](const Bytes& bytes) {
        return std::find(afterSeek.begin(), afterSeek.end(), bytes) != afterSeek.end();
    };
    EXPECT_TRUE(reStruck({0xB0, 123, 0})) << "the old notes end at the seek";
    EXPECT_TRUE(reStruck({0x90, 60, 100}));
    EXPECT_TRUE(reStruck({0x91, 64, 100}));
    EXPECT_EQ(soundingKeys(), (std::vector<int>{60, 128 + 64}));
    EXPECT_GE(news.reports.back().tick, 1920);

    const std::size_t reports = news.reports.size();
    transport.stop();
    EXPECT_FALSE(transport.isPlaying());
    EXPECT_TRUE(soundingKeys().empty()) << "no note sounds on after Stop";
    run(500ms);
    EXPECT_EQ(news.reports.size(), reports) << "nothing is reported after Stop";
    EXPECT_TRUE(news.ended.empty()) << "Stop is no end of the song";
}

TEST_F(SoundingNotesWhileMoving, APlayStoppedAtAHoldGoesOnFromThereOnRelease) {
    ready();
    transport.holdAt(2880);
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    runToEnd();
    EXPECT_EQ(news.holds, std::vector<std::int32_t>{2880});
    ASSERT_TRUE(transport.heldAt().has_value());
    EXPECT_EQ(*transport.heldAt(), 2880);
    EXPECT_TRUE(news.ended.empty()) << "a hold is no end of the song";
    EXPECT_TRUE(timesOf({0x90, 67, 100}).empty()) << "the hold's own events wait";
    EXPECT_TRUE(soundingKeys().empty());

    ASSERT_EQ(transport.release(), PlayerOk);
    EXPECT_FALSE(transport.heldAt().has_value());
    runToEnd();
    EXPECT_EQ(timesOf({0x90, 67, 100}).size(), 1u);
    EXPECT_EQ(timesOf({0x90, 60, 100}).size(), 2u) << "the note across the hold sounds again";
    EXPECT_EQ(news.ended, std::vector<int>{PlayerOk});
}

TEST_F(SoundingNotesWhileMoving, EditModePlaysOnPastTheEndUntilStopped) {
    options.editMode = true;
    ready();
    ASSERT_EQ(transport.play(false, false, -1), PlayerOk);
    run(5s);
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_GT(news.reports.back().tick, 3840);
    EXPECT_TRUE(news.ended.empty());
    transport.stop();
    EXPECT_TRUE(soundingKeys().empty());
}

// One bar of 4/4: 2 s a pass at the song's tempo.
class Trainer : public TransportTest {
protected:
    Trainer() {
        startSong(2);
        addNote(song, 1, 0, 60, 0, 240);
        addNote(song, 1, 0, 62, 960, 1200);
        addNote(song, 1, 0, 64, 1440, 1900);
        finishSong(song, 1900);
    }
};

TEST_F(Trainer, LoopsTheWholeSongRaisingTheTempoAtEachPassAndEndsAtStop) {
    ready();
    ASSERT_EQ(transport.startTrainer({50, 25, 100, 1}), PlayerOk);
    EXPECT_TRUE(transport.training());
    EXPECT_TRUE(transport.looping()) << "a trainer loops with the switch off";
    EXPECT_EQ(transport.tempoPercent(), 50);
    run(11s);
    // Passes of 4 s, 2.667 s, then 2 s: the bar to the end of its last bar, 1920 ticks.
    const std::vector<double> expected = {0, 4000, 6666.667, 8666.667, 10666.667};
    const std::vector<double> starts = timesOf({0x90, 60, 100});
    ASSERT_EQ(starts.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(starts[k], expected[k], 1.0) << k;
    }
    EXPECT_EQ(transport.trainerPass(), 4);
    EXPECT_EQ(transport.tempoPercent(), 100);
    const auto wraps =
        std::count_if(news.reports.begin(), news.reports.end(),
                      [](const PositionReport& report) { return report.jumpedBack; });
    EXPECT_EQ(wraps, 4);

    transport.stop();
    EXPECT_FALSE(transport.training());
    EXPECT_FALSE(transport.looping());
    EXPECT_EQ(transport.tempoPercent(), 100) << "the percentage stays where training got to";
    EXPECT_TRUE(news.ended.empty());
}

TEST_F(Trainer, WithBothMarksItLoopsThemFromTheBeginMark) {
    marks = {960, 1440};
    ready();
    ASSERT_EQ(transport.startTrainer({100, 10, 120, 2}), PlayerOk);
    run(1200ms);
    EXPECT_TRUE(timesOf({0x90, 60, 100}).empty());
    EXPECT_TRUE(timesOf({0x90, 64, 100}).empty()) << "the end mark's note";
    EXPECT_EQ(timesOf({0x90, 62, 100}).size(), 3u) << "500 ms a pass";
    EXPECT_EQ(transport.tempoPercent(), 110) << "raised after every second pass";
    // The slider set back to the start percentage sounds although the plan started there.
    transport.setTempoPercent(100);
    EXPECT_EQ(transport.tempoPercent(), 100);
    transport.stop();
}

TEST_F(Trainer, APlanThePlayerCannotFollowStartsNothing) {
    ready();
    EXPECT_EQ(transport.startTrainer({90, 5, 80, 1}), PlayerOk);
    EXPECT_FALSE(transport.isPlaying());
    EXPECT_FALSE(transport.training());
}

TEST_F(Trainer, AnEditsRestartKeepsTraining) {
    ready();
    ASSERT_EQ(transport.startTrainer({50, 25, 100, 1}), PlayerOk);
    run(4500ms);
    ASSERT_EQ(transport.tempoPercent(), 75);
    PlayerControl& document = transport.playerControl();
    document.stop();
    document.restart();
    EXPECT_TRUE(transport.training());
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_EQ(transport.tempoPercent(), 75) << "an edit's stop is no Stop of the user's";
    transport.stop();
}

} // namespace
} // namespace reedtab::testing
