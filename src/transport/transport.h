#pragma once

// The transport: starting, stopping and moving the song, the loop over the marks, the tempo
// percentage, count-in, metronome and clock, the speed trainer, the following of the play
// position and the end of a song. It has no thread and no window of its own: it drives the
// stream player through one `PlaybackParams` value, hears the player's messages through a
// message poster that brings them to its own thread, and tells a listener what happened. The
// program (through the Qt bridge of ui/transporthub.h) and reedtab-cli drive the same transport.
//
// Threads: everything on the transport's thread (the GUI thread; the main thread of
// reedtab-cli). Only the poster's `postMessage` runs on the player's timer thread.

#include "document/playercontrol.h"
#include "playback/playbackparams.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"
#include "transport/positionfollower.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace reedtab {

class MidiSong;

/// The marks the loop plays between, in ticks; -1 when unset.
struct LoopMarks {
    std::int32_t begin = -1;
    std::int32_t end = -1;
};

/// What the transport tells the program, on the transport's thread.
class TransportListener {
public:
    virtual ~TransportListener() = default;
    /// The playing song reached a position (told only while it plays).
    virtual void positionReached(const PositionReport& report) = 0;
    /// The tempo in force changed: microseconds per quarter, before the percentage.
    virtual void tempoChanged(int microsPerQuarter) = 0;
    /// The song stopped by itself: at its end (`result` PlayerOk) or because its device went
    /// away (PlayerDeviceError). The trainer has ended; what plays next is the program's to
    /// decide. Not told after `stop`.
    virtual void songEnded(int result) = 0;
    /// Playing stopped at the hold set by `holdAt`; `release` plays on.
    virtual void held(std::int32_t) {}
};

class Transport {
public:
    /// `player` must outlive the transport.
    explicit Transport(StreamPlayer& player);
    ~Transport();
    Transport(const Transport&) = delete;
    Transport& operator=(const Transport&) = delete;

    /// Plays `song` (which must outlive the transport) and posts the player's messages to
    /// `poster`; the poster's owner hands each one back to `handleMessage` on this thread, and
    /// must not count position messages with the player itself. Returns the player's `init`.
    [[nodiscard]] PlayerResult init(MidiSong& song, PlayerWindow& poster);
    void setListener(TransportListener* listener) { listener_ = listener; }
    /// Where the marks come from (the document's, in the program). They are read at every
    /// start and every position report, so marks moved during play apply from the next
    /// report. Without a source there are no marks.
    void setMarkSource(std::function<LoopMarks()> marks) { marks_ = std::move(marks); }
    /// Closes the output device, chooses output `index` (-1 the mapper) and opens it. Returns
    /// the player's `openDevice`; `outputDevice` then tells the device chosen (the mapper when
    /// `index` no longer exists).
    [[nodiscard]] PlayerResult openOutput(int index);
    int outputDevice() const { return player_.outputDevice(); }

    // ---- Options ----

    /// The user's switches, from now on (the loop and the metronome also while playing).
    void setOptions(const PlaybackOptions& options);
    const PlaybackOptions& options() const { return params_.options; }
    /// Whether the song loops: the loop switch is on, or a trainer loops it.
    bool looping() const { return params_.options.loop || training(); }
    /// The song's timing after a load: `division` ticks per quarter and the tempo at its start.
    void setSongTiming(int division, std::int32_t microsPerQuarter);

    // ---- Where it stands ----

    bool isPlaying() const { return player_.isPlaying(); }
    /// False while the output is still being made (the synthesizer reading its SoundFont).
    bool deviceReady() const { return player_.deviceReady(); }
    /// The play position, as the last position report or move left it.
    std::int32_t playTick() const { return player_.playTick(); }
    /// The song tick sounding now, while playing (stream position less offset, not below 0).
    std::int32_t soundingTick() const;
    /// The merged-list index of the next event to go out (the view's redraws start there).
    int nextEventIndex() const { return player_.eventCursor(); }

    // ---- Starting and stopping ----

