#pragma once

#include "harmonica/notation.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace reedtab::testing {

/// The alternatives of a note as the context menu lists them (plain symbols), ", " between.
inline std::string alternatives(const Notation& notation, int note) {
    std::string line;
    NoteText text;
    for (int k = 0; notation.notate(note, k, true, text) == 0; ++k) {
        line += (k ? ", " : "") + text.prefix + text.text;
    }
    return line;
}

/// A file in the temporary folder that is removed again at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& name, const std::string& content)
        : path_(std::filesystem::temp_directory_path() /
                ("reedtab-test-" + std::to_string(::getpid()) + "-" + name)) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

} // namespace reedtab::testing
