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

/// `text` as UTF-8: kept when it already is, else read as Latin-1.
std::string utf8Text(std::string_view text);

/// The song's title: the first track's name, else the name of its file without the extension,
/// else "Untitled".
std::string songTitle(const MidiSong& song);

} // namespace reedtab
