#pragma once

// The pitch of the player's sound, frame by frame, with aubio's YIN in the frequency domain
// ("yinfast").

#include "listen/listenresult.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace reedtab {

/// Lowest and highest concert pitch A4 the tracker takes (Hz).
inline constexpr double kConcertPitchLow = 430.0;
inline constexpr double kConcertPitchHigh = 450.0;

struct PitchOptions {
    /// Concert pitch A4 in Hz, 430..450; notes and cents are named against it.
    double a4 = 440.0;
    /// Frames quieter than this (dB full scale, measured over each hop) have no pitch.
    double silenceDb = -50.0;
    /// Frames whose confidence (0..1) lies below this have no pitch.
    double minConfidence = 0.8;
    /// YIN's threshold: the first period whose normalised difference lies under it is taken.
    /// aubio's own 0.15 takes the octave above on a sound with a strong second harmonic (the
    /// General MIDI harmonica flips octave on every other frame); 0.1 does not, and costs
    /// nothing on reed tones (bench_listen prints both).
    double threshold = 0.1;
    /// Analysis window and hop in samples; 0 takes `defaultWindow` and `defaultHop`.
    int window = 0;
    int hop = 0;
};

/// One analysis step.
struct PitchFrame {
    /// When the result is known: the end of the analysis window, in ms of the input (sample 0
    /// at 0 ms, or the clock's time once a live listener has mapped it).
    double ms = 0.0;
    /// The pitch in Hz; 0 when the frame has no confident pitch.
    double hz = 0.0;
    /// The tracker's confidence 0..1, also for frames that fell under the threshold.
    double confidence = 0.0;
    /// The nearest MIDI note against A4; -1 without a pitch.
    int note = -1;
    /// Cents from `note`, -50..50; 0 without a pitch.
    double cents = 0.0;

    bool hasPitch() const { return hz > 0.0; }
    /// The pitch as a fractional MIDI note (`note` + `cents` / 100).
    double pitch() const { return note + cents / 100.0; }
};

/// The pitch of `hz` as a fractional MIDI note for concert pitch `a4` (69 at A4).
double midiPitch(double hz, double a4);

/// The window the tracker takes at `rate` unless told otherwise: the shortest power of two
/// whose first half holds the period of 150 Hz, as YIN needs, with room below the lowest
/// harmonica note (F3, 175 Hz) for a flat reed and a low concert pitch: 1024 samples at 44.1
/// and 48 kHz (23 and 21 ms). bench_listen prints why neither 512 nor 2048 would do.
int defaultWindow(int rate);
/// The hop: a quarter of the window (256 samples, 5.3 ms at 48 kHz), so that a new note is
/// named within a few milliseconds of filling half the window.
int defaultHop(int rate);

/// Runs the pitch analysis over a stream of mono samples. Thread: whichever feeds it.
class PitchTracker {
public:
    PitchTracker(int rate, const PitchOptions& options = {});
    ~PitchTracker();
    PitchTracker(const PitchTracker&) = delete;
    PitchTracker& operator=(const PitchTracker&) = delete;

    /// ListenOk, ListenNoLibrary (aubio cannot be loaded) or ListenBadRate (outside
    /// 8000..192000 Hz, or a window or hop the analysis cannot take). Nothing is analysed
    /// unless it is ListenOk.
    int status() const;
    int rate() const;
    int window() const;
    int hop() const;
    /// The options in force (A4 limited to 430..450, window and hop resolved).
    const PitchOptions& options() const;
    /// How long after a note starts the first frame naming it comes, on average (ms): most of
    /// the window must hold the new note before YIN names it, and frames come a hop apart.
    /// bench_listen measures it as about 0.8 of the window plus half a hop, for every window
    /// and hop it tries.
    double onsetDelayMs() const;

    /// Takes the next `count` samples and appends a frame for every hop they complete.
    void process(const float* samples, std::size_t count, std::vector<PitchFrame>& frames);
    /// Samples taken so far.
    std::size_t samplesTaken() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Every frame of a whole recording at once.
std::vector<PitchFrame> trackPitch(const std::vector<float>& samples, int rate,
                                   const PitchOptions& options = {});

} // namespace reedtab
