#include "app/recovery.h"

#include "apptestsupport.h"
#include "document/reedtabdoc.h"

#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace reedtab::testing {
namespace {

namespace fs = std::filesystem;

struct RecoveryFixture {
    RecoveryFixture() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const fs::path base =
            fs::path(REEDTAB_BINARY_DIR) / "test-scratch" / "app-recovery" / info->name();
        fs::remove_all(base);
        fs::create_directories(base);
        folder = (base / "recovery").string();
        song = (base / "song.mid").string();
        fs::copy_file(corpusFile("choral-karaoke/test.mid").toStdString(), song);
    }

    int recoveryFiles() const {
        int count = 0;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            count += entry.path().extension() == ".rec";
        }
        return count;
    }

    // What a program that died with `path` open and modified leaves: its recovery file with
    // nobody holding its lock.
    void leaveOrphan(const std::string& path, const std::string& bytes) {
        RecoveryStore dying(folder);
        ASSERT_EQ(dying.write(path, bytes, 1700000000), RecoveryOk);
        fs::copy_file(dying.path(), fs::path(folder) / "1-1.rec");
    }

    std::string folder;
    std::string song;
};

TEST(Recovery, FollowsTheModifiedFlagAndTheSavePath) {
    RecoveryFixture f;
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    ASSERT_TRUE(program.app().openFile(QString::fromStdString(f.song)));
    CRecovery recovery(program.frame(), f.folder, 60);

    EXPECT_FALSE(recovery.autosave()) << "nothing unsaved, nothing written";
    EXPECT_EQ(f.recoveryFiles(), 0);
    ASSERT_EQ(doc.transposeCommand(2, true), 0);
    ASSERT_TRUE(recovery.autosave());
    ASSERT_EQ(f.recoveryFiles(), 1);
    std::string original;
    std::int64_t time = 0;
    std::string bytes;
    ASSERT_EQ(readRecoveryFile(recovery.store().path(), original, time, bytes), RecoveryOk);
    EXPECT_EQ(original, f.song);
    EXPECT_EQ(bytes, doc.song.fileBytes()) << "the edited song, as Save would write it";

    // Undoing back to the file as saved leaves nothing to recover.
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(f.recoveryFiles(), 0);
    ASSERT_EQ(doc.transposeCommand(1, true), 0);
    ASSERT_TRUE(recovery.autosave());
    ASSERT_TRUE(doc.saveDocument());
    EXPECT_EQ(f.recoveryFiles(), 0) << "a save removes it at once";

    ASSERT_EQ(doc.transposeCommand(1, true), 0);
    ASSERT_TRUE(recovery.autosave());
    program.answer = Answer::No;
    ASSERT_TRUE(program.app().newDocument());
    EXPECT_EQ(f.recoveryFiles(), 0) << "a discard removes it";
}

TEST(Recovery, CleanEndRemovesTheFileAndZeroSecondsWritesNone) {
    RecoveryFixture f;
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(QString::fromStdString(f.song)));
    {
        CRecovery recovery(program.frame(), f.folder, 60);
        ASSERT_EQ(program.frame().document().transposeCommand(2, true), 0);
        ASSERT_TRUE(recovery.autosave());
        EXPECT_EQ(f.recoveryFiles(), 1);
    }
    EXPECT_EQ(f.recoveryFiles(), 0);

    CRecovery off(program.frame(), f.folder, 0);
    ASSERT_EQ(program.frame().document().transposeCommand(2, true), 0);
    // The timer never runs with 0; only a direct call would write.
    QTest::qWait(50);
    EXPECT_EQ(f.recoveryFiles(), 0);
}

TEST(Recovery, TimerWritesWhileModified) {
    RecoveryFixture f;
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(QString::fromStdString(f.song)));
    CRecovery recovery(program.frame(), f.folder, 1);
    ASSERT_EQ(program.frame().document().transposeCommand(2, true), 0);
    EXPECT_EQ(f.recoveryFiles(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return f.recoveryFiles() == 1; }, 3000));
}

TEST(Recovery, YesOpensTheSongModifiedAndSaveWritesTheOriginal) {
    RecoveryFixture f;
    std::string edited;
    {
        TestProgram before;
        ASSERT_TRUE(before.app().openFile(QString::fromStdString(f.song)));
        ASSERT_EQ(before.frame().document().transposeCommand(3, true), 0);
        edited = before.frame().document().song.fileBytes();
        before.frame().document().setModified(false);
    }
    f.leaveOrphan(f.song, edited);

    TestProgram program;
    std::vector<std::string> questions;
    program.frame().questionSink = [&](const std::string& text, const std::string& caption,
                                       bool withCancel) {
        questions.push_back(caption + ": " + text + (withCancel ? " (cancel)" : ""));
        return Answer::Yes;
    };
    CRecovery recovery(program.frame(), f.folder, 60);
    ASSERT_TRUE(recovery.offerRecovered());
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].starts_with("Reedtab Midi: Restore unsaved changes to song.mid from "))
        << questions[0];
    EXPECT_TRUE(questions[0].ends_with("?")) << questions[0];

    CReedtabDoc& doc = program.frame().document();
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.pathName(), f.song);
    EXPECT_EQ(doc.song.fileBytes(), edited);
    EXPECT_TRUE(program.frame().windowTitle().contains("song.mid"));
    EXPECT_FALSE(fs::exists(fs::path(f.folder) / "1-1.rec")) << "the old file is gone";
    EXPECT_EQ(f.recoveryFiles(), 1) << "kept again as this program's own";

    ASSERT_TRUE(doc.saveDocument());
    MidiSong saved;
    ASSERT_EQ(saved.loadFile(f.song), LoadOk);
    EXPECT_EQ(saved.fileBytes(), edited);
    EXPECT_EQ(f.recoveryFiles(), 0);
}

TEST(Recovery, NoRemovesEachOfferedSongAndLeavesTheDocument) {
    RecoveryFixture f;
    MidiSong tune;
    ASSERT_EQ(tune.loadFile(f.song), LoadOk);
    f.leaveOrphan("", tune.fileBytes());
    TestProgram program;
    int asked = 0;
    program.frame().questionSink = [&](const std::string& text, const std::string&, bool) {
        EXPECT_TRUE(text.starts_with("Restore unsaved changes to Untitled from ")) << text;
        ++asked;
        return Answer::No;
    };
    CRecovery recovery(program.frame(), f.folder, 60);
    EXPECT_FALSE(recovery.offerRecovered());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f.recoveryFiles(), 0);
    EXPECT_FALSE(program.frame().document().isModified());
    EXPECT_TRUE(program.frame().document().song.tracks.empty());
    EXPECT_FALSE(recovery.offerRecovered()) << "asked once only";
    EXPECT_EQ(asked, 1);
}

} // namespace
} // namespace reedtab::testing
