// Marks, crop, cut, delete and insert silence: what each changes, what it keeps, its undo.

#include "documenttesting.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

std::vector<std::pair<int32_t, int>> controllers(const MidiSong& song, int track) {
    std::vector<std::pair<int32_t, int>> rows;
    for (const auto& e : song.tracks[track]->events) {
        if (e->kind() == KindController)
            rows.emplace_back(e->tick, e->data2);
    }
    return rows;
}

int32_t endOfTrack(const MidiSong& song, int track) {
    const MidiEvent* last = song.tracks[track]->last();
    EXPECT_EQ(last->kind(), KindEndOfTrack);
    return last->tick;
}

TEST(Marks, BeginningAndEndingKeepTheRangeValid) {
    DocFixture f;
    MidiSong song;
    beginSong(song, 1);
    addTimeSignature(song, 0, 0, 4, 4);
    addNote(song, 0, 0, 60, 0, 9600);
    finishSong(song, 9600);
    f.open(song);
    EXPECT_EQ(f.doc.markEndingAt(1920), 0);
    EXPECT_EQ(f.doc.markBegin, 0) << "an unset beginning becomes 0";
    f.doc.markBeginningAt(2000);
    EXPECT_EQ(f.doc.markEnd, -1) << "a beginning at or after the end clears the end";
    f.doc.markEndingAt(1000);
    EXPECT_EQ(f.doc.markBegin, 0);
    EXPECT_EQ(f.doc.markBeginning(2, 1, 0), 0);
    EXPECT_EQ(f.doc.markBegin, 1920) << "bar 2 of a 4/4 song at division 480";
    EXPECT_EQ(f.doc.markEnd, -1);
    f.doc.markEnding(3, 2, 10);
    EXPECT_EQ(f.doc.markEnd, 3840 + 480 + 10);
    f.doc.newDocument();
    EXPECT_EQ(f.doc.markBeginningAt(10), -1) << "no marks without tracks";
}

struct CropTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> before;
    void SetUp() override {
        MidiSong song;
        beginSong(song, 2);
        addTempo(song, 0, 0, 500000);
        addTempo(song, 0, 1000, 600000);
        addTimeSignature(song, 0, 0, 4, 4);
        addController(song, 1, 0, 7, 90, 100);
        addController(song, 1, 0, 7, 80, 500);
        addController(song, 1, 0, 12, 33, 600);
        addNote(song, 1, 0, 60, 1800, 2000);
        addNote(song, 1, 0, 62, 2500, 3000);
        addNote(song, 1, 0, 64, 3500, 4200);
        addNote(song, 1, 0, 65, 4000, 4400);
        addNote(song, 1, 0, 50, 100, 300);
        finishSong(song, 4800);
        f.open(song);
        before = listEvents(f.doc.song);
        f.doc.markBeginningAt(1920);
        f.doc.markEndingAt(3840);
    }
};

TEST_F(CropTest, KeepsSoundingNotesLastControllerTempoAndEndsAtTheRange) {
    f.player.playing = true;
    ASSERT_EQ(f.doc.crop(), 0);
    const MidiSong& s = f.doc.song;
    EXPECT_EQ(listNotes(s, 1),
              (std::vector<NoteRow>{{0, 60, 100, 80}, {580, 62, 100, 500}, {1580, 64, 100, 340}}));
    EXPECT_EQ(controllers(s, 1), (std::vector<std::pair<int32_t, int>>{{0, 80}, {0, 33}}))
        << "the last volume before the range, and an untracked controller";
    EXPECT_EQ(endOfTrack(s, 1), 1920);
    EXPECT_EQ(s.length, 1920);
    ASSERT_EQ(s.tempoList.size(), 1u);
    EXPECT_EQ(s.tempoList[0]->value(), 600000);
    EXPECT_EQ(s.tempoList[0]->tick, 0);
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_EQ(f.doc.markEnd, -1);
    EXPECT_EQ(f.doc.cursorTick, 0);
    EXPECT_EQ(f.player.positions.back(), 0);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Edit\tCtrl+Z");
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(s));
}

TEST_F(CropTest, UndoRestoresTheWholeSongAndMarksStayCleared) {
    f.doc.crop();
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_FALSE(f.doc.undo()) << "one crop, one step";
    ASSERT_TRUE(f.doc.redo());
    EXPECT_EQ(f.doc.song.length, 1920) << "redo crops again";
    EXPECT_TRUE(f.doc.isModified());
}

