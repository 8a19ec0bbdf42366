#include "playback/streamplayer.h"

#include "playback/playermessagequeue.h"

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

using namespace reedtab;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The frame's side of the player: the queue counts a dispatched position message as handled,
// as the main frame's handler does; the log keeps what was handled.
struct FrameLog {
    mutable std::mutex mutex;
    std::vector<PlayerMessage> handled;

    void attach(PlayerMessageQueue& queue) {
        queue.setHandler([this](const PlayerMessage& m) {
            std::lock_guard lock(mutex);
            handled.push_back(m);
        });
    }
    int count(std::uint32_t message) const { return static_cast<int>(values(message).size()); }
    std::vector<std::intptr_t> values(std::uint32_t message) const {
        std::lock_guard lock(mutex);
        std::vector<std::intptr_t> result;
        for (const auto& m : handled) {
            if (m.message == message) {
                result.push_back(m.lParam);
            }
        }
        return result;
    }
};

// A small song in division 480 built with the model's own operations.
struct SongBuilder {
    MidiSong song;

    SongBuilder() {
        song.division = 480;
        song.format = 1;
        addTrack();
    }
    void addTrack() {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        song.tracks.back()->index = static_cast<int>(song.tracks.size()) - 1;
    }
    void channel(int track, int tick, int status, int data1, int data2) {
        song.addEvent(tick, track,
                      makeChannelEvent(static_cast<std::uint8_t>(status),
                                       static_cast<std::uint8_t>(data1),
                                       static_cast<std::uint8_t>(data2)));
    }
    void note(int track, int tick, int length, int key, int velocity = 100, int ch = 0) {
        channel(track, tick, 0x90 | ch, key, velocity);
        channel(track, tick + length, 0x80 | ch, key, 0);
    }
    void timeSignature(int tick, int numerator, int denominator) {
        auto event = makeTimeSignatureEvent(numerator, denominator);
        auto* raw = event.get();
        song.addEvent(tick, 0, std::move(event));
        song.timeSignatureList.push_back(raw);
    }
    void tempo(int tick, int microseconds) { song.addEvent(tick, 0, makeTempoEvent(microseconds)); }
    MidiSong& finish() {
        for (auto& track : song.tracks) {
            track->pairNotes(nullptr, 0, true, &song.mergedEvents);
        }
        if (song.timeSignatureList.empty()) {
            timeSignature(0, 4, 4);
        }
        song.rebuildBars();
        return song;
    }
};

struct Heard {
    std::int64_t tick;
    Nanoseconds time;
    Bytes bytes;
};

bool isNoteOn(const Bytes& b) {
    return b.size() == 3 && (b[0] & 0xF0) == 0x90 && b[2] > 0;
}

struct PlayerTest : ::testing::Test {
    ManualClock clock;
    RecordingOutput out{clock};
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    PlayerMessageQueue window{&player};
    FrameLog frame;
    SongBuilder builder;
    // What the player plays by; `apply` hands it over.
    PlaybackParams params;

    void SetUp() override {
        params.division = 480;
        frame.attach(window);
        out.setTickSource([this] { return player.stream().positionTicks(); });
    }
    void TearDown() override { player.shutdown(); }
    void apply() { player.setParams(params); }
    void ready() {
        builder.finish();
        apply();
        ASSERT_EQ(player.init(&builder.song, &window), PlayerOk);
        ASSERT_EQ(player.openDevice(), PlayerOk);
        out.clear();
    }
    // Moves the manual clock on, letting the frame handle its messages as it goes.
    void run(Nanoseconds span) {
        const auto end = clock.now() + span;
        while (clock.now() < end) {
            player.stream().advanceTo(std::min(end, clock.now() + 5ms));
            window.dispatchAll();
        }
    }
    void runToEnd(Nanoseconds limit = 120s) {
        const auto end = clock.now() + limit;
        while (player.state() != PlayerState::Idle && clock.now() < end) {
            run(50ms);
        }
        window.dispatchAll();
    }
    std::vector<Heard> heard() const {
        std::vector<Heard> result;
        for (const auto& m : out.messages()) {
            result.push_back({m.streamTick, m.time, m.bytes});
        }
        return result;
    }
    std::vector<Heard> heardIf(bool (*pred)(const Bytes&)) const {
        std::vector<Heard> result;
        for (auto& h : heard()) {
            if (pred(h.bytes)) {
                result.push_back(h);
            }
        }
        return result;
    }
    std::vector<Heard> heardBytes(const Bytes& bytes) const {
        std::vector<Heard> result;
        for (auto& h : heard()) {
            if (h.bytes == bytes) {
                result.push_back(h);
            }
        }
        return result;
    }
};

} // namespace

// --- count-in ----------------------------------------------------------------------------

