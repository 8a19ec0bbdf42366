#pragma once

// The live path: what a capture device hears, analysed as it arrives and timed on the clock
// that the rest of the program (the transport, the judge) runs on.

#include "listen/audioinput.h"
#include "listen/pitchtracker.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace reedtab {

/// Analyses an `AudioInput`'s blocks on the thread that polls it (the analysis thread). Each
/// frame's `ms` is the time on the input's clock (its ns / 1e6) at which the frame's window ended.
/// The callback's own times jitter late on a loaded machine, never early, so the frame-0 time is
/// the earliest any block of the last second or two implies; it follows the drift between the sound
/// card's clock and the program's. Frames the callback had to drop are analysed as silence, so
/// later frames keep their times.
class PitchListener {
public:
    /// For blocks of `rate` (the input's rate once it is open).
    explicit PitchListener(int rate, const PitchOptions& options = {});

    /// The tracker's status: ListenOk, or why nothing will be analysed.
    int status() const { return tracker_.status(); }
    const PitchTracker& tracker() const { return tracker_; }
    /// Analyses every block waiting in `input` and appends its frames.
    void poll(AudioInput& input, std::vector<PitchFrame>& frames);
    /// Analyses one block (blocks come in the order they were captured) and appends its frames.
    void take(const AudioBlock& block, std::vector<PitchFrame>& frames);

private:
    PitchTracker tracker_;
    std::uint64_t nextFrame_ = 0;
    // First frame and frame-0 time (ns) of recent blocks, the frame-0 times rising.
    std::deque<std::pair<std::uint64_t, std::int64_t>> recent_;
    std::vector<float> silence_;
    std::vector<PitchFrame> scratch_;
};

} // namespace reedtab
