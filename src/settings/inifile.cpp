// The program keeps its settings through the toolkit's INI store; the Qt-free tools read the
// same file here, undoing the toolkit's escapes the way its reader does.

#include "settings/settingsstore.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace reedtab {

namespace {

// A settings file is a few kilobytes; the cap keeps a wrong path from filling memory.
constexpr std::size_t kMaxFileBytes = 16 << 20;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | ((code >> 12) & 0x0F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (isSpace(text.front()) || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (isSpace(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// A section or key name: "%XX" and "%UXXXX" are characters, a backslash is a slash.
std::string unescapedName(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            out += '/';
            continue;
        }
        const std::size_t digits = i + 1 < text.size() && text[i + 1] == 'U' ? 4 : 2;
        const std::size_t first = i + 1 + (digits == 4 ? 1 : 0);
        std::uint32_t code = 0;
        bool escaped = c == '%' && first + digits <= text.size();
        for (std::size_t k = 0; escaped && k < digits; ++k) {
            const int digit = hexValue(text[first + k]);
            escaped = digit >= 0;
            code = code * 16 + static_cast<std::uint32_t>(digit);
        }
        if (!escaped) {
            out += c;
            continue;
        }
        appendUtf8(out, code);
        i = first + digits - 1;
    }
    return out;
}

// A value: quoted parts, backslash escapes, and commas outside quotes between the items of a
// list, which come back joined by commas as the program's store returns them.
std::string unescapedValue(std::string_view text) {
    std::vector<std::string> items;
    std::string item;
    bool inQuotes = false;
    bool quoted = false;
    // Spaces at the end of an unquoted item are dropped, not those an escape or quote wrote.
    std::size_t keep = 0;
    std::size_t i = 0;
    const auto skipSpaces = [&] {
        while (i < text.size() && isSpace(text[i])) {
            ++i;
        }
        keep = item.size();
    };
    const auto endItem = [&] {
        if (!quoted) {
            while (item.size() > keep && isSpace(item.back())) {
                item.pop_back();
            }
        }
        if (item.rfind("@@", 0) == 0) {
            item.erase(0, 1);
        }
        items.push_back(std::move(item));
        item.clear();
        quoted = false;
    };
    skipSpaces();
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '"') {
            inQuotes = !inQuotes;
            quoted = true;
            if (!inQuotes) {
                skipSpaces();
            }
        } else if (c == ',' && !inQuotes) {
            endItem();
            skipSpaces();
        } else if (c == '\\') {
            if (i == text.size()) {
                break;
            }
            const char e = text[i++];
            static constexpr std::string_view kCodes = "abfnrtv\"?'\\";
            static constexpr std::string_view kValues = "\a\b\f\n\r\t\v\"?'\\";
            if (const auto found = kCodes.find(e); found != std::string_view::npos) {
                item += kValues[found];
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                const std::uint32_t base = e == 'x' ? 16 : 8;
                std::uint32_t code = e == 'x' ? 0 : static_cast<std::uint32_t>(e - '0');
                bool any = e != 'x';
                while (i < text.size()) {
                    const int digit = hexValue(text[i]);
                    if (digit < 0 || static_cast<std::uint32_t>(digit) >= base) {
                        break;
                    }
                    const std::uint32_t next = code * base + static_cast<std::uint32_t>(digit);
                    if (next > 0xFFFF) {
                        break;
                    }
                    code = next;
                    any = true;
                    ++i;
                }
                if (any) {
                    appendUtf8(item, code);
                }
            } else if (e == '\n' || e == '\r') {
                if (i < text.size() && (text[i] == '\n' || text[i] == '\r') && text[i] != e) {
                    ++i;
                }
            }
            keep = item.size();
        } else {
            item += c;
        }
    }
    endItem();
    std::string joined;
    for (std::size_t k = 0; k < items.size(); ++k) {
        joined += (k == 0 ? "" : ",") + items[k];
    }
    return joined;
}

// The next logical line from `pos`: a line break inside quotes or after a backslash does not
// end it, and a ';' outside quotes ends it (the rest of the line is a comment).
std::string_view nextLine(std::string_view data, std::size_t& pos) {
    while (pos < data.size() && (isSpace(data[pos]) || data[pos] == '\n' || data[pos] == '\r')) {
        ++pos;
    }
    const std::size_t start = pos;
    bool inQuotes = false;
    std::size_t end = data.size();
    for (std::size_t i = start; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\\') {
            ++i;
            if (i + 1 < data.size() && ((data[i] == '\n' && data[i + 1] == '\r') ||
                                        (data[i] == '\r' && data[i + 1] == '\n'))) {
                ++i;
            }
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && (c == '\n' || c == '\r' || c == ';')) {
            end = i;
            break;
        }
    }
    pos = end;
    if (pos < data.size() && data[pos] == ';') {
        while (pos < data.size() && data[pos] != '\n' && data[pos] != '\r') {
            ++pos;
        }
    }
    return data.substr(start, end - start);
}

// Where the key of a line ends: the first '=' outside quotes; npos when there is none.
std::size_t equalsOf(std::string_view line) {
    bool inQuotes = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            inQuotes = !inQuotes;
        } else if (line[i] == '=' && !inQuotes) {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::string userSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        folder = std::string(home) + "/.config";
    } else {
        return {};
    }
    return folder + "/Reedtab Software/Reedtab.conf";
}

bool readIniFile(const std::string& path, MemorySettingsStore& store) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string data;
    char buffer[1 << 16];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        data.append(buffer, static_cast<std::size_t>(file.gcount()));
        if (data.size() > kMaxFileBytes) {
            return false;
        }
    }
    if (file.bad()) {
        return false;
    }
    readIniText(data, store);
    return true;
}

void readIniText(std::string_view data, MemorySettingsStore& store) {
    std::string section = "General";
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::string_view line = nextLine(data, pos);
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            section = unescapedName(trimmed(line.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
            continue;
        }
        const std::size_t equals = equalsOf(line);
        if (equals == std::string_view::npos) {
            continue;
        }
        store.writeString(section, unescapedName(trimmed(line.substr(0, equals))),
                          unescapedValue(line.substr(equals + 1)));
    }
}

} // namespace reedtab
