#pragma once

// Reading a song for a reedtab-cli command, with the one-line messages every model command
// prints on failure.

#include "model/midisong.h"

#include <cstdio>
#include <string>

namespace reedtab::cli {

/// Exit status when writing a file fails.
inline constexpr int kWriteFailed = 5;

/// Reads `path` into `song`. On failure prints "reedtab-cli COMMAND: PATH: reason" on stderr;
/// a truncated file prints the reader's warning there. Returns the reader's result code.
inline int loadSongReporting(const char* command, const std::string& path, MidiSong& song) {
    int result = song.loadFile(path);
    if (result != LoadOk) {
        std::string detail = song.errorText.empty() ? "" : " (" + song.errorText + ")";
        std::fprintf(stderr, "reedtab-cli %s: %s: %s%s\n", command, path.c_str(),
                     loadResultText(result), detail.c_str());
    } else if (song.truncated) {
        std::fprintf(stderr, "%s\n", MidiSong::truncationWarning);
    }
    return result;
}

} // namespace reedtab::cli