TEST_F(PlayerTest, CountInFromTheStartClicksOnEveryBeatAndTheSongFollowsOneBeatAfterABar) {
    builder.note(0, 0, 240, 60);
    ready();
    ASSERT_EQ(player.start(0, true), PlayerOk);
    EXPECT_EQ(player.offset(), 2400);
    run(4s);
    const auto clicks = heardBytes({0x99, 60, 64});
    ASSERT_EQ(clicks.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(clicks[i].tick, 480 * (i + 1));
        EXPECT_EQ(clicks[i].time - clicks[0].time, Nanoseconds(500ms) * i);
    }
    const auto offs = heardBytes({0x89, 60, 0});
    ASSERT_EQ(offs.size(), 4u);
    EXPECT_EQ(offs[0].tick, 540);
    const auto notes = heardBytes({0x90, 60, 100});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].tick, 2400);
    EXPECT_EQ(notes[0].time - clicks[0].time, Nanoseconds(2000ms));
}

TEST_F(PlayerTest, CountInInsideABeatKeepsTheClicksOnTheSongsBeatGrid) {
    builder.note(0, 960, 240, 62);
    builder.note(0, 1440, 240, 64);
    ready();
    for (const int from : {780, 100}) {
        out.clear();
        ASSERT_EQ(player.start(from, true), PlayerOk);
        run(6s);
        const int b = from % 480;
        const auto clicks = heardBytes({0x99, 60, 64});
        ASSERT_EQ(clicks.size(), 4u) << from;
        EXPECT_EQ(clicks[0].tick, b < 240 ? 480 - b : 960 - b);
        for (const auto& click : clicks) {
            EXPECT_EQ((click.tick - 2400 + from) % 480, 0)
                << "click off the grid at " << click.tick;
        }
        const auto notes = heardIf(isNoteOn);
        ASSERT_GE(notes.size(), 4u + 1);
        const auto first = heardBytes({0x90, 62, 100});
        ASSERT_EQ(first.size(), 1u);
        EXPECT_EQ(first[0].tick, 2400 + (960 - from)) << "the song starts (n + 1) beats in";
        player.stop(false);
    }
}

TEST_F(PlayerTest, CountInUsesTheTimeSignatureAtTheStart) {
    builder.timeSignature(0, 3, 4);
    builder.note(0, 0, 240, 60);
    ready();
    ASSERT_EQ(player.start(0, true), PlayerOk);
    EXPECT_EQ(player.offset(), 4 * 480);
    run(3s);
    EXPECT_EQ(heardBytes({0x99, 60, 64}).size(), 3u);
    const auto notes = heardBytes({0x90, 60, 100});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].tick, 1920);
}

// --- loops -------------------------------------------------------------------------------

TEST_F(PlayerTest, LoopWithBothMarksSilencesControllersThenReStrikesThenPlaysTheBegin) {
    builder.note(0, 0, 1200, 50);   // sounds across the begin mark
    builder.note(0, 960, 240, 52);  // at the begin mark
    builder.note(0, 1920, 240, 55); // at the stop mark: never played
    builder.channel(0, 1920, 0xB0, 7, 90);
    params.loopBegin = 960;
    params.loopEnd = 1920;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    run(2600ms); // past the first jump (stream tick 1920 = 2 s), before the second
    const auto all = heard();
    EXPECT_TRUE(heardBytes({0x90, 55, 100}).empty());
    EXPECT_TRUE(heardBytes({0xB0, 7, 90}).empty());
    // The first wrapped packet starts at stream tick 1920.
    std::vector<Bytes> atJump;
    for (const auto& h : all) {
        if (h.tick == 1920) {
            atJump.push_back(h.bytes);
        }
    }
    ASSERT_EQ(atJump.size(), 16u * 2 + 2);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(atJump[2 * ch], (Bytes{static_cast<std::uint8_t>(0xB0 | ch), 123, 0}));
        EXPECT_EQ(atJump[2 * ch + 1], (Bytes{static_cast<std::uint8_t>(0xB0 | ch), 122, 0}));
    }
    EXPECT_EQ(atJump[32], (Bytes{0x90, 50, 100})) << "the note sounding across the begin mark";
    EXPECT_EQ(atJump[33], (Bytes{0x90, 52, 100})) << "then the events of the begin mark";
    EXPECT_EQ(player.offset(), 1920 - 960);
    EXPECT_TRUE(player.isPlaying());
    const auto positions = frame.values(WM_PLAYER_POSITION);
    EXPECT_NE(std::find(positions.begin(), positions.end(), 0x800000 + 960), positions.end());
    player.stop(false);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 0) << "a Stop posts no end of play";
}

TEST_F(PlayerTest, StopMarkWithoutBeginMarkEndsPlaybackThere) {
    builder.note(0, 0, 240, 60);
    builder.note(0, 960, 240, 62);
    builder.note(0, 1920, 240, 64);
    params.loopEnd = 960;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    EXPECT_EQ(player.state(), PlayerState::Idle);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
    EXPECT_EQ(heardIf(isNoteOn).size(), 1u);
    EXPECT_TRUE(heardBytes({0x90, 62, 100}).empty()) << "the stop mark's own events are not played";
}

