// reedtab-cli tab: the tablature of a MIDI file as text.

#include "cli/args.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"
#include "harmonica/tablaturetext.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto modeName = args.option("--mode");
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const auto from = tickOption(args, "--from", message);
    const auto to = tickOption(args, "--to", message);
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError("tab", args.error());
    }
    if (!key || !from || !to) {
        return usageError("tab", message);
    }
    if (files.size() != 1) {
        return usageError("tab", "expects one FILE (try --help)");
    }
    const auto mode = modeOf(modeName.value_or("diatonic"));
    if (!mode) {
        return usageError("tab", "--mode takes notes, diatonic, chromatic, bb or eb");
    }

    Settings block;
    block.tabMode = *mode;
    DiatonicLayout diatonic(block);
    ChromaticLayout chromatic(block);
    if (!selectTunings("tab", diatonic, chromatic, diatonicName, chromaticName, *key)) {
        return kUsageError;
    }
    const Notation notation(block, diatonic, chromatic);

    MidiSong song;
    const int result = loadSongReporting("tab", files[0], song);
    if (result != LoadOk) {
        return result;
    }
    markNotes(song, block.showDrumsNotes);
    std::string title;
    notation.tabTitle(false, title);
    std::printf("%s\n", title.c_str());
    const SongTablature tab = tablatureText(song, notation, *from, *to);
    for (const TrackTablature& track : tab.tracks) {
        std::printf("Track %02d: %s\n", track.trackIndex,
                    song.track(track.trackIndex)->name.c_str());
        for (const TablatureGroup& group : track.groups) {
            std::printf("%s %s\n", formatBarBeatTick(song.tickToBarBeatTick(group.tick)).c_str(),
                        group.text.c_str());
        }
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli tab FILE [--mode notes|diatonic|chromatic|bb|eb]\n"
    "                   [--diatonic NAME|FILE.tun] [--chromatic NAME|FILE.tun] [--key N]\n"
    "                   [--from TICK] [--to TICK]\n"
    "\n"
    "Prints the tablature of a MIDI file as the view shows it: the title of the notation,\n"
    "then for each shown track with notes a line \"Track NN: name\" (tracks numbered from 0)\n"
    "and one line per group of notes starting together, \"bar:beat:tick TEXT\". In TEXT each\n"
    "note is written with plain + and - symbols, \"/\" in front of a note that starts a new\n"
    "bar; notes the harmonica cannot play are written by name.\n"
    "--mode: note names for C, Bb or Eb instruments, or diatonic (default) or chromatic tab.\n"
    "--diatonic, --chromatic: the tuning, a built-in name (see 'reedtab-cli notes --help') or\n"
    "a .tun file; defaults \"Major Diatonic (Richter)\" and \"12 Hole Chromatic (std 48)\".\n"
    "--key N: the MIDI note of the harmonica's key (default 60).\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "Exit status: 0, the reader's result code when the file cannot be read, 2 for a usage\n"
    "error, an unknown tuning or an unreadable tuning file.\n";

const bool registered = registerCommand({"tab", "the tablature of a MIDI file as text", help, run});

} // namespace

} // namespace reedtab::cli
