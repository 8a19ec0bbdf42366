#include "model/midisong.h"

#include "model/midiconstants.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace reedtab {

namespace {

// Positions count bars in an int; only time signatures out of order, each restarting the
// count far back, could pass it.
constexpr int64_t maxBars = std::numeric_limits<int32_t>::max() - 1;

int powerOfTwoOrZero(int exponent) {
    return exponent >= 0 && exponent < 31 ? 1 << exponent : 0;
}

int signedDataByte(const MidiEvent* e, uint32_t i) {
    return e->data && i < e->dataLength ? static_cast<int8_t>(e->data[i]) : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// MergedEventList

bool MergedEventList::belongs(int kind) {
    return (kind & (KindFamilyChannel | KindFamilySysEx)) != 0 || kind == KindEndOfTrack ||
           kind == KindText || kind == KindLyric || kind == KindTempo;
}

int MergedEventList::insert(MidiEvent* event) {
    if (!belongs(event->kind()))
        return -1;
    if (entries_.size() == entries_.capacity())
        entries_.reserve(entries_.size() + 1000);
    if (entries_.empty()) {
        entries_.push_back(event);
        insertCursor_ = 0;
        return 0;
    }
    if (insertCursor_ >= entries_.size() || event->tick < entries_[insertCursor_]->tick)
        insertCursor_ = 0;
    while (insertCursor_ < entries_.size() && entries_[insertCursor_]->tick <= event->tick)
        ++insertCursor_;
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(insertCursor_), event);
    return static_cast<int>(insertCursor_);
}

void MergedEventList::remove(const MidiEvent* event) {
    size_t count = entries_.size();
    if (count == 0)
        return;
    removeCursor_ %= count;
    size_t step = event->tick < entries_[removeCursor_]->tick ? count - 1 : 1;
    for (size_t visited = 0; visited < count; ++visited) {
        if (entries_[removeCursor_] == event) {
            entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(removeCursor_));
            return;
        }
        removeCursor_ = (removeCursor_ + step) % count;
    }
}

int MergedEventList::indexOf(const MidiEvent* event) const {
    auto it = std::find(entries_.begin(), entries_.end(), event);
    return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

int MergedEventList::lowerBound(int32_t tick) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), tick,
                               [](const MidiEvent* e, int32_t t) { return e->tick < t; });
    return static_cast<int>(it - entries_.begin());
}

void MergedEventList::clear() {
    entries_.clear();
    entries_.shrink_to_fit();
    insertCursor_ = 0;
    removeCursor_ = 0;
}

void MergedEventList::appendUnsorted(MidiEvent* event) {
    if (!belongs(event->kind()))
        return;
    if (entries_.size() == entries_.capacity())
        entries_.reserve(entries_.size() + std::max<size_t>(1000, entries_.size() / 2));
    entries_.push_back(event);
}

void MergedEventList::sortByTick() {
    insertCursor_ = 0;
    removeCursor_ = 0;
    // The reader appends track after track, each in tick order, so the list is a few sorted
    // runs: merge them pairwise (stable, the earlier run first on equal ticks) on a copy that
    // carries the ticks, so no comparison has to reach into an event.
    struct Entry {
        int32_t tick;
        MidiEvent* event;
    };
    std::vector<Entry> a(entries_.size());
    std::vector<size_t> runs{0};
    for (size_t i = 0; i < entries_.size(); ++i) {
        a[i] = {entries_[i]->tick, entries_[i]};
        if (i > 0 && a[i].tick < a[i - 1].tick)
            runs.push_back(i);
    }
    if (runs.size() == 1)
        return;
    runs.push_back(entries_.size());
    std::vector<Entry> b(entries_.size());
    auto byTick = [](const Entry& x, const Entry& y) { return x.tick < y.tick; };
    while (runs.size() > 2) {
        std::vector<size_t> merged{0};
        for (size_t r = 0; r + 1 < runs.size(); r += 2) {
            size_t begin = runs[r], middle = runs[r + 1];
            size_t end = r + 2 < runs.size() ? runs[r + 2] : middle;
            std::merge(a.begin() + static_cast<std::ptrdiff_t>(begin),
                       a.begin() + static_cast<std::ptrdiff_t>(middle),
                       a.begin() + static_cast<std::ptrdiff_t>(middle),
                       a.begin() + static_cast<std::ptrdiff_t>(end),
                       b.begin() + static_cast<std::ptrdiff_t>(begin), byTick);
            merged.push_back(end);
        }
        if (merged.back() != runs.back())
            merged.push_back(runs.back());
        runs = std::move(merged);
        std::swap(a, b);
    }
    for (size_t i = 0; i < entries_.size(); ++i)
        entries_[i] = a[i].event;
}

