// Which track of a song carries the tune: by its name, by the words sung to it, or by sounding
// one note at a time above the others.

#include "harmonica/harpfinder.h"
#include "model/midiconstants.h"
#include "model/miditrack.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <tuple>

namespace reedtab {

namespace {

// Words of a track name that say it holds the tune, the stronger first.
constexpr std::array<std::string_view, 6> kTuneWords = {"melody", "lead", "vocal",
                                                        "voice",  "tune", "solo"};
// Fewer sung words than this are a remark, not lyrics.
constexpr std::size_t kMinWords = 8;
// A track matches the words when the harmonic mean of recall and precision reaches this.
constexpr double kWordsMatch = 0.5;
// A monophonic track has at least this share of notes that sound alone.
constexpr double kAloneShare = 0.75;
// A track needs this share of the busiest track's notes to be taken for the tune.
constexpr int kBusyDivisor = 4;

struct TrackNotes {
    std::vector<const MidiEvent*> notes; // note-ons off channel 10, in tick order
    std::vector<int32_t> onsets;         // their distinct ticks, ascending
};

bool tuneNote(const MidiEvent& event) {
    return event.isNoteOn() && event.channel() != kDrumChannel;
}

TrackNotes notesOf(const MidiTrack& track) {
    TrackNotes found;
    for (const auto& event : track.events) {
        if (tuneNote(*event)) {
            found.notes.push_back(event.get());
            if (found.onsets.empty() || found.onsets.back() != event->tick) {
                found.onsets.push_back(event->tick);
            }
        }
    }
    return found;
}

// The place of the first tune word in `name` (kTuneWords.size() when it has none).
std::size_t tuneWordOf(const std::string& name) {
    std::size_t best = kTuneWords.size();
    std::size_t i = 0;
    while (i < name.size()) {
        std::string word;
        while (i < name.size() && std::isalpha(static_cast<unsigned char>(name[i]))) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(name[i++])));
        }
        ++i;
        if (!word.empty() && word.back() == 's') {
            const std::string singular = word.substr(0, word.size() - 1);
            for (std::size_t k = 0; k < kTuneWords.size(); ++k) {
                best = singular == kTuneWords[k] ? std::min(best, k) : best;
            }
        }
        for (std::size_t k = 0; k < kTuneWords.size(); ++k) {
            best = word == kTuneWords[k] ? std::min(best, k) : best;
        }
    }
    return best;
}

bool isSungWord(const MidiEvent& event) {
    const std::string_view text = event.bytes();
    if (text.empty() || text.front() == '@') {
        return false;
    }
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c != ' ' && c != '\r' && c != '\n' && c != '/' && c != '\\' && c != '\0';
    });
}

struct Words {
    int track = -1;
    std::vector<int32_t> ticks; // distinct, ascending
};

// The lyric events of the track with the most, else the text events of the track with the most.
Words wordsOf(const MidiSong& song) {
    for (const int kind : {KindLyric, KindText}) {
        Words best;
        for (int index = 0; index < song.trackCount(); ++index) {
            Words words{index, {}};
            for (const auto& event : song.track(index)->events) {
                if (event->kind() == kind && isSungWord(*event) &&
                    (words.ticks.empty() || words.ticks.back() != event->tick)) {
                    words.ticks.push_back(event->tick);
                }
            }
            if (words.ticks.size() > best.ticks.size()) {
                best = std::move(words);
            }
        }
        if (best.ticks.size() >= kMinWords) {
            return best;
        }
    }
    return {};
}

bool near(const std::vector<int32_t>& sorted, int32_t tick, int32_t tolerance) {
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), tick - tolerance);
    return at != sorted.end() && *at <= tick + tolerance;
}

// The harmonic mean of the share of words with an onset and the share of the onsets within the
// words' span that have a word.
double wordsMatch(const Words& words, const TrackNotes& track, int32_t tolerance) {
    if (track.onsets.empty()) {
        return 0;
    }
    const auto sung = std::count_if(words.ticks.begin(), words.ticks.end(), [&](int32_t tick) {
        return near(track.onsets, tick, tolerance);
    });
    const int32_t first = words.ticks.front() - tolerance;
    const int32_t last = words.ticks.back() + tolerance;
    std::size_t inSpan = 0;
    std::size_t matched = 0;
    for (int32_t onset : track.onsets) {
        if (onset >= first && onset <= last) {
            ++inSpan;
            matched += near(words.ticks, onset, tolerance) ? 1 : 0;
        }
    }
    if (sung == 0 || inSpan == 0) {
        return 0;
    }
    const double recall = static_cast<double>(sung) / static_cast<double>(words.ticks.size());
    const double precision = static_cast<double>(matched) / static_cast<double>(inSpan);
    return 2 * recall * precision / (recall + precision);
}

