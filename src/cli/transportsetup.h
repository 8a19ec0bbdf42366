#pragma once

// The transport of reedtab-cli play and trace: the one the window drives, with the loop marks
// and switches of the command line.

#include "model/midisong.h"
#include "playback/playbackparams.h"
#include "transport/transport.h"

#include <cstdint>

namespace reedtab::cli {

/// The song's timing, the switches and the marks `begin` and `end` (-1 unset), which loop when
/// `options.loop` says so.
inline void setUpTransport(Transport& transport, const MidiSong& song,
                           const PlaybackOptions& options, std::int32_t begin, std::int32_t end) {
    transport.setMarkSource([marks = LoopMarks{begin, end}] { return marks; });
    transport.setOptions(options);
    transport.setSongTiming(song.division, song.tempoAt(0));
}

/// Starts as the window does: a trainer at its loop's start (with count-in as the options
/// say), else at `from` with `countIn`.
inline PlayerResult startTransport(Transport& transport, const SpeedTrainer& trainer,
                                   std::int32_t from, bool countIn) {
    return trainer.active() ? transport.startTrainer(trainer) : transport.startAt(from, countIn);
}

} // namespace reedtab::cli
