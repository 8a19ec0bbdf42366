// The example songs: make-examples writes exactly the committed files, and the songs are what
// the README promises (C major, harmonica range, several tracks, drums, a tempo change,
// karaoke lyrics).

#include "model/midisong.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

using namespace reedtab;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const char* const exampleFiles[] = {"oh-susanna.mid", "amazing-grace.kar", "saints.mid"};

std::string committed(const char* name) {
    return std::string(REEDTAB_SOURCE_DIR) + "/examples/" + name;
}

const MidiTrack* trackNamed(const MidiSong& song, const std::string& name) {
    for (const auto& t : song.tracks)
        if (t->name == name)
            return t.get();
    return nullptr;
}

} // namespace

TEST(Examples, RegeneratingGivesTheCommittedBytes) {
    auto dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "examples";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::string command = std::string("'") + REEDTAB_MAKE_EXAMPLES + "' '" + dir.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : exampleFiles) {
        std::string made = slurp((dir / name).string());
        ASSERT_FALSE(made.empty()) << name;
        EXPECT_TRUE(made == slurp(committed(name)))
            << name << " differs from the committed file: run make-examples examples/";
    }
}

TEST(Examples, MelodiesAreInCMajorWithinTheHarmonicasRange) {
    const std::set<int> scale = {0, 2, 4, 5, 7, 9, 11};
    for (const char* name : exampleFiles) {
        SCOPED_TRACE(name);
        MidiSong song;
        ASSERT_EQ(song.loadFile(committed(name)), LoadOk);
        EXPECT_FALSE(song.truncated);
        EXPECT_EQ(song.correctedCount + song.discardedCount + song.unfinishedCount, 0);
        EXPECT_EQ(song.overlappedCount, 0);
        EXPECT_EQ(song.keyName, "C");
        const MidiTrack* melody = trackNamed(song, "Melody");
        ASSERT_NE(melody, nullptr);
        int notes = 0;
        for (const auto& e : melody->events) {
            if (!e->isNoteOn())
                continue;
            ++notes;
            EXPECT_GE(e->data1, 60);
            EXPECT_LE(e->data1, 96);
            EXPECT_EQ(scale.count(e->data1 % 12), 1u) << "note " << e->data1;
        }
        EXPECT_GT(notes, 30);
    }
}

TEST(Examples, SusannaHasDrumsOnChannelTenAndATempoChange) {
    MidiSong song;
    ASSERT_EQ(song.loadFile(committed("oh-susanna.mid")), LoadOk);
    EXPECT_GE(song.tracks.size(), 4u);
    const MidiTrack* drums = trackNamed(song, "Drums");
    ASSERT_NE(drums, nullptr);
    EXPECT_EQ(drums->channels, std::vector<uint8_t>{9});
    ASSERT_GE(song.tempoList.size(), 2u);
    EXPECT_NE(song.tempoList.front()->value(), song.tempoList.back()->value());
}

TEST(Examples, AmazingGraceCarriesItsWordsAsLyricEvents) {
    MidiSong song;
    ASSERT_EQ(song.loadFile(committed("amazing-grace.kar")), LoadOk);
    EXPECT_EQ(song.timeSignatureAt(0).numerator, 3);
    const MidiTrack* words = trackNamed(song, "Words");
    ASSERT_NE(words, nullptr);
    std::string text;
    for (const auto& e : words->events)
        if (e->kind() == KindLyric)
            text += e->text();
    EXPECT_EQ(words->lyricCount, 56);
    EXPECT_EQ(text.substr(0, 58), "Amazing grace how sweet the sound that saved a wretch like");
    EXPECT_NE(text.find(" me/I once was lost but now am found was blind but now I see\\'Twas"),
              std::string::npos);
}
