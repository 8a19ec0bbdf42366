#include "reedsignals.h"

#include "model/midievent.h"
#include "model/miditrack.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>

namespace reedtab::testing {

namespace {

// Relative levels of the harmonics of a free reed, fundamental first: strong low harmonics
// that fall away, as the reed's square-ish air pulses give.
constexpr double kHarmonics[] = {1.0, 0.55, 0.4, 0.22, 0.15, 0.08};
constexpr double kNoiseFloor = 0.001;

} // namespace

double noteHz(double note, double a4) {
    return a4 * std::pow(2.0, (note - 69.0) / 12.0);
}

ReedSignal::ReedSignal(int rate, unsigned seed) : rate_(rate), random_(seed) {}

double ReedSignal::ms() const {
    return static_cast<double>(samples_.size()) * 1000.0 / rate_;
}

void ReedSignal::silence(double ms) {
    std::normal_distribution<double> noise(0.0, kNoiseFloor);
    const auto count = static_cast<std::size_t>(ms * rate_ / 1000.0);
    for (std::size_t i = 0; i < count; ++i) {
        samples_.push_back(static_cast<float>(noise(random_)));
        frequencies_.push_back(0.0f);
    }
}

void ReedSignal::tone(const ReedTone& sound) {
    const auto count = static_cast<std::size_t>(sound.ms * rate_ / 1000.0);
    render(sound, std::vector<double>(count, sound.hz));
}

void ReedSignal::legato(const ReedTone& sound, const std::vector<double>& hz, double holdMs,
                        double glideMs) {
    const auto hold = static_cast<std::size_t>(holdMs * rate_ / 1000.0);
    const auto glide = static_cast<std::size_t>(glideMs * rate_ / 1000.0);
    std::vector<double> track;
    for (std::size_t k = 0; k < hz.size(); ++k) {
        track.insert(track.end(), hold, hz[k]);
        if (k + 1 < hz.size()) {
            const double cents = 1200.0 * std::log2(hz[k + 1] / hz[k]);
            for (std::size_t i = 0; i < glide; ++i) {
                const double share = static_cast<double>(i + 1) / static_cast<double>(glide + 1);
                track.push_back(hz[k] * std::pow(2.0, cents * share / 1200.0));
            }
        }
    }
    render(sound, track);
}

void ReedSignal::render(const ReedTone& sound, const std::vector<double>& pitchTrack) {
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
    double phases[std::size(kHarmonics)];
    for (double& p : phases) {
        p = phase(random_);
    }
    const double nyquist = rate_ / 2.0;
    const std::size_t count = pitchTrack.size();
    const auto attack = static_cast<std::size_t>(sound.attackMs * rate_ / 1000.0);
    const auto release = static_cast<std::size_t>(sound.releaseMs * rate_ / 1000.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate_;
        const double vibrato =
            sound.vibratoCents * std::sin(2.0 * std::numbers::pi * sound.vibratoHz * t);
        const double hz = pitchTrack[i] * std::pow(2.0, vibrato / 1200.0);
        double envelope = 1.0;
        if (i < attack) {
            envelope = static_cast<double>(i) / static_cast<double>(attack);
        } else if (i + release >= count) {
            envelope = static_cast<double>(count - i) / static_cast<double>(release + 1);
        }
        double value = 0.0;
        double norm = 0.0;
        for (std::size_t k = 0; k < std::size(kHarmonics); ++k) {
            const double harmonicHz = hz * static_cast<double>(k + 1);
            phases[k] += 2.0 * std::numbers::pi * harmonicHz / rate_;
            norm += kHarmonics[k];
            if (harmonicHz < nyquist) {
                value += kHarmonics[k] * std::sin(phases[k]);
            }
        }
        value = value / norm + sound.noise * noise(random_);
        samples_.push_back(
            static_cast<float>(sound.amplitude * envelope * value + kNoiseFloor * noise(random_)));
        frequencies_.push_back(static_cast<float>(hz));
    }
}

double ReedSignal::centsAgainst(std::size_t from, std::size_t to, double hz) const {
    to = std::min(to, frequencies_.size());
    if (from >= to) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        if (frequencies_[i] <= 0.0f) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        sum += 1200.0 * std::log2(frequencies_[i] / hz);
    }
    return sum / static_cast<double>(to - from);
}

void buildMelodySong(MidiSong& song, const std::vector<MelodyNote>& notes, int program) {
    song.clear();
    song.division = kMelodyDivision;
    song.format = 1;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    auto signature = makeTimeSignatureEvent(4, 4);
    auto* raw = signature.get();
    song.addEvent(0, 0, std::move(signature));
    song.timeSignatureList.push_back(raw);
    song.addEvent(0, 0, makeTempoEvent(500000));
    song.addEvent(0, 0, makeChannelEvent(0xC0, static_cast<std::uint8_t>(program), 0));
    int32_t end = 0;
    for (const MelodyNote& n : notes) {
        song.addEvent(n.tick, 0, makeChannelEvent(0x90, static_cast<std::uint8_t>(n.note), 100));
        song.addEvent(n.tick + n.ticks, 0,
                      makeChannelEvent(0x80, static_cast<std::uint8_t>(n.note), 0));
        end = std::max(end, n.tick + n.ticks);
    }
    song.addEvent(end, 0, makeEndOfTrackEvent());
    song.repairAllTracks();
}

void playMelody(ReedSignal& signal, const std::vector<MelodyNote>& notes, double leadMs,
                const ReedTone& sound) {
    signal.silence(leadMs);
    for (const MelodyNote& n : notes) {
        const double start = leadMs + melodyMs(n.tick);
        if (start > signal.ms()) {
            signal.silence(start - signal.ms());
        }
        ReedTone tone = sound;
        tone.hz = noteHz(n.note);
        tone.ms = std::max(melodyMs(n.ticks) - 30.0, 40.0);
        signal.tone(tone);
    }
    signal.silence(300.0);
}

bool writeWav(const std::string& path, const std::vector<float>& samples, int rate) {
    std::ofstream file(path, std::ios::binary);
    auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file.put(static_cast<char>(value >> (8 * i)));
        }
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    file.write("RIFF", 4);
    put(36 + dataBytes, 4);
    file.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(static_cast<std::uint32_t>(rate), 4);
    put(static_cast<std::uint32_t>(rate) * 2, 4);
    put(2, 2);
    put(16, 2);
    file.write("data", 4);
    put(dataBytes, 4);
    for (float s : samples) {
        const auto value =
            static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767));
        put(static_cast<std::uint16_t>(value), 2);
    }
    return file.good();
}

} // namespace reedtab::testing
