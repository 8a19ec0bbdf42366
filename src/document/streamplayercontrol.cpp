#include "document/streamplayercontrol.h"

#include "playback/streamplayer.h"

namespace reedtab {

bool StreamPlayerControl::isPlaying() const {
    return player_.isPlaying();
}

void StreamPlayerControl::stop() {
    player_.stop(false);
}

void StreamPlayerControl::restart() {
    // Playback goes on after an edit as far as the device lets it: a start that fails leaves
    // the player stopped, and the transport shows it so.
    static_cast<void>(player_.start(player_.playTick(), false));
}

void StreamPlayerControl::setPosition(int32_t tick) {
    player_.seek(tick);
}

void StreamPlayerControl::setSongTiming(int division, int32_t microsPerQuarter) {
    player_.setDivision(division);
    player_.setBaseTempo(microsPerQuarter);
}

void StreamPlayerControl::suspend() {
    player_.suspend();
}

void StreamPlayerControl::resume(int mergedIndex) {
    // The event went into the merged list ahead of the player's cursors: they move on with the
    // entries they pointed at.
    if (mergedIndex >= 0) {
        if (player_.eventCursor() >= mergedIndex)
            player_.setEventCursor(player_.eventCursor() + 1);
        if (player_.shownEventIndex() >= mergedIndex)
            player_.setShownEventIndex(player_.shownEventIndex() + 1);
    }
    player_.resume();
}

} // namespace reedtab
