#pragma once

// The play position as the status bar shows it: bar, beat and tick on the beats the view
// draws, and the minutes and seconds the song takes to get there at its own tempos.

#include <QString>

#include <cstdint>

namespace reedtab {

class MidiSong;

/// "8:1:000  0:17": bar and beat counted from 1 under each bar's time signature (quarter notes
/// from tick 0 in a song without bars), the tick within the beat, then the time from the start
/// under the song's tempo changes.
QString positionText(const MidiSong& song, std::int32_t tick);

} // namespace reedtab
