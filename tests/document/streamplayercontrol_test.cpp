// The document driving the real stream player on a manual clock: edits stop and restart it,
// a single insert while playing only suspends it and moves its cursors past the new event.

#include "documenttesting.h"

#include "document/streamplayercontrol.h"
#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "playback/streamplayer.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>

namespace reedtab::testing {
namespace {

using namespace std::chrono_literals;

// The frame's side of the player on one thread: a manual clock runs no timer thread.
struct QueueWindow : PlayerWindow {
    StreamPlayer* player = nullptr;
    std::deque<std::uint32_t> waiting;
    void postMessage(std::uint32_t message, std::uintptr_t, std::intptr_t) override {
        waiting.push_back(message);
    }
    bool dispatchPendingMessage() override {
        if (waiting.empty())
            return false;
        if (waiting.front() == WM_PLAYER_POSITION)
            player->positionMessageHandled();
        waiting.pop_front();
        return true;
    }
    bool isQuitting() const override { return false; }
};

struct PlayingDocument : ::testing::Test {
    ManualClock clock;
    RecordingOutput out{clock};
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    QueueWindow window;
    StreamPlayerControl control{player};
    ScriptedUi ui;
    CReedtabDoc doc{ui, control};
    TempFolder folder;

    void SetUp() override {
        settings() = Settings{};
        ui.listen(doc);
        window.player = &player;
        MidiSong song;
        beginSong(song, 2);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        for (int i = 0; i < 16; ++i)
            addNote(song, 1, 0, 60 + i % 5, i * 480, i * 480 + 400);
        finishSong(song, 16 * 480);
        std::string path = folder.file("song.mid");
        ASSERT_EQ(song.saveFile(path), SaveOk);
        ASSERT_EQ(player.init(&doc.song, &window), PlayerOk);
        ASSERT_EQ(player.openDevice(), PlayerOk);
        ASSERT_EQ(doc.openDocument(path), LoadOk);
        EXPECT_EQ(settings().division, 480) << "the song's timing reached the player";
    }
    void TearDown() override {
        player.shutdown();
        settings() = Settings{};
    }
    void play(std::chrono::nanoseconds span) {
        const auto end = clock.now() + span;
        while (clock.now() < end) {
            player.stream().advanceTo(clock.now() + 5ms);
            while (window.dispatchPendingMessage()) {
            }
        }
    }
};

TEST_F(PlayingDocument, EditStopsAndRestartsPlayback) {
    ASSERT_EQ(player.start(0, false), PlayerOk);
    play(600ms);
    ASSERT_TRUE(player.isPlaying());
    ASSERT_EQ(doc.transposeCommand(1, true), 0);
    EXPECT_TRUE(player.isPlaying()) << "playback goes on after the edit";
    EXPECT_EQ(doc.undoType(), UndoTranspose);
    ASSERT_EQ(doc.saveDocumentAs(folder.file("out.mid")), true);
    EXPECT_FALSE(player.isPlaying()) << "a save leaves playback stopped";
}

TEST_F(PlayingDocument, InsertWhilePlayingMovesTheCursorsPastTheNewEvent) {
    ASSERT_EQ(player.start(0, false), PlayerOk);
    play(1200ms);
    ASSERT_TRUE(player.isPlaying());
    const int cursor = player.eventCursor();
    ASSERT_GT(cursor, 0);
    int position = doc.addEventEdit(0, 1, makeChannelEvent(0xB0, 7, 90));
    ASSERT_GE(position, 0);
    ASSERT_LE(position, cursor);
    EXPECT_EQ(player.eventCursor(), cursor + 1);
    EXPECT_TRUE(player.isPlaying()) << "an insert only suspends the player";
    EXPECT_EQ(player.state(), PlayerState::Playing);
}

TEST_F(PlayingDocument, CropPutsThePlayerAtTheStart) {
    doc.markBeginningAt(960);
    doc.markEndingAt(1920);
    player.seek(1500);
    ASSERT_EQ(doc.crop(), 0);
    EXPECT_EQ(player.playTick(), 0);
    EXPECT_EQ(player.fillTick(), 0);
}

} // namespace
} // namespace reedtab::testing
