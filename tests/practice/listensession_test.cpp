// Playing along on the manual clock: the real player and transport, the player's pitch made by
// the test at every 5 ms step. At tempo each pass is judged and scored; in wait mode playing
// holds at each expected note, the accompaniment with it, until the note is heard.

#include "transporttesting.h"

#include "practice/listensession.h"

#include <cmath>
#include <functional>
#include <limits>

namespace reedtab::testing {
namespace {

using namespace std::chrono_literals;

constexpr double kSilent = std::numeric_limits<double>::quiet_NaN();

struct PassEnd {
    int pass;
    PassScore score;
    bool complete;
};

// Division 480 at 120 bpm, a quarter 500 ms: the accompaniment (track 1, channel 2) plays key
// 48 on every beat, the melody (track 2) four notes of 400 ticks.
class PlayingAlong : public TransportTest, public TransportListener, public ListenSessionListener {
protected:
    static constexpr int kMelody[4] = {60, 62, 64, 65};

    PlayingAlong() {
        startSong(3);
        for (int i = 0; i < 4; ++i) {
            addNote(song, 1, 1, 48, i * 480, i * 480 + 400);
        }
        for (int i = 0; i < 4; ++i) {
            addNote(song, 2, 0, kMelody[i], i * 480, i * 480 + 400);
        }
        finishSong(song, 1920);
        transport.setListener(this);
    }

    void begin(bool wait) {
        ready();
        ListenSessionOptions o;
        o.range.track = 2;
        o.wait = wait;
        session = std::make_unique<ListenSession>(transport, song, o);
        session->setListener(this);
        ASSERT_EQ(session->start(), PlayerOk);
    }

    double nowMs() const { return clock.now().count() / 1e6; }

    // Time runs on in 5 ms steps; after each the player is heard playing `pitch()` (NaN:
    // silence) as a frame of that moment.
    void playAlong(std::chrono::milliseconds span, const std::function<double()>& pitch) {
        const auto end = clock.now() + span;
        while (clock.now() < end) {
            player.stream().advanceTo(clock.now() + 5ms);
            poster.dispatchAll();
            PitchFrame frame;
            frame.ms = nowMs();
            if (const double p = pitch(); !std::isnan(p)) {
                frame.confidence = 0.95;
                frame.note = static_cast<int>(std::lround(p));
                frame.cents = (p - frame.note) * 100.0;
                frame.hz = 440.0 * std::pow(2.0, (p - 69.0) / 12.0);
            }
            session->hear({frame});
        }
    }
    void playAlong(std::chrono::milliseconds span, double pitch) {
        playAlong(span, [pitch] { return pitch; });
    }
    // The melody note sounding where the song is, as `keys` (one per melody note, NaN to leave
    // it out) says to play it.
    std::function<double()> following(std::vector<double> keys) {
        return [this, keys] {
            if (!transport.isPlaying()) {
                return kSilent;
            }
            const std::int32_t tick = transport.soundingTick();
            const int i = tick / 480;
            return i < 4 && tick % 480 < 400 ? keys[i] : kSilent;
        };
    }
    std::vector<Verdict> verdicts() const {
        std::vector<Verdict> v;
        for (const auto& [pass, note] : judged) {
            v.push_back(note.verdict);
        }
        return v;
    }
    std::size_t accompanimentOnsets() const { return timesOf({0x91, 48, 100}).size(); }

    void positionReached(const PositionReport& report) override {
        session->positionReached(report, nowMs());
    }
    void tempoChanged(int) override {}
    void songEnded(int) override {
        ++ended;
        session->songEnded(nowMs());
    }
    void held(std::int32_t tick) override {
        holds.push_back(tick);
        session->held(tick, nowMs());
    }
    void noteJudged(int pass, const JudgedNote& note) override { judged.emplace_back(pass, note); }
    void passEnded(int pass, const PassScore& score, bool complete) override {
        passes.push_back({pass, score, complete});
    }
    void waitingFor(const std::optional<ExpectedNote>& note) override {
        waits.push_back(note ? note->note : -1);
    }