void MergedEventList::assign(EventRefs events) {
    entries_ = std::move(events);
    insertCursor_ = 0;
    removeCursor_ = 0;
}

void MergedEventList::removeIf(const std::function<bool(const MidiEvent*)>& drop) {
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), drop), entries_.end());
    if (insertCursor_ >= entries_.size())
        insertCursor_ = 0;
}

// ---------------------------------------------------------------------------------------------
// BarTable

size_t BarTable::runOf(size_t bar) const {
    auto it = std::upper_bound(runs_.begin(), runs_.end(), static_cast<int64_t>(bar),
                               [](int64_t b, const Run& run) { return b < run.firstBar; });
    return static_cast<size_t>(it - runs_.begin()) - 1;
}

BarEntry BarTable::operator[](size_t bar) const {
    const Run& run = runs_[runOf(bar)];
    int64_t start = run.startTick + (static_cast<int64_t>(bar) - run.firstBar) * run.barLength;
    return {static_cast<int32_t>(start), run.timeSignatureIndex};
}

int64_t BarTable::indexAt(int32_t tick) const {
    auto it = std::upper_bound(suffixMin_.begin(), suffixMin_.end(), tick);
    if (it == suffixMin_.begin())
        return -1;
    const Run& run = runs_[static_cast<size_t>(it - suffixMin_.begin()) - 1];
    size_t next = static_cast<size_t>(it - suffixMin_.begin());
    int64_t count =
        (next < runs_.size() ? runs_[next].firstBar : static_cast<int64_t>(bars_)) - run.firstBar;
    // Every later run starts after `tick`, so this run, which starts at or before it, holds
    // the bar.
    int64_t within = std::min<int64_t>((int64_t{tick} - run.startTick) / run.barLength, count - 1);
    return run.firstBar + within;
}

void BarTable::clear() {
    runs_.clear();
    suffixMin_.clear();
    bars_ = 0;
}

int64_t BarTable::append(int32_t startTick, int32_t barLength, int64_t count,
                         int16_t timeSignatureIndex) {
    runs_.push_back({static_cast<int64_t>(bars_), startTick, barLength, timeSignatureIndex});
    bars_ += static_cast<size_t>(count);
    suffixMin_.push_back(startTick);
    for (size_t k = suffixMin_.size() - 1; k-- > 0 && suffixMin_[k] > startTick;)
        suffixMin_[k] = startTick;
    return startTick + count * int64_t{barLength};
}

// ---------------------------------------------------------------------------------------------
// Positions

std::string formatBarBeatTick(const BarBeatTick& position) {
    char text[48];
    std::snprintf(text, sizeof text, "%03d:%02d:%03d", position.bar, position.beat, position.tick);
    return text;
}

// ---------------------------------------------------------------------------------------------
// MidiSong

MidiSong::MidiSong() = default;

MidiSong::~MidiSong() {
    // The indexes refer into the tracks; drop them first so nothing dangles during teardown.
    mergedEvents.clear();
    tempoList.clear();
    timeSignatureList.clear();
}

void MidiSong::clear() {
    mergedEvents.clear();
    tempoList.clear();
    timeSignatureList.clear();
    barTable.clear();
    tracks.clear();
    errorText.clear();
    keyName.assign(1, 'C');
    format = 0;
    division = 0;
    length = 0;
    currentTrack = 0;
    discardedCount = correctedCount = unfinishedCount = overlappedCount = 0;
    pairingReport.clear();
    loading = false;
    truncated = false;
    tempoCursor_.store(0, std::memory_order_relaxed);
}

void MidiSong::swap(MidiSong& other) {
    using std::swap;
    swap(path, other.path);
    swap(keyName, other.keyName);
    swap(discardedCount, other.discardedCount);
    swap(correctedCount, other.correctedCount);
    swap(unfinishedCount, other.unfinishedCount);
    swap(overlappedCount, other.overlappedCount);
    swap(pairingReport, other.pairingReport);
    swap(loading, other.loading);
    swap(length, other.length);
    swap(currentTrack, other.currentTrack);
    swap(errorText, other.errorText);
    swap(format, other.format);
    swap(division, other.division);
    swap(mergedEvents, other.mergedEvents);
    swap(tracks, other.tracks);
    swap(tempoList, other.tempoList);
    swap(timeSignatureList, other.timeSignatureList);
    swap(barTable, other.barTable);
    swap(truncated, other.truncated);
    // Only a hint into the tempo list, which changed on both sides.
    tempoCursor_.store(0, std::memory_order_relaxed);
    other.tempoCursor_.store(0, std::memory_order_relaxed);
}

