// reedtab-cli listen: judges a recording of the player against a song.

#include "cli/args.h"
#include "cli/audiooption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "listen/heardname.h"
#include "listen/judge.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

std::string orNull(const std::optional<double>& value, const char* format) {
    if (!value) {
        return "null";
    }
    char text[32];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

// What was heard, named: the heard note with its own cents, for the table and "heardTab".
HeardName heardName(const HeardNamer& namer, const JudgedNote& note) {
    const int heard = *note.heard;
    const double cents = *note.cents - (heard - note.expected.note) * 100.0;
    return namer.name(heard, cents, heard == note.expected.note ? note.expected.fingering : 0);
}

void printJson(int track, double tolerance, const std::vector<JudgedNote>& notes,
               const Judge& judge, const HeardNamer& namer) {
    std::printf("{\"track\": %d, \"tolerance\": %g, \"notes\": [", track, tolerance);
    const char* separator = "\n";
    for (const JudgedNote& n : notes) {
        const std::string heard = n.heard ? std::to_string(*n.heard) : "null";
        const std::string heardTab =
            n.heard ? jsonString(heardName(namer, n).tab) : std::string("null");
        std::printf("%s  {\"tick\": %d, \"ms\": %.1f, \"expected\": %d, \"tab\": %s, "
                    "\"verdict\": \"%s\", \"heard\": %s, \"heardTab\": %s, \"cents\": %s, "
                    "\"timingMs\": %s}",
                    separator, n.expected.tick, n.expected.ms, n.expected.note,
                    jsonString(namer.tab(n.expected.note, n.expected.fingering)).c_str(),
                    verdictName(n.verdict), heard.c_str(), heardTab.c_str(),
                    orNull(n.cents, "%.1f").c_str(), orNull(n.timingMs, "%.1f").c_str());
        separator = ",\n";
    }
    const PassScore score = judge.score();
    std::printf("\n], \"extra\": %d, \"score\": {\"hit\": %d, \"wrong\": %d, \"missed\": %d, "
                "\"accuracy\": %.4f, \"medianTimingMs\": %s}}\n",
                score.extras, score.hits, score.wrongs, score.misses, score.accuracy,
                orNull(score.medianTimingMs, "%.1f").c_str());
}

void printTable(const MidiSong& song, int track, double tolerance, const std::string& title,
                const std::vector<JudgedNote>& notes, const Judge& judge, const HeardNamer& namer) {
    const MidiTrack* t = song.track(track);
    const std::string name = t && !t->name.empty() ? ": " + t->name : "";
    std::printf("Track %02d%s; %zu notes; tolerance %g cents; %s\n", track, name.c_str(),
                notes.size(), tolerance, title.c_str());
    std::printf("%-11s %9s %-8s %-7s %-44s %s\n", "position", "ms", "expected", "verdict", "heard",
                "timing");
    for (const JudgedNote& n : notes) {
        const std::string heard = n.heard ? heardName(namer, n).describe() : "";
        const std::string timing = orNull(n.timingMs, "%+.0f ms");
        std::printf("%-11s %9.1f %-8s %-7s %-44s %s\n",
                    formatBarBeatTick(song.tickToBarBeatTick(n.expected.tick)).c_str(),
                    n.expected.ms, namer.tab(n.expected.note, n.expected.fingering).c_str(),
                    verdictName(n.verdict), heard.c_str(), n.timingMs ? timing.c_str() : "");
    }
    const PassScore s = judge.score();
    std::printf("Score: %d hit, %d wrong, %d missed of %d (%.1f %%), %d extra", s.hits, s.wrongs,
                s.misses, s.expected, 100.0 * s.accuracy, s.extras);
    if (s.medianTimingMs) {
        std::printf("; timing median %+.0f ms, spread %.0f ms", *s.medianTimingMs,
                    *s.timingSpreadMs);
    }
    std::printf("\n");
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto track = args.intOption("--track");
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    const auto offset = args.numberOption("--offset");
    const auto tolerance = args.numberOption("--tolerance");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const auto from = tickOption(args, "--from", message);
    const auto to = tickOption(args, "--to", message);
    const auto a4 = a4Option(args, message);
    const bool json = args.flag("--json");
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("listen", args.error());
    }
    if (!key || !from || !to || !a4) {
        return usageError("listen", message);
    }
    if (files.size() != 2) {
        return usageError("listen", "expects SONG and AUDIO (try --help)");
    }
    if (diatonicName && chromaticName) {
        return usageError("listen", "--diatonic and --chromatic exclude each other");
    }
    if (tolerance && (*tolerance < kToleranceLow || *tolerance > kToleranceHigh)) {
        return usageError("listen", "--tolerance takes 10 to 100 cents");
    }

    Settings block;
    block.tabMode = chromaticName ? kChromaticTab : kDiatonicTab;
    DiatonicLayout diatonic(block);
    ChromaticLayout chromatic(block);
    if (!selectTunings("listen", diatonic, chromatic, diatonicName, chromaticName, *key)) {
        return kUsageError;
    }
    const HeardNamer namer(block, diatonic, chromatic);

    MidiSong song;
    if (const int result = loadSongReporting("listen", files[0], song); result != LoadOk) {
        return result;
    }
    if (track && (*track < 0 || *track >= song.trackCount())) {
        return usageError("listen", "--track takes a track of the file, 0 to " +
                                        std::to_string(song.trackCount() - 1));
    }
    const auto pitch = analyseAudio("listen", files[1], *a4);
    if (!pitch) {
        return kAudioFailed;
    }

    ListenRange range;
    range.track = track ? static_cast<int>(*track) : -1;
    range.from = *from;
    range.to = *to;
    ExpectedTrack expected = expectedNotes(song, range);
    expected.placeFirstAt(offset.value_or(0.0));
    JudgeOptions options;
    options.toleranceCents = tolerance.value_or(options.toleranceCents);
    options.analysisDelayMs = pitch->onsetDelayMs;
    Judge judge(options);
    for (const ExpectedNote& note : expected.notes) {
        judge.expect(note);
    }
    for (const PitchFrame& frame : pitch->frames) {
        judge.hear(frame);
    }
    judge.finish();

    if (json) {
        printJson(expected.track, options.toleranceCents, judge.judged(), judge, namer);
    } else {
        std::string title;
        Notation(block, diatonic, chromatic).tabTitle(false, title);
        printTable(song, expected.track, options.toleranceCents, title, judge.judged(), judge,
                   namer);
    }
    return 0;
}

