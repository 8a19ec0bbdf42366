#include "jacktestclient.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <thread>

namespace reedtab::testing {

JackTestClient::JackTestClient(const std::string& name) {
    jack_status_t status{};
    client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (!client_) {
        return;
    }
    midiIn_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    midiOut_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    audioIn_[0] = jack_port_register(client_, "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    audioIn_[1] = jack_port_register(client_, "right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackTestClient::process, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
    }
}

JackTestClient::~JackTestClient() {
    close();
}

void JackTestClient::close() {
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
        client_ = nullptr;
    }
}

std::string JackTestClient::midiInName() const {
    return jack_port_name(midiIn_);
}

std::string JackTestClient::midiOutName() const {
    return std::string(jack_get_client_name(client_)) + ":out";
}

void JackTestClient::send(std::vector<std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    outgoing_.push_back(std::move(bytes));
}

std::vector<ReceivedMessage> JackTestClient::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool JackTestClient::waitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard lock(mutex_);
            if (received_.size() >= count) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool JackTestClient::connectAudioFrom(const std::string& source) {
    const char** ports =
        jack_get_ports(client_, (source + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    if (!ports) {
        return false;
    }
    int connected = 0;
    for (int i = 0; ports[i]; ++i) {
        if (jack_connect(client_, ports[i], jack_port_name(audioIn_[i % 2])) == 0) {
            ++connected;
        }
    }
    jack_free(ports);
    return connected > 0;
}

float JackTestClient::takeAudioPeak() {
    return peak_.exchange(0.0f);
}

int JackTestClient::process(jack_nframes_t frames, void* data) {
    auto& self = *static_cast<JackTestClient*>(data);
    // JACK's own frame-to-time estimate wanders by milliseconds on a loaded machine, so the
    // arrival is the moment the cycle that carries the message runs here.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::lock_guard lock(self.mutex_);

    void* input = jack_port_get_buffer(self.midiIn_, frames);
    const jack_nframes_t count = jack_midi_get_event_count(input);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, input, i) != 0) {
            continue;
        }
        self.received_.push_back(
            {std::vector<std::uint8_t>(event.buffer, event.buffer + event.size), now});
    }

    {
        void* output = jack_port_get_buffer(self.midiOut_, frames);
        jack_midi_clear_buffer(output);
        for (const auto& bytes : self.outgoing_) {
            jack_midi_event_write(output, 0, bytes.data(), bytes.size());
        }
        self.outgoing_.clear();
    }

    float peak = self.peak_.load();
    for (jack_port_t* port : self.audioIn_) {
        const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            peak = std::max(peak, std::fabs(samples[i]));
        }
    }
    self.peak_.store(peak);
    return 0;
}

} // namespace reedtab::testing
