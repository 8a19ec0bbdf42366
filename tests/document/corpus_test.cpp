// Every corpus file that reads goes through a chain of edits and undos: the song stays
// consistent after each step and every saved file reads back event for event.

#include "documenttesting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unordered_set>

namespace reedtab::testing {
namespace {

// The invariants the writer and the player rely on; returns "" or what is broken.
std::string checkConsistent(const MidiSong& song) {
    std::unordered_set<const MidiEvent*> inTracks;
    for (int t = 0; t < song.trackCount(); ++t) {
        const MidiTrack& track = *song.tracks[t];
        for (size_t i = 0; i < track.size(); ++i) {
            const MidiEvent* e = track.at(i);
            inTracks.insert(e);
            if (e->track != &track)
                return "event of track " + std::to_string(t) + " names another track";
            if (i > 0 && track.at(i - 1)->tick > e->tick)
                return "track " + std::to_string(t) + " out of order at " + std::to_string(i);
            if (e->tick < 0)
                return "negative tick in track " + std::to_string(t);
            if (e->kind() == KindEndOfTrack && i + 1 != track.size())
                return "end of track not last in track " + std::to_string(t);
            if (e->partner && e->partner->partner != e)
                return "partners do not point at each other in track " + std::to_string(t);
        }
    }
    for (size_t i = 0; i < song.mergedEvents.size(); ++i) {
        if (!inTracks.count(song.mergedEvents[i]))
            return "merged list holds an event of no track";
        if (i > 0 && song.mergedEvents[i - 1]->tick > song.mergedEvents[i]->tick)
            return "merged list out of order";
    }
    for (const TempoEvent* tempo : song.tempoList) {
        if (!inTracks.count(tempo))
            return "tempo list holds an event of no track";
    }
    for (const TimeSignatureEvent* signature : song.timeSignatureList) {
        if (!inTracks.count(signature))
            return "time-signature list holds an event of no track";
    }
    return {};
}

TEST(CorpusEdits, EveryReadableFileSurvivesEditsAndUndos) {
    const std::filesystem::path corpus = REEDTAB_CORPUS_DIR;
    if (!std::filesystem::is_directory(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    int edited = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".mid" && extension != ".kar"))
            continue;
        if (entry.file_size() > 300000)
            continue;
        DocFixture f;
        if (f.doc.openDocument(entry.path().string()) != LoadOk || f.doc.song.tracks.empty())
            continue;
        // A song the reader left inconsistent (an end of track inside a track) is the reader's
        // to judge; the edits are checked on songs that start out sound.
        if (!checkConsistent(f.doc.song).empty())
            continue;
        SCOPED_TRACE(entry.path().string());
        ++edited;
        const auto original = listEvents(f.doc.song);
        const int32_t quarter = std::max<int32_t>(1, f.doc.song.division);
        const int32_t length = f.doc.song.length;
        const std::string out = f.folder.file("out.mid");
        // Each save waits for the disk, so only the last step is written and read back.
        auto step = [&](const char* what, bool writeBack = false) {
            std::string broken = checkConsistent(f.doc.song);
            EXPECT_EQ(broken, "") << "after " << what;
            if (!broken.empty() || f.doc.song.tracks.empty())
                return false;
            if (writeBack) {
                EXPECT_EQ(roundTrip(f.doc.song, out), listEvents(f.doc.song)) << "after " << what;
            }
            return true;
        };

        f.doc.transposeCommand(3, true);
        ASSERT_TRUE(step("transpose"));
        ASSERT_TRUE(f.doc.undo());
        EXPECT_EQ(listEvents(f.doc.song), original) << "transpose undone";

        f.doc.cursorTick = length / 3;
        if (f.doc.insertSilence(1, 1, 7) == 0) {
            ASSERT_TRUE(step("silence", true));
            ASSERT_TRUE(f.doc.undo());
            ASSERT_TRUE(step("silence undone"));
            EXPECT_EQ(listEvents(f.doc.song), original) << "silence undone";
        }

        f.doc.markBeginningAt(length / 4);
        f.doc.markEndingAt(length / 4 + 4 * quarter);
        f.doc.deleteSelection();
        ASSERT_TRUE(step("delete"));
        ASSERT_TRUE(f.doc.undo());
        EXPECT_EQ(listEvents(f.doc.song), original) << "delete undone";

        f.doc.markBeginningAt(length / 5);
        f.doc.markEndingAt(length / 5 + 8 * quarter);
        f.doc.cut();
        ASSERT_TRUE(step("cut"));
        f.doc.markBeginningAt(quarter);
        f.doc.markEndingAt(length / 2 + 1);
        f.doc.crop();
        ASSERT_TRUE(step("crop"));
        f.doc.mapNotes(-1, -1, -1, 120, 10);
        ASSERT_TRUE(step("map notes", true));
    }
    EXPECT_GT(edited, 50);
}

} // namespace
} // namespace reedtab::testing