void MidiSong::repairAllTracks() {
    discardedCount = correctedCount = unfinishedCount = overlappedCount = 0;
    pairingReport.clear();
    for (auto& track : tracks)
        repairTrack(*track);
}

void MidiSong::repairTrack(MidiTrack& track) {
    PairingCounts counts =
        track.pairNotes(&pairingReport, pairingReportCapacity, false, &mergedEvents);
    discardedCount += counts.discarded;
    correctedCount += counts.corrected;
    unfinishedCount += counts.unfinished;
    overlappedCount += counts.overlapped;
}

int32_t MidiSong::tempoAt(int32_t tick) const {
    if (tempoList.empty() || tick < tempoList.front()->tick)
        return 500000;
    size_t i = tempoCursor_.load(std::memory_order_relaxed);
    if (i >= tempoList.size() || tempoList[i]->tick >= tick)
        i = 0;
    while (i + 1 < tempoList.size() && tempoList[i + 1]->tick < tick)
        ++i;
    tempoCursor_.store(i, std::memory_order_relaxed);
    return tempoList[i]->value();
}

double MidiSong::microsecondsAt(int32_t tick) const {
    const double ticksPerQuarter = std::max<int>(division, 1);
    double micros = 0.0;
    int32_t at = 0;
    int32_t tempo = 500000;
    for (const TempoEvent* change : tempoList) {
        if (change->tick >= tick)
            break;
        micros += (change->tick - at) * static_cast<double>(tempo) / ticksPerQuarter;
        at = change->tick;
        if (change->value() > 0)
            tempo = change->value();
    }
    return micros + (tick - at) * static_cast<double>(tempo) / ticksPerQuarter;
}

TimeSignature MidiSong::timeSignatureAt(int32_t tick) const {
    if (timeSignatureList.empty())
        return {};
    size_t i = 0;
    while (i + 1 < timeSignatureList.size() && timeSignatureList[i + 1]->tick <= tick)
        ++i;
    const TimeSignatureEvent* ts = timeSignatureList[i];
    return {signedDataByte(ts, 0), powerOfTwoOrZero(signedDataByte(ts, 1))};
}

void MidiSong::rebuildBars() {
    barTable.clear();
    int64_t t = 0;
    size_t i = 0;
    while (t < length && i < timeSignatureList.size() &&
           static_cast<int64_t>(barTable.size()) < maxBars) {
        const TimeSignatureEvent* ts = timeSignatureList[i];
        int64_t denominator = powerOfTwoOrZero(signedDataByte(ts, 1));
        int64_t bar =
            denominator > 0 ? int64_t{division} * signedDataByte(ts, 0) * 4 / denominator : 0;
        // A zero or negative bar (numerator 0, division 0) would never reach the song's end.
        if (bar <= 0)
            bar = std::max<int64_t>(division, 1) * 4;
        bar = std::min<int64_t>(bar, std::numeric_limits<int32_t>::max());
        // Bars follow each other until the song ends or the next signature's tick is reached;
        // the first is always there, even when that signature lies earlier.
        bool hasNext = i + 1 < timeSignatureList.size();
        int64_t limit =
            hasNext ? std::min<int64_t>(length, timeSignatureList[i + 1]->tick) : length;
        int64_t count = limit > t ? (limit - t + bar - 1) / bar : 1;
        count = std::clamp<int64_t>(count, 1, maxBars - static_cast<int64_t>(barTable.size()));
        t = barTable.append(static_cast<int32_t>(t), static_cast<int32_t>(bar), count,
                            static_cast<int16_t>(i));
        if (hasNext && t >= timeSignatureList[i + 1]->tick) {
            t = timeSignatureList[i + 1]->tick;
            ++i;
        }
    }
}

