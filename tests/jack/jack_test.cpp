// The playback module against a real JACK server (scripts/test starts one on a private server
// name): the player's messages reach a JACK MIDI port whole and in order, a port that goes
// away stops the player with a device error, MIDI input from a JACK port reaches the note
// path, and the built-in synthesizer sounds on JACK audio without ever starting a server.

#include "../support/jacktestclient.h"

#include "model/midisong.h"
#include "playback/clock.h"
#include "playback/midiinput.h"
#include "playback/outputdevice.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace reedtab {
namespace {

using namespace std::chrono_literals;
using testing::JackTestClient;

const std::string kSong = std::string(REEDTAB_SOURCE_DIR) + "/examples/saints.mid";
constexpr int kTempoPercent = 400;

#define REQUIRE_JACK(client)                                                                       \
    if (!(client).isOpen())                                                                        \
    GTEST_SKIP() << "no JACK server runs (scripts/test starts one)"

int indexOf(const std::vector<std::string>& names, const std::string& name) {
    const auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

// The song's own timing, played four times as fast.
PlaybackParams fastParams(const MidiSong& song) {
    PlaybackParams params = songParams(song);
    params.tempoPercent = kTempoPercent;
    return params;
}

struct Trace {
    std::vector<std::vector<std::uint8_t>> messages;
    int resets = 0;
};

// What the player sends for the whole song, on a manual clock (as the trace command runs it).
Trace traceSong(MidiSong& song) {
    ManualClock clock;
    RecordingOutput output(clock);
    SingleOutputProvider provider(output);
    StreamPlayer player(provider, clock);
    PlayerMessageQueue window(&player);
    EXPECT_EQ(player.init(&song, &window), PlayerOk);
    EXPECT_EQ(player.openDevice(), PlayerOk);
    player.setParams(fastParams(song));
    EXPECT_EQ(player.start(0, false), PlayerOk);
    window.dispatchAll();
    while (player.state() != PlayerState::Idle && player.state() != PlayerState::Closed) {
        const auto due = player.stream().nextDueTime();
        if (!due) {
            break;
        }
        player.stream().advanceTo(*due);
        window.dispatchAll();
    }
    player.shutdown();
    Trace trace;
    for (const auto& message : output.messages()) {
        trace.messages.push_back(message.bytes);
    }
    trace.resets = output.resetCount();
    return trace;
}

// A port's device reset: all sound off and all notes off on each of the 16 channels.
bool isPortReset(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() == 3 && (bytes[0] & 0xF0) == 0xB0 && (bytes[1] == 120 || bytes[1] == 123) &&
           bytes[2] == 0;
}

// The player on the steady clock with a JACK port as its output, the device open.
struct PortPlayer {
    PortPlayer(MidiSong& song, const std::string& portName) {
        const int port = indexOf(outputDeviceNames(), portName);
        EXPECT_GT(port, 0) << portName << " is listed among the outputs";
        player.setOutputDevice(port - 1);
        player.setParams(songParams(song));
        EXPECT_EQ(player.init(&song, &window), PlayerOk);
        EXPECT_EQ(player.openDevice(), PlayerOk);
    }
    ~PortPlayer() { player.shutdown(); }

    SteadyClock clock;
    SystemOutputProvider outputs;
    StreamPlayer player{outputs, clock};
    PlayerMessageQueue window{&player};
};

// Plays in real time until the player stops or `limit` passes; returns the wParam of
// WM_PLAYER_STOPPED, nothing when it never came.
std::optional<std::uintptr_t> playToStop(StreamPlayer& player, PlayerMessageQueue& window,
                                         std::chrono::milliseconds limit,
                                         const std::function<void()>& whilePlaying = {}) {
    std::optional<std::uintptr_t> stopped;
    window.setHandler([&](const PlayerMessage& message) {
        if (message.message == WM_PLAYER_STOPPED) {
            stopped = message.wParam;
        }
    });
    EXPECT_EQ(player.start(0, false), PlayerOk);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!stopped && std::chrono::steady_clock::now() < end) {
        window.dispatchAll();
        if (whilePlaying) {
            whilePlaying();
        }
        std::this_thread::sleep_for(5ms);
    }
    return stopped;
}

TEST(JackMidiOut, EveryMessageOfTheSongArrivesWholeAndInTheTracesOrder) {
    JackTestClient receiver("reedtab-test-receiver");
    REQUIRE_JACK(receiver);
    MidiSong song;
    ASSERT_EQ(song.loadFile(kSong), 0);
    Trace trace = traceSong(song);
    auto& expected = trace.messages;
    ASSERT_GT(expected.size(), 100u);
    // The port's resets are where the recording only counts them; the player's own
    // all-notes-off messages look the same, so both kinds are counted, then set aside.
    const auto playerSilences = std::count_if(expected.begin(), expected.end(), isPortReset);
    expected.erase(std::remove_if(expected.begin(), expected.end(), isPortReset), expected.end());

    {
        PortPlayer port(song, receiver.midiInName());
        port.player.setParams(fastParams(song));
        EXPECT_EQ(playToStop(port.player, port.window, 60s), std::optional<std::uintptr_t>(0));
    }

    const auto resetMessages = static_cast<std::size_t>(trace.resets * 32 + playerSilences);
    ASSERT_TRUE(receiver.waitForMessages(expected.size() + resetMessages, 2s));
    auto received = receiver.received();
    const auto resets = std::stable_partition(received.begin(), received.end(),
                                              [](const auto& m) { return !isPortReset(m.bytes); });
    EXPECT_EQ(static_cast<std::size_t>(received.end() - resets), resetMessages);
    received.erase(resets, received.end());
    ASSERT_EQ(received.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(received[i].bytes, expected[i]) << "message " << i;
    }
}

TEST(JackMidiOut, APortWhoseClientQuitsStopsThePlayerWithADeviceError) {
    auto receiver = std::make_unique<JackTestClient>("reedtab-test-leaving");
    REQUIRE_JACK(*receiver);
    MidiSong song;
    ASSERT_EQ(song.loadFile(kSong), 0);
    PortPlayer port(song, receiver->midiInName());

    const auto quitAt = std::chrono::steady_clock::now() + 300ms;
    const auto stopped = playToStop(port.player, port.window, 10s, [&] {
        if (receiver && std::chrono::steady_clock::now() >= quitAt) {
            ASSERT_FALSE(receiver->received().empty()) << "it played before the port went";
            receiver.reset();
        }
    });
    ASSERT_TRUE(stopped.has_value()) << "the player stopped by itself";
    EXPECT_EQ(*stopped, static_cast<std::uintptr_t>(PlayerDeviceError));
    EXPECT_EQ(port.player.state(), PlayerState::Idle);
}

class NoteRecorder final : public NoteInputWindow {
public:
    void sendNoteInput(const NoteInput& input) override {
        std::lock_guard lock(mutex_);
        inputs_.push_back(input);
    }
    std::vector<NoteInput> take(std::size_t count, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard lock(mutex_);
                if (inputs_.size() >= count) {
                    return std::exchange(inputs_, {});
                }
            }
            std::this_thread::sleep_for(5ms);
        }
        std::lock_guard lock(mutex_);
        return std::exchange(inputs_, {});
    }

