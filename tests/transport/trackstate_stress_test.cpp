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

// What the device got after a moment: the note-ons, with the time they arrived.
class NoteOns {
public:
    void hear(const RecordedMessage& message) {
        if (message.bytes.size() == 3 && (message.bytes[0] & 0xF0) == 0x90 &&
            message.bytes[2] > 0) {
            std::lock_guard lock(mutex_);
            heard_.push_back({std::chrono::steady_clock::now(), message.bytes});
        }
    }
    std::vector<Bytes> since(std::chrono::steady_clock::time_point moment) const {
        std::lock_guard lock(mutex_);
        std::vector<Bytes> notes;
        for (const auto& [time, bytes] : heard_) {
            if (time >= moment) {
                notes.push_back(bytes);
            }
        }
        return notes;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::chrono::steady_clock::time_point, Bytes>> heard_;
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

    // Track 2 alone, at half volume: once the packets filled before are out, the device hears
    // only its notes, at half their velocity.
    std::vector<bool> others(kTracks + 1, true);
    others[2] = false;
    doc.setTrackFlags(TrackMuted, others);
    doc.setTrackVolume(2, 50);
    const auto settled = std::chrono::steady_clock::now() + 300ms;
    while (std::chrono::steady_clock::now() < settled + 500ms) {
        poster.dispatchAll();
        std::this_thread::sleep_for(2ms);
    }
    const std::vector<Bytes> heard = notes.since(settled);
    EXPECT_GE(heard.size(), 5u) << "the soloed track plays on";
    for (const Bytes& note : heard) {
        EXPECT_EQ(note, (Bytes{0x91, 62, 50}));
    }
    EXPECT_GT(ui.trackListRefreshes, 100) << "the changes told the windows";
    transport.stop();
    player.shutdown();
}

} // namespace
} // namespace reedtab::testing
