#include "playback/outputdevice.h"

#include "playback/internal/systemquiet.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

// FluidSynth loads SoundFont samples on an OpenMP thread pool; the OpenMP runtime is not built
// for ThreadSanitizer, whose builds would take its own synchronisation for races.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libgomp.so.1\nrace:libgomp.so.1\n";
}

namespace reedtab {

namespace {

// FluidSynth reports a missing sound card or SoundFont on stderr; the synthesizer copes with
// both (it stays silent), so only panics are left visible.
void quietenFluidSynth() {
    static std::once_flag once;
    internal::quietenSoundSystem();
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
        fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

} // namespace

struct SynthOutput::Impl {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* audio = nullptr;
    bool withAudio = false;
    int sampleRate = 44100;
    std::string soundFont;
    std::thread loader;
    std::atomic<bool> ready{false};
    std::mutex audioMutex;
    std::vector<std::string> drivers{"pulseaudio", "alsa", "jack"};
    std::vector<float> floatBuffer;

    void load(std::string path) {
        if (path.empty()) {
            path = defaultSoundFont();
        }
        if (!path.empty() && fluid_is_soundfont(path.c_str()) &&
            fluid_synth_sfload(synth, path.c_str(), 1) != FLUID_FAILED) {
            soundFont = std::move(path);
        }
        ready.store(true);
    }

    void waitUntilLoaded() {
        if (loader.joinable() && loader.get_id() != std::this_thread::get_id()) {
            loader.join();
        }
    }

    ~Impl() {
        waitUntilLoaded();
        if (audio) {
            delete_fluid_audio_driver(audio);
        }
        if (synth) {
            delete_fluid_synth(synth);
        }
        if (settings) {
            delete_fluid_settings(settings);
        }
    }
};

std::string SynthOutput::defaultSoundFont() {
    for (const char* candidate :
         {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
          "/usr/share/sounds/sf2/TimGM6mb.sf2"}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return {};
}

SynthOutput::SynthOutput(bool withAudio, std::string soundFont, int sampleRate,
                         SoundFontLoading loading)
    : impl_(std::make_unique<Impl>()) {
    quietenFluidSynth();
    impl_->withAudio = withAudio;
    impl_->sampleRate = sampleRate;
    impl_->settings = new_fluid_settings();
    if (!impl_->settings) {
        return;
    }
    fluid_settings_setnum(impl_->settings, "synth.sample-rate", sampleRate);
    // A short buffer, so that live notes answer at once: 2 periods of 256 frames.
    fluid_settings_setint(impl_->settings, "audio.periods", 2);
    fluid_settings_setint(impl_->settings, "audio.period-size", 256);
    fluid_settings_setstr(impl_->settings, "audio.jack.id", kAudioClientName);
    impl_->synth = new_fluid_synth(impl_->settings);
    if (!impl_->synth) {
        impl_->ready.store(true);
        return;
    }
    if (loading == SoundFontLoading::InBackground) {
        impl_->loader = std::thread(
            [impl = impl_.get(), soundFont = std::move(soundFont)] { impl->load(soundFont); });
    } else {
        impl_->load(std::move(soundFont));
    }
}

SynthOutput::~SynthOutput() = default;

int SynthOutput::open() {
    if (!impl_->synth) {
        return DeviceError;
    }
    std::lock_guard lock(impl_->audioMutex);
    if (impl_->withAudio && !impl_->audio) {
        // FluidSynth's own default is JACK, whose client library starts a server when none
        // runs: seconds of waiting and screens of errors on a desktop that has the server
        // installed but plays through its sound server. So the desktop's sound server
        // (PipeWire serves PulseAudio clients too) comes first, then ALSA, and JACK only when
        // its server is already up. When none opens, the synthesizer keeps running silently.
        for (const auto& driver : impl_->drivers) {
            if (driver == "jack" && !jackServerRunning()) {
                continue;
            }
            if (fluid_settings_setstr(impl_->settings, "audio.driver", driver.c_str()) ==
                FLUID_OK) {
                impl_->audio = new_fluid_audio_driver(impl_->settings, impl_->synth);
            }
            if (impl_->audio) {
                break;
            }
        }
    }
    return DeviceOk;
}

void SynthOutput::setAudioDrivers(std::vector<std::string> drivers) {
    std::lock_guard lock(impl_->audioMutex);
    impl_->drivers = std::move(drivers);
}

bool SynthOutput::isReady() const {
    return impl_->ready.load();
}

void SynthOutput::close() {
    std::lock_guard lock(impl_->audioMutex);
    if (impl_->audio) {
        delete_fluid_audio_driver(impl_->audio);
        impl_->audio = nullptr;
    }
}

int SynthOutput::shortMessage(std::uint32_t packed) {
    fluid_synth_t* synth = impl_->synth;
    if (!synth) {
        return DeviceNotOpen;
    }
    // The SoundFont loader holds the synthesizer's lock for the whole load; a message now
    // would make the sender wait for it, and there is nothing to sound yet anyway.
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    const int status = packed & 0xFF;
    const int channel = status & 0x0F;
    const int data1 = (packed >> 8) & 0x7F;
    const int data2 = (packed >> 16) & 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        break;
    case 0x90:
        if (data2 == 0) {
            fluid_synth_noteoff(synth, channel, data1);
        } else {
            fluid_synth_noteon(synth, channel, data1, data2);
        }
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, channel, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth, channel, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth, channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
        break;
    default:
        break; // clock, start, stop: nothing for a synthesizer
    }
    return DeviceOk;
}

int SynthOutput::longMessage(const std::uint8_t* bytes, std::size_t length) {
    if (!impl_->synth) {
        return DeviceNotOpen;
    }
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    // FluidSynth wants the message without its F0 and F7 framing.
    std::size_t begin = 0;
    std::size_t end = length;
    if (end > begin && bytes[begin] == 0xF0) {
        ++begin;
    }
    if (end > begin && bytes[end - 1] == 0xF7) {
        --end;
    }
    if (end <= begin) {
        return DeviceOk;
    }
    fluid_synth_sysex(impl_->synth, reinterpret_cast<const char*>(bytes + begin),
                      static_cast<int>(end - begin), nullptr, nullptr, nullptr, 0);
    return DeviceOk;
}

int SynthOutput::reset() {
    if (!impl_->synth) {
        return DeviceNotOpen;
    }
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    fluid_synth_all_sounds_off(impl_->synth, -1);
    return DeviceOk;
}

const std::string& SynthOutput::soundFontPath() const {
    impl_->waitUntilLoaded();
    return impl_->soundFont;
}

bool SynthOutput::hasAudio() const {
    std::lock_guard lock(impl_->audioMutex);
    return impl_->audio != nullptr;
}

int SynthOutput::sampleRate() const {
    return impl_->sampleRate;
}

void SynthOutput::render(std::int16_t* interleaved, int frames) {
    impl_->waitUntilLoaded();
    if (!impl_->synth) {
        std::fill(interleaved, interleaved + 2 * frames, std::int16_t{0});
        return;
    }
    // Rendered as floats and rounded here: FluidSynth's own 16-bit output adds dither noise,
    // which would hide where the sound really starts.
    auto& buffer = impl_->floatBuffer;
    buffer.resize(static_cast<std::size_t>(2 * frames));
    fluid_synth_write_float(impl_->synth, frames, buffer.data(), 0, 2, buffer.data(), 1, 2);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const float sample = std::clamp(buffer[i], -1.0f, 1.0f) * 32767.0f;
        interleaved[i] = static_cast<std::int16_t>(std::lround(sample));
    }
}

} // namespace reedtab
