// The player under rapid random use: start, stop, seek, tempo changes, loop marks, the
// metronome, the clock and edits (with the player stopped, or suspended for an insert as the
// document does) in random order, thousands of times, on the manual clock and on the real one with
// its timer thread (which ThreadSanitizer watches in the sanitizer run). Whatever the order, no
// call may hang and every note the output received must end, by its note-off or an all-notes-off.

#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace reedtab;
using namespace std::chrono_literals;

namespace {

// What the output device heard, as a synthesizer would keep it: which keys sound.
class SoundingKeys {
public:
    void hear(const RecordedMessage& m) {
        if (m.bytes.empty())
            return;
        std::lock_guard lock(mutex_);
        const int status = m.bytes[0] & 0xF0;
        const int channel = m.bytes[0] & 0x0F;
        if (m.bytes.size() == 3 && status == 0x90 && m.bytes[2] > 0) {
            sounding_[channel][m.bytes[1] & 0x7F] = true;
            ++noteOns_;
        } else if (m.bytes.size() == 3 && (status == 0x80 || status == 0x90)) {
            sounding_[channel][m.bytes[1] & 0x7F] = false;
        } else if (m.bytes.size() == 3 && status == 0xB0 && m.bytes[1] == 123) {
            sounding_[channel].fill(false);
        }
    }
    // "channel:key" of every key still sounding.
    std::vector<std::string> stuck() const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> keys;
        for (int c = 0; c < 16; ++c)
            for (int k = 0; k < 128; ++k)
                if (sounding_[c][k])
                    keys.push_back(std::to_string(c) + ":" + std::to_string(k));
        return keys;
    }
    long noteOns() const {
        std::lock_guard lock(mutex_);
        return noteOns_;
    }

private:
    mutable std::mutex mutex_;
    std::array<std::array<bool, 128>, 16> sounding_{};
    long noteOns_ = 0;
};

// Notes on four channels with overlaps, drums, controllers and a tempo change.
void buildSong(MidiSong& song) {
    song.division = 480;
    song.format = 1;
    for (int t = 0; t < 3; ++t) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        song.tracks.back()->index = t;
    }
    auto ts = makeTimeSignatureEvent(4, 4);
    song.timeSignatureList.push_back(ts.get());
    song.addEvent(0, 0, std::move(ts));
    song.addEvent(0, 0, makeTempoEvent(400000));
    song.addEvent(3840, 0, makeTempoEvent(300000));
    for (int i = 0; i < 160; ++i) {
        int track = 1 + i % 2;
        int channel = i % 4 == 3 ? 9 : i % 3;
        int key = 48 + (i * 7) % 24;
        int32_t on = i * 60;
        song.addEvent(
            on, track,
            makeChannelEvent(static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), 90));
        song.addEvent(
            on + 50 + (i % 5) * 40, track,
            makeChannelEvent(static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0));
        if (i % 10 == 0)
            song.addEvent(on, track,
                          makeChannelEvent(static_cast<uint8_t>(0xB0 | channel), 7,
                                           static_cast<uint8_t>(60 + i % 60)));
    }
    for (auto& track : song.tracks)
        track->pairNotes(nullptr, 0, true, &song.mergedEvents);
    song.rebuildBars();
}

uint32_t nextRandom(uint32_t& seed) {
    seed = seed * 1103515245 + 12345;
    return seed >> 16;
}

