// The listening targets, printed: pitch error on sustained reed-like tones from F3 (175 Hz) to
// G7 (3136 Hz), octave errors among confident frames (on those tones, and on FluidSynth's
// General MIDI harmonica, whose strong second harmonic tempts YIN an octave up), the latency
// from a pitch step to the first frame that names the new note, the analysis cost in % of one
// core at 48 kHz, and the time to judge a 3-minute recording. Beside each, aubiopitch (same
// method, window and hop, same signals) where it is installed; then the same figures of our
// tracker for other windows, hops and thresholds, which is why the defaults are what they are.
//
// usage: bench_listen [--keep DIR]   (DIR keeps the WAV files the bench made)

#include "../../tests/support/reedsignals.h"
#include "listen/audioinput.h"
#include "listen/expectednotes.h"
#include "listen/judge.h"
#include "listen/pitchtracker.h"
#include "playback/outputdevice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace reedtab;
using namespace reedtab::testing;

namespace {

constexpr int kRate = 48000;
constexpr int kLowNote = 53;   // F3, 174.6 Hz
constexpr int kHighNote = 103; // G7, 3136 Hz

struct Frame {
    double ms; // end of the analysis window
    double hz; // 0: no pitch
};

struct Tracker {
    std::string name;
    // Frames of a WAV file, or nothing when the tracker cannot run.
    std::optional<std::vector<Frame>> (*run)(const std::string& wav, int window, int hop);
};

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double quantile(std::vector<double> v, double q) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const double position = q * static_cast<double>(v.size() - 1);
    const auto below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (position - static_cast<double>(below));
}

std::optional<std::vector<Frame>> ourFrames(const std::string& wav, int window, int hop,
                                            double threshold = PitchOptions{}.threshold) {
    std::vector<float> samples;
    int rate = 0;
    if (readAudioFile(wav, samples, rate) != ListenOk) {
        return std::nullopt;
    }
    PitchOptions options;
    options.window = window;
    options.hop = hop;
    options.threshold = threshold;
    std::vector<Frame> frames;
    for (const PitchFrame& f : trackPitch(samples, rate, options)) {
        frames.push_back({f.ms, f.hz});
    }
    return frames;
}

bool haveAubiopitch() {
    return std::system("command -v aubiopitch >/dev/null 2>&1") == 0;
}

// aubiopitch prints "seconds hz" for each hop; its time is that of the hop's start, so the
// window it analysed ends a hop later.
std::optional<std::vector<Frame>> aubioFrames(const std::string& wav, int window, int hop) {
    const std::string command = "aubiopitch -i '" + wav + "' -p yinfast -B " +
                                std::to_string(window) + " -H " + std::to_string(hop) +
                                " -s -50 -T seconds 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return std::nullopt;
    }
    std::vector<Frame> frames;
    double seconds = 0;
    double hz = 0;
    while (std::fscanf(pipe, "%lf %lf", &seconds, &hz) == 2) {
        frames.push_back({seconds * 1000.0 + hop * 1000.0 / kRate, hz});
    }
    const int status = pclose(pipe);
    if (status != 0 || frames.empty()) {
        return std::nullopt;
    }
    return frames;
}

// CPU seconds (user and system) of one aubiopitch run over `wav`.
std::optional<double> aubioSeconds(const std::string& wav, int window, int hop) {
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    const std::string command = "aubiopitch -i '" + wav + "' -p yinfast -B " +
                                std::to_string(window) + " -H " + std::to_string(hop) +
                                " -s -50 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return std::nullopt;
    }
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
           seconds(before.ru_stime);
}

// Sustained tones, one a semitone from F3 to G7, and where each steady part lies.
struct ToneSet {
    ReedSignal signal{kRate, 7};
    std::vector<std::pair<double, double>> steady; // ms
    std::vector<double> hz;
};

void makeTones(ToneSet& set) {
    set.signal.silence(200);
    for (int note = kLowNote; note <= kHighNote; ++note) {
        ReedTone tone;
        tone.hz = noteHz(note);
        tone.ms = 700;
        const double start = set.signal.ms();
        set.signal.tone(tone);
        set.steady.emplace_back(start + tone.attackMs, start + tone.ms - tone.releaseMs);
        set.hz.push_back(tone.hz);
        set.signal.silence(150);
    }
}

