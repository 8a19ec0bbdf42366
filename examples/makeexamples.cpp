// Writes the example songs: public-domain melodies in C major, in the range a C diatonic
// harmonica plays without bends, built with the song model and saved with its writer.
//
// usage: make-examples OUTDIR

#include "model/midisong.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

using namespace reedtab;

namespace {

constexpr int division = 480;
constexpr int eighth = division / 2;
constexpr int rest = 0;

// Pitches by name (C5 is the blow note of hole 4 on a C harmonica).
enum Pitch : int {
    F2 = 41,
    G2 = 43,
    C3 = 48,
    B3 = 59,
    C4 = 60,
    D4 = 62,
    E4 = 64,
    F4 = 65,
    G4 = 67,
    A4 = 69,
    C5 = 72,
    D5 = 74,
    E5 = 76,
    F5 = 77,
    G5 = 79,
    A5 = 81,
    C6 = 84,
    D6 = 86,
    E6 = 88,
    G6 = 91,
};

// Drum keys of the General MIDI percussion map (channel 10).
constexpr int kick = 36, snare = 38, closedHat = 42;

struct Note {
    int pitch;   // 0 for a rest
    int eighths; // length in eighth notes
    const char* syllable = nullptr;
};

class SongWriter {
public:
    SongWriter(const char* title, int numerator, int bpm) : numerator_(numerator) {
        song_.format = 1;
        song_.division = division;
        song_.tracks.push_back(std::make_unique<MidiTrack>());
        song_.setTrackName(0, title);
        auto ts = makeTimeSignatureEvent(numerator, 4, 24, 8);
        song_.timeSignatureList.push_back(ts.get());
        song_.addEvent(0, 0, std::move(ts));
        song_.addEvent(0, 0, makeKeySignatureEvent(0, false));
        song_.addEvent(0, 0, makeTempoEventFromBpm(bpm));
        addText(0, 0, MetaCopyright, "Public domain melody; arrangement by Reedtab Midi");
    }

    int bar(int index) const { return index * numerator_ * division; }

    // A new track; a negative channel makes a track without channel messages (words).
    int addTrack(const char* name, int channel, int program) {
        song_.tracks.push_back(std::make_unique<MidiTrack>());
        int index = song_.trackCount() - 1;
        song_.tracks.back()->index = index;
        song_.setTrackName(index, name);
        if (channel < 0)
            return index;
        song_.addEvent(0, index,
                       makeChannelEvent(static_cast<uint8_t>(0xC0 | channel),
                                        static_cast<uint8_t>(program), 0));
        song_.addEvent(0, index, makeChannelEvent(static_cast<uint8_t>(0xB0 | channel), 7, 100));
        return index;
    }

    // A note from `tick` lasting `length` ticks, released a little early so that a repeated
    // key is heard again (and never switched on at the tick its previous note ends).
    void note(int track, int channel, int tick, int length, int pitch, int velocity) {
        int gap = std::min(length / 8, 30);
        song_.addEvent(tick, track,
                       makeChannelEvent(static_cast<uint8_t>(0x90 | channel),
                                        static_cast<uint8_t>(pitch),
                                        static_cast<uint8_t>(velocity)));
        song_.addEvent(tick + length - gap, track,
                       makeChannelEvent(static_cast<uint8_t>(0x80 | channel),
                                        static_cast<uint8_t>(pitch), 64));
    }

    // Plays `notes` one after the other from `tick`; returns the tick after the last one.
    int melody(int track, int channel, int tick, const std::vector<Note>& notes,
               int lyricsTrack = -1) {
        for (const Note& n : notes) {
            int length = n.eighths * eighth;
            if (n.pitch != rest)
                note(track, channel, tick, length, n.pitch, 96);
            if (lyricsTrack >= 0 && n.syllable && *n.syllable)
                addText(lyricsTrack, tick, MetaLyric, n.syllable);
            tick += length;
        }
        return tick;
    }

    void chord(int track, int channel, int tick, int length, std::initializer_list<int> pitches,
               int velocity) {
        for (int p : pitches)
            note(track, channel, tick, length, p, velocity);
    }

    void addText(int track, int tick, uint8_t type, const char* text) {
        song_.addEvent(tick, track,
                       makeMetaEvent(type, text, static_cast<uint32_t>(std::string(text).size())));
    }

    void tempo(int tick, int bpm) { song_.addEvent(tick, 0, makeTempoEventFromBpm(bpm)); }

