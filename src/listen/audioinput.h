#pragma once

// The sound that listening analyses: a capture device of the system's audio (PulseAudio, which
// PipeWire also serves, ALSA, or JACK) or an audio file.

#include "listen/listenresult.h"
#include "playback/clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {

/// Captured mono samples as the audio callback hands them to the analysis.
struct AudioBlock {
    static constexpr std::size_t kCapacity = 256;
    /// Frames the stream had captured before this block's first one.
    std::uint64_t firstFrame = 0;
    /// The clock's time of the first frame (ns), estimated in the callback, which runs once its
    /// buffer is full. RtAudio's JACK backend hands its callback the input of the cycle before,
    /// so there the frames are one period (5 ms) older than this says (measured by the JACK
    /// tests); the calibrated round trip takes that in.
    std::int64_t clockNs = 0;
    std::uint32_t count = 0;
    std::array<float, kCapacity> samples{};
};

/// What a stream plays while it captures (the calibration's clicks). `render` runs on the
/// audio thread: it must not block or allocate.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    /// Fills `frames` mono samples that the stream plays as its frames `firstFrame` onwards.
    virtual void render(float* out, std::uint64_t firstFrame, std::size_t frames) = 0;
};

/// The capture devices by name, "System: device" ("ALSA: default", "JACK: system" ...), in the
/// order the default is looked for: PulseAudio, ALSA, then JACK when a server runs (none is
/// ever started). Empty when RtAudio cannot be loaded. GUI thread.
std::vector<std::string> captureDeviceNames();
/// The playback devices by name, in the same form and order.
std::vector<std::string> playbackDeviceNames();

/// One capture stream, mono, 44100 or 48000 Hz. The audio callback never blocks or allocates:
/// it copies the samples into blocks of a lock-free queue made when the input is made, and
/// counts the frames it had to drop when the queue was full. Everything but `pop` belongs to
/// the thread that owns the input; `pop` to the one thread that analyses (it may be the same).
class AudioInput {
public:
    /// The client name the stream shows to JACK.
    static constexpr const char* kClientName = "Reedtab Midi Listen";

    /// `clock` times the blocks; it must outlive the input. `queueBlocks` blocks of
    /// AudioBlock::kCapacity frames can wait for the analysis.
    explicit AudioInput(const Clock& clock, std::size_t queueBlocks = 1024);
    ~AudioInput();
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    /// Opens capture device `device` by name ("System: device", or the bare device name of the
    /// first system that has it; "" the default capture device). ListenOk, ListenNoLibrary,
    /// ListenNoDevice, ListenBadRate (not 44100 or 48000) or ListenDeviceError.
    int open(const std::string& device, int rate);
    /// As `open`, and plays `source` on playback device `output` in the same stream, so that
    /// a frame played and a frame captured share one count (both devices of one sound system,
    /// else ListenDifferentSystems). `source` must outlive the stream.
    int openDuplex(const std::string& device, const std::string& output, int rate,
                   AudioSource& source);
    /// Starts capturing; ListenOk or ListenDeviceError.
    int start();
    /// Stops and closes the stream; blocks not yet popped stay in the queue.
    void close();
    bool isOpen() const;
    int rate() const;
    /// The sound system's message about the last failure; empty when there was none.
    const std::string& errorText() const;

    /// The oldest captured block; false when none waits. Analysis thread.
    bool pop(AudioBlock& block);
    /// Frames the callback dropped because the queue was full. Any thread.
    std::uint64_t droppedFrames() const;

private:
    int openStream(const std::string& device, const std::string* output, int rate,
                   AudioSource* source);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// An audio file (WAV, FLAC, Ogg and whatever else libsndfile reads), mixed down to mono.
class AudioFile {
public:
    AudioFile();
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    /// ListenOk, ListenNoLibrary or ListenBadFile (`errorText` says why).
    int open(const std::string& path);
    int rate() const;
    /// Frames in the file.
    std::int64_t frames() const;
    /// Reads up to `frames` mono frames into `out`; the number read, 0 at the end.
    std::size_t read(float* out, std::size_t frames);
    const std::string& errorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The whole of an audio file as mono samples; ListenOk or `AudioFile::open`'s code, with the
/// reason in `error` when one is given.
int readAudioFile(const std::string& path, std::vector<float>& samples, int& rate,
                  std::string* error = nullptr);

} // namespace reedtab
