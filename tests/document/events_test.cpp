// Single-event edits, note entry, track deletion, volume and tempo baking, map notes and
// moving notes.

#include "documenttesting.h"

#include "harmonica/notation.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <limits>

namespace reedtab::testing {
namespace {

void makeDuet(MidiSong& song) {
    beginSong(song, 3);
    addTempo(song, 0, 0, 500000);
    addTempo(song, 0, 1920, 400000);
    addTimeSignature(song, 0, 0, 4, 4);
    addNote(song, 1, 0, 60, 0, 400, 100);
    addNote(song, 1, 0, 60, 4800, 5200, 1);
    addNote(song, 1, 0, 64, 9000, 9400, 127);
    addNote(song, 2, 9, 36, 0, 100, 90);
    addNote(song, 2, 9, 38, 4800, 4900, 90);
    finishSong(song, 9600);
}

struct EventsTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> before;
    void SetUp() override {
        MidiSong song;
        makeDuet(song);
        f.open(song);
        before = listEvents(f.doc.song);
    }
    MidiEvent* noteAt(int track, int32_t tick) {
        for (const auto& e : f.doc.song.tracks[track]->events) {
            if (e->isNoteOn() && e->tick == tick)
                return e.get();
        }
        return nullptr;
    }
};

TEST_F(EventsTest, AddedTextIsUndoneAndCursorReturns) {
    f.doc.cursorTick = 960;
    ASSERT_EQ(f.doc.addTextEdit(1, 960, "chorus"), 0);
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Added Text\tCtrl+Z");
    const MidiEvent* added = nullptr;
    for (const auto& e : f.doc.song.tracks[1]->events)
        if (e->kind() == KindText && e->tick == 960)
            added = e.get();
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(std::string(added->text()), "chorus");
    EXPECT_EQ(added->dataLength, 7u);
    f.doc.cursorTick = 2000;
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.cursorTick, 960);
    EXPECT_EQ(f.doc.undoMenuText(), "Nothing to Undo\tCtrl+Z");
    EXPECT_EQ(f.doc.redoMenuText(), "Redo Added Text\tCtrl+Y");
    EXPECT_EQ(f.doc.addTextEdit(7, 0, "x"), 1) << "no such track";
}

TEST_F(EventsTest, AddedEventWhilePlayingSuspendsInsteadOfStopping) {
    f.player.playing = true;
    int pos = f.doc.addEventEdit(4800, 1, makeChannelEvent(0xC0, 20, 0));
    EXPECT_GE(pos, 0);
    EXPECT_EQ(f.player.stops, 0);
    EXPECT_EQ(f.player.suspends, 1);
    EXPECT_EQ(f.player.resumedAt, std::vector<int>{pos});
    EXPECT_EQ(f.doc.undoType(), UndoAddedNote);
    EXPECT_EQ(f.doc.addEventEdit(0, 9, makeChannelEvent(0xC0, 20, 0)), -1);
}

TEST_F(EventsTest, EventPastTheEndKeepsTheEndOfTrackLast) {
    f.doc.addEventEdit(20000, 1, makeChannelEvent(0xB0, 7, 10));
    const MidiTrack& track = *f.doc.song.tracks[1];
    EXPECT_EQ(track.last()->kind(), KindEndOfTrack);
    EXPECT_EQ(track.last()->tick, 20000);
    EXPECT_EQ(f.doc.song.length, 20000);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(f.doc.song));
}

TEST_F(EventsTest, WholeNoteEntryAdvancesCursorAndUndoRemovesBoth) {
    f.doc.editTrack = 1;
    f.doc.cursorTick = 1000;
    f.doc.soundingTicks = 172;
    f.doc.gapTicks = 20;
    MidiEvent* off = f.doc.addNoteFromEntry(67, 80, 0, EntryWholeNote);
    ASSERT_NE(off, nullptr);
    MidiEvent* on = off->partner;
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->tick, 1000);
    EXPECT_EQ(on->duration, 172);
    EXPECT_EQ(on->isNote, 1);
    EXPECT_EQ(off->tick, 1172);
    EXPECT_EQ(f.doc.cursorTick, 1192);
    auto saved = roundTrip(f.doc.song, f.folder.file("out.mid"));
    EXPECT_EQ(saved, listEvents(f.doc.song));
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.cursorTick, 1000);
}

