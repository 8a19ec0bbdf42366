#include "listen/pitchtracker.h"

#include "listen/internal/listenlibs.h"

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

// Below F3 (175 Hz, hole 1 blow of a low F harp): room for a flat reed and A4 down to 430.
constexpr double kLowestHz = 150.0;

// YIN names no pitch whose period does not fit twice into the window; above this the
// harmonicas end (G7 and the overblows over it).
constexpr double kHighestHz = 4200.0;

} // namespace

double midiPitch(double hz, double a4) {
    return 69.0 + 12.0 * std::log2(hz / a4);
}

int defaultWindow(int rate) {
    int window = 256;
    while (window < 2.0 * rate / kLowestHz) {
        window *= 2;
    }
    return window;
}

int defaultHop(int rate) {
    return defaultWindow(rate) / 4;
}

struct PitchTracker::Impl {
    const internal::AubioApi* aubio = nullptr;
    aubio_pitch_t* pitch = nullptr;
    fvec_t* input = nullptr;
    fvec_t* output = nullptr;
    int status = ListenOk;
    int rate = 0;
    PitchOptions options;
    std::size_t filled = 0; // samples of the current hop in `input`
    std::size_t taken = 0;
    double lowestHz = 0.0;

    ~Impl() {
        if (pitch) {
            aubio->deletePitch(pitch);
        }
        if (input) {
            aubio->deleteVector(input);
        }
        if (output) {
            aubio->deleteVector(output);
        }
    }

    void analyse(std::vector<PitchFrame>& frames) {
        aubio->pitchDo(pitch, input, output);
        PitchFrame frame;
        frame.ms = static_cast<double>(taken) * 1000.0 / rate;
        frame.confidence = std::clamp<double>(aubio->confidence(pitch), 0.0, 1.0);
        const double hz = output->data[0];
        if (hz >= lowestHz && hz <= kHighestHz && frame.confidence >= options.minConfidence) {
            const double midi = midiPitch(hz, options.a4);
            frame.hz = hz;
            frame.note = static_cast<int>(std::lround(midi));
            frame.cents = (midi - frame.note) * 100.0;
        }
        frames.push_back(frame);
    }
};

PitchTracker::PitchTracker(int rate, const PitchOptions& options)
    : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.rate = rate;
    d.options = options;
    d.options.a4 = std::clamp(options.a4, kConcertPitchLow, kConcertPitchHigh);
    if (rate < 8000 || rate > 192000) {
        d.status = ListenBadRate;
        return;
    }
    if (d.options.window <= 0) {
        d.options.window = defaultWindow(rate);
    }
    if (d.options.hop <= 0) {
        d.options.hop = std::min(defaultHop(rate), d.options.window);
    }
    if (d.options.hop > d.options.window) {
        d.status = ListenBadRate;
        return;
    }
    d.lowestHz = 2.0 * rate / d.options.window;
    d.aubio = internal::aubioApi();
    if (!d.aubio) {
        d.status = ListenNoLibrary;
        return;
    }
    d.pitch = d.aubio->newPitch("yinfast", static_cast<uint_t>(d.options.window),
                                static_cast<uint_t>(d.options.hop), static_cast<uint_t>(rate));
    if (!d.pitch) {
        d.status = ListenBadRate;
        return;
    }
    d.aubio->setUnit(d.pitch, "Hz");
    d.aubio->setSilence(d.pitch, static_cast<smpl_t>(d.options.silenceDb));
    d.aubio->setTolerance(d.pitch, static_cast<smpl_t>(d.options.threshold));
    d.input = d.aubio->newVector(static_cast<uint_t>(d.options.hop));
    d.output = d.aubio->newVector(1);
}

PitchTracker::~PitchTracker() = default;

int PitchTracker::status() const {
    return impl_->status;
}

int PitchTracker::rate() const {
    return impl_->rate;
}

int PitchTracker::window() const {
    return impl_->options.window;
}

int PitchTracker::hop() const {
    return impl_->options.hop;
}

const PitchOptions& PitchTracker::options() const {
    return impl_->options;
}

double PitchTracker::onsetDelayMs() const {
    return (0.8 * impl_->options.window + 0.5 * impl_->options.hop) * 1000.0 / impl_->rate;
}

std::size_t PitchTracker::samplesTaken() const {
    return impl_->taken;
}

void PitchTracker::process(const float* samples, std::size_t count,
                           std::vector<PitchFrame>& frames) {
    Impl& d = *impl_;
    if (d.status != ListenOk) {
        return;
    }
    const auto hop = static_cast<std::size_t>(d.options.hop);
    while (count > 0) {
        const std::size_t n = std::min(count, hop - d.filled);
        std::copy(samples, samples + n, d.input->data + d.filled);
        d.filled += n;
        d.taken += n;
        samples += n;
        count -= n;
        if (d.filled == hop) {
            d.filled = 0;
            d.analyse(frames);
        }
    }
}

std::vector<PitchFrame> trackPitch(const std::vector<float>& samples, int rate,
                                   const PitchOptions& options) {
    PitchTracker tracker(rate, options);
    std::vector<PitchFrame> frames;
    frames.reserve(samples.size() / static_cast<std::size_t>(std::max(tracker.hop(), 1)) + 1);
    tracker.process(samples.data(), samples.size(), frames);
    return frames;
}

} // namespace reedtab
