// Edit scopes and document notices: what every edit does around the change itself.

#include "documenttesting.h"

#include "document/editscope.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

struct ScopeTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> opened;
    void SetUp() override {
        MidiSong song;
        beginSong(song, 2);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        for (int i = 0; i < 8; ++i)
            addNote(song, 1, 0, 60 + i, i * 480, i * 480 + 400);
        finishSong(song, 3840);
        f.open(song);
        opened = listEvents(f.doc.song);
        f.ui.notices.clear();
        f.player.stops = 0;
        f.player.restarts = 0;
    }
    MidiEvent* firstNote() {
        for (const auto& e : f.doc.song.tracks[1]->events) {
            if (e->isNoteOn())
                return e.get();
        }
        return nullptr;
    }
};

TEST_F(ScopeTest, EditWhilePlayingStopsEditsAndRestartsOnceWithOneNotice) {
    f.player.playing = true;
    f.doc.markBegin = 960;
    f.doc.markEnd = 1920;
    ASSERT_EQ(f.doc.crop(), 0);
    EXPECT_EQ(f.player.stops, 1);
    EXPECT_EQ(f.player.restarts, 1);
    ASSERT_EQ(f.ui.notices.size(), 1u);
    EXPECT_TRUE(f.ui.notices[0] & EventsChanged);
    EXPECT_TRUE(f.ui.notices[0] & MarksChanged);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Edit\tCtrl+Z");
}

TEST_F(ScopeTest, StoppedPlayerIsNotStartedByAnEdit) {
    ASSERT_EQ(f.doc.transposeCommand(2, true), 0);
    EXPECT_EQ(f.player.stops, 0);
    EXPECT_EQ(f.player.restarts, 0);
}

TEST_F(ScopeTest, UncommittedEditLeavesNoUndoStepNoNoticeAndTheLastUndoIntact) {
    f.doc.markBegin = 0;
    f.doc.markEnd = 960;
    ASSERT_EQ(f.doc.cut(), 0);
    const auto afterCut = listEvents(f.doc.song);
    f.ui.notices.clear();
    f.player.playing = true;
    {
        // An edit that begins and then fails.
        EditScope scope(f.doc, EventsChanged);
    }
    EXPECT_EQ(f.player.restarts, 1) << "the player goes on after a failed edit";
    EXPECT_TRUE(f.ui.notices.empty());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_EQ(listEvents(f.doc.song), afterCut);
    f.player.playing = false;
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened) << "undo still brings back the song before the cut";
}

TEST_F(ScopeTest, RefusedDeleteOfAMissingEventRecordsNothing) {
    MidiEvent* note = firstNote();
    ASSERT_NE(note, nullptr);
    auto stray = makeChannelEvent(0x90, 60, 100);
    EXPECT_NE(f.doc.deleteEventEdit(stray.get()), 0);
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(listEvents(f.doc.song), opened);
}

TEST_F(ScopeTest, NestedEditsStopOnceAndSendTheirNoticesTogether) {
    f.player.playing = true;
    MidiEvent* note = firstNote();
    ASSERT_EQ(f.doc.deleteSelection(note), 0);
    EXPECT_EQ(f.player.stops, 1);
    EXPECT_EQ(f.player.restarts, 1);
    // The note and its partner leave the selection before they go, then one change notice.
    ASSERT_EQ(f.ui.leavingNotes.size(), 2u);
    EXPECT_EQ(f.ui.leavingNotes[0], note);
    ASSERT_EQ(f.ui.notices.size(), 3u);
    EXPECT_EQ(f.ui.notices.back(), static_cast<unsigned>(EventsChanged));
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened);
}

TEST_F(ScopeTest, UndoOfASnapshotDropsTheSelectionAndSaysEventsAndTracksChanged) {
    ASSERT_EQ(f.doc.deleteTrackEdit(1, true), 0);
    f.ui.notices.clear();
    f.ui.droppedSelections = 0;
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_GE(f.ui.droppedSelections, 1);
    EXPECT_GE(f.ui.trackListRefreshes, 1);
    for (unsigned changes : f.ui.notices)
        EXPECT_FALSE(changes & SongReplaced) << "undo keeps edit mode and the file";
}

TEST_F(ScopeTest, MarksSendOnlyAMarksNotice) {
    ASSERT_EQ(f.doc.markBeginningAt(480), 0);
    ASSERT_EQ(f.doc.markEndingAt(960), 0);
    ASSERT_EQ(f.ui.notices.size(), 2u);
    EXPECT_EQ(f.ui.notices[0], static_cast<unsigned>(MarksChanged));
    EXPECT_EQ(f.ui.notices[1], static_cast<unsigned>(MarksChanged));
    EXPECT_FALSE(f.doc.isModified());
}

TEST_F(ScopeTest, ListenersLeaveAndJoinSafelyWhileHearingANotice) {
    int heard = 0;
    int id = 0;
    id = f.doc.subscribe([&](const DocumentNotice&) {
        ++heard;
        f.doc.unsubscribe(id);
    });
    f.doc.notify({MarksChanged});
    f.doc.notify({MarksChanged});
    EXPECT_EQ(heard, 1);
}

} // namespace
} // namespace reedtab::testing