BarBeatTick MidiSong::tickToBarBeatTick(int32_t tick) const {
    if (tick < 0 || tick > length)
        return {0, 0, 0, -1};
    int64_t found = barTable.indexAt(tick);
    if (found < 0)
        return {1, 1, 0, 0};
    int div = std::max<int>(division, 1);
    int32_t offset = tick - barTable[static_cast<size_t>(found)].startTick;
    return {static_cast<int>(found) + 1, offset / div + 1, offset % div, 0};
}

int32_t MidiSong::barBeatTickToTick(int bar, int beat, int tick) const {
    bar = std::max(bar - 1, 0);
    beat = std::max(beat - 1, 0);
    if (static_cast<size_t>(bar) >= barTable.size() || length == 0)
        return 0;
    int64_t t = int64_t{beat} * division + barTable[static_cast<size_t>(bar)].startTick + tick;
    return static_cast<int32_t>(std::min<int64_t>(t, length - 1));
}

MidiTrack* MidiSong::track(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= tracks.size())
        return nullptr;
    return tracks[static_cast<size_t>(index)].get();
}

int MidiSong::trackIndexOf(const MidiTrack* t) const {
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].get() == t)
            return static_cast<int>(i);
    return -1;
}

int MidiSong::moveTrack(int from, int to) {
    if (!track(from) || !track(to))
        return -1;
    if (from == to)
        return 0;
    auto first = tracks.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    std::unordered_map<const MidiTrack*, size_t> position;
    for (size_t i = 0; i < tracks.size(); ++i)
        position[tracks[i].get()] = i;
    EventRefs list(mergedEvents.begin(), mergedEvents.end());
    std::stable_sort(list.begin(), list.end(), [&position](const MidiEvent* a, const MidiEvent* b) {
        return a->tick != b->tick ? a->tick < b->tick
                                  : position.at(a->track) < position.at(b->track);
    });
    mergedEvents.assign(std::move(list));
    return 0;
}

void MidiSong::insertTempo(TempoEvent* tempo) {
    auto it = std::find_if(tempoList.begin(), tempoList.end(),
                           [tempo](const TempoEvent* e) { return e->tick > tempo->tick; });
    tempoList.insert(it, tempo);
}

void MidiSong::removeFromIndexLists(const MidiEvent* event) {
    if (event->kind() == KindTempo)
        std::erase(tempoList, event);
    else if (event->kind() == KindTimeSignature)
        std::erase(timeSignatureList, event);
}

int MidiSong::addEvent(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event) {
    MidiTrack* t = track(trackIndex);
    if (!t || !event)
        return -1;
    int kind = event->kind();
    size_t position = t->events.size();
    for (size_t i = 0; i < t->events.size(); ++i) {
        const MidiEvent* e = t->events[i].get();
        if (e->kind() == KindEndOfTrack || tick < e->tick ||
            (tick == e->tick && (e->kind() < kind || kind == KindTrackName))) {
            position = i;
            break;
        }
    }
    event->tick = tick;
    MidiEvent* added = t->insert(position, std::move(event));
    int merged = mergedEvents.insert(added);
    if (tick > length) {
        length = tick;
        rebuildBars();
    }
    if (kind == KindTempo)
        insertTempo(static_cast<TempoEvent*>(added));
    if (added->isChannelEvent())
        t->addChannel(added->channel());
    return merged;
}

std::unique_ptr<MidiEvent> MidiSong::unlinkEvent(MidiEvent* event) {
    if (!event || !event->track)
        return nullptr;
    auto owned = event->track->take(event);
    if (!owned)
        return nullptr;
    mergedEvents.remove(event);
    if (event->kind() == KindTempo)
        std::erase(tempoList, event);
    return owned;
}

int MidiSong::deleteEvent(MidiEvent* event) {
    // An event this song does not hold is refused: taking its partner out would still change
    // the song, and the caller would count a deletion that never happened.
    if (!event || !event->track || trackIndexOf(event->track) < 0)
        return -1;
    MidiEvent* partner = event->partner;
    removeFromIndexLists(event);
    mergedEvents.remove(event);
    std::unique_ptr<MidiEvent> owned = event->track ? event->track->take(event) : nullptr;
    if (partner && partner != event) {
        partner->partner = nullptr;
        removeFromIndexLists(partner);
        mergedEvents.remove(partner);
        if (partner->track)
            partner->track->take(partner);
    }
    return 0;
}

