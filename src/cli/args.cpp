#include "cli/args.h"

#include <algorithm>
#include <charconv>
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

int usageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "reedtab-cli %s: %s\n", command, message.c_str());
    return kUsageError;
}

} // namespace reedtab::cli
