// reedtab-cli pitch: the pitch of an audio recording, frame by frame.

#include "cli/args.h"
#include "cli/audiooption.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

const char* const kNames[] = {"C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};

void printJson(const AudioPitch& pitch) {
    std::printf("{\"rate\": %d, \"hop\": %d, \"frames\": [", pitch.rate, pitch.hop);
    const char* separator = "\n";
    for (const PitchFrame& f : pitch.frames) {
        if (f.hasPitch()) {
            std::printf("%s  {\"ms\": %.3f, \"hz\": %.3f, \"confidence\": %.3f, \"note\": %d, "
                        "\"cents\": %.1f}",
                        separator, f.ms, f.hz, f.confidence, f.note, f.cents);
        } else {
            std::printf("%s  {\"ms\": %.3f, \"hz\": 0, \"confidence\": %.3f, \"note\": null, "
                        "\"cents\": null}",
                        separator, f.ms, f.confidence);
        }
        separator = ",\n";
    }
    std::printf("\n]}\n");
}

void printTable(const AudioPitch& pitch, double a4) {
    std::printf("%d Hz, a frame every %d samples, A4 = %.1f Hz\n", pitch.rate, pitch.hop, a4);
    std::printf("%10s %9s %6s %6s %7s\n", "ms", "Hz", "conf", "note", "cents");
    for (const PitchFrame& f : pitch.frames) {
        if (!f.hasPitch()) {
            std::printf("%10.1f %9s %6.2f %6s %7s\n", f.ms, "-", f.confidence, "-", "-");
            continue;
        }
        const std::string name = kNames[f.note % 12] + std::to_string(f.note / 12 - 1);
        std::printf("%10.1f %9.2f %6.2f %6s %+7.1f\n", f.ms, f.hz, f.confidence, name.c_str(),
                    f.cents);
    }
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    std::string message;
    const auto a4 = a4Option(args, message);
    const bool json = args.flag("--json");
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("pitch", args.error());
    }
    if (!a4) {
        return usageError("pitch", message);
    }
    if (files.size() != 1) {
        return usageError("pitch", "expects one AUDIO file (try --help)");
    }
    const auto pitch = analyseAudio("pitch", files[0], *a4);
    if (!pitch) {
        return kAudioFailed;
    }
    if (json) {
        printJson(*pitch);
    } else {
        printTable(*pitch, *a4);
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli pitch AUDIO [--a4 HZ] [--json]\n"
    "\n"
    "Prints the pitch of a recording (WAV, FLAC, Ogg ...; several channels are mixed) frame by\n"
    "frame, as listening hears it: one frame every hop of samples, each with the time at which\n"
    "its result is known (the end of its analysis window) in ms, the frequency, the confidence\n"
    "0..1, the nearest note and the cents from it. Frames that are too quiet or not confident\n"
    "enough have no pitch.\n"
    "--a4 HZ: the concert pitch, 430..450 (default 440).\n"
    "--json: one object {\"rate\": R, \"hop\": H, \"frames\": [{\"ms\": T, \"hz\": F,\n"
    "\"confidence\": C, \"note\": N, \"cents\": X}, ...]}, with \"hz\": 0, \"note\": null and\n"
    "\"cents\": null for frames without a pitch.\n"
    "Exit status: 0, 1 when the file cannot be read or analysed, 2 for a usage error.\n";

const bool registered =
    registerCommand({"pitch", "the pitch of an audio recording, frame by frame", help, run});

} // namespace

} // namespace reedtab::cli
