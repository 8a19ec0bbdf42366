// reedtab-cli musicxml: a MIDI file as a MusicXML score for notation programs.

#include "cli/args.h"
#include "cli/fingeringoption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"
#include "formats/musicxml.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace reedtab::cli {

namespace {

constexpr const char* kName = "musicxml";

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    std::string message;
    const auto key = keyOption(args, 60, message);
    const bool tablature = args.flag("--tab");
    std::vector<long> tracks;
    while (const auto track = args.intOption("--track")) {
        tracks.push_back(*track);
    }
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError(kName, args.error());
    }
    if (!key) {
        return usageError(kName, message);
    }
    if (files.size() != 2) {
        return usageError(kName, "expects FILE and OUT.musicxml (try --help)");
    }
    Harmonicas harmonicas;
    const HarmonicaLayout* layout = harmonicas.choose(kName, diatonicName, chromaticName, *key);
    if (!layout) {
        return kUsageError;
    }

    MidiSong song;
    const int result = loadSongReporting(kName, files[0], song);
    if (result != LoadOk) {
        return result;
    }
    markNotes(song, false);
    MusicXmlOptions options;
    for (const long track : tracks) {
        if (track < 0 || !song.track(static_cast<int>(track))) {
            return usageError(kName, "the song has no track " + std::to_string(track));
        }
        options.tracks.push_back(static_cast<int>(track));
    }
    if (!tracks.empty()) {
        options.melodyTrack = options.tracks.front();
    }
    options.tablature = tablature ? layout : nullptr;
    const std::string score = writeMusicXml(song, options);
    std::ofstream out(files[1], std::ios::binary);
    out << score;
    out.close();
    if (!out) {
        std::fprintf(stderr, "reedtab-cli %s: %s: cannot write the file\n", kName,
                     files[1].c_str());
        return kWriteFailed;
    }
    const std::size_t parts =
        options.tracks.empty() ? musicXmlTracks(song).size() : options.tracks.size();
    std::printf("%s: %zu %s\n", files[1].c_str(), parts, parts == 1 ? "part" : "parts");
    return 0;
}

const char* const help =
    "usage: reedtab-cli musicxml FILE OUT.musicxml [--track N ...] [--tab]\n"
    "                   [--diatonic NAME|FILE.tun | --chromatic NAME|FILE.tun] [--key N]\n"
    "\n"
    "Writes a MIDI file as a partwise MusicXML 4.0 score, one part per track, and prints\n"
    "\"OUT.musicxml: N parts\". Each part is named after its track with its General MIDI\n"
    "program; notes are spelled for the key signature, split and tied at bar lines, rests\n"
    "fill the gaps, notes that start and end together are chords and overlapping notes go\n"
    "in voices; key and time signatures and tempo changes are kept, the words of a karaoke\n"
    "file are lyrics of the melody part.\n"
    "--track N: a track to write (counted from 0; repeat for more); the first is the melody\n"
    "part. Default: every shown track with notes, the drum channel left out, the melody\n"
    "track the harp finder picks.\n"
    "--tab: the tablature of the harmonica under every note of the melody part, as a lyric\n"
    "line of its own. --diatonic, --chromatic, --key N: that harmonica (default \"Major\n"
    "Diatonic (Richter)\" at key 60).\n"
    "Exit status: 0, the reader's result code when FILE cannot be read, 2 for a usage error\n"
    "or an unknown tuning, 5 when OUT.musicxml cannot be written.\n";

const bool registered = registerCommand({kName, "a MIDI file as a MusicXML score", help, run});

} // namespace

} // namespace reedtab::cli
