// The listening path against a real JACK server (scripts/test starts one on a private name):
// a client of the test plays a WAV into the capture port and the judged notes come out as the
// sound arrives, also while the transport plays the song (at tempo, or waiting for each note as
// reedtab-cli listen --wait does), and the calibration measures a loop of known latency.
// Without a server the tests skip.

#include "../support/jackaudioclient.h"
#include "../support/reedsignals.h"

#include "listen/audioinput.h"
#include "listen/expectednotes.h"
#include "listen/judge.h"
#include "listen/latency.h"
#include "listen/pitchlistener.h"
#include "playback/outputdevice.h"
#include "playback/playermessagequeue.h"
#include "practice/listensession.h"

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

// The live path of reedtab-cli listen --input: the transport plays the song on the real clock
// (into a recording output), the capture is analysed on this thread between the player's
// messages, and the session judges.
class LivePass final : public TransportListener, public ListenSessionListener {
public:
    explicit LivePass(bool wait) {
        out.setTickSource([this] { return player.stream().positionTicks(); });
        poster.setHandler([this](const PlayerMessage& m) { transport.handleMessage(m); });
        transport.setListener(this);
        options.wait = wait;
    }
    ~LivePass() override { player.shutdown(); }

    double nowMs() const { return clock.now().count() / 1e6; }
    // Opens the input on the player's port, starts the session and plays `wav` into the port,
    // then runs until the pass ends (or 30 s).
    void run(MidiSong& song, const std::string& port, JackAudioClient& client,
             std::vector<float> wav) {
        transport.setSongTiming(song.division, song.tempoAt(0));
        ASSERT_EQ(transport.init(song, poster), PlayerOk);
        ASSERT_EQ(transport.openOutput(-1), PlayerOk);
        AudioInput input(clock);
        ASSERT_EQ(input.open(port, client.rate()), ListenOk) << input.errorText();
        PitchListener listener(client.rate());
        ASSERT_EQ(listener.status(), ListenOk);
        options.judge.analysisDelayMs = listener.tracker().onsetDelayMs();
        session = std::make_unique<ListenSession>(transport, song, options);
        session->setListener(this);
        ASSERT_EQ(input.start(), ListenOk) << input.errorText();
        std::this_thread::sleep_for(1s); // the server settles after a client joins
        ASSERT_EQ(session->start(), PlayerOk);
        startedMs = nowMs();
        client.play(std::move(wav));
        std::vector<PitchFrame> frames;
        const auto giveUp = std::chrono::steady_clock::now() + 30s;
        while ((session->active() || session->closing()) &&
               std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(5ms);
            poster.dispatchAll();
            frames.clear();
            listener.poll(input, frames);
            session->hear(frames);
            session->advanceTo(nowMs());
        }
        session->stop();
        input.close();
        dropped = input.droppedFrames();
    }

    void positionReached(const PositionReport& report) override {
        session->positionReached(report, nowMs());
    }
    void tempoChanged(int) override {}
    void songEnded(int) override {
        endedMs = nowMs();
        session->songEnded(nowMs());
    }
    void held(std::int32_t tick) override {
        holds.push_back(tick);
        session->held(tick, nowMs());
    }
    void noteJudged(int, const JudgedNote& note) override { judged.push_back(note); }
    void passEnded(int, const PassScore& s, bool complete) override {
        if (complete) {
            score = s;
        }
    }

    EpochClock clock;
    RecordingOutput out{clock};
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    Transport transport{player};
    PlayerMessageQueue poster;
    ListenSessionOptions options;
    std::unique_ptr<ListenSession> session;
    std::vector<JudgedNote> judged;
    std::vector<std::int32_t> holds;
    std::optional<PassScore> score;
    double startedMs = 0.0;
    std::optional<double> endedMs;
    std::uint64_t dropped = 0;
};

std::vector<MelodyNote> scale() {
    std::vector<MelodyNote> melody;
    const int keys[] = {60, 62, 64, 65, 67, 69};
    for (int i = 0; i < 6; ++i) {
        melody.push_back({keys[i], i * 480, 480});
    }
    return melody;
}

std::vector<float> wavOf(const std::vector<MelodyNote>& played, int rate) {
    testing::ReedSignal signal(rate);
    testing::playMelody(signal, played, 0.0);
    EXPECT_TRUE(testing::writeWav(wavPath(), signal.samples(), rate));
    std::vector<float> wav;
    int wavRate = 0;
    EXPECT_EQ(readAudioFile(wavPath(), wav, wavRate), ListenOk);
    return wav;
}

TEST(JackListen, ThePlayerIsJudgedLiveWhileTheSongPlaysAtItsTempo) {
    JackAudioClient client("reedtab-listen-live");
    REQUIRE_JACK(client);
    if (client.rate() != 44100 && client.rate() != 48000) {
        GTEST_SKIP() << "the server runs at " << client.rate() << " Hz";
    }
    MidiSong song;
    testing::buildMelodySong(song, scale());
    std::vector<MelodyNote> played = scale();
    played[2].note = 63;
    played.erase(played.begin() + 4);
    LivePass pass(false);
    pass.run(song, "Jack: reedtab-listen-live", client, wavOf(played, client.rate()));
    ASSERT_TRUE(pass.endedMs) << "the song did not play to its end";
    EXPECT_EQ(pass.dropped, 0u);
    EXPECT_TRUE(pass.holds.empty());
    ASSERT_EQ(pass.judged.size(), 6u);
    for (std::size_t i = 0; i < pass.judged.size(); ++i) {
        const Verdict wanted = i == 2 ? Verdict::Wrong : i == 4 ? Verdict::Missed : Verdict::Hit;
        EXPECT_EQ(pass.judged[i].verdict, wanted) << "note " << i;
    }
    EXPECT_EQ(pass.judged[2].heard, 63);
    ASSERT_TRUE(pass.score);
    EXPECT_EQ(pass.score->hits, 4);
    // The WAV starts with the next cycle after the song; the capture comes a period late.
    if (client.longestCycleGap() < 50ms) {
        ASSERT_TRUE(pass.score->medianTimingMs);
        EXPECT_LT(std::fabs(*pass.score->medianTimingMs), 40.0);
    }
}

TEST(JackListen, InWaitModeTheSongWaitsForASlowPlayer) {
    JackAudioClient client("reedtab-listen-wait");
    REQUIRE_JACK(client);
    if (client.rate() != 44100 && client.rate() != 48000) {
        GTEST_SKIP() << "the server runs at " << client.rate() << " Hz";
    }
    MidiSong song;
    testing::buildMelodySong(song, scale());
    // The player takes a second for each quarter note, half the song's tempo, and starts late.
    std::vector<MelodyNote> played = scale();
    for (MelodyNote& note : played) {
        note.tick = note.tick * 2 + 480;
    }
    LivePass pass(true);
    pass.run(song, "Jack: reedtab-listen-wait", client, wavOf(played, client.rate()));
    ASSERT_TRUE(pass.endedMs) << "the song did not play to its end";
    ASSERT_EQ(pass.judged.size(), 6u);
    for (std::size_t i = 0; i < pass.judged.size(); ++i) {
        EXPECT_EQ(pass.judged[i].verdict, Verdict::Hit) << "note " << i;
    }
    EXPECT_EQ(pass.holds.size(), 6u) << "it held at every note";
    // Three seconds of song took the player's six and a half.
    EXPECT_GT(*pass.endedMs - pass.startedMs, 6000.0);
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
