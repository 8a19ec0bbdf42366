// Judging a pass: hits, wrong notes, misses and extras with their timing, from frames made by
// the test (the tracker's own output is tested on sound elsewhere).

#include "listen/judge.h"

#include <gtest/gtest.h>

#include <cmath>

namespace reedtab {
namespace {

constexpr double kHop = 5.0; // ms between frames

ExpectedNote note(double ms, int midi, double durationMs = 400) {
    ExpectedNote n;
    n.tick = static_cast<int32_t>(ms);
    n.ms = ms;
    n.durationMs = durationMs;
    n.note = midi;
    return n;
}

PitchFrame frame(double ms, double pitch) {
    PitchFrame f;
    f.ms = ms;
    f.confidence = 0.95;
    f.note = static_cast<int>(std::lround(pitch));
    f.cents = (pitch - f.note) * 100.0;
    f.hz = 440.0 * std::pow(2.0, (pitch - 69.0) / 12.0);
    return f;
}

PitchFrame quiet(double ms) {
    PitchFrame f;
    f.ms = ms;
    f.confidence = 0.1;
    return f;
}

// What the judge hears: frames every 5 ms from 0, silent except where a piece sounds.
struct Performance {
    struct Piece {
        double fromMs;
        double toMs;
        double startPitch;
        double endPitch; // glides in a straight line from start to end
    };
    std::vector<Piece> pieces;
    double endMs = 3000;

