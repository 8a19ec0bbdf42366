#pragma once

// The document's player interface over the one stream player of the program.
//
// Threads: the user-interface thread, like the player's own control operations.

#include "document/playercontrol.h"

namespace reedtab {

class StreamPlayer;

class StreamPlayerControl : public PlayerControl {
public:
    /// `player` must outlive this object.
    explicit StreamPlayerControl(StreamPlayer& player) : player_(player) {}

    bool isPlaying() const override;
    void stop() override;
    /// Starts again at the player's play position, without count-in.
    void restart() override;
    void setPosition(int32_t tick) override;
    void setSongTiming(int division, int32_t microsPerQuarter) override;
    void suspend() override;
    void resume(int mergedIndex) override;

private:
    StreamPlayer& player_;
};

} // namespace reedtab
