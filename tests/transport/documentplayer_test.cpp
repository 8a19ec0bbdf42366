// The document driving the player through the transport on a manual clock: edits stop and
// restart playing, a single insert while playing only suspends it and moves its cursors past
// the new event, and a load hands the song's timing to the player.

#include "transporttesting.h"

#include <algorithm>

namespace reedtab::testing {
namespace {

using namespace std::chrono_literals;

class PlayingDocument : public TransportTest {
protected:
    void SetUp() override {
        ui.listen(doc);
        MidiSong written;
        beginSong(written, 2);
        addTempo(written, 0, 0, 600000);
        addTimeSignature(written, 0, 0, 4, 4);
        for (int i = 0; i < 16; ++i) {
            addNote(written, 1, 0, 60 + i % 5, i * 480, i * 480 + 400);
        }
        finishSong(written, 16 * 480);
        const std::string path = folder.file("song.mid");
        ASSERT_EQ(written.saveFile(path), SaveOk);
        ASSERT_EQ(transport.init(doc.song, poster), PlayerOk);
        ASSERT_EQ(transport.openOutput(-1), PlayerOk);
        out.clear();
        ASSERT_EQ(doc.openDocument(path), LoadOk);
    }

    ScriptedUi ui;
    CReedtabDoc doc{ui, transport.playerControl()};
    TempFolder folder;
};

TEST_F(PlayingDocument, ALoadGivesThePlayerTheSongsTimingAndResetsTheChannels) {
    EXPECT_EQ(player.params().division, 480);
    EXPECT_EQ(transport.baseTempo(), 600000);
    EXPECT_EQ(transport.beatsPerMinute(), 100);
    const std::vector<Bytes> reset = heard();
    EXPECT_NE(std::find(reset.begin(), reset.end(), Bytes{0xB5, 121, 127}), reset.end());
    EXPECT_NE(std::find(reset.begin(), reset.end(), Bytes{0xC0, 23}), reset.end());
}

TEST_F(PlayingDocument, EditStopsAndRestartsPlayback) {
    ASSERT_EQ(transport.startAt(0, false), PlayerOk);
    run(600ms);
    ASSERT_TRUE(transport.isPlaying());
    ASSERT_EQ(doc.transposeCommand(1, true), 0);
    EXPECT_TRUE(transport.isPlaying()) << "playback goes on after the edit";
    EXPECT_EQ(doc.undoType(), UndoTranspose);
    ASSERT_EQ(doc.saveDocumentAs(folder.file("out.mid")), true);
    EXPECT_FALSE(transport.isPlaying()) << "a save leaves playback stopped";
    EXPECT_TRUE(news.ended.empty()) << "an edit's stop is no end of the song";
}

TEST_F(PlayingDocument, InsertWhilePlayingMovesTheCursorsPastTheNewEvent) {
    ASSERT_EQ(transport.startAt(0, false), PlayerOk);
    run(1200ms);
    ASSERT_TRUE(transport.isPlaying());
    const int cursor = transport.nextEventIndex();
    const int shown = player.shownEventIndex();
    ASSERT_GT(cursor, 0);
    const int position = doc.addEventEdit(0, 1, makeChannelEvent(0xB0, 7, 90));
    ASSERT_GE(position, 0);
    ASSERT_LE(position, cursor);
    EXPECT_EQ(transport.nextEventIndex(), cursor + 1);
    EXPECT_EQ(player.shownEventIndex(), shown + 1);
    EXPECT_TRUE(transport.isPlaying()) << "an insert only suspends the player";
    EXPECT_EQ(player.state(), PlayerState::Playing);
    const std::size_t before = news.reports.size();
    run(600ms);
    ASSERT_GT(news.reports.size(), before);
    EXPECT_EQ(news.reports[before].firstEvent, shown + 1) << "the following goes on past it";
}

TEST_F(PlayingDocument, CropPutsThePlayerAtTheStart) {
    doc.markBeginningAt(960);
    doc.markEndingAt(1920);
    transport.seek(1500);
    ASSERT_EQ(doc.crop(), 0);
    EXPECT_EQ(transport.playTick(), 0);
    EXPECT_EQ(player.fillTick(), 0);
}

} // namespace
} // namespace reedtab::testing
