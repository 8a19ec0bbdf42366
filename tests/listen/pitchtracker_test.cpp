// The pitch of reed-like tones from F3 to G7, of silence, of bends; concert pitch; frame times.

#include "../support/reedsignals.h"
#include "listen/pitchtracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace reedtab {
namespace {

using testing::noteHz;
using testing::ReedSignal;
using testing::ReedTone;

// The frames whose whole window lies in [fromMs, toMs].
std::vector<PitchFrame> framesWithin(const std::vector<PitchFrame>& frames, double windowMs,
                                     double fromMs, double toMs) {
    std::vector<PitchFrame> inside;
    for (const PitchFrame& f : frames) {
        if (f.ms - windowMs >= fromMs && f.ms <= toMs) {
            inside.push_back(f);
        }
    }
    return inside;
}

class ReedTones : public ::testing::TestWithParam<int> {};

TEST_P(ReedTones, EverySteadyFrameNamesTheNoteWithinAFewCents) {
    const int rate = GetParam();
    PitchTracker tracker(rate);
    ASSERT_EQ(tracker.status(), ListenOk);
    const double windowMs = tracker.window() * 1000.0 / rate;
    // Every fifth semitone from F3 (175 Hz) to G7 (3136 Hz), G7 itself last.
    std::vector<int> notes;
    for (int note = 53; note < 103; note += 5) {
        notes.push_back(note);
    }
    notes.push_back(103);
    for (int note : notes) {
        ReedSignal signal(rate, static_cast<unsigned>(note));
        signal.silence(100);
        ReedTone tone;
        tone.hz = noteHz(note);
        tone.ms = 400;
        signal.tone(tone);
        signal.silence(100);
        std::vector<PitchFrame> frames;
        PitchTracker fresh(rate);
        fresh.process(signal.samples().data(), signal.samples().size(), frames);
        const auto steady =
            framesWithin(frames, windowMs, 100 + tone.attackMs, 500 - tone.releaseMs);
        ASSERT_GT(steady.size(), 40u) << note;
        std::vector<double> cents;
        for (const PitchFrame& f : steady) {
            ASSERT_TRUE(f.hasPitch()) << "note " << note << " at " << f.ms << " ms";
            EXPECT_EQ(f.note, note) << f.hz;
            // The vibrato swings 6 cents; the highest notes read a few cents sharp besides.
            EXPECT_LT(std::fabs(f.cents), 15.0) << "note " << note << " at " << f.ms;
            EXPECT_GE(f.confidence, tracker.options().minConfidence);
            cents.push_back(f.cents);
        }
        std::nth_element(cents.begin(), cents.begin() + static_cast<long>(cents.size() / 2),
                         cents.end());
        EXPECT_LT(std::fabs(cents[cents.size() / 2]), 8.0) << "note " << note;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, ReedTones, ::testing::Values(44100, 48000));

TEST(PitchTracker, SilenceAndAQuietToneHaveNoPitch) {
    ReedSignal signal(48000);
    signal.silence(300);
    ReedTone quiet;
    quiet.amplitude = 0.002; // some 55 dB under full scale
    signal.tone(quiet);
    const auto frames = trackPitch(signal.samples(), 48000);
    ASSERT_FALSE(frames.empty());
    for (const PitchFrame& f : frames) {
        EXPECT_FALSE(f.hasPitch()) << f.ms;
        EXPECT_EQ(f.note, -1);
        EXPECT_EQ(f.cents, 0.0);
    }
}

TEST(PitchTracker, NamesNotesAgainstTheChosenConcertPitch) {
    ReedSignal signal(48000);
    ReedTone tone;
    tone.hz = 442.0;
    tone.vibratoCents = 0;
    tone.ms = 500;
    signal.tone(tone);
    PitchOptions at442;
    at442.a4 = 442.0;
    const double windowMs = 1024 * 1000.0 / 48000;
    const auto standard = framesWithin(trackPitch(signal.samples(), 48000), windowMs, 50, 450);
    const auto raised = framesWithin(trackPitch(signal.samples(), 48000, at442), windowMs, 50, 450);
    ASSERT_EQ(standard.size(), raised.size());
    ASSERT_FALSE(standard.empty());
    for (std::size_t k = 0; k < standard.size(); ++k) {
        EXPECT_EQ(standard[k].note, 69);
        EXPECT_EQ(raised[k].note, 69);
        // The same frequency, named 1200 * log2(442 / 440) cents lower against the higher A4.
        EXPECT_EQ(standard[k].hz, raised[k].hz);
        EXPECT_NEAR(standard[k].cents - raised[k].cents, 7.85, 0.01);
        EXPECT_LT(std::fabs(raised[k].cents), 4.0);
    }
    PitchOptions tooHigh;
    tooHigh.a4 = 500.0;
    EXPECT_EQ(PitchTracker(48000, tooHigh).options().a4, kConcertPitchHigh);
}

TEST(PitchTracker, FramesEndTheirWindowAHopApartWhateverTheChunksFed) {
    ReedSignal signal(44100);
    signal.silence(50);
    signal.tone(ReedTone{});
    const auto whole = trackPitch(signal.samples(), 44100);
    PitchTracker tracker(44100);
    std::vector<PitchFrame> chunked;
    // Chunks of every size from 1 to 700 samples, as audio callbacks deliver them.
    for (std::size_t at = 0, size = 1; at < signal.samples().size();
         at += size, size = size % 700 + 1) {
        const std::size_t count = std::min(size, signal.samples().size() - at);
        tracker.process(signal.samples().data() + at, count, chunked);
    }
    ASSERT_EQ(chunked.size(), whole.size());
    for (std::size_t k = 0; k < whole.size(); ++k) {
        EXPECT_DOUBLE_EQ(chunked[k].ms, (k + 1) * tracker.hop() * 1000.0 / 44100);
        EXPECT_EQ(chunked[k].hz, whole[k].hz);
    }
    EXPECT_EQ(tracker.samplesTaken(), signal.samples().size());
}

TEST(PitchTracker, FollowsABendDownAWholeStepThroughTheHalfStep) {
    // Draw 3 on a C harp: B4 bent down to A4 over 120 ms, held, as a player bends.
    ReedSignal signal(48000);
    ReedTone sound;
    sound.vibratoCents = 0;
    signal.silence(50);
    signal.legato(sound, {noteHz(71), noteHz(69)}, 250, 120);
    const auto frames = trackPitch(signal.samples(), 48000);
    std::vector<int> named;
    double lowest = 200;
    for (const PitchFrame& f : frames) {
        if (!f.hasPitch()) {
            continue;
        }
        if (named.empty() || named.back() != f.note) {
            named.push_back(f.note);
        }
        EXPECT_LE(f.pitch(), lowest + 0.15) << "the pitch only falls, at " << f.ms;
        lowest = std::min(lowest, f.pitch());
    }
    EXPECT_EQ(named, (std::vector<int>{71, 70, 69}));
    EXPECT_NEAR(lowest, 69.0, 0.1);
}

TEST(PitchTracker, RefusesRatesItCannotAnalyse) {
    EXPECT_EQ(PitchTracker(4000).status(), ListenBadRate);
    PitchOptions options;
    options.window = 512;
    options.hop = 1024;
    EXPECT_EQ(PitchTracker(48000, options).status(), ListenBadRate);
    std::vector<PitchFrame> frames;
    const float samples[256] = {};
    PitchTracker(4000).process(samples, 256, frames);
    EXPECT_TRUE(frames.empty());
}

} // namespace
} // namespace reedtab