struct Accuracy {
    double median = NAN;
    double p95 = NAN;
    int confident = 0;
    int steadyFrames = 0;
    int octaveErrors = 0;
    int otherGross = 0; // off by a semitone or more, not by octaves
};

Accuracy accuracy(const ToneSet& set, const std::vector<Frame>& frames, int window) {
    Accuracy a;
    std::vector<double> errors;
    const double windowMs = window * 1000.0 / kRate;
    for (const Frame& f : frames) {
        const double begin = f.ms - windowMs;
        for (std::size_t k = 0; k < set.steady.size(); ++k) {
            if (begin < set.steady[k].first || f.ms > set.steady[k].second) {
                continue;
            }
            ++a.steadyFrames;
            if (f.hz <= 0) {
                break;
            }
            ++a.confident;
            // Against the true pitch averaged over the window (the vibrato moves it).
            const auto from = static_cast<std::size_t>(begin * kRate / 1000.0);
            const auto to = static_cast<std::size_t>(f.ms * kRate / 1000.0);
            const double truth =
                set.hz[k] * std::pow(2.0, set.signal.centsAgainst(from, to, set.hz[k]) / 1200.0);
            const double error = 1200.0 * std::log2(f.hz / truth);
            const double octaves = std::round(error / 1200.0);
            if (octaves != 0 && std::fabs(error - octaves * 1200.0) < 100.0) {
                ++a.octaveErrors;
            } else if (std::fabs(error) >= 100.0) {
                ++a.otherGross;
            } else {
                errors.push_back(std::fabs(error));
            }
            break;
        }
    }
    a.median = quantile(errors, 0.5);
    a.p95 = quantile(errors, 0.95);
    return a;
}

// Legato pitch steps: pairs of notes across the range, each held 400 ms.
struct StepSet {
    ReedSignal signal{kRate, 11};
    std::vector<double> stepMs;
    std::vector<int> target;
};

void makeSteps(StepSet& set) {
    const int intervals[] = {1, 2, -2, 3, 5, -5, 7, 12, -1, -3};
    int k = 0;
    set.signal.silence(200);
    for (int note = kLowNote; note + 12 <= kHighNote; note += 2) {
        const int interval = intervals[k++ % std::size(intervals)];
        const int next = std::clamp(note + interval, kLowNote, kHighNote);
        ReedTone tone;
        const double start = set.signal.ms();
        set.signal.legato(tone, {noteHz(note), noteHz(next)}, 400, 0);
        set.stepMs.push_back(start + 400);
        set.target.push_back(next);
        set.signal.silence(150);
    }
}

struct Latency {
    double median = NAN;
    double p95 = NAN;
    int named = 0;
    int steps = 0;
};

Latency latency(const StepSet& set, const std::vector<Frame>& frames) {
    Latency l;
    std::vector<double> delays;
    l.steps = static_cast<int>(set.stepMs.size());
    for (std::size_t k = 0; k < set.stepMs.size(); ++k) {
        for (const Frame& f : frames) {
            if (f.ms <= set.stepMs[k] || f.ms > set.stepMs[k] + 400) {
                continue;
            }
            if (f.hz > 0 && std::lround(midiPitch(f.hz, 440.0)) == set.target[k]) {
                delays.push_back(f.ms - set.stepMs[k]);
                ++l.named;
                break;
            }
        }
    }
    l.median = quantile(delays, 0.5);
    l.p95 = quantile(delays, 0.95);
    return l;
}

// A chromatic scale on FluidSynth's harmonica (General MIDI program 23), each note 400 ms and
// 100 ms apart, from F3 to C7 (what the SoundFont's harmonica reaches well); empty without a
// SoundFont.
struct HarmonicaScale {
    std::vector<float> samples;
    std::vector<std::pair<double, double>> steady; // ms
    std::vector<int> notes;
};

