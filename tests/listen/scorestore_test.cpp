// The per-song score file: what is written reads back, and damage costs only the damaged line.

#include "listen/scorestore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace reedtab {
namespace {

std::string scratchFile(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "listen" /
                     (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    return (dir / "Reedtab Software" / name).string();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

PassRecord pass(const std::string& path, double accuracy, int hits) {
    PassRecord p;
    p.date = utcDate(1738346645);
    p.songPath = path;
    p.notesHash = "0123456789abcdef";
    p.tempoPercent = 80;
    p.from = 960;
    p.to = -1;
    p.score.hits = hits;
    p.score.wrongs = 2;
    p.score.misses = 1;
    p.score.extras = 3;
    p.score.accuracy = accuracy;
    p.score.medianTimingMs = 12.5;
    p.score.timingSpreadMs = 30.0;
    return p;
}

TEST(ScoreStore, PassesReadBackAsWrittenWithTheirSongsPath) {
    ScoreStore store(scratchFile("scores.txt"));
    EXPECT_TRUE(store.load().empty()) << "no file yet";
    const std::string awkward = "/home/me/tabs\\blues\tin A\nfinal.mid";
    ASSERT_EQ(store.append(pass(awkward, 0.75, 9)), 0) << "the folder is made";
    PassRecord noHits = pass("/songs/b.kar", 0.0, 0);
    noHits.score.medianTimingMs.reset();
    noHits.score.timingSpreadMs.reset();
    ASSERT_EQ(store.append(noHits), 0);

    const auto passes = store.load();
    ASSERT_EQ(passes.size(), 2u);
    const PassRecord& first = passes[0];
    EXPECT_EQ(first.songPath, awkward);
    EXPECT_EQ(first.date, "2025-01-31T18:04:05Z");
    EXPECT_EQ(first.notesHash, "0123456789abcdef");
    EXPECT_EQ(first.tempoPercent, 80);
    EXPECT_EQ(first.from, 960);
    EXPECT_EQ(first.to, -1);
    EXPECT_DOUBLE_EQ(first.score.accuracy, 0.75);
    EXPECT_EQ(first.score.hits, 9);
    EXPECT_EQ(first.score.expected, 12);
    EXPECT_EQ(first.score.extras, 3);
    EXPECT_DOUBLE_EQ(*first.score.medianTimingMs, 12.5);
    EXPECT_DOUBLE_EQ(*first.score.timingSpreadMs, 30.0);
    EXPECT_FALSE(passes[1].score.medianTimingMs);

    EXPECT_EQ(store.passesOf(awkward, "0123456789abcdef").size(), 1u);
    EXPECT_TRUE(store.passesOf(awkward, "fedcba9876543210").empty()) << "an edited song";
    EXPECT_TRUE(store.takeDamageReport().empty());

    const std::string text = slurp(store.path());
    EXPECT_EQ(text.rfind("# ", 0), 0u) << "one header line first";
    EXPECT_EQ(text.find("\n# "), std::string::npos);
}

TEST(ScoreStore, ADamagedLineIsSkippedAndReportedOnceAndTheRestKept) {
    ScoreStore store(scratchFile("scores.txt"));
    ASSERT_EQ(store.append(pass("/a.mid", 0.5, 1)), 0);
    {
        std::ofstream out(store.path(), std::ios::app);
        out << "pass\t2025-01-31T18:04:05Z\tnot-a-hash\t100\t-1\t-1\t0.5\t-\t-\t1\t0\t0\t0\t/x\n";
        out << "pass\t2025-01-31T18:04:05Z\t0123456789abcdef\t100\t-1\t-1\t1.7\t-\t-\t1\t0\t0\t0\t/"
               "x\n";
        out << "garbage \xff\xfe\n";
        out << "pass\t2025-01-31T18:04:05Z\t0123456789abcdef\t100\t-1\t-1\tnan\t-\t-\t1\t0\t0\t0\t/"
               "x\n";
        out << "pass\t2025-01-31T18:04:05Z\t0123456789abcdef\t100\t-1\t-1\t0.5\t-\t-\t2000000000\t"
               "2000000000\t0\t0\t/x\n";
    }
    ASSERT_EQ(store.append(pass("/b.mid", 0.25, 2)), 0);

    const auto passes = store.load();
    ASSERT_EQ(passes.size(), 2u);
    EXPECT_EQ(passes[0].songPath, "/a.mid");
    EXPECT_EQ(passes[1].songPath, "/b.mid");
    EXPECT_EQ(store.takeDamageReport(),
              store.path() + ": 5 damaged lines skipped (the first is line 3)");
    EXPECT_EQ(store.takeDamageReport(), "");
    EXPECT_EQ(store.load().size(), 2u);
    EXPECT_EQ(store.takeDamageReport(), "") << "reported once";
}

TEST(ScoreStore, AppendingAfterALineCutShortKeepsTheNewPass) {
    ScoreStore store(scratchFile("scores.txt"));
    ASSERT_EQ(store.append(pass("/a.mid", 0.5, 1)), 0);
    {
        // A crash in the middle of writing a line leaves it without its end.
        std::ofstream out(store.path(), std::ios::app);
        out << "pass\t2025-01-31T18:04";
    }
    ASSERT_EQ(store.append(pass("/b.mid", 1.0, 4)), 0);
    const auto passes = store.load();
    ASSERT_EQ(passes.size(), 2u);
    EXPECT_EQ(passes[1].songPath, "/b.mid");
    EXPECT_FALSE(store.takeDamageReport().empty());
}

TEST(ScoreStore, AFileThatCannotBeWrittenFails) {
    const std::string folder = scratchFile("x");
    std::filesystem::create_directories(folder);
    EXPECT_EQ(ScoreStore(folder).append(pass("/a.mid", 0.5, 1)), -1) << "a folder, not a file";
}

TEST(ScoreStore, ASongIsKeptUnderItsAbsolutePath) {
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(scoreSongPath("songs/../songs/./a.mid"), here + "/songs/a.mid");
    EXPECT_EQ(scoreSongPath("/x/y/../z.mid"), "/x/z.mid");
}

TEST(ScoreStore, DefaultPathLiesBesideTheSettings) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(defaultScorePath(), "/tmp/cfg/Reedtab Software/Reedtab-scores.txt");
    if (saved) {
        setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
} // namespace reedtab
