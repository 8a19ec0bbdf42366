#include "listen/audioinput.h"

#include "listen/internal/listenlibs.h"
#include "listen/spscqueue.h"
#include "playback/outputdevice.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <utility>

namespace reedtab {

using internal::RtAudioApi;

namespace {

// One device of one sound system, as RtAudio counts them.
struct DeviceEntry {
    rtaudio_api_t api = RTAUDIO_API_UNSPECIFIED;
    int index = 0;
    std::string system;
    std::string device;
    unsigned inputs = 0;
    unsigned outputs = 0;
    bool defaultInput = false;
    bool defaultOutput = false;

    std::string name() const { return system + ": " + device; }
};

// RtAudio's C interface frees what an instance holds but never the instance itself (some 500
// bytes each time), so instances are kept, closed, and used again: a list for each system. The
// list is never destroyed, so that the instances stay reachable up to the very end.
std::mutex instancesMutex;

std::vector<std::pair<rtaudio_api_t, rtaudio_t>>& spareInstances() {
    static auto* spare = new std::vector<std::pair<rtaudio_api_t, rtaudio_t>>();
    return *spare;
}

rtaudio_t takeInstance(const RtAudioApi& rt, rtaudio_api_t api) {
    {
        std::lock_guard lock(instancesMutex);
        auto& spare = spareInstances();
        for (auto it = spare.begin(); it != spare.end(); ++it) {
            if (it->first == api) {
                rtaudio_t audio = it->second;
                spare.erase(it);
                return audio;
            }
        }
    }
    rtaudio_t audio = rt.create(api);
    if (audio) {
        rt.showWarnings(audio, 0);
    }
    return audio;
}

void giveBack(rtaudio_api_t api, rtaudio_t audio) {
    std::lock_guard lock(instancesMutex);
    spareInstances().emplace_back(api, audio);
}

// The systems in the order a default device is looked for; JACK only when a server already
// runs, since asking it about devices otherwise may start one.
std::vector<rtaudio_api_t> systems(const RtAudioApi& rt) {
    std::vector<rtaudio_api_t> order;
    const rtaudio_api_t* compiled = rt.compiledApis();
    const unsigned count = rt.compiledApiCount();
    for (rtaudio_api_t wanted :
         {RTAUDIO_API_LINUX_PULSE, RTAUDIO_API_LINUX_ALSA, RTAUDIO_API_UNIX_JACK}) {
        if (std::find(compiled, compiled + count, wanted) == compiled + count) {
            continue;
        }
        if (wanted == RTAUDIO_API_UNIX_JACK && !jackServerRunning()) {
            continue;
        }
        order.push_back(wanted);
    }
    return order;
}

std::vector<DeviceEntry> allDevices() {
    const RtAudioApi* rt = internal::rtAudioApi();
    if (!rt) {
        return {};
    }
    quietenSoundSystem();
    std::vector<DeviceEntry> devices;
    for (rtaudio_api_t api : systems(*rt)) {
        rtaudio_t audio = takeInstance(*rt, api);
        if (!audio) {
            continue;
        }
        const int count = rt->deviceCount(audio);
        for (int i = 0; i < count; ++i) {
            const rtaudio_device_info_t info = rt->deviceInfo(audio, i);
            if (!info.probed) {
                continue;
            }
            DeviceEntry entry;
            entry.api = api;
            entry.index = i;
            entry.system = rt->apiDisplayName(api);
            entry.device = info.name;
            entry.inputs = info.input_channels;
            entry.outputs = info.output_channels;
            entry.defaultInput = info.is_default_input != 0;
            entry.defaultOutput = info.is_default_output != 0;
            devices.push_back(std::move(entry));
        }
        giveBack(api, audio);
    }
    return devices;
}

// The device called `name` with channels in the wanted direction: "System: device" exactly, else
// the first whose bare device name matches; "" the first system's default, else its first.
const DeviceEntry* findDevice(const std::vector<DeviceEntry>& devices, const std::string& name,
                              bool capture) {
    auto usable = [capture](const DeviceEntry& d) {
        return capture ? d.inputs > 0 : d.outputs > 0;
    };
    if (name.empty()) {
        for (const DeviceEntry& d : devices) {
            if (usable(d) && (capture ? d.defaultInput : d.defaultOutput)) {
                return &d;
            }
        }
        for (const DeviceEntry& d : devices) {
            if (usable(d)) {
                return &d;
            }
        }
        return nullptr;
    }
    for (const DeviceEntry& d : devices) {
        if (usable(d) && d.name() == name) {
            return &d;
        }
    }
    for (const DeviceEntry& d : devices) {
        if (usable(d) && d.device == name) {
            return &d;
        }
    }
    return nullptr;
}

std::vector<std::string> namesOf(bool capture) {
    std::vector<std::string> names;
    for (const DeviceEntry& d : allDevices()) {
        if (capture ? d.inputs > 0 : d.outputs > 0) {
            names.push_back(d.name());
        }
    }
    return names;
}

} // namespace

std::vector<std::string> captureDeviceNames() {
    return namesOf(true);
}

std::vector<std::string> playbackDeviceNames() {
    return namesOf(false);
}

struct AudioInput::Impl {
    explicit Impl(const Clock& c, std::size_t blocks) : clock(c), queue(blocks) {}

