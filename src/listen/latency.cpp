#include "listen/latency.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

namespace reedtab {

namespace {

constexpr double kClickHz = 2000.0;
constexpr double kClickMs = 3.0;
constexpr double kPeriodMs = 250.0;

std::string pairKey(const std::string& input, const std::string& output) {
    // Device names hold colons, commas and spaces; an INI key is safest without them.
    std::string key = "RoundTrip.";
    for (char c : input + " -> " + output) {
        key += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return key;
}

} // namespace

ClickTrack::ClickTrack(int rate, int count, std::uint64_t periodFrames, std::uint64_t firstFrame)
    : count_(count), period_(periodFrames), first_(firstFrame) {
    // A cosine burst that starts at full level, so that its first frame is where it is heard.
    const auto length = static_cast<std::size_t>(rate * kClickMs / 1000.0);
    click_.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double fade = 1.0 - static_cast<double>(i) / static_cast<double>(length);
        click_[i] =
            static_cast<float>(0.8 * std::cos(2.0 * std::numbers::pi * kClickHz * t) * fade);
    }
}

std::uint64_t ClickTrack::clickFrame(int index) const {
    return first_ + static_cast<std::uint64_t>(index) * period_;
}

std::uint64_t ClickTrack::endFrame() const {
    return count_ > 0 ? clickFrame(count_ - 1) + period_ : first_;
}

void ClickTrack::render(float* out, std::uint64_t firstFrame, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        const std::uint64_t frame = firstFrame + i;
        float sample = 0.0f;
        if (frame >= first_) {
            const std::uint64_t index = (frame - first_) / period_;
            const std::uint64_t offset = (frame - first_) % period_;
            if (index < static_cast<std::uint64_t>(count_) && offset < click_.size()) {
                sample = click_[offset];
            }
        }
        out[i] = sample;
    }
}

std::vector<std::uint64_t> findClicks(const std::vector<float>& samples, std::uint64_t firstFrame,
                                      std::uint64_t periodFrames) {
    float loudest = 0.0f;
    for (float s : samples) {
        loudest = std::max(loudest, std::fabs(s));
    }
    std::vector<std::uint64_t> onsets;
    if (loudest <= 0.0f) {
        return onsets;
    }
    const float threshold = loudest / 2.0f;
    const std::uint64_t quiet = periodFrames / 2;
    std::uint64_t next = 0; // the first index where another click may start
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i >= next && std::fabs(samples[i]) >= threshold) {
            onsets.push_back(firstFrame + i);
            next = i + quiet;
        }
    }
    return onsets;
}

LatencyMeasurement measureRoundTrip(const ClickTrack& clicks,
                                    const std::vector<std::uint64_t>& onsets, int rate) {
    LatencyMeasurement m;
    m.clicksPlayed = clicks.count();
    std::vector<double> delays;
    for (std::uint64_t onset : onsets) {
        for (int i = clicks.count() - 1; i >= 0; --i) {
            const std::uint64_t played = clicks.clickFrame(i);
            if (played <= onset) {
                if (onset - played < clicks.periodFrames()) {
                    delays.push_back(static_cast<double>(onset - played) * 1000.0 / rate);
                }
                break;
            }
        }
    }
    m.clicksHeard = static_cast<int>(delays.size());
    if (m.clicksHeard * 2 < std::max(m.clicksPlayed, 1)) {
        m.result = ListenNotHeard;
        return m;
    }
    std::sort(delays.begin(), delays.end());
    const std::size_t n = delays.size();
    m.roundTripMs = n % 2 ? delays[n / 2] : (delays[n / 2 - 1] + delays[n / 2]) / 2.0;
    m.spreadMs = std::max(m.roundTripMs - delays.front(), delays.back() - m.roundTripMs);
    return m;
}

LatencyMeasurement calibrateLatency(const std::string& input, const std::string& output, int rate,
                                    int clicks) {
    LatencyMeasurement failed;
    failed.clicksPlayed = clicks;
    const auto period = static_cast<std::uint64_t>(rate * kPeriodMs / 1000.0);
    // The first click waits a period, so that the stream has settled before it.
    ClickTrack track(rate, clicks, period, period);
    SteadyClock clock;
    AudioInput stream(clock);
    failed.result = stream.openDuplex(input, output, rate, track);
    if (failed.result != ListenOk) {
        return failed;
    }
    failed.result = stream.start();
    if (failed.result != ListenOk) {
        return failed;
    }
    // Capture until a period after the last click, or give up at twice the time it takes.
    std::vector<float> heard;
    const std::uint64_t wanted = track.endFrame() + period;
    const auto giveUp = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long>(2 * wanted * 1000 / rate));
    std::uint64_t captured = 0;
    AudioBlock block;
    while (captured < wanted && std::chrono::steady_clock::now() < giveUp) {
        if (!stream.pop(block)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        // Frames dropped by a full queue would shift every later onset: keep their place.
        heard.resize(block.firstFrame, 0.0f);
        heard.insert(heard.end(), block.samples.begin(), block.samples.begin() + block.count);
        captured = block.firstFrame + block.count;
    }
    stream.close();
    return measureRoundTrip(track, findClicks(heard, 0, period), rate);
}

std::optional<double> storedRoundTrip(const SettingsStore& store, const std::string& input,
                                      const std::string& output) {
    const auto micros = store.readInt("Listen", pairKey(input, output));
    if (!micros) {
        return std::nullopt;
    }
    return *micros / 1000.0;
}

void storeRoundTrip(SettingsStore& store, const std::string& input, const std::string& output,
                    double ms) {
    store.writeInt("Listen", pairKey(input, output), static_cast<int>(std::lround(ms * 1000.0)));
}

} // namespace reedtab
