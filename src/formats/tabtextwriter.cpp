#include "formats/tabtext.h"

#include "formats/songtext.h"

#include "harmonica/harpfinder.h"
#include "model/midisong.h"

#include <algorithm>
#include <array>

namespace reedtab {

namespace {

// The notes of the track that start at one tick, as one column of the tablature.
struct Column {
    int32_t tick = 0;
    int bar = 0;
    std::string token;
    std::string words;
};

std::size_t displayWidth(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(std::string text, std::size_t width) {
    text.append(width - std::min(width, displayWidth(text)), ' ');
    return text;
}

std::string noteName(int key) {
    return HarmonicaLayout::keyName(key % 12) + std::to_string(key / 12 - 1);
}

std::string noteToken(const HarmonicaLayout& layout, const MidiEvent& note, TabStyle style) {
    const int key = note.data1 & 0x7F;
    const auto& ways = layout.noteMap(key);
    if (ways.empty()) {
        return "[" + noteName(key) + "]";
    }
    const auto chosen = static_cast<std::size_t>(layout.alternativeOf(key, note.fingering));
    return tabToken(layout.playingOf(ways[chosen]), style);
}

std::string ordinal(int n) {
    const char* suffix = n % 10 == 1 && n != 11   ? "st"
                         : n % 10 == 2 && n != 12 ? "nd"
                         : n % 10 == 3 && n != 13 ? "rd"
                                                  : "th";
    return std::to_string(n) + suffix;
}

std::vector<Column> columnsOf(const MidiSong& song, const MidiTrack& track,
                              const HarmonicaLayout& layout, const TabTextOptions& options) {
    std::vector<Column> columns;
    // The notes of a chord are written lowest first, as their holes lie.
    std::vector<const MidiEvent*> chord;
    auto flushChord = [&] {
        if (chord.empty()) {
            return;
        }
        std::sort(chord.begin(), chord.end(),
                  [](const MidiEvent* a, const MidiEvent* b) { return a->data1 < b->data1; });
        std::string& token = columns.back().token;
        for (const MidiEvent* note : chord) {
            token += (token.empty() ? "" : " ") + noteToken(layout, *note, options.style);
        }
        if (chord.size() > 1) {
            token = "(" + token + ")";
        }
        chord.clear();
    };
    for (const auto& event : track.events) {
        if (!event->isNote || !event->isNoteOn() ||
            (options.from != -1 && event->tick < options.from) ||
            (options.to != -1 && event->tick >= options.to)) {
            continue;
        }
        if (columns.empty() || columns.back().tick != event->tick) {
            flushChord();
            columns.push_back({event->tick, song.tickToBarBeatTick(event->tick).bar, {}, {}});
        }
        chord.push_back(event.get());
    }
    flushChord();
    return columns;
}

// Each syllable goes under the note sounding when it is sung; a syllable whose word goes on
// under a later note ends with "-".
void placeWords(const MidiSong& song, std::vector<Column>& columns, const TabTextOptions& options) {
    if (columns.empty()) {
        return;
    }
    std::vector<Syllable> syllables = songSyllables(song);
    std::erase_if(syllables, [&](const Syllable& s) {
        return (options.from != -1 && s.tick < options.from) ||
               (options.to != -1 && s.tick >= options.to);
    });
    std::vector<int32_t> starts;
    for (const Column& column : columns) {
        starts.push_back(column.tick);
    }
    const std::vector<std::size_t> place = syllablePlaces(syllables, starts);
    for (std::size_t i = 0; i < syllables.size(); ++i) {
        std::string& words = columns[place[i]].words;
        if (!words.empty() && syllables[i].startsWord) {
            words += ' ';
        }
        words += syllables[i].text;
        if (i + 1 < syllables.size() && !syllables[i + 1].startsWord && place[i + 1] != place[i]) {
            words += '-';
        }
    }
}

void writeLine(std::string& out, const std::vector<Column>& columns, std::size_t first,
               std::size_t last, bool withWords) {
    std::string tokens;
    std::string words;
    for (std::size_t i = first; i < last; ++i) {
        if (i > first) {
            const bool newBar = columns[i].bar != columns[i - 1].bar;
            tokens += newBar ? " | " : " ";
            words += newBar ? "   " : " ";
        }
        const std::size_t width =
            withWords ? std::max(displayWidth(columns[i].token), displayWidth(columns[i].words))
                      : 0;
        tokens += padded(columns[i].token, width);
        words += padded(columns[i].words, width);
    }
    while (!tokens.empty() && tokens.back() == ' ') {
        tokens.pop_back();
    }
    out += tokens + " |\n";
    while (!words.empty() && words.back() == ' ') {
        words.pop_back();
    }
    if (withWords && !words.empty()) {
        out += words + "\n";
    }
}

} // namespace

std::optional<TabStyle> tabStyleNamed(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, TabStyle>, 6> kNames = {{
        {"plus", TabStyle::Plus},
        {"plain", TabStyle::Plain},
        {"harpsurgery", TabStyle::HarpSurgery},
        {"b-bends", TabStyle::BBends},
        {"draw-default", TabStyle::DrawDefault},
        {"auto", TabStyle::Auto},
    }};
    for (const auto& [text, style] : kNames) {
        if (text == name) {
            return style;
        }
    }
    return std::nullopt;
}

std::string tabToken(const Playing& playing, TabStyle style) {
    const bool letters = style == TabStyle::HarpSurgery;
    std::string token;
    if (!letters && playing.blow && style != TabStyle::Plain) {
        token += '+';
    } else if (!letters && !playing.blow && style != TabStyle::DrawDefault) {
        token += '-';
    }
    token += std::to_string(playing.hole);
    if (letters) {
        token += playing.blow ? 'B' : 'D';
    }
    if (playing.lowOctave) {
        token += '\'';
    }
    token.append(static_cast<std::size_t>(playing.bend), style == TabStyle::BBends ? 'b' : '\'');
    if (playing.over) {
        token += letters ? '#' : 'o';
    }
    if (playing.slide) {
        token += '<';
    }
    return token;
}

std::string harpText(const HarmonicaLayout& layout) {
    // The layout's description ends with the key and, outside the usual octave, the octave.
    const std::string title = layout.layoutTitle();
    const std::string_view mark = " Key of ";
    const auto at = title.rfind(mark);
    const std::string key = at == std::string::npos ? HarmonicaLayout::keyName(layout.harpKey())
                                                    : title.substr(at + mark.size());
    return key + ", " + layout.tuningName(layout.tuningIndex());
}

bool selectHarp(HarmonicaLayout& layout, std::string_view harp) {
    const int key = layout.key();
    const int tuning = layout.tuningIndex();
    for (int t = 0; t < layout.customIndex(); ++t) {
        if (!harp.ends_with(", " + layout.tuningName(t))) {
            continue;
        }
        // From the top: below the lowest octave the descriptions repeat, and the key the
        // harmonica windows set is the higher one.
        for (int k = 127; k >= 0; --k) {
            layout.build(k, t);
            if (harpText(layout) == harp) {
                return true;
            }
        }
    }
    layout.build(key, tuning);
    return false;
}

std::string writeTabText(const MidiSong& song, int trackIndex, const HarmonicaLayout& layout,
                         const TabTextOptions& options) {
    const MidiTrack* track = song.track(trackIndex);
    if (!track) {
        return {};
    }
    // The finder with no harps to rank only works out the song's key.
    FinderOptions keyOnly;
    keyOnly.diatonic = false;
    keyOnly.chromatic = false;
    const SongKey key = findHarps(song, {trackIndex, options.from, options.to}, keyOnly).key;
    std::string out = "Title: " + songTitle(song) + "\nHarp: " + harpText(layout) +
                      "\nPosition: " + ordinal(harpPosition(layout.harpKey() % 12, key.tonic)) +
                      " (song in " + key.name() + ")\n\n";

    std::vector<Column> columns = columnsOf(song, *track, layout, options);
    if (options.lyrics) {
        placeWords(song, columns, options);
    }
    const int barsPerLine = std::max(1, options.barsPerLine);
    std::size_t first = 0;
    int bars = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > first && columns[i].bar != columns[i - 1].bar && ++bars == barsPerLine) {
            writeLine(out, columns, first, i, options.lyrics);
            first = i;
            bars = 0;
        }
    }
    if (first < columns.size()) {
        writeLine(out, columns, first, columns.size(), options.lyrics);
    }
    return out;
}

} // namespace reedtab
