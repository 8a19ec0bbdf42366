#pragma once

// The texts of a song the exporters write: its title and the sung words of a karaoke file as
// syllables with their ticks.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace reedtab {

class MidiSong;

/// One sung piece of a word.
struct Syllable {
    int32_t tick = 0;
    std::string text;       ///< UTF-8, without the line marks and blanks around it
    bool startsWord = true; ///< false: it goes on the word of the syllable before
    bool startsLine = false;
};

/// The syllables of the track that holds the most lyric events (or, in a file without lyric
/// events, the most text events that are not "@" tags, as karaoke files carry their words), in
/// track order. Texts that are not UTF-8 are read as Latin-1.
std::vector<Syllable> songSyllables(const MidiSong& song);

/// For each syllable, the index in `starts` (note starts in ascending ticks) of the last note
/// that starts at or before it is sung: the note it is sung on; 0 for one sung before them all.
/// `starts` must not be empty.
std::vector<std::size_t> syllablePlaces(const std::vector<Syllable>& syllables,
                                        const std::vector<int32_t>& starts);

/// `text` as UTF-8: kept when it already is, else read as Latin-1.
std::string utf8Text(std::string_view text);

/// The song's title: the first track's name, else the name of its file without the extension,
/// else "Untitled".
std::string songTitle(const MidiSong& song);

} // namespace reedtab