    const Clock& clock;
    SpscQueue<AudioBlock> queue;
    const RtAudioApi* rt = nullptr;
    rtaudio_api_t api = RTAUDIO_API_UNSPECIFIED;
    rtaudio_t audio = nullptr;
    int rate = 0;
    std::string error;
    AudioSource* source = nullptr;
    // Written by the audio thread while the stream runs, by the owner while it is stopped.
    std::uint64_t frame = 0;
    std::atomic<std::uint64_t> dropped{0};
    // Stored at the end of every callback and read once the stream has stopped: the sound
    // system's own hand-over of the thread is invisible to ThreadSanitizer, this one is not.
    std::atomic<std::uint64_t> callbacks{0};

    static int callback(void* out, void* in, unsigned int frames, double, rtaudio_stream_status_t,
                        void* data) {
        static_cast<Impl*>(data)->process(static_cast<float*>(out), static_cast<const float*>(in),
                                          frames);
        return 0;
    }

    void process(float* out, const float* in, unsigned int frames) {
        if (out) {
            if (source) {
                source->render(out, frame, frames);
            } else {
                std::fill(out, out + frames, 0.0f);
            }
        }
        if (in) {
            // The callback runs once the whole buffer has been captured: its first frame is
            // the buffer's length older than now.
            const std::int64_t now = clock.now().count();
            AudioBlock block;
            for (unsigned int offset = 0; offset < frames;) {
                const auto count = static_cast<std::uint32_t>(
                    std::min<std::size_t>(AudioBlock::kCapacity, frames - offset));
                block.firstFrame = frame + offset;
                block.clockNs =
                    now - static_cast<std::int64_t>(frames - offset) * 1000000000 / rate;
                block.count = count;
                std::memcpy(block.samples.data(), in + offset, count * sizeof(float));
                if (!queue.tryPush(block)) {
                    dropped.fetch_add(count, std::memory_order_relaxed);
                }
                offset += count;
            }
        }
        frame += frames;
        callbacks.fetch_add(1, std::memory_order_release);
    }

    int fail(int code) {
        if (audio) {
            const char* text = rt->error(audio);
            error = text ? text : "";
            giveBack(api, audio);
            audio = nullptr;
        }
        return code;
    }