private:
    std::mutex mutex_;
    std::vector<NoteInput> inputs_;
};

std::vector<NoteInput> sendPhrase(JackTestClient& source, NoteRecorder& recorder, int note) {
    const std::vector<std::vector<std::uint8_t>> phrase = {
        {0x92, static_cast<std::uint8_t>(note), 100},
        {0xF8},
        {0xC2, 24},
        {0xE2, 0x00, 0x50},
        {0x82, static_cast<std::uint8_t>(note), 0}};
    for (const auto& bytes : phrase) {
        source.send(bytes);
    }
    return recorder.take(4, 2s);
}

TEST(JackMidiIn, NotesFromAJackPortArriveInOrderAndAgainAfterThePortCameBack) {
    const std::string sourceName = "reedtab-test-keys";
    auto source = std::make_unique<JackTestClient>(sourceName);
    REQUIRE_JACK(*source);
    const int index = indexOf(inputDeviceNames(), source->midiOutName());
    ASSERT_GE(index, 0);
    NoteRecorder recorder;
    MidiInput input;
    ASSERT_EQ(input.openInput(index, &recorder), 0);
    std::this_thread::sleep_for(50ms);

    const std::vector<NoteInput> expected = {makeNoteInput(NoteInputNoteOn, 2, 60, 100),
                                             makeNoteInput(NoteInputProgram, 2, 24, 0),
                                             makeNoteInput(NoteInputPitchWheel, 2, 0x00, 0x50),
                                             makeNoteInput(NoteInputNoteOff, 2, 60, 0)};
    EXPECT_EQ(sendPhrase(*source, recorder, 60), expected);

    source.reset();
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(input.isOpen()) << "the input outlives its port";
    EXPECT_EQ(indexOf(inputDeviceNames(), sourceName + ":out"), -1);

    source = std::make_unique<JackTestClient>(sourceName);
    ASSERT_TRUE(source->isOpen());
    ASSERT_EQ(input.openInput(indexOf(inputDeviceNames(), source->midiOutName()), &recorder), 0)
        << "a restart of the input finds it again";
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(sendPhrase(*source, recorder, 60), expected);
    input.closeInput();
}

TEST(JackSynth, TheBuiltInSynthesizerSoundsOnJackAudioWhileANotePlays) {
    JackTestClient listener("reedtab-test-listener");
    REQUIRE_JACK(listener);
    if (SynthOutput::defaultSoundFont().empty()) {
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    SynthOutput synth(true);
    synth.setAudioDrivers({"jack"});
    ASSERT_EQ(synth.open(), DeviceOk);
    ASSERT_TRUE(synth.hasAudio());
    ASSERT_TRUE(listener.connectAudioFrom(SynthOutput::kAudioClientName));

    std::this_thread::sleep_for(200ms);
    listener.takeAudioPeak();
    std::this_thread::sleep_for(200ms);
    EXPECT_LT(listener.takeAudioPeak(), 1e-4f) << "silent before the note";

    synth.shortMessage(0x90 | 60 << 8 | 110 << 16);
    std::this_thread::sleep_for(300ms);
    EXPECT_GT(listener.takeAudioPeak(), 0.01f) << "the note sounds";
    synth.shortMessage(0x80 | 60 << 8);
    synth.close();
}

// Sets an environment variable for one scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        setenv(name, value, 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(JackSynth, WithoutARunningServerTheSynthesizerStartsNoneAndStaysSilent) {
    const ScopedEnvironment server("JACK_DEFAULT_SERVER", "reedtab-test-no-such-server");
    ASSERT_FALSE(jackServerRunning());
    SynthOutput synth(true, "/nonexistent/none.sf2");
    synth.setAudioDrivers({"jack"});
    EXPECT_EQ(synth.open(), DeviceOk);
    EXPECT_FALSE(synth.hasAudio());
    EXPECT_EQ(synth.shortMessage(0x90 | 60 << 8 | 100 << 16), DeviceOk);
    EXPECT_FALSE(jackServerRunning()) << "no server was started for the synthesizer";
    synth.close();
}

} // namespace
} // namespace reedtab
