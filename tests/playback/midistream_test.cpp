#include "playback/midistream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace reedtab;
using namespace std::chrono_literals;

namespace {

// A packet with its own storage, filled record by record.
struct Packet {
    std::vector<std::uint8_t> storage = std::vector<std::uint8_t>(4096, 0);
    StreamHeader header;

    Packet() {
        header.data = storage.data();
        header.bufferLength = static_cast<std::uint32_t>(storage.size());
    }
    void word(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            storage[header.bytesRecorded++] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    void record(std::uint32_t delta, std::uint32_t eventWord) {
        word(delta);
        word(0);
        word(eventWord);
    }
    void shortMsg(std::uint32_t delta, std::uint32_t packed) { record(delta, packed); }
    void tempo(std::uint32_t delta, std::uint32_t us) { record(delta, 0x01000000 | us); }
    void marker(std::uint32_t delta, std::uint32_t value) { record(delta, 0x42000000 | value); }
    void sysex(std::uint32_t delta, std::vector<std::uint8_t> bytes) {
        record(delta, 0x80000000 | static_cast<std::uint32_t>(bytes.size()));
        std::memcpy(storage.data() + header.bytesRecorded, bytes.data(), bytes.size());
        header.bytesRecorded += (static_cast<std::uint32_t>(bytes.size()) + 3) & ~3u;
    }
};

struct Reports : MidiStreamClient {
    std::mutex mutex;
    std::vector<StreamHeader*> done;
    std::vector<std::uint32_t> markers;
    std::vector<Nanoseconds> markerTimes;
    int closed = 0;
    const Clock* clock = nullptr;

    void packetDone(StreamHeader& header) override {
        std::lock_guard lock(mutex);
        done.push_back(&header);
    }
    void markerReached(std::uint32_t word) override {
        std::lock_guard lock(mutex);
        markers.push_back(word);
        markerTimes.push_back(clock ? clock->now() : Nanoseconds{0});
    }
    void streamClosed() override {
        std::lock_guard lock(mutex);
        ++closed;
    }
    std::size_t doneCount() {
        std::lock_guard lock(mutex);
        return done.size();
    }
};

struct ManualStream : ::testing::Test {
    ManualClock clock;
    Reports reports; // outlives the stream, which reports its close when destroyed
    MidiStream stream{clock};
    RecordingOutput* output = nullptr;

