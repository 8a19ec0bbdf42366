#include "playback/midistream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace reedtab {

namespace {

std::uint32_t readWord(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t paddedLength(std::uint32_t length) {
    return (length + 3) & ~3u;
}

} // namespace

struct MidiStream::Pending {
    enum Kind { None, Record, Done } kind = None;
    std::uint32_t word = 0;
    std::vector<std::uint8_t> longData;
    StreamHeader* header = nullptr;
};

MidiStream::MidiStream(Clock& clock) : clock_(clock), manual_(dynamic_cast<ManualClock*>(&clock)) {}

MidiStream::~MidiStream() {
    close();
}

int MidiStream::open(std::unique_ptr<OutputDevice> device, MidiStreamClient* client) {
    if (!device) {
        return StreamNoDevice;
    }
    std::unique_lock lock(mutex_);
    if (open_) {
        return StreamAlreadyOpen;
    }
    lock.unlock();
    if (device->open() != DeviceOk) {
        return StreamNoDevice;
    }
    lock.lock();
    device_ = std::move(device);
    client_ = client;
    open_ = true;
    running_ = false;
    quit_ = false;
    anchorTick_ = 0;
    anchorTime_ = clock_.now();
    nextRecordTick_ = 0;
    readOffset_ = 0;
    if (!manual_) {
        thread_ = std::thread([this] { timerLoop(); });
    }
    return StreamOk;
}

int MidiStream::close() {
    std::unique_lock lock(mutex_);
    if (!open_) {
        return StreamNotOpen;
    }
    // Closed to new packets from here on: a client that refills what is given back below
    // must not leave a packet behind in the queue.
    quit_ = true;
    running_ = false;
    open_ = false;
    lock.unlock();
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    giveBackAll();
    lock.lock();
    auto device = std::move(device_);
    auto* client = client_;
    client_ = nullptr;
    lock.unlock();
    {
        std::lock_guard deviceLock(deviceMutex_);
        device->close();
    }
    if (client) {
        client->streamClosed();
    }
    return StreamOk;
}

bool MidiStream::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

int MidiStream::setTimeDivision(int ticksPerQuarter) {
    if (ticksPerQuarter <= 0) {
        return StreamBadParameter;
    }
    std::lock_guard lock(mutex_);
    if (!open_) {
        return StreamNotOpen;
    }
    anchorAt(clock_.now());
    division_ = ticksPerQuarter;
    return StreamOk;
}

int MidiStream::timeDivision() const {
    std::lock_guard lock(mutex_);
    return division_;
}

int MidiStream::setTempo(std::uint32_t microsecondsPerQuarter) {
    if (microsecondsPerQuarter == 0) {
        return StreamBadParameter;
    }
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            return StreamNotOpen;
        }
        anchorAt(clock_.now());
        tempo_ = microsecondsPerQuarter;
    }
    wake_.notify_all();
    return StreamOk;
}

std::uint32_t MidiStream::tempo() const {
    std::lock_guard lock(mutex_);
    return tempo_;
}

int MidiStream::prepareHeader(StreamHeader& header) {
    if (!header.data || header.bufferLength == 0) {
        return StreamBadParameter;
    }
    std::lock_guard lock(mutex_);
    if (!open_) {
        return StreamNotOpen;
    }
    header.flags.fetch_or(HeaderPrepared);
    return StreamOk;
}

int MidiStream::unprepareHeader(StreamHeader& header) {
    std::lock_guard lock(mutex_);
    if (header.flags.load() & HeaderInQueue) {
        return StreamStillPlaying;
    }
    header.flags.fetch_and(~static_cast<std::uint32_t>(HeaderPrepared));
    return StreamOk;
}

int MidiStream::queue(StreamHeader& header) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            return StreamNotOpen;
        }
        const auto flags = header.flags.load();
        if (!(flags & HeaderPrepared)) {
            return StreamUnprepared;
        }
        if (flags & HeaderInQueue) {
            return StreamStillPlaying;
        }
        if (header.bytesRecorded > header.bufferLength) {
            return StreamBadParameter;
        }
        header.flags.store((flags | HeaderInQueue) & ~static_cast<std::uint32_t>(HeaderDone));
        queue_.push_back(&header);
    }
    wake_.notify_all();
    return StreamOk;
}

int MidiStream::restart() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            return StreamNotOpen;
        }
        if (!running_) {
            anchorTime_ = clock_.now();
            running_ = true;
        }
    }
    wake_.notify_all();
    return StreamOk;
}