// One random operation, as the window's commands and the edit toolbar issue them; `params` is
// what the player plays by.
void randomOperation(StreamPlayer& player, PlaybackParams& params, MidiSong& song, uint32_t& seed) {
    const int length = song.length;
    switch (nextRandom(seed) % 12) {
    case 0:
    case 1:
    case 2: {
        // Starting past the end or while playing is refused with a code; both are part of the
        // storm, so every code but a device failure is expected here.
        const PlayerResult result = player.start(
            static_cast<int>(nextRandom(seed) % (length + 100)), nextRandom(seed) % 4 == 0);
        EXPECT_NE(result, PlayerDeviceError);
        break;
    }
    case 3:
        player.stop(nextRandom(seed) % 2 == 0);
        break;
    case 4:
    case 5:
        player.seek(static_cast<int>(nextRandom(seed) % (length + 1)));
        break;
    case 6:
        params.tempoPercent = static_cast<int>(25 + nextRandom(seed) % 400);
        player.setParams(params);
        break;
    case 7: {
        int a = static_cast<int>(nextRandom(seed) % (length + 1));
        int b = static_cast<int>(nextRandom(seed) % (length + 1));
        params.loopBegin = nextRandom(seed) % 3 == 0 ? -1 : std::min(a, b);
        params.loopEnd = nextRandom(seed) % 3 == 0 ? -1 : std::max(a, b) + 1;
        if (nextRandom(seed) % 2 == 0) {
            params.loopBegin = -1;
        }
        player.setParams(params);
        break;
    }
    case 8:
        params.options.metronome = !params.options.metronome;
        player.setParams(params);
        break;
    case 9: {
        // A note entered while playing: the document suspends the refill around the insert.
        // Under ThreadSanitizer this found `suspend` returning while a refill that had just
        // seen Playing still read the merged list the insert then grew.
        const bool playing = player.isPlaying();
        if (playing)
            player.suspend();
        int32_t at = static_cast<int32_t>(nextRandom(seed) % (length + 1));
        auto key = static_cast<uint8_t>(30 + nextRandom(seed) % 10);
        auto on = makeChannelEvent(0x93, key, 80);
        auto off = makeChannelEvent(0x83, key, 0);
        MidiEvent* onEvent = on.get();
        MidiEvent* offEvent = off.get();
        song.addEvent(at, 1, std::move(on));
        song.addEvent(at + 30, 1, std::move(off));
        onEvent->partner = offEvent;
        offEvent->partner = onEvent;
        onEvent->duration = 30;
        if (playing)
            player.resume();
        break;
    }
    case 10: {
        // Every other edit stops the player first.
        player.stop(false);
        const auto& merged = song.mergedEvents;
        for (size_t tries = 0; tries < 8 && !merged.empty(); ++tries) {
            MidiEvent* e = merged[nextRandom(seed) % merged.size()];
            if (e->isNoteOn()) {
                song.deleteEvent(e);
                song.length = merged.back()->tick;
                song.rebuildBars();
                break;
            }
        }
        break;
    }
    default:
        params.options.clockOut = !params.options.clockOut;
        player.setParams(params);
        break;
    }
}

struct StressBase {
    MidiSong song;
    SoundingKeys keys;
    PlaybackParams params;

    StressBase() {
        buildSong(song);
        params = songParams(song);
    }
};

} // namespace

TEST(PlayerStress, ManualClockThousandsOfRandomOperationsLeaveNoNoteSounding) {
    StressBase base;
    ManualClock clock;
    RecordingOutput out{clock};
    out.setKeep(false);
    out.setListener([&base](const RecordedMessage& m) { base.keys.hear(m); });
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    PlayerMessageQueue window{&player};
    window.setHandler([](const PlayerMessage&) {});
    player.setParams(base.params);
    ASSERT_EQ(player.init(&base.song, &window), PlayerOk);
    ASSERT_EQ(player.openDevice(), PlayerOk);
    uint32_t seed = 2024;
    for (int op = 0; op < 6000; ++op) {
        randomOperation(player, base.params, base.song, seed);
        const int steps = static_cast<int>(nextRandom(seed) % 12);
        for (int s = 0; s < steps; ++s) {
            clock.advance(7ms);
            player.stream().advanceTo(clock.now());
            window.dispatchAll();
        }
    }
    player.stop(false);
    for (int s = 0; s < 100; ++s) {
        clock.advance(10ms);
        player.stream().advanceTo(clock.now());
        window.dispatchAll();
    }
    EXPECT_EQ(player.state(), PlayerState::Idle);
    EXPECT_GT(base.keys.noteOns(), 1000) << "the operations must let the song play";
    EXPECT_EQ(base.keys.stuck(), std::vector<std::string>{});
    player.shutdown();
}

TEST(PlayerStress, RealClockRandomOperationsNeitherHangNorLeaveANoteSounding) {
    StressBase base;
    SteadyClock clock;
    RecordingOutput out{clock};
    out.setKeep(false);
    out.setListener([&base](const RecordedMessage& m) { base.keys.hear(m); });
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    PlayerMessageQueue window{&player};
    window.setHandler([](const PlayerMessage&) {});
    player.setParams(base.params);
    ASSERT_EQ(player.init(&base.song, &window), PlayerOk);
    ASSERT_EQ(player.openDevice(), PlayerOk);
    uint32_t seed = 77;
    for (int op = 0; op < 2500; ++op) {
        const auto before = std::chrono::steady_clock::now();
        randomOperation(player, base.params, base.song, seed);
        // Generous for a loaded machine under a sanitizer; a deadlock never returns at all.
        ASSERT_LT(std::chrono::steady_clock::now() - before, 5s) << "operation " << op;
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(nextRandom(seed) % 3000);
        while (std::chrono::steady_clock::now() < until)
            if (!window.dispatchPendingMessage())
                std::this_thread::sleep_for(200us);
    }
    player.stop(false);
    window.dispatchAll();
    EXPECT_EQ(player.state(), PlayerState::Idle);
    EXPECT_GT(base.keys.noteOns(), 100);
    EXPECT_EQ(base.keys.stuck(), std::vector<std::string>{});
    player.shutdown();
}
