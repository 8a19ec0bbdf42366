#pragma once

#include <atomic>
#include <chrono>

namespace reedtab {

/// Time in nanoseconds since a clock's own epoch.
using Nanoseconds = std::chrono::nanoseconds;

/// Where the timed MIDI stream takes its time from. `now` may be called from any thread.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Nanoseconds now() const = 0;
};

/// The monotonic system clock; its epoch is the moment of construction.
class SteadyClock final : public Clock {
public:
    SteadyClock() : epoch_(std::chrono::steady_clock::now()) {}
    Nanoseconds now() const override { return std::chrono::steady_clock::now() - epoch_; }

private:
    std::chrono::steady_clock::time_point epoch_;
};

/// A clock that tests and offline rendering move themselves. A stream on it runs no timer
/// thread: whoever owns the clock drives the stream (MidiStream::advanceTo). It never goes
/// backwards: `setNow` with an earlier time is ignored.
class ManualClock final : public Clock {
public:
    Nanoseconds now() const override { return Nanoseconds(now_.load()); }
    void setNow(Nanoseconds t) {
        auto current = now_.load();
        while (t.count() > current && !now_.compare_exchange_weak(current, t.count())) {
        }
    }
    void advance(Nanoseconds d) { setNow(now() + d); }

private:
    std::atomic<Nanoseconds::rep> now_{0};
};

} // namespace reedtab