    Performance& play(double fromMs, double toMs, double pitch) {
        pieces.push_back({fromMs, toMs, pitch, pitch});
        return *this;
    }
    Performance& glide(double fromMs, double toMs, double startPitch, double endPitch) {
        pieces.push_back({fromMs, toMs, startPitch, endPitch});
        return *this;
    }
    std::vector<PitchFrame> frames() const {
        std::vector<PitchFrame> out;
        for (double t = 0; t <= endMs; t += kHop) {
            const Piece* sounding = nullptr;
            for (const Piece& p : pieces) {
                if (t >= p.fromMs && t < p.toMs) {
                    sounding = &p;
                }
            }
            if (!sounding) {
                out.push_back(quiet(t));
                continue;
            }
            const double share = (t - sounding->fromMs) / (sounding->toMs - sounding->fromMs);
            out.push_back(frame(t, sounding->startPitch +
                                       (sounding->endPitch - sounding->startPitch) * share));
        }
        return out;
    }
};

Judge judgeOffline(const std::vector<ExpectedNote>& expected, const Performance& performance,
                   JudgeOptions options = {}) {
    Judge judge(options);
    for (const ExpectedNote& n : expected) {
        judge.expect(n);
    }
    for (const PitchFrame& f : performance.frames()) {
        judge.hear(f);
    }
    judge.finish();
    return judge;
}

TEST(Judge, HitWrongAndMissedWithTheirTimingAndCents) {
    const std::vector<ExpectedNote> expected = {note(500, 67), note(1000, 69), note(1500, 71),
                                                note(2000, 72)};
    Performance performance;
    performance
        .play(540, 900, 67.05)   // 40 ms late, 5 cents sharp
        .play(980, 1400, 67.1)   // 20 ms early, a whole step low
        .play(1990, 2400, 71.9); // 10 ms early, 10 cents flat; 1500 is never played
    const Judge judge = judgeOffline(expected, performance);
    const auto& judged = judge.judged();
    ASSERT_EQ(judged.size(), 4u);

    EXPECT_EQ(judged[0].verdict, Verdict::Hit);
    EXPECT_EQ(*judged[0].heard, 67);
    EXPECT_NEAR(*judged[0].cents, 5.0, 0.5);
    EXPECT_NEAR(*judged[0].timingMs, 40.0, 0.5);

    EXPECT_EQ(judged[1].verdict, Verdict::Wrong);
    EXPECT_EQ(*judged[1].heard, 67);
    EXPECT_NEAR(*judged[1].cents, -190.0, 0.5) << "against the expected note";
    EXPECT_NEAR(*judged[1].timingMs, -20.0, 0.5);

    EXPECT_EQ(judged[2].verdict, Verdict::Missed);
    EXPECT_FALSE(judged[2].heard);
    EXPECT_FALSE(judged[2].cents);
    EXPECT_FALSE(judged[2].timingMs);

    EXPECT_EQ(judged[3].verdict, Verdict::Hit);
    EXPECT_NEAR(*judged[3].cents, -10.0, 0.5);

    const PassScore score = judge.score();
    EXPECT_EQ(score.expected, 4);
    EXPECT_EQ(score.hits, 2);
    EXPECT_EQ(score.wrongs, 1);
    EXPECT_EQ(score.misses, 1);
    EXPECT_EQ(score.extras, 0);
    EXPECT_DOUBLE_EQ(score.accuracy, 0.5);
    EXPECT_NEAR(*score.medianTimingMs, 15.0, 0.5) << "the hits' timings, +40 and -10";
}

TEST(Judge, ABendThatReachesItsTargetIsAHitTimedFromItsAttack) {
    // Expected -3'' (A4 on a C harp); the player starts on B4 and bends down over 80 ms.
    Performance performance;
    performance.glide(1010, 1090, 71, 69).play(1090, 1400, 69.02);
    const Judge judge = judgeOffline({note(1000, 69)}, performance);
    ASSERT_EQ(judge.judged().size(), 1u);
    const JudgedNote& judged = judge.judged()[0];
    EXPECT_EQ(judged.verdict, Verdict::Hit);
    EXPECT_NEAR(*judged.timingMs, 10.0, 0.5);
    EXPECT_NEAR(*judged.cents, 2.0, 1.0);
    EXPECT_EQ(judge.score().extras, 0) << "the glide is one heard note";
}

TEST(Judge, ABendThatStopsShortIsWrongAtThePitchItDwellsOn) {
    Performance performance;
    performance.glide(1000, 1040, 71, 70).play(1040, 1400, 70.1);
    const Judge judge = judgeOffline({note(1000, 69)}, performance);
    const JudgedNote& judged = judge.judged().at(0);
    EXPECT_EQ(judged.verdict, Verdict::Wrong);
    EXPECT_EQ(*judged.heard, 70);
    EXPECT_NEAR(*judged.cents, 110.0, 1.0);
}

TEST(Judge, ToleranceDecidesBetweenHitAndWrongWithinItsLimits) {
    Performance performance;
    performance.play(1000, 1400, 68.6); // 40 cents flat of 69
    JudgeOptions options;
    EXPECT_EQ(judgeOffline({note(1000, 69)}, performance, options).judged()[0].verdict,
              Verdict::Wrong);
    options.toleranceCents = 50;
    EXPECT_EQ(judgeOffline({note(1000, 69)}, performance, options).judged()[0].verdict,
              Verdict::Hit);
    options.toleranceCents = 500;
    EXPECT_EQ(Judge(options).options().toleranceCents, kToleranceHigh);
    options.toleranceCents = 1;
    EXPECT_EQ(Judge(options).options().toleranceCents, kToleranceLow);
}

TEST(Judge, HeardNotesBetweenExpectedOnesAreExtrasOnlyWithinThePass) {
    Performance performance;
    performance
        .play(100, 300, 60)    // before the pass: not counted
        .play(1000, 1300, 67)  // expected
        .play(1600, 1800, 64)  // between the two: extra
        .play(2200, 2500, 69)  // expected
        .play(2600, 2605, 62); // a single frame: too short to be a note
    const Judge judge = judgeOffline({note(1000, 67), note(2200, 69)}, performance);
    EXPECT_EQ(judge.score().hits, 2);
    EXPECT_EQ(judge.score().extras, 1);
}

TEST(Judge, AStrayFrameDoesNotSplitAHeldNote) {
    // An octave error for one frame in the middle of a note, and a dropped frame.
    Performance performance;
    performance.play(1000, 1500, 67);
    auto frames = performance.frames();
    for (PitchFrame& f : frames) {
        if (f.ms == 1200) {
            f = frame(1200, 79);
        }
        if (f.ms == 1300) {
            f = quiet(1300);
        }
    }
    Judge judge;
    judge.expect(note(1000, 67));
    judge.expect(note(1250, 67, 200)); // the same note again, not played: must be missed
    for (const PitchFrame& f : frames) {
        judge.hear(f);
    }
    judge.finish();
    EXPECT_EQ(judge.judged()[0].verdict, Verdict::Hit);
    EXPECT_EQ(judge.judged()[1].verdict, Verdict::Missed);
    EXPECT_EQ(judge.score().extras, 0);
}

TEST(Judge, ALiveClockThatJumpsWithinANoteDoesNotSplitIt) {
    // The listener's clock corrects itself by 40 ms in the middle of a held note.
    Performance performance;
    performance.play(1000, 1500, 67).play(1520, 1800, 69);
    auto frames = performance.frames();
    for (PitchFrame& f : frames) {
        if (f.ms >= 1200) {
            f.ms += 40;
        }
    }
    Judge judge;
    judge.expect(note(1000, 67));
    judge.expect(note(1500, 69));
    for (const PitchFrame& f : frames) {
        judge.hear(f);
    }
    judge.finish();
    EXPECT_EQ(judge.score().hits, 2);
    EXPECT_EQ(judge.score().extras, 0) << "the jump is no attack";
}

TEST(Judge, RepeatedNotesTonguedApartAreEachHit) {
    Performance performance;
    performance.play(1000, 1220, 67).play(1260, 1480, 67).play(1520, 1740, 67);
    const Judge judge =
        judgeOffline({note(1000, 67, 250), note(1250, 67, 250), note(1500, 67, 250)}, performance);
    ASSERT_EQ(judge.score().hits, 3);
    EXPECT_NEAR(*judge.judged()[1].timingMs, 10.0, 0.5);
    EXPECT_NEAR(*judge.judged()[2].timingMs, 20.0, 0.5);
}

TEST(Judge, LegatoNotesWithoutABreakAreEachHitAtTheirChange) {
    // One breath: 67, a jump to 69, then a quick 20 ms slide up to 71, then 72 held.
    Performance performance;
    performance.play(1000, 1510, 67)
        .play(1510, 2000, 69)
        .glide(2000, 2020, 69, 71)
        .play(2020, 2520, 71)
        .glide(2520, 2525, 71, 72)
        .play(2525, 2900, 72);
    const Judge judge = judgeOffline(
        {note(1000, 67, 500), note(1500, 69, 500), note(2000, 71, 500), note(2500, 72, 400)},
        performance);
    ASSERT_EQ(judge.score().hits, 4);
    EXPECT_NEAR(*judge.judged()[1].timingMs, 10.0, 0.5);
    EXPECT_NEAR(*judge.judged()[2].timingMs, 10.0, 5.5) << "where the slide passes 75 cents";
    EXPECT_NEAR(*judge.judged()[3].timingMs, 25.0, 5.5);
    EXPECT_EQ(judge.score().extras, 0) << "changes without a break are no new attacks";
}

TEST(Judge, DenseNotesNarrowTheWindowsSoNoNoteTakesItsNeighbours) {
    // Sixteenths 120 ms apart, each played 45 ms late: inside its own half of the gap.
    std::vector<ExpectedNote> expected;
    Performance performance;
    for (int i = 0; i < 6; ++i) {
        const double t = 1000 + 120 * i;
        expected.push_back(note(t, 60 + 2 * i, 120));
        performance.play(t + 45, t + 150, 60 + 2 * i);
    }
    const Judge judge = judgeOffline(expected, performance);
    for (const JudgedNote& n : judge.judged()) {
        EXPECT_EQ(n.verdict, Verdict::Hit) << n.expected.ms;
        EXPECT_NEAR(*n.timingMs, 45.0, 0.5);
    }
    EXPECT_EQ(judge.score().extras, 0);
}

TEST(Judge, LatencyAndAnalysisDelayAreTakenOffEveryHeardTime) {
    Performance performance;
    performance.play(1150, 1500, 67);
    JudgeOptions options;
    options.latencyMs = 120;
    options.analysisDelayMs = 20;
    const Judge judge = judgeOffline({note(1000, 67)}, performance, options);
    EXPECT_NEAR(*judge.judged()[0].timingMs, 10.0, 0.5);
    EXPECT_NEAR(judge.latest()->ms, performance.endMs - 140, 1e-9);
}

TEST(Judge, LiveJudgesEachNoteOnceItsWindowHasSettledAndAgreesWithOffline) {
    const std::vector<ExpectedNote> expected = {note(1000, 67), note(1500, 69), note(2000, 71)};
    Performance performance;
    performance.play(1030, 1400, 67).play(1520, 1900, 68).play(1980, 2400, 71);

    Judge live;
    std::vector<double> judgedAt;
    std::size_t fed = 0;
    for (const PitchFrame& f : performance.frames()) {
        // The notes reach the judge a second ahead of their time, as a transport would feed them.
        while (fed < expected.size() && expected[fed].ms - 1000 <= f.ms) {
            live.expect(expected[fed++]);
        }
        live.hear(f);
        for (const JudgedNote& n : live.advanceTo(f.ms)) {
            judgedAt.push_back(f.ms);
            EXPECT_GE(f.ms, n.expected.ms + 250.0) << "not before its window closed";
        }
    }
    ASSERT_EQ(judgedAt.size(), 3u) << "all judged while the frames came";
    EXPECT_LE(judgedAt[0], 1000 + 250 + 150);
    live.finish();

    const Judge offline = judgeOffline(expected, performance);
    ASSERT_EQ(live.judged().size(), offline.judged().size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(live.judged()[i].verdict, offline.judged()[i].verdict);
        EXPECT_EQ(live.judged()[i].heard, offline.judged()[i].heard);
        EXPECT_EQ(live.judged()[i].timingMs, offline.judged()[i].timingMs);
    }
    EXPECT_EQ(live.judged()[1].verdict, Verdict::Wrong);
}

TEST(PassScore, MedianAndInterquartileSpreadOfTheHitsTiming) {
    std::vector<JudgedNote> judged;
    for (double timing : {-20.0, 0.0, 10.0, 30.0, 100.0}) {
        JudgedNote n;
        n.verdict = Verdict::Hit;
        n.timingMs = timing;
        judged.push_back(n);
    }
    JudgedNote wrong;
    wrong.verdict = Verdict::Wrong;
    wrong.timingMs = 500.0;
    judged.push_back(wrong);
    judged.push_back(JudgedNote{});
    const PassScore score = scorePass(judged, 3);
    EXPECT_EQ(score.expected, 7);
    EXPECT_EQ(score.hits, 5);
    EXPECT_EQ(score.extras, 3);
    EXPECT_NEAR(score.accuracy, 5.0 / 7.0, 1e-12);
    EXPECT_DOUBLE_EQ(*score.medianTimingMs, 10.0) << "the wrong note's timing is left out";
    EXPECT_DOUBLE_EQ(*score.timingSpreadMs, 30.0);
    const PassScore empty = scorePass({}, 0);
    EXPECT_EQ(empty.accuracy, 0.0);
    EXPECT_FALSE(empty.medianTimingMs);
}

} // namespace
} // namespace reedtab
