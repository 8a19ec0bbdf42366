#include "document/songedits.h"

#include "harmonica/fingeringoptimizer.h"
#include "model/midiconstants.h"
#include "model/midisong.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace reedtab {

namespace {

// Crop keeps the last value before the range of these controllers, in this order.
constexpr std::array<int, 8> kTrackedControllers{1, 7, 10, 11, 65, 91, 92, 93};

int trackedControllerSlot(int number) {
    for (size_t i = 0; i < kTrackedControllers.size(); ++i) {
        if (kTrackedControllers[i] == number)
            return static_cast<int>(i);
    }
    return -1;
}

// The tracks an operation on `trackIndex` (-1 = all) visits; empty for a bad index.
std::vector<MidiTrack*> tracksOf(const MidiSong& song, int trackIndex) {
    std::vector<MidiTrack*> result;
    if (trackIndex == -1) {
        for (const auto& track : song.tracks)
            result.push_back(track.get());
    } else if (MidiTrack* track = song.track(trackIndex)) {
        result.push_back(track);
    }
    return result;
}

template <class Visit>
void forEachTransposable(const MidiSong& song, int trackIndex, int32_t from, int32_t to,
                         Visit visit) {
    for (MidiTrack* track : tracksOf(song, trackIndex)) {
        for (const auto& owned : track->events) {
            MidiEvent* event = owned.get();
            if (!event->isChannelEvent() || event->channel() == kDrumChannel || !event->isNote)
                continue;
            if (from != -1 && event->tick < from)
                continue;
            if (to != -1 && event->tick + event->duration > to)
                continue;
            visit(event);
        }
    }
}

// Whether a note and its note-off both stay in 0..127. Each moves by the same amount from its
// own key, so that the opposite transposition restores both exactly: a file may pair a key
// with one whose byte differs above bit 7 (pairing looks at the low seven bits only).
bool transposable(const MidiEvent* event, int halfSteps) {
    auto inRange = [halfSteps](int key) { return key + halfSteps >= 0 && key + halfSteps <= 127; };
    const MidiEvent* partner = event->isNoteOn() ? event->partner : nullptr;
    return inRange(event->data1) && (!partner || inRange(partner->data1));
}

// Events chosen for deletion, each note with its partner, deleted once everything was decided
// (deleting while walking a track would shift the walk).
class DeleteSet {
public:
    void add(MidiEvent* event) {
        if (event && members_.insert(event).second)
            order_.push_back(event);
    }
    void addWithPartner(MidiEvent* event) {
        add(event);
        if (event)
            add(event->partner);
    }
    bool contains(const MidiEvent* event) const {
        return members_.count(const_cast<MidiEvent*>(event)) != 0;
    }
    void deleteAll(MidiSong& song) {
        for (MidiEvent* event : order_) {
            if (!members_.count(event))
                continue;
            members_.erase(event);
            if (event->partner) {
                if (!members_.count(event->partner)) {
                    // deleteEvent takes the partner with it; a partner that must stay is
                    // detached first.
                    event->partner->partner = nullptr;
                    event->partner = nullptr;
                } else {
                    members_.erase(event->partner);
                }
            }
            song.deleteEvent(event);
        }
        order_.clear();
    }

private:
    std::unordered_set<MidiEvent*> members_;
    std::vector<MidiEvent*> order_;
};

bool isEndOfTrack(const MidiEvent* event) {
    return event->kind() == KindEndOfTrack;
}

} // namespace

bool inTickRange(int32_t tick, int32_t a, int32_t b) {
    return (a == -1 || tick >= a) && (b == -1 || tick <= b);
}

bool keptByDelete(int kind) {
    return kind == KindController || kind == KindProgram || kind == KindTempo ||
           kind == KindTimeSignature || kind == KindKeySignature || kind == KindTrackName ||
           kind == KindEndOfTrack;
}

bool isTrackShown(const MidiSong& song, int trackIndex) {
    const MidiTrack* track = song.track(trackIndex);
    return track && (track->flags & TrackShown) != 0;
}

bool isTrackEditable(const MidiSong& song, int trackIndex) {
    const MidiTrack* track = song.track(trackIndex);
    return track && (track->flags & (TrackShown | TrackSelected)) != 0;
}

