#pragma once

// What the playback benchmarks share: a dense song, its schedule of channel messages with their
// ideal times, and the lateness figures.

#include "model/midisong.h"
#include "playback/clock.h"
#include "playback/playbackparams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reedtab::bench {

inline constexpr int kDivision = 480;
inline constexpr int kTempo = 500000; // 120 bpm: 480 ticks = 0.5 s
inline constexpr int kTracks = 16;

/// 16 tracks of 64th notes on their own channels, a controller every eighth: roughly 1,100
/// messages per second over `seconds`.
void makeDenseSong(MidiSong& song, double seconds);

/// Every channel event of a song in the order the device must get it.
struct Schedule {
    std::vector<int> ticks;
    std::vector<std::vector<std::uint8_t>> bytes;
};
Schedule makeSchedule(const MidiSong& song);
/// Makes the dense song and returns its schedule.
Schedule prepareDenseSong(MidiSong& song, double seconds);
/// What the player plays the dense song by: its division at kTempo.
PlaybackParams denseParams();

/// The ideal time of `tick` after the start, at kTempo.
Nanoseconds tickTime(int tick);

struct Figures {
    double p50 = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};
Figures figures(std::vector<double> lateMs);

} // namespace reedtab::bench