TEST_F(EventsTest, UndoingANoteOrTextPastTheEndPutsTheEndOfTrackBack) {
    // Found by the edit fuzzer: the end of track stayed where the added event had lifted it,
    // so the song kept the longer length after the undo.
    f.doc.editTrack = 1;
    f.doc.cursorTick = 9500;
    f.doc.soundingTicks = 300;
    ASSERT_NE(f.doc.addNoteFromEntry(70, 90, 0, EntryWholeNote), nullptr);
    ASSERT_EQ(f.doc.song.tracks[1]->last()->tick, 9800);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.song.length, 9600);
    ASSERT_EQ(f.doc.addTextEdit(2, 12000, "coda"), 0);
    ASSERT_EQ(f.doc.song.length, 12000);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.song.length, 9600);
    EXPECT_EQ(f.doc.song.barTable.size(), 5u);
}

TEST_F(EventsTest, DeletingTheLastEventsShortensTheSong) {
    // Found by the edit fuzzer: the length stayed at the deleted event's tick.
    MidiSong& song = f.doc.song;
    for (auto& track : song.tracks)
        ASSERT_EQ(f.doc.deleteEventEdit(track->last()), 0);
    EXPECT_EQ(song.length, 9400) << "the last note-off is now the song's end";
    ASSERT_EQ(f.doc.deleteEventEdit(noteAt(1, 9000)), 0);
    EXPECT_EQ(song.length, song.mergedEvents.back()->tick);
    EXPECT_EQ(song.length, 5200);
    EXPECT_EQ(song.barTable.size(), 3u);
    EXPECT_EQ(f.doc.deleteTrackEdit(1, true), 0);
    EXPECT_EQ(song.length, 4900) << "the track that held the last event is gone";
}

TEST_F(EventsTest, HeldKeysPairWithTheirReleaseLastInFirstOut) {
    f.doc.editTrack = 1;
    f.doc.cursorTick = 2000;
    MidiEvent* first = f.doc.addNoteFromEntry(70, 90, 0, EntryKeyPressed);
    f.doc.cursorTick = 2100;
    MidiEvent* second = f.doc.addNoteFromEntry(70, 91, 0, EntryKeyPressed);
    MidiEvent* other = f.doc.addNoteFromEntry(72, 91, 0, EntryKeyPressed);
    EXPECT_EQ(f.doc.pendingNoteOns.size(), 3u);
    EXPECT_EQ(second->duration, 0);
    f.doc.cursorTick = 2300;
    MidiEvent* off = f.doc.addNoteFromEntry(70, 0, 0, EntryKeyReleased);
    EXPECT_EQ(off->partner, second);
    EXPECT_EQ(second->partner, off);
    EXPECT_EQ(second->duration, 200);
    EXPECT_EQ(first->partner, nullptr);
    EXPECT_EQ(f.doc.pendingNoteOns, (std::vector<MidiEvent*>{first, other}));
    f.doc.editTrack = 2;
    MidiEvent* drum = f.doc.addNoteFromEntry(40, 90, 9, EntryKeyPressed);
    EXPECT_EQ(drum->isNote, settings().showDrumsNotes ? 1 : 0);
}

TEST_F(EventsTest, ProgramAndBendEntries) {
    f.doc.editTrack = 1;
    f.doc.cursorTick = 3000;
    MidiEvent* program = f.doc.addNoteFromEntry(25, 0, 3, EntryProgram);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->kind(), KindProgram);
    EXPECT_EQ(program->status, 0xC3);
    EXPECT_EQ(program->data1, 25);
    MidiEvent* bend = f.doc.addNoteFromEntry(0, 64, 3, EntryPitchWheel);
    EXPECT_EQ(bend->kind(), KindPitchWheel);
    EXPECT_EQ(bend->value(), 0);
    EXPECT_EQ(f.doc.addNoteFromEntry(60, 64, 0, 4), nullptr) << "no such entry type";
    f.doc.editTrack = 9;
    EXPECT_EQ(f.doc.addNoteFromEntry(60, 64, 0, EntryWholeNote), nullptr);
}

TEST_F(EventsTest, DeleteEventTakesItsPartner) {
    MidiEvent* note = noteAt(1, 4800);
    ASSERT_EQ(f.doc.deleteEventEdit(note), 0);
    EXPECT_EQ(listEvents(f.doc.song).size(), before.size() - 2);
    EXPECT_EQ(f.doc.undoType(), UndoEdit);
    EXPECT_EQ(f.doc.deleteEventEdit(nullptr), -1);
}

TEST_F(EventsTest, UndoOfADeletedNoteTakesBackOnlyThatDelete) {
    // An earlier edit's snapshot must not be what the delete's Undo goes back to.
    ASSERT_EQ(f.doc.deleteEventEdit(noteAt(1, 9000)), 0);
    const std::vector<EventRow> afterFirst = listEvents(f.doc.song);
    ASSERT_EQ(f.doc.deleteEventEdit(noteAt(1, 4800)), 0);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), afterFirst);
}