void markNotes(MidiSong& song, bool includeDrums) {
    for (const auto& track : song.tracks) {
        for (const auto& event : track->events) {
            bool note = event->isNoteOn() && event->duration > 0 &&
                        (includeDrums || event->channel() != kDrumChannel);
            event->isNote = note ? 1 : 0;
        }
    }
}

int optimizeFingerings(MidiSong& song, int trackIndex, int32_t from, int32_t to,
                       const HarmonicaLayout& layout, const FingeringOptions& options) {
    MidiTrack* track = song.track(trackIndex);
    if (!track) {
        return -1;
    }
    std::vector<MidiEvent*> events;
    std::vector<PhraseNote> notes;
    for (const auto& event : track->events) {
        if (event->isNote && event->isNoteOn() && (from == -1 || event->tick >= from) &&
            (to == -1 || event->tick < to)) {
            events.push_back(event.get());
            notes.push_back({event->tick, event->tick + event->duration, event->data1});
        }
    }
    FingeringOptions phrase = options;
    phrase.restTicks = song.division;
    const std::vector<int> best = bestAlternatives(layout, notes, phrase);
    int changed = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        MidiEvent& note = *events[i];
        if (best[i] < 0) {
            continue;
        }
        std::uint16_t fingering = layout.fingeringFor(note.data1, best[i]);
        if (best[i] == 0 && layout.alternativeOf(note.data1, note.fingering) == 0) {
            fingering = note.fingering;
        }
        if (fingering != note.fingering) {
            note.fingering = fingering;
            ++changed;
        }
    }
    return changed;
}

int transpose(MidiSong& song, int halfSteps, int trackIndex, int32_t from, int32_t to,
              int* skipped) {
    if (song.loading || song.tracks.empty())
        return -1;
    if (trackIndex != -1 && !song.track(trackIndex))
        return -1;
    int skips = 0;
    forEachTransposable(song, trackIndex, from, to, [&](MidiEvent* event) {
        if (!transposable(event, halfSteps)) {
            ++skips;
            return;
        }
        event->data1 = static_cast<uint16_t>(event->data1 + halfSteps);
        event->fingering = 0;
        if (event->isNoteOn() && event->partner)
            event->partner->data1 = static_cast<uint16_t>(event->partner->data1 + halfSteps);
    });
    if (skipped)
        *skipped += skips;
    return 0;
}

int countTransposeSkips(const MidiSong& song, int halfSteps, int trackIndex, int32_t from,
                        int32_t to) {
    int skips = 0;
    forEachTransposable(song, trackIndex, from, to, [&](const MidiEvent* event) {
        if (!transposable(event, halfSteps))
            ++skips;
    });
    return skips;
}

int cropRange(MidiSong& song, int32_t a, int32_t b) {
    if (song.tracks.empty())
        return -1;
    DeleteSet doomed;
    std::vector<MidiEvent*> movedToEnd;
    for (const auto& track : song.tracks) {
        MidiEvent* keptTempo = nullptr;
        MidiEvent* keptSignature = nullptr;
        std::array<MidiEvent*, kTrackedControllers.size()> keptControllers{};
        for (const auto& owned : track->events) {
            MidiEvent* event = owned.get();
            if (doomed.contains(event))
                continue;
            int kind = event->kind();
            if (a != -1 && event->tick < a) {
                if (kind == KindNoteOn || kind == KindNoteOff || kind == KindPitchWheel) {
                    if (!(a < event->tick + event->duration))
                        doomed.addWithPartner(event);
                } else if (kind == KindTempo) {
                    doomed.add(keptTempo);
                    keptTempo = event;
                } else if (kind == KindTimeSignature) {
                    doomed.add(keptSignature);
                    keptSignature = event;
                } else if (kind == KindController) {
                    int slot = trackedControllerSlot(event->data1);
                    if (slot >= 0) {
                        doomed.add(keptControllers[slot]);
                        keptControllers[slot] = event;
                    }
                }
            } else if (b != -1 && event->tick >= b) {
                bool noteEndsInside = event->partner && event->partner->tick < b &&
                                      event->partner->tick <= event->tick;
                if (noteEndsInside || isEndOfTrack(event))
                    movedToEnd.push_back(event);
                else
                    doomed.addWithPartner(event);
            }
        }
    }
    for (MidiEvent* event : movedToEnd) {
        if (!doomed.contains(event))
            event->tick = b;
    }
    doomed.deleteAll(song);
    if (a != -1) {
        for (const auto& track : song.tracks) {
            for (const auto& event : track->events)
                event->tick = std::max<int32_t>(0, event->tick - a);
        }
    }
    restoreSongOrder(song);
    return 0;
}

