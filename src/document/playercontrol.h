#pragma once

// The part of the stream player the document drives: it stops playback before changing the
// song, restarts it afterwards, and pauses the player's bookkeeping around a single insert
// while the song plays. The transport (transport/transport.h) drives the real player;
// tests drive a scripted one.
//
// Threads: every call comes from the user-interface thread.

#include <cstdint>

namespace reedtab {

class PlayerControl {
public:
    virtual ~PlayerControl() = default;

    /// True while the song plays (also while the player's bookkeeping is suspended).
    virtual bool isPlaying() const = 0;
    /// Stops playback without telling the frame that the song ended.
    virtual void stop() = 0;
    /// Starts playback again at the current play position, without count-in.
    virtual void restart() = 0;
    /// Moves the play position to `tick` (ticks).
    virtual void setPosition(int32_t tick) = 0;
    /// The song's timing after a load: `division` ticks per quarter and the tempo at tick 0 in
    /// microseconds per quarter.
    virtual void setSongTiming(int division, int32_t microsPerQuarter) = 0;
    /// Holds the player's refills while one event is inserted into the playing song.
    virtual void suspend() = 0;
    /// Ends `suspend`. `mergedIndex` is the merged-list position the inserted event took (-1
    /// when it is not in that list): the player's cursors at or after it move on by one.
    virtual void resume(int mergedIndex) = 0;
};

/// A player that never plays: for the command line and tests that need no playback.
class IdlePlayerControl : public PlayerControl {
public:
    bool isPlaying() const override { return false; }
    void stop() override {}
    void restart() override {}
    void setPosition(int32_t) override {}
    void setSongTiming(int, int32_t) override {}
    void suspend() override {}
    void resume(int) override {}
};

} // namespace reedtab
