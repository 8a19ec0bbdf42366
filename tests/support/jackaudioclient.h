#pragma once

// A JACK client of the tests' own with one audio output and one audio input: it plays samples
// from its output, or passes its input to its output a fixed number of frames later (a loop of
// known latency). Never starts a server.

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reedtab::testing {

class JackAudioClient {
public:
    /// Opens client `name`; with `loopFrames` > 0 its input comes out of its output that many
    /// frames later. `isOpen` is false when no JACK server runs.
    explicit JackAudioClient(const std::string& name, std::size_t loopFrames = 0);
    ~JackAudioClient();
    JackAudioClient(const JackAudioClient&) = delete;
    JackAudioClient& operator=(const JackAudioClient&) = delete;

    bool isOpen() const { return client_ != nullptr; }
    int rate() const;
    int bufferSize() const;

    /// Plays `samples` from the next cycle on (once; a player client only).
    void play(std::vector<float> samples);
    /// The steady-clock time at which frame `frame` of the samples was played: a cycle's first
    /// frame one buffer before the cycle ran, the earliest that the cycles of the half second
    /// before imply (a cycle that merely ran late does not move it), the rule `PitchListener`
    /// times captured frames by; none before it was played.
    std::optional<std::chrono::nanoseconds> playedAt(std::size_t frame) const;
    bool finished() const { return finished_.load(std::memory_order_acquire); }
    /// The longest time between two cycles that played: a period when the machine keeps up.
    std::chrono::nanoseconds longestCycleGap() const;

private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    // The loop's delay line, made before the client runs.
    std::vector<float> delay_;
    std::size_t delayAt_ = 0;
    // Handed to the process thread by `armed_`; the cycles' times are handed back by `cycles_`.
    std::vector<float> samples_;
    std::vector<std::int64_t> cycleNs_;
    std::size_t played_ = 0;
    std::atomic<bool> armed_{false};
    std::atomic<std::size_t> cycles_{0};
    std::atomic<bool> finished_{false};
};

} // namespace reedtab::testing
