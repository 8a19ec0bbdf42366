// reedtab-cli pdf: the command as the table lists it. Its work is a program of its own (see
// pdfcommand.cpp) that this command starts in its place, found beside reedtab-cli in the build
// tree or in the program's library folder once installed.

#include "cli/args.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace reedtab::cli {

namespace {

constexpr int kHelperMissing = 6;

std::string programFolder() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return ".";
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

int run(const std::vector<std::string>& words) {
    const std::string folder = programFolder();
    std::string tried;
    for (std::string path :
         {folder + "/reedtab-cli-pdf", folder + "/" REEDTAB_CLI_HELPER_FOLDER "/reedtab-cli-pdf"}) {
        std::vector<char*> argv{path.data()};
        std::vector<std::string> copies(words);
        for (std::string& word : copies)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        tried += "\n  " + path + ": " + std::strerror(errno);
    }
    std::fprintf(stderr, "reedtab-cli pdf: cannot start the PDF program:%s\n", tried.c_str());
    return kHelperMissing;
}

const char* const help =
    "usage: reedtab-cli pdf FILE OUT.pdf [--mode notes|diatonic|chromatic|bb|eb]\n"
    "                   [--diatonic NAME|FILE.tun] [--chromatic NAME|FILE.tun] [--key N]\n"
    "                   [--beats-per-line N] [--treble|--no-treble] [--bass|--no-bass]\n"
    "                   [--no-color] [--from TICK] [--to TICK]\n"
    "                   [--optimize [--track N] [--avoid-bends] [--avoid-overblows]]\n"
    "\n"
    "Writes the pages the program prints for a MIDI file as an A4 PDF: lines of tablature\n"
    "with the file's path and the tablature title at the top and \"Page N\" at the bottom,\n"
    "then prints \"OUT.pdf: N pages\" with the PDF's full path. Needs no display. On a\n"
    "terminal it shows the pages written on stderr as it goes; Ctrl+C stops it and leaves\n"
    "OUT.pdf as it was.\n"
    "Every option defaults to the user's settings of the program (tablature type, tunings\n"
    "and keys, print options, fonts).\n"
    "--mode: note names for C, Bb or Eb instruments, or diatonic or chromatic tab.\n"
    "--diatonic, --chromatic: the tuning, a built-in name (see 'reedtab-cli notes --help') or\n"
    "a .tun file. --key N: the MIDI note of both harmonicas' key.\n"
    "--beats-per-line N: quarter notes per printed line, 1..48.\n"
    "--treble, --bass (and --no-...): which staves are printed; both give 5 lines a page,\n"
    "one or none 6.\n"
    "--no-color: white note bars.\n"
    "--from, --to: print only from tick --from to tick --to.\n"
    "--optimize: first choose for every note of one track (--track N, default the melody)\n"
    "the way of playing it that makes the whole phrase easiest; --avoid-bends and\n"
    "--avoid-overblows keep to other ways wherever there are any.\n"
    "Exit status: 0, the reader's result code when the file cannot be read, 2 for a usage\n"
    "error, an unknown tuning or an unreadable tuning file, 5 when OUT.pdf cannot be written,\n"
    "6 when the program's PDF helper is missing, 130 when stopped by Ctrl+C.\n";

const bool registered =
    registerCommand({"pdf", "the printed pages of a MIDI file as a PDF", help, run});

} // namespace

} // namespace reedtab::cli
