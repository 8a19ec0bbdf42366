#pragma once

// What reedtab-cli pitch and listen share: the --a4 option and the pitch of an audio file.

#include "cli/args.h"
#include "listen/audioinput.h"
#include "listen/pitchtracker.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace reedtab::cli {

/// Exit status when the audio file cannot be read or analysed.
inline constexpr int kAudioFailed = 1;

/// The --a4 option: 440 when absent; nullopt (error recorded in `message`) outside 430..450.
inline std::optional<double> a4Option(Args& args, std::string& message) {
    const auto a4 = args.numberOption("--a4");
    if (!a4) {
        return 440.0;
    }
    if (*a4 < kConcertPitchLow || *a4 > kConcertPitchHigh) {
        message = "--a4 takes a concert pitch from 430 to 450 Hz";
        return std::nullopt;
    }
    return *a4;
}

/// The frames of a whole audio file and the tracker's figures.
struct AudioPitch {
    int rate = 0;
    int hop = 0;
    double onsetDelayMs = 0.0;
    std::vector<PitchFrame> frames;
};

/// Reads `path` and tracks its pitch. On failure prints "reedtab-cli COMMAND: PATH: reason" on
/// stderr and returns nullopt.
inline std::optional<AudioPitch> analyseAudio(const char* command, const std::string& path,
                                              double a4) {
    std::vector<float> samples;
    int rate = 0;
    std::string error;
    const int read = readAudioFile(path, samples, rate, &error);
    if (read != ListenOk) {
        std::fprintf(stderr, "reedtab-cli %s: %s: cannot read the audio (%s)\n", command,
                     path.c_str(), error.c_str());
        return std::nullopt;
    }
    PitchOptions options;
    options.a4 = a4;
    PitchTracker tracker(rate, options);
    if (tracker.status() != ListenOk) {
        std::fprintf(stderr, "reedtab-cli %s: %s\n", command,
                     tracker.status() == ListenNoLibrary
                         ? "the pitch analysis library (aubio) cannot be loaded"
                         : (path + ": a sample rate the analysis does not take").c_str());
        return std::nullopt;
    }
    AudioPitch result;
    result.rate = rate;
    result.hop = tracker.hop();
    result.onsetDelayMs = tracker.onsetDelayMs();
    tracker.process(samples.data(), samples.size(), result.frames);
    return result;
}

} // namespace reedtab::cli
