// Opening, saving, asking to save, and the undo history as the document keeps it.

#include "documenttesting.h"

#include <gtest/gtest.h>

#include <fstream>

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

TEST(DocumentOpen, UnreadableFileKeepsTheOpenSongWholeAndModified) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    f.doc.markBeginningAt(480);
    f.doc.transposeCommand(1, true);
    f.doc.cursorTick = 700;
    ASSERT_TRUE(f.doc.isModified());
    const auto edited = listEvents(f.doc.song);
    const std::string path = f.doc.pathName();
    std::string bad = f.folder.file("bad.mid");
    FILE* out = std::fopen(bad.c_str(), "wb");
    std::fputs("not a midi file at all", out);
    std::fclose(out);
    f.player.playing = true;
    const int replaced = f.ui.songReplacements;
    EXPECT_EQ(f.doc.openDocument(bad), LoadBadHeader);
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].caption, "Reedtab Midi");
    EXPECT_EQ(f.ui.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(listEvents(f.doc.song), edited);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.pathName(), path);
    EXPECT_EQ(f.doc.song.path, path);
    EXPECT_EQ(f.doc.markBegin, 480);
    EXPECT_EQ(f.doc.cursorTick, 700);
    EXPECT_EQ(f.ui.songReplacements, replaced) << "no window is told of a new song";
    EXPECT_TRUE(f.player.playing) << "the song that stays goes on playing";
    EXPECT_FALSE(f.ui.progressOpen);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Transpose\tCtrl+Z");
    ASSERT_TRUE(f.doc.undo());
    EXPECT_FALSE(f.doc.isModified()) << "the history is the open song's still";
}

TEST(DocumentOpen, ReadErrorsNameTheFileAndTheReason) {
    DocFixture f;
    auto messageFor = [&f](const std::string& path) {
        f.ui.messages.clear();
        f.doc.openDocument(path);
        return f.ui.messages.empty() ? std::string() : f.ui.messages[0].text;
    };
    const std::string missing = f.folder.file("missing.mid");
    EXPECT_EQ(messageFor(missing), "Error reading file \"" + missing +
                                       "\":\ncannot open the file (No such file or directory).");
    const std::string empty = f.folder.file("empty.mid");
    std::fclose(std::fopen(empty.c_str(), "wb"));
    EXPECT_EQ(messageFor(empty),
              "Error reading file \"" + empty + "\":\nnot a Standard MIDI File (bad header).");
    // A system-exclusive message left open when a channel message comes: damaged track data.
    const std::string damaged = f.folder.file("damaged.mid");
    const unsigned char bytes[] = {'M', 'T',  'h', 'd',  0,    0,   0,    6,    0,   1, 0,
                                   1,   0,    96,  'M',  'T',  'r', 'k',  0,    0,   0, 9,
                                   0,   0xF0, 2,   0x43, 0x12, 0,   0x90, 0x3C, 0x40};
    FILE* out = std::fopen(damaged.c_str(), "wb");
    std::fwrite(bytes, 1, sizeof bytes, out);
    std::fclose(out);
    EXPECT_EQ(messageFor(damaged),
              "Error reading file \"" + damaged +
                  "\":\nbad track data (Bad file - expected continuation of system exclusive).");
    EXPECT_TRUE(f.doc.song.tracks.empty()) << "the new document stays as it was";
    EXPECT_EQ(f.doc.pathName(), "");
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

TEST(DocumentSave, SaveKeepsTheHistoryAndMarksTheSavedState) {
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
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Transpose\tCtrl+Z") << "the history stays";
    EXPECT_EQ(f.doc.pathName(), out);
    MidiSong back;
    ASSERT_EQ(back.loadFile(out), LoadOk);
    EXPECT_EQ(listNotes(back, 1),
              (std::vector<NoteRow>{{0, 62, 100, 400}, {480, 66, 100, 400}, {960, 69, 100, 940}}));

    // Past the saved state either way is modified; back at it is not.
    ASSERT_TRUE(f.doc.undo());
    EXPECT_TRUE(f.doc.isModified());
    ASSERT_TRUE(f.doc.redo());
    EXPECT_FALSE(f.doc.isModified());
    f.doc.transposeCommand(2, true);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.history().undoCount(), 2u)
        << "a transposition after a save is a step of its own";
    ASSERT_TRUE(f.doc.undo());
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(std::get<1>(listNotes(f.doc.song, 1)[0]), 62);

    // A new edit after an undo drops the redo steps, and the saved state with them.
    ASSERT_TRUE(f.doc.undo());
    f.doc.cursorTick = 0;
    ASSERT_EQ(f.doc.addTextEdit(1, 0, "verse"), 0);
    EXPECT_FALSE(f.doc.redoEnabled());
    EXPECT_EQ(f.doc.redoMenuText(), "Nothing to Redo\tCtrl+Y");
    ASSERT_TRUE(f.doc.undo());
    EXPECT_TRUE(f.doc.isModified()) << "the saved song can no longer be reached";
}

TEST(DocumentSave, UndoAndRedoNeverChangeWhereSaveWrites) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    const std::string userFile = f.folder.file("song.mid");
    f.doc.markBeginningAt(480);
    f.doc.markEndingAt(1000);
    ASSERT_EQ(f.doc.crop(), 0);
    ASSERT_TRUE(f.doc.undo());
    ASSERT_TRUE(f.doc.redo());
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
    EXPECT_EQ(f.doc.undoType(), 0);
    EXPECT_EQ(f.doc.transposeAmount, 0);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.ui.statusText, "");
    EXPECT_GE(f.ui.songReplacements, 1);
    EXPECT_FALSE(f.doc.canReload());
}

