// Reading a Standard MIDI File into a MidiSong.

#include "model/hugepages.h"
#include "model/midisong.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace reedtab {

namespace {

constexpr int maxTracks = 128;
// Valid variable-length quantities stop at four bytes (28 bits). Longer runs of continuation
// bytes are still consumed; their value is held at the largest tick the model can store, so
// it never overflows (and a writer's five-byte delta for a very late event reads back).
constexpr int64_t maxVarLen = std::numeric_limits<int32_t>::max();

// The file as a byte stream with an end-of-file indicator, like the C stream the format was
// designed around, but over memory so that reading costs no system call per byte.
class ByteStream {
public:
    ByteStream(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

    size_t size() const { return size_; }
    size_t position() const { return pos_; }
    bool atEnd() const { return eof_; }
    size_t available() const { return pos_ < size_ ? size_ - pos_ : 0; }
    // Like fseek: seeking past the end succeeds and clears the end indicator; reading there
    // sets it again.
    void seek(size_t position) {
        pos_ = position;
        eof_ = false;
    }

    int readByte(int64_t* remaining) {
        if (remaining)
            --*remaining;
        if (pos_ >= size_) {
            eof_ = true;
            return -1;
        }
        return bytes_[pos_++];
    }

    int64_t readWord16(int64_t* remaining) {
        int hi = readByte(remaining);
        int lo = readByte(remaining);
        if (eof_)
            return -1;
        return (hi << 8) | lo;
    }

    int64_t readWord32(int64_t* remaining) {
        int64_t hi = readWord16(remaining);
        int64_t lo = readWord16(remaining);
        if (eof_)
            return -1;
        return (hi << 16) | lo;
    }

    int64_t readVarLen(int64_t* remaining) {
        int c = readByte(remaining);
        if (c < 0)
            return -1;
        int64_t value = c & 0x7F;
        while (c & 0x80) {
            c = readByte(remaining);
            if (c < 0)
                return -1;
            value = std::min((value << 7) | (c & 0x7F), maxVarLen);
        }
        return value;
    }

    // Copies `count` bytes; false (with the end indicator set) when the file ends first.
    bool readBytes(uint8_t* out, size_t count, int64_t* remaining) {
        if (remaining)
            *remaining -= static_cast<int64_t>(count);
        if (count > available()) {
            pos_ = size_;
            eof_ = true;
            return false;
        }
        if (count == 0)
            return true; // `out` may be null for an empty payload
        std::memcpy(out, bytes_ + pos_, count);
        pos_ += count;
        return true;
    }

private:
    const uint8_t* bytes_;
    size_t size_;
    size_t pos_ = 0;
    bool eof_ = false;
};

int dataBytesFor(int status) {
    switch (status >> 4) {
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xE:
        return 2;
    case 0xC:
    case 0xD:
        return 1;
    default:
        return 0;
    }
}

// Reports the percentage read only when it changes: a per-event callback would cost more
// than reading the event.
class ProgressReporter {
public:
    ProgressReporter(const LoadProgress& progress, size_t size)
        : progress_(progress), size_(size) {}

    void update(size_t position) {
        if (!progress_ || position < next_)
            return;
        int percent =
            size_ ? static_cast<int>(std::min<size_t>(position, size_) * 100 / size_) : 100;
        if (percent != last_) {
            last_ = percent;
            progress_(percent);
        }
        next_ = size_ ? (static_cast<size_t>(percent) + 1) * size_ / 100 : 0;
    }

    void finish() {
        if (progress_)
            progress_(100);
    }

private:
    const LoadProgress& progress_;
    size_t size_;
    size_t next_ = 0;
    int last_ = -1;
};

class Reader {
public:
    Reader(MidiSong& song, const uint8_t* bytes, size_t size, const LoadProgress& progress)
        : song_(song), in_(bytes, size), progress_(progress, size) {}

    LoadResult run();

private:
    enum class Chunk { Done, Truncated, Failed };

    int readHeader();
    Chunk readTrack();
    bool readEvent(int64_t& remaining);
    bool readChannelMessage(int status, int firstByte, int64_t& remaining);
    bool readMeta(int64_t& remaining);
    bool readSysEx(int64_t& remaining);
    bool readEscape(int64_t& remaining);
    void keepMeta(std::unique_ptr<MidiEvent> event);
    bool takeFingering(const uint8_t* payload, int64_t length);
    void attachFingerings();
    void finishTracks();
    void keep(MidiTrack* track, std::unique_ptr<MidiEvent> event);
    void buildMergedList();
    MidiTrack* newTrack();
    void finishFormat0();
    void addDefaultTimeSignature();
    LoadResult fail(const char* message);
    bool payloadFits(int64_t length, int64_t remaining);

