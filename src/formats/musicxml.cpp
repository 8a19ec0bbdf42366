#include "formats/musicxml.h"

#include "formats/songtext.h"
#include "formats/tabtext.h"
#include "harmonica/harmonicalayout.h"
#include "harmonica/harpfinder.h"
#include "model/midiconstants.h"
#include "model/midisong.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <tuple>

namespace reedtab {

namespace {

struct Measure {
    int32_t start = 0;
    int32_t end = 0;
    int numerator = 4;
    int denominator = 4;
    bool implicit = false; ///< cut short by the next time signature
    int fifths = 0;
    bool minor = false;
};

// Notes that start and end together in one voice, lowest first.
struct Chord {
    int32_t start = 0;
    int32_t end = 0;
    std::vector<const MidiEvent*> notes;
    std::string words;
    std::string syllabic;
    std::string tablature;
};

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // XML 1.0 has no place for the other control characters.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') {
                out += c;
            }
        }
    }
    return out;
}

bool isPartNote(const MidiEvent& event) {
    return event.isNote && event.isNoteOn() && event.channel() != kDrumChannel;
}

bool hasNotes(const MidiTrack& track) {
    return std::any_of(track.events.begin(), track.events.end(),
                       [](const auto& event) { return isPartNote(*event); });
}

// Key signatures of every track in tick order.
std::vector<const KeySignatureEvent*> keySignatures(const MidiSong& song) {
    std::vector<const KeySignatureEvent*> keys;
    for (const auto& track : song.tracks) {
        for (const auto& event : track->events) {
            if (event->kind() == KindKeySignature) {
                keys.push_back(static_cast<const KeySignatureEvent*>(event.get()));
            }
        }
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto* a, const auto* b) { return a->tick < b->tick; });
    return keys;
}

std::vector<Measure> measuresUpTo(const MidiSong& song, int32_t last) {
    std::vector<Measure> measures;
    const auto keys = keySignatures(song);
    std::size_t key = 0;
    for (std::size_t b = 0; b < song.barTable.size(); ++b) {
        const BarEntry bar = song.barTable[b];
        if ((!measures.empty() && bar.startTick <= measures.back().start) ||
            bar.startTick >= last) {
            continue;
        }
        const TimeSignatureEvent* signature =
            song.timeSignatureList[static_cast<std::size_t>(bar.timeSignatureIndex)];
        Measure m;
        m.start = bar.startTick;
        m.numerator = signature->numerator();
        m.denominator = signature->denominator();
        while (key < keys.size() && keys[key]->tick <= m.start) {
            ++key;
        }
        if (key > 0) {
            m.fifths = std::clamp(keys[key - 1]->sharpsFlats(), -7, 7);
            m.minor = keys[key - 1]->isMinor();
        }
        measures.push_back(m);
    }
    if (measures.empty()) {
        measures.push_back({});
    }
    for (std::size_t i = 0; i < measures.size(); ++i) {
        Measure& m = measures[i];
        const int32_t full = song.division * m.numerator * 4 / m.denominator;
        m.end = i + 1 < measures.size() ? measures[i + 1].start : m.start + full;
        m.implicit = m.end - m.start != full;
    }
    return measures;
}

// Step, alter and octave of a key in a key signature of `fifths`: the note of the scale where
// there is one, else the natural, else a sharp in sharp keys and a flat in flat keys.
struct Pitch {
    char step;
    int alter;
    int octave;
};

