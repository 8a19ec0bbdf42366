#pragma once

#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab {

/// The notation of one note: what the view draws and the context menu lists.
struct NoteText {
    std::string prefix;       ///< blow or draw symbol; empty for note names
    std::string text;         ///< hole number with its marks, or the note name
    bool lowOctave = false;   ///< a hole of the chromatic low octave (drawn underlined)
    std::string accidental;   ///< " ", "#" or "b" of the note's pitch class
    std::optional<Rgb> brush; ///< technique colour; none for note names
};

/// How one alternative of a note is played: what tablature in any spelling, and the choice of
/// fingerings for a phrase, are made of.
struct Playing {
    int hole = 1;        ///< the hole number tablature writes (a chromatic low-octave hole: 1..4)
    int place = 0;       ///< holes from the lowest hole of the harmonica
    bool blow = true;    ///< breathing out; false: drawing in
    int bend = 0;        ///< half steps bent down, 0..3; a valved bend is 1
    bool valved = false; ///< the bend is a valved one
    bool over = false;   ///< an overblow or overdraw
    bool slide = false;  ///< the chromatic slide is pushed in
    bool lowOctave = false; ///< a hole of the chromatic low octave
};

/// Filter of the open-file dialog for tuning files.
inline constexpr const char* kTuningFileFilter = "Tuning Files (*.tun)";

/// Asks the user for a tuning file; returns the chosen path, or an empty text when cancelled.
using TuningFilePicker = std::function<std::string()>;

/// A harmonica of some tuning and key: for every MIDI note 0..127 the ordered list of codes of
/// the holes and techniques that play it, the first preferred.
///
/// Tunings are addressed by their index in the layout's tuning list (0-based; the last entry
/// is the custom record filled from a tuning file); -1 means the layout's default tuning.
/// Layouts belong to the GUI thread.
class HarmonicaLayout {
public:
    explicit HarmonicaLayout(const Settings& settings) : settings_(settings) {}
    virtual ~HarmonicaLayout() = default;

    /// Key names by pitch class (taken in 0..11), C first: "C", "Db", ... "B".
    static const std::string& keyName(int pitchClass);
    HarmonicaLayout(const HarmonicaLayout&) = delete;
    HarmonicaLayout& operator=(const HarmonicaLayout&) = delete;

    /// Forgets the brushes, builds and makes the brushes again; returns 0.
    virtual int init(int key, int tuningIndex);
    /// Empties every note list and forgets the derived positions and the brushes.
    virtual void clear();
    /// Takes the key (MIDI note of the tuning's offset 0) and tuning and rebuilds the note map.
    virtual void build(int key, int tuningIndex) = 0;
    /// Reports key, hole count and tuning index; returns 0.
    virtual int getInfo(int& key, int& holes, int& tuningIndex) const;
    /// Takes the five brush colours from the colour settings.
    virtual void createBrushes() = 0;
    /// Lets the user pick a tuning file and loads it; 0 on success, -1 cancelled or failed.
    virtual int chooseTuningFile(const TuningFilePicker& pick);
    /// Reads a tuning file into the custom record and remembers its path; 0 on success, -1 on
    /// failure (unreadable, or text `loadTuningText` refuses).
    virtual int loadTuningFile(const std::string& path);
    /// Reads the text of a tuning file into the custom record, as `loadTuningFile` does but
    /// without a file and without changing `customTuningPath`; 0, or -1.
    virtual int loadTuningText(std::string_view text) = 0;
    virtual int key() const { return key_; }
    /// The MIDI note of the key the harmonica is named after: the key plus the tuning's key
    /// offset.
    virtual int harpKey() const { return key_; }
    /// MIDI note of a hole row and column; -1 where the layout has no such notion.
    virtual int noteAt(int hole, int column) const;
    /// Rows of holes in use; 0 where the layout has no such notion.
    virtual int holeCount() const;

    /// The codes that play a MIDI note, preferred first; empty for notes outside 0..127.
    const std::vector<std::uint16_t>& noteMap(int note) const;
    /// The note's `MidiEvent::fingering` value that chooses alternative `alternative` on this
    /// kind of harmonica; 0 (the preferred one) for alternative 0 or one that does not exist.
    std::uint16_t fingeringFor(int note, int alternative) const;
    /// The alternative a `fingering` value chooses for a note; 0 (the preferred one) when none
    /// is chosen, when it was chosen on the other kind of harmonica or when this tuning and key
    /// do not have it.
    int alternativeOf(int note, std::uint16_t fingering) const;
    int holes() const { return holes_; }
    int tuningIndex() const { return tuningIndex_; }
    /// Number of entries of the tuning list, the custom record last.
    virtual int tuningCount() const = 0;
    /// Name of a tuning of the list; empty for an index outside it.
    virtual std::string tuningName(int index) const = 0;
    /// Index of the custom record in the tuning list.
    int customIndex() const { return tuningCount() - 1; }
    /// Path of the last tuning file loaded; empty when none.
    const std::string& customTuningPath() const { return customTuningPath_; }
    /// The description used for window titles and the tablature-type label.
    virtual std::string layoutTitle() const = 0;
    /// Tablature text of alternative `alternative` of a note (prefix, text, brush, lowOctave).
    /// With `plainSymbols` the blow and draw prefixes are "+" and "-" whatever the settings say.
    /// Returns 0, or -1 (text untouched, dimmed brush) when the alternative does not exist.
    virtual int tabText(int note, int alternative, NoteText& out, bool plainSymbols) const = 0;
    /// How the alternative with note-map code `code` is played.
    virtual Playing playingOf(std::uint16_t code) const = 0;
    /// The tuning in use as the text of a tuning file that reads back as this tuning. The file
    /// names notes without octaves, so a reed that lies lower below the one before it in its
    /// row than the reader allows reads back an octave higher, and the first reed of a row
    /// reads back in the octave of the key.
    virtual std::string tuningFileText() const = 0;

protected:
    /// Marks a fingering value as this kind's: codes stay below 0x2000, the kinds differ above.
    virtual std::uint16_t fingeringKind() const = 0;
    /// "%s (%s)" of `text` and the octave's name, or `text` alone for the standard octave 2;
    /// "?" names an octave outside 0..4.
    static std::string withOctave(std::string text, int octave,
                                  const std::array<const char*, 5>& names);
    /// Entry `index` of a tuning list made of `builtIns` and then `custom`; nullptr outside.
    template <typename Record, std::size_t N>
    static const Record* listEntry(const std::array<Record, N>& builtIns, const Record& custom,
                                   int index) {
        if (index >= 0 && static_cast<std::size_t>(index) < N) {
            return &builtIns[static_cast<std::size_t>(index)];
        }
        return static_cast<std::size_t>(index) == N ? &custom : nullptr;
    }

    void clearNoteMap();
    void setBrushes(std::array<Rgb, 5> colours);
    /// The brush colour at `slot`, or none once the brushes are forgotten.
    std::optional<Rgb> brush(int slot) const;

    const Settings& settings_;
    int key_ = 60;
    int holes_ = 0;
    int tuningIndex_ = 0;
    std::string customTuningPath_;
    std::array<std::vector<std::uint16_t>, 128> noteMap_;

private:
    std::optional<std::array<Rgb, 5>> brushes_;
};

} // namespace reedtab
