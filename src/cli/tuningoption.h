#pragma once

// The --diatonic / --chromatic / --key options that reedtab-cli notes and tab share.

#include "cli/args.h"
#include "harmonica/harmonicalayout.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace reedtab::cli {

/// Builds `layout` at `key` with the tuning `text` names: a built-in tuning by its exact name,
/// else a tuning file. Prints a one-line reason and returns false when it is neither.
inline bool selectTuning(const char* command, const char* form, HarmonicaLayout& layout,
                         const std::string& text, int key) {
    for (int i = 0; i < layout.customIndex(); ++i) {
        if (layout.tuningName(i) == text) {
            layout.init(key, i);
            return true;
        }
    }
    std::error_code error;
    if (!std::filesystem::exists(text, error)) {
        std::fprintf(stderr,
                     "reedtab-cli %s: unknown %s tuning \"%s\" (no tuning of that name "
                     "and no such file)\n",
                     command, form, text.c_str());
        return false;
    }
    if (layout.loadTuningFile(text) != 0) {
        std::fprintf(stderr, "reedtab-cli %s: %s: not a readable %s tuning file\n", command,
                     text.c_str(), form);
        return false;
    }
    layout.init(key, layout.customIndex());
    return true;
}

/// The --key option: a MIDI note number 0..127, `fallback` when absent; nullopt (error
/// recorded in `message`) otherwise.
inline std::optional<int> keyOption(Args& args, int fallback, std::string& message) {
    const auto key = args.intOption("--key");
    if (!key) {
        return fallback;
    }
    if (*key < 0 || *key > 127) {
        message = "--key takes a MIDI note number 0..127";
        return std::nullopt;
    }
    return static_cast<int>(*key);
}

/// Lines listing the tuning names of a layout, for --help.
inline std::string tuningList(const HarmonicaLayout& layout) {
    std::string lines;
    for (int i = 0; i < layout.customIndex(); ++i) {
        lines += "  \"" + layout.tuningName(i) + "\"\n";
    }
    return lines;
}

} // namespace reedtab::cli
