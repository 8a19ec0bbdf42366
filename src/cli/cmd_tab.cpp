// reedtab-cli tab: the tablature of a MIDI file as text.

#include "cli/args.h"
#include "cli/fingeringoption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"
#include "formats/tabtext.h"
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
    const bool text = args.flag("--text");
    const auto styleName = args.option("--style");
    const auto barsPerLine = args.intOption("--bars-per-line");
    const bool lyrics = args.flag("--lyrics");
    const auto fingerings = fingeringRequest(args, true, message);
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError("tab", args.error());
    }
    if (!key || !from || !to || !fingerings) {
        return usageError("tab", message);
    }
    if (files.size() != 1) {
        return usageError("tab", "expects one FILE (try --help)");
    }
    const auto mode = modeOf(modeName.value_or("diatonic"));
    if (!mode) {
        return usageError("tab", "--mode takes notes, diatonic, chromatic, bb or eb");
    }
    const auto style = tabStyleNamed(styleName.value_or("plus"));
    if (!style || *style == TabStyle::Auto) {
        return usageError("tab", "--style takes plus, plain, harpsurgery, b-bends or draw-default");
    }
    if (barsPerLine && (*barsPerLine < 1 || *barsPerLine > 64)) {
        return usageError("tab", "--bars-per-line takes 1..64");
    }
    if (!text && (styleName || barsPerLine || lyrics)) {
        return usageError("tab", "--style, --bars-per-line and --lyrics go with --text");
    }
    if ((text || fingerings->optimize) && *mode != kDiatonicTab && *mode != kChromaticTab) {
        return usageError("tab", "--text and --optimize need a harmonica: --mode diatonic or "
                                 "chromatic");
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
    const HarmonicaLayout& layout =
        *mode == kChromaticTab ? static_cast<const HarmonicaLayout&>(chromatic) : diatonic;
    std::optional<int> track;
    if (text || fingerings->optimize) {
        track = requestTrack("tab", *fingerings, song);
        if (!track) {
            return kUsageError;
        }
    }
    if (fingerings->optimize) {
        optimizeTrack(song, *track, *from, *to, layout, fingerings->options);
    }
    if (text) {
        TabTextOptions options;
        options.style = *style;
        options.barsPerLine = static_cast<int>(barsPerLine.value_or(4));
        options.lyrics = lyrics;
        options.from = *from;
        options.to = *to;
        std::fputs(writeTabText(song, *track, layout, options).c_str(), stdout);
        return 0;
    }
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
    "                   [--text [--style plus|plain|harpsurgery|b-bends|draw-default]\n"
    "                    [--bars-per-line N] [--lyrics]] [--track N]\n"
    "                   [--optimize [--avoid-bends] [--avoid-overblows]]\n"
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
    "--text: instead, the text tablature players post of one track (--track N, default the\n"
    "melody track): a header (title, harp, position), then the notes in time order, \"|\"\n"
    "between bars, --bars-per-line N bars to a line (default 4), notes that start together\n"
    "in parentheses, rests left out. --style spells the notes: plus (+4 -4 -4' +6o, the\n"
    "default), plain (4 -4 -4'), harpsurgery (4B 4D 4D' 6B#), b-bends (-4b -3bb),\n"
    "draw-default (+4 for a blow, 4 for a draw). --lyrics: the words of a karaoke file under\n"
    "their notes.\n"
    "--optimize: first choose for every note of the track (--track N, default the melody)\n"
    "the way of playing it that makes the whole phrase easiest; --avoid-bends and\n"
    "--avoid-overblows keep to other ways wherever there are any.\n"
    "Exit status: 0, the reader's result code when the file cannot be read, 2 for a usage\n"
    "error, an unknown tuning or an unreadable tuning file.\n";

const bool registered = registerCommand({"tab", "the tablature of a MIDI file as text", help, run});

} // namespace

} // namespace reedtab::cli
