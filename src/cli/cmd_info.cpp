// reedtab-cli info: what the reader made of a file.

#include "cli/args.h"
#include "cli/songfile.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

namespace {

int noteCount(const MidiTrack& track) {
    int notes = 0;
    for (const auto& e : track.events)
        notes += e->isNoteOn();
    return notes;
}

std::string channelList(const MidiTrack& track, const char* separator) {
    std::string out;
    for (uint8_t c : track.channels) {
        if (!out.empty())
            out += separator;
        out += std::to_string(c + 1);
    }
    return out;
}

void printText(const MidiSong& song, int result) {
    std::printf("result: %d\n", result);
    std::printf("errorText: %s\n", song.errorText.c_str());
    std::printf("format: %d\n", song.format);
    std::printf("division: %d\n", song.division);
    std::printf("length: %d\n", song.length);
    std::printf("merged: %d\n", song.mergedEvents.count());
    std::printf("discarded: %d\ncorrected: %d\nunfinished: %d\noverlapped: %d\n",
                song.discardedCount, song.correctedCount, song.unfinishedCount,
                song.overlappedCount);
    std::printf("truncated: %s\n", song.truncated ? "yes" : "no");
    std::printf("tracks: %d\n", song.trackCount());
    for (int i = 0; i < song.trackCount(); ++i) {
        const MidiTrack& t = *song.tracks[static_cast<size_t>(i)];
        std::printf("track %d: name \"%s\", %zu events, channels [%s], %d notes\n", i,
                    t.name.c_str(), t.size(), channelList(t, " ").c_str(), noteCount(t));
    }
}

void printJson(const MidiSong& song, int result) {
    std::printf("{\"result\": %d, \"errorText\": %s, \"format\": %d, \"division\": %d, "
                "\"length\": %d, \"merged\": %d, \"discarded\": %d, \"corrected\": %d, "
                "\"unfinished\": %d, \"overlapped\": %d, \"truncated\": %s, \"tracks\": [",
                result, jsonString(song.errorText).c_str(), song.format, song.division, song.length,
                song.mergedEvents.count(), song.discardedCount, song.correctedCount,
                song.unfinishedCount, song.overlappedCount, song.truncated ? "true" : "false");
    for (int i = 0; i < song.trackCount(); ++i) {
        const MidiTrack& t = *song.tracks[static_cast<size_t>(i)];
        std::printf("%s{\"name\": %s, \"events\": %zu, \"channels\": [%s], \"notes\": %d}",
                    i ? ", " : "", jsonString(t.name).c_str(), t.size(),
                    channelList(t, ", ").c_str(), noteCount(t));
    }
    std::printf("]}\n");
}

int run(const std::vector<std::string>& words) {
    Args args(words);
    bool json = args.flag("--json");
    std::vector<std::string> files = args.positionals();
    if (args.hasError())
        return usageError("info", args.error());
    if (files.size() != 1)
        return usageError("info", "expects one FILE (try --help)");
    MidiSong song;
    int result = loadSongReporting("info", files[0], song);
    if (json)
        printJson(song, result);
    else
        printText(song, result);
    return result;
}

const char* const help =
    "usage: reedtab-cli info FILE [--json]\n"
    "\n"
    "Reads a MIDI file and prints what the reader made of it: the result code (0 read,\n"
    "1 cannot open, 3 bad track data, 4 bad header) and error text, format, division,\n"
    "length in ticks, the number of playable events (merged), the note repairs (discarded,\n"
    "corrected, unfinished, overlapped), whether the file was truncated, and per track its\n"
    "name, event count, channels (1..16) and number of notes.\n"
    "--json prints the same as one JSON object.\n"
    "Exit status: the reader's result code, 2 for a usage error.\n";

const bool registered =
    registerCommand({"info", "what the reader makes of a MIDI file", help, run});

} // namespace

} // namespace reedtab::cli
