#include "formats/songtext.h"

#include "model/midisong.h"

#include <algorithm>
#include <filesystem>

namespace reedtab {

namespace {

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool isTag(std::string_view text) {
    return !text.empty() && text.front() == '@';
}

// The track whose events of `kind` (tags left out) are most numerous; -1 when none has any.
int busiestTrack(const MidiSong& song, int kind) {
    int best = -1;
    std::size_t most = 0;
    for (int t = 0; t < song.trackCount(); ++t) {
        const auto& events = song.track(t)->events;
        const auto count = static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [kind](const auto& event) {
                return event->kind() == kind && !isTag(event->bytes());
            }));
        if (count > most) {
            most = count;
            best = t;
        }
    }
    return best;
}

bool isLineMark(char c) {
    return c == '/' || c == '\\' || c == '\r' || c == '\n';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string utf8Text(std::string_view text) {
    if (isUtf8(text)) {
        return std::string(text);
    }
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::vector<std::size_t> syllablePlaces(const std::vector<Syllable>& syllables,
                                        const std::vector<int32_t>& starts) {
    std::vector<std::size_t> places;
    for (const Syllable& syllable : syllables) {
        const auto after = std::upper_bound(starts.begin(), starts.end(), syllable.tick);
        places.push_back(
            after == starts.begin() ? 0 : static_cast<std::size_t>(after - starts.begin()) - 1);
    }
    return places;
}

std::string songTitle(const MidiSong& song) {
    if (const MidiTrack* first = song.track(0); first && !first->name.empty()) {
        return utf8Text(first->name);
    }
    const std::string stem = std::filesystem::path(song.path).stem().string();
    return stem.empty() ? "Untitled" : stem;
}

std::vector<Syllable> songSyllables(const MidiSong& song) {
    int kind = KindLyric;
    int track = busiestTrack(song, kind);
    if (track < 0) {
        kind = KindText;
        track = busiestTrack(song, kind);
    }
    std::vector<Syllable> syllables;
    if (track < 0) {
        return syllables;
    }
    bool nextStartsWord = true;
    bool nextStartsLine = true;
    for (const auto& event : song.track(track)->events) {
        std::string_view text = event->bytes();
        text = text.substr(0, std::min(text.find('\0'), text.size()));
        if (event->kind() != kind || isTag(text)) {
            continue;
        }
        while (!text.empty() && (isLineMark(text.front()) || isBlank(text.front()))) {
            nextStartsLine = nextStartsLine || isLineMark(text.front());
            nextStartsWord = true;
            text.remove_prefix(1);
        }
        bool lineAfter = false;
        bool wordAfter = false;
        while (!text.empty() && (isLineMark(text.back()) || isBlank(text.back()))) {
            lineAfter = lineAfter || isLineMark(text.back());
            wordAfter = true;
            text.remove_suffix(1);
        }
        if (!text.empty()) {
            syllables.push_back({event->tick, utf8Text(text), nextStartsWord, nextStartsLine});
            nextStartsWord = false;
            nextStartsLine = false;
        }
        nextStartsWord = nextStartsWord || wordAfter;
        nextStartsLine = nextStartsLine || lineAfter;
    }
    return syllables;
}

} // namespace reedtab