TEST_F(CropTest, OpenEndKeepsEverythingAfterTheBeginning) {
    f.doc.markEnd = -1;
    f.doc.crop();
    EXPECT_EQ(listNotes(f.doc.song, 1).size(), 5u - 1u) << "only the note at 100..300 goes";
    EXPECT_EQ(endOfTrack(f.doc.song, 1), 4800 - 1920);
}

TEST_F(CropTest, RefusedWithoutMarks) {
    f.doc.markBegin = -1;
    f.doc.markEnd = -1;
    EXPECT_EQ(f.doc.crop(), -1);
    EXPECT_EQ(listEvents(f.doc.song), before);
}

struct DeleteTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> before;
    void SetUp() override {
        MidiSong song;
        beginSong(song, 3);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        addTimeSignature(song, 0, 2400, 3, 4);
        addNote(song, 1, 0, 60, 900, 1000);
        addNote(song, 1, 0, 62, 1200, 1500);
        addNote(song, 1, 0, 64, 2000, 2400);
        addNote(song, 1, 0, 65, 1800, 2100);
        addController(song, 1, 0, 7, 70, 1500);
        addText(song, 1, 1300, "gone");
        addNote(song, 2, 1, 40, 1000, 1100);
        finishSong(song, 2880);
        f.open(song);
        before = listEvents(f.doc.song);
        f.doc.markBeginningAt(960);
        f.doc.markEndingAt(1920);
    }
};

TEST_F(DeleteTest, ClosingTheGapMovesLaterEventsAndCutsCrossingNotes) {
    ASSERT_EQ(f.doc.deleteSelection(), 0);
    const MidiSong& s = f.doc.song;
    EXPECT_EQ(listNotes(s, 1), (std::vector<NoteRow>{
                                   {900, 60, 100, 60}, {960, 65, 100, 180}, {1040, 64, 100, 400}}));
    EXPECT_EQ(controllers(s, 1), (std::vector<std::pair<int32_t, int>>{{960, 70}}));
    EXPECT_TRUE(listNotes(s, 2).empty()) << "every track loses the range";
    for (const auto& e : s.tracks[1]->events)
        EXPECT_NE(e->kind(), KindText);
    EXPECT_EQ(endOfTrack(s, 1), 1920);
    EXPECT_EQ(s.length, 1920);
    ASSERT_EQ(s.timeSignatureList.size(), 2u);
    EXPECT_EQ(s.timeSignatureList[1]->tick, 1440) << "the 3/4 bar stays with its music";
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(s));
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(DeleteTest, CutLeavesTheGapAndSparesTracksNotSelected) {
    f.doc.song.tracks[2]->flags = 0;
    ASSERT_EQ(f.doc.cut(), 0);
    const MidiSong& s = f.doc.song;
    EXPECT_EQ(
        listNotes(s, 1),
        (std::vector<NoteRow>{{900, 60, 100, 60}, {1920, 65, 100, 180}, {2000, 64, 100, 400}}));
    EXPECT_EQ(listNotes(s, 2), (std::vector<NoteRow>{{1000, 40, 100, 100}}));
    EXPECT_EQ(controllers(s, 1), (std::vector<std::pair<int32_t, int>>{{1500, 70}}));
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_EQ(f.doc.markEnd, -1);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(DeleteTest, DeleteWithASelectedNoteRemovesOnlyThatNote) {
    MidiEvent* note = nullptr;
    for (const auto& e : f.doc.song.tracks[1]->events) {
        if (e->isNoteOn() && e->data1 == 62)
            note = e.get();
    }
    ASSERT_NE(note, nullptr);
    ASSERT_EQ(f.doc.deleteSelection(note), 0);
    EXPECT_EQ(listNotes(f.doc.song, 1).size(), 3u);
    EXPECT_EQ(listEvents(f.doc.song).size(), before.size() - 2);
    EXPECT_EQ(f.doc.undoType(), UndoEdit);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(DeleteTest, RefusedWithoutMarks) {
    f.doc.markBegin = -1;
    f.doc.markEnd = -1;
    EXPECT_EQ(f.doc.cut(), -1);
    EXPECT_EQ(f.doc.deleteSelection(), -1);
    EXPECT_FALSE(f.doc.isModified());
}

TEST(DeleteRange, OpenBeginningNeverMovesEventsBeforeTickZero) {
    MidiSong song;
    beginSong(song, 1);
    addTimeSignature(song, 0, 0, 4, 4);
    addController(song, 0, 0, 7, 50, 100);
    addNote(song, 0, 0, 60, 200, 300);
    addNote(song, 0, 0, 62, 400, 900);
    finishSong(song, 960);
    ASSERT_EQ(deleteRange(song, -1, 480, true), 0);
    for (const auto& e : song.tracks[0]->events)
        EXPECT_GE(e->tick, 0);
    EXPECT_EQ(listNotes(song, 0), (std::vector<NoteRow>{{0, 62, 100, 420}}));
}

TEST(InsertSilence, LengthFollowsTheBarAtTheCursor) {
    MidiSong song;
    beginSong(song, 1);
    addTimeSignature(song, 0, 0, 3, 4);
    addTimeSignature(song, 0, 2880, 6, 8);
    addNote(song, 0, 0, 60, 0, 5000);
    finishSong(song, 5760);
    EXPECT_EQ(silenceLengthAt(song, 100, 1, 0, 0), 1440);
    EXPECT_EQ(silenceLengthAt(song, 3000, 1, 0, 0), 1440);
    EXPECT_EQ(silenceLengthAt(song, 100, 0, 2, 0), 960);
    EXPECT_EQ(silenceLengthAt(song, 100, 2, 1, 7), 2 * 1440 + 480 + 7);
}

struct SilenceTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> before;
    void SetUp() override {
        MidiSong song;
        beginSong(song, 2);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        addNote(song, 1, 0, 60, 0, 480);
        addNote(song, 1, 0, 48, 1800, 3000);
        addNote(song, 1, 0, 62, 1920, 2400);
        addNote(song, 1, 0, 64, 2880, 3300);
        addController(song, 1, 0, 7, 64, 2000);
        finishSong(song, 3840);
        f.open(song);
        before = listEvents(f.doc.song);
        f.doc.cursorTick = 1920;
    }
};

TEST_F(SilenceTest, LaterEventsMoveAndAHeldNoteStaysPut) {
    ASSERT_EQ(f.doc.insertSilence(0, 2, 0), 0);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Inserted Silence\tCtrl+Z");
    EXPECT_EQ(
        listNotes(f.doc.song, 1),
        (std::vector<NoteRow>{
            {0, 60, 100, 480}, {1800, 48, 100, 1200}, {2880, 62, 100, 480}, {3840, 64, 100, 420}}));
    EXPECT_EQ(controllers(f.doc.song, 1), (std::vector<std::pair<int32_t, int>>{{2960, 64}}));
    EXPECT_EQ(f.doc.song.length, 3840 + 960);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(f.doc.song));
}

