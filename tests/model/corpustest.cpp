// Files written by other programs: every one is read without a crash, and every one that
// reads is written back and read again with the same events in every track.

#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace reedtab;
using namespace reedtab::test;

namespace {

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(REEDTAB_CORPUS_DIR, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file())
            files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Compares two songs event by event; returns "" when they match, else the first difference.
std::string difference(const MidiSong& a, const MidiSong& b) {
    if (a.tracks.size() != b.tracks.size())
        return "track count " + std::to_string(a.tracks.size()) + " vs " +
               std::to_string(b.tracks.size());
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        const MidiTrack& x = *a.tracks[t];
        const MidiTrack& y = *b.tracks[t];
        std::string where = "track " + std::to_string(t);
        if (x.size() != y.size())
            return where + " event count " + std::to_string(x.size()) + " vs " +
                   std::to_string(y.size());
        for (size_t i = 0; i < x.size(); ++i) {
            const MidiEvent& e = *x.at(i);
            const MidiEvent& f = *y.at(i);
            if (e.kind() != f.kind() || e.tick != f.tick || e.bytes() != f.bytes() ||
                e.status != f.status || e.data1 != f.data1 || e.data2 != f.data2 ||
                e.metaType != f.metaType || e.duration != f.duration)
                return where + " event " + std::to_string(i) + ": " + e.description() + " @" +
                       std::to_string(e.tick) + " vs " + f.description() + " @" +
                       std::to_string(f.tick);
        }
        if (x.name != y.name)
            return where + " name";
    }
    if (a.mergedEvents.size() != b.mergedEvents.size())
        return "merged count";
    return "";
}

} // namespace

TEST(Corpus, EveryFileReadsAndReadableFilesRoundTrip) {
    std::vector<std::string> files = corpusFiles();
    if (files.empty())
        GTEST_SKIP() << "no corpus at " << REEDTAB_CORPUS_DIR;
    std::string scratch = scratchDir("corpus") + "/roundtrip.mid";
    std::map<int, int> results;
    int truncated = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        MidiSong song;
        int result = song.loadFile(path);
        ++results[result];
        EXPECT_TRUE(result == LoadOk || result == LoadBadTrack || result == LoadBadHeader)
            << "result " << result;
        EXPECT_FALSE(song.loading);
        if (result != LoadOk) {
            EXPECT_TRUE(song.tracks.empty());
            continue;
        }
        truncated += song.truncated;
        ASSERT_FALSE(song.tracks.empty());
        EXPECT_EQ(song.format, 1);
        // Reading leaves every note paired and the lists consistent.
        for (const MidiEvent* e : song.mergedEvents) {
            ASSERT_NE(e->track, nullptr);
            if (e->isNoteOn()) {
                ASSERT_NE(e->partner, nullptr);
                EXPECT_GT(e->duration, 0);
                EXPECT_EQ(e->partner->partner, e);
            }
        }
        ASSERT_FALSE(song.timeSignatureList.empty());
        EXPECT_EQ(song.timeSignatureList.front()->tick, 0);
        ASSERT_EQ(song.saveFile(scratch), SaveOk);
        MidiSong back;
        ASSERT_EQ(back.loadFile(scratch), LoadOk);
        EXPECT_FALSE(back.truncated);
        EXPECT_EQ(difference(song, back), "");
        EXPECT_EQ(back.correctedCount + back.discardedCount + back.unfinishedCount, 0)
            << "the first read left notes that need repairs";
    }
    std::printf("corpus: %zu files, %d read (%d truncated), %d bad track data, %d bad header\n",
                files.size(), results[LoadOk], truncated, results[LoadBadTrack],
                results[LoadBadHeader]);
}
