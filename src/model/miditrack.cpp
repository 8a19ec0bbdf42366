#include "model/miditrack.h"

#include "model/midisong.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace reedtab {

MidiTrack::MidiTrack() = default;
MidiTrack::~MidiTrack() = default;

int MidiTrack::indexOf(const MidiEvent* event, bool fromBack) const {
    if (fromBack) {
        for (size_t i = events.size(); i-- > 0;)
            if (events[i].get() == event)
                return static_cast<int>(i);
        return -1;
    }
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].get() == event)
            return static_cast<int>(i);
    return -1;
}

MidiEvent* MidiTrack::append(std::unique_ptr<MidiEvent> event) {
    event->track = this;
    events.push_back(std::move(event));
    return events.back().get();
}

MidiEvent* MidiTrack::insert(size_t position, std::unique_ptr<MidiEvent> event) {
    event->track = this;
    position = std::min(position, events.size());
    auto it =
        events.insert(events.begin() + static_cast<std::ptrdiff_t>(position), std::move(event));
    return it->get();
}

std::unique_ptr<MidiEvent> MidiTrack::take(const MidiEvent* event) {
    int i = indexOf(event);
    if (i < 0)
        return nullptr;
    auto owned = std::move(events[static_cast<size_t>(i)]);
    events.erase(events.begin() + i);
    return owned;
}

void MidiTrack::reset() {
    name.clear();
    textCount = 0;
    lyricCount = 0;
    meterLevel = 0;
    index = 0;
    volumePercent = 100;
    flags = static_cast<uint16_t>((flags | TrackShown) & ~(TrackSelected | TrackMuted));
}

void MidiTrack::resetFull() {
    reset();
    events.clear();
    channels.clear();
}

void MidiTrack::addChannel(int channel) {
    auto c = static_cast<uint8_t>(channel & 0x0F);
    if (std::find(channels.begin(), channels.end(), c) == channels.end())
        channels.push_back(c);
}

namespace {

// Appends a formatted message while the report is below capacity - 50, never letting it grow
// past capacity - 1 characters (a message may be longer than the 50-character margin).
void appendReport(std::string* report, size_t capacity, const char* message) {
    if (!report || capacity < 50 || report->size() >= capacity - 50)
        return;
    report->append(message);
    if (report->size() > capacity - 1)
        report->resize(capacity - 1);
}

} // namespace

