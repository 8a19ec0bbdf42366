#include "jackaudioclient.h"

#include <algorithm>

namespace reedtab::testing {

JackAudioClient::JackAudioClient(const std::string& name, std::size_t loopFrames)
    : delay_(loopFrames, 0.0f) {
    jack_status_t status{};
    client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client_) {
        return;
    }
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &JackAudioClient::process, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackAudioClient::~JackAudioClient() {
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

int JackAudioClient::rate() const {
    return client_ ? static_cast<int>(jack_get_sample_rate(client_)) : 0;
}

int JackAudioClient::bufferSize() const {
    return client_ ? static_cast<int>(jack_get_buffer_size(client_)) : 0;
}

void JackAudioClient::play(std::vector<float> samples) {
    samples_ = std::move(samples);
    cycleNs_.assign(samples_.size() / static_cast<std::size_t>(bufferSize()) + 2, 0);
    armed_.store(true, std::memory_order_release);
}

std::optional<std::chrono::nanoseconds> JackAudioClient::playedAt(std::size_t frame) const {
    const auto buffer = static_cast<std::int64_t>(bufferSize());
    const auto cycle = static_cast<std::int64_t>(frame) / buffer;
    const auto cycles = static_cast<std::int64_t>(cycles_.load(std::memory_order_acquire));
    if (cycle >= cycles) {
        return std::nullopt;
    }
    // A cycle that ran late says its frames came late; the earliest time that the cycles of
    // the half second before imply is the frame's, as a listener times what it hears.
    const std::int64_t period = buffer * 1000000000 / rate();
    const std::int64_t span = rate() / 2 / buffer;
    std::int64_t earliest = INT64_MAX;
    for (std::int64_t c = std::max<std::int64_t>(0, cycle - span); c <= cycle; ++c) {
        earliest = std::min(earliest, cycleNs_[static_cast<std::size_t>(c)] - (c - cycle) * period);
    }
    return std::chrono::nanoseconds(earliest + static_cast<std::int64_t>(frame) % buffer *
                                                   1000000000 / rate());
}

std::chrono::nanoseconds JackAudioClient::longestCycleGap() const {
    const std::size_t cycles = cycles_.load(std::memory_order_acquire);
    std::int64_t longest = 0;
    for (std::size_t c = 1; c < cycles; ++c) {
        longest = std::max(longest, cycleNs_[c] - cycleNs_[c - 1]);
    }
    return std::chrono::nanoseconds(longest);
}

int JackAudioClient::process(jack_nframes_t frames, void* data) {
    auto& self = *static_cast<JackAudioClient*>(data);
    const auto* in = static_cast<const float*>(jack_port_get_buffer(self.in_, frames));
    auto* out = static_cast<float*>(jack_port_get_buffer(self.out_, frames));
    if (!self.delay_.empty()) {
        for (jack_nframes_t i = 0; i < frames; ++i) {
            out[i] = self.delay_[self.delayAt_];
            self.delay_[self.delayAt_] = in[i];
            self.delayAt_ = (self.delayAt_ + 1) % self.delay_.size();
        }
        return 0;
    }
    std::fill(out, out + frames, 0.0f);
    if (!self.armed_.load(std::memory_order_acquire) || self.finished_.load()) {
        return 0;
    }
    // This cycle's frames were captured, as a capture client times them, one buffer ago.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto buffer = std::chrono::nanoseconds(std::int64_t{frames} * 1000000000 /
                                                 jack_get_sample_rate(self.client_));
    const std::size_t cycle = self.cycles_.load(std::memory_order_relaxed);
    self.cycleNs_[cycle] = (now - buffer).count();
    self.cycles_.store(cycle + 1, std::memory_order_release);
    const std::size_t count = std::min<std::size_t>(frames, self.samples_.size() - self.played_);
    std::copy_n(self.samples_.begin() + static_cast<long>(self.played_), count, out);
    self.played_ += count;
    if (self.played_ == self.samples_.size()) {
        self.finished_.store(true, std::memory_order_release);
    }
    return 0;
}

} // namespace reedtab::testing
