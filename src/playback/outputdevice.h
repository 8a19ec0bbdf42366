#pragma once

#include "playback/clock.h"
#include "settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace reedtab {

/// Result codes of the device layer (0 is success).
enum DeviceResult : int {
    DeviceOk = 0,
    DeviceError = 1,
    DeviceNotFound = 2,
    DeviceNotOpen = 3,
};

/// A MIDI output: the built-in synthesizer, an RtMidi port or a recording. Short messages are
/// packed as status | data1 << 8 | data2 << 16; the number of bytes that count follows from
/// the status. Implementations must accept calls from the GUI thread and the stream's timer
/// thread (never at the same time for open/close).
class OutputDevice {
public:
    virtual ~OutputDevice() = default;
    virtual int open() = 0;
    virtual void close() = 0;
    virtual int shortMessage(std::uint32_t packed) = 0;
    /// A complete system exclusive message, F0 ... F7.
    virtual int longMessage(const std::uint8_t* bytes, std::size_t length) = 0;
    /// All sound off at the device.
    virtual int reset() = 0;
};

/// Bytes of a packed short message that the status says are meaningful (1, 2 or 3).
std::size_t shortMessageLength(std::uint32_t packed);

/// One message as it reached a RecordingOutput.
struct RecordedMessage {
    Nanoseconds time;
    std::int64_t streamTick; ///< from the tick source, -1 without one
    std::vector<std::uint8_t> bytes;
};

/// Keeps every message with the clock's time; for tests, the trace command and benchmarks.
/// Thread safe.
class RecordingOutput final : public OutputDevice {
public:
    explicit RecordingOutput(const Clock& clock) : clock_(clock) {}
    /// Where the stream tick of each message comes from (for example the stream position).
    void setTickSource(std::function<std::int64_t()> source);
    /// Called with every message as it arrives, on the sender's thread.
    void setListener(std::function<void(const RecordedMessage&)> listener);
    /// When false, messages are passed to the listener but not kept.
    void setKeep(bool keep);

    int open() override;
    void close() override;
    int shortMessage(std::uint32_t packed) override;
    int longMessage(const std::uint8_t* bytes, std::size_t length) override;
    int reset() override;

    std::vector<RecordedMessage> messages() const;
    void clear();
    int resetCount() const;
    bool isOpen() const;

private:
    void record(std::vector<std::uint8_t> bytes);

    const Clock& clock_;
    mutable std::mutex mutex_;
    std::function<std::int64_t()> tickSource_;
    std::function<void(const RecordedMessage&)> listener_;
    std::vector<RecordedMessage> messages_;
    bool keep_ = true;
    bool open_ = false;
    int resets_ = 0;
};

/// Passes everything to a device that someone else owns (the caller keeps it alive).
class ForwardingOutput final : public OutputDevice {
public:
    explicit ForwardingOutput(OutputDevice& target) : target_(target) {}
    int open() override { return target_.open(); }
    void close() override { target_.close(); }
    int shortMessage(std::uint32_t packed) override { return target_.shortMessage(packed); }
    int longMessage(const std::uint8_t* bytes, std::size_t length) override {
        return target_.longMessage(bytes, length);
    }
    int reset() override { return target_.reset(); }

private:
    OutputDevice& target_;
};

/// What became of a SoundFont the built-in synthesizer was asked to read (0 is success).
enum SoundFontResult : int {
    SoundFontLoaded = 0,
    SoundFontCannotOpen = 1,    ///< no such file, or it cannot be read
    SoundFontNotASoundFont = 2, ///< the file is not a SoundFont (.sf2 or .sf3)
    SoundFontDamaged = 3,       ///< a SoundFont's header, but the synthesizer could not load it
    SoundFontNoneInstalled = 4, ///< the system's default was asked for and there is none
    SoundFontNoSynthesizer = 5, ///< the synthesizer library could not be opened
};

/// Where a change of the built-in synthesizer's SoundFont stands (`OutputProvider`).
enum class SoundFontLoad {
    None,    ///< no change asked for
    Loading, ///< being read, on a thread of its own
    Loaded,  ///< read; waiting to take the place of the synthesizer in use
    Failed,  ///< could not be read; the synthesizer in use stays
};

/// When the built-in synthesizer reads its SoundFont.
enum class SoundFontLoading {
    Now, ///< in the constructor
    /// on a thread of its own: `open` does not wait for it, messages are ignored until it is
    /// done, `soundFontPath` and `render` wait for it
    InBackground,
};

/// The built-in General MIDI synthesizer. With `withAudio` it plays through the system's
/// audio with a short buffer, and keeps running silently when no audio driver opens; without
/// it, sound is only produced by `render` (offline rendering). It never starts an audio
/// server: the desktop's sound server is tried first, then ALSA, then JACK only when a JACK
/// server already runs.
class SynthOutput final : public OutputDevice {
public:
    /// `soundFont` empty: the first of the system's GM SoundFonts that exists.
    SynthOutput(bool withAudio, std::string soundFont = {}, int sampleRate = 44100,
                SoundFontLoading loading = SoundFontLoading::Now);
    ~SynthOutput() override;
    SynthOutput(const SynthOutput&) = delete;
    SynthOutput& operator=(const SynthOutput&) = delete;

    int open() override;
    void close() override;
    int shortMessage(std::uint32_t packed) override;
    int longMessage(const std::uint8_t* bytes, std::size_t length) override;
    int reset() override;