    int openStream(const DeviceEntry& input, const DeviceEntry* output, int sampleRate) {
        api = input.api;
        audio = takeInstance(*rt, api);
        if (!audio) {
            return ListenDeviceError;
        }
        rate = sampleRate;
        frame = 0;
        rtaudio_stream_parameters_t in{};
        in.device_id = static_cast<unsigned>(input.index);
        in.num_channels = 1;
        rtaudio_stream_parameters_t outParams{};
        if (output) {
            outParams.device_id = static_cast<unsigned>(output->index);
            outParams.num_channels = 1;
        }
        rtaudio_stream_options_t options{};
        std::strncpy(options.name, kClientName, sizeof options.name - 1);
        // Short buffers: every frame of buffering delays the judged notes.
        unsigned int bufferFrames = AudioBlock::kCapacity;
        // RtAudio's own error callback takes a C++ string, so none is given: its errors come
        // back through the result and `rtaudio_error`.
        if (rt->openStream(audio, output ? &outParams : nullptr, &in, RTAUDIO_FORMAT_FLOAT32,
                           static_cast<unsigned>(sampleRate), &bufferFrames, &Impl::callback, this,
                           &options, nullptr) != 0 ||
            !rt->isStreamOpen(audio)) {
            return fail(ListenDeviceError);
        }
        return ListenOk;
    }
};

AudioInput::AudioInput(const Clock& clock, std::size_t queueBlocks)
    : impl_(std::make_unique<Impl>(clock, queueBlocks)) {}

AudioInput::~AudioInput() {
    close();
}

int AudioInput::open(const std::string& device, int rate) {
    return openStream(device, nullptr, rate, nullptr);
}

int AudioInput::openDuplex(const std::string& device, const std::string& output, int rate,
                           AudioSource& source) {
    return openStream(device, &output, rate, &source);
}

int AudioInput::openStream(const std::string& device, const std::string* output, int rate,
                           AudioSource* source) {
    close();
    if (rate != 44100 && rate != 48000) {
        return ListenBadRate;
    }
    impl_->rt = internal::rtAudioApi();
    if (!impl_->rt) {
        return ListenNoLibrary;
    }
    const auto devices = allDevices();
    const DeviceEntry* input = findDevice(devices, device, true);
    const DeviceEntry* playback = output ? findDevice(devices, *output, false) : nullptr;
    if (!input || (output && !playback)) {
        return ListenNoDevice;
    }
    if (playback && input->api != playback->api) {
        return ListenDifferentSystems;
    }
    impl_->source = source;
    return impl_->openStream(*input, playback, rate);
}

int AudioInput::start() {
    if (!impl_->audio) {
        return ListenDeviceError;
    }
    if (impl_->rt->startStream(impl_->audio) != 0) {
        const char* text = impl_->rt->error(impl_->audio);
        impl_->error = text ? text : "";
        return ListenDeviceError;
    }
    return ListenOk;
}

void AudioInput::close() {
    if (!impl_->audio) {
        return;
    }
    // Aborting rather than stopping: nothing played needs draining, and RtAudio's JACK backend
    // waits for the drain on a condition without holding its mutex.
    impl_->rt->abortStream(impl_->audio);
    impl_->callbacks.load(std::memory_order_acquire);
    impl_->rt->closeStream(impl_->audio);
    giveBack(impl_->api, impl_->audio);
    impl_->audio = nullptr;
}

bool AudioInput::isOpen() const {
    return impl_->audio != nullptr;
}

int AudioInput::rate() const {
    return impl_->rate;
}

const std::string& AudioInput::errorText() const {
    return impl_->error;
}

bool AudioInput::pop(AudioBlock& block) {
    return impl_->queue.tryPop(block);
}

std::uint64_t AudioInput::droppedFrames() const {
    return impl_->dropped.load(std::memory_order_relaxed);
}

struct AudioFile::Impl {
    const internal::SndfileApi* sf = nullptr;
    SNDFILE* file = nullptr;
    SF_INFO info{};
    std::string error;
    std::vector<float> interleaved;

    void closeFile() {
        if (file) {
            sf->close(file);
            file = nullptr;
        }
    }
};

AudioFile::AudioFile() : impl_(std::make_unique<Impl>()) {}

AudioFile::~AudioFile() {
    impl_->closeFile();
}

int AudioFile::open(const std::string& path) {
    impl_->closeFile();
    impl_->error.clear();
    impl_->sf = internal::sndfileApi();
    if (!impl_->sf) {
        impl_->error = "the audio file library (libsndfile) cannot be loaded";
        return ListenNoLibrary;
    }
    impl_->info = SF_INFO{};
    impl_->file = impl_->sf->open(path.c_str(), SFM_READ, &impl_->info);
    if (!impl_->file) {
        impl_->error = impl_->sf->errorText(nullptr);
        return ListenBadFile;
    }
    if (impl_->info.channels < 1 || impl_->info.samplerate < 1) {
        impl_->closeFile();
        impl_->error = "no audio channels";
        return ListenBadFile;
    }
    return ListenOk;
}

int AudioFile::rate() const {
    return impl_->file ? impl_->info.samplerate : 0;
}

std::int64_t AudioFile::frames() const {
    return impl_->file ? impl_->info.frames : 0;
}

std::size_t AudioFile::read(float* out, std::size_t frames) {
    if (!impl_->file || frames == 0) {
        return 0;
    }
    const auto channels = static_cast<std::size_t>(impl_->info.channels);
    if (channels == 1) {
        const sf_count_t got =
            impl_->sf->readFloat(impl_->file, out, static_cast<sf_count_t>(frames));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    impl_->interleaved.resize(frames * channels);
    const sf_count_t got = impl_->sf->readFloat(impl_->file, impl_->interleaved.data(),
                                                static_cast<sf_count_t>(frames));
    const std::size_t count = got > 0 ? static_cast<std::size_t>(got) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        float sum = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) {
            sum += impl_->interleaved[i * channels + c];
        }
        out[i] = sum / static_cast<float>(channels);
    }
    return count;
}

const std::string& AudioFile::errorText() const {
    return impl_->error;
}

int readAudioFile(const std::string& path, std::vector<float>& samples, int& rate,
                  std::string* error) {
    AudioFile file;
    const int result = file.open(path);
    if (result != ListenOk) {
        if (error) {
            *error = file.errorText();
        }
        return result;
    }
    rate = file.rate();
    samples.clear();
    std::vector<float> chunk(65536);
    while (const std::size_t got = file.read(chunk.data(), chunk.size())) {
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + static_cast<long>(got));
    }
    return ListenOk;
}

} // namespace reedtab
