// Audio files read back, capture devices that cannot be opened, and the live listener's clock:
// blocks timed by a jittering callback, with frames dropped, still give frames on time.

#include "../support/reedsignals.h"
#include "listen/audioinput.h"
#include "listen/pitchlistener.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace reedtab {
namespace {

using testing::noteHz;
using testing::ReedSignal;
using testing::ReedTone;

std::string scratch(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const auto dir = std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "listen" /
                     (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

TEST(AudioFile, ReadsAWavBackAsMonoAtItsRate) {
    ReedSignal signal(44100);
    signal.tone(ReedTone{});
    const std::string path = scratch("tone.wav");
    ASSERT_TRUE(testing::writeWav(path, signal.samples(), 44100));
    std::vector<float> samples;
    int rate = 0;
    ASSERT_EQ(readAudioFile(path, samples, rate), ListenOk);
    EXPECT_EQ(rate, 44100);
    ASSERT_EQ(samples.size(), signal.samples().size());
    for (std::size_t i = 0; i < samples.size(); i += 97) {
        EXPECT_NEAR(samples[i], signal.samples()[i], 1.0 / 32767) << i;
    }
}

TEST(AudioFile, MixesChannelsDown) {
    // Two channels, 16-bit: left 0.5, right -0.25 in every frame.
    const std::string path = scratch("stereo.wav");
    {
        std::ofstream out(path, std::ios::binary);
        auto put = [&out](std::uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i) {
                out.put(static_cast<char>(v >> (8 * i)));
            }
        };
        const std::uint32_t frames = 100;
        out.write("RIFF", 4);
        put(36 + frames * 4, 4);
        out.write("WAVEfmt ", 8);
        put(16, 4);
        put(1, 2);
        put(2, 2);
        put(48000, 4);
        put(48000 * 4, 4);
        put(4, 2);
        put(16, 2);
        out.write("data", 4);
        put(frames * 4, 4);
        for (std::uint32_t i = 0; i < frames; ++i) {
            put(16384, 2);
            put(static_cast<std::uint16_t>(-8192), 2);
        }
    }
    AudioFile file;
    ASSERT_EQ(file.open(path), ListenOk);
    EXPECT_EQ(file.rate(), 48000);
    EXPECT_EQ(file.frames(), 100);
    std::vector<float> mono(200, 9.0f);
    EXPECT_EQ(file.read(mono.data(), mono.size()), 100u);
    EXPECT_NEAR(mono[0], 0.125f, 1e-4);
    EXPECT_NEAR(mono[99], 0.125f, 1e-4);
    EXPECT_EQ(file.read(mono.data(), mono.size()), 0u) << "the end";
}

TEST(AudioFile, AFileThatIsNoAudioSaysWhy) {
    const std::string path = scratch("not.wav");
    std::ofstream(path) << "MThd, not a sound";
    AudioFile file;
    EXPECT_EQ(file.open(path), ListenBadFile);
    EXPECT_FALSE(file.errorText().empty());
    float sample = 0;
    EXPECT_EQ(file.read(&sample, 1), 0u);
    std::vector<float> samples;
    int rate = 0;
    std::string error;
    EXPECT_EQ(readAudioFile(scratch("missing.wav"), samples, rate, &error), ListenBadFile);
    EXPECT_FALSE(error.empty());
}

TEST(AudioInput, RefusesOtherRatesAndUnknownDevices) {
    SteadyClock clock;
    AudioInput input(clock);
    EXPECT_EQ(input.open("", 22050), ListenBadRate);
    EXPECT_EQ(input.open("No Such System: no such device", 48000), ListenNoDevice);
    EXPECT_FALSE(input.isOpen());
    EXPECT_EQ(input.start(), ListenDeviceError);
    AudioBlock block;
    EXPECT_FALSE(input.pop(block));
    EXPECT_EQ(input.droppedFrames(), 0u);
}

// Blocks as an audio callback delivers them, 512 frames a buffer, each buffer's callback running
// `lateMs` after its last frame was captured; frame 0 was captured at `zeroMs` on the clock, and
// from frame `stallFrame` on every frame `stallMs` later (the sound system stalled there).
std::vector<AudioBlock> blocks(const std::vector<float>& samples, double zeroMs,
                               const std::vector<double>& lateMs, int rate,
                               std::size_t stallFrame = SIZE_MAX, double stallMs = 0.0) {
    constexpr std::size_t kBuffer = 512;
    std::vector<AudioBlock> out;
    std::size_t buffer = 0;
    for (std::size_t at = 0; at < samples.size(); at += kBuffer, ++buffer) {
        const std::size_t end = std::min(at + kBuffer, samples.size());
        const double callbackMs = zeroMs + end * 1000.0 / rate + lateMs[buffer % lateMs.size()] +
                                  (end > stallFrame ? stallMs : 0.0);
        for (std::size_t first = at; first < end; first += AudioBlock::kCapacity) {
            AudioBlock block;
            block.firstFrame = first;
            block.count = static_cast<std::uint32_t>(std::min(AudioBlock::kCapacity, end - first));
            block.clockNs =
                static_cast<std::int64_t>((callbackMs - (end - first) * 1000.0 / rate) * 1e6);
            std::copy(samples.begin() + static_cast<long>(first),
                      samples.begin() + static_cast<long>(first + block.count),
                      block.samples.begin());
            out.push_back(block);
        }
    }
    return out;
}

TEST(PitchListener, TimesFramesOnTheClockDespiteLateCallbacksAndDroppedBlocks) {
    const int rate = 48000;
    ReedSignal signal(rate);
    signal.silence(500);
    ReedTone tone;
    tone.hz = noteHz(67);
    tone.ms = 1500;
    signal.tone(tone);
    signal.silence(500);
    const auto reference = trackPitch(signal.samples(), rate);

    const double zeroMs = 123456.0;
    // Most callbacks a little late, some very late: a loaded machine.
    auto delivered = blocks(signal.samples(), zeroMs, {0.3, 2.0, 0.5, 11.0, 0.2, 4.0}, rate);
    // The queue overflowed for a while in the middle of the tone: those blocks never arrive.
    const std::uint64_t lostFrom = AudioBlock::kCapacity * 188; // about 1 s in
    const std::uint64_t lostTo = lostFrom + 4096;
    std::erase_if(delivered, [&](const AudioBlock& b) {
        return b.firstFrame >= lostFrom && b.firstFrame < lostTo;
    });

    PitchListener listener(rate);
    ASSERT_EQ(listener.status(), ListenOk);
    std::vector<PitchFrame> frames;
    for (const AudioBlock& block : delivered) {
        listener.take(block, frames);
    }
    ASSERT_EQ(frames.size(), reference.size()) << "the lost frames are analysed as silence";
    for (std::size_t k = 0; k < frames.size(); ++k) {
        // After the first few blocks the earliest callback seen fixes frame 0 within 0.3 ms.
        if (k > 20) {
            EXPECT_NEAR(frames[k].ms, zeroMs + reference[k].ms, 0.31) << k;
        }
        const double at = reference[k].ms;
        const double hopMs = listener.tracker().hop() * 1000.0 / rate;
        if (at >= lostFrom * 1000.0 / rate + hopMs && at <= lostTo * 1000.0 / rate) {
            EXPECT_FALSE(frames[k].hasPitch()) << "a frame of the lost stretch";
        } else if (at > 1200 && at < 1900) {
            EXPECT_EQ(frames[k].note, 67) << at;
        }
    }
}

TEST(PitchListener, FollowsAStallOfTheSoundSystemWithinHalfASecond) {
    const int rate = 44100;
    ReedSignal signal(rate);
    signal.silence(3000);
    const auto reference = trackPitch(signal.samples(), rate);
    const std::size_t stall = rate; // 1 s in, everything comes 80 ms later from there on
    PitchListener listener(rate);
    std::vector<PitchFrame> frames;
    for (const AudioBlock& block :
         blocks(signal.samples(), 5000.0, {0.5, 3.0}, rate, stall, 80.0)) {
        listener.take(block, frames);
    }
    ASSERT_EQ(frames.size(), reference.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const double at = reference[k].ms;
        if (at > 100 && at < 1000) {
            EXPECT_NEAR(frames[k].ms, 5000.0 + at, 0.6) << at;
        } else if (at > 1000 + 500 + 30) {
            EXPECT_NEAR(frames[k].ms, 5080.0 + at, 0.6) << at;
        }
    }
}

} // namespace
} // namespace reedtab