    /// False while the SoundFont is still being read.
    bool isReady() const;
    /// The SoundFont that was loaded, empty when none could be.
    const std::string& soundFontPath() const;
    /// What became of the SoundFont asked for (a SoundFontResult); waits for the load.
    int soundFontResult() const;
    bool hasAudio() const;
    int sampleRate() const;
    /// Renders `frames` stereo frames as interleaved 16-bit samples (offline use only).
    void render(std::int16_t* interleaved, int frames);
    /// The audio drivers `open` tries, in order (before the first `open`); the default is
    /// "pulseaudio", "alsa", "jack". "jack" is skipped unless a JACK server runs.
    void setAudioDrivers(std::vector<std::string> drivers);

    /// The SoundFont the synthesizer takes when none is named ("" when none is installed).
    static std::string defaultSoundFont();
    /// Whether `path` can be read and starts as a SoundFont does (SoundFontLoaded,
    /// SoundFontCannotOpen or SoundFontNotASoundFont); reads only its first bytes.
    static int checkSoundFont(const std::string& path);
    /// The name of the synthesizer's audio client (its JACK ports are "<name>:left" ...).
    static constexpr const char* kAudioClientName = "Reedtab Midi Synth";

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// The output device list: "Midi Mapper" (kMidiMapperName, the built-in synthesizer) first, then
/// every RtMidi output port by name. Never throws; a machine without a MIDI system gives just the
/// first entry.
std::vector<std::string> outputDeviceNames();
/// The RtMidi input ports by name (empty without a MIDI system).
std::vector<std::string> inputDeviceNames();

/// An RtMidi output port, opened by name when `open` is called.
std::unique_ptr<OutputDevice> makePortOutput(const std::string& portName);

/// True when a JACK server is running (never starts one).
bool jackServerRunning();

/// A machine without a sound card or MIDI system is an ordinary case here, so the ALSA and JACK
/// libraries' complaints about it on stderr are switched off (once per process, any thread).
void quietenSoundSystem();

/// Makes the device for an output index: -1 is "Midi Mapper", i is entry i + 1 of the list.
class OutputProvider {
public:
    virtual ~OutputProvider() = default;
    /// Starts making, on another thread, the devices that take long to make (the built-in
    /// synthesizer reading `soundFont`, "" for the default), so that `create` is quick later.
    virtual void prepare(const std::string& soundFont) { static_cast<void>(soundFont); }
    /// False while the device of `index` is still being prepared (`create` would wait).
    virtual bool isReady(int index) {
        static_cast<void>(index);
        return true;
    }
    /// Number of device indices apart from the mapper (so valid indices are -1 .. count - 1).
    virtual int deviceCount() = 0;
    /// False when the open device of `index` plays where nobody hears it: the built-in
    /// synthesizer that found no audio device.
    virtual bool isHeard(int index) {
        static_cast<void>(index);
        return true;
    }
    /// Total number of outputs, the mapper included (0: no output at all).
    virtual int outputCount() { return deviceCount() + 1; }
    virtual std::unique_ptr<OutputDevice> create(int index) = 0;

    /// True when the built-in synthesizer can take another SoundFont while the program runs.
    virtual bool canLoadSoundFont() const { return false; }
    /// Starts reading `soundFont` ("" for the system's default) into a second synthesizer on a
    /// thread of its own, while the one in use plays on. Only when `canLoadSoundFont` and no
    /// load is under way.
    virtual void loadSoundFont(const std::string& soundFont) { static_cast<void>(soundFont); }
    /// Where the last load stands; once it ended, `result` is its SoundFontResult.
    virtual SoundFontLoad soundFontLoad(int& result) {
        static_cast<void>(result);
        return SoundFontLoad::None;
    }
    /// Ends a load that is no longer Loading: with `adopt` a Loaded synthesizer takes the place
    /// of the one in use, which is freed; otherwise the new one is dropped. The mapper's device
    /// must not be open meanwhile (the player closed around it).
    virtual void finishSoundFontLoad(bool adopt) { static_cast<void>(adopt); }
};

/// The program's devices: the built-in synthesizer for the mapper, RtMidi ports for the rest.
class SystemOutputProvider final : public OutputProvider {
public:
    explicit SystemOutputProvider(std::string soundFont = {}) : soundFont_(std::move(soundFont)) {}
    void prepare(const std::string& soundFont) override;
    bool isReady(int index) override;
    int deviceCount() override;
    bool isHeard(int index) override;
    std::unique_ptr<OutputDevice> create(int index) override;
    bool canLoadSoundFont() const override { return true; }
    void loadSoundFont(const std::string& soundFont) override;
    SoundFontLoad soundFontLoad(int& result) override;
    void finishSoundFontLoad(bool adopt) override;

    /// The SoundFont the mapper plays with ("" when none could be read); waits for its load.
    std::string soundFontInUse() const;

private:
    std::string soundFont_;
    std::vector<std::string> ports_;
    std::unique_ptr<SynthOutput> synth_;   // made by `prepare` or on first use of the mapper
    std::unique_ptr<SynthOutput> loading_; // the next one, while `loadSoundFont` reads it
};

/// Every index maps to one device owned by the caller: tests, trace and render.
class SingleOutputProvider final : public OutputProvider {
public:
    explicit SingleOutputProvider(OutputDevice& device) : device_(device) {}
    int deviceCount() override { return 0; }
    std::unique_ptr<OutputDevice> create(int) override {
        return std::make_unique<ForwardingOutput>(device_);
    }

private:
    OutputDevice& device_;
};

} // namespace reedtab