Pitch pitchOf(int key, int fifths) {
    static constexpr std::string_view kSteps = "CDEFGAB";
    static constexpr std::array<int, 7> kNatural = {0, 2, 4, 5, 7, 9, 11};
    static constexpr std::string_view kSharpOrder = "FCGDAEB";
    std::array<int, 7> signature{};
    for (int i = 0; i < std::abs(fifths); ++i) {
        const char step = fifths > 0 ? kSharpOrder[static_cast<std::size_t>(i)]
                                     : kSharpOrder[static_cast<std::size_t>(6 - i)];
        signature[kSteps.find(step)] = fifths > 0 ? 1 : -1;
    }
    const int pc = key % 12;
    auto spelled = [&](std::size_t s, int alter) {
        const int natural = key - alter;
        return Pitch{kSteps[s], alter, natural / 12 - 1};
    };
    for (std::size_t s = 0; s < 7; ++s) {
        if ((kNatural[s] + signature[s] + 12) % 12 == pc) {
            return spelled(s, signature[s]);
        }
    }
    for (std::size_t s = 0; s < 7; ++s) {
        if (kNatural[s] == pc) {
            return spelled(s, 0);
        }
    }
    const int alter = fifths < 0 ? -1 : 1;
    for (std::size_t s = 0; s < 7; ++s) {
        if ((kNatural[s] + alter + 12) % 12 == pc) {
            return spelled(s, alter);
        }
    }
    return spelled(0, 0);
}

// The note type and dot of a duration, when it has one.
std::string typeOf(int32_t duration, int division) {
    static constexpr std::array<const char*, 7> kTypes = {"whole", "half", "quarter", "eighth",
                                                          "16th",  "32nd", "64th"};
    const int64_t whole = static_cast<int64_t>(division) * 4;
    for (std::size_t k = 0; k < kTypes.size(); ++k) {
        const int64_t parts = int64_t{1} << k;
        if (whole % parts != 0) {
            break;
        }
        const int64_t length = whole / parts;
        if (duration == length) {
            return std::string("<type>") + kTypes[k] + "</type>";
        }
        if (length % 2 == 0 && duration == length * 3 / 2) {
            return std::string("<type>") + kTypes[k] + "</type><dot/>";
        }
    }
    return {};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string out = text;
    while (out.back() == '0') {
        out.pop_back();
    }
    if (out.back() == '.') {
        out.pop_back();
    }
    return out;
}

// The notes of a track in voices: a note joins a chord of its start and end, else the first
// voice free at its start, else a new voice.
std::vector<std::vector<Chord>> voicesOf(const MidiTrack& track) {
    std::vector<const MidiEvent*> notes;
    for (const auto& event : track.events) {
        if (isPartNote(*event)) {
            notes.push_back(event.get());
        }
    }
    std::stable_sort(notes.begin(), notes.end(), [](const MidiEvent* a, const MidiEvent* b) {
        return std::tuple(a->tick, a->duration, a->data1) <
               std::tuple(b->tick, b->duration, b->data1);
    });
    std::vector<std::vector<Chord>> voices;
    for (const MidiEvent* note : notes) {
        const int32_t end = note->tick + note->duration;
        std::vector<Chord>* home = nullptr;
        for (auto& voice : voices) {
            const Chord& last = voice.back();
            if (last.start == note->tick && last.end == end) {
                if (std::none_of(last.notes.begin(), last.notes.end(),
                                 [&](const MidiEvent* n) { return n->data1 == note->data1; })) {
                    voice.back().notes.push_back(note);
                    home = &voice;
                    break;
                }
            }
        }
        if (home) {
            continue;
        }
        for (auto& voice : voices) {
            if (voice.back().end <= note->tick) {
                home = &voice;
                break;
            }
        }
        if (!home) {
            home = &voices.emplace_back();
        }
        home->push_back({note->tick, end, {note}, {}, {}, {}});
    }
    return voices;
}

// The track the words are sung to: the one with the most syllables sung as one of its notes
// starts (a chord counts once); -1 when there are no words.
int wordsPart(const MidiSong& song, const std::vector<int>& tracks,
              const std::vector<Syllable>& syllables) {
    std::vector<int32_t> ticks;
    for (const Syllable& syllable : syllables) {
        ticks.push_back(syllable.tick);
    }
    std::sort(ticks.begin(), ticks.end());
    int best = -1;
    int most = -1;
    for (const int t : tracks) {
        int sung = 0;
        int32_t counted = -1;
        for (const auto& event : song.track(t)->events) {
            if (isPartNote(*event) && event->tick != counted &&
                std::binary_search(ticks.begin(), ticks.end(), event->tick)) {
                ++sung;
                counted = event->tick;
            }
        }
        if (!syllables.empty() && sung > most) {
            most = sung;
            best = t;
        }
    }
    return best;
}

