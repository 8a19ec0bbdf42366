#include "playback/outputdevice.h"

#include "playback/internal/fluidapi.h"
#include "playback/internal/systemquiet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

// FluidSynth loads SoundFont samples on an OpenMP thread pool; the OpenMP runtime is not built
// for ThreadSanitizer, whose builds would take its own synchronisation for races.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libgomp.so.1\nrace:libgomp.so.1\n";
}

namespace reedtab {

using internal::FluidApi;

struct SynthOutput::Impl {
    const FluidApi* fluid = nullptr;
    // Made by `create` before `ready` is set, and read by the other threads only after.
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* audio = nullptr;
    bool withAudio = false;
    bool openRequested = false;
    int sampleRate = 44100;
    std::string soundFont;
    int soundFontResult = SoundFontNoSynthesizer;
    std::thread loader;
    std::atomic<bool> ready{false};
    std::mutex audioMutex;
    std::vector<std::string> drivers{"pulseaudio", "alsa", "jack"};
    std::vector<float> floatBuffer;

    // Opens the library and makes the synthesizer, reads the SoundFont, then starts the sound
    // when `open` asked for it meanwhile.
    void create(std::string path) {
        quietenSoundSystem();
        fluid = internal::fluidApi();
        if (fluid) {
            settings = fluid->newSettings();
        }
        if (settings) {
            fluid->settingsSetNum(settings, "synth.sample-rate", sampleRate);
            // A short buffer, so that live notes answer at once: 2 periods of 256 frames.
            fluid->settingsSetInt(settings, "audio.periods", 2);
            fluid->settingsSetInt(settings, "audio.period-size", 256);
            fluid->settingsSetStr(settings, "audio.jack.id", kAudioClientName);
            synth = fluid->newSynth(settings);
        }
        if (synth) {
            if (path.empty()) {
                path = defaultSoundFont();
            }
            soundFontResult = path.empty() ? SoundFontNoneInstalled : checkSoundFont(path);
            if (soundFontResult == SoundFontLoaded) {
                if (fluid->sfLoad(synth, path.c_str(), 1) != FLUID_FAILED) {
                    soundFont = std::move(path);
                } else {
                    soundFontResult = SoundFontDamaged;
                }
            }
        }
        std::lock_guard lock(audioMutex);
        ready.store(true);
        if (openRequested) {
            startAudio();
        }
    }

    // FluidSynth's own default is JACK, whose client library starts a server when none runs:
    // seconds of waiting and screens of errors on a desktop that has the server installed but
    // plays through its sound server. So the desktop's sound server (PipeWire serves
    // PulseAudio clients too) comes first, then ALSA, and JACK only when its server is already
    // up. When none opens, the synthesizer keeps running silently. Holds `audioMutex`.
    void startAudio() {
        if (!withAudio || audio || !synth) {
            return;
        }
        for (const auto& driver : drivers) {
            if (driver == "jack" && !jackServerRunning()) {
                continue;
            }
            if (fluid->settingsSetStr(settings, "audio.driver", driver.c_str()) == FLUID_OK) {
                audio = fluid->newAudioDriver(settings, synth);
            }
            if (audio) {
                break;
            }
        }
    }

    void waitUntilLoaded() {
        if (loader.joinable() && loader.get_id() != std::this_thread::get_id()) {
            loader.join();
        }
    }