    void SetUp() override {
        auto device = std::make_unique<RecordingOutput>(clock);
        output = device.get();
        reports.clock = &clock;
        ASSERT_EQ(stream.open(std::move(device), &reports), StreamOk);
        ASSERT_EQ(stream.setTimeDivision(480), StreamOk);
        ASSERT_EQ(stream.setTempo(500000), StreamOk);
    }
    void play(Packet& packet) {
        ASSERT_EQ(stream.prepareHeader(packet.header), StreamOk);
        ASSERT_EQ(stream.queue(packet.header), StreamOk);
    }
};

double ms(Nanoseconds t) {
    return std::chrono::duration<double, std::milli>(t).count();
}

} // namespace

TEST_F(ManualStream, ReleasesRecordsAtTheirDeltaTimesWithTheTempoInForce) {
    Packet packet;
    packet.shortMsg(0, 0x403C90);   // at 0
    packet.shortMsg(480, 0x003C80); // one quarter = 500 ms
    packet.tempo(0, 250000);        // twice as fast from here
    packet.shortMsg(480, 0x403E90); // + 250 ms
    play(packet);
    stream.advanceTo(10s);
    EXPECT_TRUE(reports.done.empty()) << "nothing plays before restart";
    ASSERT_EQ(stream.restart(), StreamOk);
    stream.advanceTo(clock.now() + 10s);
    const auto messages = output->messages();
    ASSERT_EQ(messages.size(), 3u);
    const auto start = Nanoseconds(10s);
    EXPECT_DOUBLE_EQ(ms(messages[0].time - start), 0.0);
    EXPECT_DOUBLE_EQ(ms(messages[1].time - start), 500.0);
    EXPECT_DOUBLE_EQ(ms(messages[2].time - start), 750.0);
    EXPECT_EQ(messages[2].bytes, (std::vector<std::uint8_t>{0x90, 0x3E, 0x40}));
    ASSERT_EQ(reports.done.size(), 1u);
    EXPECT_EQ(reports.done[0], &packet.header);
    EXPECT_TRUE(packet.header.flags.load() & HeaderDone);
    EXPECT_EQ(stream.positionTicks(), 960u + static_cast<std::uint32_t>(10 * 1000 * 480 / 250) -
                                          static_cast<std::uint32_t>(750 * 480 / 250));
}

TEST_F(ManualStream, PositionCountsTicksAndAdvanceStopsExactlyOnRecords) {
    Packet packet;
    packet.marker(100, 7);
    packet.marker(2300, 0x800000 + 2400);
    play(packet);
    stream.restart();
    // 100 ticks of 500000 / 480 microseconds each, to the nearest nanosecond.
    EXPECT_EQ(stream.nextDueTime(), Nanoseconds(104166667));
    stream.advanceTo(Nanoseconds(1s));
    EXPECT_EQ(stream.positionTicks(), 960u);
    ASSERT_EQ(reports.markers.size(), 1u);
    EXPECT_EQ(reports.markers[0], 0x42000007u);
    stream.advanceTo(Nanoseconds(2500ms));
    ASSERT_EQ(reports.markers.size(), 2u);
    EXPECT_EQ(reports.markers[1] & 0xFFFFFF, 0x800000u + 2400);
    EXPECT_EQ(reports.markerTimes[1], Nanoseconds(2500ms));
    EXPECT_TRUE(output->messages().empty()) << "markers are no-ops at the device";
}

TEST_F(ManualStream, TempoPropertyChangeKeepsThePositionAndRescalesWhatFollows) {
    Packet packet;
    packet.shortMsg(960, 0xF8);
    play(packet);
    stream.restart();
    stream.advanceTo(Nanoseconds(500ms)); // tick 480
    stream.setTempo(1000000);             // half speed: 480 more ticks take 1 s
    EXPECT_EQ(stream.positionTicks(), 480u);
    stream.advanceTo(Nanoseconds(1499ms));
    EXPECT_TRUE(output->messages().empty());
    stream.advanceTo(Nanoseconds(1500ms));
    ASSERT_EQ(output->messages().size(), 1u);
    EXPECT_EQ(output->messages()[0].time, Nanoseconds(1500ms));
}

TEST_F(ManualStream, DeltasCarryAcrossPacketsAndLongMessagesKeepTheirBytes) {
    Packet first;
    Packet second;
    first.shortMsg(240, 0x7F4590);
    second.sysex(240, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    second.shortMsg(0, 0x004580);
    play(first);
    play(second);
    stream.restart();
    stream.advanceTo(Nanoseconds(5s));
    const auto messages = output->messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].time, Nanoseconds(500ms));
    EXPECT_EQ(messages[1].bytes, (std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(messages[2].bytes, (std::vector<std::uint8_t>{0x80, 0x45, 0x00}));
    ASSERT_EQ(reports.done.size(), 2u);
    EXPECT_EQ(reports.done[0], &first.header);
    EXPECT_EQ(reports.done[1], &second.header);
}

TEST_F(ManualStream, StopGivesEveryQueuedPacketBackAndRewindsThePosition) {
    Packet a;
    Packet b;
    a.shortMsg(480, 0x403C90);
    b.shortMsg(480, 0x003C80);
    play(a);
    play(b);
    stream.restart();
    stream.advanceTo(Nanoseconds(250ms));
    EXPECT_EQ(stream.unprepareHeader(a.header), StreamStillPlaying);
    ASSERT_EQ(stream.stop(), StreamOk);
    EXPECT_EQ(reports.done.size(), 2u);
    EXPECT_EQ(stream.positionTicks(), 0u);
    EXPECT_FALSE(stream.nextDueTime().has_value());
    EXPECT_EQ(stream.unprepareHeader(a.header), StreamOk);
    EXPECT_EQ(stream.queue(a.header), StreamUnprepared);
    EXPECT_TRUE(output->messages().empty());
    ASSERT_EQ(stream.reset(), StreamOk);
    EXPECT_EQ(output->resetCount(), 1);
}

TEST_F(ManualStream, RefusesBadCallsWithCodesThatHaveTexts) {
    Packet packet;
    EXPECT_EQ(stream.queue(packet.header), StreamUnprepared);
    StreamHeader empty;
    EXPECT_EQ(stream.prepareHeader(empty), StreamBadParameter);
    EXPECT_EQ(stream.setTimeDivision(0), StreamBadParameter);
    EXPECT_EQ(stream.setTempo(0), StreamBadParameter);
    EXPECT_EQ(stream.open(std::make_unique<RecordingOutput>(clock), &reports), StreamAlreadyOpen);
    for (int code : {StreamError, StreamNoDevice, StreamNotOpen, StreamBadParameter,
                     StreamUnprepared, StreamStillPlaying}) {
        EXPECT_FALSE(MidiStream::errorText(code).empty());
        EXPECT_NE(MidiStream::errorText(code), MidiStream::errorText(StreamOk));
    }
    ASSERT_EQ(stream.close(), StreamOk);
    EXPECT_EQ(reports.closed, 1);
    EXPECT_EQ(stream.shortMessage(0x90), StreamNotOpen);
    EXPECT_EQ(stream.close(), StreamNotOpen);
}

TEST_F(ManualStream, AReportMayQueueTheNextPacketFromInsideTheCallback) {
    struct Refill : MidiStreamClient {
        MidiStream* stream = nullptr;
        int rounds = 0;
        void packetDone(StreamHeader& header) override {
            if (++rounds < 5) {
                stream->queue(header);
            }
        }
        void markerReached(std::uint32_t) override {}
        void streamClosed() override {}
    } refill;
    ManualClock clock2;
    RecordingOutput out(clock2);
    MidiStream stream2(clock2);
    ASSERT_EQ(stream2.open(std::make_unique<ForwardingOutput>(out), &refill), StreamOk);
    stream2.setTimeDivision(480);
    Packet packet;
    packet.shortMsg(48, 0xF8);
    refill.stream = &stream2;
    ASSERT_EQ(stream2.prepareHeader(packet.header), StreamOk);
    ASSERT_EQ(stream2.queue(packet.header), StreamOk);
    stream2.restart();
    stream2.advanceTo(Nanoseconds(10s));
    const auto messages = out.messages();
    ASSERT_EQ(messages.size(), 5u);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].time, Nanoseconds(50ms) * static_cast<int>(i + 1));
    }
}

