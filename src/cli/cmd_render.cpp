// reedtab-cli render: the song through the stream player on a manual clock into the built-in
// synthesizer, written as a 16-bit stereo WAV file, as fast as the machine can.

#include "cli/args.h"
#include "cli/songfile.h"
#include "playback/playermessagequeue.h"
#include "playback/streamplayer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace reedtab::cli {

namespace {

constexpr int kBlockFrames = 512;

// The canonical 44-byte header of a PCM WAV file; `frames` stereo 16-bit frames follow.
void writeWavHeader(std::ofstream& file, int rate, std::uint32_t frames) {
    const std::uint32_t dataBytes = frames * 4;
    auto put32 = [&](std::uint32_t v) {
        const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
        file.write(b, 4);
    };
    auto put16 = [&](std::uint16_t v) {
        const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
        file.write(b, 2);
    };
    file.write("RIFF", 4);
    put32(36 + dataBytes);
    file.write("WAVEfmt ", 8);
    put32(16);
    put16(1); // PCM
    put16(2); // stereo
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate) * 4);
    put16(4);
    put16(16);
    file.write("data", 4);
    put32(dataBytes);
}

class WavWriter {
public:
    WavWriter(const std::string& path, SynthOutput& synth)
        : synth_(synth), file_(path, std::ios::binary) {
        writeWavHeader(file_, synth.sampleRate(), 0);
    }
    bool good() const { return file_.good(); }
    std::uint64_t frames() const { return frames_; }

    // Renders every frame that starts before `time`.
    void renderUntil(Nanoseconds time) {
        const auto rate = static_cast<std::uint64_t>(synth_.sampleRate());
        const std::uint64_t target =
            (static_cast<std::uint64_t>(std::max<Nanoseconds::rep>(time.count(), 0)) * rate +
             999999999) /
            1000000000;
        while (frames_ < target) {
            const int count =
                static_cast<int>(std::min<std::uint64_t>(kBlockFrames, target - frames_));
            synth_.render(block_.data(), count);
            file_.write(reinterpret_cast<const char*>(block_.data()), count * 4);
            frames_ += static_cast<std::uint64_t>(count);
        }
    }
    bool finish() {
        file_.seekp(0);
        writeWavHeader(file_, synth_.sampleRate(), static_cast<std::uint32_t>(frames_));
        file_.close();
        return !file_.fail();
    }

private:
    SynthOutput& synth_;
    std::ofstream file_;
    std::vector<std::int16_t> block_ = std::vector<std::int16_t>(2 * kBlockFrames);
    std::uint64_t frames_ = 0;
};

int run(const std::vector<std::string>& words) {
    Args args(words);
    const auto soundFont = args.option("--soundfont");
    const auto rate = args.intOption("--rate");
    const auto tempo = args.intOption("--tempo");
    const auto files = args.positionals();
    if (args.hasError()) {
        return usageError("render", args.error());
    }
    if (files.size() != 2) {
        return usageError("render", "expects FILE and OUT.wav (try --help)");
    }
    if (rate && (*rate < 8000 || *rate > 192000)) {
        return usageError("render", "--rate needs a sample rate from 8000 to 192000");
    }
    if (tempo && (*tempo < 1 || *tempo > 1000)) {
        return usageError("render", "--tempo needs a percentage from 1 to 1000");
    }
    MidiSong song;
    if (const int result = loadSongReporting("render", files[0], song); result != LoadOk) {
        return result;
    }
    SynthOutput synth(false, soundFont.value_or(""), rate ? static_cast<int>(*rate) : 44100);
    if (synth.soundFontPath().empty()) {
        std::fprintf(stderr, "reedtab-cli render: %s\n",
                     soundFont ? ("cannot load the SoundFont " + *soundFont).c_str()
                               : "no General MIDI SoundFont installed (use --soundfont)");
        return 1;
    }

    ManualClock clock;
    SingleOutputProvider provider(synth);
    StreamPlayer player(provider, clock);
    PlayerMessageQueue window(&player);
    if (player.init(&song, &window) != PlayerOk || player.openDevice() != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli render: cannot open the synthesizer\n");
        return 1;
    }
    PlaybackParams params = songParams(song);
    if (tempo) {
        params.tempoPercent = static_cast<int>(*tempo);
    }
    player.setParams(params);
    WavWriter wav(files[1], synth);
    if (!wav.good()) {
        std::fprintf(stderr, "reedtab-cli render: %s: cannot create the file\n", files[1].c_str());
        return kWriteFailed;
    }
    const int started = player.start(0, false);
    if (started != PlayerOk) {
        std::fprintf(stderr, "reedtab-cli render: the player refused to start (code %d)\n",
                     started);
        return started;
    }
    // Each message goes to the synthesizer at the exact frame it falls on: the sound before
    // it is rendered first.
    while (player.state() == PlayerState::Playing || player.state() == PlayerState::Suspended) {
        const auto due = player.stream().nextDueTime();
        if (!due) {
            break;
        }
        wav.renderUntil(*due);
        player.stream().advanceTo(*due);
        window.dispatchAll();
    }
    wav.renderUntil(clock.now());
    player.shutdown();
    if (!wav.finish()) {
        std::fprintf(stderr, "reedtab-cli render: %s: writing failed\n", files[1].c_str());
        return kWriteFailed;
    }
    std::printf("%s: %llu frames at %d Hz, %.3f s\n", files[1].c_str(),
                static_cast<unsigned long long>(wav.frames()), synth.sampleRate(),
                static_cast<double>(wav.frames()) / synth.sampleRate());
    return 0;
}

const char* const help =
    "usage: reedtab-cli render FILE OUT.wav [--soundfont SF2] [--rate HZ] [--tempo PERCENT]\n"
    "\n"
    "Plays the song from its start through the stream player into the built-in General MIDI\n"
    "synthesizer on a manual clock, as fast as the machine can, and writes the sound as a\n"
    "16-bit stereo WAV file that ends where the player stops.\n"
    "  --soundfont SF2   the SoundFont to use (default: the system's General MIDI SoundFont)\n"
    "  --rate HZ         sample rate, 8000..192000 (44100)\n"
    "  --tempo PERCENT   tempo percentage (100)\n"
    "Prints the file's length. Exit status: 0, the reader's code for a file it cannot read,\n"
    "1 without a SoundFont, 5 when the WAV cannot be written, 2 for a usage error.\n";

const bool registered =
    registerCommand({"render", "play the song into the built-in synthesizer as a WAV", help, run});

} // namespace

} // namespace reedtab::cli
