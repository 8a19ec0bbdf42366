// reedtab-cli harps: which harmonica plays a song's melody best, and in which position.

#include "cli/args.h"
#include "cli/songfile.h"
#include "harmonica/harpfinder.h"

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
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError("harps", args.error());
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
    "                   [--json]\n"
    "\n"
    "Ranks the harmonicas that play a track's melody: every built-in diatonic tuning in\n"
    "each key of its usual octave and every built-in chromatic tuning in each key, the song\n"
    "moved an octave down or up where that suits the harp better. Each note counts by the\n"
    "way the harp plays it best: blow, draw, bend, overblow/overdraw or not at all. The best\n"
    "harp has the fewest unavailable notes, then the fewest overblows and overdraws, then\n"
    "the fewest bends, then the lower position.\n"
    "--track N: the track (numbered from 0); default the track with the most notes outside\n"
    "channel 10.\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "--no-bends, --no-overblows: leave out harps that need them.\n"
    "--json: one object with songKey, keySource (\"signature\" or \"estimated\"), track,\n"
    "notes and candidates (best first: tuning, chromatic, key, keyName, position, shift,\n"
    "blow, draw, bends, overs, unavailable).\n"
    "Exit status: 0, the reader's result code when the file cannot be read, 2 for a usage\n"
    "error.\n";

const bool registered = registerCommand(
    {"harps", "which harmonica plays a song best, and in which position", help, run});

} // namespace

} // namespace reedtab::cli