HarmonicaScale harmonicaScale() {
    HarmonicaScale scale;
    SynthOutput synth(false, "", kRate);
    if (synth.soundFontPath().empty() || synth.open() != DeviceOk) {
        return scale;
    }
    synth.shortMessage(0xC0 | 22 << 8);
    std::vector<std::int16_t> stereo;
    auto render = [&](double ms) {
        const int frames = static_cast<int>(ms * kRate / 1000);
        stereo.resize(2 * static_cast<std::size_t>(frames));
        synth.render(stereo.data(), frames);
        for (int i = 0; i < frames; ++i) {
            scale.samples.push_back((stereo[2 * static_cast<std::size_t>(i)] +
                                     stereo[2 * static_cast<std::size_t>(i) + 1]) /
                                    65536.0f);
        }
    };
    render(200);
    for (int note = kLowNote; note <= 96; ++note) {
        const double start = scale.samples.size() * 1000.0 / kRate;
        synth.shortMessage(0x90u | static_cast<std::uint32_t>(note) << 8 | 100u << 16);
        render(400);
        synth.shortMessage(0x80u | static_cast<std::uint32_t>(note) << 8);
        render(100);
        scale.steady.emplace_back(start + 60, start + 390);
        scale.notes.push_back(note);
    }
    return scale;
}

// Confident frames of the scale's steady parts named 6 half steps or more away from the note
// played (the SoundFont's samples are out of tune by up to 40 cents, so nothing finer counts).
std::pair<int, int> grossErrors(const HarmonicaScale& scale, const std::vector<Frame>& frames,
                                int window) {
    int confident = 0;
    int gross = 0;
    const double windowMs = window * 1000.0 / kRate;
    for (const Frame& f : frames) {
        for (std::size_t k = 0; k < scale.steady.size(); ++k) {
            if (f.ms - windowMs < scale.steady[k].first || f.ms > scale.steady[k].second ||
                f.hz <= 0) {
                continue;
            }
            ++confident;
            gross += std::fabs(midiPitch(f.hz, 440.0) - scale.notes[k]) >= 6.0;
        }
    }
    return {gross, confident};
}

// A 3-minute melody on the reed and the song it was played from.
std::vector<MelodyNote> threeMinuteMelody() {
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79};
    std::vector<MelodyNote> notes;
    int32_t tick = 0;
    for (int i = 0; tick < 180 * kMelodyDivision * 2; ++i) {
        const int32_t length = (i % 4 == 3) ? 480 : 240;
        notes.push_back({scale[(i * 5 + i / 7) % std::size(scale)], tick, length});
        tick += length;
    }
    return notes;
}

void printRow(const char* name, const char* ours, const std::string& theirs) {
    std::printf("%-52s %14s %14s\n", name, ours, theirs.c_str());
}

