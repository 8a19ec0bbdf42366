#include "cli/complete.h"

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "settings/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace reedtab::cli {

namespace {

bool startsWord(const std::string& text, size_t at) {
    if (at == 0) {
        return true;
    }
    const char before = text[at - 1];
    return std::isspace(static_cast<unsigned char>(before)) || before == '[' || before == '|' ||
           before == '(';
}

bool isOptionChar(char c) {
    return std::islower(static_cast<unsigned char>(c)) ||
           std::isdigit(static_cast<unsigned char>(c)) || c == '-';
}

// The placeholder after an option: up to the next blank, without the brackets that close the
// usage group around it.
std::string valueAt(const std::string& text, size_t at) {
    if (at >= text.size() || text[at] != ' ' || at + 1 >= text.size()) {
        return {};
    }
    const char first = text[at + 1];
    if (first == '-' || first == '[' || first == ' ' || first == '\n') {
        return {};
    }
    size_t end = text.find_first_of(" \n", at + 1);
    std::string value = text.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    while (!value.empty() && value.back() == ']' &&
           std::count(value.begin(), value.end(), '[') <
               std::count(value.begin(), value.end(), ']')) {
        value.pop_back();
    }
    return value;
}

} // namespace

std::vector<HelpOption> helpOptions(const std::string& help) {
    std::vector<HelpOption> options;
    for (size_t at = 0; at < help.size(); ++at) {
        if (help[at] != '-' || !startsWord(help, at)) {
            continue;
        }
        size_t end = at + 1;
        if (end < help.size() && help[end] == '-') {
            ++end;
        }
        if (end >= help.size() || !std::islower(static_cast<unsigned char>(help[end]))) {
            continue;
        }
        while (end < help.size() && isOptionChar(help[end])) {
            ++end;
        }
        if (help[end - 1] == '-') {
            // A family written in prose ("--no-..."), not an option.
            at = end;
            continue;
        }
        HelpOption option{help.substr(at, end - at), valueAt(help, end)};
        const bool known = std::any_of(options.begin(), options.end(),
                                       [&](const HelpOption& o) { return o.name == option.name; });
        if (!known) {
            options.push_back(std::move(option));
        }
        at = end;
    }
    return options;
}

int complete(const std::map<std::string, Command>& commands, const std::vector<std::string>& what) {
    if (what.size() == 1 && what[0] == "commands") {
        for (const auto& [name, command] : commands) {
            std::printf("%s\n", name.c_str());
        }
        return 0;
    }
    if (what.size() == 2 && what[0] == "options") {
        const auto it = commands.find(what[1]);
        if (it == commands.end()) {
            return kUsageError;
        }
        for (const HelpOption& option : helpOptions(it->second.help)) {
            std::printf("%s%s%s\n", option.name.c_str(), option.value.empty() ? "" : " ",
                        option.value.c_str());
        }
        return 0;
    }
    if (what.size() == 2 && what[0] == "tunings" &&
        (what[1] == "diatonic" || what[1] == "chromatic")) {
        Settings block;
        DiatonicLayout diatonic(block);
        ChromaticLayout chromatic(block);
        const HarmonicaLayout& layout =
            what[1] == "diatonic" ? static_cast<const HarmonicaLayout&>(diatonic) : chromatic;
        for (int i = 0; i < layout.customIndex(); ++i) {
            std::printf("%s\n", layout.tuningName(i).c_str());
        }
        return 0;
    }
    return kUsageError;
}

} // namespace reedtab::cli