    /// Play: from the begin mark unless `fromCursor`; else from `editCursor` in edit mode when
    /// it is set (>= 0); else from the play position. Returns the player's `start` (0 also for
    /// a song without events, when nothing starts).
    PlayerResult play(bool countIn, bool fromCursor, std::int32_t editCursor);
    /// Starts at `tick`, looping over the marks as the options say.
    PlayerResult startAt(std::int32_t tick, bool countIn);
    /// Whether Space, which plays from the play position, counts in: count-in is on and the
    /// play position is 0 or the begin mark.
    bool countsInFromCursor() const;
    /// Stops without telling the listener, and ends the trainer.
    void stop();
    /// Moves the play position (restarting there without count-in while playing).
    std::int32_t seek(std::int32_t tick);
    /// Back to the begin mark, or to 0 without one; returns the tick.
    std::int32_t rewind();

    // ---- Tempo ----

    /// The tempo percentage, at least 1, sounding at once. Returns the beats per minute.
    int setTempoPercent(int percent);
    /// The percentage sounding now (the trainer raises it pass by pass).
    int tempoPercent() const { return player_.tempoPercent(); }
    /// The tempo in force, microseconds per quarter before the percentage.
    int baseTempo() const { return params_.baseTempo; }
    /// percent * 600000 / base tempo: the figure the status bar shows.
    int beatsPerMinute() const;
    /// The tempo in force becomes the song's at the play position again (after the song's
    /// tempos changed).
    void followSongTempo();

    // ---- The speed trainer ----

    /// Loops the marks (the whole song to the end of its last bar unless both are set, begin
    /// before end) with the tempo following `plan`, playing from the loop's start with
    /// count-in as the options say. Nothing happens (and 0 comes back) for a plan the player
    /// cannot follow, a song without events, or while playing.
    PlayerResult startTrainer(const SpeedTrainer& plan);
    /// Training ends; the percentage stays where it got to.
    void endTrainer();
    bool training() const { return trainer_.active(); }
    const SpeedTrainer& trainer() const { return trainer_; }
    /// Passes of the loop completed since training began.
    int trainerPass() const { return player_.trainerPass(); }

    // ---- Holding (waiting for the player) ----

    /// Playing stops just before `tick` (its events stay unplayed) and the listener hears
    /// `held`; -1 takes the hold away. A hold inside the loop comes before its end; a hold set
    /// while playing applies to the packets not yet filled, half a beat ahead and more.
    void holdAt(std::int32_t tick);
    /// Plays on from where playing held, without count-in, under the hold set now (set the next
    /// one first). 0 when not held.
    PlayerResult release();
    /// Where playing held, until `release`, `startAt` or `stop`.
    std::optional<std::int32_t> heldAt() const { return heldAt_; }

    // ---- The player's messages ----

    /// One message the player posted (WM_PLAYER_POSITION, WM_PLAYER_TEMPO, WM_PLAYER_STOPPED),
    /// handed over by the poster on this thread.
    void handleMessage(const PlayerMessage& message);

    /// The document's way to the player: its edits stop and restart playing through this.
    PlayerControl& playerControl();

private:
    class DocumentPlayer;

    LoopMarks marks() const;
    /// The loop the player plays: the trainer's, or the marks' as the loop switch says, with
    /// the hold before its end.
    LoopMarks playedLoop() const;
    /// Hands the parameters to the player when they changed.
    void applyParams();
    void followPosition(std::uint32_t value);
    void playerStopped(int result);

    StreamPlayer& player_;
    MidiSong* song_ = nullptr;
    TransportListener* listener_ = nullptr;
    std::function<LoopMarks()> marks_;
    std::unique_ptr<PositionFollower> follower_;
    std::unique_ptr<DocumentPlayer> documentPlayer_;
    PlaybackParams params_;
    // What the player was given last.
    std::optional<PlaybackParams> applied_;
    SpeedTrainer trainer_;
    LoopMarks trainerLoop_;
    std::int32_t holdTick_ = -1;
    std::optional<std::int32_t> heldAt_;
};

} // namespace reedtab
