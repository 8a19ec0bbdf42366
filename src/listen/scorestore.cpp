#include "listen/scorestore.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace reedtab {

namespace {

constexpr const char* kHeader = "# Reedtab Midi scores: one pass a line. Fields, tab-separated: "
                                "pass, date, notes hash, tempo %, from tick, to tick, accuracy, "
                                "median timing ms, timing spread ms, hits, wrongs, misses, "
                                "extras, song path\n";
constexpr std::size_t kFields = 14;
constexpr double kMaxTimingMs = 86400000.0;
constexpr int kMaxNotes = 10000000; // of one pass, so that their sum stays an int

std::string escapePath(const std::string& path) {
    std::string out;
    for (char c : path) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescapePath(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string optionalNumber(const std::optional<double>& value) {
    return value ? number(*value) : "-";
}

template <typename T>
bool parse(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && ptr == end && !text.empty();
}

// A timing in ms, or "-" for none; a day's worth either way at the most.
bool parseTiming(const std::string& text, std::optional<double>& value) {
    if (text == "-") {
        value.reset();
        return true;
    }
    double v = 0.0;
    if (!parse(text, v) || !std::isfinite(v) || std::fabs(v) > kMaxTimingMs) {
        return false;
    }
    value = v;
    return true;
}

bool isDate(const std::string& text) {
    static constexpr char pattern[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof pattern - 1) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

bool isHash(const std::string& text) {
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

} // namespace

std::optional<PassRecord> parseScoreLine(std::string_view line) {
    const auto f = split(line);
    if (f.size() != kFields || f[0] != "pass" || !isDate(f[1]) || !isHash(f[2])) {
        return std::nullopt;
    }
    PassRecord pass;
    pass.date = f[1];
    pass.notesHash = f[2];
    PassScore& s = pass.score;
    if (!parse(f[3], pass.tempoPercent) || !parse(f[4], pass.from) || !parse(f[5], pass.to) ||
        !parse(f[6], s.accuracy) || !parseTiming(f[7], s.medianTimingMs) ||
        !parseTiming(f[8], s.timingSpreadMs) || !parse(f[9], s.hits) || !parse(f[10], s.wrongs) ||
        !parse(f[11], s.misses) || !parse(f[12], s.extras)) {
        return std::nullopt;
    }
    auto count = [](int n) { return n >= 0 && n <= kMaxNotes; };
    if (!(s.accuracy >= 0.0 && s.accuracy <= 1.0) || !count(s.hits) || !count(s.wrongs) ||
        !count(s.misses) || !count(s.extras) || pass.tempoPercent < 1 || pass.from < -1 ||
        pass.to < -1 || (s.timingSpreadMs && *s.timingSpreadMs < 0.0)) {
        return std::nullopt;
    }
    const auto path = unescapePath(f[13]);
    if (!path || path->empty()) {
        return std::nullopt;
    }
    pass.songPath = *path;
    s.expected = s.hits + s.wrongs + s.misses;
    return pass;
}

std::string formatScoreLine(const PassRecord& pass) {
    const PassScore& s = pass.score;
    char accuracy[16];
    std::snprintf(accuracy, sizeof accuracy, "%.4f", s.accuracy);
    return "pass\t" + pass.date + "\t" + pass.notesHash + "\t" + std::to_string(pass.tempoPercent) +
           "\t" + std::to_string(pass.from) + "\t" + std::to_string(pass.to) + "\t" + accuracy +
           "\t" + optionalNumber(s.medianTimingMs) + "\t" + optionalNumber(s.timingSpreadMs) +
           "\t" + std::to_string(s.hits) + "\t" + std::to_string(s.wrongs) + "\t" +
           std::to_string(s.misses) + "\t" + std::to_string(s.extras) + "\t" +
           escapePath(pass.songPath);
}

std::string utcDate(std::time_t time) {
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string scoreSongPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string defaultScorePath() {
    std::filesystem::path folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
        folder = config;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        folder = std::filesystem::path(home) / ".config";
    } else {
        folder = ".";
    }
    return (folder / "Reedtab Software" / "Reedtab-scores.txt").string();
}

int ScoreStore::append(const PassRecord& pass) {
    std::error_code error;
    const std::filesystem::path file(path_);
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), error);
    }
    const std::string line = formatScoreLine(pass) + "\n";

    const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && info.st_size == 0) {
        text = kHeader;
    } else if (info.st_size > 0) {
        // A line cut short by a crash must not swallow this one: start on a line of its own.
        char last = '\n';
        if (::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') {
            text = "\n";
        }
    }
    text += line;
    // One write of the whole text, so that two programs appending at once do not interleave.
    const ssize_t written = ::write(fd, text.data(), text.size());
    const bool ok = written == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok ? 0 : -1;
}

std::vector<PassRecord> ScoreStore::load() {
    std::vector<PassRecord> passes;
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    int number = 0;
    int bad = 0;
    int firstBad = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (auto pass = parseScoreLine(line)) {
            passes.push_back(std::move(*pass));
        } else if (++bad == 1) {
            firstBad = number;
        }
    }
    if (bad > 0 && !reported_) {
        reported_ = true;
        report_ = path_ + ": " + std::to_string(bad) + " damaged line" + (bad == 1 ? "" : "s") +
                  " skipped (the first is line " + std::to_string(firstBad) + ")";
    }
    return passes;
}

std::vector<PassRecord> ScoreStore::passesOf(const std::string& songPath, const std::string& hash) {
    std::vector<PassRecord> passes = load();
    std::erase_if(passes, [&](const PassRecord& pass) {
        return pass.songPath != songPath || pass.notesHash != hash;
    });
    return passes;
}

std::string ScoreStore::takeDamageReport() {
    return std::exchange(report_, std::string());
}

} // namespace reedtab
