#pragma once

// The scores of every pass, per song, in a small text file of the user's beside the settings.

#include "listen/judge.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab {

/// One pass as the store keeps it.
struct PassRecord {
    /// When the pass ended, UTC, "2025-01-31T18:04:05Z".
    std::string date;
    std::string songPath;
    /// `notesHash` of the song as it was played.
    std::string notesHash;
    int tempoPercent = 100;
    /// The range of ticks, -1 for open ends.
    int32_t from = -1;
    int32_t to = -1;
    /// Its counts, accuracy and timing (`expected` is their sum again when read back).
    PassScore score;
};

/// One pass as a line of the score file, without its line end: tab-separated "pass", date,
/// hash, tempo, from, to, accuracy, median timing and spread ("-" for none), hits, wrongs,
/// misses, extras, and the song's path with backslash, tab, line feed and carriage return
/// escaped. Numbers are written rounded (accuracy to 4 places, timings to 0.1 ms).
std::string formatScoreLine(const PassRecord& pass);
/// A line of the score file read back; none when it is damaged in any way.
std::optional<PassRecord> parseScoreLine(std::string_view line);

/// "2025-01-31T18:04:05Z" of a time.
std::string utcDate(std::time_t time);

/// The path a song's passes are kept under: absolute and without "." or ".." steps, so that
/// the program and reedtab-cli, started from different folders, find the same passes.
std::string scoreSongPath(const std::string& path);

/// The file the program keeps its scores in: "Reedtab Software/Reedtab-scores.txt" in the
/// user's config folder ($XDG_CONFIG_HOME, else ~/.config), beside the settings.
std::string defaultScorePath();

/// The score file: one pass a line, tab-separated, a line starting with "#" a comment. It is
/// only ever appended to, one whole line at a time, so a damaged line (a crash while writing,
/// a hand edit) costs that line alone: reading skips it and keeps every other one.
class ScoreStore {
public:
    explicit ScoreStore(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    /// Adds one pass, making the folder and the file when needed; 0, or -1 when the file cannot
    /// be written.
    int append(const PassRecord& pass);
    /// Every pass that reads back, in the file's order; a missing file has none.
    std::vector<PassRecord> load();
    /// The passes of one song: its path and the hash of its notes.
    std::vector<PassRecord> passesOf(const std::string& songPath, const std::string& hash);
    /// The first time a `load` skipped damaged lines, a one-line message saying how many and
    /// where the first one is; empty otherwise, and from then on.
    std::string takeDamageReport();

private:
    std::string path_;
    std::string report_;
    bool reported_ = false;
};

} // namespace reedtab
