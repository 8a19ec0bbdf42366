// reedtab-cli copy: read a MIDI file and write it back.

#include "cli/args.h"
#include "cli/songfile.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

int run(const std::vector<std::string>& words) {
    Args args(words);
    std::vector<std::string> files = args.positionals();
    if (args.hasError())
        return usageError("copy", args.error());
    if (files.size() != 2)
        return usageError("copy", "expects IN and OUT (try --help)");
    MidiSong song;
    if (int result = loadSongReporting("copy", files[0], song); result != LoadOk)
        return result;
    if (song.saveFile(files[1]) != SaveOk) {
        std::fprintf(stderr, "reedtab-cli copy: %s: cannot write the file\n", files[1].c_str());
        return kWriteFailed;
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli copy IN OUT\n"
    "\n"
    "Reads a MIDI file as the program does (format 0 split per channel, notes paired and\n"
    "repaired) and writes it to OUT as a format 1 Standard MIDI File. OUT is replaced only\n"
    "once it has been written completely.\n"
    "Exit status: 0; the reader's result code (1, 3, 4) when reading fails; 5 when writing\n"
    "fails; 2 for a usage error.\n";

const bool registered = registerCommand({"copy", "read a MIDI file and write it back", help, run});

} // namespace

} // namespace reedtab::cli