int MidiStream::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!open_) {
            return StreamNotOpen;
        }
        running_ = false;
        anchorTick_ = 0;
        anchorTime_ = clock_.now();
        nextRecordTick_ = 0;
    }
    giveBackAll();
    return StreamOk;
}

int MidiStream::reset() {
    const int stopped = stop();
    if (stopped != StreamOk) {
        return stopped;
    }
    std::lock_guard deviceLock(deviceMutex_);
    std::unique_lock lock(mutex_);
    if (!device_) {
        return StreamNotOpen;
    }
    auto* device = device_.get();
    lock.unlock();
    return device->reset() == DeviceOk ? StreamOk : StreamError;
}

std::uint32_t MidiStream::positionTicks() const {
    std::lock_guard lock(mutex_);
    if (!open_) {
        return 0;
    }
    const double ticks = ticksAt(clock_.now());
    // A manual clock stands exactly on a record's time; keep rounding from losing that tick.
    return ticks <= 0 ? 0u : static_cast<std::uint32_t>(std::floor(ticks + 1e-6));
}

int MidiStream::shortMessage(std::uint32_t packed) {
    std::lock_guard deviceLock(deviceMutex_);
    std::unique_lock lock(mutex_);
    if (!device_) {
        return StreamNotOpen;
    }
    auto* device = device_.get();
    lock.unlock();
    return device->shortMessage(packed) == DeviceOk ? StreamOk : StreamError;
}

int MidiStream::longMessage(const std::uint8_t* bytes, std::size_t length) {
    std::lock_guard deviceLock(deviceMutex_);
    std::unique_lock lock(mutex_);
    if (!device_) {
        return StreamNotOpen;
    }
    auto* device = device_.get();
    lock.unlock();
    return device->longMessage(bytes, length) == DeviceOk ? StreamOk : StreamError;
}

std::string MidiStream::errorText(int code) {
    switch (code) {
    case StreamOk:
        return "The operation succeeded.";
    case StreamError:
        return "The MIDI device reported an error.";
    case StreamNoDevice:
        return "The MIDI output device cannot be opened.";
    case StreamNotOpen:
        return "The MIDI stream is not open.";
    case StreamAlreadyOpen:
        return "The MIDI stream is already open.";
    case StreamBadParameter:
        return "A parameter passed to the MIDI stream is invalid.";
    case StreamUnprepared:
        return "The packet has not been prepared.";
    case StreamStillPlaying:
        return "The packet is still queued on the stream.";
    default:
        return "Unknown MIDI stream error " + std::to_string(code) + ".";
    }
}

double MidiStream::ticksAt(Nanoseconds t) const {
    if (!running_) {
        return anchorTick_;
    }
    const double elapsed = static_cast<double>((t - anchorTime_).count());
    return anchorTick_ + elapsed * division_ / (static_cast<double>(tempo_) * 1000.0);
}

Nanoseconds MidiStream::timeOfTick(double tick) const {
    const double ns = (tick - anchorTick_) * static_cast<double>(tempo_) * 1000.0 / division_;
    return anchorTime_ + Nanoseconds(static_cast<Nanoseconds::rep>(std::llround(ns)));
}

void MidiStream::anchorAt(Nanoseconds t) {
    anchorTick_ = ticksAt(t);
    anchorTime_ = t;
}

std::optional<Nanoseconds> MidiStream::dueTimeLocked() const {
    if (!running_ || queue_.empty()) {
        return std::nullopt;
    }
    const StreamHeader& header = *queue_.front();
    if (readOffset_ + kStreamRecordSize > header.bytesRecorded) {
        return timeOfTick(nextRecordTick_);
    }
    const std::uint32_t delta = readWord(header.data + readOffset_);
    return timeOfTick(nextRecordTick_ + delta);
}

