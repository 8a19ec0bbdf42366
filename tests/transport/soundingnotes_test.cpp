// Which notes sound at a tick and what each kind of tool window is sent: the mixer every note,
// the other windows only notes of shown tracks off channel 10, the lyrics window the words, the
// events window every event.

#include "documenttesting.h"

#include "model/midievent.h"
#include "model/miditrack.h"
#include "transport/soundingnotes.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

constexpr NoteDelivery kMixer{.everyNote = true};
constexpr NoteDelivery kHarmonica{};
constexpr NoteDelivery kLyrics{.words = true};
constexpr NoteDelivery kEvents{.everyEvent = true};

class SoundingNotesTest : public ::testing::Test {
protected:
    SoundingNotesTest() {
        beginSong(song, 3);
        addNote(song, 1, 0, 60, 0, 480);
        addNote(song, 1, 9, 36, 0, 100); // a drum
        addText(song, 0, 240, "la");
        addNote(song, 2, 1, 67, 240, 960); // on a track about to be hidden
        addNote(song, 1, 0, 62, 480, 960);
        finishSong(song, 960);
        song.tracks[2]->flags &= static_cast<std::uint16_t>(~TrackShown);
    }
    int indexOf(std::int32_t tick, int kind, int key = -1) const {
        for (int i = 0; i < song.mergedEvents.count(); ++i) {
            const MidiEvent& e = *song.mergedEvents[i];
            if (e.tick == tick && e.kind() == kind && (key < 0 || e.data1 == key)) {
                return i;
            }
        }
        return -1;
    }

    MidiSong song;
    SoundingNotes rules{song};
};

TEST_F(SoundingNotesTest, EachKindOfWindowGetsItsNewsOfAPassedEvent) {
    const int melody = indexOf(0, KindNoteOn, 60);
    const int drum = indexOf(0, KindNoteOn, 36);
    const int hidden = indexOf(240, KindNoteOn, 67);
    const int melodyEnd = indexOf(480, KindNoteOff, 60);
    const int words = indexOf(240, KindText);
    ASSERT_GE(std::min({melody, drum, hidden, melodyEnd, words}), 0);

    EXPECT_TRUE(rules.newsFor(melody, kHarmonica).noteOn);
    EXPECT_FALSE(rules.newsFor(melody, kHarmonica).noteOff);
    EXPECT_TRUE(rules.newsFor(melodyEnd, kHarmonica).noteOff);
    EXPECT_FALSE(rules.newsFor(melodyEnd, kHarmonica).noteOn);
    for (const int quiet : {drum, hidden}) {
        EXPECT_FALSE(rules.newsFor(quiet, kHarmonica).noteOn) << quiet;
        EXPECT_FALSE(rules.newsFor(quiet, kLyrics).noteOn) << quiet;
        EXPECT_TRUE(rules.newsFor(quiet, kMixer).noteOn) << "the mixer's meters take every note";
    }
    EXPECT_TRUE(rules.newsFor(words, kLyrics).words);
    EXPECT_FALSE(rules.newsFor(words, kHarmonica).words);
    EXPECT_FALSE(rules.newsFor(melody, kLyrics).words);
    for (const int any : {melody, drum, words, melodyEnd}) {
        EXPECT_TRUE(rules.newsFor(any, kEvents).event) << any;
        EXPECT_FALSE(rules.newsFor(any, kMixer).event) << any;
    }
}

TEST_F(SoundingNotesTest, AtATickEachKindHoldsTheNotesItTakesAndTheLastEventAndWords) {
    const int melody = indexOf(0, KindNoteOn, 60);
    const int drum = indexOf(0, KindNoteOn, 36);
    const int hidden = indexOf(240, KindNoteOn, 67);
    const int second = indexOf(480, KindNoteOn, 62);

    EXPECT_EQ(rules.at(50, kHarmonica).notes, (std::vector<int>{melody}));
    EXPECT_EQ(rules.at(50, kMixer).notes, (std::vector<int>{melody, drum}));
    EXPECT_EQ(rules.at(300, kMixer).notes, (std::vector<int>{melody, hidden}))
        << "the drum ended at 100";
    EXPECT_EQ(rules.at(480, kHarmonica).notes, (std::vector<int>{second}))
        << "a note ending at the tick no longer sounds; one starting there does";
    EXPECT_EQ(rules.at(480, kMixer).notes, (std::vector<int>{hidden, second}));

    const SoundingState lyrics = rules.at(300, kLyrics);
    EXPECT_EQ(lyrics.lastWords, indexOf(240, KindText));
    EXPECT_EQ(lyrics.lastEvent, -1);
    const SoundingState events = rules.at(300, kEvents);
    EXPECT_EQ(events.lastEvent, song.mergedEvents.lowerBound(301) - 1);
    EXPECT_EQ(events.lastWords, -1);
    EXPECT_EQ(rules.at(200, kLyrics).lastWords, -1) << "no words reached yet";
    EXPECT_EQ(rules.at(-1, kEvents).lastEvent, -1) << "before the song nothing is reached";
}

} // namespace
} // namespace reedtab::testing
