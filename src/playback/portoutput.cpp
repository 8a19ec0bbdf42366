#include "playback/outputdevice.h"

#include "playback/internal/systemquiet.h"

#include <RtMidi.h>

#include <atomic>
#include <chrono>
#include <memory>

// RtMidi's JACK backend loses its ring buffers when no JACK server runs, an ordinary case here;
// builds with LeakSanitizer are told to overlook that one fault of the library. (Every binary
// that lists or opens ports links this file.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:jack_ringbuffer_create\n";
}

namespace reedtab {

namespace {

// RtMidi reports through exceptions and, for warnings, through stderr; the adapter turns both
// into result codes and keeps quiet, since a missing MIDI system is an ordinary situation.
void ignoreRtMidiError(RtMidiError::Type, const std::string&, void*) {}

template <typename Port>
std::unique_ptr<Port> makeRtMidi(RtMidi::Api api) {
    quietenSoundSystem();
    try {
        internal::CerrMute mute;
        auto port = std::make_unique<Port>(api, "Reedtab Midi");
        port->setErrorCallback(&ignoreRtMidiError, nullptr);
        return port;
    } catch (const RtMidiError&) {
        return nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::vector<RtMidi::Api> compiledApis() {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return apis;
}

template <typename Port>
std::vector<std::string> portNames() {
    std::vector<std::string> names;
    for (const auto api : compiledApis()) {
        if (api == RtMidi::RTMIDI_DUMMY) {
            continue;
        }
        auto port = makeRtMidi<Port>(api);
        if (!port) {
            continue;
        }
        try {
            const unsigned count = port->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                auto name = port->getPortName(i);
                if (!name.empty()) {
                    names.push_back(std::move(name));
                }
            }
        } catch (const std::exception&) {
        }
    }
    return names;
}

// How often a playing port checks that its destination is still there. Sending to a JACK port
// whose client has quit still succeeds (the message just goes nowhere), so only the port list
// shows it; reading the list costs a round trip to the MIDI system, too much for every message.
constexpr std::chrono::milliseconds kPortCheckInterval{200};

class PortOutput final : public OutputDevice {
public:
    explicit PortOutput(std::string name) : name_(std::move(name)) {}
    ~PortOutput() override { close(); }

    int open() override {
        if (port_) {
            return DeviceOk;
        }
        for (const auto api : compiledApis()) {
            if (api == RtMidi::RTMIDI_DUMMY) {
                continue;
            }
            auto port = makeRtMidi<RtMidiOut>(api);
            if (!port) {
                continue;
            }
            try {
                const unsigned count = port->getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    if (port->getPortName(i) == name_) {
                        port->openPort(i, "Reedtab Midi Out");
                        if (port->isPortOpen()) {
                            port_ = std::move(port);
                            lost_.store(false);
                            lastCheck_.store(Clock::now().time_since_epoch().count());
                            return DeviceOk;
                        }
                    }
                }
            } catch (const std::exception&) {
            }
        }
        return DeviceNotFound;
    }

    void close() override {
        if (!port_) {
            return;
        }
        try {
            port_->closePort();
        } catch (const std::exception&) {
        }
        port_.reset();
    }

    int shortMessage(std::uint32_t packed) override {
        unsigned char bytes[3] = {static_cast<unsigned char>(packed),
                                  static_cast<unsigned char>(packed >> 8),
                                  static_cast<unsigned char>(packed >> 16)};
        return send(bytes, shortMessageLength(packed));
    }

    int longMessage(const std::uint8_t* bytes, std::size_t length) override {
        return send(bytes, length);
    }

    int reset() override {
        // The port's equivalent of a device reset: all sound and all notes off everywhere.
        int result = DeviceOk;
        for (std::uint32_t channel = 0; channel < 16; ++channel) {
            for (std::uint32_t controller : {120u, 123u}) {
                const int sent = shortMessage(0xB0 | channel | controller << 8);
                if (sent != DeviceOk) {
                    result = sent;
                }
            }
        }
        return result;
    }

private:
    using Clock = std::chrono::steady_clock;

    int send(const unsigned char* bytes, std::size_t length) {
        if (!port_) {
            return DeviceNotOpen;
        }
        if (lost_.load()) {
            return DeviceError;
        }
        try {
            port_->sendMessage(bytes, length);
        } catch (const std::exception&) {
            lost_.store(true);
            return DeviceError;
        }
        const auto now = Clock::now().time_since_epoch().count();
        auto last = lastCheck_.load();
        if (now - last >= Clock::duration(kPortCheckInterval).count() &&
            lastCheck_.compare_exchange_strong(last, now) && !destinationListed()) {
            lost_.store(true);
            return DeviceError;
        }
        return DeviceOk;
    }

    bool destinationListed() {
        try {
            const unsigned count = port_->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                if (port_->getPortName(i) == name_) {
                    return true;
                }
            }
        } catch (const std::exception&) {
        }
        return false;
    }

    std::string name_;
    std::unique_ptr<RtMidiOut> port_;
    std::atomic<bool> lost_{false};
    std::atomic<Clock::rep> lastCheck_{0};
};

} // namespace

std::vector<std::string> outputDeviceNames() {
    std::vector<std::string> names{kMidiMapperName};
    for (auto& name : portNames<RtMidiOut>()) {
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> inputDeviceNames() {
    return portNames<RtMidiIn>();
}

std::unique_ptr<OutputDevice> makePortOutput(const std::string& portName) {
    return std::make_unique<PortOutput>(portName);
}

void SystemOutputProvider::prepare(const std::string& soundFont) {
    if (!synth_) {
        soundFont_ = soundFont;
        synth_ =
            std::make_unique<SynthOutput>(true, soundFont_, 44100, SoundFontLoading::InBackground);
    }
}

bool SystemOutputProvider::isReady(int index) {
    return index >= 0 || !synth_ || synth_->isReady();
}

bool SystemOutputProvider::isHeard(int index) {
    return index >= 0 || !synth_ || synth_->hasAudio();
}

int SystemOutputProvider::deviceCount() {
    auto names = outputDeviceNames();
    ports_.assign(names.begin() + 1, names.end());
    return static_cast<int>(ports_.size());
}

void SystemOutputProvider::loadSoundFont(const std::string& soundFont) {
    loading_ =
        std::make_unique<SynthOutput>(true, soundFont, 44100, SoundFontLoading::InBackground);
}

SoundFontLoad SystemOutputProvider::soundFontLoad(int& result) {
    if (!loading_) {
        return SoundFontLoad::None;
    }
    if (!loading_->isReady()) {
        return SoundFontLoad::Loading;
    }
    result = loading_->soundFontResult();
    return result == SoundFontLoaded ? SoundFontLoad::Loaded : SoundFontLoad::Failed;
}

void SystemOutputProvider::finishSoundFontLoad(bool adopt) {
    if (!loading_ || !loading_->isReady()) {
        return;
    }
    if (adopt && loading_->soundFontResult() == SoundFontLoaded) {
        soundFont_ = loading_->soundFontPath();
        synth_ = std::move(loading_);
    }
    loading_.reset();
}

std::string SystemOutputProvider::soundFontInUse() const {
    return synth_ ? synth_->soundFontPath() : std::string();
}

std::unique_ptr<OutputDevice> SystemOutputProvider::create(int index) {
    if (index < 0) {
        if (!synth_) {
            synth_ = std::make_unique<SynthOutput>(true, soundFont_);
        }
        return std::make_unique<ForwardingOutput>(*synth_);
    }
    if (index >= static_cast<int>(ports_.size())) {
        return nullptr;
    }
    return makePortOutput(ports_[index]);
}

} // namespace reedtab