bool MidiStream::takeDue(Nanoseconds now, Pending& out) {
    if (!running_ || queue_.empty()) {
        return false;
    }
    StreamHeader& header = *queue_.front();
    if (readOffset_ + kStreamRecordSize > header.bytesRecorded) {
        queue_.pop_front();
        readOffset_ = 0;
        header.flags.store((header.flags.load() | HeaderDone) &
                           ~static_cast<std::uint32_t>(HeaderInQueue));
        out.kind = Pending::Done;
        out.header = &header;
        return true;
    }
    const std::uint8_t* record = header.data + readOffset_;
    const double tick = nextRecordTick_ + readWord(record);
    const Nanoseconds due = timeOfTick(tick);
    if (due > now) {
        return false;
    }
    const std::uint32_t word = readWord(record + 8);
    std::uint32_t size = kStreamRecordSize;
    out.kind = Pending::Record;
    out.word = word;
    out.longData.clear();
    if (word & (kStreamLongFlag << 24)) {
        const std::uint32_t length = word & 0xFFFFFF;
        const std::uint32_t available = header.bytesRecorded - readOffset_ - kStreamRecordSize;
        const std::uint32_t taken = std::min(length, available);
        out.longData.assign(record + kStreamRecordSize, record + kStreamRecordSize + taken);
        size += std::min(paddedLength(length), available);
    } else if ((word >> 24 & 0x3F) == kStreamTempo) {
        // The new tempo counts from this record's own tick, whenever it was actually reached.
        anchorTick_ = tick;
        anchorTime_ = due;
        tempo_ = std::max<std::uint32_t>(word & 0xFFFFFF, 1);
    }
    nextRecordTick_ = tick;
    readOffset_ += size;
    return true;
}

void MidiStream::deliver(Pending& pending) {
    MidiStreamClient* client;
    {
        std::lock_guard lock(mutex_);
        client = client_;
    }
    if (pending.kind == Pending::Done) {
        if (client) {
            client->packetDone(*pending.header);
        }
        return;
    }
    const std::uint32_t type = pending.word >> 24;
    int sent = StreamOk;
    if (type & kStreamLongFlag) {
        if (!pending.longData.empty()) {
            sent = longMessage(pending.longData.data(), pending.longData.size());
        }
    } else if ((type & 0x3F) == kStreamShortMessage) {
        sent = shortMessage(pending.word & 0xFFFFFF);
    }
    if (sent == StreamError && client) {
        client->deviceFailed();
    }
    if ((type & kStreamCallbackFlag) && client) {
        client->markerReached(pending.word);
    }
}

void MidiStream::giveBackAll() {
    std::deque<StreamHeader*> returned;
    MidiStreamClient* client;
    {
        std::lock_guard lock(mutex_);
        returned.swap(queue_);
        readOffset_ = 0;
        client = client_;
        for (auto* header : returned) {
            header->flags.store((header->flags.load() | HeaderDone) &
                                ~static_cast<std::uint32_t>(HeaderInQueue));
        }
    }
    if (client) {
        for (auto* header : returned) {
            client->packetDone(*header);
        }
    }
}

void MidiStream::advanceTo(Nanoseconds t) {
    if (!manual_) {
        return;
    }
    for (;;) {
        Pending pending;
        {
            std::lock_guard lock(mutex_);
            const auto due = dueTimeLocked();
            if (!due || *due > t) {
                break;
            }
            manual_->setNow(*due);
            if (!takeDue(clock_.now(), pending)) {
                break;
            }
        }
        deliver(pending);
    }
    manual_->setNow(t);
}

std::optional<Nanoseconds> MidiStream::nextDueTime() const {
    std::lock_guard lock(mutex_);
    return dueTimeLocked();
}

void MidiStream::timerLoop() {
    // Finished packets are reported once nothing else is due: the refill they cause then never
    // delays records that fall due at the same moment.
    std::vector<StreamHeader*> finished;
    std::unique_lock lock(mutex_);
    while (!quit_) {
        Pending pending;
        if (takeDue(clock_.now(), pending)) {
            if (pending.kind == Pending::Done) {
                finished.push_back(pending.header);
                continue;
            }
            lock.unlock();
            deliver(pending);
            lock.lock();
            continue;
        }
        if (!finished.empty()) {
            lock.unlock();
            reportDone(finished);
            lock.lock();
            continue;
        }
        const auto due = dueTimeLocked();
        if (due) {
            wake_.wait_for(lock, *due - clock_.now());
        } else {
            wake_.wait(lock);
        }
    }
    lock.unlock();
    reportDone(finished);
}

void MidiStream::reportDone(std::vector<StreamHeader*>& headers) {
    MidiStreamClient* client;
    {
        std::lock_guard lock(mutex_);
        client = client_;
    }
    for (auto* header : headers) {
        if (client) {
            client->packetDone(*header);
        }
    }
    headers.clear();
}

} // namespace reedtab