    ~Impl() {
        waitUntilLoaded();
        if (audio) {
            fluid->deleteAudioDriver(audio);
        }
        if (synth) {
            fluid->deleteSynth(synth);
        }
        if (settings) {
            fluid->deleteSettings(settings);
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

int SynthOutput::checkSoundFont(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return SoundFontCannotOpen;
    }
    // A RIFF file of form "sfbk", whatever its samples are (.sf3 only compresses them).
    char header[12] = {};
    file.read(header, sizeof header);
    if (file.gcount() != static_cast<std::streamsize>(sizeof header) ||
        std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "sfbk", 4) != 0) {
        return SoundFontNotASoundFont;
    }
    return SoundFontLoaded;
}

SynthOutput::SynthOutput(bool withAudio, std::string soundFont, int sampleRate,
                         SoundFontLoading loading)
    : impl_(std::make_unique<Impl>()) {
    impl_->withAudio = withAudio;
    impl_->sampleRate = sampleRate;
    if (loading == SoundFontLoading::InBackground) {
        impl_->loader = std::thread(
            [impl = impl_.get(), soundFont = std::move(soundFont)] { impl->create(soundFont); });
    } else {
        impl_->create(std::move(soundFont));
    }
}

SynthOutput::~SynthOutput() = default;

int SynthOutput::open() {
    std::lock_guard lock(impl_->audioMutex);
    if (!impl_->ready.load()) {
        // The sound starts as soon as the synthesizer is made.
        impl_->openRequested = true;
        return DeviceOk;
    }
    if (!impl_->synth) {
        return DeviceError;
    }
    impl_->openRequested = true;
    impl_->startAudio();
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
    impl_->openRequested = false;
    if (impl_->audio) {
        impl_->fluid->deleteAudioDriver(impl_->audio);
        impl_->audio = nullptr;
    }
}

// Before the synthesizer is ready there is nothing to sound, and the SoundFont loader holds its
// lock for the whole load: a message is taken and dropped rather than made to wait.
int SynthOutput::shortMessage(std::uint32_t packed) {
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    fluid_synth_t* synth = impl_->synth;
    if (!synth) {
        return DeviceNotOpen;
    }
    const FluidApi& f = *impl_->fluid;
    const int status = packed & 0xFF;
    const int channel = status & 0x0F;
    const int data1 = (packed >> 8) & 0x7F;
    const int data2 = (packed >> 16) & 0x7F;
    switch (status & 0xF0) {
    case 0x80:
        f.noteOff(synth, channel, data1);
        break;
    case 0x90:
        if (data2 == 0) {
            f.noteOff(synth, channel, data1);
        } else {
            f.noteOn(synth, channel, data1, data2);
        }
        break;
    case 0xA0:
        f.keyPressure(synth, channel, data1, data2);
        break;
    case 0xB0:
        f.controlChange(synth, channel, data1, data2);
        break;
    case 0xC0:
        f.programChange(synth, channel, data1);
        break;
    case 0xD0:
        f.channelPressure(synth, channel, data1);
        break;
    case 0xE0:
        f.pitchBend(synth, channel, data1 | (data2 << 7));
        break;
    default:
        break; // clock, start, stop: nothing for a synthesizer
    }
    return DeviceOk;
}

int SynthOutput::longMessage(const std::uint8_t* bytes, std::size_t length) {
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    if (!impl_->synth) {
        return DeviceNotOpen;
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
    impl_->fluid->sysEx(impl_->synth, reinterpret_cast<const char*>(bytes + begin),
                        static_cast<int>(end - begin), nullptr, nullptr, nullptr, 0);
    return DeviceOk;
}

int SynthOutput::reset() {
    if (!impl_->ready.load()) {
        return DeviceOk;
    }
    if (!impl_->synth) {
        return DeviceNotOpen;
    }
    impl_->fluid->allSoundsOff(impl_->synth, -1);
    return DeviceOk;
}

const std::string& SynthOutput::soundFontPath() const {
    impl_->waitUntilLoaded();
    return impl_->soundFont;
}

int SynthOutput::soundFontResult() const {
    impl_->waitUntilLoaded();
    return impl_->soundFontResult;
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
    impl_->fluid->writeFloat(impl_->synth, frames, buffer.data(), 0, 2, buffer.data(), 1, 2);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        const float sample = std::clamp(buffer[i], -1.0f, 1.0f) * 32767.0f;
        interleaved[i] = static_cast<std::int16_t>(std::lround(sample));
    }
}

} // namespace reedtab
