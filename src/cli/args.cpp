#include "cli/args.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace reedtab::cli {

bool Args::flag(const std::string& name) {
    auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end())
        return false;
    words_.erase(it);
    return true;
}

std::optional<std::string> Args::option(const std::string& name) {
    auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end())
        return std::nullopt;
    if (it + 1 == words_.end()) {
        error_ = name + " needs a value";
        words_.erase(it);
        return std::nullopt;
    }
    std::string value = *(it + 1);
    words_.erase(it, it + 2);
    return value;
}

std::optional<long> Args::intOption(const std::string& name) {
    auto text = option(name);
    if (!text)
        return std::nullopt;
    auto value = parseInt(*text);
    if (!value)
        error_ = name + " takes a whole number, not \"" + *text + "\"";
    return value;
}

std::vector<std::string> Args::positionals() {
    for (const auto& word : words_) {
        if (word.size() > 2 && word.compare(0, 2, "--") == 0 && error_.empty())
            error_ = "unknown option " + word;
    }
    return words_;
}

std::optional<long> parseInt(const std::string& text) {
    long value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || first == last)
        return std::nullopt;
    return value;
}

std::optional<double> Args::numberOption(const std::string& name) {
    auto text = option(name);
    if (!text)
        return std::nullopt;
    double value = 0;
    const char* first = text->data();
    const char* last = first + text->size();
    if (first != last && *first == '+')
        ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last || first == last || !std::isfinite(value)) {
        error_ = name + " takes a number, not \"" + *text + "\"";
        return std::nullopt;
    }
    return value;
}

// Bytes that are not valid UTF-8 (names in a single-byte code page) are taken as Latin-1,
// so the output is always valid JSON.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    char escape[8];
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++i;
        } else if (valid && length > 1) {
            out.append(text, i, length);
            i += length;
        } else if (c >= 0x80) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
            ++i;
        } else {
            out += static_cast<char>(c);
            ++i;
        }
    }
    return out + "\"";
}

int usageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "reedtab-cli %s: %s\n", command, message.c_str());
    return kUsageError;
}

} // namespace reedtab::cli
