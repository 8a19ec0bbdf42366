// Feeds arbitrary bytes to the MIDI reader and checks what it builds: a song that reads must
// keep the model's invariants, and its dump must be writable.

#include "model/midisong.h"

#include <cstdint>
#include <cstdlib>

using namespace reedtab;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkSong(const MidiSong& song) {
    check(!song.loading);
    check(!song.tracks.empty());
    check(!song.timeSignatureList.empty() && song.timeSignatureList.front()->tick == 0);
    size_t playable = 0;
    for (const auto& track : song.tracks) {
        for (const auto& e : track->events) {
            check(e->track == track.get());
            if (e->data)
                check(e->data[e->dataLength] == 0);
            if (MergedEventList::belongs(e->kind()))
                ++playable;
            if (e->isNoteOn()) {
                check(e->partner && e->partner->partner == e.get());
                check(e->partner->track == track.get() && e->duration > 0);
            }
            if (e->isNoteOff())
                check(e->partner && e->partner->partner == e.get());
        }
    }
    check(playable == song.mergedEvents.size());
    for (size_t i = 1; i < song.mergedEvents.size(); ++i)
        check(song.mergedEvents[i - 1]->tick <= song.mergedEvents[i]->tick);
    check(song.length == (song.mergedEvents.empty() ? 0 : song.mergedEvents.back()->tick));
    // The bar table costs a run per time signature at most, whatever the length, and every
    // position converts back to its tick.
    check(song.barTable.runCount() <= song.timeSignatureList.size());
    check(song.length == 0 || !song.barTable.empty());
    for (int32_t tick : {0, song.length / 3, song.length - 1}) {
        if (tick < 0 || song.division <= 0)
            continue;
        BarBeatTick position = song.tickToBarBeatTick(tick);
        check(position.result == 0);
        check(song.barBeatTickToTick(position.bar, position.beat, position.tick) == tick ||
              tick >= song.length);
    }
}

// In a format-1 file the merged list is the stable sort by tick of the tracks' events taken
// track after track: built by inserting them one by one in that order, it must come out the
// same, entry for entry.
void checkMergeOrder(const MidiSong& song) {
    MergedEventList expected;
    for (const auto& track : song.tracks)
        for (const auto& e : track->events)
            expected.insert(e.get());
    check(expected.size() == song.mergedEvents.size());
    for (size_t i = 0; i < expected.size(); ++i)
        check(expected[i] == song.mergedEvents[i]);
}

} // namespace

// Undefined behaviour is a finding like any crash, not a message to scroll past.
extern "C" const char* __ubsan_default_options() {
    return "halt_on_error=1:print_stacktrace=1";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MidiSong song;
    int result = song.loadMemory(data, size);
    check(result == LoadOk || result == LoadBadTrack || result == LoadBadHeader);
    if (result != LoadOk) {
        check(song.tracks.empty() && song.mergedEvents.empty());
        return 0;
    }
    checkSong(song);
    if (size >= 10 && data[8] == 0 && data[9] == 1)
        checkMergeOrder(song);
    // Descriptions, positions and the bar table for every event of small songs.
    if (song.mergedEvents.size() < 2000)
        check(!song.dumpText().empty());
    return 0;
}