TEST_F(PlayerTest, EditModeStillEndsAtAStopMark) {
    builder.note(0, 0, 240, 60);
    builder.note(0, 960, 240, 62);
    params.options.editMode = true;
    params.loopEnd = 480;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd(10s);
    EXPECT_EQ(player.state(), PlayerState::Idle);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
}

// --- system exclusive, meta events, full packets ---------------------------------------------

TEST_F(PlayerTest, SysExGoesOutWholeStrangeSysExNeverAndMetaEventsOnlyMark) {
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    builder.song.addEvent(480, 0, makeSysExEvent(sysex, sizeof sysex));
    auto strange = std::make_unique<StrangeSysExEvent>();
    const std::uint8_t escaped[] = {0x43, 0x12, 0x00};
    strange->setData(escaped, sizeof escaped);
    builder.song.addEvent(480, 0, std::move(strange));
    builder.song.addEvent(720, 0, makeLyricEvent("la"));
    builder.song.addEvent(800, 0, makeTextEvent("verse"));
    builder.note(0, 960, 240, 60);
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto all = heard();
    const auto sent = heardBytes(Bytes(sysex, sysex + sizeof sysex));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].tick, 480);
    for (const auto& h : all) {
        EXPECT_NE(h.bytes, Bytes(escaped, escaped + sizeof escaped));
        EXPECT_NE(h.bytes[0], 0xFF) << "meta events never reach the device";
    }
    const auto positions = frame.values(WM_PLAYER_POSITION);
    const auto& events = builder.song.mergedEvents;
    for (int i = 0; i < events.count(); ++i) {
        const int kind = events[i]->kind();
        if (kind == KindLyric || kind == KindText || kind == KindSysEx) {
            EXPECT_NE(std::find(positions.begin(), positions.end(), i), positions.end())
                << "a marker for the event at " << events[i]->tick;
        }
    }
}

TEST_F(PlayerTest, EventsThatDoNotFitAPacketAreDroppedNotCarriedOver) {
    // 1500 controllers at one tick: 12 bytes each cannot all fit 16384 bytes.
    for (int i = 0; i < 1500; ++i) {
        builder.channel(0, 0, 0xB0 | (i % 16), 20 + i % 10, i % 128);
    }
    builder.note(0, 480, 240, 60, 127);
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    std::size_t atStart = 0;
    for (const auto& h : heard()) {
        atStart +=
            h.tick == 0 && (h.bytes[0] & 0xF0) == 0xB0 && h.bytes[1] >= 20 && h.bytes[1] < 30;
    }
    EXPECT_LT(atStart, 16384u / 12);
    EXPECT_GT(atStart, 16384u / 12 - 10);
    const auto later = heardBytes({0x90, 60, 127});
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].tick, 480) << "the next packets keep their timing";
}

// --- filters, velocity -------------------------------------------------------------------

TEST_F(PlayerTest, SkipProgramChangesKeepsThemFromTheDeviceEverywhere) {
    builder.channel(0, 0, 0xC0, 10, 0);
    builder.channel(0, 0, 0xB0, 7, 80);
    builder.channel(0, 600, 0xC1, 20, 0);
    builder.note(0, 700, 100, 60, 90, 1);
    params.options.skipProgramChanges = true;
    ready();
    player.resetChannels();
    ASSERT_EQ(player.start(480, false), PlayerOk);
    runToEnd();
    for (const auto& h : heard()) {
        EXPECT_NE(h.bytes[0] & 0xF0, 0xC0) << "program change reached the device";
    }
    EXPECT_EQ(heardBytes({0xB0, 7, 80}).size(), 1u) << "other chased controllers still go out";
    EXPECT_EQ(heardBytes({0x91, 60, 90}).size(), 1u);

    params.options.skipProgramChanges = false;
    apply();
    out.clear();
    ASSERT_EQ(player.start(480, false), PlayerOk);
    runToEnd();
    EXPECT_EQ(heardBytes({0xC0, 10}).size(), 1u) << "chased";
    EXPECT_EQ(heardBytes({0xC1, 20}).size(), 1u) << "from a packet";
}

TEST_F(PlayerTest, ExpressionBecomesVelocityAndNeverReachesTheDevice) {
    builder.channel(0, 0, 0xB0, 11, 64);
    builder.note(0, 960, 240, 60, 100);
    builder.channel(0, 1440, 0xB3, 11, 10);
    params.options.expressionToVolume = true;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto notes = heardIf(isNoteOn);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].bytes[2], 50) << "100 * 64 / 127";
    for (const auto& h : heard()) {
        EXPECT_FALSE((h.bytes[0] & 0xF0) == 0xB0 && h.bytes[1] == 11);
    }
    EXPECT_EQ(player.channelExpression(3), 10) << "taken up as it sounded";
    // Chased before the start: applied at once, not sent.
    out.clear();
    ASSERT_EQ(player.start(480, false), PlayerOk);
    runToEnd();
    ASSERT_EQ(heardIf(isNoteOn).size(), 1u);
    EXPECT_EQ(heardIf(isNoteOn)[0].bytes[2], 50);
}