std::string format(double value, const char* unit) {
    if (std::isnan(value)) {
        return "-";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else {
            std::fprintf(stderr, "usage: bench_listen [--keep DIR]\n");
            return 2;
        }
    }
    const std::filesystem::path folder =
        keep.empty()
            ? std::filesystem::temp_directory_path() / ("bench_listen." + std::to_string(getpid()))
            : std::filesystem::path(keep);
    std::filesystem::create_directories(folder);
    const std::string tonesWav = (folder / "tones-f3-g7.wav").string();
    const std::string stepsWav = (folder / "steps.wav").string();
    const std::string melodyWav = (folder / "melody-3min.wav").string();
    const std::string harmonicaWav = (folder / "gm-harmonica-scale.wav").string();

    ToneSet tones;
    makeTones(tones);
    StepSet steps;
    makeSteps(steps);
    const auto melody = threeMinuteMelody();
    ReedSignal played(kRate, 5);
    playMelody(played, melody, 1000);
    if (!writeWav(tonesWav, tones.signal.samples(), kRate) ||
        !writeWav(stepsWav, steps.signal.samples(), kRate) ||
        !writeWav(melodyWav, played.samples(), kRate)) {
        std::fprintf(stderr, "bench_listen: cannot write the signals into %s\n",
                     folder.string().c_str());
        return 1;
    }

    const HarmonicaScale harmonica = harmonicaScale();
    if (!harmonica.samples.empty() && !writeWav(harmonicaWav, harmonica.samples, kRate)) {
        std::fprintf(stderr, "bench_listen: cannot write %s\n", harmonicaWav.c_str());
        return 1;
    }
    const int window = defaultWindow(kRate);
    const int hop = defaultHop(kRate);
    const bool aubio = haveAubiopitch();
    std::printf("signals: %zu sustained tones F3..G7 (%.0f s), %zu legato steps (%.0f s), a "
                "%.0f s melody of %zu notes; %d Hz, window %d, hop %d\n",
                tones.hz.size(), tones.signal.ms() / 1000, steps.stepMs.size(),
                steps.signal.ms() / 1000, played.ms() / 1000, melody.size(), kRate, window, hop);
    if (!aubio) {
        std::printf("aubiopitch is not installed (package aubio-tools): its column is empty\n");
    }
    std::printf("%-52s %14s %14s\n", "", "reedtab", "aubiopitch");

    const auto ours = ourFrames(tonesWav, window, hop);
    if (!ours) {
        std::fprintf(stderr, "bench_listen: aubio or libsndfile cannot be loaded\n");
        return 1;
    }
    const auto theirs = aubio ? aubioFrames(tonesWav, window, hop) : std::nullopt;
    const Accuracy a = accuracy(tones, *ours, window);
    std::optional<Accuracy> b;
    if (theirs) {
        b = accuracy(tones, *theirs, window);
    }
    auto theirsText = [&](auto value) { return b ? value(*b) : std::string("-"); };
    printRow("pitch error, median (target <= 3 cents)", format(a.median, "ct").c_str(),
             theirsText([](const Accuracy& x) { return format(x.median, "ct"); }));
    printRow("pitch error, 95th percentile (target <= 10 cents)", format(a.p95, "ct").c_str(),
             theirsText([](const Accuracy& x) { return format(x.p95, "ct"); }));
    auto count = [](int n, int of) { return std::to_string(n) + " / " + std::to_string(of); };
    printRow("octave errors among confident frames (target 0)",
             count(a.octaveErrors, a.confident).c_str(),
             theirsText([&](const Accuracy& x) { return count(x.octaveErrors, x.confident); }));
    printRow("other errors of a semitone or more", count(a.otherGross, a.confident).c_str(),
             theirsText([&](const Accuracy& x) { return count(x.otherGross, x.confident); }));
    printRow("steady frames with a confident pitch", count(a.confident, a.steadyFrames).c_str(),
             theirsText([&](const Accuracy& x) { return count(x.confident, x.steadyFrames); }));
    if (harmonica.samples.empty()) {
        std::printf("no SoundFont: the General MIDI harmonica is left out\n");
    } else {
        const auto g = grossErrors(harmonica, *ourFrames(harmonicaWav, window, hop), window);
        const auto theirGm = aubio ? aubioFrames(harmonicaWav, window, hop) : std::nullopt;
        printRow("GM harmonica F3..C7: frames 6+ half steps off",
                 count(g.first, g.second).c_str(),
                 theirGm ? [&] {
                     const auto h = grossErrors(harmonica, *theirGm, window);
                     return count(h.first, h.second);
                 }()
                         : std::string("-"));
    }

    const auto ourSteps = ourFrames(stepsWav, window, hop);
    const auto theirSteps = aubio ? aubioFrames(stepsWav, window, hop) : std::nullopt;
    const Latency l = latency(steps, *ourSteps);
    std::optional<Latency> m;
    if (theirSteps) {
        m = latency(steps, *theirSteps);
    }
    auto theirLatency = [&](auto value) { return m ? value(*m) : std::string("-"); };
    printRow("step to first frame naming the new note, median", format(l.median, "ms").c_str(),
             theirLatency([](const Latency& x) { return format(x.median, "ms"); }));
    printRow("  (target <= 25 ms), 95th percentile (target <= 40)", format(l.p95, "ms").c_str(),
             theirLatency([](const Latency& x) { return format(x.p95, "ms"); }));
    printRow("steps named within 400 ms", count(l.named, l.steps).c_str(),
             theirLatency([&](const Latency& x) { return count(x.named, x.steps); }));

    // Cost: the analysis alone on this thread's CPU time, the melody as input.
    {
        std::vector<float> samples;
        int rate = 0;
        readAudioFile(melodyWav, samples, rate);
        const double seconds = static_cast<double>(samples.size()) / rate;
        const double start = threadSeconds();
        const auto frames = trackPitch(samples, rate);
        const double spent = threadSeconds() - start;
        const auto aubioSpent = aubio ? aubioSeconds(melodyWav, window, hop) : std::nullopt;
        char text[32];
        std::snprintf(text, sizeof text, "%.2f %%", 100.0 * spent / seconds);
        std::string other = "-";
        if (aubioSpent) {
            char t[48];
            std::snprintf(t, sizeof t, "%.2f %%", 100.0 * *aubioSpent / seconds);
            other = t;
        }
        printRow("analysis cost, % of one core at 48 kHz (target <= 3)", text, other + " *");
        if (frames.empty()) {
            return 1;
        }
    }

    // Judging the 3-minute recording offline: read, track, judge.
    {
        MidiSong song;
        buildMelodySong(song, melody);
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = threadSeconds();
        std::vector<float> samples;
        int rate = 0;
        readAudioFile(melodyWav, samples, rate);
        PitchTracker tracker(rate);
        std::vector<PitchFrame> frames;
        tracker.process(samples.data(), samples.size(), frames);
        ExpectedTrack expected = expectedNotes(song, {});
        expected.placeFirstAt(1000.0);
        JudgeOptions options;
        options.analysisDelayMs = tracker.onsetDelayMs();
        Judge judge(options);
        for (const ExpectedNote& n : expected.notes) {
            judge.expect(n);
        }
        for (const PitchFrame& f : frames) {
            judge.hear(f);
        }
        judge.finish();
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const double cpu = threadSeconds() - cpuStart;
        const PassScore score = judge.score();
        const auto aubioSpent = aubio ? aubioSeconds(melodyWav, window, hop) : std::nullopt;
        char text[48];
        std::snprintf(text, sizeof text, "%.2f s", wall);
        printRow("judging a 3-minute recording, wall (target < 2 s)", text, "-");
        std::snprintf(text, sizeof text, "%.2f s", cpu);
        char other[48] = "-";
        if (aubioSpent) {
            std::snprintf(other, sizeof other, "%.2f s *", *aubioSpent);
        }
        printRow("  the same in CPU time (read, track, judge)", text, other);
        std::printf("  the melody judged against its song: %d of %d hit, %d wrong, %d missed, "
                    "%d extra, median timing %.1f ms\n",
                    score.hits, score.expected, score.wrongs, score.misses, score.extras,
                    score.medianTimingMs.value_or(NAN));
    }
    if (aubio) {
        std::printf("* aubiopitch: CPU time of the whole process (reading the file, pitch only, "
                    "printing)\n");
    }

    std::printf(
        "\nour tracker with other windows, hops and thresholds (%d Hz; named: steady frames "
        "of the tones with a confident pitch; GM off: frames of the GM harmonica 6+ half "
        "steps off):\n",
        kRate);
    std::printf("%7s %5s %6s %9s %9s %7s %8s %11s %11s %9s %9s\n", "window", "hop", "thresh",
                "median", "p95", "octave", "named", "step med", "step p95", "GM off", "cost");
    struct Config {
        int window;
        int hop;
        double threshold;
    };
    const double threshold = PitchOptions{}.threshold;
    const Config configs[] = {{2048, 512, threshold}, {2048, 256, threshold},
                              {1024, 512, threshold}, {1024, 256, threshold},
                              {1024, 256, 0.15},      {1024, 128, threshold},
                              {512, 128, threshold}};
    std::vector<float> melodySamples;
    int melodyRate = 0;
    readAudioFile(melodyWav, melodySamples, melodyRate);
    for (const Config& c : configs) {
        const auto f = ourFrames(tonesWav, c.window, c.hop, c.threshold);
        const auto s = ourFrames(stepsWav, c.window, c.hop, c.threshold);
        const Accuracy x = accuracy(tones, *f, c.window);
        const Latency y = latency(steps, *s);
        std::string gm = "-";
        if (!harmonica.samples.empty()) {
            const auto g = grossErrors(
                harmonica, *ourFrames(harmonicaWav, c.window, c.hop, c.threshold), c.window);
            gm = std::to_string(g.first);
        }
        PitchOptions options;
        options.window = c.window;
        options.hop = c.hop;
        options.threshold = c.threshold;
        const double start = threadSeconds();
        trackPitch(melodySamples, melodyRate, options);
        const double cost = 100.0 * (threadSeconds() - start) /
                            (static_cast<double>(melodySamples.size()) / melodyRate);
        std::printf(
            "%7d %5d %6.2f %6.1f ct %6.1f ct %7d %7.1f%% %8.1f ms %8.1f ms %9s %7.2f %%%s\n",
            c.window, c.hop, c.threshold, x.median, x.p95, x.octaveErrors,
            100.0 * x.confident / std::max(x.steadyFrames, 1), y.median, y.p95, gm.c_str(), cost,
            c.window == window && c.hop == hop && c.threshold == threshold ? "  (default)" : "");
    }
    if (keep.empty()) {
        std::filesystem::remove_all(folder);
    }
    return 0;
}