TEST(UndoHistoryOfTheDocument, StepsGoBackAndForthInOrderAndNameThemselves) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    std::vector<std::vector<EventRow>> states{listEvents(f.doc.song)};
    f.doc.transposeCommand(1, true);
    states.push_back(listEvents(f.doc.song));
    f.doc.cursorTick = 100;
    ASSERT_EQ(f.doc.addTextEdit(1, 100, "intro"), 0);
    states.push_back(listEvents(f.doc.song));
    f.doc.markBeginningAt(400);
    f.doc.markEndingAt(1000);
    ASSERT_EQ(f.doc.cut(), 0);
    states.push_back(listEvents(f.doc.song));
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_EQ(f.doc.redoMenuText(), "Nothing to Redo\tCtrl+Y");
    EXPECT_FALSE(f.doc.redoEnabled());

    const char* undoTexts[] = {"Undo Added Text\tCtrl+Z", "Undo Transpose\tCtrl+Z",
                               "Nothing to Undo\tCtrl+Z"};
    const char* redoTexts[] = {"Redo Deleted Selection\tCtrl+Y", "Redo Added Text\tCtrl+Y",
                               "Redo Transpose\tCtrl+Y"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(f.doc.undo());
        EXPECT_EQ(listEvents(f.doc.song), states[static_cast<size_t>(2 - i)]);
        EXPECT_EQ(f.doc.undoMenuText(), undoTexts[i]);
        EXPECT_EQ(f.doc.redoMenuText(), redoTexts[i]);
        EXPECT_TRUE(f.doc.redoEnabled());
    }
    EXPECT_FALSE(f.doc.undoEnabled());
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_FALSE(f.doc.undo());
    EXPECT_EQ(f.ui.messages.back().text, "Sorry, can't undo");
    EXPECT_EQ(f.ui.messages.back().caption, "Undo");
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(f.doc.redo());
        EXPECT_EQ(listEvents(f.doc.song), states[i]);
        EXPECT_TRUE(f.doc.isModified());
    }
    EXPECT_FALSE(f.doc.redo());
    EXPECT_EQ(f.ui.messages.back().text, "Sorry, can't redo");
    EXPECT_STREQ(undoDescription(8), "Paste");
    EXPECT_STREQ(undoDescription(9), "");
    EXPECT_STREQ(undoDescription(-1), "");
}

TEST(UndoHistoryOfTheDocument, AHundredStepsAreKeptTheOldestGoFirst) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    const auto opened = listEvents(f.doc.song);
    std::vector<std::vector<EventRow>> states;
    for (int i = 0; i < 105; ++i) {
        states.push_back(listEvents(f.doc.song));
        f.doc.cursorTick = i;
        ASSERT_EQ(f.doc.addTextEdit(1, i, "t" + std::to_string(i)), 0);
    }
    EXPECT_EQ(f.doc.history().undoCount(), UndoHistory::kMaxSteps);
    for (size_t i = 0; i < UndoHistory::kMaxSteps; ++i)
        ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), states[5]) << "the five oldest steps were dropped";
    EXPECT_FALSE(f.doc.undoEnabled());
    EXPECT_TRUE(f.doc.isModified()) << "the opened song is out of reach";
    EXPECT_NE(listEvents(f.doc.song), opened);
}

TEST(UndoHistoryOfTheDocument, UndoBringsBackTrackStatesAndChosenFingerings) {
    DocFixture f;
    MidiSong song;
    makeTune(song);
    f.open(song);
    MidiSong& s = f.doc.song;
    s.tracks[1]->flags = TrackMuted | TrackSelected;
    s.tracks[1]->volumePercent = 60;
    MidiEvent* first = nullptr;
    for (const auto& e : s.tracks[1]->events)
        if (!first && e->isNoteOn())
            first = e.get();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(f.doc.chooseFingering(first, 0x0102), 0);
    ASSERT_EQ(f.doc.deleteTrackEdit(1, true), 0);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(s.tracks[1]->flags, TrackMuted | TrackSelected);
    EXPECT_EQ(s.tracks[1]->volumePercent, 60);
    EXPECT_EQ(s.tracks[0]->flags, TrackShown);
    const MidiEvent* chosen = nullptr;
    for (const auto& e : s.tracks[1]->events)
        if (!chosen && e->isNoteOn())
            chosen = e.get();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->fingering, 0x0102) << "the fingering chosen before the deletion";
    ASSERT_TRUE(f.doc.undo());
    for (const auto& e : s.tracks[1]->events)
        EXPECT_EQ(e->fingering, 0);
    EXPECT_EQ(s.tracks[1]->volumePercent, 60) << "the mixer's state goes through every step";

    // Each way brings back the states as that side of the step had them, and keeps those it
    // replaces for the way back.
    s.tracks[1]->flags = TrackShown;
    ASSERT_TRUE(f.doc.redo());
    EXPECT_EQ(s.tracks[1]->flags, TrackMuted | TrackSelected);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(s.tracks[1]->flags, TrackShown);
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