    MidiSong& song_;
    ByteStream in_;
    ProgressReporter progress_;
    bool splitChannels_ = false; // format 0: one track per channel
    int declaredTracks_ = 0;
    MidiTrack* current_ = nullptr;
    // The file ended inside a message whose payload its chunk still had room for.
    bool cutShort_ = false;
    // Playable events in reading order, for the merged list of a file split per channel.
    EventRefs merged_;
    // Fingerings read, given to their notes once every track is in.
    struct Fingering {
        MidiTrack* track;
        int32_t tick;
        uint8_t channel;
        uint8_t key;
        uint16_t value;
    };
    std::vector<Fingering> fingerings_;
    // Tracks of a file not split per channel that are read, paired and keyed for the merge.
    size_t finishedTracks_ = 0;
    // For the merge of such tracks: the tick of each event of each track, `unlisted` for an
    // event that stays out of the merged list, taken while the track was still in the cache;
    // `trackKeys_[t]` is where track t's keys begin, `listed_` counts the listed events.
    static constexpr uint32_t unlisted = ~uint32_t{0};
    std::vector<uint32_t, HugePageAllocator<uint32_t>> keys_;
    std::vector<size_t> trackKeys_;
    size_t listed_ = 0;

    // Per-track state.
    int64_t tick_ = 0;
    int runningStatus_ = 0;
    int channelTrack_[16] = {};
    bool sysexPending_ = false;
    std::vector<uint8_t> sysex_;
};

// A payload longer than the rest of the file is a cut file when its chunk had room for it, and
// damaged data otherwise; either way nothing is allocated for it.
bool Reader::payloadFits(int64_t length, int64_t remaining) {
    if (static_cast<uint64_t>(length) <= in_.available())
        return true;
    cutShort_ = length <= remaining;
    return false;
}

LoadResult Reader::fail(const char* message) {
    std::string text = message ? message : song_.errorText;
    song_.clear();
    song_.errorText = text;
    return LoadBadTrack;
}

MidiTrack* Reader::newTrack() {
    auto track = std::make_unique<MidiTrack>();
    track->index = static_cast<int32_t>(song_.tracks.size());
    song_.tracks.push_back(std::move(track));
    return song_.tracks.back().get();
}

void Reader::keep(MidiTrack* track, std::unique_ptr<MidiEvent> event) {
    event->tick = static_cast<int32_t>(tick_);
    bool listed = splitChannels_ && MergedEventList::belongs(event->kind());
    MidiEvent* kept = track->append(std::move(event));
    if (listed)
        merged_.push_back(kept);
}

void Reader::buildMergedList() {
    // The merged list is built once at the end: inserting into the middle of a large array for
    // every event would make reading quadratic. Its order is a stable sort of the reading order
    // by tick. One chunk split per channel was read in tick order, so that order is already
    // the list.
    if (splitChannels_) {
        song_.mergedEvents.assign(std::move(merged_));
        merged_ = {};
        return;
    }
    // Otherwise every track is one chunk in tick order, and merging the tracks (the earlier
    // track first on equal ticks) gives that stable sort without a copy of the whole list.
    // The merge is a tournament of the tracks' next events: each step costs one comparison per
    // level of a tree over the tracks, against keys that pack the tick above the track number,
    // so equal ticks come out in track order.
    auto& tracks = song_.tracks;
    constexpr uint64_t exhausted = ~uint64_t{0};
    size_t leaves = 1;
    while (leaves < tracks.size())
        leaves *= 2;
    std::vector<uint64_t> key(leaves, exhausted);
    std::vector<size_t> next(leaves, 0);
    trackKeys_.push_back(keys_.size());
    // The merge reads the keys and the event arrays of all tracks in turn, more streams than
    // the hardware foresees: each track's next keys and events are asked for ahead.
    constexpr size_t lookAhead = 16;
    auto advance = [&](size_t t) {
        const uint32_t* keys = keys_.data() + trackKeys_[t];
        const size_t end = trackKeys_[t + 1] - trackKeys_[t];
        size_t n = next[t];
        while (n < end && keys[n] == unlisted)
            ++n;
        next[t] = n;
        if (n + 2 * lookAhead < end)
            __builtin_prefetch(keys + n + 2 * lookAhead);
        if (n + lookAhead < end)
            __builtin_prefetch(tracks[t]->events.data() + n + lookAhead);
        key[t] = n < end ? uint64_t{keys[n]} << 32 | t : exhausted;
    };
    for (size_t t = 0; t < tracks.size(); ++t)
        advance(t);
    // loser[node] holds the leaf that lost the match at that node; the overall winner is
    // kept apart. Leaves sit below node 1 at positions leaves..2*leaves-1.
    std::vector<size_t> loser(leaves, 0);
    auto play = [&](size_t from) {
        size_t winner = from;
        uint64_t winnerKey = key[from];
        for (size_t node = (from + leaves) / 2; node >= 1; node /= 2) {
            size_t other = loser[node];
            uint64_t otherKey = key[other];
            // All ones when the other side wins; the exchange is done with it, since a
            // conditional here is compiled into a jump that the keys make unforeseeable.
            const uint64_t swap = uint64_t{0} - uint64_t{otherKey < winnerKey};
            const size_t exchange = (other ^ winner) & swap;
            loser[node] = other ^ exchange;
            winner ^= exchange;
            winnerKey ^= (otherKey ^ winnerKey) & swap;
        }
        return winner;
    };
    // Building: every node first holds the winner of its subtree, then the matches are played
    // bottom-up, each node keeping its loser.
    std::vector<size_t> best(2 * leaves);
    for (size_t leaf = 0; leaf < leaves; ++leaf)
        best[leaves + leaf] = leaf;
    for (size_t node = leaves - 1; node >= 1; --node) {
        size_t a = best[2 * node], b = best[2 * node + 1];
        bool aWins = key[a] <= key[b];
        best[node] = aWins ? a : b;
        loser[node] = aWins ? b : a;
    }
    size_t winner = best[1];
    EventRefs list;
    list.reserve(listed_);
    while (key[winner] != exhausted) {
        list.push_back(tracks[winner]->events[next[winner]++].get());
        advance(winner);
        winner = play(winner);
    }
    song_.mergedEvents.assign(std::move(list));
}

int Reader::readHeader() {
    uint8_t tag[4];
    bool bad = !in_.readBytes(tag, 4, nullptr) || std::memcmp(tag, "MThd", 4) != 0;
    int64_t headerLength = in_.readWord32(nullptr);
    bad = bad || headerLength < 0;
    size_t afterLength = in_.position();
    int64_t format = in_.readWord16(nullptr);
    int64_t tracks = in_.readWord16(nullptr);
    int64_t division = in_.readWord16(nullptr);
    bad = bad || format < 0 || tracks < 0 || division < 0 || format > 1 || (division & 0x8000);
    if (bad)
        return LoadBadHeader;
    song_.format = static_cast<int16_t>(format);
    song_.division = static_cast<int16_t>(division);
    if (format == 0 && tracks < 2) {
        splitChannels_ = true;
        newTrack();
    }
    declaredTracks_ = static_cast<int>(std::min<int64_t>(tracks, maxTracks));
    in_.seek(afterLength + static_cast<size_t>(headerLength));
    return LoadOk;
}

Reader::Chunk Reader::readTrack() {
    tick_ = 0;
    runningStatus_ = 0;
    sysexPending_ = false;
    sysex_.clear();
    std::fill(std::begin(channelTrack_), std::end(channelTrack_), -1);

    uint8_t tag[4];
    bool bad = !in_.readBytes(tag, 4, nullptr) || std::memcmp(tag, "MTrk", 4) != 0;
    int64_t remaining = in_.readWord32(nullptr);
    if (bad || remaining < 0)
        return in_.atEnd() ? Chunk::Truncated : Chunk::Failed;

    size_t start = in_.position();
    int64_t length = remaining;
    if (!splitChannels_) {
        current_ = newTrack();
        // A dense track with running status takes three to four bytes per event; growing the
        // array from empty would copy it a dozen times. The first three quarters, which even a
        // less dense track mostly fills, are mapped in before it is read.
        auto& events = current_->events;
        events.reserve(std::min<size_t>(static_cast<size_t>(length), in_.available()) / 3);
        const size_t bytes = events.capacity() * sizeof events[0];
        adviseHugePages(events.data(), bytes);
        if (bytes < kHugePageBytes)
            prefaultPages(events.data(), bytes / 4 * 3);
    } else {
        current_ = song_.tracks.front().get();
    }

    while (remaining > 0) {
        progress_.update(in_.position());
        int64_t delta = in_.readVarLen(&remaining);
        if (delta < 0) {
            song_.truncated = true;
            return Chunk::Truncated;
        }
        tick_ = std::min<int64_t>(tick_ + delta, std::numeric_limits<int32_t>::max());
        if (tick_ > song_.length)
            song_.length = static_cast<int32_t>(tick_);
        if (!readEvent(remaining)) {
            // A file cut inside a message keeps every message before it, as one cut inside a
            // delta time does; the message itself was not kept.
            if (!in_.atEnd() && !cutShort_)
                return Chunk::Failed;
            song_.truncated = true;
            return Chunk::Truncated;
        }
    }
    in_.seek(start + static_cast<size_t>(length));
    return Chunk::Done;
}

bool Reader::readEvent(int64_t& remaining) {
    int byte = in_.readByte(&remaining);
    if (byte < 0)
        return false;
    if (sysexPending_ && byte != 0xF7) {
        song_.errorText = "Bad file - expected continuation of system exclusive";
        return false;
    }
    int status = byte;
    int firstByte = -1;
    if (!(byte & 0x80)) {
        status = runningStatus_;
        firstByte = byte;
    }
    if (dataBytesFor(status) > 0)
        return readChannelMessage(status, firstByte, remaining);
    switch (status) {
    case 0xFF:
        return readMeta(remaining);
    case 0xF0:
        return readSysEx(remaining);
    case 0xF7:
        return readEscape(remaining);
    case 0:
        return true; // a data byte without running status: skipped
    default:
        return false;
    }
}

bool Reader::readChannelMessage(int status, int firstByte, int64_t& remaining) {
    runningStatus_ = status;
    int data1 = firstByte >= 0 ? firstByte : in_.readByte(&remaining);
    int data2 = dataBytesFor(status) == 2 ? in_.readByte(&remaining) : 0;
    if (data1 < 0 || data2 < 0)
        return false;
    auto event = makeChannelEvent(static_cast<uint8_t>(status), static_cast<uint8_t>(data1),
                                  static_cast<uint8_t>(data2));
    int channel = status & 0x0F;
    MidiTrack* target = current_;
    if (splitChannels_) {
        if (channelTrack_[channel] < 0) {
            MidiTrack* track = newTrack();
            track->channels.push_back(static_cast<uint8_t>(channel));
            channelTrack_[channel] = static_cast<int>(song_.tracks.size()) - 1;
        }
        target = song_.tracks[static_cast<size_t>(channelTrack_[channel])].get();
    } else if (channelTrack_[channel] < 0) {
        auto& channels = current_->channels;
        auto at = std::upper_bound(channels.begin(), channels.end(), channel);
        channels.insert(at, static_cast<uint8_t>(channel));
        channelTrack_[channel] = 1;
    }
    keep(target, std::move(event));
    return true;
}

bool Reader::readMeta(int64_t& remaining) {
    int type = in_.readByte(&remaining);
    if (type < 0)
        return false;
    int64_t length = in_.readVarLen(&remaining);
    if (length < 0 || !payloadFits(length, remaining))
        return false;
    auto buffer = std::make_unique<uint8_t[]>(static_cast<size_t>(length) + 1);
    if (!in_.readBytes(buffer.get(), static_cast<size_t>(length), &remaining))
        return false;
    buffer[static_cast<size_t>(length)] = 0;
    if (type == MetaSequencerSpecific && takeFingering(buffer.get(), length))
        return true;
    auto event = makeMetaEvent(static_cast<uint8_t>(type), nullptr, 0);
    event->adoptData(std::move(buffer), static_cast<uint32_t>(length));
    keepMeta(std::move(event));
    return true;
}

// Our own fingering events become a field of their note; any other sequencer-specific event
// is kept as it is.
bool Reader::takeFingering(const uint8_t* payload, int64_t length) {
    if (length != kFingeringLength ||
        std::memcmp(payload, kFingeringTag, sizeof(kFingeringTag)) != 0)
        return false;
    const uint8_t* p = payload + sizeof(kFingeringTag);
    if (p[0] < 16 && p[1] < 128)
        fingerings_.push_back({current_, static_cast<int32_t>(tick_), p[0], p[1],
                               static_cast<uint16_t>(p[2] << 8 | p[3])});
    return true;
}

// A fingering whose note is not where it says (the note was moved or changed pitch by another
// program) is dropped.
void Reader::attachFingerings() {
    for (const Fingering& f : fingerings_) {
        MidiTrack* track = f.track;
        if (splitChannels_) {
            const int index = channelTrack_[f.channel];
            track = index >= 0 && static_cast<size_t>(index) < song_.tracks.size()
                        ? song_.tracks[static_cast<size_t>(index)].get()
                        : nullptr;
        }
        if (!track)
            continue;
        auto& events = track->events;
        auto at = std::lower_bound(events.begin(), events.end(), f.tick,
                                   [](const auto& e, int32_t tick) { return e->tick < tick; });
        for (; at != events.end() && (*at)->tick == f.tick; ++at) {
            MidiEvent& e = **at;
            if (e.isNoteOn() && e.channel() == f.channel && e.data1 == f.key) {
                e.fingering = f.value;
                break;
            }
        }
    }
    fingerings_.clear();
}

void Reader::finishTracks() {
    // Each track is paired and keyed as soon as it is read, while its events are in the cache.
    attachFingerings();
    for (; finishedTracks_ < song_.tracks.size(); ++finishedTracks_) {
        MidiTrack& track = *song_.tracks[finishedTracks_];
        song_.repairTrack(track);
        trackKeys_.push_back(keys_.size());
        for (const auto& e : track.events) {
            const bool listed = MergedEventList::belongs(e->kind());
            keys_.push_back(listed ? static_cast<uint32_t>(e->tick) : unlisted);
            listed_ += listed;
        }
    }
}

void Reader::keepMeta(std::unique_ptr<MidiEvent> event) {
    switch (event->kind()) {
    case KindText:
        ++current_->textCount;
        break;
    case KindLyric:
        ++current_->lyricCount;
        break;
    case KindTempo:
        song_.tempoList.push_back(static_cast<TempoEvent*>(event.get()));
        break;
    case KindTimeSignature:
        song_.timeSignatureList.push_back(static_cast<TimeSignatureEvent*>(event.get()));
        break;
    case KindKeySignature: {
        auto* key = static_cast<KeySignatureEvent*>(event.get());
        song_.keyName = std::string(keyName(key->sharpsFlats())) + (key->isMinor() ? "m" : "");
        break;
    }
    case KindTrackName:
        if (!current_->name.empty()) {
            // Several names in one chunk merge into the first name event.
            std::string combined = current_->name + " - " + event->text();
            int index = song_.trackIndexOf(current_);
            song_.setTrackName(index, combined);
            return;
        }
        current_->name = event->text();
        break;
    default:
        break;
    }
    keep(current_, std::move(event));
}

bool Reader::readSysEx(int64_t& remaining) {
    int64_t length = in_.readVarLen(&remaining);
    if (length < 0 || !payloadFits(length, remaining))
        return false;
    sysex_.assign(static_cast<size_t>(length) + 1, 0);
    sysex_[0] = 0xF0;
    if (!in_.readBytes(sysex_.data() + 1, static_cast<size_t>(length), &remaining))
        return false;
    if (length > 0 && sysex_.back() == 0xF7) {
        keep(current_, makeSysExEvent(sysex_.data(), static_cast<uint32_t>(sysex_.size())));
        sysex_.clear();
    } else {
        sysexPending_ = true;
    }
    return true;
}

bool Reader::readEscape(int64_t& remaining) {
    int64_t length = in_.readVarLen(&remaining);
    if (length < 0 || !payloadFits(length, remaining))
        return false;
    size_t count = static_cast<size_t>(length);
    if (!sysexPending_) {
        std::vector<uint8_t> packet(count);
        if (!in_.readBytes(packet.data(), count, &remaining))
            return false;
        auto event = std::make_unique<StrangeSysExEvent>();
        event->setData(packet.data(), static_cast<uint32_t>(count));
        keep(current_, std::move(event));
        return true;
    }
    size_t old = sysex_.size();
    sysex_.resize(old + count);
    if (!in_.readBytes(sysex_.data() + old, count, &remaining))
        return false;
    if (count > 0 && sysex_.back() == 0xF7) {
        keep(current_, makeSysExEvent(sysex_.data(), static_cast<uint32_t>(sysex_.size())));
        sysex_.clear();
        sysexPending_ = false;
    }
    return true;
}

void Reader::finishFormat0() {
    song_.format = 1;
    std::erase_if(song_.tracks, [](const std::unique_ptr<MidiTrack>& t) { return t->empty(); });
    for (auto& track : song_.tracks) {
        MidiEvent* last = track->last();
        if (last->kind() != KindEndOfTrack) {
            auto end = makeEndOfTrackEvent();
            end->tick = last->tick;
            song_.mergedEvents.insert(track->append(std::move(end)));
        }
        for (auto& e : track->events)
            e->track = track.get();
    }
}

void Reader::addDefaultTimeSignature() {
    auto& list = song_.timeSignatureList;
    if (!list.empty() && list.front()->tick == 0)
        return;
    MidiTrack* first = song_.tracks.front().get();
    auto ts = makeTimeSignatureEvent(4, 4, 24, 8);
    size_t at = first->events.size();
    for (size_t i = 0; i < first->events.size(); ++i) {
        const MidiEvent* e = first->events[i].get();
        int k = e->kind();
        if (e->tick != 0 || k == KindEndOfTrack || k == KindKeySignature || k == KindTempo ||
            e->isChannelEvent()) {
            at = i;
            break;
        }
    }
    auto* added = static_cast<TimeSignatureEvent*>(first->insert(at, std::move(ts)));
    list.insert(list.begin(), added);
}

LoadResult Reader::run() {
    song_.loading = true;
    if (readHeader() != LoadOk) {
        song_.clear();
        return LoadBadHeader;
    }
    // Playable events take three to four bytes each in a dense file.
    if (splitChannels_)
        merged_.reserve(in_.size() / 3);
    else
        keys_.reserve(in_.size() / 3);
    for (int i = 0; i < declaredTracks_; ++i) {
        song_.currentTrack = static_cast<int16_t>(i);
        Chunk chunk = readTrack();
        if (chunk == Chunk::Failed)
            return fail(nullptr);
        if (!splitChannels_)
            finishTracks();
        if (chunk == Chunk::Truncated) {
            // Every later chunk header fails the same way at the end of the file.
            song_.truncated = true;
            break;
        }
    }
    progress_.finish();
    // Pairing first leaves nothing for it to take out of the merged list again, except in a
    // file split per channel, whose list keeps the reading order of the one chunk.
    if (splitChannels_) {
        attachFingerings();
        buildMergedList();
        song_.repairAllTracks();
    } else {
        buildMergedList();
    }
    if (song_.format == 0)
        finishFormat0();
    // After the format-0 ends of track, which may lie past the last playable event (a track of
    // meta events only), so that the length is that of the merged list as it stands.
    song_.length = song_.mergedEvents.empty() ? 0 : song_.mergedEvents.back()->tick;
    if (song_.tracks.empty()) {
        // A file without track data still gives the editor a first track to work in.
        MidiTrack* track = newTrack();
        auto end = makeEndOfTrackEvent();
        song_.mergedEvents.insert(track->append(std::move(end)));
    }
    addDefaultTimeSignature();
    song_.rebuildBars();
    song_.loading = false;
    return LoadOk;
}

} // namespace

const char* loadResultText(int result) {
    switch (result) {
    case LoadOk:
        return "";
    case LoadCannotOpen:
        return "cannot open the file";
    case LoadBadHeader:
        return "not a Standard MIDI File (bad header)";
    default:
        return "bad track data";
    }
}

LoadResult MidiSong::loadMemory(const void* bytes, size_t size, const LoadProgress& progress) {
    std::string keptPath = path;
    clear();
    path = keptPath;
    Reader reader(*this, static_cast<const uint8_t*>(bytes), size, progress);
    return reader.run();
}

LoadResult MidiSong::loadFile(const std::string& filePath, const LoadProgress& progress) {
    clear();
    loading = true;
    path = filePath;
    std::FILE* file = std::fopen(filePath.c_str(), "rb");
    if (!file) {
        errorText = std::strerror(errno);
        loading = false;
        return LoadCannotOpen;
    }
    // One read into a buffer of the file's size; a file that grows meanwhile is read on.
    std::vector<uint8_t, HugePageAllocator<uint8_t>> bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        long size = std::ftell(file);
        std::rewind(file);
        if (size > 0) {
            bytes.resize(static_cast<size_t>(size));
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        }
    }
    uint8_t block[1 << 16];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    bool failed = std::ferror(file) != 0;
    const int readError = errno;
    std::fclose(file);
    if (failed) {
        errorText = std::strerror(readError);
        loading = false;
        return LoadCannotOpen;
    }
    return loadMemory(bytes.data(), bytes.size(), progress);
}

} // namespace reedtab
