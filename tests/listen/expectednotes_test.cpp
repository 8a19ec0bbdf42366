// The notes a pass expects: track, range, chords, times under tempo changes, the song's hash.

#include "../support/reedsignals.h"
#include "listen/expectednotes.h"
#include "model/midievent.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

using testing::buildMelodySong;
using testing::MelodyNote;

TEST(SongMs, FollowsEveryTempoChangeAndTheTempoPercentage) {
    MidiSong song;
    buildMelodySong(song, {{60, 0, 480}});
    song.addEvent(960, 0, makeTempoEvent(1000000)); // 60 beats a minute from the third beat
    EXPECT_DOUBLE_EQ(songMs(song, 960), 1000.0);
    EXPECT_DOUBLE_EQ(songMs(song, 1440), 2000.0);
    EXPECT_DOUBLE_EQ(songMs(song, 1440, 200), 1000.0);
    EXPECT_DOUBLE_EQ(songMs(song, 480, 50), 1000.0);
}

TEST(ExpectedNotes, TheMelodyTrackByDefaultOneNoteAChordTheRangeAndNoDrums) {
    MidiSong song;
    buildMelodySong(song, {{60, 0, 480}, {64, 480, 480}, {67, 960, 480}, {72, 1440, 480}});
    // A chord under the third note, and a drum hit on the melody's own track.
    song.addEvent(960, 0, makeChannelEvent(0x90, 55, 90));
    song.addEvent(1440, 0, makeChannelEvent(0x80, 55, 0));
    song.addEvent(480, 0, makeChannelEvent(0x99, 38, 90));
    song.addEvent(500, 0, makeChannelEvent(0x89, 38, 0));
    // A second track with fewer notes.
    song.tracks.push_back(std::make_unique<MidiTrack>());
    song.addEvent(0, 1, makeChannelEvent(0x91, 40, 90));
    song.addEvent(1920, 1, makeChannelEvent(0x81, 40, 0));
    song.repairAllTracks();

    ExpectedTrack all = expectedNotes(song, {});
    EXPECT_EQ(all.track, 0);
    ASSERT_EQ(all.notes.size(), 4u);
    EXPECT_EQ(all.notes[2].note, 67) << "the top of the chord";
    EXPECT_EQ(all.notes[1].note, 64) << "the drum is not expected";
    EXPECT_DOUBLE_EQ(all.notes[3].ms, 1500.0);
    EXPECT_DOUBLE_EQ(all.notes[3].durationMs, 500.0);

    ListenRange range;
    range.from = 480;
    range.to = 1440;
    range.tempoPercent = 50;
    ExpectedTrack part = expectedNotes(song, range);
    ASSERT_EQ(part.notes.size(), 2u);
    EXPECT_EQ(part.notes[0].tick, 480);
    EXPECT_DOUBLE_EQ(part.notes[0].ms, 1000.0);
    part.placeFirstAt(250.0);
    EXPECT_DOUBLE_EQ(part.notes[0].ms, 250.0);
    EXPECT_DOUBLE_EQ(part.notes[1].ms, 1250.0);

    range = {};
    range.track = 1;
    EXPECT_EQ(expectedNotes(song, range).notes.at(0).note, 40);
    range.track = 5;
    EXPECT_EQ(expectedNotes(song, range).track, -1);
}

TEST(NotesHash, StaysForTheSameNotesAndChangesWithAnyOfThem) {
    const std::vector<MelodyNote> melody = {{60, 0, 480}, {62, 480, 480}};
    MidiSong a;
    MidiSong b;
    buildMelodySong(a, melody);
    buildMelodySong(b, melody);
    EXPECT_EQ(notesHash(a), notesHash(b));
    EXPECT_EQ(notesHash(a).size(), 16u);
    MidiSong moved;
    buildMelodySong(moved, {{60, 0, 480}, {62, 490, 470}});
    EXPECT_NE(notesHash(a), notesHash(moved));
    MidiSong longer;
    buildMelodySong(longer, {{60, 0, 480}, {62, 480, 960}});
    EXPECT_NE(notesHash(a), notesHash(longer));
    MidiSong other;
    buildMelodySong(other, {{60, 0, 480}, {63, 480, 480}});
    EXPECT_NE(notesHash(a), notesHash(other));
}

} // namespace
} // namespace reedtab