TEST_F(PlayerTest, TrackVolumeScalesVelocitiesAndMuteDropsOnlyNoteOns) {
    builder.addTrack();
    builder.addTrack();
    builder.note(0, 0, 240, 60, 100, 0);
    builder.note(1, 0, 240, 62, 100, 1);
    builder.note(2, 0, 240, 64, 100, 2);
    builder.song.tracks[0]->volumePercent = 200;
    builder.song.tracks[1]->volumePercent = 30;
    builder.song.tracks[2]->flags |= TrackMuted;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    EXPECT_EQ(heardBytes({0x90, 60, 127}).size(), 1u) << "volume 200 caps at 127";
    EXPECT_EQ(heardBytes({0x91, 62, 30}).size(), 1u);
    EXPECT_TRUE(heardBytes({0x92, 64, 100}).empty());
    EXPECT_EQ(heardBytes({0x82, 64, 0}).size(), 1u) << "a muted track's note-off still goes out";
}

// --- clock, start and stop bytes, small divisions ----------------------------------------

TEST_F(PlayerTest, MidiClockSendsStartThenClockEveryTwentyFourthAndStopAtTheEnd) {
    builder.note(0, 0, 480, 60);
    builder.note(0, 960, 480, 62);
    params.options.clockOut = true;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto all = heard();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all[0].bytes, Bytes{0xFA});
    const auto clocks = heardBytes({0xF8});
    ASSERT_GE(clocks.size(), 1440u / 20);
    for (std::size_t i = 0; i < clocks.size(); ++i) {
        EXPECT_EQ(clocks[i].tick, static_cast<std::int64_t>(i) * 20);
    }
    EXPECT_EQ(heardBytes({0xFA}).size(), 1u);
    EXPECT_EQ(heardBytes({0xFC}).size(), 1u);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
}

TEST_F(PlayerTest, DivisionsBelowTwentyFourAndEightStillClockAndPlay) {
    builder.song.division = 6;
    builder.note(0, 0, 6, 60);
    builder.note(0, 12, 6, 62);
    params.options.clockOut = true;
    params.division = 6;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto clocks = heardBytes({0xF8});
    ASSERT_GE(clocks.size(), 18u);
    for (std::size_t i = 0; i < clocks.size(); ++i) {
        EXPECT_EQ(clocks[i].tick, static_cast<std::int64_t>(i)) << "one clock per tick";
    }
    EXPECT_EQ(heardBytes({0x90, 62, 100}).size(), 1u);
    EXPECT_EQ(heardBytes({0x90, 62, 100})[0].tick, 12);
    // A sixteenth of 6 ticks is 1: a position marker on every tick.
    const auto positions = frame.values(WM_PLAYER_POSITION);
    for (std::intptr_t t = 0; t <= 12; ++t) {
        EXPECT_NE(std::find(positions.begin(), positions.end(), 0x800000 + t), positions.end())
            << t;
    }
}

// --- start and end -----------------------------------------------------------------------

TEST_F(PlayerTest, StartBeyondTheEndRefusesOutsideEditModeAndPlaysSilenceInIt) {
    builder.note(0, 0, 480, 60);
    ready();
    EXPECT_EQ(player.start(5000, false), PlayerStartAfterEnd);
    EXPECT_EQ(player.state(), PlayerState::Idle);
    run(1s);
    EXPECT_TRUE(out.messages().empty());

    params.options.editMode = true;
    params.options.metronome = true;
    params.options.clockOut = true;
    apply();
    ASSERT_EQ(player.start(5000, false), PlayerOk);
    run(3s);
    EXPECT_TRUE(player.isPlaying()) << "edit mode keeps running after the end";
    EXPECT_TRUE(heardIf(isNoteOn).size() >= 5u);
    for (const auto& click : heardBytes({0x99, 60, 64})) {
        EXPECT_EQ((click.tick + 5000) % 480, 0) << "metronome on the song's beats";
    }
    EXPECT_GE(heardBytes({0xF8}).size(), 3u * 48);
    EXPECT_TRUE(heardBytes({0x90, 60, 100}).empty());
    player.stop(false);
    EXPECT_EQ(player.state(), PlayerState::Idle);
}

TEST_F(PlayerTest, EndOfSongStopsResetsAndPostsStoppedOnce) {
    builder.tempo(0, 400000);
    builder.note(0, 0, 240, 60);
    builder.note(0, 480, 240, 62);
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    window.dispatchAll();
    const auto tempos = frame.values(WM_PLAYER_TEMPO);
    ASSERT_EQ(tempos.size(), 1u);
    EXPECT_EQ(tempos[0], 500000) << "the tempo in force at the start tick";
    runToEnd();
    EXPECT_EQ(player.state(), PlayerState::Idle);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
    EXPECT_EQ(player.pendingPositionMessages(), 0);
    EXPECT_EQ(player.shownEventIndex(), -1);
    const auto notes = heardBytes({0x90, 62, 100});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].time - heardBytes({0x90, 60, 100})[0].time, Nanoseconds(400ms));
    const auto all = heard();
    ASSERT_GE(all.size(), 32u);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(all[all.size() - 32 + 2 * ch].bytes,
                  (Bytes{static_cast<std::uint8_t>(0xB0 | ch), 123, 0}));
    }
    EXPECT_GE(out.resetCount(), 1);
    EXPECT_EQ(player.start(-1, false), PlayerOk) << "plays again";
    EXPECT_TRUE(player.isPlaying());
}

