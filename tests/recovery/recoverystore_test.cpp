#include "recovery/recoverystore.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reedtab {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, below the build tree; the recovery folder inside it does not exist
// yet, as on a first start.
std::string freshFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path dir = fs::path(REEDTAB_BINARY_DIR) / "test-scratch" / "recovery" /
                         (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return (dir / "recovery").string();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int filesIn(const std::string& folder, const std::string& suffix) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.path().extension() == suffix;
    }
    return count;
}

// A song's bytes with every byte value in it, so nothing in the format may stop at one.
std::string songBytes(char tag) {
    std::string bytes = "MThd";
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    return bytes + tag;
}

enum class Death { Exit, Kill };

// Another program that writes its recovery file and ends without a clean exit: the kernel
// releases its lock, as after a crash or a SIGKILL.
void programThatDies(const std::string& folder, const std::string& original, char tag,
                     std::int64_t time, Death death) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* store = new RecoveryStore(folder);
        const bool written = store->write(original, songBytes(tag), time) == RecoveryOk;
        if (death == Death::Kill) {
            std::raise(SIGKILL);
        }
        _exit(written ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (death == Death::Kill) {
        ASSERT_TRUE(WIFSIGNALED(status));
    } else {
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

TEST(RecoveryStore, AProgramThatDiedLeavesItsSongForTheNextStart) {
    const std::string folder = freshFolder();
    programThatDies(folder, "/home/player/song.mid", 'a', 1000, Death::Kill);
    programThatDies(folder, "", 'b', 2000, Death::Exit);

    RecoveryStore next(folder);
    auto orphans = next.takeOrphans();
    ASSERT_EQ(orphans.size(), 2u);
    EXPECT_EQ(orphans[0]->savedAt(), 2000);
    EXPECT_EQ(orphans[0]->originalPath(), "");
    EXPECT_EQ(orphans[0]->songBytes(), songBytes('b'));
    EXPECT_EQ(orphans[1]->savedAt(), 1000);
    EXPECT_EQ(orphans[1]->originalPath(), "/home/player/song.mid");
    EXPECT_EQ(orphans[1]->songBytes(), songBytes('a'));

    // Restored or declined: gone, lock and all.
    orphans[0]->remove();
    orphans[1]->remove();
    EXPECT_EQ(filesIn(folder, ".rec"), 0);
    EXPECT_EQ(filesIn(folder, ".lock"), 0);
    EXPECT_TRUE(next.takeOrphans().empty());
}

TEST(RecoveryStore, NeverOffersTheFileOfAProgramStillRunning) {
    const std::string folder = freshFolder();
    RecoveryStore running(folder);
    ASSERT_EQ(running.write("/music/a.mid", songBytes('x'), 10), RecoveryOk);

    RecoveryStore starting(folder);
    EXPECT_TRUE(starting.takeOrphans().empty());
    EXPECT_TRUE(running.hasFile());
    // The running program's own look finds nothing either: its file is not an orphan.
    EXPECT_TRUE(running.takeOrphans().empty());
}

TEST(RecoveryStore, TwoProgramsStartingAtOnceNeverTakeTheSameOrphan) {
    const std::string folder = freshFolder();
    programThatDies(folder, "/music/lost.mid", 'l', 5, Death::Kill);

    RecoveryStore first(folder);
    RecoveryStore second(folder);
    auto taken = first.takeOrphans();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(second.takeOrphans().empty());

    // Let go without an answer (the program quit at the question): a later start gets it.
    taken.clear();
    auto later = second.takeOrphans();
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0]->originalPath(), "/music/lost.mid");
}

