#pragma once

// aubio, RtAudio and libsndfile, opened when listening first needs them rather than when the
// program starts: aubio brings the FFmpeg libraries with it, RtAudio the sound servers' client
// libraries and libsndfile its codecs, and mapping them all takes longer than the whole window
// takes to appear. The program links none of them.

#include <aubio/aubio.h>
#include <rtaudio_c.h>
#include <sndfile.h>

namespace reedtab::internal {

struct AubioApi {
    decltype(&::new_aubio_pitch) newPitch;
    decltype(&::del_aubio_pitch) deletePitch;
    decltype(&::aubio_pitch_do) pitchDo;
    decltype(&::aubio_pitch_set_unit) setUnit;
    decltype(&::aubio_pitch_set_silence) setSilence;
    decltype(&::aubio_pitch_set_tolerance) setTolerance;
    decltype(&::aubio_pitch_get_confidence) confidence;
    decltype(&::new_fvec) newVector;
    decltype(&::del_fvec) deleteVector;
};

struct RtAudioApi {
    decltype(&::rtaudio_get_num_compiled_apis) compiledApiCount;
    decltype(&::rtaudio_compiled_api) compiledApis;
    decltype(&::rtaudio_api_display_name) apiDisplayName;
    decltype(&::rtaudio_create) create;
    decltype(&::rtaudio_show_warnings) showWarnings;
    decltype(&::rtaudio_error) error;
    decltype(&::rtaudio_error_type) errorType;
    decltype(&::rtaudio_device_count) deviceCount;
    decltype(&::rtaudio_get_device_info) deviceInfo;
    decltype(&::rtaudio_get_default_input_device) defaultInput;
    decltype(&::rtaudio_get_default_output_device) defaultOutput;
    decltype(&::rtaudio_open_stream) openStream;
    decltype(&::rtaudio_close_stream) closeStream;
    decltype(&::rtaudio_start_stream) startStream;
    decltype(&::rtaudio_abort_stream) abortStream;
    decltype(&::rtaudio_is_stream_open) isStreamOpen;
};

struct SndfileApi {
    decltype(&::sf_open) open;
    decltype(&::sf_close) close;
    decltype(&::sf_readf_float) readFloat;
    decltype(&::sf_strerror) errorText;
};

/// Each library's functions, opened on the first call (any thread); null when the library
/// cannot be opened or lacks one of them.
const AubioApi* aubioApi();
const RtAudioApi* rtAudioApi();
const SndfileApi* sndfileApi();

} // namespace reedtab::internal
