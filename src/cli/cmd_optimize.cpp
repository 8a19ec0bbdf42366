// reedtab-cli optimize: a MIDI file saved with the fingerings that make a track's phrase
// easiest on a harmonica.

#include "cli/args.h"
#include "cli/fingeringoption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

constexpr const char* kName = "optimize";

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const auto from = tickOption(args, "--from", message);
    const auto to = tickOption(args, "--to", message);
    const auto request = fingeringRequest(args, false, message);
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError(kName, args.error());
    }
    if (!key || !from || !to || !request) {
        return usageError(kName, message);
    }
    if (files.size() != 2) {
        return usageError(kName, "expects IN and OUT (try --help)");
    }
    Harmonicas harmonicas;
    const HarmonicaLayout* layout = harmonicas.choose(kName, diatonicName, chromaticName, *key);
    if (!layout) {
        return kUsageError;
    }

    MidiSong song;
    const int result = loadSongReporting(kName, files[0], song);
    if (result != LoadOk) {
        return result;
    }
    markNotes(song, harmonicas.block.showDrumsNotes);
    const auto track = requestTrack(kName, *request, song);
    if (!track) {
        return kUsageError;
    }
    if (*track < 0) {
        std::fprintf(stderr, "reedtab-cli %s: %s: the song has no notes\n", kName,
                     files[0].c_str());
        return kUsageError;
    }
    const int changed = optimizeTrack(song, *track, *from, *to, *layout, request->options);
    if (song.saveFile(files[1]) != SaveOk) {
        std::fprintf(stderr, "reedtab-cli %s: %s: cannot write the file\n", kName,
                     files[1].c_str());
        return kWriteFailed;
    }
    std::printf("%s: track %d, %d %s changed\n", files[1].c_str(), *track, changed,
                changed == 1 ? "fingering" : "fingerings");
    return 0;
}

const char* const help =
    "usage: reedtab-cli optimize IN OUT [--track N] [--from TICK] [--to TICK]\n"
    "                   [--avoid-bends] [--avoid-overblows]\n"
    "                   [--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun] [--key N]\n"
    "\n"
    "Chooses for every note of one track the way of playing it on the harmonica that makes\n"
    "the whole phrase easiest (bends, overblows and the slide cost effort, and so do moves\n"
    "between holes, changes of breath and of the slide; notes that start together stay\n"
    "playable together), keeps the choice with each note as the program's note menu does,\n"
    "saves the song as OUT and prints \"OUT: track N, M fingerings changed\".\n"
    "--track N: the track (counted from 0); default the melody track.\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "--avoid-bends, --avoid-overblows: keep to other ways wherever there are any.\n"
    "--diatonic, --chromatic: the harmonica, a built-in tuning name (see 'reedtab-cli notes\n"
    "--help') or a .tun file; default \"Major Diatonic (Richter)\". --key N: the MIDI note of\n"
    "its key (default 60).\n"
    "Exit status: 0, the reader's result code when IN cannot be read, 2 for a usage error,\n"
    "an unknown tuning or a song without notes, 5 when OUT cannot be written.\n";

const bool registered = registerCommand(
    {kName, "save a MIDI file with the fingerings that play a track easiest", help, run});

} // namespace

} // namespace reedtab::cli
