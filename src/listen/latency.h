#pragma once

// How late the player's sound reaches the judge: the round trip from a playback device to a
// capture device, measured with clicks, plus the user's own offset.

#include "listen/audioinput.h"
#include "settings/settingsstore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace reedtab {

/// The calibration's clicks: a short, sharp burst every `periodFrames`, the first at
/// `firstFrame`, `count` of them.
class ClickTrack final : public AudioSource {
public:
    ClickTrack(int rate, int count, std::uint64_t periodFrames, std::uint64_t firstFrame);
    /// Audio thread.
    void render(float* out, std::uint64_t firstFrame, std::size_t frames) override;
    int count() const { return count_; }
    std::uint64_t periodFrames() const { return period_; }
    /// The frame where click `index` starts.
    std::uint64_t clickFrame(int index) const;
    /// The frame after the last click has died away.
    std::uint64_t endFrame() const;

private:
    int count_;
    std::uint64_t period_;
    std::uint64_t first_;
    std::vector<float> click_;
};

/// The frames where clicks start in captured sound: each place the level first rises over
/// half the loudest sample heard, at most one per half period.
std::vector<std::uint64_t> findClicks(const std::vector<float>& samples, std::uint64_t firstFrame,
                                      std::uint64_t periodFrames);

struct LatencyMeasurement {
    int result = ListenOk;
    /// Median delay from a click played to the same click heard (ms).
    double roundTripMs = 0.0;
    /// Largest distance of a single click's delay from the median (ms).
    double spreadMs = 0.0;
    int clicksPlayed = 0;
    int clicksHeard = 0;
};

/// The round trip from the clicks' frames and the onsets heard: every onset is taken for the
/// latest click at or before it within one period. ListenNotHeard when fewer than half the
/// clicks were heard.
LatencyMeasurement measureRoundTrip(const ClickTrack& clicks,
                                    const std::vector<std::uint64_t>& onsets, int rate);

/// Plays clicks on playback device `output` and hears them on capture device `input` (both of
/// one sound system, names as `AudioInput::openDuplex` takes them) for about `clicks` times
/// 250 ms, and measures the round trip. Blocks the calling thread meanwhile.
LatencyMeasurement calibrateLatency(const std::string& input, const std::string& output,
                                    int rate = 48000, int clicks = 8);

/// The round trip stored for a pair of devices (ms), none when that pair was never measured.
/// Section "Listen", one key for each pair. The judge takes it, plus the user's own offset,
/// off every heard time (`JudgeOptions::latencyMs`).
std::optional<double> storedRoundTrip(const SettingsStore& store, const std::string& input,
                                      const std::string& output);
void storeRoundTrip(SettingsStore& store, const std::string& input, const std::string& output,
                    double ms);

} // namespace reedtab
