#include "harmonica/internal/tuningtext.h"

#include <fstream>

namespace reedtab::internal {

namespace {

constexpr std::size_t kMaxLine = 259;
// Tuning files are a few hundred bytes; the cap keeps a wrong pick (a huge file, a device)
// from filling memory or blocking for ever.
constexpr std::size_t kMaxFileBytes = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

// The word that starts at or after `end`, which moves past it; empty at the end of the text.
std::string_view nextWord(std::string_view text, std::size_t& end) {
    std::size_t i = end;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    const std::size_t begin = i;
    while (i < text.size() && !isBlank(text[i])) {
        ++i;
    }
    end = i;
    return text.substr(begin, i - begin);
}

int pitchClassOf(std::string_view word) {
    static constexpr std::string_view letters = "CDEFGAB";
    static constexpr int classes[] = {0, 2, 4, 5, 7, 9, 11};
    const auto letter = letters.find(word.front());
    if (letter == std::string_view::npos) {
        return -1;
    }
    int pitch = classes[letter];
    if (word.size() > 1 && word[1] == 'b') {
        --pitch;
    } else if (word.size() > 1 && word[1] == '#') {
        ++pitch;
    }
    return pitch;
}

} // namespace

TuningText::TuningText(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
            ++end;
        }
        lines_.push_back(text.substr(start, std::min(end - start, kMaxLine)));
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
}

std::optional<TuningText::Position> TuningText::findWord(Position from,
                                                         std::string_view word) const {
    for (std::size_t line = from.line; line < lines_.size(); ++line) {
        const std::string_view text = lines_[line];
        std::size_t end = line == from.line ? std::min(from.column, text.size()) : 0;
        std::string_view next;
        while (!(next = nextWord(text, end)).empty()) {
            if (next == word) {
                return Position{line, end};
            }
        }
    }
    return std::nullopt;
}

std::string_view TuningText::restOfLine(Position at) const {
    if (at.line >= lines_.size()) {
        return {};
    }
    const std::string_view text = lines_[at.line];
    return text.substr(std::min(at.column, text.size()));
}

std::vector<std::string_view> wordsOf(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t end = 0;
    std::string_view next;
    while (!(next = nextWord(text, end)).empty()) {
        words.push_back(next);
    }
    return words;
}

std::string nameText(std::string_view rest, std::size_t limit) {
    std::size_t begin = 0;
    while (begin < rest.size() && (rest[begin] == ' ' || rest[begin] == '\t')) {
        ++begin;
    }
    std::string_view name = rest.substr(begin);
    name = name.substr(0, std::min(name.find('\0'), name.size()));
    return std::string(name.substr(0, limit));
}

int readNoteRow(std::string_view rest, int drop, std::array<int, 16>& row) {
    row.fill(0);
    int count = 0;
    int previous = -1;
    for (const std::string_view word : wordsOf(rest)) {
        if (count == 16) {
            break;
        }
        int pitch = pitchClassOf(word);
        if (pitch < 0) {
            continue;
        }
        while (pitch <= previous - drop) {
            pitch += 12;
        }
        previous = pitch;
        row[static_cast<std::size_t>(count++)] = pitch;
    }
    return count;
}

std::string noteRowText(const std::array<int, 16>& row, int count) {
    static constexpr const char* kNames[] = {"C",  "Db", "D",  "Eb", "E",  "F",
                                             "F#", "G",  "Ab", "A",  "Bb", "B"};
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int pitch = row[static_cast<std::size_t>(i)];
        text += (i ? " " : "") + std::string(kNames[((pitch % 12) + 12) % 12]);
    }
    return text;
}

bool readTuningFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    text.assign(kMaxFileBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    // A directory opens but cannot be read: badbit without any byte.
    if (file.bad()) {
        return false;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    return true;
}

} // namespace reedtab::internal