// Each syllable goes on the chord of the first voice sounding when it is sung.
void placeWords(const std::vector<Syllable>& syllables, std::vector<Chord>& chords) {
    std::vector<int32_t> starts;
    for (const Chord& chord : chords) {
        starts.push_back(chord.start);
    }
    const std::vector<std::size_t> place = syllablePlaces(syllables, starts);
    // Syllables come in time order, so those of one chord follow each other.
    bool begins = true;
    for (std::size_t i = 0; i < syllables.size(); ++i) {
        Chord& chord = chords[place[i]];
        if (i == 0 || place[i - 1] != place[i]) {
            begins = syllables[i].startsWord;
        } else if (syllables[i].startsWord) {
            chord.words += ' ';
        }
        chord.words += syllables[i].text;
        if (i + 1 == syllables.size() || place[i + 1] != place[i]) {
            const bool ends = i + 1 == syllables.size() || syllables[i + 1].startsWord;
            chord.syllabic = begins ? (ends ? "single" : "begin") : (ends ? "end" : "middle");
        }
    }
}

void placeTablature(const HarmonicaLayout& layout, std::vector<Chord>& chords) {
    for (Chord& chord : chords) {
        for (const MidiEvent* note : chord.notes) {
            const int key = note->data1 & 0x7F;
            const auto& ways = layout.noteMap(key);
            std::string token =
                "[" + HarmonicaLayout::keyName(key % 12) + std::to_string(key / 12 - 1) + "]";
            if (!ways.empty()) {
                const auto chosen =
                    static_cast<std::size_t>(layout.alternativeOf(key, note->fingering));
                token = tabToken(layout.playingOf(ways[chosen]), TabStyle::Plus);
            }
            chord.tablature += (chord.tablature.empty() ? "" : " ") + token;
        }
        if (chord.notes.size() > 1) {
            chord.tablature = "(" + chord.tablature + ")";
        }
    }
}

class PartWriter {
public:
    PartWriter(std::string& out, const MidiSong& song, const std::vector<Measure>& measures)
        : out_(out), song_(song), measures_(measures) {}

    void write(const std::vector<std::vector<Chord>>& voices, int clefLine, char clef,
               bool tempos) {
        std::vector<std::size_t> cursor(voices.size(), 0);
        const Measure* previous = nullptr;
        for (std::size_t i = 0; i < measures_.size(); ++i) {
            const Measure& m = measures_[i];
            out_ += "    <measure number=\"" + std::to_string(i + 1) + "\"" +
                    (m.implicit ? " implicit=\"yes\"" : "") + ">\n";
            attributes(m, previous, clef, clefLine);
            if (tempos) {
                tempoChanges(m);
            }
            for (std::size_t v = 0; v < voices.size(); ++v) {
                const std::vector<Chord>& chords = voices[v];
                std::size_t& c = cursor[v];
                while (c < chords.size() && chords[c].end <= m.start) {
                    ++c;
                }
                const bool sounds = c < chords.size() && chords[c].start < m.end;
                if (v > 0 && !sounds) {
                    continue;
                }
                if (v > 0) {
                    out_ += "      <backup><duration>" + std::to_string(m.end - m.start) +
                            "</duration></backup>\n";
                }
                voice(chords, c, m, static_cast<int>(v) + 1);
            }
            if (voices.empty()) {
                rest(m.end - m.start, 1, true);
            }
            out_ += "    </measure>\n";
            previous = &m;
        }
    }

private:
    void attributes(const Measure& m, const Measure* previous, char clef, int clefLine) {
        std::string body;
        if (!previous) {
            body += "        <divisions>" + std::to_string(song_.division) + "</divisions>\n";
        }
        if (!previous || previous->fifths != m.fifths || previous->minor != m.minor) {
            body += "        <key><fifths>" + std::to_string(m.fifths) + "</fifths><mode>" +
                    (m.minor ? "minor" : "major") + "</mode></key>\n";
        }
        if (!previous || previous->numerator != m.numerator ||
            previous->denominator != m.denominator) {
            body += "        <time><beats>" + std::to_string(m.numerator) + "</beats><beat-type>" +
                    std::to_string(m.denominator) + "</beat-type></time>\n";
        }
        if (!previous) {
            body += std::string("        <clef><sign>") + clef + "</sign><line>" +
                    std::to_string(clefLine) + "</line></clef>\n";
        }
        if (!body.empty()) {
            out_ += "      <attributes>\n" + body + "      </attributes>\n";
        }
    }

