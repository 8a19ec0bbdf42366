// The tracks' state changed through the document while the real clock plays the song on the
// stream's timer thread: mute, solo, shown, selected and volume in random order, thousands of
// times. ThreadSanitizer watches the timer thread read what the document writes (scripts/test
// runs this under it); afterwards the last state must be what the device hears.

#include "transporttesting.h"

#include "model/miditrack.h"

#include <mutex>
#include <thread>

namespace reedtab::testing {
namespace {

using namespace std::chrono_literals;

constexpr int kTracks = 4;

// The note-ons the device got, in the order the timer thread sent them.
class NoteOns {
public:
    void hear(const RecordedMessage& message) {
        if (message.bytes.size() == 3 && (message.bytes[0] & 0xF0) == 0x90 &&
            message.bytes[2] > 0) {
            std::lock_guard lock(mutex_);
            heard_.push_back(message.bytes);
        }
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return heard_.size();
    }
    std::vector<Bytes> from(std::size_t first) const {
        std::lock_guard lock(mutex_);
        return {heard_.begin() + static_cast<std::ptrdiff_t>(std::min(first, heard_.size())),
                heard_.end()};
    }

private:
    mutable std::mutex mutex_;
    std::vector<Bytes> heard_;
};

// Counts the loop's wraps as the position reports tell them.
struct Wraps : TransportListener {
    int count = 0;
    void positionReached(const PositionReport& report) override { count += report.jumpedBack; }
    void tempoChanged(int) override {}
    void songEnded(int) override {}
};

std::uint32_t nextRandom(std::uint32_t& seed) {
    seed = seed * 1103515245 + 12345;
    return seed >> 16;
}

TEST(TrackStateStress, DocumentChangesWhileTheRealClockPlaysReachTheSoundWithoutARace) {
    SteadyClock clock;
    RecordingOutput out{clock};
    out.setKeep(false);
    NoteOns notes;
    out.setListener([&notes](const RecordedMessage& message) { notes.hear(message); });
    SingleOutputProvider provider{out};
    StreamPlayer player{provider, clock};
    Transport transport{player};
    PlayerMessageQueue poster;
    poster.setHandler(
        [&transport](const PlayerMessage& message) { transport.handleMessage(message); });
    Wraps wraps;
    transport.setListener(&wraps);
    ScriptedUi ui;
    CReedtabDoc doc{ui, transport.playerControl()};
    ui.listen(doc);

    // A note every sixteenth on each track, each track on a channel of its own, looped.
    MidiSong& song = doc.song;
    beginSong(song, kTracks + 1);
    addTimeSignature(song, 0, 0, 4, 4);
    addTempo(song, 0, 0, 250000);
    for (int track = 1; track <= kTracks; ++track) {
        for (int tick = 0; tick < 1920; tick += 120) {
            addNote(song, track, track - 1, 60 + track, tick, tick + 100);
        }
    }
    finishSong(song, 1920);
    transport.setSongTiming(song.division, song.tempoAt(0));
    transport.setMarkSource([] { return LoopMarks{0, 1920}; });
    transport.setOptions({.loop = true});
    ASSERT_EQ(transport.init(song, poster), PlayerOk);
    ASSERT_EQ(transport.openOutput(-1), PlayerOk);
    ASSERT_EQ(transport.startAt(0, false), PlayerOk);

    std::uint32_t seed = 4711;
    for (int op = 0; op < 3000; ++op) {
        const int track = 1 + static_cast<int>(nextRandom(seed) % kTracks);
        const bool on = nextRandom(seed) % 2 == 0;
        switch (nextRandom(seed) % 5) {
        case 0:
            doc.setTrackFlag(track, TrackMuted, on);
            break;
        case 1: {
            std::vector<bool> others(kTracks + 1, true);
            others[static_cast<std::size_t>(track)] = false;
            doc.setTrackFlags(TrackMuted, others);
            break;
        }
        case 2:
            doc.setTrackFlag(track, TrackShown, on);
            break;
        case 3:
            doc.setTrackFlag(track, TrackSelected, on);
            break;
        default:
            doc.setTrackVolume(track, static_cast<int>(nextRandom(seed) % 201));
            break;
        }
        poster.dispatchPendingMessage();
        if (op % 16 == 0) {
            std::this_thread::sleep_for(200us);
        }
    }
    ASSERT_TRUE(transport.isPlaying());

    // Track 2 alone, at half volume. The pass after the next wrap is filled wholly after the
    // change (the fill runs at most half a beat ahead): from its wrap on, the device hears only
    // that track's notes, at half their velocity. Counted in wraps, not in time, so that a
    // loaded machine that holds the timer thread back cannot make the test fail.
    std::vector<bool> others(kTracks + 1, true);
    others[2] = false;
    doc.setTrackFlags(TrackMuted, others);
    doc.setTrackVolume(2, 50);
    const auto waitForWraps = [&](int target) {
        const auto limit = std::chrono::steady_clock::now() + 30s;
        while (wraps.count < target && std::chrono::steady_clock::now() < limit) {
            poster.dispatchAll();
            std::this_thread::sleep_for(2ms);
        }
        return wraps.count >= target;
    };
    const int wrapsBefore = wraps.count;
    ASSERT_TRUE(waitForWraps(wrapsBefore + 2));
    const std::size_t first = notes.count();
    ASSERT_TRUE(waitForWraps(wrapsBefore + 3));
    const std::vector<Bytes> heard = notes.from(first);
    EXPECT_GE(heard.size(), 8u) << "the soloed track plays on";
    for (const Bytes& note : heard) {
        EXPECT_EQ(note, (Bytes{0x91, 62, 50}));
    }
    EXPECT_GT(ui.trackListRefreshes, 100) << "the changes told the windows";
    transport.stop();
    player.shutdown();
}

} // namespace
} // namespace reedtab::testing
