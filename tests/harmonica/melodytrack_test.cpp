// Which track is the melody: by the track's name, by the words sung to it, by sounding one
// note at a time above the others; on made songs and on the corpus's karaoke and choral files.

#include "harmonica/harpfinder.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace reedtab {
namespace {

constexpr int kQuarter = 480;
constexpr int kDrums = 9;

struct Note {
    int32_t tick;
    int key;
    int32_t length = kQuarter;
};

// A song at division 480 with an empty first track; tracks are added with their notes.
class Song {
public:
    Song() {
        song.division = kQuarter;
        song.tracks.push_back(std::make_unique<MidiTrack>());
    }
    int addTrack(const std::string& name, const std::vector<Note>& notes, int channel = 0) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        const int index = song.trackCount() - 1;
        song.setTrackName(index, name);
        for (const Note& n : notes) {
            auto event = makeChannelEvent(static_cast<uint8_t>(0x90 | channel),
                                          static_cast<uint8_t>(n.key), 100);
            event->duration = n.length;
            song.addEvent(n.tick, index, std::move(event));
        }
        return index;
    }
    // `count` notes of `key`, one every `step` ticks from `first`.
    static std::vector<Note> run(int count, int key, int32_t step = kQuarter, int32_t first = 0) {
        std::vector<Note> notes;
        for (int k = 0; k < count; ++k) {
            notes.push_back({first + k * step, key + (k % 3), step});
        }
        return notes;
    }
    // Triads of `count` chords, one every `step` ticks.
    static std::vector<Note> chords(int count, int root, int32_t step = kQuarter) {
        std::vector<Note> notes;
        for (int k = 0; k < count; ++k) {
            for (int interval : {0, 4, 7}) {
                notes.push_back({k * step, root + interval, step});
            }
        }
        return notes;
    }
    void addWords(int track, const std::vector<int32_t>& ticks, bool lyric = true) {
        for (int32_t tick : ticks) {
            if (lyric) {
                song.addEvent(tick, track, makeLyricEvent("la "));
            } else {
                song.addEvent(tick, track, makeTextEvent("la"));
            }
        }
    }
    MidiSong song;
};

TEST(MelodyTrack, ANameThatSaysMelodyWinsOverBusierAndHigherTracks) {
    Song s;
    s.addTrack("Piano", Song::chords(64, 72));
    s.addTrack("Flute", Song::run(64, 84));
    const int lead = s.addTrack("Lead_Vocals 2", Song::run(20, 62));
    EXPECT_EQ(melodyTrack(s.song), lead) << "whole words, plural, any separator";

    // "Melody" is the strongest word, whatever the track order; a name on the drums or on a
    // track without notes does not count; a word inside another word does not count.
    const int melody = s.addTrack("MELODY", Song::run(10, 60));
    s.addTrack("melody", Song::run(200, 60), kDrums);
    s.addTrack("Melody words", {});
    s.addTrack("Soloist Leader Tuned", Song::run(300, 90));
    EXPECT_EQ(melodyTrack(s.song), melody);

    // Between two tracks named by the same word, the one with more notes.
    Song two;
    two.addTrack("Solo 1", Song::run(10, 60));
    const int busier = two.addTrack("Solo 2", Song::run(30, 60));
    EXPECT_EQ(melodyTrack(two.song), busier);
}

TEST(MelodyTrack, TheTrackWhoseOnsetsMatchTheWordsWhenNoNameSays) {
    Song s;
    // The words sit on the first track, without notes, on every other quarter.
    std::vector<int32_t> words;
    std::vector<Note> tune;
    for (int k = 0; k < 16; ++k) {
        words.push_back(2 * k * kQuarter);
        tune.push_back({2 * k * kQuarter, 60 + k % 5, 2 * kQuarter});
    }
    s.addWords(0, words);
    s.addTrack("Strings", Song::chords(32, 72));            // hits every word and every quarter
    s.addTrack("Bass", Song::run(8, 40, 4 * kQuarter));     // every other word
    const int voice = s.addTrack("Track 3", tune);          // one note per word
    s.addTrack("Hi-hat", Song::run(128, 90, kQuarter / 4)); // high and busy
    EXPECT_EQ(melodyTrack(s.song), voice);

    // Words a little before their notes (within a 32nd) still match.
    std::vector<MidiEvent*> lyrics;
    for (MidiEvent* event : s.song.mergedEvents) {
        if (event->kind() == KindLyric && event->tick > 0) {
            lyrics.push_back(event);
        }
    }
    for (MidiEvent* event : lyrics) {
        s.song.moveEvent(event, event->tick - kQuarter / 10);
    }
    EXPECT_EQ(melodyTrack(s.song), voice);
}