TEST_F(PlayerTest, StartAtTheLastEventPlaysItAndStartPastAllEventsStopsAtOnce) {
    builder.note(0, 0, 480, 60);
    builder.channel(0, 480, 0xB0, 1, 5);
    ready();
    ASSERT_EQ(player.start(480, false), PlayerOk);
    runToEnd();
    EXPECT_EQ(heardBytes({0xB0, 1, 5}).size(), 1u);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
    EXPECT_EQ(player.start(0, false), PlayerOk);
    EXPECT_EQ(player.start(0, false), PlayerAlreadyPlaying);
}

TEST_F(PlayerTest, ChaseSendsControllersReStrikesSoundingNotesAndTakesTheTempo) {
    builder.tempo(0, 600000);
    builder.channel(0, 0, 0xB2, 7, 99);
    builder.channel(0, 10, 0xE2, 0, 70);
    builder.note(0, 0, 2000, 48, 80, 2);
    builder.note(0, 0, 100, 50, 80, 2); // over before the start
    builder.note(0, 1000, 100, 52, 80, 2);
    ready();
    ASSERT_EQ(player.start(960, false), PlayerOk);
    window.dispatchAll();
    ASSERT_EQ(frame.count(WM_PLAYER_TEMPO), 1);
    EXPECT_EQ(frame.values(WM_PLAYER_TEMPO)[0], 600000) << "the tempo in force at the start";
    const auto chased = heard();
    ASSERT_EQ(chased.size(), 2u);
    EXPECT_EQ(chased[0].bytes, (Bytes{0xB2, 7, 99}));
    EXPECT_EQ(chased[1].bytes, (Bytes{0xE2, 0, 70}));
    run(2s);
    const auto notes = heardIf(isNoteOn);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].bytes, (Bytes{0x92, 48, 80}));
    EXPECT_EQ(notes[0].tick, 0);
    EXPECT_EQ(notes[1].bytes, (Bytes{0x92, 52, 80}));
    EXPECT_EQ(notes[1].tick, 40);
    EXPECT_EQ(notes[1].time - notes[0].time, Nanoseconds(40 * 600000000LL / 480));
}

// --- seek, suspend, tempo ----------------------------------------------------------------

TEST_F(PlayerTest, SeekWhilePlayingRestartsThereWithoutCountInOrStoppedMessage) {
    for (int i = 0; i < 8; ++i) {
        builder.note(0, i * 480, 240, 60 + i);
    }
    ready();
    ASSERT_EQ(player.start(0, true), PlayerOk);
    run(3s);
    EXPECT_EQ(player.seek(-1), player.fillTick());
    out.clear();
    EXPECT_GE(player.seek(2400), 2400 + 4 * 60) << "the fill position after refilling";
    EXPECT_EQ(player.seek(-1), player.fillTick());
    EXPECT_TRUE(player.isPlaying());
    EXPECT_EQ(player.playTick(), 2400);
    EXPECT_EQ(player.offset(), -2400);
    run(1200ms);
    EXPECT_TRUE(heardBytes({0x99, 60, 64}).empty()) << "no count-in after a seek";
    const auto notes = heardIf(isNoteOn);
    ASSERT_GE(notes.size(), 2u);
    EXPECT_EQ(notes[0].bytes, (Bytes{0x90, 65, 100}));
    EXPECT_EQ(notes[0].tick, 0);
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 0);
    player.stop(false);
    EXPECT_EQ(player.seek(100), 100);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.lastShownTick(), 100);
}

TEST_F(PlayerTest, TempoPercentScalesTheStream) {
    builder.note(0, 0, 240, 60);
    builder.note(0, 480, 240, 62);
    builder.tempo(720, 250000);
    builder.note(0, 960, 240, 64);
    ready();
    EXPECT_EQ(player.tempoPercent(), 100);
    params.tempoPercent = 200;
    apply();
    EXPECT_EQ(player.tempoPercent(), 200);
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto notes = heardIf(isNoteOn);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[1].time - notes[0].time, Nanoseconds(250ms));
    // 240 ticks at 500000 / 2, then 240 at 250000 / 2.
    EXPECT_EQ(notes[2].time - notes[1].time, Nanoseconds(125ms + 62500us));
    params.tempoPercent = 0;
    apply();
    EXPECT_EQ(player.tempoPercent(), 1) << "a percentage below 1 counts as 1";
}

