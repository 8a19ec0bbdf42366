#include "app/playlistmodel.h"

#include <algorithm>

namespace reedtab {

namespace {

constexpr std::string_view kHeader = "REEDTAB_PLAYLIST";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads a decimal integer the way a formatted "%d" read does: leading blanks, an optional
// sign, digits. Values beyond int range saturate instead of wrapping.
int readInteger(std::string_view data, size_t& pos) {
    while (pos < data.size() && isSpace(data[pos])) {
        ++pos;
    }
    size_t start = pos;
    bool negative = false;
    if (pos < data.size() && (data[pos] == '-' || data[pos] == '+')) {
        negative = data[pos] == '-';
        ++pos;
    }
    size_t digits = pos;
    long long value = 0;
    while (pos < data.size() && data[pos] >= '0' && data[pos] <= '9') {
        if (value < 10'000'000'000LL) {
            value = value * 10 + (data[pos] - '0');
        }
        ++pos;
    }
    if (pos == digits) {
        pos = start;
        return 0;
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<long long>(value, -2147483648LL, 2147483647LL));
}

} // namespace

std::optional<PlaylistFile> parsePlaylistFile(std::string_view data) {
    size_t pos = 0;
    while (pos < data.size() && isSpace(data[pos])) {
        ++pos;
    }
    size_t wordEnd = pos;
    while (wordEnd < data.size() && !isSpace(data[wordEnd])) {
        ++wordEnd;
    }
    if (data.substr(pos, wordEnd - pos) != kHeader) {
        return std::nullopt;
    }
    pos = wordEnd;
    PlaylistFile file;
    file.savedIndex = readInteger(data, pos);

    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        size_t next = end == std::string_view::npos ? data.size() : end + 1;
        std::string_view line = data.substr(pos, next - pos);
        pos = next;
        // Control characters at the start mark the rest of the header line and empty lines.
        // Bytes above 127 are the start of a non-ASCII path and are kept.
        if (static_cast<unsigned char>(line.front()) <= 13) {
            continue;
        }
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        file.paths.emplace_back(line);
    }
    return file;
}

std::string formatPlaylistFile(int currentIndex, const std::vector<std::string>& paths) {
    std::string out{kHeader};
    out += ' ';
    out += std::to_string(currentIndex);
    out += '\n';
    for (const auto& path : paths) {
        out += path;
        out += '\n';
    }
    return out;
}

std::string PlaylistModel::currentEntry() const {
    if (current_ < 0 || current_ >= count()) {
        return {};
    }
    return entries_[static_cast<size_t>(current_)];
}

void PlaylistModel::replace(std::vector<std::string> paths) {
    entries_ = std::move(paths);
    current_ = 0;
}

void PlaylistModel::append(const std::vector<std::string>& paths) {
    entries_.insert(entries_.end(), paths.begin(), paths.end());
}

void PlaylistModel::clear() {
    entries_.clear();
    current_ = 0;
}

int PlaylistModel::move(int source, int drop) {
    const int n = count();
    if (source < 0 || source >= n || drop < 0 || drop > n || drop == source || drop == source + 1) {
        return -1;
    }
    const int target = source < drop ? drop - 1 : drop;
    std::string entry = std::move(entries_[static_cast<size_t>(source)]);
    entries_.erase(entries_.begin() + source);
    entries_.insert(entries_.begin() + target, std::move(entry));

    if (current_ == source) {
        current_ = target;
    } else if (source < current_ && current_ <= target) {
        --current_;
    } else if (target <= current_ && current_ < source) {
        ++current_;
    }
    return target;
}

bool PlaylistModel::remove(int line) {
    if (line < 0 || line >= count()) {
        return false;
    }
    entries_.erase(entries_.begin() + line);
    if (line < current_) {
        --current_;
    }
    // Removing the last line while it was current would leave the index past the end.
    current_ = std::clamp(current_, 0, std::max(0, count() - 1));
    return true;
}

int PlaylistModel::nextIndex() const {
    if (count() < 2) {
        return -1;
    }
    return (current_ + 1) % count();
}

int PlaylistModel::previousIndex() const {
    if (count() < 2) {
        return -1;
    }
    return (current_ + count() - 1) % count();
}

bool PlaylistModel::load(const PlaylistFile& file) {
    const bool wasEmpty = entries_.empty();
    append(file.paths);
    if (!wasEmpty || entries_.empty()) {
        return false;
    }
    current_ = std::clamp(file.savedIndex, 0, count() - 1);
    fromPlaylist = true;
    return true;
}

} // namespace reedtab
