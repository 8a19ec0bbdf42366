#pragma once

// Everything the stream player plays by besides the song, as one value: the transport builds
// it from the user's options, the marks and the song's timing, and hands it to the player whole
// (`StreamPlayer::setParams`). The player reads no other settings.

#include "playback/speedtrainer.h"

namespace reedtab {

class MidiSong;

/// The user's playback switches.
struct PlaybackOptions {
    bool metronome = false; ///< a click on every beat
    bool countIn = false;   ///< Play counts a bar and a beat in first
    bool loop = false;      ///< the marks loop; at the end of the playlist the song plays again
    bool clockOut = false;  ///< MIDI clock, start and stop go out with the song
    bool skipProgramChanges = false;
    bool expressionToVolume = false; ///< expression controllers scale the note velocities
    bool editMode = false;           ///< playing on past the end of the song

    friend bool operator==(const PlaybackOptions&, const PlaybackOptions&) = default;
};

struct PlaybackParams {
    PlaybackOptions options;
    /// The loop: playing jumps from `loopEnd` back to `loopBegin`; -1 = none. An end without a
    /// begin ends the song there.
    int loopBegin = -1;
    int loopEnd = -1;
    /// The tempo percentage (1..1000). While a trainer is set the player follows the trainer
    /// instead, from its start percentage up.
    int tempoPercent = 100;
    /// Ticks per quarter note of the song.
    int division = 360;
    /// The tempo in force where playing starts or goes on, microseconds per quarter.
    int baseTempo = 500000;
    /// The speed trainer; inactive when its start is 0. A different plan starts counting the
    /// passes from the first again.
    SpeedTrainer trainer;

    friend bool operator==(const PlaybackParams&, const PlaybackParams&) = default;
};

/// The parameters that play `song` from its start: its division and the tempo at its first
/// tick, everything else as the defaults.
PlaybackParams songParams(const MidiSong& song);

} // namespace reedtab
