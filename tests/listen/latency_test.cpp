// The calibration's clicks and what measures them (the round trip over real devices is in the
// JACK tests), and where the result is kept.

#include "listen/latency.h"

#include <gtest/gtest.h>

#include <random>

namespace reedtab {
namespace {

constexpr int kRate = 48000;

std::vector<float> render(ClickTrack& track, std::uint64_t frames, std::size_t chunk) {
    std::vector<float> out(frames);
    for (std::uint64_t at = 0; at < frames; at += chunk) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, frames - at));
        track.render(out.data() + at, at, count);
    }
    return out;
}

TEST(ClickTrack, ClicksStartAtTheirFramesWhateverTheBufferSize) {
    ClickTrack track(kRate, 4, 12000, 6000);
    const auto whole = render(track, track.endFrame(), 1u << 20);
    EXPECT_EQ(render(track, track.endFrame(), 256), whole);
    EXPECT_EQ(render(track, track.endFrame(), 97), whole);
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t at = track.clickFrame(i);
        EXPECT_EQ(whole[at - 1], 0.0f);
        EXPECT_GT(whole[at], 0.5f) << "a click starts at full level";
    }
    EXPECT_EQ(findClicks(whole, 0, track.periodFrames()),
              (std::vector<std::uint64_t>{6000, 18000, 30000, 42000}));
}

TEST(RoundTrip, MeasuresTheDelayOfAQuietNoisyEchoOfTheClicks) {
    ClickTrack track(kRate, 8, 12000, 12000);
    const auto played = render(track, track.endFrame() + 12000, 512);
    constexpr std::uint64_t kDelay = 1234;
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    std::vector<float> heard(played.size());
    for (std::size_t i = 0; i < heard.size(); ++i) {
        heard[i] = (i >= kDelay ? 0.2f * played[i - kDelay] : 0.0f) + noise(random);
    }
    // The captured frames start later than the stream's first: onsets keep the stream's count.
    const std::vector<float> captured(heard.begin() + 100, heard.end());
    const auto m = measureRoundTrip(track, findClicks(captured, 100, 12000), kRate);
    EXPECT_EQ(m.result, ListenOk);
    EXPECT_EQ(m.clicksPlayed, 8);
    EXPECT_EQ(m.clicksHeard, 8);
    EXPECT_NEAR(m.roundTripMs, kDelay * 1000.0 / kRate, 0.05);
    EXPECT_LT(m.spreadMs, 0.1);
}

TEST(RoundTrip, TooFewClicksHeardIsNoMeasurement) {
    ClickTrack track(kRate, 8, 12000, 12000);
    const std::vector<std::uint64_t> three = {12500, 24500, 36500};
    EXPECT_EQ(measureRoundTrip(track, three, kRate).result, ListenNotHeard);
    const std::vector<std::uint64_t> beforeAnyClick = {100, 200, 300, 400, 500};
    EXPECT_EQ(measureRoundTrip(track, beforeAnyClick, kRate).result, ListenNotHeard);
    EXPECT_TRUE(findClicks(std::vector<float>(1000, 0.0f), 0, 12000).empty());
}

TEST(RoundTrip, IsKeptForEachPairOfDevices) {
    MemorySettingsStore store;
    EXPECT_FALSE(storedRoundTrip(store, "ALSA: hw:0,0", "ALSA: default"));
    storeRoundTrip(store, "ALSA: hw:0,0", "ALSA: default", 23.4567);
    storeRoundTrip(store, "Jack: system", "Jack: system", 10.0);
    EXPECT_NEAR(*storedRoundTrip(store, "ALSA: hw:0,0", "ALSA: default"), 23.457, 1e-9);
    EXPECT_DOUBLE_EQ(*storedRoundTrip(store, "Jack: system", "Jack: system"), 10.0);
    EXPECT_FALSE(storedRoundTrip(store, "ALSA: default", "ALSA: hw:0,0")) << "direction counts";
}

} // namespace
} // namespace reedtab
