#pragma once

#include <algorithm>
#include <cstdint>

namespace reedtab {

class MidiSong;

/// The tempo percentages a trainer's plan may use.
inline constexpr int kLowestTrainerPercent = 1;
inline constexpr int kHighestTrainerPercent = 1000;

/// Practising a passage slowly and bringing it up to speed: the loop plays at `start` percent
/// of the song's tempo and the percentage rises by `step` after every `passes` passes until it
/// reaches `target`, where it stays.
struct SpeedTrainer {
    int start = 0; ///< 0: no trainer
    int step = 0;
    int target = 0;
    int passes = 1;

    bool active() const { return start > 0; }
    /// A plan the player can follow: percentages 1..1000, start at most target, a step and a
    /// pass count of at least 1.
    bool valid() const {
        return start >= kLowestTrainerPercent && target <= kHighestTrainerPercent &&
               start <= target && step >= 1 && passes >= 1;
    }
    /// The tempo percentage of pass `pass` (0 is the first).
    int percentFor(int pass) const {
        const long raised = start + static_cast<long>(step) * (std::max(pass, 0) / passes);
        return static_cast<int>(std::min<long>(raised, target));
    }

    friend bool operator==(const SpeedTrainer&, const SpeedTrainer&) = default;
};

/// Where a loop over the whole song ends: at the end of the bar that holds its last event, so
/// that the next pass keeps the beat.
int32_t wholeSongLoopEnd(const MidiSong& song);

} // namespace reedtab