TEST_F(EventsTest, SetNoteValueKeyFollowsPartnerVelocityDoesNot) {
    MidiEvent* note = noteAt(1, 0);
    f.doc.setNoteValue(note, 65, 0);
    EXPECT_EQ(note->data1, 65);
    EXPECT_EQ(note->partner->data1, 65);
    f.doc.setNoteValue(note, 200, 1);
    EXPECT_EQ(note->data2, 200 & 0x7F);
    EXPECT_EQ(note->partner->data2, 0);
}

TEST_F(EventsTest, ChosenFingeringIsOneUndoStepIsSavedAndGoesWithThePitch) {
    settings().tabMode = kDiatonicTab;
    diatonicLayout().init(60, 0);
    MidiEvent* note = noteAt(1, 0);
    f.doc.setNoteValue(note, 67, 0); // -2, or +3
    const uint16_t three = notation().fingeringFor(67, 1);
    ASSERT_EQ(f.doc.chooseFingering(note, three), 0);
    EXPECT_EQ(f.doc.undoType(), UndoEdit);
    EXPECT_TRUE(f.doc.isModified());
    NoteText text;
    notation().notateChosen(67, note->fingering, true, text);
    EXPECT_EQ(text.prefix + text.text, "+3");
    EXPECT_EQ(f.doc.chooseFingering(note, three), -1) << "already chosen: no second step";
    EXPECT_EQ(f.doc.chooseFingering(noteAt(1, 0)->partner, three), -1) << "a note-off";

    const std::string kept = f.doc.song.path;
    MidiSong saved;
    ASSERT_EQ(f.doc.song.saveFile(f.folder.file("chosen.mid")), SaveOk);
    f.doc.song.path = kept;
    ASSERT_EQ(saved.loadFile(f.folder.file("chosen.mid")), LoadOk);
    EXPECT_EQ(saved.track(1)->events.front()->fingering, note->fingering);

    ASSERT_TRUE(f.doc.undo());
    note = noteAt(1, 0);
    EXPECT_EQ(note->data1, 67);
    EXPECT_EQ(note->fingering, 0) << "undo takes the choice back";
    ASSERT_EQ(f.doc.chooseFingering(note, three), 0);
    f.doc.setNoteValue(note, 72, 0);
    EXPECT_EQ(note->fingering, 0) << "a choice made for another pitch is dropped";
    ASSERT_EQ(f.doc.chooseFingering(note, notation().fingeringFor(72, 1)), 0);
    ASSERT_EQ(f.doc.chooseFingering(note, 0), 0) << "back to the preferred way";
    EXPECT_EQ(note->fingering, 0);
    settings() = Settings{};
}

TEST_F(EventsTest, DeleteTrackWithUndoAndRefusals) {
    f.doc.editTrack = 2;
    ASSERT_EQ(f.doc.deleteTrackEdit(1, true), 0);
    EXPECT_EQ(f.doc.song.trackCount(), 2);
    EXPECT_EQ(f.doc.editTrack, 1) << "the edit track keeps pointing at the same track";
    EXPECT_GE(f.ui.droppedSelections, 1);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_EQ(f.doc.deleteTrackEdit(5, true), -1);
    f.doc.editTrack = 2;
    ASSERT_EQ(f.doc.deleteTrackEdit(0, false), 0);
    EXPECT_EQ(f.doc.song.trackCount(), 3) << "the first track is emptied, not removed";
    EXPECT_EQ(f.doc.editTrack, 2);
    f.doc.deleteTrackEdit(2, false);
    f.doc.deleteTrackEdit(1, false);
    EXPECT_EQ(f.doc.deleteTrackEdit(0, true), -1) << "the last track stays";
}

