// Opening, saving, asking to save, the undo bookkeeping and the snapshot file.

#include "documenttesting.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace reedtab::testing {
namespace {

void makeTune(MidiSong& song) {
    beginSong(song, 2);
    addTempo(song, 0, 0, 500000);
    addTimeSignature(song, 0, 0, 4, 4);
    addNote(song, 1, 0, 60, 0, 400);
    addNote(song, 1, 0, 64, 480, 880);
    addNote(song, 1, 0, 67, 960, 1900);
    finishSong(song, 1920);
}

TEST(DocumentOpen, FreshFileIsUnmodifiedAndTimingGoesToThePlayer) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.player.playing = true;
    f.open(song);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.doc.pathName(), f.folder.file("song.mid"));
    EXPECT_EQ(f.doc.title(), "song.mid");
    EXPECT_EQ(f.player.division, 480);
    EXPECT_EQ(f.player.tempo, 500000);
    EXPECT_EQ(f.player.stops, 1);
    EXPECT_EQ(f.player.restarts, 1);
    ASSERT_FALSE(f.player.positions.empty());
    EXPECT_EQ(f.player.positions.back(), 0);
    EXPECT_FALSE(f.ui.progress.empty());
    EXPECT_EQ(f.ui.progress.back(), 100);
    EXPECT_FALSE(f.ui.progressOpen);
    EXPECT_EQ(f.ui.songReplacements, 1);
    EXPECT_EQ(f.doc.undoMenuText(), "Nothing to Undo\tCtrl+Z");
    EXPECT_FALSE(f.doc.undoEnabled());
}

TEST(DocumentOpen, UnreadableFileLeavesAnEmptyUnmodifiedDocument) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.transposeCommand(1, true);
    ASSERT_TRUE(f.doc.isModified());
    std::string bad = f.folder.file("bad.mid");
    FILE* out = std::fopen(bad.c_str(), "wb");
    std::fputs("not a midi file at all", out);
    std::fclose(out);
    EXPECT_NE(f.doc.openDocument(bad), LoadOk);
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, "Error reading file");
    EXPECT_EQ(f.ui.messages[0].caption, "Reedtab Midi");
    EXPECT_EQ(f.ui.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(f.doc.song.tracks.empty());
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.doc.pathName(), "");
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_EQ(f.doc.undoType, 0);
}

TEST(DocumentOpen, TruncatedFileWarnsAndKeepsWhatWasRead) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    std::string whole = f.folder.file("whole.mid");
    ASSERT_EQ(song.saveFile(whole), SaveOk);
    std::string cut = f.folder.file("cut.mid");
    std::filesystem::copy_file(whole, cut);
    std::filesystem::resize_file(cut, std::filesystem::file_size(whole) - 4);
    ASSERT_EQ(f.doc.openDocument(cut), LoadOk);
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, MidiSong::truncationWarning);
    EXPECT_EQ(f.ui.messages[0].caption, "File Warning!");
    EXPECT_EQ(f.ui.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(f.doc.song.tracks.empty());
    EXPECT_EQ(f.doc.pathName(), cut);
}

TEST(DocumentSave, FailedSaveShowsErrorAndStaysModified) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.transposeCommand(1, true);
    EXPECT_FALSE(f.doc.saveDocumentAs(f.folder.file("missing/folder/out.mid")));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, "Error writing file");
    EXPECT_EQ(f.ui.messages[0].caption, "Reedtab Midi");
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Transpose\tCtrl+Z");
}

TEST(DocumentSave, SaveClearsUndoAndWritesTheEditedSong) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.player.playing = true;
    f.doc.transposeCommand(2, true);
    std::string out = f.folder.file("out.mid");
    ASSERT_TRUE(f.doc.saveDocumentAs(out));
    EXPECT_FALSE(f.player.playing) << "playback stays stopped after a save";
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Nothing to Undo\tCtrl+Z");
    EXPECT_EQ(f.doc.pathName(), out);
    MidiSong back;
    ASSERT_EQ(back.loadFile(out), LoadOk);
    EXPECT_EQ(listNotes(back, 1),
              (std::vector<NoteRow>{{0, 62, 100, 400}, {480, 66, 100, 400}, {960, 69, 100, 940}}));
}

