// reedtab-cli notes: every note a harmonica layout plays, with its alternatives.

#include "cli/args.h"
#include "cli/tuningoption.h"
#include "harmonica/notation.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const bool tuningFile = args.flag("--tun");
    const std::vector<std::string> rest = args.positionals();
    if (args.hasError()) {
        return usageError("notes", args.error());
    }
    if (!key) {
        return usageError("notes", message);
    }
    if (!rest.empty()) {
        return usageError("notes", "takes no FILE (try --help)");
    }
    if (diatonicName.has_value() == chromaticName.has_value()) {
        return usageError("notes", "expects one of --diatonic and --chromatic (try --help)");
    }

    Settings block;
    DiatonicLayout diatonic(block);
    ChromaticLayout chromatic(block);
    const Notation notation(block, diatonic, chromatic);
    HarmonicaLayout* layout = nullptr;
    if (diatonicName) {
        block.tabMode = kDiatonicTab;
        layout = &diatonic;
        if (!selectTuning("notes", "diatonic", diatonic, *diatonicName, *key)) {
            return kUsageError;
        }
    } else {
        block.tabMode = kChromaticTab;
        layout = &chromatic;
        if (!selectTuning("notes", "chromatic", chromatic, *chromaticName, *key)) {
            return kUsageError;
        }
    }
    if (tuningFile) {
        std::fputs(layout->tuningFileText().c_str(), stdout);
        return 0;
    }
    for (int note = 0; note <= 127; ++note) {
        NoteText text;
        std::string line;
        for (int k = 0; notation.notate(note, k, true, text) == 0; ++k) {
            line += (k ? ", " : "") + text.prefix + text.text;
        }
        if (!line.empty()) {
            std::printf("%d: %s\n", note, line.c_str());
        }
    }
    std::printf("%s\n", layout->layoutTitle().c_str());
    return 0;
}

std::string helpText() {
    const Settings block;
    return "usage: reedtab-cli notes (--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun) "
           "[--key N]\n"
           "                     [--tun]\n"
           "\n"
           "Lists every MIDI note 0..127 the harmonica plays, as \"N: ALT, ALT, ...\": each way\n"
           "of playing it as the view's note menu lists it (plain + and - symbols), the\n"
           "preferred first. The last line is the layout's description.\n"
           "--key N: the MIDI note of the tuning's key (default 60).\n"
           "--tun: instead, the tuning as a tuning file (.tun) that the harmonica windows and\n"
           "these commands read back.\n"
           "A tuning is a built-in name or a .tun file. Diatonic tunings:\n" +
           tuningList(DiatonicLayout(block)) + "Chromatic tunings:\n" +
           tuningList(ChromaticLayout(block)) +
           "Exit status: 0, or 2 for a usage error, an unknown tuning or an unreadable file.\n";
}

const std::string help = helpText();

const bool registered =
    registerCommand({"notes", "the notes a harmonica plays, hole by hole", help.c_str(), run});

} // namespace

} // namespace reedtab::cli