    void tempoChanges(const Measure& m) {
        for (const TempoEvent* tempo : song_.tempoList) {
            if (tempo->tick < m.start || tempo->tick >= m.end || tempo->value() <= 0) {
                continue;
            }
            const std::string bpm = number(60000000.0 / tempo->value());
            out_ += "      <direction placement=\"above\"><direction-type><metronome>"
                    "<beat-unit>quarter</beat-unit><per-minute>" +
                    bpm + "</per-minute></metronome></direction-type>";
            if (tempo->tick > m.start) {
                out_ += "<offset>" + std::to_string(tempo->tick - m.start) + "</offset>";
            }
            out_ += "<sound tempo=\"" + bpm + "\"/></direction>\n";
        }
    }

    void rest(int32_t duration, int voice, bool wholeMeasure) {
        out_ += std::string("      <note>") +
                (wholeMeasure ? "<rest measure=\"yes\"/>" : "<rest/>") + "<duration>" +
                std::to_string(duration) + "</duration><voice>" + std::to_string(voice) +
                "</voice>" + (wholeMeasure ? "" : typeOf(duration, song_.division)) + "</note>\n";
    }

    void voice(const std::vector<Chord>& chords, std::size_t first, const Measure& m, int number) {
        int32_t at = m.start;
        for (std::size_t c = first; c < chords.size() && chords[c].start < m.end; ++c) {
            const Chord& chord = chords[c];
            const int32_t from = std::max(chord.start, m.start);
            const int32_t to = std::min(chord.end, m.end);
            if (from > at) {
                rest(from - at, number, false);
            }
            const bool tiedFrom = chord.start < m.start;
            const bool tiedTo = chord.end > m.end;
            for (std::size_t n = 0; n < chord.notes.size(); ++n) {
                note(chord, n, to - from, tiedFrom, tiedTo, m.fifths, number);
            }
            at = to;
        }
        if (at == m.start) {
            rest(m.end - m.start, number, true);
        } else if (at < m.end) {
            rest(m.end - at, number, false);
        }
    }

    void note(const Chord& chord, std::size_t index, int32_t duration, bool tiedFrom, bool tiedTo,
              int fifths, int voice) {
        const Pitch pitch = pitchOf(chord.notes[index]->data1 & 0x7F, fifths);
        std::string text = "      <note>";
        if (index > 0) {
            text += "<chord/>";
        }
        text += std::string("<pitch><step>") + pitch.step + "</step>";
        if (pitch.alter != 0) {
            text += "<alter>" + std::to_string(pitch.alter) + "</alter>";
        }
        text += "<octave>" + std::to_string(pitch.octave) + "</octave></pitch><duration>" +
                std::to_string(duration) + "</duration>";
        if (tiedFrom) {
            text += "<tie type=\"stop\"/>";
        }
        if (tiedTo) {
            text += "<tie type=\"start\"/>";
        }
        text += "<voice>" + std::to_string(voice) + "</voice>" + typeOf(duration, song_.division);
        if (tiedFrom || tiedTo) {
            text += "<notations>";
            text += tiedFrom ? "<tied type=\"stop\"/>" : "";
            text += tiedTo ? "<tied type=\"start\"/>" : "";
            text += "</notations>";
        }
        if (index == 0 && !tiedFrom) {
            if (!chord.words.empty()) {
                text += "<lyric number=\"1\"><syllabic>" + chord.syllabic + "</syllabic><text>" +
                        escaped(chord.words) + "</text></lyric>";
            }
            if (!chord.tablature.empty()) {
                text += "<lyric number=\"2\" name=\"tablature\"><syllabic>single</syllabic><text>" +
                        escaped(chord.tablature) + "</text></lyric>";
            }
        }
        out_ += text + "</note>\n";
    }