int deleteRange(MidiSong& song, int32_t a, int32_t b, bool closeGap) {
    if (song.tracks.empty())
        return -1;
    // An open beginning starts at tick 0: nothing may move to tick -1.
    const int32_t low = a == -1 ? 0 : a;
    DeleteSet doomed;
    std::vector<std::pair<MidiEvent*, int32_t>> moves;
    for (int i = 0; i < song.trackCount(); ++i) {
        if (!closeGap && !isTrackEditable(song, i))
            continue;
        for (const auto& owned : song.tracks[i]->events) {
            MidiEvent* event = owned.get();
            if (doomed.contains(event) || !inTickRange(event->tick, a, b))
                continue;
            if (keptByDelete(event->kind())) {
                if (closeGap)
                    moves.emplace_back(event, low);
            } else if (a != -1 && event->partner && event->partner->tick < a) {
                moves.emplace_back(event, a);
            } else if (b != -1 && event->partner && event->partner->tick > b) {
                moves.emplace_back(event, closeGap ? low : b);
            } else {
                doomed.addWithPartner(event);
            }
        }
    }
    for (const auto& [event, tick] : moves) {
        if (!doomed.contains(event))
            event->tick = tick;
    }
    doomed.deleteAll(song);
    if (closeGap && b != -1 && b > low) {
        song.shiftEventsEarlier(low + 1, b - low);
        // The model shifts only playable events; signatures and names after the gap move
        // with the music so that they stay where they belong.
        for (const auto& track : song.tracks) {
            for (const auto& event : track->events) {
                if (!MergedEventList::belongs(event->kind()) && event->tick > low)
                    event->tick -= b - low;
            }
        }
    }
    restoreSongOrder(song);
    return 0;
}

void insertSilenceAt(MidiSong& song, int32_t at, int32_t length) {
    song.shiftEventsLater(at, length);
    for (const auto& track : song.tracks) {
        for (const auto& event : track->events) {
            if (!MergedEventList::belongs(event->kind()) && event->tick >= at && event->tick != 0)
                event->tick += length;
        }
    }
    restoreSongOrder(song);
}

void removeSilenceAt(MidiSong& song, int32_t at, int32_t length) {
    const int32_t end = at + length;
    for (const auto& track : song.tracks) {
        for (const auto& event : track->events) {
            if (event->tick < end)
                continue;
            // The note-off of a note that began before the silence did not move with it.
            const MidiEvent* partner = event->partner;
            if (partner && partner->tick < at && partner->tick <= event->tick)
                continue;
            event->tick -= length;
        }
    }
    restoreSongOrder(song);
}

int32_t silenceLengthAt(const MidiSong& song, int32_t tick, int bars, int beats, int ticks) {
    int numerator = 4;
    int log2Denominator = 2;
    const TimeSignatureEvent* signature = nullptr;
    BarBeatTick position = song.tickToBarBeatTick(tick);
    if (position.result == 0 && position.bar >= 1 &&
        static_cast<size_t>(position.bar - 1) < song.barTable.size()) {
        size_t index = static_cast<size_t>(song.barTable[position.bar - 1].timeSignatureIndex);
        if (index < song.timeSignatureList.size())
            signature = song.timeSignatureList[index];
    }
    if (signature && signature->dataLength >= 2) {
        numerator = signature->data[0];
        log2Denominator = signature->data[1];
    } else {
        TimeSignature governing = song.timeSignatureAt(tick);
        numerator = governing.numerator;
        log2Denominator = 0;
        for (int d = governing.denominator; d > 1; d /= 2)
            ++log2Denominator;
    }
    int64_t barLength = static_cast<int64_t>(song.division) * numerator * 4 /
                        (int64_t{1} << (log2Denominator & 31));
    int64_t total = bars * barLength + static_cast<int64_t>(beats) * song.division + ticks;
    return static_cast<int32_t>(std::clamp<int64_t>(total, INT32_MIN, INT32_MAX));
}

