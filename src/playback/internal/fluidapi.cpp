#include "playback/internal/fluidapi.h"

#include <dlfcn.h>

#include <mutex>

namespace reedtab::internal {

namespace {

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

bool resolveAll(void* library, FluidApi& api) {
    return resolve(library, "fluid_set_log_function", api.setLogFunction) &&
           resolve(library, "new_fluid_settings", api.newSettings) &&
           resolve(library, "delete_fluid_settings", api.deleteSettings) &&
           resolve(library, "fluid_settings_setnum", api.settingsSetNum) &&
           resolve(library, "fluid_settings_setint", api.settingsSetInt) &&
           resolve(library, "fluid_settings_setstr", api.settingsSetStr) &&
           resolve(library, "new_fluid_synth", api.newSynth) &&
           resolve(library, "delete_fluid_synth", api.deleteSynth) &&
           resolve(library, "fluid_synth_sfload", api.sfLoad) &&
           resolve(library, "new_fluid_audio_driver", api.newAudioDriver) &&
           resolve(library, "delete_fluid_audio_driver", api.deleteAudioDriver) &&
           resolve(library, "fluid_synth_noteon", api.noteOn) &&
           resolve(library, "fluid_synth_noteoff", api.noteOff) &&
           resolve(library, "fluid_synth_key_pressure", api.keyPressure) &&
           resolve(library, "fluid_synth_cc", api.controlChange) &&
           resolve(library, "fluid_synth_program_change", api.programChange) &&
           resolve(library, "fluid_synth_channel_pressure", api.channelPressure) &&
           resolve(library, "fluid_synth_pitch_bend", api.pitchBend) &&
           resolve(library, "fluid_synth_sysex", api.sysEx) &&
           resolve(library, "fluid_synth_all_sounds_off", api.allSoundsOff) &&
           resolve(library, "fluid_synth_write_float", api.writeFloat);
}

} // namespace

const FluidApi* fluidApi() {
    static FluidApi api;
    static const FluidApi* opened = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        // Kept open for the life of the process: audio threads may still run at exit.
        void* library = dlopen(REEDTAB_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!library || !resolveAll(library, api)) {
            return;
        }
        // A missing sound card or SoundFont is reported on stderr; the synthesizer copes with
        // both (it stays silent), so only panics are left visible.
        for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            api.setLogFunction(level, nullptr, nullptr);
        }
        opened = &api;
    });
    return opened;
}

} // namespace reedtab::internal
