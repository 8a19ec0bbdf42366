// Cut, Copy and Paste: what the clip holds, where a paste puts it, and one undo step each.

#include "documenttesting.h"

#include <gtest/gtest.h>

#include <limits>

namespace reedtab::testing {
namespace {

void makeDuet(MidiSong& song, int division = 480) {
    beginSong(song, 3, division);
    addTempo(song, 0, 0, 500000);
    addTimeSignature(song, 0, 0, 4, 4);
    addNote(song, 1, 0, 60, 0, 400);
    addNote(song, 1, 0, 62, 480, 880);
    addController(song, 1, 0, 7, 90, 500);
    addText(song, 1, 600, "la");
    addNote(song, 1, 0, 64, 960, 1900);
    addNote(song, 2, 1, 48, 0, 960);
    addNote(song, 2, 1, 50, 960, 1920);
    finishSong(song, 1920);
}

std::vector<std::pair<int32_t, std::string>> texts(const MidiSong& song, int track) {
    std::vector<std::pair<int32_t, std::string>> rows;
    for (const auto& e : song.tracks[static_cast<size_t>(track)]->events)
        if (e->kind() == KindText)
            rows.emplace_back(e->tick, e->text());
    return rows;
}

class ClipTest : public ::testing::Test {
protected:
    DocFixture f;
    std::vector<EventRow> opened;
    void SetUp() override {
        MidiSong song;
        makeDuet(song);
        f.open(song);
        opened = listEvents(f.doc.song);
    }
    MidiEvent* noteAt(int track, int32_t tick) {
        for (const auto& e : f.doc.song.tracks[static_cast<size_t>(track)]->events)
            if (e->isNoteOn() && e->tick == tick)
                return e.get();
        return nullptr;
    }
    void readClip(MidiSong& clip) {
        ASSERT_FALSE(f.doc.clip().empty());
        ASSERT_EQ(clip.loadMemory(f.doc.clip().data(), f.doc.clip().size()), LoadOk);
    }
};

TEST_F(ClipTest, CopyTakesWhatCutTakesFromTheRangeStartingAtZero) {
    EXPECT_FALSE(f.doc.canCopy(false)) << "no mark";
    EXPECT_TRUE(f.doc.canCopy(true)) << "selected notes";
    EXPECT_EQ(f.doc.copySelection(), -1);
    EXPECT_FALSE(f.doc.canPaste());
    f.doc.markBeginningAt(480);
    f.doc.markEndingAt(1000);
    ASSERT_TRUE(f.doc.canCopy(false));
    ASSERT_EQ(f.doc.copySelection(), 0);
    EXPECT_TRUE(f.doc.canPaste());
    EXPECT_EQ(listEvents(f.doc.song), opened) << "copying changes nothing";
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoType(), UndoNothing);

    MidiSong clip;
    readClip(clip);
    EXPECT_EQ(clip.division, 480);
    ASSERT_EQ(clip.trackCount(), 3) << "track indexes are kept";
    EXPECT_TRUE(listNotes(clip, 0).empty());
    EXPECT_EQ(listNotes(clip, 1), (std::vector<NoteRow>{{0, 62, 100, 400}, {480, 64, 100, 40}}))
        << "a note running past the end is copied up to it";
    EXPECT_EQ(texts(clip, 1), (std::vector<std::pair<int32_t, std::string>>{{120, "la"}}));
    EXPECT_EQ(listNotes(clip, 2), (std::vector<NoteRow>{{0, 48, 100, 480}, {480, 50, 100, 40}}))
        << "a note begun before the range is copied from its start";
    for (const auto& track : clip.tracks)
        for (const auto& e : track->events)
            EXPECT_NE(e->kind(), KindController) << "a cut leaves controllers, so copy does too";

    f.doc.song.tracks[2]->flags = 0;
    ASSERT_EQ(f.doc.copySelection(), 0);
    MidiSong shownOnly;
    readClip(shownOnly);
    EXPECT_EQ(shownOnly.trackCount(), 2) << "a hidden track is neither cut nor copied";
}

TEST_F(ClipTest, CutCopiesFirstAndPasteAtTheSamePlaceGivesTheMusicBack) {
    f.doc.markBeginningAt(480);
    f.doc.markEndingAt(1000);
    ASSERT_EQ(f.doc.cut(), 0);
    const auto afterCut = listEvents(f.doc.song);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_EQ(listNotes(f.doc.song, 1),
              (std::vector<NoteRow>{{0, 60, 100, 400}, {1000, 64, 100, 900}}));
    EXPECT_TRUE(texts(f.doc.song, 1).empty());

    const int before = f.ui.repaints;
    ASSERT_EQ(f.doc.paste(480), 9) << "four notes and a text";
    EXPECT_GT(f.ui.repaints, before);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Paste\tCtrl+Z");
    EXPECT_EQ(
        listNotes(f.doc.song, 1),
        (std::vector<NoteRow>{
            {0, 60, 100, 400}, {480, 62, 100, 400}, {960, 64, 100, 40}, {1000, 64, 100, 900}}));
    EXPECT_EQ(texts(f.doc.song, 1), (std::vector<std::pair<int32_t, std::string>>{{600, "la"}}));
    EXPECT_EQ(
        listNotes(f.doc.song, 2),
        (std::vector<NoteRow>{
            {0, 48, 100, 480}, {480, 48, 100, 480}, {960, 50, 100, 40}, {1000, 50, 100, 920}}));
    const auto pasted = listEvents(f.doc.song);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), pasted);

    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), afterCut);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened);
    ASSERT_TRUE(f.doc.redo());
    ASSERT_TRUE(f.doc.redo());
    EXPECT_EQ(listEvents(f.doc.song), pasted);
}