int applyTrackVolume(MidiSong& song, int trackIndex, int32_t from, int32_t to) {
    MidiTrack* track = song.track(trackIndex);
    if (!track)
        return -1;
    const int percent = track->volumePercent;
    for (const auto& event : track->events) {
        if (!event->isNoteOn())
            continue;
        if ((from != -1 && event->tick < from) || (to != -1 && event->tick >= to))
            continue;
        int velocity = event->data2 * percent / 100;
        event->data2 = static_cast<uint16_t>(std::clamp(velocity, 1, 127));
    }
    track->volumePercent = 100;
    return 0;
}

int applyTempoScale(MidiSong& song, int percent) {
    if (percent <= 0 || song.tempoList.empty())
        return -1;
    for (TempoEvent* tempo : song.tempoList) {
        int64_t value = static_cast<int64_t>(tempo->value()) * 100 / percent;
        tempo->setValue(static_cast<int32_t>(std::clamp<int64_t>(value, 1, 0xFFFFFF)));
    }
    return 0;
}

int mapNotes(MidiSong& song, int channel, int fromKey, int toKey, int startPercent, int endPercent,
             int32_t from, int32_t to) {
    if (from == -1)
        from = 0;
    if (to == -1)
        to = song.length;
    const bool ramp = startPercent != -1 && endPercent != -1;
    const int constant = startPercent != -1 ? startPercent : endPercent;
    int changed = 0;
    for (int i = 0; i < song.trackCount(); ++i) {
        if (!isTrackEditable(song, i))
            continue;
        for (const auto& owned : song.tracks[i]->events) {
            MidiEvent* event = owned.get();
            if (event->kind() != KindNoteOn || event->data2 == 0)
                continue;
            if (channel != -1 && event->channel() != channel)
                continue;
            if (event->tick < from || event->tick >= to)
                continue;
            bool touched = false;
            if (toKey != -1 && (fromKey == -1 || event->data1 == fromKey)) {
                if (event->data1 != (toKey & 0x7F))
                    event->fingering = 0;
                event->data1 = static_cast<uint16_t>(toKey & 0x7F);
                if (event->partner)
                    event->partner->data1 = event->data1;
                touched = true;
            }
            if (constant != -1) {
                double percentage = constant;
                if (ramp) {
                    percentage = startPercent + static_cast<double>(event->tick - from) *
                                                    (endPercent - startPercent) / (to - from);
                }
                int velocity = static_cast<int>(event->data2 * percentage / 100);
                event->data2 = static_cast<uint16_t>(std::clamp(velocity, 1, 127));
                touched = true;
            }
            if (touched)
                ++changed;
        }
    }
    return changed;
}

void restoreSongOrder(MidiSong& song) {
    auto byTick = [](const auto& left, const auto& right) { return left->tick < right->tick; };
    for (const auto& track : song.tracks) {
        auto& events = track->events;
        std::stable_sort(events.begin(), events.end(), byTick);
        auto firstEnd = std::stable_partition(events.begin(), events.end(),
                                              [](const auto& e) { return !isEndOfTrack(e.get()); });
        if (firstEnd != events.begin() && firstEnd != events.end()) {
            int32_t lastTick = (*(firstEnd - 1))->tick;
            for (auto it = firstEnd; it != events.end(); ++it)
                (*it)->tick = std::max((*it)->tick, lastTick);
        }
    }
    song.mergedEvents.sortByTick();
    std::stable_sort(song.tempoList.begin(), song.tempoList.end(), byTick);
    std::stable_sort(song.timeSignatureList.begin(), song.timeSignatureList.end(), byTick);
    song.repairAllTracks();
    song.length = song.mergedEvents.empty() ? 0 : song.mergedEvents.back()->tick;
    song.rebuildBars();
}

void liftEndOfTrack(MidiSong& song, int trackIndex) {
    MidiTrack* track = song.track(trackIndex);
    if (!track || track->size() < 2)
        return;
    MidiEvent* end = track->last();
    const MidiEvent* before = track->at(track->size() - 2);
    if (!isEndOfTrack(end) || end->tick >= before->tick)
        return;
    song.moveEvent(end, before->tick);
    if (end->tick > song.length) {
        song.length = end->tick;
        song.rebuildBars();
    }
}

} // namespace reedtab
