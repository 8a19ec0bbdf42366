// The edits of the property dialogs: each changes the song without an undo step of its own,
// and the scope around a whole dialog records one step for all of them or rolls them back.

#include "documenttesting.h"

#include "document/editscope.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

struct PropertyEditTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> opened;
    void SetUp() override {
        MidiSong song;
        beginSong(song, 3);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        addProgram(song, 1, 0, 24, 0);
        addController(song, 1, 0, 7, 90, 0);
        addNote(song, 1, 0, 60, 0, 400);
        addNote(song, 1, 0, 62, 480, 880);
        addNote(song, 2, 1, 48, 0, 900);
        finishSong(song, 1920);
        f.open(song);
        opened = listEvents(f.doc.song);
        f.ui.notices.clear();
    }
    MidiTrack& track(int i) { return *f.doc.song.tracks[static_cast<size_t>(i)]; }
    MidiEvent* firstOfKind(int trackIndex, int kind) {
        for (const auto& e : track(trackIndex).events)
            if (e->kind() == kind)
                return e.get();
        return nullptr;
    }
    // Every property edit once: a controller added and one changed, the program deleted, a
    // tempo changed, the channel, the name and the place of a track.
    void editEverything() {
        ASSERT_GE(f.doc.insertEvent(1, 240, makeChannelEvent(0xB0, 10, 20)), 0);
        f.doc.setNoteValue(firstOfKind(1, KindController), 33, 1);
        ASSERT_EQ(f.doc.removeEvent(firstOfKind(1, KindProgram)), 0);
        ASSERT_EQ(f.doc.setEventValue(f.doc.song.tempoList[0], 600000), 0);
        ASSERT_EQ(f.doc.setTrackChannel(2, 9), 0);
        ASSERT_EQ(f.doc.renameTrack(1, "Lead"), 0);
        ASSERT_EQ(f.doc.moveTrack(1, 2), 0);
    }
};

TEST_F(PropertyEditTest, EditsRecordNoStepOfTheirOwnAndTheDialogScopeRecordsOne) {
    {
        EditScope scope(f.doc, EventsChanged | TracksChanged);
        editEverything();
        EXPECT_EQ(f.doc.undoType(), UndoNothing);
        EXPECT_FALSE(f.doc.isModified());
        for (unsigned changes : f.ui.notices)
            EXPECT_EQ(changes, static_cast<unsigned>(SelectionChanged))
                << "only the deleted event leaves the selection before the dialog ends";
        f.ui.notices.clear();
        scope.commit(UndoTrackProperties);
    }
    ASSERT_EQ(f.ui.notices.size(), 1u);
    EXPECT_TRUE(f.ui.notices[0] & TracksChanged);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Track properties\tCtrl+Z");
    EXPECT_EQ(track(2).name, "Lead");
    EXPECT_EQ(f.doc.song.tempoAt(1), 600000);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened) << "one undo takes back every change";
}

TEST_F(PropertyEditTest, RollBackRestoresTheSongAndKeepsTheUndoStepBeforeIt) {
    f.doc.editTrack = 1;
    f.doc.soundingTicks = 240;
    ASSERT_NE(f.doc.addNoteFromEntry(72, 100, 0, EntryWholeNote), nullptr);
    const auto added = listEvents(f.doc.song);
    track(2).flags |= TrackMuted;
    track(1).volumePercent = 70;
    f.ui.notices.clear();
    {
        EditScope scope(f.doc, EventsChanged | TracksChanged);
        editEverything();
        f.ui.notices.clear();
        EXPECT_TRUE(scope.rollBack());
    }
    EXPECT_EQ(listEvents(f.doc.song), added);
    ASSERT_EQ(f.ui.notices.size(), 2u) << "the dropped selection, then every event replaced";
    EXPECT_TRUE(f.ui.notices[1] & EventsChanged);
    EXPECT_EQ(track(2).flags & TrackMuted, TrackMuted) << "mixer state is not in the file";
    EXPECT_EQ(track(1).volumePercent, 70);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Added Note\tCtrl+Z");
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened) << "the note added before the dialog goes";
}

TEST_F(PropertyEditTest, AnyScopeRollsBackAndRecordsNoStep) {
    {
        EditScope scope(f.doc, EventsChanged);
        ASSERT_EQ(f.doc.renameTrack(1, "Lead"), 0);
        EXPECT_TRUE(scope.rollBack());
    }
    EXPECT_NE(track(1).name, "Lead");
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    EXPECT_FALSE(f.doc.isModified());
}

TEST_F(PropertyEditTest, ChannelChangeMovesEveryChannelEventOfTheTrack) {
    ASSERT_EQ(f.doc.setTrackChannel(1, 9), 0);
    for (const auto& e : track(1).events) {
        if (e->kind() & KindFamilyChannel) {
            EXPECT_EQ(e->channel(), 9) << e->kind();
        }
    }
    EXPECT_EQ(track(1).channels, std::vector<uint8_t>{9});
    for (const auto& e : track(1).events)
        EXPECT_EQ(e->isNote, 0) << "drums are not drawn as notes";
    EXPECT_EQ(track(2).at(0)->channel(), 1) << "other tracks stay";
    EXPECT_EQ(f.doc.setTrackChannel(1, 16), -1);
    EXPECT_EQ(f.doc.setTrackChannel(3, 0), -1);
}

TEST_F(PropertyEditTest, MovedTrackTakesTheEditTrackAlong) {
    f.doc.editTrack = 1;
    MidiTrack* lead = &track(1);
    ASSERT_EQ(f.doc.moveTrack(1, 2), 0);
    EXPECT_EQ(&track(2), lead);
    EXPECT_EQ(f.doc.editTrack, 2);
    f.doc.editTrack = 1;
    ASSERT_EQ(f.doc.moveTrack(2, 1), 0);
    EXPECT_EQ(f.doc.editTrack, 2) << "the track the edit track named moved down one place";
    f.ui.notices.clear();
    EXPECT_EQ(f.doc.moveTrack(1, 3), -1);
    EXPECT_TRUE(f.ui.notices.empty());
    EXPECT_EQ(listEvents(f.doc.song), opened);
}

} // namespace
} // namespace reedtab::testing
