#pragma once

// The transport over the real stream player on a manual clock into a recording output: the
// player's messages come back on the test's thread when the test moves time, and the news the
// transport tells its listener are kept.

#include "documenttesting.h"

#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace reedtab::testing {

using Bytes = std::vector<std::uint8_t>;

struct TransportNews : TransportListener {
    std::vector<PositionReport> reports;
    std::vector<int> tempos;
    std::vector<int> ended;
    std::vector<std::int32_t> holds;

    void positionReached(const PositionReport& report) override { reports.push_back(report); }
    void tempoChanged(int microsPerQuarter) override { tempos.push_back(microsPerQuarter); }
    void songEnded(int result) override { ended.push_back(result); }
    void held(std::int32_t tick) override { holds.push_back(tick); }
};

class TransportTest : public ::testing::Test {
protected:
    TransportTest() {
        poster.setHandler(
            [this](const PlayerMessage& message) { transport.handleMessage(message); });
        transport.setListener(&news);
        transport.setMarkSource([this] { return marks; });
        out.setTickSource([this] { return player.stream().positionTicks(); });
    }
    ~TransportTest() override { player.shutdown(); }

    /// Starts `song` with `tracks` tracks in division 480, 4/4 and 120 bpm on the first.
    void startSong(int tracks) {
        beginSong(song, tracks);
        addTimeSignature(song, 0, 0, 4, 4);
        addTempo(song, 0, 0, 500000);
    }
    /// The song built so far becomes the transport's, its device open.
    void ready() {
        transport.setSongTiming(song.division, song.tempoAt(0));
        transport.setOptions(options);
        ASSERT_EQ(transport.init(song, poster), PlayerOk);
        ASSERT_EQ(transport.openOutput(-1), PlayerOk);
        out.clear();
    }
    /// Moves the clock on in steps of 5 ms, handing the messages to the transport after each.
    void run(std::chrono::nanoseconds span) {
        const auto end = clock.now() + span;
        while (clock.now() < end) {
            player.stream().advanceTo(std::min(end, clock.now() + std::chrono::milliseconds(5)));
            poster.dispatchAll();
        }
    }
    void runToEnd(std::chrono::seconds limit = std::chrono::seconds(60)) {
        const auto end = clock.now() + limit;
        while (player.state() != PlayerState::Idle && clock.now() < end) {
            run(std::chrono::milliseconds(50));
        }
        poster.dispatchAll();
    }
    /// Every message the device got, in order, as bytes.
    std::vector<Bytes> heard() const {
        std::vector<Bytes> bytes;
        for (const auto& message : out.messages()) {
            bytes.push_back(message.bytes);
        }
        return bytes;
    }
    /// The keys (channel * 128 + key) that sound after everything the device got.
    std::vector<int> soundingKeys() const;
    /// The time (ms since the clock's start) of each message equal to `bytes`.
    std::vector<double> timesOf(const Bytes& bytes) const;
    /// The index in the merged list of the first event at `tick` that is a note-on of `key`.
    int noteIndex(std::int32_t tick, int key) const;

    ManualClock clock;
    RecordingOutput out{clock};
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    Transport transport{player};
    PlayerMessageQueue poster;
    TransportNews news;
    LoopMarks marks;
    PlaybackOptions options;
    MidiSong song;
};

} // namespace reedtab::testing
