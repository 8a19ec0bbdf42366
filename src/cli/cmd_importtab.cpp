// reedtab-cli import-tab: a text tablature, as players post it, made a MIDI file.

#include "cli/args.h"
#include "cli/fingeringoption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "formats/tabtext.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace reedtab::cli {

namespace {

constexpr const char* kName = "import-tab";
constexpr int kCannotRead = 1;
constexpr int kBadTablature = 3;
// A text tablature is a few kilobytes; the cap keeps a wrong file from filling memory.
constexpr std::size_t kMaxTextBytes = 16 << 20;

bool readText(const std::string& path, std::string& text) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            return false;
        }
        in = &file;
    }
    text.resize(kMaxTextBytes);
    in->read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in->bad()) {
        return false;
    }
    text.resize(static_cast<std::size_t>(in->gcount()));
    return true;
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto styleName = args.option("--style");
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    const bool keyGiven =
        std::find(words.begin(), words.end(), std::string("--key")) != words.end();
    std::string message;
    const auto key = keyOption(args, 60, message);
    const auto tempo = args.intOption("--tempo");
    const auto beats = args.intOption("--beats");
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError(kName, args.error());
    }
    if (!key) {
        return usageError(kName, message);
    }
    if (files.size() != 2) {
        return usageError(kName, "expects TEXT and OUT.mid (try --help)");
    }
    const auto style = tabStyleNamed(styleName.value_or("auto"));
    if (!style) {
        return usageError(kName,
                          "--style takes auto, plus, plain, harpsurgery, b-bends or draw-default");
    }
    if (tempo && (*tempo < 10 || *tempo > 400)) {
        return usageError(kName, "--tempo takes 10..400 quarter notes a minute");
    }
    if (beats && (*beats < 1 || *beats > 16)) {
        return usageError(kName, "--beats takes 1..16");
    }
    std::string text;
    if (!readText(files[0], text)) {
        std::fprintf(stderr, "reedtab-cli %s: %s: cannot read the file\n", kName, files[0].c_str());
        return kCannotRead;
    }

    Harmonicas harmonicas;
    const TabHeader header = readTabHeader(text);
    HarmonicaLayout* layout = nullptr;
    // The harp the header names, unless the command line names one.
    if (!diatonicName && !chromaticName && !keyGiven && !header.harp.empty()) {
        if (selectHarp(harmonicas.diatonic, header.harp)) {
            layout = &harmonicas.diatonic;
        } else if (selectHarp(harmonicas.chromatic, header.harp)) {
            layout = &harmonicas.chromatic;
        }
    }
    if (!layout) {
        layout = harmonicas.choose(kName, diatonicName, chromaticName, *key);
        if (!layout) {
            return kUsageError;
        }
    }
    TabReadOptions options;
    options.style = *style;
    options.beatsPerBar = static_cast<int>(beats.value_or(4));
    TabReadError error;
    const auto chords = readTabText(text, *layout, options, error);
    if (!chords) {
        std::fprintf(stderr, "reedtab-cli %s: %s: %s\n", kName, files[0].c_str(),
                     error.text().c_str());
        return kBadTablature;
    }
    TabSongOptions song;
    song.title = header.title;
    song.tempo = static_cast<double>(tempo.value_or(120));
    song.beatsPerBar = options.beatsPerBar;
    MidiSong out;
    tabSong(*chords, *layout, song, out);
    if (out.saveFile(files[1]) != SaveOk) {
        std::fprintf(stderr, "reedtab-cli %s: %s: cannot write the file\n", kName,
                     files[1].c_str());
        return kWriteFailed;
    }
    std::size_t notes = 0;
    for (const TabChord& chord : *chords) {
        notes += chord.notes.size();
    }
    std::printf("%s: %zu notes on the %s\n", files[1].c_str(), notes,
                layout->layoutTitle().c_str());
    return 0;
}

const char* const help =
    "usage: reedtab-cli import-tab TEXT OUT.mid\n"
    "                   [--style auto|plus|plain|harpsurgery|b-bends|draw-default]\n"
    "                   [--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun] [--key N]\n"
    "                   [--tempo BPM] [--beats N]\n"
    "\n"
    "Reads a text tablature as players post it (TEXT, or - for the standard input) and\n"
    "writes it as a one-track MIDI file for the harmonica, each note with the way of playing\n"
    "it that its token names, then prints \"OUT.mid: N notes on the HARP\".\n"
    "Every token is a note, a quarter note long: +4 or 4 blow, -4 draw, 4B 4D, bends as\n"
    "-3' -3'' -3\" or -3b -3bb, overblows and overdraws as 6o 6B# -7o, a chromatic's slide as\n"
    "+4< and its low octave as +3'; \"|\" starts a bar, \"(4 5 6)\" or \"(-1-2-3)\" is a chord,\n"
    "\"[Bb4]\" a note by name, and the end of a line starts a bar. Lines that do not start\n"
    "like tablature (titles, words) are passed over.\n"
    "--style: how bare numbers read; auto (default) reads them as draws when the text writes\n"
    "blows as +4 and has no -, as blows otherwise.\n"
    "--diatonic, --chromatic, --key N: the harmonica; without them the one the text's\n"
    "\"Harp:\" line names, else \"Major Diatonic (Richter)\" at key 60.\n"
    "--tempo BPM: quarter notes a minute (default 120). --beats N: quarter notes a bar\n"
    "(default 4).\n"
    "A token it cannot read stops it with \"line L, column C: reason\" and nothing is written.\n"
    "Exit status: 0, 1 when TEXT cannot be read, 2 for a usage error or an unknown tuning,\n"
    "3 for a token it cannot read, 5 when OUT.mid cannot be written.\n";

const bool registered = registerCommand({kName, "a text tablature as a MIDI file", help, run});

} // namespace

} // namespace reedtab::cli
