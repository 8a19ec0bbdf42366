#include "playback/streamplayer.h"

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace reedtab {

namespace {

constexpr std::uint32_t kBlockBytes = StreamPlayer::kPacketCount * StreamPlayer::kPacketBytes;
constexpr std::uint32_t kEndOfSongFlag = 1;
constexpr std::uint32_t kMarkerType = (kStreamNop | kStreamCallbackFlag) << 24;
constexpr std::uint32_t kTempoType = kStreamTempo << 24;
constexpr std::uint32_t kLongType = kStreamLongFlag << 24;

// The timer thread runs the stream's reports; a stop that runs inside one of them must not
// wait for its own report to finish.
thread_local int reportDepth = 0;

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void putWord(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

bool isProgramChange(const MidiEvent& event) {
    return (event.status & 0xF0) == 0xC0;
}

bool isExpression(const MidiEvent& event) {
    return (event.status & 0xF0) == 0xB0 && event.data1 == 11;
}

bool soundingNoteOn(const MidiEvent& event) {
    return (event.status & 0xF0) == 0x90 && event.data2 > 0;
}

} // namespace

struct StreamPlayer::Impl {
    struct Buffer {
        StreamHeader header;
        bool prepared = false;
    };

    Impl(OutputProvider& outputs, Clock& clock) : outputs(outputs), stream(clock) {
        for (auto& value : expression) {
            value = 127;
        }
    }

    OutputProvider& outputs;
    MidiStream stream;
    MidiSong* song = nullptr;
    PlayerWindow* window = nullptr;

    std::atomic<PlayerState> state{PlayerState::Closed};
    std::unique_ptr<std::uint8_t[]> block;
    std::array<Buffer, kPacketCount> buffers;

    // Fill state: written by whichever thread holds `filling` (or by start before the stream
    // runs); the stream's lock and the atomics below order the hand-overs.
    std::atomic<int> fillTick{0};
    std::atomic<int> eventCursor{0};
    int pendingDelta = 0;
    int clockStep = 15;
    int sixteenth = 90;
    int fillSpan = 45;
    std::atomic<bool> endReached{false};
    std::atomic<bool> deviceFailed{false};
    bool firstPacket = false;
    bool loopWrapped = false;
    // Song tempo at the loop start, restored in the stream after every wrap.
    int wrapTempo = 500000;
    // What the player plays by; each fill takes a copy under the lock, so that a fill sees
    // one value whole while the GUI thread sets the next.
    mutable std::mutex paramsMutex;
    PlaybackParams params;
    // The percentage sounding now: set with the parameters, raised by the trainer at a wrap.
    std::atomic<int> tempoPercent{100};
    std::atomic<int> trainerPass{0};
    int deviceIndex = -1;
    std::vector<const MidiEvent*> reStrike;
    std::unique_ptr<NoteOnEvent> metronomeOn;
    std::unique_ptr<NoteOffEvent> metronomeOff;

    std::atomic<int> queued{0};
    std::atomic<int> nextDone{0};
    std::atomic<int> pendingPositionMessages{0};
    std::atomic<int> offset{0};
    std::atomic<int> playTick{0};
    std::atomic<int> lastShownTick{0};
    std::atomic<int> shownEventIndex{-1};
    std::array<std::atomic<int>, 16> expression;
    std::atomic<bool> filling{false};
    // Set while a position report reads the song on the timer thread.
    std::atomic<bool> readingSong{false};
    std::atomic<int> reportsRunning{0};
    std::atomic<std::thread::id> stoppingThread{};

    mutable std::mutex debugMutex;
    std::string debugText;

    PlaybackParams current() const {
        std::lock_guard lock(paramsMutex);
        return params;
    }
    static int division(const PlaybackParams& params) { return std::max(1, params.division); }
    int eventCount() const { return song ? song->mergedEvents.count() : 0; }

    void debug(const std::string& text) {
        std::lock_guard lock(debugMutex);
        debugText = text;
    }

    void send(std::uint32_t packed) {
        if (stream.isOpen()) {
            stream.shortMessage(packed);
        }
    }

    // --- packet writing ---------------------------------------------------------------

    bool fits(const Buffer& buffer, std::uint32_t bytes) const {
        return buffer.header.bytesRecorded + bytes < kPacketBytes;
    }

    void put(Buffer& buffer, std::uint32_t delta, std::uint32_t word) {
        std::uint8_t* p = buffer.header.data + buffer.header.bytesRecorded;
        putWord(p, delta);
        putWord(p + 4, 0);
        putWord(p + 8, word);
        buffer.header.bytesRecorded += kStreamRecordSize;
    }

    bool writeMarker(Buffer& buffer, std::uint32_t value) {
        if (!fits(buffer, kStreamRecordSize)) {
            return false;
        }
        put(buffer, static_cast<std::uint32_t>(std::max(pendingDelta, 0)),
            kMarkerType | (value & 0xFFFFFF));
        pendingDelta = 0;
        return true;
    }

    void writeTempo(Buffer& buffer, std::uint32_t microsecondsPerQuarter) {
        if (!fits(buffer, kStreamRecordSize)) {
            return;
        }
        const std::uint32_t scaled =
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(microsecondsPerQuarter) * 100 /
                                       std::max(1, tempoPercent.load()));
        put(buffer, static_cast<std::uint32_t>(pendingDelta), kTempoType | (scaled & 0xFFFFFF));
        pendingDelta = 0;
    }

    void writeRaw(Buffer& buffer, std::uint32_t packed) {
        if (fits(buffer, kStreamRecordSize)) {
            put(buffer, static_cast<std::uint32_t>(pendingDelta), packed & 0xFFFFFF);
        }
        pendingDelta = 0;
    }

    // The short-message writer: filters, mute, volume and expression, then the record.
    int writeShort(Buffer& buffer, const MidiEvent& event, const PlaybackOptions& options) {
        if (isProgramChange(event) && options.skipProgramChanges) {
            return -1;
        }
        const bool noteOn = soundingNoteOn(event);
        if (noteOn && event.track && (event.track->flags.load() & TrackMuted)) {
            return -1;
        }
        int data2 = event.data2 & 0xFF;
        if (noteOn && event.track) {
            // Integer arithmetic gives the exact truncation of velocity * factor.
            long long velocity = static_cast<long long>(data2) * event.track->volumePercent.load();
            long long divisor = 100;
            if (options.expressionToVolume) {
                velocity *= expression[event.status & 0x0F].load();
                divisor *= 127;
            }
            data2 = static_cast<int>(std::min<long long>(velocity / divisor, 127));
        }
        const std::uint32_t packed = (event.status & 0xFFu) | (event.data1 & 0xFFu) << 8 |
                                     static_cast<std::uint32_t>(data2 & 0xFF) << 16;
        const bool written = fits(buffer, kStreamRecordSize);
        if (written) {
            put(buffer, static_cast<std::uint32_t>(pendingDelta), packed);
        }
        pendingDelta = 0;
        return written ? 0 : -1;
    }

    void writeLong(Buffer& buffer, const MidiEvent& event) {
        const std::uint32_t length = event.dataLength;
        const std::uint32_t padded = (length + 3) & ~3u;
        if (!event.data || length == 0 || !fits(buffer, kStreamRecordSize + padded)) {
            return;
        }
        put(buffer, static_cast<std::uint32_t>(pendingDelta), kLongType | (length & 0xFFFFFF));
        std::uint8_t* p = buffer.header.data + buffer.header.bytesRecorded;
        std::memcpy(p, event.data.get(), length);
        std::memset(p + length, 0, padded - length);
        buffer.header.bytesRecorded += padded;
        pendingDelta = 0;
    }

    void emptyPacket(Buffer& buffer) {
        buffer.header.bytesRecorded = 0;
        std::memset(buffer.header.data, 0, kPacketBytes);
    }

    void queuePacket(Buffer& buffer) {
        buffer.header.flags.fetch_and(~static_cast<std::uint32_t>(HeaderDone));
        if (!buffer.prepared) {
            const int result = stream.prepareHeader(buffer.header);
            if (result != StreamOk) {
                debug(MidiStream::errorText(result));
            }
            buffer.prepared = true;
        }
        // Counted before it is handed over: the timer thread may report it done at once.
        queued.fetch_add(1);
        const int result = stream.queue(buffer.header);
        if (result != StreamOk) {
            queued.fetch_sub(1);
            debug(MidiStream::errorText(result));
        }
    }

    // --- the fills --------------------------------------------------------------------

    void countInPacket(Buffer& buffer, int beat, int clicks, const PlaybackOptions& options) {
        emptyPacket(buffer);
        const int a = std::max(beat, 1);
        const int b = fillTick.load() % a;
        pendingDelta = b < a / 2 ? a - b : 2 * a - b;
        for (int i = 0; i < clicks; ++i) {
            writeShort(buffer, *metronomeOn, options);
            pendingDelta = a / 8;
            writeShort(buffer, *metronomeOff, options);
            pendingDelta = a - a / 8;
        }
        pendingDelta += b < a / 2 ? b : b - a;
        buffer.header.userFlags = 0;
        queuePacket(buffer);
    }

    void addReStrikes(int beforeTick, int& cursor) {
        const auto& events = song->mergedEvents;
        const int count = events.count();
        cursor = 0;
        while (cursor < count && events[cursor]->tick < beforeTick) {
            const MidiEvent& event = *events[cursor];
            if ((event.kind() & KindFamilyChannel) && soundingNoteOn(event) && event.partner &&
                event.partner->tick > beforeTick) {
                reStrike.push_back(&event);
            }
            ++cursor;
        }
    }

    bool normalFill(Buffer& buffer) {
        if (filling.exchange(true)) {
            return false;
        }
        if (state.load() != PlayerState::Playing) {
            filling.store(false);
            return endReached.load();
        }
        const PlaybackParams s = current();
        const PlaybackOptions& options = s.options;
        const auto& events = song->mergedEvents;
        const int count = events.count();
        const int div = division(s);
        int tick = fillTick.load();
        int cursor = eventCursor.load();
        const int target = tick + fillSpan;
        emptyPacket(buffer);
        if (options.clockOut && firstPacket) {
            writeRaw(buffer, 0xFA);
        }
        do {
            if (options.clockOut && tick % clockStep == 0) {
                writeRaw(buffer, 0xF8);
            }
            if (tick % sixteenth == 0) {
                writeMarker(buffer, kPositionTickFlag + static_cast<std::uint32_t>(tick));
            }
            if (loopWrapped) {
                for (std::uint32_t channel = 0; channel < 16; ++channel) {
                    writeRaw(buffer, 0xB0 | channel | 123u << 8);
                    writeRaw(buffer, 0xB0 | channel | 122u << 8);
                }
                // A tempo change inside the loop must not carry over into the next pass, and
                // the trainer's new percentage starts exactly with it.
                writeTempo(buffer, static_cast<std::uint32_t>(wrapTempo));
                loopWrapped = false;
            }
            if (!reStrike.empty()) {
                for (const MidiEvent* note : reStrike) {
                    writeShort(buffer, *note, options);
                }
                reStrike.clear();
            }
            firstPacket = false;
            bool markerWritten = false;
            const int loopEnd = s.loopEnd;
            while (cursor < count && events[cursor]->tick == tick &&
                   (loopEnd == -1 || tick < loopEnd)) {
                const MidiEvent& event = *events[cursor];
                const int kind = event.kind();
                const auto index = static_cast<std::uint32_t>(cursor);
                if (kind & KindFamilyChannel) {
                    const bool isExpr = options.expressionToVolume && isExpression(event);
                    if ((!markerWritten || isExpr) && writeMarker(buffer, index)) {
                        markerWritten = true;
                    }
                    if (!isExpr) {
                        writeShort(buffer, event, options);
                    }
                } else if (kind & KindFamilySysEx) {
                    if (!markerWritten && writeMarker(buffer, index)) {
                        markerWritten = true;
                    }
                    if (kind == KindSysEx) {
                        writeLong(buffer, event);
                    }
                } else if (kind == KindTempo) {
                    if (!markerWritten) {
                        writeMarker(buffer, index);
                    }
                    writeTempo(buffer, static_cast<std::uint32_t>(event.value()));
                } else if (kind == KindText || kind == KindLyric) {
                    if (!markerWritten) {
                        writeMarker(buffer, index);
                    }
                }
                ++cursor;
            }
            const int toClock = clockStep - tick % clockStep;
            int step;
            if (cursor < count) {
                const int next = events[cursor]->tick;
                step = toClock < next - tick ? toClock : next - tick;
            } else {
                // A loop whose end lies past the last event keeps counting ticks to its end.
                if (loopEnd == -1 || s.loopBegin == -1) {
                    endReached.store(true);
                }
                step = toClock;
            }
            if (options.metronome) {
                if (tick % div == 0) {
                    writeShort(buffer, *metronomeOn, options);
                } else if ((tick - sixteenth) % div == 0) {
                    writeShort(buffer, *metronomeOff, options);
                }
            }
            pendingDelta += step;
            tick += step;
            if (loopEnd != -1 && tick >= loopEnd) {
                const int loopStart = s.loopBegin;
                if (loopStart == -1) {
                    endReached.store(true);
                    break;
                }
                // The stream tick that song tick `tick` falls on now belongs to loopStart.
                // (Asking the stream for its position here would be early by the packets
                // still queued ahead of the sound.)
                offset.fetch_add(tick - loopStart);
                tick = loopStart;
                addReStrikes(loopStart, cursor);
                wrapTempo = song->tempoAt(loopStart);
                if (s.trainer.active()) {
                    tempoPercent.store(s.trainer.percentFor(trainerPass.fetch_add(1) + 1));
                }
                loopWrapped = true;
                break;
            }
        } while (tick < target);
        fillTick.store(tick);
        eventCursor.store(cursor);
        buffer.header.userFlags = endReached.load() ? kEndOfSongFlag : 0;
        queuePacket(buffer);
        filling.store(false);
        return endReached.load();
    }

    std::uint32_t streamTicksNow() const {
        return state.load() == PlayerState::Playing ? stream.positionTicks() : 0;
    }
};

StreamPlayer::StreamPlayer(OutputProvider& outputs, Clock& clock)
    : impl_(std::make_unique<Impl>(outputs, clock)) {}

StreamPlayer::~StreamPlayer() {
    shutdown();
}

PlayerResult StreamPlayer::init(MidiSong* song, PlayerWindow* window) {
    Impl& p = *impl_;
    p.song = song;
    p.window = window;
    if (!p.stream.isOpen()) {
        p.state.store(PlayerState::Closed);
    }
    p.fillTick.store(0);
    p.eventCursor.store(0);
    if (p.outputs.outputCount() <= 0) {
        return PlayerNoDevice;
    }
    if (!p.block) {
        p.block.reset(new (std::nothrow) std::uint8_t[kBlockBytes]());
        if (!p.block) {
            return PlayerOpenFailed;
        }
        for (int i = 0; i < kPacketCount; ++i) {
            auto& header = p.buffers[i].header;
            header.data = p.block.get() + i * kPacketBytes;
            header.bufferLength = kPacketBytes;
            header.bytesRecorded = 0;
            header.userFlags = 0;
            p.buffers[i].prepared = false;
        }
    }
    p.metronomeOn = std::make_unique<NoteOnEvent>();
    p.metronomeOn->status = 0x99;
    p.metronomeOn->data1 = 60;
    p.metronomeOn->data2 = 64;
    p.metronomeOff = std::make_unique<NoteOffEvent>();
    p.metronomeOff->status = 0x89;
    p.metronomeOff->data1 = 60;
    p.metronomeOff->data2 = 0;
    p.reStrike.clear();
    return PlayerOk;
}

void StreamPlayer::shutdown() {
    if (impl_->state.load() == PlayerState::Playing) {
        stop(false);
    }
    closeDevice();
    impl_->block.reset();
    for (auto& buffer : impl_->buffers) {
        buffer.header.data = nullptr;
        buffer.header.bufferLength = 0;
        buffer.prepared = false;
    }
    impl_->metronomeOn.reset();
    impl_->metronomeOff.reset();
}

PlayerResult StreamPlayer::openDevice() {
    Impl& p = *impl_;
    const int devices = p.outputs.deviceCount();
    if (p.deviceIndex != -1 && !(p.deviceIndex < devices)) {
        p.deviceIndex = -1;
    }
    if (p.state.load() != PlayerState::Closed) {
        return PlayerAlreadyOpen;
    }
    const int index = p.deviceIndex;
    auto probe = p.outputs.create(index);
    if (!probe || probe->open() != DeviceOk) {
        return PlayerDeviceError;
    }
    probe->close();
    probe.reset();
    if (p.stream.open(p.outputs.create(index), this) != StreamOk) {
        p.stream.close();
        return PlayerDeviceError;
    }
    p.state.store(PlayerState::Idle);
    p.queued.store(0);
    return PlayerOk;
}

void StreamPlayer::closeDevice() {
    Impl& p = *impl_;
    if (p.state.load() != PlayerState::Closed) {
        p.stream.close();
    }
    for (int i = 0; i < 10000 && p.state.load() != PlayerState::Closed; ++i) {
        sleepMs(10);
    }
}

PlayerState StreamPlayer::state() const {
    return impl_->state.load();
}

bool StreamPlayer::isPlaying() const {
    return impl_->state.load() == PlayerState::Playing;
}

bool StreamPlayer::deviceReady() const {
    return impl_->outputs.isReady(impl_->deviceIndex);
}

PlayerResult StreamPlayer::start(int tick, bool countIn) {
    Impl& p = *impl_;
    // A stop running on the timer thread (end of song) must finish before a new run starts.
    for (int i = 0; i < 2000 && p.state.load() == PlayerState::Stopping &&
                    p.stoppingThread.load() != std::this_thread::get_id();
         ++i) {
        sleepMs(1);
    }
    const PlayerState current = p.state.load();
    if (current == PlayerState::Playing || current == PlayerState::Suspended) {
        return PlayerAlreadyPlaying;
    }
    if (!p.song || !p.block) {
        return PlayerOpenFailed;
    }
    if (current != PlayerState::Closed && p.deviceFailed.load()) {
        closeDevice();
    }
    p.deviceFailed.store(false);
    if (p.state.load() != PlayerState::Closed) {
        p.stream.reset();
    } else if (openDevice() != PlayerOk) {
        return PlayerOpenFailed;
    }
    const PlaybackParams s = p.current();
    const PlaybackOptions& options = s.options;
    const auto& events = p.song->mergedEvents;
    const int count = events.count();
    p.state.store(PlayerState::Playing);
    p.endReached.store(false);
    for (auto& value : p.expression) {
        value.store(127);
    }
    p.reStrike.clear();
    p.firstPacket = true;
    p.loopWrapped = false;
    p.shownEventIndex.store(-1);
    const int from = tick < 0 ? 0 : tick;
    p.fillTick.store(from);
    p.playTick.store(from);
    p.lastShownTick.store(from);
    if (from > p.song->length && !options.editMode) {
        p.state.store(PlayerState::Idle);
        return PlayerStartAfterEnd;
    }
    if (count == 0) {
        p.state.store(PlayerState::Idle);
        return PlayerOk;
    }

    int tempo = s.baseTempo;
    int cursor = 0;
    while (cursor < count && events[cursor]->tick < from) {
        const MidiEvent& event = *events[cursor];
        const int kind = event.kind();
        if (kind & KindFamilyChannel) {
            if (isProgramChange(event) && options.skipProgramChanges) {
                // filtered
            } else if (isExpression(event) && options.expressionToVolume) {
                setChannelExpression(event.status & 0x0F, event.data2);
            } else if (event.isNoteOff()) {
                // nothing sounds from before the start
            } else if (event.isNoteOn()) {
                if (event.partner && event.partner->tick > from) {
                    p.reStrike.push_back(&event);
                }
            } else {
                p.send((event.status & 0xFFu) | (event.data1 & 0xFFu) << 8 |
                       (event.data2 & 0xFFu) << 16);
            }
        } else if (kind == KindTempo) {
            tempo = event.value();
        }
        ++cursor;
    }
    p.eventCursor.store(cursor);
    if (cursor >= count && !options.editMode) {
        stop(true);
        return PlayerOk;
    }

    // The owner takes the tempo in force from this message as its base tempo.
    if (p.window) {
        p.window->postMessage(WM_PLAYER_TEMPO, 0, tempo);
    }
    const int div = Impl::division(s);
    p.clockStep = std::max(div / 24, 1);
    p.sixteenth = std::max(div / 4, 1);
    p.fillSpan = std::max(div / 8, 1);
    p.pendingDelta = 0;
    p.stream.setTimeDivision(div);
    p.stream.setTempo(static_cast<std::uint32_t>(static_cast<std::int64_t>(std::max(tempo, 1)) *
                                                 100 / std::max(1, p.tempoPercent.load())));
    p.shownEventIndex.store(std::max(std::min(cursor, count - 1), 0));
    p.playTick.store(from);
    p.offset.store(static_cast<int>(streamTicks()) - from);

    int beat = div;
    int clicks = 0;
    if (countIn) {
        const TimeSignature signature = p.song->timeSignatureAt(from);
        const int denominator = std::max(signature.denominator, 1);
        beat = std::max(div * 4 / denominator, 1);
        clicks = signature.numerator;
        p.offset.fetch_add(beat * (clicks + 1));
    }
    for (int i = 0; i < kPacketCount; ++i) {
        if (i == 0 && countIn) {
            p.countInPacket(p.buffers[0], beat, clicks, options);
        } else if (p.normalFill(p.buffers[i])) {
            break;
        }
    }
    p.nextDone.store(0);
    p.stream.restart();
    return PlayerOk;
}

void StreamPlayer::stop(bool notify) {
    Impl& p = *impl_;
    const auto self = std::this_thread::get_id();
    PlayerState expected = PlayerState::Playing;
    if (!p.state.compare_exchange_strong(expected, PlayerState::Stopping)) {
        // Another thread's stop is under way: let it finish, so that the caller may change
        // the song once this returns.
        for (int i = 0;
             i < 2000 && p.state.load() == PlayerState::Stopping && p.stoppingThread.load() != self;
             ++i) {
            sleepMs(1);
        }
        silenceAll();
        return;
    }
    p.stoppingThread.store(self);
    p.stream.stop();
    if (p.current().options.clockOut) {
        sendStop();
    }
    silenceAll();
    p.stream.reset();
    const int ownReports = reportDepth > 0 ? 1 : 0;
    for (int round = 0; round < 200; ++round) {
        if (p.pendingPositionMessages.load() <= 0 && p.queued.load() <= 0 && !p.filling.load() &&
            p.reportsRunning.load() <= ownReports) {
            break;
        }
        if (p.window && p.window->dispatchPendingMessage()) {
            continue;
        }
        if (p.window && p.window->isQuitting()) {
            break;
        }
        sleepMs(1);
    }
    // A refill that was under way when the stream stopped may have queued its packet since.
    p.stream.stop();
    p.pendingPositionMessages.store(0);
    p.queued.store(0);
    for (auto& buffer : p.buffers) {
        if (buffer.prepared) {
            p.stream.unprepareHeader(buffer.header);
            buffer.prepared = false;
        }
    }
    p.stoppingThread.store(std::thread::id{});
    p.state.store(PlayerState::Idle);
    p.shownEventIndex.store(-1);
    if (notify && p.window) {
        p.window->postMessage(WM_PLAYER_STOPPED, p.deviceFailed.load() ? PlayerDeviceError : 0, 0);
    }
}

int StreamPlayer::seek(int tick) {
    Impl& p = *impl_;
    if (tick == -1) {
        return p.fillTick.load();
    }
    const bool wasPlaying = isPlaying();
    if (wasPlaying) {
        stop(false);
    }
    p.fillTick.store(tick);
    p.playTick.store(tick);
    p.lastShownTick.store(tick);
    p.shownEventIndex.store(-1);
    if (wasPlaying) {
        // A restart that fails leaves the player idle, which its state already tells the
        // caller; seeking itself succeeded.
        static_cast<void>(start(tick, false));
    }
    return p.fillTick.load();
}

std::uint32_t StreamPlayer::streamTicks() const {
    return impl_->streamTicksNow();
}

void StreamPlayer::suspend() {
    Impl& p = *impl_;
    PlayerState expected = PlayerState::Playing;
    if (!p.state.compare_exchange_strong(expected, PlayerState::Suspended))
        return;
    // A fill or a report that saw Playing just before may still be reading the song; the
    // caller changes it as soon as this returns. Found by the player stress test.
    for (int i = 0; i < 2000 && (p.filling.load() || p.readingSong.load()); ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void StreamPlayer::resume() {
    PlayerState expected = PlayerState::Suspended;
    impl_->state.compare_exchange_strong(expected, PlayerState::Playing);
}

void StreamPlayer::setOutputDevice(int index) {
    impl_->deviceIndex = index;
}

int StreamPlayer::outputDevice() const {
    return impl_->deviceIndex;
}

void StreamPlayer::setParams(const PlaybackParams& params) {
    Impl& p = *impl_;
    PlaybackParams next = params;
    // A percentage below 1 would divide by zero and stall the stream.
    next.tempoPercent = std::max(next.tempoPercent, 1);
    int percent = 0;
    {
        std::lock_guard lock(p.paramsMutex);
        const bool newTrainer = !(next.trainer == p.params.trainer);
        const bool newPercent = next.tempoPercent != p.params.tempoPercent;
        p.params = next;
        if (newTrainer) {
            p.trainerPass.store(0);
        }
        if (!newTrainer && !newPercent) {
            return;
        }
        percent = newTrainer && next.trainer.active() ? next.trainer.start : next.tempoPercent;
    }
    p.tempoPercent.store(percent);
    if (p.state.load() != PlayerState::Closed) {
        p.stream.setTempo(static_cast<std::uint32_t>(
            static_cast<std::int64_t>(std::max(next.baseTempo, 1)) * 100 / percent));
    }
}

PlaybackParams StreamPlayer::params() const {
    return impl_->current();
}

int StreamPlayer::tempoPercent() const {
    return impl_->tempoPercent.load();
}

int StreamPlayer::trainerPass() const {
    return impl_->trainerPass.load();
}

void StreamPlayer::resetChannels() {
    const bool skipPrograms = impl_->current().options.skipProgramChanges;
    for (int channel = 0; channel < 16; ++channel) {
        static constexpr int controllers[][2] = {{123, 0}, {120, 0}, {121, 127}, {100, 0}, {101, 0},
                                                 {6, 2},   {38, 0},  {0, 0},     {32, 0}};
        for (const auto& controller : controllers) {
            sendShort(0xB0, channel, controller[0], controller[1]);
        }
        if (!skipPrograms) {
            programChange(channel, channel == 0 ? 23 : 0);
        }
        pitchWheel(channel, 0, 64);
    }
}

void StreamPlayer::silenceAll() {
    for (int channel = 0; channel < 16; ++channel) {
        sendShort(0xB0, channel, 123, 0);
        sendShort(0xB0, channel, 120, 0);
    }
}

void StreamPlayer::setChannelExpression(int channel, int value) {
    const int clamped = value < 0 ? 0 : value > 126 ? 127 : value;
    if (channel < 0 || channel > 15) {
        for (auto& expression : impl_->expression) {
            expression.store(clamped);
        }
        return;
    }
    impl_->expression[channel].store(clamped);
}

int StreamPlayer::channelExpression(int channel) const {
    return channel >= 0 && channel < 16 ? impl_->expression[channel].load() : 0;
}

void StreamPlayer::sendShort(int status, int channel, int data1, int data2) {
    impl_->send(
        ((static_cast<std::uint32_t>(status) | static_cast<std::uint32_t>(channel)) & 0xFF) |
        (static_cast<std::uint32_t>(data1) & 0xFF) << 8 |
        (static_cast<std::uint32_t>(data2) & 0xFF) << 16);
}

void StreamPlayer::noteOn(int channel, int key, int velocity) {
    sendShort(0x90, channel, key, velocity);
}

void StreamPlayer::noteOff(int channel, int key, int velocity) {
    sendShort(0x80, channel, key, velocity);
}

void StreamPlayer::programChange(int channel, int program) {
    sendShort(0xC0, channel, program, 0);
}

void StreamPlayer::pitchWheel(int channel, int lsb, int msb) {
    sendShort(0xE0, channel, lsb, msb);
}

void StreamPlayer::sendStop() {
    impl_->send(0xFC);
}

int StreamPlayer::playTick() const {
    return impl_->playTick.load();
}
void StreamPlayer::setPlayTick(int tick) {
    impl_->playTick.store(tick);
}
int StreamPlayer::lastShownTick() const {
    return impl_->lastShownTick.load();
}
void StreamPlayer::setLastShownTick(int tick) {
    impl_->lastShownTick.store(tick);
}
int StreamPlayer::shownEventIndex() const {
    return impl_->shownEventIndex.load();
}
void StreamPlayer::setShownEventIndex(int index) {
    impl_->shownEventIndex.store(index);
}
int StreamPlayer::eventCursor() const {
    return impl_->eventCursor.load();
}
void StreamPlayer::setEventCursor(int index) {
    impl_->eventCursor.store(index);
}
int StreamPlayer::fillTick() const {
    return impl_->fillTick.load();
}
int StreamPlayer::offset() const {
    return impl_->offset.load();
}

int StreamPlayer::pendingPositionMessages() const {
    return impl_->pendingPositionMessages.load();
}

bool StreamPlayer::positionMessageHandled() {
    int pending = impl_->pendingPositionMessages.load();
    while (pending > 0) {
        if (impl_->pendingPositionMessages.compare_exchange_weak(pending, pending - 1)) {
            return true;
        }
    }
    return false;
}

MidiStream& StreamPlayer::stream() {
    return impl_->stream;
}

std::string StreamPlayer::lastDebugText() const {
    std::lock_guard lock(impl_->debugMutex);
    return impl_->debugText;
}

void StreamPlayer::packetDone(StreamHeader& header) {
    Impl& p = *impl_;
    ++reportDepth;
    p.reportsRunning.fetch_add(1);
    const int remaining = p.queued.fetch_sub(1) - 1;
    int index = p.nextDone.load();
    for (int i = 0; i < kPacketCount && &p.buffers[index].header != &header; ++i) {
        index = (index + 1) % kPacketCount;
    }
    const PlaybackParams s = p.current();
    const bool endMark = (header.userFlags & kEndOfSongFlag) != 0;
    if (endMark && !(s.options.editMode && s.loopEnd == -1)) {
        if (remaining == 0) {
            // An insert under way must finish before the song's end is acted upon.
            for (int i = 0; i < 500 && p.state.load() == PlayerState::Suspended; ++i) {
                sleepMs(10);
            }
            stop(true);
        }
    } else {
        for (int i = 0; i < 500 && p.state.load() == PlayerState::Suspended; ++i) {
            sleepMs(10);
        }
        if (p.state.load() == PlayerState::Playing) {
            p.normalFill(p.buffers[index]);
        }
    }
    p.nextDone.store((index + 1) % kPacketCount);
    p.reportsRunning.fetch_sub(1);
    --reportDepth;
}

void StreamPlayer::deviceFailed() {
    Impl& p = *impl_;
    if (p.state.load() != PlayerState::Playing || p.deviceFailed.exchange(true)) {
        return;
    }
    ++reportDepth;
    p.reportsRunning.fetch_add(1);
    stop(true);
    p.reportsRunning.fetch_sub(1);
    --reportDepth;
}

void StreamPlayer::markerReached(std::uint32_t eventWord) {
    Impl& p = *impl_;
    if ((eventWord >> 24 & 0x3F) != kStreamNop) {
        return;
    }
    // Raised before the state is read, so that `suspend` either stops this report here or
    // waits until it has finished with the song.
    p.readingSong.store(true);
    if (p.state.load() != PlayerState::Playing) {
        p.readingSong.store(false);
        return;
    }
    ++reportDepth;
    p.reportsRunning.fetch_add(1);
    const std::uint32_t value = eventWord & 0xFFFFFF;
    p.pendingPositionMessages.fetch_add(1);
    if (p.window) {
        p.window->postMessage(WM_PLAYER_POSITION, kPlayerPositionWParam,
                              static_cast<std::intptr_t>(value));
    }
    if (p.current().options.expressionToVolume && !(value & kPositionTickFlag) && p.song &&
        static_cast<int>(value) < p.eventCount()) {
        const MidiEvent& event = *p.song->mergedEvents[value];
        if ((event.kind() & KindFamilyChannel) && isExpression(event)) {
            setChannelExpression(event.status & 0x0F, event.data2);
        }
    }
    p.readingSong.store(false);
    p.reportsRunning.fetch_sub(1);
    --reportDepth;
}

void StreamPlayer::streamClosed() {
    impl_->state.store(PlayerState::Closed);
}

} // namespace reedtab