TEST_F(ClipTest, SelectedNotesGoFromTheFirstOneOnToThePlayPositionOnTheirTracks) {
    const std::vector<MidiEvent*> notes{noteAt(2, 960), noteAt(1, 480)};
    ASSERT_EQ(f.doc.copySelection(notes), 0);
    ASSERT_GT(f.doc.paste(3000), 0);
    EXPECT_EQ(listNotes(f.doc.song, 1).back(), (NoteRow{3000, 62, 100, 400}));
    EXPECT_EQ(listNotes(f.doc.song, 2).back(), (NoteRow{3480, 50, 100, 960}));
    EXPECT_EQ(f.doc.song.length, 4440) << "a paste past the end lengthens the song";
    for (const auto& track : f.doc.song.tracks)
        EXPECT_EQ(track->last()->kind(), KindEndOfTrack);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened);

    ASSERT_EQ(f.doc.cut({noteAt(1, 0)}), 0);
    EXPECT_EQ(noteAt(1, 0), nullptr);
    EXPECT_EQ(f.doc.history().undoCount(), 1u);
    EXPECT_EQ(f.doc.undoType(), UndoDeletedSelection);
    MidiSong clip;
    readClip(clip);
    EXPECT_EQ(clip.trackCount(), 2);
    EXPECT_EQ(listNotes(clip, 1), (std::vector<NoteRow>{{0, 60, 100, 400}}));
}

TEST_F(ClipTest, TheClipOutlivesTheSongAndPastesOnlyOnTracksThatExist) {
    f.doc.markBeginningAt(0);
    f.doc.markEndingAt(1920);
    ASSERT_EQ(f.doc.copySelection(), 0);

    // A song of two tracks at 96 ticks a quarter: the clip's second track has nowhere to go.
    MidiSong other;
    beginSong(other, 2, 96);
    addTimeSignature(other, 0, 0, 4, 4);
    addNote(other, 1, 0, 72, 0, 96);
    finishSong(other, 384);
    ASSERT_EQ(other.saveFile(f.folder.file("other.mid")), SaveOk);
    ASSERT_EQ(f.doc.openDocument(f.folder.file("other.mid")), LoadOk);
    ASSERT_TRUE(f.doc.canPaste());
    int skipped = -1;
    ASSERT_EQ(f.doc.paste(384, &skipped), 7);
    EXPECT_EQ(skipped, 1);
    EXPECT_EQ(listNotes(f.doc.song, 1),
              (std::vector<NoteRow>{
                  {0, 72, 100, 96}, {384, 60, 100, 80}, {480, 62, 100, 80}, {576, 64, 100, 188}}))
        << "ticks follow the song's division";

    MidiSong lone;
    beginSong(lone, 1, 96);
    addTimeSignature(lone, 0, 0, 4, 4);
    finishSong(lone, 384);
    ASSERT_EQ(lone.saveFile(f.folder.file("lone.mid")), SaveOk);
    ASSERT_EQ(f.doc.openDocument(f.folder.file("lone.mid")), LoadOk);
    const auto empty = listEvents(f.doc.song);
    EXPECT_EQ(f.doc.paste(0, &skipped), 0);
    EXPECT_EQ(skipped, 2);
    EXPECT_EQ(listEvents(f.doc.song), empty);
    EXPECT_EQ(f.doc.undoType(), UndoNothing) << "nothing pasted, no step";
    EXPECT_FALSE(f.doc.isModified());
}

TEST_F(ClipTest, PasteIsRefusedWhereTheTicksWouldNotFit) {
    f.doc.markBeginningAt(480);
    f.doc.markEndingAt(1000);
    ASSERT_EQ(f.doc.copySelection(), 0);
    EXPECT_EQ(f.doc.paste(-1), -1);
    EXPECT_EQ(f.doc.paste(std::numeric_limits<int32_t>::max() - 100), -1);
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    EXPECT_EQ(f.doc.paste(std::numeric_limits<int32_t>::max() - 520), 9);
}

} // namespace
} // namespace reedtab::testing