TEST_F(ManualStream, ClosingWhileTheClientRefillsLeavesNothingQueuedForTheNextOpen) {
    struct Greedy : MidiStreamClient {
        MidiStream* stream = nullptr;
        int refused = 0;
        void packetDone(StreamHeader& header) override {
            refused += stream->queue(header) != StreamOk;
        }
        void markerReached(std::uint32_t) override {}
        void streamClosed() override {}
    } greedy;
    ManualClock clock2;
    RecordingOutput first(clock2);
    RecordingOutput second(clock2);
    MidiStream stream2(clock2);
    greedy.stream = &stream2;
    ASSERT_EQ(stream2.open(std::make_unique<ForwardingOutput>(first), &greedy), StreamOk);
    Packet packet;
    packet.shortMsg(96, 0x403C90);
    ASSERT_EQ(stream2.prepareHeader(packet.header), StreamOk);
    ASSERT_EQ(stream2.queue(packet.header), StreamOk);
    ASSERT_EQ(stream2.close(), StreamOk);
    EXPECT_EQ(greedy.refused, 1);
    EXPECT_FALSE(packet.header.flags.load() & HeaderInQueue);
    ASSERT_EQ(stream2.open(std::make_unique<ForwardingOutput>(second), &greedy), StreamOk);
    stream2.restart();
    stream2.advanceTo(Nanoseconds(5s));
    EXPECT_TRUE(second.messages().empty()) << "a packet of the last opening played";
    stream2.close();
}

TEST(ThreadedStream, TimerThreadReleasesInOrderAndCloseJoinsIt) {
    SteadyClock clock;
    RecordingOutput out(clock);
    Reports reports;
    MidiStream stream(clock);
    ASSERT_EQ(stream.open(std::make_unique<ForwardingOutput>(out), &reports), StreamOk);
    stream.setTimeDivision(480);
    stream.setTempo(60000); // 8 ticks per millisecond
    Packet packet;
    for (std::uint32_t i = 0; i < 20; ++i) {
        packet.shortMsg(8, 0x400090 | i << 8);
    }
    packet.marker(0, 3);
    stream.prepareHeader(packet.header);
    stream.queue(packet.header);
    const auto started = clock.now();
    stream.restart();
    for (int i = 0; i < 2000 && reports.doneCount() == 0; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(reports.doneCount(), 1u);
    const auto messages = out.messages();
    ASSERT_EQ(messages.size(), 20u);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].bytes[1], i);
        EXPECT_GE(messages[i].time - started, Nanoseconds(1ms) * static_cast<int>(i + 1));
    }
    EXPECT_EQ(reports.markers.size(), 1u);
    ASSERT_EQ(stream.close(), StreamOk);
    EXPECT_EQ(reports.closed, 1);
}

TEST(ThreadedStream, StopFromAnotherThreadWhileRecordsAreDueGivesEverythingBack) {
    SteadyClock clock;
    RecordingOutput out(clock);
    Reports reports;
    MidiStream stream(clock);
    ASSERT_EQ(stream.open(std::make_unique<ForwardingOutput>(out), &reports), StreamOk);
    stream.setTimeDivision(480);
    std::vector<std::unique_ptr<Packet>> packets;
    for (int p = 0; p < 4; ++p) {
        packets.push_back(std::make_unique<Packet>());
        for (int i = 0; i < 100; ++i) {
            packets.back()->shortMsg(1, 0xF8);
        }
        stream.prepareHeader(packets.back()->header);
        stream.queue(packets.back()->header);
    }
    stream.restart();
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(stream.stop(), StreamOk);
    EXPECT_EQ(reports.doneCount(), 4u);
    const auto sent = out.messages().size();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(out.messages().size(), sent) << "nothing is released after stop";
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, 400u);
}
