// reedtab-cli harps: which harmonica plays a song's melody best, and in which position.

#include "cli/args.h"
#include "cli/songfile.h"
#include "harmonica/harpfinder.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

// A JSON string literal of text that holds no control characters but may hold quotes.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + '"';
}

void printJson(const FinderResult& result) {
    std::printf("{\"songKey\": %s, \"keySource\": \"%s\", \"track\": %d, \"notes\": %d, "
                "\"candidates\": [",
                quoted(result.key.name()).c_str(),
                result.key.fromSignature ? "signature" : "estimated", result.track, result.notes);
    const char* separator = "\n";
    for (const HarpCandidate& c : result.candidates) {
        std::printf("%s  {\"tuning\": %s, \"chromatic\": %s, \"key\": %d, \"keyName\": %s, "
                    "\"position\": %d, \"shift\": %d, \"blow\": %d, \"draw\": %d, \"bends\": %d, "
                    "\"overs\": %d, \"unavailable\": %d}",
                    separator, quoted(c.tuning).c_str(), c.chromatic ? "true" : "false", c.key,
                    quoted(c.keyName).c_str(), c.position, c.shift, c.use.blow, c.use.draw,
                    c.use.bends, c.use.overs, c.use.unavailable);
        separator = ",\n";
    }
    std::printf("]}\n");
}

void printTable(const FinderResult& result) {
    std::printf("Song key: %s (%s), track %d, %d notes\n", result.key.name().c_str(),
                result.key.fromSignature ? "key signature" : "estimated from the notes",
                result.track, result.notes);
    std::printf("%-4s %-5s %-4s %6s %5s %5s %5s %5s %5s  %s\n", "Rank", "Key", "Pos", "Shift",
                "Blow", "Draw", "Bend", "Over", "N/A", "Tuning");
    int rank = 0;
    for (const HarpCandidate& c : result.candidates) {
        std::printf("%-4d %-5s %-4d %+6d %5d %5d %5d %5d %5d  %s\n", ++rank, c.keyName.c_str(),
                    c.position, c.shift, c.use.blow, c.use.draw, c.use.bends, c.use.overs,
                    c.use.unavailable, c.tuning.c_str());
    }
}

// The harps of --my-harps (the user's settings) and of every --harp, each once; false (and a
// one-line reason in `message`) for a --harp that names no harp.
bool ownedHarps(Args& args, std::vector<OwnedHarp>& harps, std::string& message) {
    const auto add = [&harps](const OwnedHarp& harp) {
        if (std::find(harps.begin(), harps.end(), harp) == harps.end()) {
            harps.push_back(harp);
        }
    };
    if (args.flag("--my-harps")) {
        MemorySettingsStore store;
        readIniFile(userSettingsFile(), store);
        Settings block;
        loadSettings(store, block);
        if (block.myHarps.empty()) {
            std::fprintf(stderr, "reedtab-cli harps: no harps are chosen under My harps in the "
                                 "settings; every harp is ranked\n");
        }
        std::for_each(block.myHarps.begin(), block.myHarps.end(), add);
    }
    while (const auto text = args.option("--harp")) {
        const auto harp = parseHarp(*text, message);
        if (!harp) {
            message = "--harp: " + message;
            return false;
        }
        add(*harp);
    }
    return true;
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto track = args.intOption("--track");
    const auto from = args.intOption("--from");
    const auto to = args.intOption("--to");
    const bool diatonicOnly = args.flag("--diatonic-only");
    const bool chromaticOnly = args.flag("--chromatic-only");
    FinderOptions options;
    options.noBends = args.flag("--no-bends");
    options.noOvers = args.flag("--no-overblows");
    const bool json = args.flag("--json");
    std::string message;
    const bool harpsRead = ownedHarps(args, options.harps, message);
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError("harps", args.error());
    }
    if (!harpsRead) {
        return usageError("harps", message);
    }
    if (files.size() != 1) {
        return usageError("harps", "expects one FILE (try --help)");
    }
    if (diatonicOnly && chromaticOnly) {
        return usageError("harps", "--diatonic-only and --chromatic-only exclude each other");
    }
    if ((from && (*from < 0 || *from > INT32_MAX)) || (to && (*to < 0 || *to > INT32_MAX))) {
        return usageError("harps", "--from and --to take a tick from 0");
    }
    options.diatonic = !chromaticOnly;
    options.chromatic = !diatonicOnly;

    MidiSong song;
    const int result = loadSongReporting("harps", files[0], song);
    if (result != LoadOk) {
        return result;
    }
    if (track && (*track < 0 || *track >= song.trackCount())) {
        return usageError("harps", "--track takes a track of the file, 0 to " +
                                       std::to_string(song.trackCount() - 1));
    }
    FinderRange range;
    range.track = track ? static_cast<int>(*track) : -1;
    range.from = from ? static_cast<int32_t>(*from) : -1;
    range.to = to ? static_cast<int32_t>(*to) : -1;
    const FinderResult found = findHarps(song, range, options);
    if (json) {
        printJson(found);
    } else {
        printTable(found);
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli harps FILE [--track N] [--from TICK] [--to TICK]\n"
    "                   [--diatonic-only|--chromatic-only] [--no-bends] [--no-overblows]\n"
    "                   [--my-harps] [--harp NAME@KEY ...] [--json]\n"
    "\n"
    "Ranks the harmonicas that play a track's melody: every built-in diatonic tuning in\n"
    "each key of its usual octave and every built-in chromatic tuning in each key, the song\n"
    "moved an octave down or up where that suits the harp better. Each note counts by the\n"
    "way the harp plays it best: blow, draw, bend, overblow/overdraw or not at all. The best\n"
    "harp has the fewest unavailable notes, then the fewest overblows and overdraws, then\n"
    "the fewest bends; on equal counts the plain Major Diatonic (Richter) comes before the\n"
    "other tunings, and positions 1, 2, 3, 12 and 4 (in that order) before the others.\n"
    "--track N: the track (numbered from 0); default the melody: a track named melody,\n"
    "lead, vocal, voice, tune or solo, else the track the lyrics go with, else the highest\n"
    "track that plays one note at a time (notes on channel 10 never count).\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "--no-bends, --no-overblows: leave out harps that need them.\n"
    "--my-harps: only the harps chosen under My harps in the program's settings (all of\n"
    "them when none is chosen).\n"
    "--harp NAME@KEY: only this harp (repeatable, and together with --my-harps): NAME a\n"
    "tuning as 'reedtab-cli notes --help' lists it, KEY the key the harp is named after, a\n"
    "note name such as C, Bb or F#. Example: --harp 'Major Diatonic (Richter)@A'.\n"
    "--json: one object with songKey, keySource (\"signature\" or \"estimated\"), track,\n"
    "notes and candidates (best first: tuning, chromatic, key, keyName, position, shift,\n"
    "blow, draw, bends, overs, unavailable).\n"
    "Exit status: 0, the reader's result code when the file cannot be read, 2 for a usage\n"
    "error.\n";

const bool registered = registerCommand(
    {"harps", "which harmonica plays a song best, and in which position", help, run});

} // namespace

} // namespace reedtab::cli