TEST_F(PlayerTest, PositionReportsCarryTicksAndEventIndicesAndAreCountedUntilHandled) {
    builder.note(0, 0, 240, 60);
    builder.note(0, 300, 60, 62);
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    player.stream().advanceTo(clock.now() + 200ms);
    EXPECT_GT(player.pendingPositionMessages(), 0);
    const int pending = player.pendingPositionMessages();
    EXPECT_EQ(static_cast<int>(window.waiting()) - 1, pending) << "plus the tempo message";
    window.dispatchAll();
    EXPECT_EQ(player.pendingPositionMessages(), 0);
    EXPECT_FALSE(player.positionMessageHandled());
    runToEnd();
    const auto values = frame.values(WM_PLAYER_POSITION);
    const int indexOf300 = builder.song.mergedEvents.lowerBound(300);
    EXPECT_NE(std::find(values.begin(), values.end(), indexOf300), values.end());
    EXPECT_NE(std::find(values.begin(), values.end(), 0x800000 + 240), values.end());
    EXPECT_EQ(std::find(values.begin(), values.end(), 0x800000 + 300), values.end())
        << "tick markers only on sixteenths";
    for (const auto& posted : frame.handled) {
        if (posted.message == WM_PLAYER_POSITION) {
            EXPECT_EQ(posted.wParam, kPlayerPositionWParam);
        }
    }
}

TEST_F(PlayerTest, MetronomeClicksOnBeatsAndReleasesOnTheSixteenth) {
    builder.note(0, 0, 1900, 60);
    params.options.metronome = true;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    runToEnd();
    const auto clicks = heardBytes({0x99, 60, 64});
    const auto releases = heardBytes({0x89, 60, 0});
    // The packets already queued when the song's last event goes out still play, so the
    // click on the beat right after the end may sound too.
    ASSERT_GE(clicks.size(), 4u);
    ASSERT_LE(clicks.size(), 5u);
    ASSERT_EQ(releases.size(), clicks.size());
    for (std::size_t i = 0; i < clicks.size(); ++i) {
        EXPECT_EQ(clicks[i].tick, 480 * static_cast<int>(i));
        EXPECT_EQ(releases[i].tick, 480 * static_cast<int>(i) + 120);
    }
}

// --- immediate messages ------------------------------------------------------------------

TEST_F(PlayerTest, ResetChannelsAndSilenceAllSendTheirMessagesOnEveryChannel) {
    ready();
    player.resetChannels();
    auto all = heard();
    ASSERT_EQ(all.size(), 16u * 11);
    for (int ch = 0; ch < 16; ++ch) {
        const auto c = static_cast<std::uint8_t>(ch);
        const std::vector<Bytes> expected = {
            {static_cast<std::uint8_t>(0xB0 | c), 123, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 120, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 121, 127},
            {static_cast<std::uint8_t>(0xB0 | c), 100, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 101, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 6, 2},
            {static_cast<std::uint8_t>(0xB0 | c), 38, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 0, 0},
            {static_cast<std::uint8_t>(0xB0 | c), 32, 0},
            {static_cast<std::uint8_t>(0xC0 | c), static_cast<std::uint8_t>(ch == 0 ? 23 : 0)},
            {static_cast<std::uint8_t>(0xE0 | c), 0, 64}};
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(all[ch * 11 + i].bytes, expected[i]) << "channel " << ch << " item " << i;
        }
    }
    out.clear();
    player.silenceAll();
    all = heard();
    ASSERT_EQ(all.size(), 32u);
    EXPECT_EQ(all[30].bytes, (Bytes{0xBF, 123, 0}));
    EXPECT_EQ(all[31].bytes, (Bytes{0xBF, 120, 0}));
    out.clear();
    player.noteOn(3, 60, 90);
    player.noteOff(3, 60, 0);
    player.programChange(4, 12);
    player.pitchWheel(5, 1, 2);
    player.sendStop();
    all = heard();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].bytes, (Bytes{0x93, 60, 90}));
    EXPECT_EQ(all[1].bytes, (Bytes{0x83, 60, 0}));
    EXPECT_EQ(all[2].bytes, (Bytes{0xC4, 12}));
    EXPECT_EQ(all[3].bytes, (Bytes{0xE5, 1, 2}));
    EXPECT_EQ(all[4].bytes, Bytes{0xFC});
}

TEST_F(PlayerTest, ChannelExpressionIsClampedAndAnOutOfRangeChannelSetsAll) {
    ready();
    player.setChannelExpression(2, -5);
    EXPECT_EQ(player.channelExpression(2), 0);
    player.setChannelExpression(2, 127);
    EXPECT_EQ(player.channelExpression(2), 127);
    player.setChannelExpression(2, 126);
    EXPECT_EQ(player.channelExpression(2), 126);
    player.setChannelExpression(2, 500);
    EXPECT_EQ(player.channelExpression(2), 127);
    player.setChannelExpression(16, 40);
    for (int ch = 0; ch < 16; ++ch) {
        EXPECT_EQ(player.channelExpression(ch), 40);
    }
}