// The share of notes during which no other note of the track sounds for longer than
// `tolerance`.
double aloneShare(const TrackNotes& track, int32_t tolerance) {
    const auto& notes = track.notes;
    std::vector<bool> together(notes.size(), false);
    std::vector<std::size_t> sounding;
    for (std::size_t j = 0; j < notes.size(); ++j) {
        const int32_t start = notes[j]->tick;
        std::erase_if(sounding, [&](std::size_t i) {
            return notes[i]->tick + std::max(notes[i]->duration, 1) - tolerance <= start;
        });
        for (std::size_t i : sounding) {
            together[i] = true;
            together[j] = true;
        }
        sounding.push_back(j);
    }
    const auto alone = std::count(together.begin(), together.end(), false);
    return static_cast<double>(alone) / static_cast<double>(notes.size());
}

int medianPitch(const TrackNotes& track) {
    std::vector<int> pitches;
    for (const MidiEvent* note : track.notes) {
        pitches.push_back(note->data1);
    }
    const auto middle = pitches.begin() + static_cast<std::ptrdiff_t>(pitches.size() / 2);
    std::nth_element(pitches.begin(), middle, pitches.end());
    return *middle;
}

int byName(const MidiSong& song, const std::vector<TrackNotes>& tracks) {
    int best = -1;
    std::size_t bestWord = kTuneWords.size();
    for (int index = 0; index < song.trackCount(); ++index) {
        const std::size_t count = tracks[static_cast<std::size_t>(index)].notes.size();
        const std::size_t word = tuneWordOf(song.track(index)->name);
        if (count == 0 || word == kTuneWords.size()) {
            continue;
        }
        if (best < 0 || word < bestWord ||
            (word == bestWord && count > tracks[static_cast<std::size_t>(best)].notes.size())) {
            best = index;
            bestWord = word;
        }
    }
    return best;
}

int besideTheWords(const MidiSong& song, const std::vector<TrackNotes>& tracks) {
    const Words words = wordsOf(song);
    if (words.ticks.empty()) {
        return -1;
    }
    const int32_t tolerance = std::max(1, song.division / 8);
    int best = -1;
    double bestMatch = kWordsMatch;
    for (int index = 0; index < song.trackCount(); ++index) {
        const double match = wordsMatch(words, tracks[static_cast<std::size_t>(index)], tolerance);
        if (index == words.track && match >= kWordsMatch) {
            return index;
        }
        if (match >= bestMatch && (best < 0 || match > bestMatch)) {
            best = index;
            bestMatch = match;
        }
    }
    return best;
}

int highestMonophonic(const MidiSong& song, const std::vector<TrackNotes>& tracks) {
    std::size_t busiest = 0;
    for (const TrackNotes& track : tracks) {
        busiest = std::max(busiest, track.notes.size());
    }
    const int32_t tolerance = std::max(1, song.division / 16);
    int best = -1;
    std::tuple<bool, int, std::size_t> bestRank;
    for (int index = 0; index < song.trackCount(); ++index) {
        const TrackNotes& track = tracks[static_cast<std::size_t>(index)];
        if (track.notes.empty() || track.notes.size() * kBusyDivisor < busiest) {
            continue;
        }
        const std::tuple<bool, int, std::size_t> rank(aloneShare(track, tolerance) >= kAloneShare,
                                                      medianPitch(track), track.notes.size());
        if (best < 0 || rank > bestRank) {
            best = index;
            bestRank = rank;
        }
    }
    return best;
}

} // namespace

int melodyTrack(const MidiSong& song) {
    std::vector<TrackNotes> tracks;
    for (int index = 0; index < song.trackCount(); ++index) {
        tracks.push_back(notesOf(*song.track(index)));
    }
    if (const int named = byName(song, tracks); named >= 0) {
        return named;
    }
    if (const int beside = besideTheWords(song, tracks); beside >= 0) {
        return beside;
    }
    return highestMonophonic(song, tracks);
}

} // namespace reedtab
