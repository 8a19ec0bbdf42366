#include "settings/settingsstore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace reedtab {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
}

std::optional<int> parseStoredInt(const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        // from_chars takes no plus sign; a second sign after it is garbage.
        if (first != last && (*first == '-' || *first == '+')) {
            return std::nullopt;
        }
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end != last || first == last) {
        return std::nullopt;
    }
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<int> MemorySettingsStore::readInt(const std::string& section,
                                                const std::string& key) const {
    const auto text = readString(section, key);
    if (!text) {
        return std::nullopt;
    }
    return parseStoredInt(*text);
}

std::optional<std::string> MemorySettingsStore::readString(const std::string& section,
                                                           const std::string& key) const {
    const auto s = sections_.find(section);
    if (s == sections_.end()) {
        return std::nullopt;
    }
    const auto k = s->second.find(key);
    if (k == s->second.end()) {
        return std::nullopt;
    }
    return k->second;
}

void MemorySettingsStore::writeInt(const std::string& section, const std::string& key, int value) {
    writeString(section, key, std::to_string(value));
}

void MemorySettingsStore::writeString(const std::string& section, const std::string& key,
                                      const std::string& value) {
    sections_[section][key] = value;
}

std::size_t MemorySettingsStore::keyCount(const std::string& section) const {
    const auto s = sections_.find(section);
    return s == sections_.end() ? 0 : s->second.size();
}

} // namespace reedtab
