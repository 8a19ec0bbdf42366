#include "document/songclip.h"

#include "document/songedits.h"
#include "model/midisong.h"
#include "model/trackwriter.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>

namespace reedtab {

namespace {

struct Placed {
    int32_t tick;
    const MidiEvent* event;
};

// The clip of the events placed on each track, `origin` becoming tick 0. Tracks after the last
// one with events are left out; those before it stay, empty, to keep the indexes.
std::string clipOf(const MidiSong& song, std::vector<std::vector<Placed>>& tracks, int32_t origin) {
    size_t used = tracks.size();
    while (used > 0 && tracks[used - 1].empty())
        --used;
    if (used == 0)
        return {};
    const std::unique_ptr<MidiEvent> end = makeEndOfTrackEvent();
    std::vector<std::string> chunks;
    for (size_t t = 0; t < used; ++t) {
        std::vector<Placed>& placed = tracks[t];
        std::stable_sort(placed.begin(), placed.end(),
                         [](const Placed& l, const Placed& r) { return l.tick < r.tick; });
        TrackWriter writer;
        int32_t last = 0;
        for (const Placed& p : placed) {
            last = p.tick - origin;
            writer.add(last, *p.event);
        }
        writer.add(last, *end);
        chunks.push_back(writer.take());
    }
    return smfFile(1, song.division, chunks);
}

} // namespace

std::string copyRange(const MidiSong& song, int32_t a, int32_t b) {
    std::vector<std::vector<Placed>> tracks(song.tracks.size());
    for (int i = 0; i < song.trackCount(); ++i) {
        if (!isTrackEditable(song, i))
            continue;
        std::vector<Placed>& placed = tracks[static_cast<size_t>(i)];
        for (const auto& owned : song.tracks[static_cast<size_t>(i)]->events) {
            const MidiEvent* event = owned.get();
            if (!inTickRange(event->tick, a, b) || keptByDelete(event->kind()))
                continue;
            const MidiEvent* partner = event->partner;
            // A note crossing a bound is copied as far as it lies inside, the part a cut takes.
            if (a != -1 && partner && partner->tick < a) {
                placed.push_back({a, partner});
                placed.push_back({event->tick, event});
            } else if (b != -1 && partner && partner->tick > b) {
                placed.push_back({event->tick, event});
                placed.push_back({b, partner});
            } else {
                placed.push_back({event->tick, event});
            }
        }
    }
    return clipOf(song, tracks, a == -1 ? 0 : a);
}

std::string copyNotes(const MidiSong& song, const std::vector<MidiEvent*>& notes) {
    std::vector<MidiEvent*> unique = notes;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    std::vector<std::vector<Placed>> tracks(song.tracks.size());
    int32_t origin = std::numeric_limits<int32_t>::max();
    for (const MidiEvent* note : unique) {
        if (!note || !note->isNoteOn() || !note->partner)
            continue;
        const int track = song.trackIndexOf(note->track);
        if (track < 0)
            continue;
        tracks[static_cast<size_t>(track)].push_back({note->tick, note});
        tracks[static_cast<size_t>(track)].push_back({note->partner->tick, note->partner});
        origin = std::min(origin, note->tick);
    }
    return clipOf(song, tracks, origin);
}

int pasteClip(MidiSong& song, const std::string& clip, int32_t at, int* skippedTracks) {
    MidiSong read;
    if (clip.empty() || at < 0 || song.division <= 0 ||
        read.loadMemory(clip.data(), clip.size()) != LoadOk || read.division <= 0)
        return -1;
    auto tickOf = [&](int32_t tick) {
        return int64_t{at} + int64_t{tick} * song.division / read.division;
    };
    auto pasted = [](const MidiEvent& event) { return !keptByDelete(event.kind()); };
    int skipped = 0;
    int64_t last = at;
    for (int t = 0; t < read.trackCount(); ++t) {
        for (const auto& event : read.tracks[static_cast<size_t>(t)]->events) {
            if (!pasted(*event))
                continue;
            if (t >= song.trackCount()) {
                ++skipped;
                break;
            }
            last = std::max(last, tickOf(event->tick));
        }
    }
    if (last > std::numeric_limits<int32_t>::max())
        return -1;
    if (skippedTracks)
        *skippedTracks = skipped;
    int count = 0;
    const int tracks = std::min(read.trackCount(), song.trackCount());
    for (int t = 0; t < tracks; ++t) {
        MidiTrack& target = *song.tracks[static_cast<size_t>(t)];
        std::vector<std::unique_ptr<MidiEvent>> pastedEvents;
        for (auto& owned : read.tracks[static_cast<size_t>(t)]->events) {
            if (!pasted(*owned))
                continue;
            MidiEvent* event = owned.get();
            event->tick = static_cast<int32_t>(tickOf(event->tick));
            event->track = &target;
            if (event->isChannelEvent())
                target.addChannel(event->channel());
            else if (event->kind() == KindText)
                ++target.textCount;
            else if (event->kind() == KindLyric)
                ++target.lyricCount;
            pastedEvents.push_back(std::move(owned));
        }
        count += static_cast<int>(pastedEvents.size());
        // A pasted note-off goes before the track's events of its tick, anything else after
        // them: a note that ends where another of its key begins must end first.
        auto before = [](const std::unique_ptr<MidiEvent>& pastedEvent,
                         const std::unique_ptr<MidiEvent>& event) {
            return pastedEvent->tick < event->tick ||
                   (pastedEvent->tick == event->tick && pastedEvent->isNoteOff());
        };
        std::vector<std::unique_ptr<MidiEvent>> merged;
        merged.reserve(target.events.size() + pastedEvents.size());
        auto existing = target.events.begin();
        for (auto& pastedEvent : pastedEvents) {
            while (existing != target.events.end() && !before(pastedEvent, *existing))
                merged.push_back(std::move(*existing++));
            merged.push_back(std::move(pastedEvent));
        }
        std::move(existing, target.events.end(), std::back_inserter(merged));
        target.events = std::move(merged);
    }
    // Listed again in the order a read of the saved song gives: by tick, then by track, then
    // in track order.
    song.mergedEvents.clear();
    for (const auto& track : song.tracks)
        for (const auto& event : track->events)
            song.mergedEvents.appendUnsorted(event.get());
    restoreSongOrder(song);
    return count;
}

} // namespace reedtab