    std::string& out_;
    const MidiSong& song_;
    const std::vector<Measure>& measures_;
};

int programOf(const MidiTrack& track, int channel) {
    for (const auto& event : track.events) {
        if (event->kind() == KindProgram && event->channel() == channel) {
            return event->data1 & 0x7F;
        }
    }
    return 0;
}

} // namespace

std::vector<int> musicXmlTracks(const MidiSong& song) {
    std::vector<int> tracks;
    for (int t = 0; t < song.trackCount(); ++t) {
        const MidiTrack& track = *song.track(t);
        if ((track.flags & TrackShown) != 0 && hasNotes(track)) {
            tracks.push_back(t);
        }
    }
    return tracks;
}

std::string writeMusicXml(const MidiSong& song, const MusicXmlOptions& options) {
    std::vector<int> tracks = options.tracks.empty() ? musicXmlTracks(song) : options.tracks;
    std::erase_if(tracks, [&](int t) { return !song.track(t); });
    const int melody = options.melodyTrack >= 0 ? options.melodyTrack : melodyTrack(song);

    int32_t last = 1;
    for (const int t : tracks) {
        for (const auto& event : song.track(t)->events) {
            if (isPartNote(*event)) {
                last = std::max(last, event->tick + event->duration);
            }
        }
    }
    const std::vector<Measure> measures = measuresUpTo(song, last);

    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
        "<score-partwise version=\"4.0\">\n"
        "  <work><work-title>" +
        escaped(songTitle(song)) + "</work-title></work>\n  <part-list>\n";
    for (std::size_t p = 0; p < tracks.size(); ++p) {
        const MidiTrack& track = *song.track(tracks[p]);
        const std::string id = "P" + std::to_string(p + 1);
        int channel = 0;
        for (const auto& event : track.events) {
            if (isPartNote(*event)) {
                channel = event->channel();
                break;
            }
        }
        const int program = programOf(track, channel);
        const std::string name =
            track.name.empty() ? "Track " + std::to_string(tracks[p]) : utf8Text(track.name);
        out += "    <score-part id=\"" + id + "\">\n      <part-name>" + escaped(name) +
               "</part-name>\n      <score-instrument id=\"" + id + "-I1\"><instrument-name>" +
               escaped(programName(program)) + "</instrument-name></score-instrument>\n" +
               "      <midi-instrument id=\"" + id + "-I1\"><midi-channel>" +
               std::to_string(channel + 1) + "</midi-channel><midi-program>" +
               std::to_string(program + 1) +
               "</midi-program></midi-instrument>\n    </score-part>\n";
    }
    out += "  </part-list>\n";

    const std::vector<Syllable> syllables = songSyllables(song);
    const int wordsTrack = wordsPart(song, tracks, syllables);
    for (std::size_t p = 0; p < tracks.size(); ++p) {
        std::vector<std::vector<Chord>> voices = voicesOf(*song.track(tracks[p]));
        if (tracks[p] == wordsTrack && !voices.empty()) {
            placeWords(syllables, voices[0]);
        }
        if (tracks[p] == melody && options.tablature) {
            for (auto& voice : voices) {
                placeTablature(*options.tablature, voice);
            }
        }
        // A part that lies mostly below middle C reads better in the bass clef.
        std::vector<int> keys;
        for (const auto& voice : voices) {
            for (const Chord& chord : voice) {
                for (const MidiEvent* note : chord.notes) {
                    keys.push_back(note->data1);
                }
            }
        }
        std::nth_element(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2),
                         keys.end());
        const bool bass = !keys.empty() && keys[keys.size() / 2] < 60;
        out += "  <part id=\"P" + std::to_string(p + 1) + "\">\n";
        PartWriter(out, song, measures).write(voices, bass ? 4 : 2, bass ? 'F' : 'G', p == 0);
        out += "  </part>\n";
    }
    out += "</score-partwise>\n";
    return out;
}

} // namespace reedtab
