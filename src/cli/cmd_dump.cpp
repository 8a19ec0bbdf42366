// reedtab-cli dump: the song dump, one line per event.

#include "cli/args.h"
#include "cli/songfile.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

int run(const std::vector<std::string>& words) {
    Args args(words);
    std::optional<std::string> out = args.option("-o");
    std::vector<std::string> files = args.positionals();
    if (args.hasError())
        return usageError("dump", args.error());
    if (files.size() != 1)
        return usageError("dump", "expects one FILE (try --help)");
    MidiSong song;
    if (int result = loadSongReporting("dump", files[0], song); result != LoadOk)
        return result;
    if (out) {
        if (song.writeDump(*out) != 0) {
            std::fprintf(stderr, "reedtab-cli dump: %s: cannot write the dump\n", out->c_str());
            return kWriteFailed;
        }
        return 0;
    }
    std::string text = song.dumpText();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "reedtab-cli dump: standard output: write failed\n");
        return kWriteFailed;
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli dump FILE [-o OUT]\n"
    "\n"
    "Reads a MIDI file and writes the song dump: format, division, track count, the note\n"
    "repairs, then every event of every track with its bar:beat:tick position and its\n"
    "description, and the number of playable events. To standard output without -o.\n"
    "Exit status: 0; the reader's result code (1, 3, 4) when reading fails; 5 when writing\n"
    "fails; 2 for a usage error.\n";

const bool registered = registerCommand({"dump", "the text dump of a MIDI file", help, run});

} // namespace

} // namespace reedtab::cli