TEST(MelodyTrack, TheTrackHoldingTheWordsWinsWhenItsNotesMatchThem) {
    Song s;
    const std::vector<Note> tune = Song::run(16, 60, kQuarter);
    s.addTrack("Clarinet", tune);
    const int sung = s.addTrack("Soprano", tune);
    std::vector<int32_t> words;
    for (const Note& n : tune) {
        words.push_back(n.tick);
    }
    s.addWords(sung, words);
    EXPECT_EQ(melodyTrack(s.song), sung) << "the clarinet matches as well";

    // Karaoke words are text events; "@" tags are no words.
    Song kar;
    kar.addTrack("Clarinet", Song::run(16, 72, kQuarter, kQuarter / 2)); // off the words
    const int tuneTrack = kar.addTrack("Track", tune);
    kar.addTrack("Organ", Song::chords(64, 48, kQuarter / 4));
    for (int k = 0; k < 40; ++k) {
        kar.song.addEvent(k * kQuarter / 4, 0, makeTextEvent("@Tsome title"));
    }
    EXPECT_NE(melodyTrack(kar.song), tuneTrack) << "tags alone are no words";
    kar.addWords(0, words, false);
    EXPECT_EQ(melodyTrack(kar.song), tuneTrack);
}

TEST(MelodyTrack, HighestMonophonicTrackWhenNeitherNameNorWordsSay) {
    Song s;
    s.addTrack("Bass", Song::run(64, 36));                 // one note at a time, low
    s.addTrack("Pad", Song::chords(32, 76, 2 * kQuarter)); // high chords
    s.addTrack("Bells", Song::run(10, 100, 6 * kQuarter)); // high, too few notes
    s.addTrack("Cymbals", Song::run(64, 110), kDrums);     // drums never count
    // Legato: each note runs into the next by less than a 64th.
    std::vector<Note> legato = Song::run(40, 67);
    for (Note& n : legato) {
        n.length += kQuarter / 20;
    }
    const int tune = s.addTrack("Track 5", legato);
    // Fewer than 8 words are no lyrics: the highest monophonic track still wins.
    s.addWords(0, {0, kQuarter, 2 * kQuarter});
    EXPECT_EQ(melodyTrack(s.song), tune);

    // Without a monophonic track above the bass, the bass is the one that plays single notes.
    Song noTune;
    const int bass = noTune.addTrack("Bass", Song::run(64, 36));
    noTune.addTrack("Pad", Song::chords(32, 76, 2 * kQuarter));
    EXPECT_EQ(melodyTrack(noTune.song), bass);

    // Only chords: the higher of them.
    Song chords;
    chords.addTrack("Left", Song::chords(32, 48));
    const int right = chords.addTrack("Right", Song::chords(32, 72));
    EXPECT_EQ(melodyTrack(chords.song), right);

    Song drumsOnly;
    drumsOnly.addTrack("Kit", Song::run(16, 38), kDrums);
    EXPECT_EQ(melodyTrack(drumsOnly.song), -1);
}

// The corpus's sung pieces: the melody each file names, or the voice its words are sung to.
class MelodyCorpus : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(std::string(REEDTAB_CORPUS_DIR) + "/choral-karaoke")) {
            GTEST_SKIP() << "no corpus at " << REEDTAB_CORPUS_DIR;
        }
    }
    static int melodyOf(const char* file, bool withoutNames = false) {
        MidiSong song;
        EXPECT_EQ(song.loadFile(std::string(REEDTAB_CORPUS_DIR) + "/" + file), LoadOk) << file;
        if (withoutNames) {
            for (int t = 0; t < song.trackCount(); ++t) {
                song.setTrackName(t, "Track");
            }
        }
        return melodyTrack(song);
    }
};

TEST_F(MelodyCorpus, NamedMelodyTracks) {
    EXPECT_EQ(melodyOf("choral-karaoke/Negra_Sombra.kar"), 3);       // "Solo", words in track 2
    EXPECT_EQ(melodyOf("choral-karaoke/twinkle.kar"), 5);            // "Solo" among accompaniment
    EXPECT_EQ(melodyOf("choral-karaoke/Schubert_Standchen.mid"), 1); // "Melody" over two pianos
    EXPECT_EQ(melodyOf("choral-karaoke/schubert_avemaria.mid"), 1);  // words in a track apart
    EXPECT_EQ(melodyOf("choral-karaoke/mozart_konigdernacht.mid"), 12); // "voice"
}

TEST_F(MelodyCorpus, TheVoiceTheWordsAreSungTo) {
    // Choirs and orchestras: the words sit in the soprano's track.
    EXPECT_EQ(melodyOf("choral-karaoke/haendel_hallelujah.mid"), 6);
    EXPECT_EQ(melodyOf("choral-karaoke/lindaamiga.mid"), 1);
    EXPECT_EQ(melodyOf("choral-karaoke/mozart_aveverum.mid"), 5);
    EXPECT_EQ(melodyOf("choral-karaoke/mozart_diesirae.mid"), 8);
    // With every name gone, the words find the tune: karaoke text in the first track beside a
    // solo, lyrics in a track apart beside a melody with a busy piano.
    EXPECT_EQ(melodyOf("choral-karaoke/twinkle.kar", true), 5);
    EXPECT_EQ(melodyOf("choral-karaoke/schubert_avemaria.mid", true), 1);
    EXPECT_EQ(melodyOf("choral-karaoke/Schubert_Standchen.mid", true), 1);
    EXPECT_EQ(melodyOf("choral-karaoke/Negra_Sombra.kar", true), 3);
}

} // namespace
} // namespace reedtab
