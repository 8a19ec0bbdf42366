#pragma once

// FluidSynth, opened when the synthesizer is first made rather than when the program starts:
// the library and the sound, codec and input libraries it pulls in take longer to map than
// the whole window takes to appear, and the synthesizer is made off the GUI thread.

#include <fluidsynth.h>

namespace reedtab::internal {

struct FluidApi {
    decltype(&::fluid_set_log_function) setLogFunction;
    decltype(&::new_fluid_settings) newSettings;
    decltype(&::delete_fluid_settings) deleteSettings;
    decltype(&::fluid_settings_setnum) settingsSetNum;
    decltype(&::fluid_settings_setint) settingsSetInt;
    decltype(&::fluid_settings_setstr) settingsSetStr;
    decltype(&::new_fluid_synth) newSynth;
    decltype(&::delete_fluid_synth) deleteSynth;
    decltype(&::fluid_synth_sfload) sfLoad;
    decltype(&::new_fluid_audio_driver) newAudioDriver;
    decltype(&::delete_fluid_audio_driver) deleteAudioDriver;
    decltype(&::fluid_synth_noteon) noteOn;
    decltype(&::fluid_synth_noteoff) noteOff;
    decltype(&::fluid_synth_key_pressure) keyPressure;
    decltype(&::fluid_synth_cc) controlChange;
    decltype(&::fluid_synth_program_change) programChange;
    decltype(&::fluid_synth_channel_pressure) channelPressure;
    decltype(&::fluid_synth_pitch_bend) pitchBend;
    decltype(&::fluid_synth_sysex) sysEx;
    decltype(&::fluid_synth_all_sounds_off) allSoundsOff;
    decltype(&::fluid_synth_write_float) writeFloat;
};

/// The library's functions, opened on the first call (any thread) with its log quietened;
/// null when the library cannot be opened or lacks one of them.
const FluidApi* fluidApi();

} // namespace reedtab::internal
