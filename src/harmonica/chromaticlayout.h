#pragma once

#include "harmonica/harmonicalayout.h"

#include <array>
#include <string>
#include <string_view>

namespace reedtab {

/// Columns of a chromatic hole, the column being the technique.
enum ChromaticColumn : int {
    kBlowOut = 0,
    kBlowIn = 1, ///< blow with the slide pushed in
    kDrawOut = 2,
    kDrawIn = 3, ///< draw with the slide pushed in
};

/// One chromatic tuning: per hole row the four notes as half steps above the layout key, in
/// column order blowOut, blowIn, drawOut, drawIn.
struct ChromaticTuningRecord {
    std::string name;        ///< at most 39 characters
    int holes = 0;           ///< 1..16; 0 in the custom record before a file is loaded
    int firstHoleOffset = 0; ///< -4 (16 holes) or -2 (14 holes): rows of the low octave
    std::array<std::array<int, 4>, 16> notes{};
};

/// Code of one alternative in the chromatic note map: (row + firstHoleOffset + 64) + column * 256.
constexpr std::uint16_t chromaticCode(int row, int firstHoleOffset, int column) {
    return static_cast<std::uint16_t>(row + firstHoleOffset + 64 + column * 256);
}

/// Lowest and highest key the chromatic window can set.
inline constexpr int kChromaticKeyLow = 36;
inline constexpr int kChromaticKeyHigh = 95;

/// The key the chromatic window composes from a key-name index 0..11 (C, Db, ... B) and an
/// octave index 0..4 ("-2", "Tenor", "Std", "High", "+2").
constexpr int composeChromaticKey(int keyNameIndex, int octaveIndex) {
    return octaveIndex * 12 + keyNameIndex + kChromaticKeyLow;
}

/// The 8 built-in chromatic tunings in the order they are offered.
const std::array<ChromaticTuningRecord, 8>& builtInChromaticTunings();

/// Reads the text of a chromatic tuning file into `custom`. Returns 0, or -1 when "CHROMATIC",
/// "NAME" or one of the four rows is missing; name and rows read before a failure stay in
/// `custom`, its hole count changes only on success. Never reads outside `text`.
int parseChromaticTuning(std::string_view text, ChromaticTuningRecord& custom);

/// A slide chromatic harmonica: four notes per hole (blow and draw, slide out and in).
class ChromaticLayout : public HarmonicaLayout {
public:
    /// Builds the default tuning ("12 Hole Chromatic (std 48)") at key 60.
    explicit ChromaticLayout(const Settings& settings = reedtab::settings());

    void build(int key, int tuningIndex) override;
    void createBrushes() override;
    int loadTuningText(std::string_view text) override;
    /// notes[row][column] + key, at most 128; -1 outside the rows in use or columns 0..3.
    int noteAt(int hole, int column) const override;
    int holeCount() const override { return holes_; }
    int tuningCount() const override { return 9; }
    std::string tuningName(int index) const override;
    std::string layoutTitle() const override;
    int tabText(int note, int alternative, NoteText& out, bool plainSymbols) const override;
    Playing playingOf(std::uint16_t code) const override;
    std::string tuningFileText() const override;

    /// An alternative of a note 0..127 (the preferred one by default): its row index in the
    /// tuning and its column; 0, or -1 when the note has no such alternative.
    int positionOf(int note, int& row, int& column, int alternative = 0) const;
    const ChromaticTuningRecord& tuning() const;
    /// An entry of the tuning list (8 built-ins, then the custom record); nullptr outside.
    const ChromaticTuningRecord* tuningAt(int index) const;

    /// Brush colours as `createBrushes` took them; none before or after `clear`.
    std::optional<Rgb> dimmedBrush() const { return brush(0); }
    std::optional<Rgb> blowBrush() const { return brush(1); }
    std::optional<Rgb> drawBrush() const { return brush(2); }
    std::optional<Rgb> blowSlideBrush() const { return brush(3); }
    std::optional<Rgb> drawSlideBrush() const { return brush(4); }

protected:
    std::uint16_t fingeringKind() const override { return 0x6000; }

private:
    ChromaticTuningRecord custom_;
};

/// The process-wide chromatic layout (GUI thread): the one the main frame restores and saves,
/// the chromatic window changes and `notation()` reads.
ChromaticLayout& chromaticLayout();

} // namespace reedtab