TEST(RecoveryStore, CleanExitAndDiscardRemoveTheFile) {
    const std::string folder = freshFolder();
    std::string path;
    {
        RecoveryStore store(folder);
        EXPECT_FALSE(store.hasFile());
        ASSERT_EQ(store.write("/music/a.mid", songBytes('1'), 1), RecoveryOk);
        path = store.path();
        EXPECT_TRUE(fs::exists(path));
        store.discard();
        EXPECT_FALSE(store.hasFile());
        EXPECT_FALSE(fs::exists(path));
        ASSERT_EQ(store.write("/music/a.mid", songBytes('2'), 2), RecoveryOk);
        EXPECT_EQ(store.path(), path);
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(RecoveryStore, FailedWriteKeepsThePreviousFile) {
    const std::string folder = freshFolder();
    RecoveryStore store(folder);
    ASSERT_EQ(store.write("/music/a.mid", songBytes('1'), 1), RecoveryOk);
    const std::string before = slurp(store.path());
    // The file each write goes through first cannot be made.
    const std::string temporary = fs::path(store.path()).replace_extension(".tmp").string();
    fs::create_directory(temporary);
    EXPECT_EQ(store.write("/music/a.mid", songBytes('2'), 2), RecoveryCannotWrite);
    EXPECT_EQ(slurp(store.path()), before);
    fs::remove(temporary);
    EXPECT_EQ(store.write("/music/a.mid", songBytes('3'), 3), RecoveryOk);
    std::string original;
    std::int64_t time = 0;
    std::string bytes;
    ASSERT_EQ(readRecoveryFile(store.path(), original, time, bytes), RecoveryOk);
    EXPECT_EQ(bytes, songBytes('3'));
    EXPECT_EQ(time, 3);
}

TEST(RecoveryStore, FolderIsPrivateAndUnwritableFolderFails) {
    const std::string folder = freshFolder();
    RecoveryStore store(folder);
    ASSERT_EQ(store.write("", songBytes('p'), 1), RecoveryOk);
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A plain file where the folder should be.
    const std::string blocked = fs::path(folder).parent_path() / "blocked";
    std::ofstream(blocked) << "x";
    RecoveryStore nowhere(blocked + "/recovery");
    EXPECT_EQ(nowhere.write("", songBytes('q'), 1), RecoveryCannotWrite);
    EXPECT_TRUE(nowhere.takeOrphans().empty());
}

TEST(RecoveryStore, LeftoversOfDeadProgramsAreClearedAndDamagedFilesLeftAlone) {
    const std::string folder = freshFolder();
    programThatDies(folder, "/music/a.mid", 'a', 1, Death::Kill);
    {
        RecoveryStore taker(folder);
        auto orphans = taker.takeOrphans();
        ASSERT_EQ(orphans.size(), 1u);
        // A program killed between its first write and its end leaves a lock and a cut write.
        const std::string dead = fs::path(folder) / "999-1";
        std::ofstream(dead + ".lock") << "";
        std::ofstream(dead + ".tmp") << "REEDTAB-RECOVERY 1\n";
        // A recovery file damaged from outside.
        std::ofstream(fs::path(folder) / "998-1.rec") << "REEDTAB-RECOVERY 1\n7\n3\nab";
        orphans[0]->remove();
    }
    RecoveryStore next(folder);
    EXPECT_TRUE(next.takeOrphans().empty());
    EXPECT_FALSE(fs::exists(fs::path(folder) / "999-1.lock"));
    EXPECT_FALSE(fs::exists(fs::path(folder) / "999-1.tmp"));
    EXPECT_TRUE(fs::exists(fs::path(folder) / "998-1.rec"));
}

TEST(RecoveryFile, ReadsOnlyWholeFiles) {
    const std::string folder = freshFolder();
    fs::create_directories(folder);
    RecoveryStore store(folder);
    const std::string awkward = "/music/new\nline 100%.mid";
    ASSERT_EQ(store.write(awkward, songBytes('w'), -5), RecoveryOk);
    const std::string whole = slurp(store.path());

    std::string original;
    std::int64_t time = 0;
    std::string bytes;
    ASSERT_EQ(readRecoveryFile(store.path(), original, time, bytes), RecoveryOk);
    EXPECT_EQ(original, awkward);
    EXPECT_EQ(time, -5);
    EXPECT_EQ(bytes, songBytes('w'));

    const std::string damaged = folder + "/damaged";
    const std::string cases[] = {
        whole.substr(0, whole.size() - 1),                            // cut short
        whole + "x",                                                  // more than the header says
        "REEDTAB-RECOVERY 2" + whole.substr(18),                      // another format
        whole.substr(0, whole.find(awkward)),                         // cut inside the header
        std::string("REEDTAB-RECOVERY 1\n1\n99999999999999999999\n"), // absurd length
        std::string("REEDTAB-RECOVERY 1\n1\n0\n\n0\n"),               // no song
    };
    for (const std::string& text : cases) {
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << text;
        EXPECT_EQ(readRecoveryFile(damaged, original, time, bytes), RecoveryCannotRead) << text;
    }
    EXPECT_EQ(readRecoveryFile(folder + "/missing", original, time, bytes), RecoveryCannotRead);
}

} // namespace
} // namespace reedtab
