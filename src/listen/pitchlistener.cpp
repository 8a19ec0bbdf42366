#include "listen/pitchlistener.h"

#include <algorithm>

namespace reedtab {

PitchListener::PitchListener(int rate, const PitchOptions& options) : tracker_(rate, options) {}

void PitchListener::poll(AudioInput& input, std::vector<PitchFrame>& frames) {
    AudioBlock block;
    while (input.pop(block)) {
        take(block, frames);
    }
}

void PitchListener::take(const AudioBlock& block, std::vector<PitchFrame>& frames) {
    const std::int64_t rate = tracker_.rate();
    const std::int64_t frameZero =
        block.clockNs - static_cast<std::int64_t>(block.firstFrame) * 1000000000 / rate;
    // The earliest frame-0 time of the last half second of blocks: a sliding minimum, each
    // block dropping the later ones before it, which it makes useless.
    while (!recent_.empty() && recent_.back().second >= frameZero) {
        recent_.pop_back();
    }
    recent_.emplace_back(block.firstFrame, frameZero);
    const auto span = static_cast<std::uint64_t>(rate / 2);
    while (recent_.front().first + span < block.firstFrame) {
        recent_.pop_front();
    }
    const std::int64_t zeroNs = recent_.front().second;
    const double offsetMs = static_cast<double>(zeroNs) / 1e6;

    scratch_.clear();
    if (block.firstFrame > nextFrame_) {
        silence_.assign(block.firstFrame - nextFrame_, 0.0f);
        tracker_.process(silence_.data(), silence_.size(), scratch_);
    }
    tracker_.process(block.samples.data(), block.count, scratch_);
    nextFrame_ = block.firstFrame + block.count;
    for (PitchFrame& f : scratch_) {
        f.ms += offsetMs;
        frames.push_back(f);
    }
}

} // namespace reedtab