TEST_F(PlayerTest, DeviceLifecycleCodes) {
    builder.note(0, 0, 240, 60);
    builder.finish();
    EXPECT_EQ(player.start(0, false), PlayerOpenFailed) << "not set up";
    ASSERT_EQ(player.init(&builder.song, &window), PlayerOk);
    player.setOutputDevice(3);
    ASSERT_EQ(player.openDevice(), PlayerOk);
    EXPECT_EQ(player.outputDevice(), -1) << "a device that is gone falls back to the mapper";
    EXPECT_EQ(player.openDevice(), PlayerAlreadyOpen);
    player.closeDevice();
    EXPECT_EQ(player.state(), PlayerState::Closed);
    EXPECT_EQ(player.start(0, false), PlayerOk) << "start opens a closed device";
    EXPECT_TRUE(player.isPlaying());
    player.closeDevice();
    EXPECT_EQ(player.state(), PlayerState::Closed);

    struct NoOutputs : OutputProvider {
        int deviceCount() override { return -1; }
        std::unique_ptr<OutputDevice> create(int) override { return nullptr; }
    } none;
    StreamPlayer lonely(none, clock);
    EXPECT_EQ(lonely.init(&builder.song, &window), PlayerNoDevice);

    struct Broken : OutputProvider {
        int deviceCount() override { return 0; }
        std::unique_ptr<OutputDevice> create(int) override { return nullptr; }
    } broken;
    StreamPlayer failing(broken, clock);
    ASSERT_EQ(failing.init(&builder.song, &window), PlayerOk);
    EXPECT_EQ(failing.openDevice(), PlayerDeviceError);
    EXPECT_EQ(failing.start(0, false), PlayerOpenFailed);
}

// --- the timer thread --------------------------------------------------------------------

namespace {

struct ThreadedPlayer : ::testing::Test {
    SteadyClock clock;
    RecordingOutput out{clock};
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    PlayerMessageQueue window{&player};
    FrameLog frame;
    SongBuilder builder;
    PlaybackParams params;

    void SetUp() override {
        params.division = 480;
        frame.attach(window);
    }
    void TearDown() override { player.shutdown(); }
    void apply() { player.setParams(params); }
    void ready() {
        builder.finish();
        apply();
        ASSERT_EQ(player.init(&builder.song, &window), PlayerOk);
        ASSERT_EQ(player.openDevice(), PlayerOk);
    }
    // The GUI thread's event loop: handles posted messages until `done` or the time is up.
    template <typename Done>
    void loop(Done done, std::chrono::milliseconds limit = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            if (!window.dispatchPendingMessage()) {
                std::this_thread::sleep_for(1ms);
            }
        }
    }
};

} // namespace

TEST_F(ThreadedPlayer, EndOfSongStopRunsOnTheTimerThreadAndPostsStopped) {
    for (int i = 0; i < 16; ++i) {
        builder.note(0, i * 30, 30, 60 + i);
    }
    params.tempoPercent = 400;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    loop([&] { return frame.count(WM_PLAYER_STOPPED) > 0; });
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 1);
    EXPECT_EQ(player.state(), PlayerState::Idle);
    std::size_t ons = 0;
    for (const auto& m : out.messages()) {
        ons += isNoteOn(m.bytes);
    }
    EXPECT_EQ(ons, 16u);
}

TEST_F(ThreadedPlayer, SuspendHoldsTheRefillWhileTheSongChangesThenPlayingGoesOn) {
    for (int i = 0; i < 40; ++i) {
        builder.note(0, i * 60, 30, 40 + i);
    }
    params.tempoPercent = 200;
    ready();
    ASSERT_EQ(player.start(0, false), PlayerOk);
    loop([&] { return player.fillTick() >= 600; });
    player.suspend();
    EXPECT_EQ(player.state(), PlayerState::Suspended);
    const int heldAt = player.fillTick();
    loop([] { return false; }, 150ms);
    EXPECT_EQ(player.fillTick(), heldAt) << "no refill while suspended";
    // The document's insert: an event ahead of the fill position.
    const int insertAt = ((heldAt / 60) + 3) * 60 + 10;
    builder.song.addEvent(insertAt, 0, makeChannelEvent(0x95, 100, 77));
    player.resume();
    EXPECT_TRUE(player.isPlaying());
    loop([&] { return frame.count(WM_PLAYER_STOPPED) > 0; });
    EXPECT_EQ(player.state(), PlayerState::Idle);
    bool inserted = false;
    for (const auto& m : out.messages()) {
        inserted |= m.bytes == Bytes{0x95, 100, 77};
    }
    EXPECT_TRUE(inserted) << "the inserted event is played after the resume";
}

TEST_F(ThreadedPlayer, StopAndCloseWhilePlayingReturnPromptly) {
    for (int i = 0; i < 200; ++i) {
        builder.note(0, i * 20, 20, 60);
    }
    params.options.clockOut = true;
    ready();
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(player.start(round * 100, false), PlayerOk);
        loop([] { return false; }, 30ms);
        const auto before = std::chrono::steady_clock::now();
        if (round % 2 == 0) {
            player.stop(false);
        } else {
            EXPECT_GT(player.seek(round * 200), round * 200);
            player.stop(true);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
        EXPECT_EQ(player.state(), PlayerState::Idle);
    }
    EXPECT_EQ(frame.count(WM_PLAYER_STOPPED), 2);
    ASSERT_EQ(player.start(0, false), PlayerOk);
    loop([] { return false; }, 20ms);
    player.closeDevice();
    EXPECT_EQ(player.state(), PlayerState::Closed);
}