TEST(DocumentSave, SnapshotNeverChangesWhereSaveWrites) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    const std::string userFile = f.folder.file("song.mid");
    f.doc.markBeginningAt(480);
    f.doc.markEndingAt(1000);
    ASSERT_EQ(f.doc.crop(), 0);
    ASSERT_TRUE(f.doc.undoFileValid);
    EXPECT_NE(f.doc.snapshotPath(), userFile);
    EXPECT_EQ(f.doc.song.path, userFile);
    ASSERT_TRUE(f.doc.saveDocument());
    MidiSong back;
    ASSERT_EQ(back.loadFile(userFile), LoadOk);
    EXPECT_EQ(listEvents(back), listEvents(f.doc.song));
}

TEST(DocumentRecovered, OpensModifiedAndSaveWritesTheUsersFile) {
    DocFixture f;
    MidiSong edited;
    makeTune(edited);
    // What the recovery file keeps: the song's bytes as a save writes them.
    const std::string bytes = edited.fileBytes();
    ASSERT_FALSE(bytes.empty());
    const std::string recovered = f.folder.file("recovered.mid");
    std::ofstream(recovered, std::ios::binary) << bytes;
    const std::string userFile = f.folder.file("mine.mid");

    ASSERT_EQ(f.doc.openRecovered(recovered, userFile), LoadOk);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.pathName(), userFile);
    EXPECT_EQ(f.doc.title(), "mine.mid");
    ASSERT_TRUE(f.doc.saveDocument());
    EXPECT_FALSE(f.doc.isModified());
    MidiSong back;
    ASSERT_EQ(back.loadFile(userFile), LoadOk);
    EXPECT_EQ(listEvents(back), listEvents(edited));
    EXPECT_EQ(back.fileBytes(), bytes);

    // A song never saved asks where to go, as any new song does.
    DocFixture untitled;
    ASSERT_EQ(untitled.doc.openRecovered(recovered, ""), LoadOk);
    EXPECT_EQ(untitled.doc.title(), "Untitled");
    untitled.ui.savePath = untitled.folder.file("chosen.mid");
    ASSERT_TRUE(untitled.doc.saveDocument());
    EXPECT_EQ(untitled.doc.pathName(), untitled.ui.savePath);

    DocFixture unreadable;
    EXPECT_NE(unreadable.doc.openRecovered(f.folder.file("missing.mid"), userFile), LoadOk);
    EXPECT_FALSE(unreadable.doc.isModified());
    EXPECT_EQ(unreadable.doc.pathName(), "");
}

TEST(DocumentSave, SnapshotIsPrivateAndGoesAwayWithTheDocument) {
    std::string snapshot;
    {
        DocFixture f;
        MidiSong song;
        makeTune(song);
        f.open(song);
        ASSERT_EQ(f.doc.saveUndoSnapshot(), 0);
        snapshot = f.doc.snapshotPath();
        struct stat info {};
        ASSERT_EQ(stat(std::filesystem::path(snapshot).parent_path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u) << "the snapshot folder is for this user only";
        DocFixture other;
        other.open(song);
        ASSERT_EQ(other.doc.saveUndoSnapshot(), 0);
        EXPECT_NE(other.doc.snapshotPath(), snapshot) << "two documents never share a snapshot";
        EXPECT_TRUE(std::filesystem::exists(snapshot));
    }
    EXPECT_FALSE(std::filesystem::exists(snapshot));
}

TEST(DocumentAskToSave, QuestionAndAnswers) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    EXPECT_TRUE(f.doc.askToSave());
    EXPECT_TRUE(f.ui.questions.empty()) << "an unmodified song is not asked about";

    f.doc.transposeCommand(1, true);
    f.ui.yesNoCancelAnswer = Answer::Cancel;
    EXPECT_FALSE(f.doc.askToSave());
    ASSERT_EQ(f.ui.questions.size(), 1u);
    EXPECT_EQ(f.ui.questions[0], "Save changes to song.mid?");

    f.ui.yesNoCancelAnswer = Answer::No;
    f.player.playing = true;
    EXPECT_TRUE(f.doc.askToSave());
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_TRUE(f.player.playing) << "playback restarts after No";

    f.ui.yesNoCancelAnswer = Answer::Yes;
    EXPECT_TRUE(f.doc.askToSave());
    EXPECT_FALSE(f.doc.isModified());
    MidiSong back;
    ASSERT_EQ(back.loadFile(f.folder.file("song.mid")), LoadOk);
    EXPECT_EQ(std::get<1>(listNotes(back, 1)[0]), 61);
}

