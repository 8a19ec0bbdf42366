#pragma once

// Test signals that sound like a harmonica reed: a fundamental with a few harmonics, breath
// noise, slight vibrato, attack and release; sustained tones, pitch steps and the glides of
// bends. Each sample's true frequency is kept, so that a measurement can be checked against it.

#include "model/midisong.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace reedtab::testing {

struct ReedTone {
    double hz = 440.0;
    double ms = 500.0;
    double amplitude = 0.4;
    double vibratoCents = 6.0;
    double vibratoHz = 5.0;
    /// Breath noise, as a share of the amplitude.
    double noise = 0.03;
    double attackMs = 25.0;
    double releaseMs = 40.0;
};

class ReedSignal {
public:
    explicit ReedSignal(int rate, unsigned seed = 1);

    int rate() const { return rate_; }
    /// Length so far in ms: where the next piece starts.
    double ms() const;
    const std::vector<float>& samples() const { return samples_; }
    /// The frequency sounding at each sample, 0 in silence.
    const std::vector<float>& frequencies() const { return frequencies_; }

    /// A stretch with nothing but a faint noise floor (60 dB under full scale).
    void silence(double ms);
    /// One tone with its attack and release.
    void tone(const ReedTone& tone);
    /// One attack, then the pitch of each piece in turn without a break: `holdMs` at each
    /// frequency, then `glideMs` moving to the next along a straight line in cents (a glide of
    /// 0 ms is a step); the last frequency holds `holdMs` and releases.
    void legato(const ReedTone& sound, const std::vector<double>& hz, double holdMs,
                double glideMs);

    /// The mean of the true frequency over samples [from, to), in cents against `hz`; NaN when
    /// some of them are silent.
    double centsAgainst(std::size_t from, std::size_t to, double hz) const;

private:
    void render(const ReedTone& sound, const std::vector<double>& pitchTrack);

    int rate_;
    std::mt19937 random_;
    std::vector<float> samples_;
    std::vector<float> frequencies_;
};

/// One note of a test melody, in ticks of a song at division 480 and 120 beats a minute (a
/// tick is 500/480 ms).
struct MelodyNote {
    int note = 60;
    int32_t tick = 0;
    int32_t ticks = 480;
};

inline constexpr int kMelodyDivision = 480;
inline double melodyMs(int32_t tick) {
    return tick * 500.0 / kMelodyDivision;
}

/// Makes `song` a format-1 song of one track (tempo, 4/4, General MIDI program `program`) with
/// the melody, notes paired as the reader pairs them.
void buildMelodySong(MidiSong& song, const std::vector<MelodyNote>& notes, int program = 22);

/// The melody played on a reed from `leadMs` on: each note a tone from its start that stops
/// 30 ms before its end, as a player tongues one note from the next.
void playMelody(ReedSignal& signal, const std::vector<MelodyNote>& notes, double leadMs,
                const ReedTone& sound = {});

/// The frequency of a MIDI note at A4 = `a4`.
double noteHz(double note, double a4 = 440.0);

/// Writes mono samples as a 16-bit PCM WAV file; false when it cannot.
bool writeWav(const std::string& path, const std::vector<float>& samples, int rate);

} // namespace reedtab::testing