const char* const help =
    "usage: reedtab-cli listen SONG AUDIO [--track N]\n"
    "                   [--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun] [--key N]\n"
    "                   [--from TICK] [--to TICK] [--offset MS] [--tolerance CENTS]\n"
    "                   [--a4 HZ] [--json]\n"
    "\n"
    "Judges a recording of the player (WAV, FLAC, Ogg ...) against a track of the song.\n"
    "Each expected note is a hit (a confident pitch within the tolerance), wrong (a\n"
    "confident pitch outside it: the note heard and how far) or missed (nothing\n"
    "confident), with the timing of the heard start against the expected one in ms\n"
    "(positive: late); heard notes that match no expected note count as extra. Of a\n"
    "chord only the highest note is expected. Heard notes are named as holes and\n"
    "techniques of the harmonica.\n"
    "--track N: the track (numbered from 0); default the track with the most notes\n"
    "outside channel 10.\n"
    "--diatonic, --chromatic: the harmonica, a built-in tuning or a .tun file; default\n"
    "\"Major Diatonic (Richter)\" (see 'reedtab-cli notes --help'). --key N: the MIDI\n"
    "note of its key (default 60).\n"
    "--from, --to: only notes starting at or after --from and before --to (ticks).\n"
    "--offset MS: where in the recording the range's first note falls (the first note of\n"
    "the track at or after --from, else its first note); default 0.\n"
    "--tolerance CENTS: 10..100 (default 30). --a4 HZ: concert pitch 430..450 (440).\n"
    "--json: {\"track\": N, \"tolerance\": C, \"notes\": [{\"tick\": T, \"ms\": M,\n"
    "\"expected\": N, \"tab\": \"+4\", \"verdict\": \"hit\"|\"wrong\"|\"missed\", \"heard\": "
    "N|null,\n"
    "\"heardTab\": \"-3'\"|null, \"cents\": X|null, \"timingMs\": D|null}, ...], \"extra\": K,\n"
    "\"score\": {\"hit\": H, \"wrong\": W, \"missed\": M, \"accuracy\": A,\n"
    "\"medianTimingMs\": D}}; ms is the note's time in the recording, cents the heard\n"
    "pitch against the expected note's.\n"
    "Exit status: 0, the reader's result code when the song cannot be read, 1 when the\n"
    "audio cannot be read or analysed, 2 for a usage error or an unknown tuning.\n";

const bool registered =
    registerCommand({"listen", "judge a recording of the player against a song", help, run});

} // namespace

} // namespace reedtab::cli
