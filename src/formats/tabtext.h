#pragma once

// Text tablature: the shareable form players post on web pages and forums. Writing turns one
// track of a song into tokens in time order with bar lines and a header; reading turns such a
// text, in any of the usual spellings, into notes on a harmonica.

#include "harmonica/harmonicalayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab {

class MidiSong;

/// How tokens are spelled.
enum class TabStyle {
    Plus,        ///< +4 -4 -4' -3'' +6o -7o
    Plain,       ///< blow without its sign: 4 -4 -4' 6o
    HarpSurgery, ///< 4B 4D 4D' 6B#
    BBends,      ///< bends as b: -4b -3bb
    DrawDefault, ///< blow +4, draw a bare 4
    Auto,        ///< reading only: guessed from the text
};

/// The style of a name ("plus", "plain", "harpsurgery", "b-bends", "draw-default", "auto").
std::optional<TabStyle> tabStyleNamed(std::string_view name);

/// The token of one way of playing a note: "+4", "-3''", "6B#", "+1<". A chromatic low-octave
/// hole carries an apostrophe after its number ("+3'").
std::string tabToken(const Playing& playing, TabStyle style);

struct TabTextOptions {
    TabStyle style = TabStyle::Plus;
    int barsPerLine = 4;
    /// The karaoke words under their notes.
    bool lyrics = false;
    /// Only the notes starting at from..to (ticks, the end exclusive; -1: open).
    int32_t from = -1;
    int32_t to = -1;
};

/// The text tablature of one track (its `isNote` note-ons) on `layout`, each note the way its
/// fingering chooses: a header (title, harp key and tuning, position), then the tokens in time
/// order, " | " between bars, `barsPerLine` bars with notes to a line, notes that start
/// together in parentheses, rests left out. A note the harmonica does not play is written by
/// its name in brackets ("[Bb4]", middle C is C4). With `lyrics` each line of tokens is
/// followed by the words sung on them, each under its note.
std::string writeTabText(const MidiSong& song, int trackIndex, const HarmonicaLayout& layout,
                         const TabTextOptions& options);

/// What the header of a text tablature says; empty fields when it does not say.
struct TabHeader {
    std::string title;
    std::string harp; ///< "C, Major Diatonic (Richter)"; a key outside the usual octave
                      ///< carries its octave: "F (Low), Hohner 365"
    std::string position;
};

/// The header lines ("Title: ...", "Harp: ...", "Position: ...") before the first line of
/// tablature; without a "Title:" line the title is the first other line of text there.
TabHeader readTabHeader(std::string_view text);

/// The "Harp:" text of a header for a layout.
std::string harpText(const HarmonicaLayout& layout);

/// Builds `layout` with the built-in tuning and key whose `harpText` is `harp`; false, with the
/// layout as it was, when none is.
bool selectHarp(HarmonicaLayout& layout, std::string_view harp);

/// One note read from a text.
struct TabNote {
    int key = 0;
    /// The alternative of the layout's note map the token names; -1 for a note given by name.
    int alternative = -1;
};

/// Notes that start together, at a beat counted in quarter notes from the start.
struct TabChord {
    int beat = 0;
    std::vector<TabNote> notes;
};

struct TabReadOptions {
    /// Auto: bare numbers are draws when the text has blows written with "+" and no "-",
    /// blows otherwise.
    TabStyle style = TabStyle::Auto;
    int beatsPerBar = 4;
};

/// Where and why a text could not be read.
struct TabReadError {
    int line = 0;   ///< from 1
    int column = 0; ///< from 1, in characters
    std::string message;
    /// "line L, column C: MESSAGE".
    std::string text() const;
};

/// Reads the tablature lines of a text: every token a note of `layout`, a quarter note each;
/// "|" starts a bar, "(...)" is a chord, the end of a line ends a phrase (the next line starts
/// a bar). Lines that do not start like tablature (header, title, words) are passed over.
/// Returns the chords in time order, or nothing with `error` set at the first token it
/// cannot read (or at the start when there is no tablature at all).
std::optional<std::vector<TabChord>> readTabText(std::string_view text,
                                                 const HarmonicaLayout& layout,
                                                 const TabReadOptions& options,
                                                 TabReadError& error);

struct TabSongOptions {
    std::string title;
    double tempo = 120.0; ///< quarter notes a minute
    int beatsPerBar = 4;
    int division = 480;
};

/// Makes `song` (emptied first) a one-track song of the chords: title as the track's name,
/// tempo, time signature of `beatsPerBar` quarters, the harmonica's General MIDI program on
/// channel 1, each note a quarter note with the fingering its token chose on `layout`.
void tabSong(const std::vector<TabChord>& chords, const HarmonicaLayout& layout,
             const TabSongOptions& options, MidiSong& song);

} // namespace reedtab
