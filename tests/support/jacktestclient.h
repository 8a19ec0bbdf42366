#pragma once

// A JACK client of the tests' own, on the server the test script started: a MIDI input that
// keeps every message with its arrival time, a MIDI output that sends what the test queues, and
// two audio inputs that keep the loudest sample they heard. Never starts a server.

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace reedtab::testing {

struct ReceivedMessage {
    std::vector<std::uint8_t> bytes;
    /// Arrival on the steady clock (the frame the message starts in, as JACK times it).
    std::chrono::nanoseconds time;
};

class JackTestClient {
public:
    /// Opens the client `name`; `isOpen` is false when no JACK server runs.
    explicit JackTestClient(const std::string& name);
    ~JackTestClient();
    JackTestClient(const JackTestClient&) = delete;
    JackTestClient& operator=(const JackTestClient&) = delete;

    bool isOpen() const { return client_ != nullptr; }
    /// Full port names, as MIDI port lists show them.
    std::string midiInName() const;
    std::string midiOutName() const;

    /// Sends `bytes` from the MIDI output in the next process cycle.
    void send(std::vector<std::uint8_t> bytes);
    std::vector<ReceivedMessage> received() const;
    /// Waits until `count` messages have arrived or `timeout` passed; true when they did.
    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;

    /// Connects every audio output port of client `source` to the audio inputs; false when
    /// it has none.
    bool connectAudioFrom(const std::string& source);
    /// The largest absolute sample the audio inputs got since the last call.
    float takeAudioPeak();

    /// Closes the client, so its ports disappear.
    void close();

private:
    static int process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    jack_port_t* midiIn_ = nullptr;
    jack_port_t* midiOut_ = nullptr;
    jack_port_t* audioIn_[2] = {nullptr, nullptr};
    mutable std::mutex mutex_;
    std::vector<ReceivedMessage> received_;
    std::vector<std::vector<std::uint8_t>> outgoing_;
    std::atomic<float> peak_{0.0f};
};

} // namespace reedtab::testing
