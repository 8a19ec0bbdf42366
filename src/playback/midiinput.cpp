#include "playback/midiinput.h"

#include "playback/internal/systemquiet.h"
#include "playback/outputdevice.h"

#include <RtMidi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace reedtab {

NoteInput makeNoteInput(std::uint32_t action, std::uint32_t channel, std::uint32_t data1,
                        std::uint32_t data2, std::uint32_t tick) {
    return NoteInput{(data1 & 0xFF) | (data2 & 0xFF) << 8,
                     (action & 0x7) << 29 | (channel & 0x0F) << 25 | (tick & 0x1FFFFFF)};
}

std::optional<NoteInput> convertInputMessage(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes || length == 0) {
        return std::nullopt;
    }
    const std::uint32_t status = bytes[0];
    if (status < 0x80 || status >= 0xF0) {
        return std::nullopt;
    }
    const std::uint32_t channel = status & 0x0F;
    const std::uint32_t data1 = length > 1 ? bytes[1] & 0x7F : 0;
    const std::uint32_t data2 = length > 2 ? bytes[2] & 0x7F : 0;
    switch (status & 0xF0) {
    case 0x90:
        if (length < 3) {
            return std::nullopt;
        }
        return makeNoteInput(data2 > 0 ? NoteInputNoteOn : NoteInputNoteOff, channel, data1, data2);
    case 0x80:
        if (length < 3) {
            return std::nullopt;
        }
        return makeNoteInput(NoteInputNoteOff, channel, data1, data2);
    case 0xC0:
        if (length < 2) {
            return std::nullopt;
        }
        return makeNoteInput(NoteInputProgram, channel, data1, 0);
    case 0xE0:
        if (length < 3) {
            return std::nullopt;
        }
        return makeNoteInput(NoteInputPitchWheel, channel, data1, data2);
    default:
        return std::nullopt;
    }
}

struct MidiInput::Impl {
    std::atomic<NoteInputWindow*> window{nullptr};
    // Deliveries under way. The frame's window only queues, but a window that waited for the
    // GUI thread would deadlock it when a port is closed (which joins the input thread) while a
    // delivery runs; such a port is closed by a helper thread instead, joined later.
    std::atomic<int> inFlight{0};
    std::unique_ptr<RtMidiIn> port;
    std::thread closer;

    void joinCloser() {
        if (closer.joinable()) {
            closer.join();
        }
    }
};

namespace {

void rtMidiInputCallback(double, std::vector<unsigned char>* message, void* user) {
    if (message && !message->empty()) {
        static_cast<MidiInput*>(user)->deliver(message->data(), message->size());
    }
}

void ignoreInputError(RtMidiError::Type, const std::string&, void*) {}

void closePort(std::unique_ptr<RtMidiIn> port) {
    try {
        port->cancelCallback();
        port->closePort();
    } catch (const std::exception&) {
    }
}

} // namespace

MidiInput::MidiInput() : impl_(std::make_unique<Impl>()) {}

MidiInput::~MidiInput() {
    closeInput();
    impl_->joinCloser();
}

int MidiInput::openInput(int index, NoteInputWindow* window) {
    closeInput();
    if (index < 0) {
        return -1;
    }
    const auto names = inputDeviceNames();
    if (index >= static_cast<int>(names.size())) {
        return -1;
    }
    impl_->joinCloser();
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    for (const auto api : apis) {
        if (api == RtMidi::RTMIDI_DUMMY) {
            continue;
        }
        try {
            quietenSoundSystem();
            auto port = [api] {
                internal::CerrMute mute;
                return std::make_unique<RtMidiIn>(api, "Reedtab Midi");
            }();
            port->setErrorCallback(&ignoreInputError, nullptr);
            const unsigned count = port->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                if (port->getPortName(i) != names[index]) {
                    continue;
                }
                impl_->window.store(window);
                port->ignoreTypes(true, true, true);
                port->setCallback(&rtMidiInputCallback, this);
                port->openPort(i, "Reedtab Midi In");
                if (!port->isPortOpen()) {
                    break;
                }
                impl_->port = std::move(port);
                return 0;
            }
        } catch (const std::exception&) {
        }
    }
    impl_->window.store(nullptr);
    return -1;
}

void MidiInput::closeInput() {
    impl_->window.store(nullptr);
    auto port = std::move(impl_->port);
    if (!port) {
        return;
    }
    if (impl_->inFlight.load() == 0) {
        closePort(std::move(port));
        return;
    }
    impl_->joinCloser();
    impl_->closer = std::thread([port = std::move(port)]() mutable { closePort(std::move(port)); });
}

bool MidiInput::isOpen() const {
    return impl_->port != nullptr;
}

void MidiInput::deliver(const std::uint8_t* bytes, std::size_t length) {
    const auto input = convertInputMessage(bytes, length);
    if (!input) {
        return;
    }
    impl_->inFlight.fetch_add(1);
    if (NoteInputWindow* window = impl_->window.load()) {
        window->sendNoteInput(*input);
    }
    impl_->inFlight.fetch_sub(1);
}

void MidiInput::setWindow(NoteInputWindow* window) {
    impl_->window.store(window);
}

} // namespace reedtab