TEST(PlayerMessageQueue, OnlyTheOwnerThreadDispatchesAndInPostingOrder) {
    PlayerMessageQueue queue;
    std::vector<std::uint32_t> seen;
    queue.setHandler([&](const PlayerMessage& m) { seen.push_back(m.message); });
    bool foreignDispatched = true;
    std::thread other([&] {
        queue.postMessage(WM_PLAYER_TEMPO, 0, 500000);
        queue.postMessage(WM_PLAYER_POSITION, kPlayerPositionWParam, 3);
        foreignDispatched = queue.dispatchPendingMessage();
    });
    other.join();
    EXPECT_FALSE(foreignDispatched);
    EXPECT_EQ(queue.waiting(), 2u);
    queue.postMessage(WM_PLAYER_STOPPED, 0, 0);
    queue.dispatchAll();
    EXPECT_EQ(seen,
              (std::vector<std::uint32_t>{WM_PLAYER_TEMPO, WM_PLAYER_POSITION, WM_PLAYER_STOPPED}));
    EXPECT_FALSE(queue.isQuitting());
    queue.setQuitting(true);
    EXPECT_TRUE(queue.isQuitting());
}

// --- speed trainer -----------------------------------------------------------------------

TEST(SpeedTrainerPlan, PercentagesPerPassAndValidity) {
    const SpeedTrainer twice{50, 25, 100, 2};
    std::vector<int> percents;
    for (int pass = 0; pass < 7; ++pass) {
        percents.push_back(twice.percentFor(pass));
    }
    EXPECT_EQ(percents, (std::vector<int>{50, 50, 75, 75, 100, 100, 100}));
    const SpeedTrainer overshoot{50, 30, 100, 1};
    EXPECT_EQ(overshoot.percentFor(1), 80);
    EXPECT_EQ(overshoot.percentFor(2), 100) << "the last step stops at the target";
    EXPECT_EQ(overshoot.percentFor(1000000), 100);
    EXPECT_TRUE(twice.valid());
    EXPECT_TRUE((SpeedTrainer{100, 1, 100, 1}.valid()));
    EXPECT_FALSE((SpeedTrainer{120, 10, 100, 1}.valid()));
    EXPECT_FALSE((SpeedTrainer{50, 0, 100, 1}.valid()));
    EXPECT_FALSE((SpeedTrainer{50, 10, 1001, 1}.valid()));
    EXPECT_FALSE((SpeedTrainer{50, 10, 100, 0}.valid()));
    EXPECT_FALSE(SpeedTrainer{}.active());
}

TEST(SpeedTrainerPlan, WholeSongLoopEndsWithTheLastBar) {
    for (const auto& [length, numerator, end] : std::vector<std::tuple<int, int, int>>{
             {1000, 4, 1920}, {1920, 4, 1920}, {1921, 4, 3840}, {0, 4, 1920}, {1000, 3, 1440}}) {
        SongBuilder builder;
        builder.timeSignature(0, numerator, 4);
        builder.note(0, 0, length, 60);
        MidiSong& song = builder.finish();
        EXPECT_EQ(wholeSongLoopEnd(song), end) << length << " in " << numerator << "/4";
    }
}

TEST_F(PlayerTest, TrainerRaisesTheTempoAtEachWrapAndRestoresTheLoopStartTempo) {
    builder.tempo(0, 500000);
    builder.note(0, 480, 240, 60);
    builder.tempo(1200, 250000); // the end of the loop goes twice as fast
    builder.note(0, 1440, 240, 62);
    params.loopBegin = 480;
    params.loopEnd = 1920;
    ready();
    params.trainer = {50, 25, 100, 1};
    apply();
    EXPECT_EQ(player.tempoPercent(), 50) << "the trainer's start";
    ASSERT_EQ(player.start(480, false), PlayerOk);
    apply(); // the same plan again: training goes on
    run(10s);
    // One pass is 750 ms plus 375 ms at 100 %: 2250, 1500, then 1125 ms per pass.
    const std::vector<double> expected = {0, 2250, 3750, 4875, 6000, 7125};
    const auto starts = heardBytes({0x90, 60, 100});
    ASSERT_GE(starts.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(static_cast<double>(starts[k].time.count()) / 1e6, expected[k], 0.01) << k;
        EXPECT_EQ(starts[k].tick, static_cast<std::int64_t>(1440 * k)) << k;
    }
    EXPECT_EQ(player.tempoPercent(), 100);
    EXPECT_GE(player.trainerPass(), 5);
    player.stop(false);
    params.trainer = {50, 10, 100, 1};
    apply();
    EXPECT_EQ(player.trainerPass(), 0) << "a new plan counts from its first pass";
    EXPECT_EQ(player.tempoPercent(), 50);
}
