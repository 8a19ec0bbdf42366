// The undo history on its own: what a step costs, the limits on the steps, and changes that
// join the last step.

#include "documenttesting.h"

#include "document/undohistory.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

// Three tracks of `notes` notes each, a few kilobytes of file.
void makeSong(MidiSong& song, int notes) {
    beginSong(song, 3);
    addTempo(song, 0, 0, 500000);
    addTimeSignature(song, 0, 0, 4, 4);
    for (int track = 1; track < 3; ++track)
        for (int i = 0; i < notes; ++i)
            addNote(song, track, track - 1, 48 + (i * 7 + track) % 36, i * 240, i * 240 + 200);
    finishSong(song, notes * 240);
}

// One transposition of every note, recorded as a step.
void transposeStep(UndoHistory& history, MidiSong& song, int halfSteps) {
    markNotes(song, false);
    history.prepare(song, 0);
    transpose(song, halfSteps, -1, -1, -1);
    history.record(UndoTranspose, song, 0);
}

TEST(UndoHistory, AStepCostsWhatItsEditChangedNotTheSong) {
    MidiSong song;
    makeSong(song, 2000);
    UndoHistory history;
    history.prepare(song, 0);
    addNote(song, 2, 1, 60, 120000, 120100);
    song.repairAllTracks();
    history.record(UndoAddedNote, song, 0);
    EXPECT_LT(history.stepBytes(), 600u) << "a note in a track of 4000 events";
    const size_t small = history.stepBytes();

    transposeStep(history, song, 1);
    EXPECT_GT(history.stepBytes() - small, 8000u) << "every note of both tracks changed";
    int32_t cursor = 0;
    ASSERT_TRUE(history.undo(song, cursor));
    ASSERT_TRUE(history.undo(song, cursor));
    MidiSong fresh;
    makeSong(fresh, 2000);
    EXPECT_EQ(listEvents(song), listEvents(fresh));
}

TEST(UndoHistory, BeyondItsBytesTheOldestStepsGoAndTheLastAlwaysStays) {
    MidiSong song;
    makeSong(song, 300);
    UndoHistory measure;
    transposeStep(measure, song, 1);
    const size_t step = measure.stepBytes();

    MidiSong bounded;
    makeSong(bounded, 300);
    UndoHistory history(100, 3 * step + step / 2);
    std::vector<std::vector<EventRow>> states;
    for (int i = 0; i < 8; ++i) {
        states.push_back(listEvents(bounded));
        transposeStep(history, bounded, i % 2 == 0 ? 1 : -2);
        EXPECT_LE(history.stepBytes(), 3 * step + step / 2);
    }
    ASSERT_EQ(history.undoCount(), 3u);
    int32_t cursor = 0;
    while (history.undoCount() > 0)
        ASSERT_TRUE(history.undo(bounded, cursor));
    EXPECT_EQ(listEvents(bounded), states[5]);

    UndoHistory tiny(100, 1);
    transposeStep(tiny, bounded, 3);
    transposeStep(tiny, bounded, 3);
    EXPECT_EQ(tiny.undoCount(), 1u) << "a step larger than the limit is still the last edit";
    ASSERT_TRUE(tiny.undo(bounded, cursor));
    EXPECT_EQ(tiny.redoCount(), 1u);
}

TEST(UndoHistory, AChangeWithoutAStepJoinsTheLastOneOrMakesItGo) {
    MidiSong song;
    makeSong(song, 20);
    const auto opened = listEvents(song);
    UndoHistory history;
    transposeStep(history, song, 5);
    history.prepare(song, 0);
    transpose(song, 2, -1, -1, -1);
    history.amend(UndoEdit, song, 0);
    EXPECT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.undoType(), UndoTranspose);
    history.prepare(song, 0);
    transpose(song, -7, -1, -1, -1);
    history.amend(UndoEdit, song, 0);
    EXPECT_EQ(history.undoCount(), 0u) << "back where it began: nothing to undo";
    EXPECT_EQ(listEvents(song), opened);

    // At the saved state the change is a step of its own, so the saved state stays reachable.
    transposeStep(history, song, 1);
    history.markSaved();
    history.prepare(song, 0);
    transpose(song, 1, -1, -1, -1);
    history.amend(UndoEdit, song, 0);
    EXPECT_EQ(history.undoCount(), 2u);
    EXPECT_EQ(history.undoType(), UndoEdit);
    EXPECT_FALSE(history.atSavedState());
    int32_t cursor = 0;
    ASSERT_TRUE(history.undo(song, cursor));
    EXPECT_TRUE(history.atSavedState());
}

TEST(UndoHistory, TracksThatComeAndGoAreRestoredWithTheirStates) {
    MidiSong song;
    makeSong(song, 10);
    song.tracks[2]->flags = TrackMuted;
    song.tracks[2]->volumePercent = 40;
    song.tracks[2]->channels = {5, 1};
    const auto opened = listEvents(song);
    UndoHistory history;
    history.prepare(song, 11);
    ASSERT_EQ(song.deleteTrack(1), 0);
    history.record(UndoEdit, song, 22);
    int32_t cursor = 0;
    ASSERT_TRUE(history.undo(song, cursor));
    EXPECT_EQ(cursor, 11);
    EXPECT_EQ(listEvents(song), opened);
    EXPECT_EQ(song.tracks[2]->flags, TrackMuted);
    EXPECT_EQ(song.tracks[2]->volumePercent, 40);
    EXPECT_EQ(song.tracks[2]->channels, (std::vector<uint8_t>{5, 1}));
    ASSERT_TRUE(history.redo(song, cursor));
    EXPECT_EQ(cursor, 22);
    ASSERT_EQ(song.trackCount(), 2);
    EXPECT_EQ(song.tracks[1]->volumePercent, 40);
}

} // namespace
} // namespace reedtab::testing
