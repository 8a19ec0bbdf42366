// The listening path against a real JACK server (scripts/test starts one on a private name):
// a client of the test plays a WAV into the capture port and the judged notes come out as the
// sound arrives, and the calibration measures a loop of known latency. Without a server the
// tests skip.

#include "../support/jackaudioclient.h"
#include "../support/reedsignals.h"

#include "listen/audioinput.h"
#include "listen/expectednotes.h"
#include "listen/judge.h"
#include "listen/latency.h"
#include "listen/pitchlistener.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <thread>

namespace reedtab {
namespace {

using namespace std::chrono_literals;
using testing::JackAudioClient;
using testing::MelodyNote;

#define REQUIRE_JACK(client)                                                                       \
    if (!(client).isOpen())                                                                        \
    GTEST_SKIP() << "no JACK server runs (scripts/test starts one)"

// The steady clock from its own epoch, as the test client times its cycles.
class EpochClock final : public Clock {
public:
    Nanoseconds now() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

std::string wavPath() {
    const auto dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "jack_listen";
    std::filesystem::create_directories(dir);
    return (dir / "played.wav").string();
}

TEST(JackListen, TheTestClientIsACaptureDevice) {
    JackAudioClient player("reedtab-listen-device");
    REQUIRE_JACK(player);
    const auto names = captureDeviceNames();
    EXPECT_NE(std::find(names.begin(), names.end(), "Jack: reedtab-listen-device"), names.end());
}

TEST(JackListen, AWavPlayedIntoTheCapturePortIsJudgedAsItArrives) {
    JackAudioClient player("reedtab-listen-player");
    REQUIRE_JACK(player);
    const int rate = player.rate();
    if (rate != 44100 && rate != 48000) {
        GTEST_SKIP() << "the server runs at " << rate << " Hz";
    }
    // The song: a scale in quarter notes. The player plays its fourth note a half step low
    // and leaves out its sixth.
    std::vector<MelodyNote> melody;
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    for (int i = 0; i < 8; ++i) {
        melody.push_back({scale[i], i * 480, 480});
    }
    MidiSong song;
    testing::buildMelodySong(song, melody);
    std::vector<MelodyNote> played = melody;
    played[3].note = 64;
    played.erase(played.begin() + 5);
    constexpr double kLeadMs = 400;
    testing::ReedSignal signal(rate);
    testing::playMelody(signal, played, kLeadMs);
    ASSERT_TRUE(testing::writeWav(wavPath(), signal.samples(), rate));
    std::vector<float> wav;
    int wavRate = 0;
    ASSERT_EQ(readAudioFile(wavPath(), wav, wavRate), ListenOk);

    EpochClock clock;
    AudioInput input(clock);
    ASSERT_EQ(input.open("Jack: reedtab-listen-player", rate), ListenOk) << input.errorText();
    PitchListener listener(rate);
    ASSERT_EQ(listener.status(), ListenOk);
    JudgeOptions options;
    options.analysisDelayMs = listener.tracker().onsetDelayMs();
    Judge judge(options);
    ASSERT_EQ(input.start(), ListenOk) << input.errorText();
    // The input runs a moment before the pass begins, as it will in the program: the server
    // takes a while to settle after a client joins it.
    std::this_thread::sleep_for(1s);
    player.play(std::move(wav));

    // Each note is expected where the player's cycles put the WAV's frame that starts it, on
    // the clock the input uses, as soon as that frame has been played.
    ExpectedTrack expected = expectedNotes(song, {});
    std::size_t fed = 0;
    std::vector<PitchFrame> frames;
    int judgedLive = 0;
    // How far the listener's clock jumped from one frame to the next beyond a hop in the pass.
    const double hopMs = listener.tracker().hop() * 1000.0 / rate;
    std::optional<double> lastMs;
    double clockJump = 0.0;
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    auto doneAt = std::chrono::steady_clock::time_point::max();
    while (std::chrono::steady_clock::now() < std::min(giveUp, doneAt)) {
        std::this_thread::sleep_for(10ms);
        while (fed < expected.notes.size()) {
            ExpectedNote note = expected.notes[fed];
            const auto frame = static_cast<std::size_t>((kLeadMs + note.ms) * rate / 1000.0);
            const auto at = player.playedAt(frame);
            if (!at) {
                break;
            }
            note.ms = at->count() / 1e6;
            judge.expect(note);
            ++fed;
        }
        frames.clear();
        listener.poll(input, frames);
        for (const PitchFrame& f : frames) {
            if (lastMs && fed > 0) {
                clockJump = std::max(clockJump, f.ms - *lastMs - hopMs);
            }
            lastMs = f.ms;
            judge.hear(f);
        }
        if (!frames.empty()) {
            judgedLive += static_cast<int>(judge.advanceTo(frames.back().ms).size());
        }
        if (player.finished() && doneAt == std::chrono::steady_clock::time_point::max()) {
            doneAt = std::chrono::steady_clock::now() + 300ms;
        }
    }
    input.close();
    ASSERT_TRUE(player.finished()) << "the WAV did not play through in 30 s";
    judge.finish();

    EXPECT_EQ(input.droppedFrames(), 0u);
    const auto& judged = judge.judged();
    ASSERT_EQ(judged.size(), 8u);
    EXPECT_GE(judgedLive, 7) << "judged while the sound came, not at the end";
    for (std::size_t i = 0; i < judged.size(); ++i) {
        const Verdict wanted = i == 3 ? Verdict::Wrong : i == 5 ? Verdict::Missed : Verdict::Hit;
        EXPECT_EQ(judged[i].verdict, wanted) << "note " << i;
    }
    EXPECT_EQ(judged[3].heard, 64);
    // A machine too loaded to run the clients every period (ThreadSanitizer's) stalls them for
    // longer than the listener's clock follows at once: the timing around such a stall, and a
    // note it splits in two, are the machine's doing.
    if (player.longestCycleGap() > 50ms || clockJump > 50.0) {
        std::printf("the player stalled for %lld ms, the listener's clock jumped %.0f ms: timing "
                    "not checked\n",
                    static_cast<long long>(player.longestCycleGap().count() / 1000000), clockJump);
        return;
    }
    for (std::size_t i = 0; i < judged.size(); ++i) {
        if (judged[i].verdict == Verdict::Hit) {
            // RtAudio's JACK backend hands its callback the previous cycle's input, one period
            // (5 ms) late; a stall of the loaded machine moves the listener's clock for half a
            // second.
            EXPECT_LT(std::fabs(*judged[i].timingMs), 60.0) << "note " << i;
        }
    }
    const PassScore score = judge.score();
    EXPECT_EQ(score.extras, 0);
    ASSERT_TRUE(score.medianTimingMs);
    EXPECT_LT(std::fabs(*score.medianTimingMs), 15.0);
}

TEST(JackListen, CalibrationMeasuresALoopOfKnownLatency) {
    constexpr std::size_t kLoopFrames = 1000;
    JackAudioClient loop("reedtab-listen-loop", kLoopFrames);
    REQUIRE_JACK(loop);
    const int rate = loop.rate();
    if (rate != 44100 && rate != 48000) {
        GTEST_SKIP() << "the server runs at " << rate << " Hz";
    }
    const LatencyMeasurement m =
        calibrateLatency("Jack: reedtab-listen-loop", "Jack: reedtab-listen-loop", rate, 6);
    ASSERT_EQ(m.result, ListenOk);
    EXPECT_EQ(m.clicksHeard, 6);
    // The loop's own delay and two periods: the loop closes a cycle of JACK's graph, so one of
    // its two hand-overs waits for the next cycle, and RtAudio's JACK backend hands its callback
    // the input of the cycle before.
    const double expected = (kLoopFrames + 2 * loop.bufferSize()) * 1000.0 / rate;
    EXPECT_NEAR(m.roundTripMs, expected, 1000.0 / rate) << "period " << loop.bufferSize();
    EXPECT_LT(m.spreadMs, 1.0);
}

} // namespace
} // namespace reedtab