void MidiSong::moveEvent(MidiEvent* event, int32_t newTick) {
    if (!event || newTick == event->tick)
        return;
    MidiTrack* t = event->track;
    int pos = t ? t->indexOf(event) : -1;
    if (pos >= 0) {
        auto& list = t->events;
        size_t p = static_cast<size_t>(pos);
        bool breaksOrder = (p > 0 && list[p - 1]->tick > newTick) ||
                           (p + 1 < list.size() && list[p + 1]->tick < newTick);
        if (breaksOrder) {
            auto owned = t->take(event);
            size_t i = std::min(p, list.empty() ? 0 : list.size() - 1);
            size_t at;
            if (!list.empty() && list[i]->tick > newTick) {
                size_t k = i + 1;
                while (k > 0 && list[k - 1]->tick > newTick)
                    --k;
                at = k;
            } else {
                // Never past the end of track: the track must still end with it.
                at = i;
                while (at < list.size() && list[at]->tick <= newTick &&
                       (list[at]->kind() != KindEndOfTrack || owned->kind() == KindEndOfTrack))
                    ++at;
            }
            t->insert(at, std::move(owned));
        }
    }
    if (mergedEvents.indexOf(event) >= 0) {
        mergedEvents.remove(event);
        event->tick = newTick;
        mergedEvents.insert(event);
    } else {
        event->tick = newTick;
    }
}

void MidiSong::shiftEventsLater(int32_t fromTick, int32_t delta) {
    for (MidiEvent* e : mergedEvents) {
        if (e->tick < fromTick)
            continue;
        if (e->partner && e->partner->tick < fromTick)
            continue;
        int kind = e->kind();
        if (e->tick == 0 && !(kind & KindFamilyChannel) && kind != KindText && kind != KindLyric)
            continue;
        e->tick += delta;
    }
}

void MidiSong::shiftEventsEarlier(int32_t fromTick, int32_t delta) {
    for (MidiEvent* e : mergedEvents)
        if (e->tick >= fromTick)
            e->tick -= delta;
}

TextEvent* MidiSong::addTextEvent(int trackIndex, int32_t tick, const std::string& text) {
    MidiTrack* t = track(trackIndex);
    if (!t)
        return nullptr;
    auto event = makeTextEvent(text);
    TextEvent* added = event.get();
    ++t->textCount;
    addEvent(tick, trackIndex, std::move(event));
    return added;
}

void MidiSong::setTrackName(int trackIndex, const std::string& name) {
    MidiTrack* t = track(trackIndex);
    if (!t)
        return;
    t->name = name;
    for (auto& e : t->events) {
        if (e->kind() == KindTrackName) {
            e->setData(name.c_str(), static_cast<uint32_t>(name.size() + 1));
            return;
        }
    }
    addEvent(0, trackIndex, makeTrackNameEvent(name));
}

int MidiSong::findFreeChannel() const {
    int used[16] = {};
    for (const auto& t : tracks)
        for (uint8_t c : t->channels)
            ++used[c & 0x0F];
    for (int c = 0; c < 16; ++c)
        if (c != kDrumChannel && used[c] == 0)
            return c;
    return 15;
}

int MidiSong::deleteTrack(int trackIndex) {
    if (tracks.size() <= 1)
        return -1;
    MidiTrack* t = track(trackIndex);
    if (!t)
        return -1;
    if (trackIndex != 0) {
        // Every event of the track leaves every index, time signatures too (they are not in the
        // merged list but would dangle in theirs once the track is freed).
        mergedEvents.removeIf([t](const MidiEvent* e) { return e->track == t; });
        std::erase_if(tempoList, [t](const TempoEvent* e) { return e->track == t; });
        std::erase_if(timeSignatureList,
                      [t](const TimeSignatureEvent* e) { return e->track == t; });
        tracks.erase(tracks.begin() + trackIndex);
        return 0;
    }
    // The first track keeps the song's framework (end of track, tempo, time and key
    // signatures); everything else in it is deleted so that it does not come back on saving.
    auto keeps = [](const MidiEvent* e) {
        int k = e->kind();
        return k == KindEndOfTrack || k == KindTempo || k == KindTimeSignature ||
               k == KindKeySignature || k == KindCopyright || k == KindMeta;
    };
    mergedEvents.removeIf([t, &keeps](const MidiEvent* e) { return e->track == t && !keeps(e); });
    std::erase_if(t->events,
                  [&keeps](const std::unique_ptr<MidiEvent>& e) { return !keeps(e.get()); });
    t->channels.clear();
    t->reset();
    return 0;
}

} // namespace reedtab