PairingCounts MidiTrack::pairNotes(std::string* report, size_t capacity, bool clearReport,
                                   MergedEventList* mergedList) {
    if (report && clearReport)
        report->clear();
    PairingCounts counts;

    // Stacks of sounding note-ons per channel and key, linked through one array (a vector per
    // key would cost thousands of allocations for every small track), and the on/off balance.
    // A popped slot goes on a free list and is taken again by the next note-on, so the array
    // holds only as many slots as notes ever sound at once, not one per note of the track.
    struct Sounding {
        size_t on;
        int32_t below;
    };
    std::vector<Sounding> sounding;
    int32_t freeSlot = -1;
    std::array<int32_t, 16 * 128> top;
    top.fill(-1);
    std::array<int16_t, 16 * 128> balance{};

    // Removal is deferred: events are marked while the passes run and dropped in one sweep at
    // the end, so that a large track costs linear time however many notes are broken.
    std::vector<uint8_t> doomed(events.size(), 0);
    // What the third pass removes is known as soon as a note-off is seen: a note that ends at
    // its own tick, or a note-off that closes nothing. Collecting them saves walking the
    // whole track once more. `on` is npos for a lone note-off.
    struct Suspect {
        size_t on;
        size_t off;
    };
    constexpr size_t npos = static_cast<size_t>(-1);
    std::vector<Suspect> suspects;
    int32_t lastDroppedOff = 0;
    char message[160];

    for (size_t i = 0; i < events.size(); ++i) {
        MidiEvent* e = events[i].get();
        int kind = e->kind();
        if (kind != KindNoteOn && kind != KindNoteOff)
            continue;
        // Links from an earlier pass may be stale after an edit; each event is reset when first
        // reached, before this pass can link anything to it.
        e->partner = nullptr;
        e->duration = 0;
        e->overlapMark = 0;
        size_t slot = static_cast<size_t>(e->channel()) * 128 + (e->data1 & 0x7F);
        if (kind == KindNoteOn && e->data2 > 0) {
            if (balance[slot] < 0) {
                std::snprintf(message, sizeof message,
                              " extra notes discarded chan %d note %d (%ld-%ld)", e->channel() + 1,
                              e->data1 & 0x7F, static_cast<long>(e->tick),
                              static_cast<long>(lastDroppedOff));
                appendReport(report, capacity, message);
                ++counts.discarded;
                doomed[i] = 1;
            } else {
                if (top[slot] >= 0) {
                    ++counts.overlapped;
                    e->overlapMark = 1;
                    events[sounding[static_cast<size_t>(top[slot])].on]->overlapMark = 1;
                }
                int32_t taken = freeSlot;
                if (taken >= 0) {
                    freeSlot = sounding[static_cast<size_t>(taken)].below;
                    sounding[static_cast<size_t>(taken)] = {i, top[slot]};
                } else {
                    taken = static_cast<int32_t>(sounding.size());
                    sounding.push_back({i, top[slot]});
                }
                top[slot] = taken;
            }
            ++balance[slot];
        } else {
            bool paired = top[slot] >= 0;
            if (paired) {
                int32_t popped = top[slot];
                Sounding& sounded = sounding[static_cast<size_t>(popped)];
                size_t onIndex = sounded.on;
                MidiEvent* on = events[onIndex].get();
                top[slot] = sounded.below;
                sounded.below = freeSlot;
                freeSlot = popped;
                on->duration = e->tick - on->tick;
                on->partner = e;
                e->partner = on;
                if (on->duration == 0)
                    suspects.push_back({onIndex, i});
            }
            --balance[slot];
            if (balance[slot] < 0) {
                lastDroppedOff = e->tick;
                doomed[i] = 1;
            } else if (!paired) {
                suspects.push_back({npos, i});
            }
        }
    }

    for (int channel = 0; channel < 16; ++channel) {
        for (int key = 0; key < 128; ++key) {
            int count = 0;
            for (int32_t k = top[static_cast<size_t>(channel) * 128 + key]; k >= 0;
                 k = sounding[static_cast<size_t>(k)].below) {
                doomed[sounding[static_cast<size_t>(k)].on] = 1;
                ++count;
            }
            if (count == 0)
                continue;
            counts.unfinished += count;
            std::snprintf(message, sizeof message, "\n chan %d note %d (x%d)", channel + 1, key,
                          count);
            appendReport(report, capacity, message);
        }
    }

    // Third pass: zero-length notes go with their note-off, lone note-offs alone.
    for (const Suspect& s : suspects) {
        if (s.on != npos) {
            doomed[s.on] = 1;
            doomed[s.off] = 1;
            counts.corrected += 2;
        } else {
            doomed[s.off] = 1;
            ++counts.corrected;
        }
    }

    if (std::find(doomed.begin(), doomed.end(), 1) == doomed.end())
        return counts;
    std::vector<std::unique_ptr<MidiEvent>> removed;
    size_t kept = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        if (doomed[i])
            removed.push_back(std::move(events[i]));
        else if (kept != i)
            events[kept++] = std::move(events[i]);
        else
            ++kept;
    }
    events.resize(kept);
    if (!removed.empty() && mergedList) {
        std::vector<const MidiEvent*> gone;
        gone.reserve(removed.size());
        for (const auto& e : removed)
            gone.push_back(e.get());
        std::sort(gone.begin(), gone.end());
        mergedList->removeIf([&gone](const MidiEvent* e) {
            return std::binary_search(gone.begin(), gone.end(), e);
        });
    }
    return counts;
}

} // namespace reedtab
