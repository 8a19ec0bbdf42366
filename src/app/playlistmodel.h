#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab {

/// Contents of a `.lst` playlist file: the index saved in its first line and its paths.
struct PlaylistFile {
    int savedIndex = 0;
    std::vector<std::string> paths;
};

/// Parses a `.lst` file. Returns nothing when the first word is not "REEDTAB_PLAYLIST".
/// Lines that start with a control character (empty lines, the end of the first line) are
/// skipped; a trailing line feed and carriage return are dropped from every path.
std::optional<PlaylistFile> parsePlaylistFile(std::string_view data);

/// Formats a playlist file: "REEDTAB_PLAYLIST <index>" and one path per line.
std::string formatPlaylistFile(int currentIndex, const std::vector<std::string>& paths);

/// The running program's playlist: the ordered file paths, the current index and the two
/// flags that tell `openFile` where the next open comes from. GUI-thread state.
class PlaylistModel {
public:
    const std::vector<std::string>& entries() const { return entries_; }
    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }

    /// The current index; 0 for an empty list.
    int currentIndex() const { return current_; }
    void setCurrentIndex(int index) { current_ = index; }
    /// The current entry, or an empty string when the index is outside the list.
    std::string currentEntry() const;

    /// Set when the next open comes from the playlist (it then keeps its entries).
    bool fromPlaylist = false;
    /// Set when the playlist window only has to select the current entry on refresh.
    bool refreshSelection = false;

    /// Replaces every entry by `paths`; the current index becomes 0.
    void replace(std::vector<std::string> paths);
    /// Appends `paths` in their order; the current index is left alone.
    void append(const std::vector<std::string>& paths);
    /// Empties the list; the current index becomes 0.
    void clear();

    /// Moves the line dragged from `source` and dropped on line `drop` (-1 for none; a drop
    /// on `count()` means below the last line). The entry goes to `drop - 1` when it moves
    /// down and to `drop` when it moves up, and the current index follows the entries.
    /// Returns the entry's new position, or -1 when nothing moved.
    int move(int source, int drop);

    /// Removes line `line`; an earlier line moves the current index down by one. Returns false
    /// when the line does not exist.
    bool remove(int line);

    /// Index after the current one, wrapping; -1 with fewer than 2 entries.
    int nextIndex() const;
    /// Index before the current one, wrapping; -1 with fewer than 2 entries.
    int previousIndex() const;

    /// Appends the paths of a loaded playlist file. When the list was empty before, the
    /// current index becomes the saved one (clamped into the list), *from playlist* is set and
    /// the result is true: the caller opens the current entry.
    bool load(const PlaylistFile& file);

private:
    std::vector<std::string> entries_;
    int current_ = 0;
};

} // namespace reedtab
