#pragma once

#include "harmonica/harmonicalayout.h"

#include <array>
#include <string>
#include <string_view>

namespace reedtab {

/// One diatonic tuning: reeds as half steps above the layout key, hole 1 first. Entries beyond
/// `holes` are 0.
struct DiatonicTuningRecord {
    std::string name;  ///< at most 63 characters
    int holes = 0;     ///< 1..16; 0 in the custom record before a file is loaded
    int keyOffset = 0; ///< added to the layout key to give the key the harmonica is named after
    std::array<int, 16> blow{};
    std::array<int, 16> draw{};
    std::array<bool, 16> valve{};
};

/// Techniques of a diatonic hole; also the slot index of a position.
enum DiatonicTechnique : int {
    kOver = 0, ///< overblow or overdraw; in a valved hole the valved bend
    kDraw = 1,
    kBlow = 2,
    kBend1 = 3,
    kBend2 = 4,
    kBend3 = 5,
};

/// One playable note of one hole.
struct ReedPosition {
    int note = 0; ///< half steps above the layout key
    int technique = kBlow;
    bool reversed = false; ///< the blow reed is the higher reed of the hole
    int hole = 0;          ///< 0-based
};

/// Code of one alternative in the note map: hole + technique * 256 + reversed * 4096.
constexpr std::uint16_t positionCode(int hole, int technique, bool reversed) {
    return static_cast<std::uint16_t>(hole + technique * 256 + (reversed ? 4096 : 0));
}

/// What `positionOf` reports about the preferred alternative of a note.
struct DiatonicPositionInfo {
    int hole = 0;
    int technique = 0;
    bool reversed = false;
    bool valve = false;
};

/// Lowest and highest key + key offset the diatonic window can set.
inline constexpr int kDiatonicKeyLow = 31;
inline constexpr int kDiatonicKeyHigh = 90;

/// The key the diatonic window composes from a key-name index 0..11 (names starting at G: G,
/// Ab, A, ... F#) and an octave index 0..4 ("-2", "Low", "Std", "High", "+2") for a tuning
/// with `keyOffset`.
constexpr int composeDiatonicKey(int keyNameIndex, int octaveIndex, int keyOffset) {
    return octaveIndex * 12 + keyNameIndex + kDiatonicKeyLow - keyOffset;
}

/// The 17 built-in diatonic tunings in the order they are offered.
const std::array<DiatonicTuningRecord, 17>& builtInDiatonicTunings();

/// Reads the text of a diatonic tuning file into `custom`. Returns 0, or -1 when "DIATONIC",
/// "NAME", "BLOW" or "DRAW" is missing; name and rows read before a failure stay in `custom`,
/// its hole count changes only on success. Never reads outside `text`.
int parseDiatonicTuning(std::string_view text, DiatonicTuningRecord& custom);

/// A diatonic harmonica (blow, draw, bends, overblows, overdraws, valved bends).
class DiatonicLayout : public HarmonicaLayout {
public:
    /// Builds the default tuning at key 60; the brushes are made by `init`.
    explicit DiatonicLayout(const Settings& settings = reedtab::settings());

    void clear() override;
    void build(int key, int tuningIndex) override;
    void createBrushes() override;
    int loadTuningText(std::string_view text) override;
    int tuningCount() const override { return 18; }
    std::string tuningName(int index) const override;
    std::string layoutTitle() const override;
    int harpKey() const override { return key_ + tuning().keyOffset; }
    int tabText(int note, int alternative, NoteText& out, bool plainSymbols) const override;
    Playing playingOf(std::uint16_t code) const override;
    std::string tuningFileText() const override;

    /// An alternative of a note 0..127 (the preferred one by default); 0, or -1 when the note
    /// has no such alternative.
    int positionOf(int note, DiatonicPositionInfo& info, int alternative = 0) const;
    /// The position of a hole (0-based) and slot (technique), or nullptr when empty.
    const ReedPosition* positionAt(int hole, int slot) const;
    /// The tuning in use.
    const DiatonicTuningRecord& tuning() const;
    /// An entry of the tuning list (17 built-ins, then the custom record); nullptr outside.
    const DiatonicTuningRecord* tuningAt(int index) const;

    /// Brush colours as `createBrushes` took them; none before or after `clear`.
    std::optional<Rgb> dimmedBrush() const { return brush(0); }
    std::optional<Rgb> blowBrush() const { return brush(1); }
    std::optional<Rgb> drawBrush() const { return brush(2); }
    std::optional<Rgb> bendBrush() const { return brush(3); }
    std::optional<Rgb> overBrush() const { return brush(4); }

protected:
    std::uint16_t fingeringKind() const override { return 0x4000; }

private:
    DiatonicTuningRecord custom_;
    std::array<std::array<std::optional<ReedPosition>, 7>, 16> slots_{};
};

/// The process-wide diatonic layout (GUI thread): the one the main frame restores and saves,
/// the diatonic window changes and `notation()` reads.
DiatonicLayout& diatonicLayout();

} // namespace reedtab