    std::unique_ptr<ListenSession> session;
    std::vector<std::pair<int, JudgedNote>> judged;
    std::vector<PassEnd> passes;
    std::vector<std::int32_t> holds;
    std::vector<int> waits;
    int ended = 0;
};

TEST_F(PlayingAlong, AtTempoEveryNoteIsJudgedAsTheSoundComesAndThePassIsScored) {
    begin(false);
    // The second note left out, the third a half step high.
    playAlong(2500ms, following({60, kSilent, 65, 65}));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(holds.empty()) << "playing at tempo never holds";
    EXPECT_TRUE(passes.empty()) << "the pass waits for the sound of its last note";
    EXPECT_TRUE(session->closing());
    playAlong(1000ms, kSilent);
    ASSERT_EQ(verdicts(),
              (std::vector<Verdict>{Verdict::Hit, Verdict::Missed, Verdict::Wrong, Verdict::Hit}));
    EXPECT_EQ(judged[2].second.heard, 65);
    EXPECT_NEAR(*judged[2].second.cents, 100.0, 1.0);
    for (int i : {0, 3}) {
        EXPECT_LT(std::fabs(*judged[i].second.timingMs), 15.0)
            << "note " << i << " played in time is judged on time";
    }
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_TRUE(passes[0].complete);
    EXPECT_EQ(passes[0].score.hits, 2);
    EXPECT_EQ(passes[0].score.wrongs, 1);
    EXPECT_EQ(passes[0].score.misses, 1);
    EXPECT_DOUBLE_EQ(passes[0].score.accuracy, 0.5);
    EXPECT_EQ(accompanimentOnsets(), 4u) << "the accompaniment plays at its tempo";
    EXPECT_FALSE(session->active());
}

TEST_F(PlayingAlong, EachPassOfALoopIsScoredAndAStopEndsThePassUnderWayIncomplete) {
    marks = {0, 1920};
    options.loop = true;
    begin(false);
    playAlong(2000ms + 2000ms + 500ms, following({60, 62, 64, 65}));
    session->stop();
    ASSERT_GE(passes.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(passes[i].pass, i);
        EXPECT_TRUE(passes[i].complete);
        EXPECT_EQ(passes[i].score.hits, 4) << "pass " << i;
        EXPECT_EQ(passes[i].score.extras, 0) << "the next pass's notes are not this one's extras";
    }
    EXPECT_EQ(passes[2].pass, 2);
    EXPECT_FALSE(passes[2].complete);
    EXPECT_EQ(passes[2].score.hits, 1) << "the third pass had judged its first note";
    EXPECT_FALSE(transport.isPlaying());
}

TEST_F(PlayingAlong, WaitModeHoldsTheAccompanimentAtEachNoteUntilItIsHeard) {
    begin(true);
    playAlong(2000ms, kSilent);
    EXPECT_EQ(holds, std::vector<std::int32_t>{0});
    EXPECT_TRUE(session->waiting());
    EXPECT_EQ(accompanimentOnsets(), 0u) << "the accompaniment waits with the first note";
    EXPECT_EQ(waits, std::vector<int>{60});

    // Held at the second note: a wrong note first, then the right one.
    playAlong(100ms, 60);
    EXPECT_FALSE(session->waiting());
    EXPECT_EQ(accompanimentOnsets(), 1u);
    playAlong(600ms, kSilent);
    EXPECT_EQ(holds, (std::vector<std::int32_t>{0, 480}));
    playAlong(3000ms, kSilent);
    EXPECT_EQ(accompanimentOnsets(), 1u) << "nothing plays on while it waits";
    playAlong(100ms, 63);
    EXPECT_TRUE(session->waiting()) << "a wrong note does not go on";
    playAlong(30ms, kSilent);
    playAlong(60ms, 62.1);
    EXPECT_FALSE(session->waiting());

    // A note from the MIDI input goes on as well.
    playAlong(600ms, kSilent);
    EXPECT_EQ(holds.back(), 960);
    session->noteInput(64, nowMs());
    EXPECT_FALSE(session->waiting());

    // The last note played before the accompaniment gets there: it does not stop.
    playAlong(300ms, kSilent);
    playAlong(600ms, 65);
    EXPECT_EQ(holds.back(), 1440);
    EXPECT_FALSE(transport.heldAt().has_value());
    playAlong(1000ms, kSilent);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(accompanimentOnsets(), 4u);

    ASSERT_EQ(verdicts(),
              (std::vector<Verdict>{Verdict::Hit, Verdict::Wrong, Verdict::Hit, Verdict::Hit}));
    EXPECT_EQ(judged[1].second.heard, 63) << "the wrong attempt is what was heard";
    EXPECT_GT(*judged[1].second.timingMs, 3000.0) << "timed from the hold";
    EXPECT_LT(*judged[3].second.timingMs, 0.0) << "played before the hold";
    ASSERT_EQ(passes.size(), 1u);
    EXPECT_TRUE(passes[0].complete);
    EXPECT_EQ(passes[0].score.hits, 3);
    EXPECT_EQ(passes[0].score.wrongs, 1);
}

TEST_F(PlayingAlong, WaitModeTakesANoteHeldOnFromTheOneBeforeForNoAttempt) {
    startSong(3);
    addNote(song, 1, 1, 48, 0, 400);
    addNote(song, 2, 0, 60, 0, 400);
    addNote(song, 2, 0, 60, 480, 880);
    finishSong(song, 960);
    begin(true);
    playAlong(1500ms, 60);
    EXPECT_EQ(holds, (std::vector<std::int32_t>{0, 480}));
    EXPECT_TRUE(session->waiting()) << "one long note is not the same note twice";
    playAlong(20ms, kSilent);
    playAlong(50ms, 60);
    EXPECT_FALSE(session->waiting());
    EXPECT_EQ(verdicts(), (std::vector<Verdict>{Verdict::Hit, Verdict::Hit}));
}

} // namespace
} // namespace reedtab::testing