TEST(DocumentAskToSave, UntitledSongAsksForAPathAndCancelAborts) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.newDocument();
    EXPECT_EQ(f.doc.title(), "Untitled");
    f.doc.setModified(true);
    f.ui.savePath = "";
    EXPECT_FALSE(f.doc.askToSave()) << "no path chosen: the close is aborted";
    EXPECT_EQ(f.ui.questions.back(), "Save changes to Untitled?");
}

TEST(DocumentNew, ResetsEverything) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.markBeginningAt(100);
    f.doc.cursorTick = 700;
    f.doc.editTrack = 1;
    f.doc.editVelocity = 20;
    f.doc.transposeCommand(1, true);
    f.doc.newDocument();
    EXPECT_TRUE(f.doc.song.tracks.empty());
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_EQ(f.doc.markEnd, -1);
    EXPECT_EQ(f.doc.cursorTick, 0);
    EXPECT_EQ(f.doc.editTrack, 0);
    EXPECT_EQ(f.doc.editVelocity, 100);
    EXPECT_EQ(f.doc.undoType, 0);
    EXPECT_EQ(f.doc.transposeAmount, 0);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.ui.statusText, "");
    EXPECT_GE(f.ui.songReplacements, 1);
    EXPECT_FALSE(f.doc.canReload());
}

TEST(UndoBookkeeping, CountersDriveTypeAndModifiedFlag) {
    DocFixture f;
    f.doc.recordUndo(true, UndoEdit);
    f.doc.recordUndo(true, UndoAddedNote);
    EXPECT_EQ(f.doc.undoType, UndoAddedNote);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Added Note\tCtrl+Z");
    f.doc.recordUndo(false, UndoAddedNote);
    EXPECT_EQ(f.doc.undoType, UndoAddedNote) << "other counters are still above 0";
    EXPECT_TRUE(f.doc.isModified());
    f.doc.recordUndo(false, UndoEdit);
    f.doc.recordUndo(false, UndoEdit);
    EXPECT_EQ(f.doc.undoCounts[UndoEdit], 0) << "counters never go below 0";
    EXPECT_EQ(f.doc.undoType, UndoNothing);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_STREQ(undoDescription(6), "Deleted Selection");
    EXPECT_STREQ(undoDescription(8), "");
    EXPECT_STREQ(undoDescription(-1), "");
}

TEST(UndoBookkeeping, NothingUsableSaysSorry) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.recordUndo(true, UndoTrackProperties);
    EXPECT_FALSE(f.doc.undo()) << "no snapshot was written";
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, "Sorry, can't undo");
    EXPECT_EQ(f.ui.messages[0].caption, "Undo");
    EXPECT_EQ(f.ui.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(f.doc.undoType, UndoEdit);
}

TEST(UndoBookkeeping, UndoStopsAndRestartsPlayback) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.transposeCommand(1, true);
    f.player.playing = true;
    int stops = f.player.stops;
    int restarts = f.player.restarts;
    EXPECT_TRUE(f.doc.undo());
    EXPECT_EQ(f.player.stops, stops + 1);
    EXPECT_EQ(f.player.restarts, restarts + 1);
}

} // namespace
} // namespace reedtab::testing
