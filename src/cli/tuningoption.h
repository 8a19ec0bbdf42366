#pragma once

// The options that reedtab-cli notes, tab and pdf share: --diatonic / --chromatic / --key,
// --mode and the --from / --to ticks.

#include "cli/args.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "harmonica/harmonicalayout.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
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

/// Builds both layouts at `key` with the tunings the --diatonic and --chromatic options name,
/// each layout's default when absent ("Major Diatonic (Richter)", "12 Hole Chromatic (std 48)").
/// Prints a one-line reason and returns false when one names no tuning.
inline bool selectTunings(const char* command, DiatonicLayout& diatonic, ChromaticLayout& chromatic,
                          const std::optional<std::string>& diatonicName,
                          const std::optional<std::string>& chromaticName, int key) {
    return selectTuning(command, "diatonic", diatonic,
                        diatonicName.value_or(diatonic.tuningName(0)), key) &&
           selectTuning(command, "chromatic", chromatic,
                        chromaticName.value_or(chromatic.tuningName(chromatic.tuningIndex())), key);
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

/// The tablature mode 0..4 of a --mode word: notes, diatonic, chromatic, bb, eb.
inline std::optional<int> modeOf(const std::string& name) {
    static const char* const names[] = {"notes", "diatonic", "chromatic", "bb", "eb"};
    for (int mode = 0; mode < 5; ++mode) {
        if (name == names[mode]) {
            return mode;
        }
    }
    return std::nullopt;
}

/// A tick option such as --from: -1 when absent, nullopt (error recorded in `message`) when it
/// is out of range.
inline std::optional<int32_t> tickOption(Args& args, const char* name, std::string& message) {
    const auto tick = args.intOption(name);
    if (!tick) {
        return -1;
    }
    if (*tick < 0 || *tick > INT32_MAX) {
        message = std::string(name) + " takes a tick 0.." + std::to_string(INT32_MAX);
        return std::nullopt;
    }
    return static_cast<int32_t>(*tick);
}

} // namespace reedtab::cli
