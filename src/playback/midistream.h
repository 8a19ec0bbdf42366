#pragma once

#include "playback/clock.h"
#include "playback/outputdevice.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace reedtab {

/// Result codes of the stream (0 is success); `MidiStream::errorText` names them.
enum StreamResult : int {
    StreamOk = 0,
    StreamError = 1,
    StreamNoDevice = 2,
    StreamNotOpen = 5,
    StreamAlreadyOpen = 6,
    StreamBadParameter = 11,
    StreamUnprepared = 64,
    StreamStillPlaying = 65,
};

/// Header flags kept by the stream in `StreamHeader::flags`.
enum StreamHeaderFlag : std::uint32_t {
    HeaderDone = 1,
    HeaderPrepared = 2,
    HeaderInQueue = 4,
};

/// Record event types (top byte of the event word).
inline constexpr std::uint32_t kStreamShortMessage = 0x00;
inline constexpr std::uint32_t kStreamTempo = 0x01;
inline constexpr std::uint32_t kStreamNop = 0x02;
inline constexpr std::uint32_t kStreamCallbackFlag = 0x40;
inline constexpr std::uint32_t kStreamLongFlag = 0x80;
/// Size of one record: delta ticks, stream id, event word (little-endian 32-bit each).
inline constexpr std::uint32_t kStreamRecordSize = 12;

/// A packet of records handed to the stream. The owner fills `data` up to `bytesRecorded`;
/// the stream reads it between `queue` and the packet's done report.
struct StreamHeader {
    std::uint8_t* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::uint32_t bytesRecorded = 0;
    std::uint32_t userFlags = 0;
    std::atomic<std::uint32_t> flags{0};
};

/// What the stream reports. Called on the stream's timer thread (or, with a manual clock, on
/// the thread that drives the stream, and inside `stop`/`reset` on their caller's thread),
/// never with a stream lock held, so the client may call back into the stream.
class MidiStreamClient {
public:
    virtual ~MidiStreamClient() = default;
    /// Every record of the packet has been released, or the packet was given back by stop
    /// or reset.
    virtual void packetDone(StreamHeader& header) = 0;
    /// A record with the callback flag was released; `eventWord` is its whole event word
    /// (type and flags in the top byte, the parameter in the low 24 bits).
    virtual void markerReached(std::uint32_t eventWord) = 0;
    virtual void streamClosed() = 0;
    /// The device refused a released message (its port went away).
    virtual void deviceFailed() {}
};

/// A timed MIDI stream: packets of 12-byte records released at their delta times (ticks turned
/// into time by the time division and the tempo in force, tempo records changing it) to one
/// output device. On a ManualClock the owner moves time with `advanceTo`; on any other clock
/// a timer thread runs it. All operations may be called from any thread.
class MidiStream {
public:
    explicit MidiStream(Clock& clock);
    ~MidiStream();
    MidiStream(const MidiStream&) = delete;
    MidiStream& operator=(const MidiStream&) = delete;

    /// Opens on the device (the stream owns it from now on); the stream starts paused.
    int open(std::unique_ptr<OutputDevice> device, MidiStreamClient* client);
    /// Gives back queued packets, closes the device and reports streamClosed.
    int close();
    bool isOpen() const;

    /// Ticks per quarter note (> 0).
    int setTimeDivision(int ticksPerQuarter);
    int timeDivision() const;
    /// Microseconds per quarter note (> 0); takes effect at once, keeping the position.
    int setTempo(std::uint32_t microsecondsPerQuarter);
    std::uint32_t tempo() const;

    int prepareHeader(StreamHeader& header);
    /// Refused (StreamStillPlaying) while the packet is queued.
    int unprepareHeader(StreamHeader& header);
    /// Appends a prepared packet to the queue; it plays once the stream runs.
    int queue(StreamHeader& header);
    /// Starts or continues playing.
    int restart();
    /// Pauses, sets the position back to 0 and gives every queued packet back as done.
    int stop();
    /// Like stop, then all sound off at the device.
    int reset();
    /// Ticks played since the last restart from a stop (0 while stopped).
    std::uint32_t positionTicks() const;

    /// An immediate message to the device (status | data1 << 8 | data2 << 16).
    int shortMessage(std::uint32_t packed);
    int longMessage(const std::uint8_t* bytes, std::size_t length);

    static std::string errorText(int code);

    /// Manual clock only: releases everything due up to time `t`, moving the clock to each
    /// record's time on the way and to `t` at the end. Reports run on the calling thread.
    void advanceTo(Nanoseconds t);
    /// Manual clock only: the time the next record falls due, if the stream runs and has one.
    std::optional<Nanoseconds> nextDueTime() const;

private:
    struct Pending; // one released record, sent outside the lock

    double ticksAt(Nanoseconds t) const;
    Nanoseconds timeOfTick(double tick) const;
    void anchorAt(Nanoseconds t);
    bool takeDue(Nanoseconds now, Pending& out);
    void deliver(Pending& pending);
    std::optional<Nanoseconds> dueTimeLocked() const;
    void giveBackAll();
    void reportDone(std::vector<StreamHeader*>& headers);
    void timerLoop();

    Clock& clock_;
    ManualClock* manual_; // set when the owner drives the stream
    mutable std::mutex mutex_;
    std::mutex deviceMutex_; // devices are not all safe for two senders at once
    std::condition_variable wake_;
    std::unique_ptr<OutputDevice> device_;
    MidiStreamClient* client_ = nullptr;
    bool open_ = false;
    bool running_ = false;
    bool quit_ = false;
    int division_ = 96;
    std::uint32_t tempo_ = 500000;
    // Position bookkeeping: at time anchorTime_ the stream stood at tick anchorTick_.
    Nanoseconds anchorTime_{0};
    double anchorTick_ = 0;
    // The tick at which the next record falls due, as the sum of the deltas released so far.
    double nextRecordTick_ = 0;
    bool recordTickSet_ = false;
    std::deque<StreamHeader*> queue_;
    std::uint32_t readOffset_ = 0; // in the packet at the front of the queue
    std::thread thread_;
};

} // namespace reedtab
