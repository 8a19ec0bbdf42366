#include "listen/internal/listenlibs.h"

#include <dlfcn.h>

#include <mutex>
#include <type_traits>
#include <utility>

namespace reedtab::internal {

namespace {

// Resolves every listed symbol of `soname` into `api`; the library stays open for the life of
// the process, since an audio thread may still run in it at exit.
template <typename Api, typename... Pairs>
const Api* openLibrary(Api& api, const char* soname, Pairs... pairs) {
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        return nullptr;
    }
    bool complete = true;
    auto resolve = [&](auto pair) {
        auto& [name, function] = pair;
        using Function = std::remove_reference_t<decltype(*function)>;
        *function = reinterpret_cast<Function>(dlsym(library, name));
        complete = complete && *function != nullptr;
    };
    (resolve(pairs), ...);
    return complete ? &api : nullptr;
}

template <typename Function>
std::pair<const char*, Function*> symbol(const char* name, Function& function) {
    return {name, &function};
}

} // namespace

const AubioApi* aubioApi() {
    static AubioApi api;
    static const AubioApi* opened = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        opened = openLibrary(
            api, REEDTAB_AUBIO_SONAME, symbol("new_aubio_pitch", api.newPitch),
            symbol("del_aubio_pitch", api.deletePitch), symbol("aubio_pitch_do", api.pitchDo),
            symbol("aubio_pitch_set_unit", api.setUnit),
            symbol("aubio_pitch_set_silence", api.setSilence),
            symbol("aubio_pitch_set_tolerance", api.setTolerance),
            symbol("aubio_pitch_get_confidence", api.confidence), symbol("new_fvec", api.newVector),
            symbol("del_fvec", api.deleteVector));
    });
    return opened;
}

const RtAudioApi* rtAudioApi() {
    static RtAudioApi api;
    static const RtAudioApi* opened = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        opened = openLibrary(
            api, REEDTAB_RTAUDIO_SONAME,
            symbol("rtaudio_get_num_compiled_apis", api.compiledApiCount),
            symbol("rtaudio_compiled_api", api.compiledApis),
            symbol("rtaudio_api_display_name", api.apiDisplayName),
            symbol("rtaudio_create", api.create), symbol("rtaudio_show_warnings", api.showWarnings),
            symbol("rtaudio_error", api.error), symbol("rtaudio_error_type", api.errorType),
            symbol("rtaudio_device_count", api.deviceCount),
            symbol("rtaudio_get_device_info", api.deviceInfo),
            symbol("rtaudio_get_default_input_device", api.defaultInput),
            symbol("rtaudio_get_default_output_device", api.defaultOutput),
            symbol("rtaudio_open_stream", api.openStream),
            symbol("rtaudio_close_stream", api.closeStream),
            symbol("rtaudio_start_stream", api.startStream),
            symbol("rtaudio_abort_stream", api.abortStream),
            symbol("rtaudio_is_stream_open", api.isStreamOpen));
    });
    return opened;
}

const SndfileApi* sndfileApi() {
    static SndfileApi api;
    static const SndfileApi* opened = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        opened = openLibrary(api, REEDTAB_SNDFILE_SONAME, symbol("sf_open", api.open),
                             symbol("sf_close", api.close), symbol("sf_readf_float", api.readFloat),
                             symbol("sf_strerror", api.errorText));
    });
    return opened;
}

} // namespace reedtab::internal
