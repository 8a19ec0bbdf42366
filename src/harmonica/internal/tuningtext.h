#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab::internal {

/// The text of a tuning file as lines of at most 259 characters, with the word scanning both
/// file forms share.
class TuningText {
public:
    struct Position {
        std::size_t line = 0;
        std::size_t column = 0;
    };

    explicit TuningText(std::string_view text);

    /// The position just after the first word equal to `word` (case matters) that starts at or
    /// after `from`; nullopt when there is none.
    std::optional<Position> findWord(Position from, std::string_view word) const;
    /// The rest of the line after `at`.
    std::string_view restOfLine(Position at) const;
    /// The start of the line after the one holding `at`.
    static Position nextLine(Position at) { return {at.line + 1, 0}; }

private:
    std::vector<std::string_view> lines_;
};

/// Splits a text into words at blanks.
std::vector<std::string_view> wordsOf(std::string_view text);

/// The name after a NAME keyword: leading blanks skipped, at most `limit` characters, ending
/// at a NUL byte.
std::string nameText(std::string_view rest, std::size_t limit);

/// Reads up to 16 note names of a row into half steps, inferring octaves: a name is moved up
/// an octave while it lies `drop` or more half steps below the one before it. Clears the row
/// first; returns the count read.
int readNoteRow(std::string_view rest, int drop, std::array<int, 16>& row);

/// A row of `count` reeds (half steps) as the note names of a tuning file, one blank between.
std::string noteRowText(const std::array<int, 16>& row, int count);

/// Reads the text of a tuning file into `text`, at most its first megabyte; false when the
/// file cannot be read.
bool readTuningFile(const std::string& path, std::string& text);

} // namespace reedtab::internal
