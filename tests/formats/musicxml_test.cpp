#include "formats/musicxml.h"

#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "scorereader.h"
#include "songbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace reedtab::testing {
namespace {

// The notes of a track as the score must give them: start, length and key of every note-on
// the view draws, drums left out.
std::vector<ScoreNote> trackNotes(const MidiSong& song, int track) {
    std::vector<ScoreNote> notes;
    for (const auto& event : song.track(track)->events) {
        if (event->isNote && event->isNoteOn() && event->channel() != 9) {
            notes.push_back({event->tick, event->duration, event->data1});
        }
    }
    std::sort(notes.begin(), notes.end());
    return notes;
}

Score scoreOf(const MidiSong& song, const MusicXmlOptions& options = {}) {
    std::string error;
    const std::optional<Score> score = readScore(writeMusicXml(song, options), error);
    EXPECT_TRUE(score) << error;
    return score.value_or(Score{});
}

// Every part holds every note of its track, and every measure adds up.
void expectComplete(const MidiSong& song, const std::vector<int>& tracks, const Score& score,
                    const std::string& what) {
    EXPECT_TRUE(score.problems.empty()) << what << ": " << score.problems.front();
    ASSERT_EQ(score.parts.size(), tracks.size()) << what;
    if (!tracks.empty()) {
        EXPECT_EQ(score.divisions, song.division) << what;
    }
    for (std::size_t p = 0; p < tracks.size(); ++p) {
        std::vector<ScoreNote> written = score.parts[p].notes;
        std::sort(written.begin(), written.end());
        EXPECT_EQ(written, trackNotes(song, tracks[p])) << what << " track " << tracks[p];
    }
}

TEST(MusicXml, TheExamplesReadBackWholeWithTheirWords) {
    for (const char* name : {"oh-susanna.mid", "saints.mid", "amazing-grace.kar"}) {
        MidiSong song;
        ASSERT_EQ(song.loadFile(std::string(REEDTAB_SOURCE_DIR "/examples/") + name), LoadOk);
        for (const auto& track : song.tracks) {
            for (const auto& e : track->events) {
                e->isNote = e->isNoteOn() && e->duration > 0 && e->channel() != 9;
            }
        }
        const std::vector<int> tracks = musicXmlTracks(song);
        const Score score = scoreOf(song);
        expectComplete(song, tracks, score, name);
        ASSERT_FALSE(score.parts.empty());
        EXPECT_EQ(score.parts[0].name, "Melody") << name;
        EXPECT_EQ(score.title, song.track(0)->name);
    }
    MidiSong grace;
    ASSERT_EQ(grace.loadFile(REEDTAB_SOURCE_DIR "/examples/amazing-grace.kar"), LoadOk);
    for (const auto& track : grace.tracks) {
        for (const auto& e : track->events) {
            e->isNote = e->isNoteOn() && e->duration > 0;
        }
    }
    const Score words = scoreOf(grace, {.tracks = {3, 1}});
    ASSERT_EQ(words.parts.size(), 2u);
    EXPECT_TRUE(words.parts[0].lyrics.empty()) << "the organ's chords are not sung";
    ASSERT_TRUE(words.parts[1].lyrics.count("1")) << "the words go with the melody";
    const auto& lyrics = words.parts[1].lyrics.at("1");
    ASSERT_GE(lyrics.size(), 3u);
    EXPECT_EQ(lyrics[0] + lyrics[1] + lyrics[2], "Amazing");
    EXPECT_EQ(words.parts[1].syllabics[0], "begin");
    EXPECT_EQ(words.parts[1].syllabics[2], "end");
}

TEST(MusicXml, TiesVoicesChordsSignaturesTemposAndTablature) {
    SongBuilder b(3);
    b.name(0, "Tricky & <Co>").time(0, 3, 4).key(0, -3, false).tempo(0, 500000);
    b.time(1440 * 2, 4, 4).tempo(1440 * 2 + 480, 400000).key(1440 * 2, 2, false);
    b.name(1, "Lead").program(1, 0, 22);
    // Bar 1 (3/4): a chord, then Eb4 held over the bar line into bar 2.
    b.note(1, 60, 0, 480).note(1, 64, 0, 480).note(1, 67, 0, 480);
    b.note(1, 63, 960, 1920);
    // Bar 2: a note that overlaps the next one (a second voice), then a rest.
    b.note(1, 67, 1920, 2400).note(1, 68, 2160, 2640);
    // Bar 3 (4/4, D major): F#, then a note tied over two bar lines into bar 5.
    b.note(1, 66, 2880, 3360).note(1, 62, 3840, 3840 + 1920 + 960);
    b.lyric(1, 0, "Ho").lyric(1, 960, "ney ").lyric(1, 2880, "bee");
    b.name(2, "Drums").note(2, 36, 0, 100, 9);
    MidiSong song;
    b.load(song);

    Settings block;
    DiatonicLayout richter(block);
    const Score score = scoreOf(song, {.tracks = {}, .melodyTrack = 1, .tablature = &richter});
    expectComplete(song, {1}, score, "tricky");
    EXPECT_EQ(score.title, "Tricky & <Co>");
    const ScorePart& lead = score.parts[0];
    EXPECT_EQ(lead.name, "Lead");
    EXPECT_EQ(lead.program, 23) << "General MIDI counts programs from 1";
    EXPECT_EQ(lead.channel, 1);
    const std::vector<std::pair<int, std::string>> times = {{1, "3/4"}, {3, "4/4"}};
    EXPECT_EQ(lead.times, times);
    const std::vector<std::pair<int, int>> keys = {{1, -3}, {3, 2}};
    EXPECT_EQ(lead.keys, keys);
    const std::vector<std::pair<int64_t, double>> tempos = {{0, 120.0}, {3360, 150.0}};
    EXPECT_EQ(lead.tempos, tempos);
    EXPECT_EQ(lead.pitchSpellings[3], "E" + std::string("b") + "4") << "Eb in E-flat major";
    const auto sharp = std::find(lead.pitchSpellings.begin(), lead.pitchSpellings.end(), "F#4");
    EXPECT_NE(sharp, lead.pitchSpellings.end()) << "F# in D major";
    const std::vector<std::string> words = {"Ho", "ney", "bee"};
    EXPECT_EQ(lead.lyrics.at("1"), words);
    const std::vector<std::string> syllabics = {"begin", "end", "single"};
    EXPECT_EQ(lead.syllabics, syllabics);
    const std::vector<std::string> tab = {"(+1 +2 -2)", "+1o", "-2", "-3'''", "-2'", "-1"};
    EXPECT_EQ(lead.lyrics.at("2"), tab);
}

TEST(MusicXml, ATimeSignatureInsideABarMakesAnImplicitMeasure) {
    SongBuilder b(2);
    b.time(0, 4, 4).time(1000, 4, 4);
    b.note(1, 60, 0, 500).note(1, 62, 900, 1300).note(1, 64, 1000 + 1920, 1000 + 2400);
    MidiSong song;
    b.load(song);
    const Score score = scoreOf(song);
    expectComplete(song, {1}, score, "cut bar");
    const std::string xml = writeMusicXml(song, {});
    EXPECT_NE(xml.find("<measure number=\"1\" implicit=\"yes\">"), std::string::npos);
}

TEST(MusicXml, ChosenTracksAndTracksWithoutNotes) {
    SongBuilder b(4);
    b.note(1, 60, 0, 480).note(2, 72, 0, 1920).note(3, 40, 0, 480, 9);
    MidiSong song;
    b.load(song);
    EXPECT_EQ(musicXmlTracks(song), std::vector<int>({1, 2})) << "no empty or drum-only parts";
    song.track(2)->flags = 0;
    EXPECT_EQ(musicXmlTracks(song), std::vector<int>({1})) << "hidden tracks stay out";
    const Score score = scoreOf(song, {.tracks = {2}});
    expectComplete(song, {2}, score, "hidden but chosen");
    EXPECT_EQ(score.parts[0].name, "Track 2");
    const Score none = scoreOf(song, {.tracks = {0}});
    ASSERT_EQ(none.parts.size(), 1u);
    EXPECT_TRUE(none.parts[0].notes.empty());
    EXPECT_TRUE(none.problems.empty()) << none.problems.front();
}

TEST(MusicXml, RealSongsOfTheCorpusReadBackWhole) {
    int songs = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(REEDTAB_CORPUS_DIR "/songs")) {
        if (entry.path().extension() != ".mid") {
            continue;
        }
        MidiSong song;
        if (song.loadFile(entry.path().string()) != LoadOk) {
            continue;
        }
        for (const auto& track : song.tracks) {
            for (const auto& e : track->events) {
                e->isNote = e->isNoteOn() && e->duration > 0 && e->channel() != 9;
            }
        }
        expectComplete(song, musicXmlTracks(song), scoreOf(song), entry.path().filename().string());
        ++songs;
    }
    EXPECT_GE(songs, 10);
}

} // namespace
} // namespace reedtab::testing