TEST_F(SilenceTest, UndoShiftsBackExactly) {
    f.doc.insertSilence(0, 2, 0);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.song.length, 3840);
    EXPECT_FALSE(f.doc.isModified());
}

TEST_F(SilenceTest, ShiftingBackAloneRestoresEveryTick) {
    insertSilenceAt(f.doc.song, 1920, 960);
    removeSilenceAt(f.doc.song, 1920, 960);
    EXPECT_EQ(listEvents(f.doc.song), before)
        << "the held note's end did not move in, so it must not move out";
}

TEST_F(SilenceTest, RefusedWithoutLength) {
    EXPECT_EQ(f.doc.insertSilence(0, 0, 0), -1);
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
}

TEST(InsertSilence, RefusedWhenTheSongWouldEndPastTheLastTick) {
    // Found by the edit fuzzer: the ticks of a song ending near 2^31 wrapped round, also those
    // of a time signature lying past the song's last playable event.
    DocFixture f;
    MidiSong song;
    beginSong(song, 2);
    addTimeSignature(song, 0, 0, 4, 4);
    addNote(song, 1, 0, 60, 0, 480);
    addNote(song, 1, 0, 62, 2147483000, 2147483600);
    finishSong(song, 2147483600);
    f.open(song);
    const auto before = listEvents(f.doc.song);
    f.doc.cursorTick = 960;
    EXPECT_EQ(f.doc.insertSilence(0, 0, 47), 0) << "still fits";
    EXPECT_EQ(f.doc.song.length, 2147483647);
    EXPECT_EQ(f.doc.insertSilence(0, 0, 1), -1);
    EXPECT_EQ(f.doc.song.length, 2147483647);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);

    auto late = makeTimeSignatureEvent(3, 4);
    f.doc.song.timeSignatureList.push_back(late.get());
    f.doc.song.tracks[0]->insert(1, std::move(late))->tick = 2147483640;
    EXPECT_EQ(f.doc.insertSilence(0, 0, 47), -1) << "the signature would pass the last tick";
    EXPECT_EQ(f.doc.insertSilence(0, 0, 7), 0);
    EXPECT_EQ(f.doc.song.tracks[0]->events[1]->tick, 2147483647);
}

} // namespace
} // namespace reedtab::testing