    // Ends every track at `tick` (the bar line after the music) and writes the file.
    bool save(const std::string& path, int endTick) {
        for (int t = 0; t < song_.trackCount(); ++t)
            song_.addEvent(endTick, t, makeEndOfTrackEvent());
        int result = song_.saveFile(path);
        if (result != SaveOk)
            std::fprintf(stderr, "make-examples: %s: cannot write the file\n", path.c_str());
        return result == SaveOk;
    }

private:
    MidiSong song_;
    int numerator_;
};

// "Oh! Susanna" (Stephen Foster, 1848): verse and chorus with bass and drums, and a
// broadening of the tempo in the last bar.
bool ohSusanna(const std::string& dir) {
    SongWriter w("Oh! Susanna", 4, 104);
    int melody = w.addTrack("Melody", 0, 22);
    int bass = w.addTrack("Bass", 1, 32);
    int drums = w.addTrack("Drums", 9, 0);
    const std::vector<Note> tune = {
        // I come | from A-la-ba-ma with my ban- | jo on my knee, I'm go- |
        {rest, 6},
        {C5, 1},
        {D5, 1},
        {E5, 1},
        {G5, 1},
        {G5, 1},
        {A5, 1},
        {G5, 1},
        {E5, 1},
        {C5, 1},
        {D5, 1},
        {E5, 1},
        {E5, 1},
        {D5, 1},
        {C5, 1},
        {D5, 2},
        {C5, 1},
        {D5, 1},
        // -ing to Lou-i-si-an-a my true | love for to see. |
        {E5, 1},
        {G5, 1},
        {G5, 1},
        {A5, 1},
        {G5, 1},
        {E5, 1},
        {C5, 1},
        {D5, 1},
        {E5, 1},
        {E5, 1},
        {D5, 1},
        {D5, 1},
        {C5, 4},
        // Oh! Su-san-na, | oh don't you cry for me, | for I come from Al-a-bam-a |
        {F5, 2},
        {F5, 2},
        {A5, 3},
        {A5, 1},
        {G5, 2},
        {G5, 1},
        {E5, 1},
        {C5, 1},
        {D5, 1},
        {D5, 2},
        {C5, 1},
        {D5, 1},
        {E5, 1},
        {G5, 1},
        {G5, 1},
        {A5, 1},
        {G5, 1},
        {E5, 1},
        // with my ban-jo on my knee.
        {C5, 1},
        {D5, 1},
        {E5, 1},
        {E5, 1},
        {D5, 1},
        {D5, 1},
        {C5, 2},
    };
    w.melody(melody, 0, 0, tune);
    // Bass roots on beats 1 and 3 of bars 2 to 9 (C, G and F chords).
    const int roots[8][2] = {{C3, C3}, {C3, G2}, {C3, C3}, {G2, C3},
                             {F2, F2}, {C3, G2}, {C3, C3}, {G2, C3}};
    for (int b = 0; b < 8; ++b)
        for (int half = 0; half < 2; ++half)
            w.note(bass, 1, w.bar(b + 1) + half * 2 * division, division, roots[b][half], 90);
    for (int b = 1; b < 9; ++b) {
        for (int beat = 0; beat < 4; ++beat) {
            int tick = w.bar(b) + beat * division;
            w.note(drums, 9, tick, eighth / 2, beat % 2 ? snare : kick, beat % 2 ? 84 : 100);
        }
        for (int e = 0; e < 8; ++e)
            w.note(drums, 9, w.bar(b) + e * eighth, eighth / 2, closedHat, e % 2 ? 50 : 70);
    }
    w.tempo(w.bar(8), 88);
    return w.save(dir + "/oh-susanna.mid", w.bar(9));
}

// "Amazing Grace" (words John Newton, 1779; tune "New Britain"), two verses in 3/4 with the
// words as lyric events in karaoke style: a blank before each new word, "/" before a new
// line, "\" before a new verse.
bool amazingGrace(const std::string& dir) {
    SongWriter w("Amazing Grace", 3, 80);
    int melody = w.addTrack("Melody", 0, 22);
    int words = w.addTrack("Words", -1, 0);
    int organ = w.addTrack("Organ", 1, 19);
    w.addText(words, 0, MetaText, "@KMIDI KARAOKE FILE");
    w.addText(words, 0, MetaText, "@LENGL");
    w.addText(words, 0, MetaText, "@TAmazing Grace");
    w.addText(words, 0, MetaText, "@TJohn Newton, 1779");
    // One verse: a pickup bar, then fifteen bars; the syllables fill the notes in order and a
    // melisma note gets "".
    const int verse[][2] = {
        {rest, 4}, {G5, 2},          // pickup
        {C6, 4},   {E6, 1}, {C6, 1}, // 1
        {E6, 4},   {D6, 2},          // 2
        {C6, 4},   {A5, 2},          // 3
        {G5, 4},   {G5, 2},          // 4
        {C6, 4},   {E6, 1}, {C6, 1}, // 5
        {E6, 4},   {D6, 2},          // 6
        {G6, 6},                     // 7
        {rest, 4}, {E6, 2},          // 8
        {G6, 4},   {E6, 1}, {G6, 1}, // 9
        {E6, 4},   {D6, 2},          // 10
        {C6, 4},   {A5, 2},          // 11
        {G5, 4},   {G5, 2},          // 12
        {C6, 4},   {E6, 1}, {C6, 1}, // 13
        {E6, 4},   {D6, 2},          // 14
        {C6, 6},                     // 15
    };
    const std::vector<std::vector<const char*>> lyrics = {
        {"A",      "ma",    "zing",   "",     " grace", " how",    " sweet", " the",
         " sound", " that", " saved", " a",   "",       " wretch", " like",  " me",
         "/I",     " once", " was",   "",     " lost",  " but",    " now",   " am",
         " found", " was",  " blind", " but", "",       " now",    " I",     " see"},
        {"\\'Twas", " grace", " that",  "",    " taught", " my",    " heart", " to",
         " fear",   " and",   " grace", " my", "",        " fears", " re",    "lieved",
         "/How",    " pre",   "cious",  "",    " did",    " that",  " grace", " ap",
         "pear",    " the",   " hour",  " I",  "",        " first", " be",    "lieved"},
    };
    int tick = 0;
    for (const auto& text : lyrics) {
        std::vector<Note> notes;
        size_t syllable = 0;
        for (const auto& [pitch, eighths] : verse)
            notes.push_back({pitch, eighths, pitch == rest ? nullptr : text.at(syllable++)});
        tick = w.melody(melody, 0, tick, notes, words);
    }
    // Organ chords, one per bar (bars after each pickup bar): C C F C C C G G / C C F C C G C.
    const int pattern[15] = {0, 0, 1, 0, 0, 0, 2, 2, 0, 0, 1, 0, 0, 2, 0};
    for (int v = 0; v < 2; ++v) {
        for (int b = 0; b < 15; ++b) {
            int start = w.bar(v * 16 + 1 + b);
            int length = 3 * division;
            switch (pattern[b]) {
            case 0:
                w.chord(organ, 1, start, length, {C4, E4, G4}, 64);
                break;
            case 1:
                w.chord(organ, 1, start, length, {C4, F4, A4}, 64);
                break;
            default:
                w.chord(organ, 1, start, length, {B3, D4, G4}, 64);
                break;
            }
        }
    }
    return w.save(dir + "/amazing-grace.kar", tick);
}

// "When the Saints Go Marching In" (traditional): sixteen bars with a piano chord track.
bool saints(const std::string& dir) {
    SongWriter w("When the Saints Go Marching In", 4, 120);
    int melody = w.addTrack("Melody", 0, 22);
    int piano = w.addTrack("Piano", 1, 0);
    const std::vector<Note> tune = {
        {rest, 2}, {C5, 2}, {E5, 2}, {F5, 2}, {G5, 8},          // Oh when the | saints
        {rest, 2}, {C5, 2}, {E5, 2}, {F5, 2}, {G5, 8},          // go march-ing | in,
        {rest, 2}, {C5, 2}, {E5, 2}, {F5, 2}, {G5, 4}, {E5, 4}, // oh when the | saints go
        {C5, 4},   {E5, 4}, {D5, 8},                            // march-ing | in,
        {rest, 2}, {E5, 2}, {E5, 2}, {D5, 2}, {C5, 6}, {C5, 2}, // oh Lord I | want to
        {E5, 4},   {G5, 2}, {G5, 2}, {G5, 4}, {F5, 4},          // be in that | num-ber,
        {rest, 2}, {C5, 2}, {E5, 2}, {F5, 2}, {G5, 4}, {E5, 4}, // oh when the | saints go
        {C5, 4},   {D5, 4}, {C5, 8},                            // march-ing | in.
    };
    int end = w.melody(melody, 0, 0, tune);
    // Chords on beats 1 and 3: C for bars 1-7, G in 8, C in 9-10, F in 11-12, C in 13-14, G in
    // 15, C in 16.
    const char chords[] = "CCCCCCCGCCFFCCGC";
    for (int b = 0; b < 16; ++b) {
        for (int half = 0; half < 2; ++half) {
            int tick = w.bar(b) + half * 2 * division;
            switch (chords[b]) {
            case 'C':
                w.chord(piano, 1, tick, 2 * division, {C4, E4, G4}, 60);
                break;
            case 'F':
                w.chord(piano, 1, tick, 2 * division, {C4, F4, A4}, 60);
                break;
            default:
                w.chord(piano, 1, tick, 2 * division, {B3, D4, G4}, 60);
                break;
            }
        }
    }
    return w.save(dir + "/saints.mid", end);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-examples OUTDIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = ohSusanna(dir) && amazingGrace(dir) && saints(dir);
    return ok ? 0 : 1;
}