TEST_F(EventsTest, TrackVolumeBakesIntoVelocities) {
    f.doc.song.tracks[1]->volumePercent = 50;
    ASSERT_EQ(f.doc.applyTrackVolumeEdit(1, true), 0);
    EXPECT_EQ(listNotes(f.doc.song, 1),
              (std::vector<NoteRow>{{0, 60, 50, 400}, {4800, 60, 1, 400}, {9000, 64, 63, 400}}));
    EXPECT_EQ(f.doc.song.tracks[1]->volumePercent, 100);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(EventsTest, TrackVolumeOverTheMarksEndIsExclusive) {
    f.doc.song.tracks[1]->volumePercent = 200;
    f.doc.markBeginningAt(0);
    f.doc.markEndingAt(4800);
    f.doc.applyTrackVolumeEdit(1, false);
    EXPECT_EQ(listNotes(f.doc.song, 1),
              (std::vector<NoteRow>{{0, 60, 127, 400}, {4800, 60, 1, 400}, {9000, 64, 127, 400}}));
    EXPECT_TRUE(f.doc.isModified()) << "the song changed, though not as a step of its own";
}

TEST_F(EventsTest, TempoScaleHalvesAtTwiceTheSpeed) {
    ASSERT_EQ(f.doc.applyTempoScaleEdit(200), 0);
    EXPECT_EQ(f.doc.song.tempoList[0]->value(), 250000);
    EXPECT_EQ(f.doc.song.tempoList[1]->value(), 200000);
    EXPECT_EQ(f.player.tempo, 250000);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(f.doc.song));
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST(TempoScale, SlowTempoIsLimitedToWhatTheEventHolds) {
    MidiSong song;
    beginSong(song, 1);
    addTempo(song, 0, 0, 8000000);
    finishSong(song, 100);
    ASSERT_EQ(applyTempoScale(song, 10), 0);
    EXPECT_EQ(song.tempoList[0]->value(), 0xFFFFFF);
    EXPECT_EQ(applyTempoScale(song, 0), -1);
    MidiSong empty;
    beginSong(empty, 1);
    finishSong(empty, 0);
    EXPECT_EQ(applyTempoScale(empty, 50), -1);
}

TEST_F(EventsTest, MapNotesChangesKeyOnChannelInsideMarks) {
    const auto melody = listNotes(f.doc.song, 1);
    f.doc.markBeginningAt(0);
    f.doc.markEndingAt(4000);
    f.doc.mapNotes(9, 36, 38, -1, -1);
    EXPECT_EQ(listNotes(f.doc.song, 2),
              (std::vector<NoteRow>{{0, 38, 90, 100}, {4800, 38, 90, 100}}));
    for (const auto& e : f.doc.song.tracks[2]->events) {
        if (e->isNoteOn()) {
            EXPECT_EQ(e->partner->data1, e->data1);
        }
    }
    f.doc.mapNotes(9, -1, 40, -1, -1);
    EXPECT_EQ(listNotes(f.doc.song, 2),
              (std::vector<NoteRow>{{0, 40, 90, 100}, {4800, 38, 90, 100}}))
        << "the note after the marks keeps its key";
    EXPECT_EQ(listNotes(f.doc.song, 1), melody) << "other channels are left alone";
    ASSERT_TRUE(f.doc.undo());
    f.doc.markBegin = -1;
    f.doc.markEnd = -1;
    EXPECT_EQ(std::get<1>(listNotes(f.doc.song, 2)[0]), 38) << "undo goes back one map";
}

TEST_F(EventsTest, MapNotesRampAndConstantVelocities) {
    f.doc.markBeginningAt(0);
    f.doc.markEndingAt(9600);
    f.doc.mapNotes(-1, -1, -1, 100, 0);
    EXPECT_EQ(listNotes(f.doc.song, 1),
              (std::vector<NoteRow>{{0, 60, 100, 400}, {4800, 60, 1, 400}, {9000, 64, 7, 400}}));
    EXPECT_EQ(listNotes(f.doc.song, 2),
              (std::vector<NoteRow>{{0, 36, 90, 100}, {4800, 38, 45, 100}}));
    f.doc.mapNotes(-1, -1, -1, 200, -1);
    EXPECT_EQ(std::get<2>(listNotes(f.doc.song, 1)[0]), 127);
    EXPECT_EQ(std::get<2>(listNotes(f.doc.song, 2)[1]), 90);
}

TEST_F(EventsTest, MapNotesSparesHiddenUnselectedTracksAndNoOpStillRecords) {
    f.doc.song.tracks[1]->flags = 0;
    f.doc.mapNotes(-1, 60, 61, -1, -1);
    EXPECT_EQ(std::get<1>(listNotes(f.doc.song, 1)[0]), 60);
    f.doc.song.tracks[1]->flags = TrackSelected;
    f.doc.mapNotes(0, 60, 61, -1, -1);
    EXPECT_EQ(std::get<1>(listNotes(f.doc.song, 1)[0]), 61);
    EXPECT_EQ(std::get<1>(listNotes(f.doc.song, 1)[2]), 64);
    DocFixture g;
    MidiSong song;
    makeDuet(song);
    g.open(song);
    auto untouched = listEvents(g.doc.song);
    g.doc.mapNotes(-1, -1, -1, -1, -1);
    EXPECT_EQ(listEvents(g.doc.song), untouched);
    EXPECT_TRUE(g.doc.isModified());
    EXPECT_EQ(g.doc.undoType(), UndoEdit);
}

TEST_F(EventsTest, MovedAndResizedNotesKeepTheirPartners) {
    MidiEvent* a = noteAt(1, 0);
    MidiEvent* b = noteAt(1, 4800);
    f.doc.moveSelectedNotes({a, b}, 240, 2, b, 100, true);
    EXPECT_EQ(
        listNotes(f.doc.song, 1),
        (std::vector<NoteRow>{{240, 62, 100, 400}, {5040, 62, 1, 100}, {9000, 64, 127, 400}}));
    EXPECT_EQ(a->partner->tick, 640);
    EXPECT_EQ(b->partner->tick, 5140);
    EXPECT_EQ(a->partner->data1, 62);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(f.doc.song));
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(EventsTest, MovingBeforeTheStartStopsAtZeroAndKeysStopAtTheRange) {
    MidiEvent* c = noteAt(1, 9000);
    f.doc.moveSelectedNotes({c}, -20000, 100, nullptr, 0, false);
    EXPECT_EQ(c->tick, 0);
    EXPECT_EQ(c->data1, 127);
    EXPECT_EQ(c->partner->tick, 400);
    MidiEvent* d = noteAt(1, 4800);
    f.doc.moveSelectedNotes({d}, 0, 0, d, 30, false);
    EXPECT_EQ(d->partner->tick, 4830);
    EXPECT_EQ(d->duration, 30);
}

TEST_F(EventsTest, MovesAndStretchesStopAtTheLastTickAndTheLengthFollows) {
    // Found by the edit fuzzer: a long note moved late overflowed its note-off's tick, and a
    // move left the song's length behind its last event.
    constexpr int32_t last = std::numeric_limits<int32_t>::max();
    MidiEvent* c = noteAt(1, 9000);
    f.doc.moveSelectedNotes({c}, last, 0, nullptr, 0, false);
    EXPECT_EQ(c->partner->tick, last);
    EXPECT_EQ(c->tick, last - 400);
    EXPECT_EQ(f.doc.song.length, last);
    f.doc.moveSelectedNotes({c}, -last, 0, nullptr, 0, false);
    EXPECT_EQ(c->tick, 0);
    EXPECT_EQ(f.doc.song.length, f.doc.song.mergedEvents.back()->tick);
    MidiEvent* d = noteAt(1, 4800);
    f.doc.moveSelectedNotes({d}, 0, 0, d, last, false);
    EXPECT_EQ(d->partner->tick, last);
    EXPECT_EQ(d->duration, last - 4800);
}

TEST_F(EventsTest, DeletedNotesAreOneStepAndNothingToDeleteLeavesNone) {
    EXPECT_EQ(f.doc.deleteNotes({}), -1);
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    EXPECT_FALSE(f.doc.isModified());
    std::vector<const MidiEvent*> leaving;
    f.doc.subscribe([&](const DocumentNotice& notice) {
        if (notice.has(SelectionChanged))
            leaving.push_back(notice.leavingNote);
    });
    MidiEvent* a = noteAt(1, 0);
    MidiEvent* b = noteAt(1, 9000);
    ASSERT_EQ(f.doc.deleteNotes({a, b}), 0);
    EXPECT_EQ(leaving.size(), 4u) << "each note and its note-off leave the selection";
    EXPECT_EQ(leaving[0], a);
    EXPECT_EQ(f.doc.history().undoCount(), 1u);
    EXPECT_EQ(noteAt(1, 0), nullptr);
    EXPECT_EQ(noteAt(1, 9000), nullptr);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_FALSE(f.doc.isModified());
}

TEST_F(EventsTest, AnAddedNoteIsOneStepWhateverItsLength) {
    EXPECT_EQ(f.doc.addNoteEdit(9, 0, 0, 60, 100, 10), nullptr) << "no such track";
    EXPECT_EQ(f.doc.addNoteEdit(1, 0, 0, 60, 100, 0), nullptr) << "no note without length";
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    MidiEvent* on = f.doc.addNoteEdit(1, 1000, 9, 38, 70, 1);
    ASSERT_NE(on, nullptr);
    EXPECT_EQ(on->duration, 1);
    EXPECT_EQ(on->partner->tick, 1001);
    EXPECT_EQ(on->isNote, settings().showDrumsNotes ? 1 : 0) << "a drum note by the setting";
    EXPECT_EQ(f.doc.history().undoCount(), 1u);
    EXPECT_EQ(f.doc.undoType(), UndoAddedNote);
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

} // namespace
} // namespace reedtab::testing
