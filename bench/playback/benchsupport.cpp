#include "benchsupport.h"

#include "model/midievent.h"
#include "model/miditrack.h"

#include <algorithm>
#include <memory>

namespace reedtab::bench {

namespace {

constexpr int kStep = 30; // a note every 64th per track

} // namespace

void makeDenseSong(MidiSong& song, double seconds) {
    song.division = kDivision;
    song.format = 1;
    const int length = static_cast<int>(seconds * 1e6 / kTempo * kDivision);
    for (int t = 0; t < kTracks; ++t) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        const auto channel = static_cast<std::uint8_t>(t == 9 ? 15 : t);
        for (int tick = t; tick + kStep < length; tick += kStep) {
            const auto key = static_cast<std::uint8_t>(48 + (tick / kStep + t) % 36);
            song.addEvent(tick, t, makeChannelEvent(0x90 | channel, key, 80));
            song.addEvent(tick + kStep - 5, t, makeChannelEvent(0x80 | channel, key, 0));
            if (tick % 240 == t) {
                song.addEvent(tick, t, makeChannelEvent(0xB0 | channel, 1, (tick / 240) % 128));
            }
        }
    }
    auto signature = makeTimeSignatureEvent(4, 4);
    auto* raw = signature.get();
    song.addEvent(0, 0, std::move(signature));
    song.timeSignatureList.push_back(raw);
    for (auto& track : song.tracks) {
        track->pairNotes(nullptr, 0, true, &song.mergedEvents);
    }
    song.rebuildBars();
}

Schedule makeSchedule(const MidiSong& song) {
    Schedule schedule;
    for (const auto* event : song.mergedEvents) {
        if (event->kind() & KindFamilyChannel) {
            schedule.ticks.push_back(event->tick);
            schedule.bytes.push_back({static_cast<std::uint8_t>(event->status),
                                      static_cast<std::uint8_t>(event->data1),
                                      static_cast<std::uint8_t>(event->data2)});
        }
    }
    return schedule;
}

Schedule prepareDenseSong(MidiSong& song, double seconds) {
    makeDenseSong(song, seconds);
    return makeSchedule(song);
}

PlaybackParams denseParams() {
    PlaybackParams params;
    params.division = kDivision;
    params.baseTempo = kTempo;
    return params;
}

Nanoseconds tickTime(int tick) {
    return Nanoseconds(static_cast<std::int64_t>(tick) * kTempo * 1000 / kDivision);
}

Figures figures(std::vector<double> lateMs) {
    Figures f;
    f.count = lateMs.size();
    if (lateMs.empty()) {
        return f;
    }
    std::sort(lateMs.begin(), lateMs.end());
    auto at = [&](double q) {
        return lateMs[std::min(lateMs.size() - 1, static_cast<std::size_t>(q * lateMs.size()))];
    };
    f.p50 = at(0.50);
    f.p99 = at(0.99);
    f.max = lateMs.back();
    return f;
}

} // namespace reedtab::bench
