#include "playback/outputdevice.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace reedtab;

TEST(DeviceLists, OutputsStartWithTheMapperAndNeitherListThrowsWithoutAMidiSystem) {
    const auto outputs = outputDeviceNames();
    ASSERT_FALSE(outputs.empty());
    EXPECT_EQ(outputs[0], kMidiMapperName);
    EXPECT_EQ(std::count(outputs.begin(), outputs.end(), std::string(kMidiMapperName)), 1);
    const auto inputs = inputDeviceNames();
    for (const auto& name : inputs) {
        EXPECT_FALSE(name.empty());
    }
    SystemOutputProvider provider;
    EXPECT_EQ(provider.deviceCount(), static_cast<int>(outputs.size()) - 1);
    EXPECT_EQ(provider.create(provider.deviceCount()), nullptr) << "index past the list";
    EXPECT_NE(provider.create(-1), nullptr);
}

TEST(DeviceLists, APortThatIsNotThereFailsToOpenWithACode) {
    auto port = makePortOutput("No Such Port 4711");
    EXPECT_EQ(port->open(), DeviceNotFound);
    EXPECT_EQ(port->shortMessage(0x403C90), DeviceNotOpen);
    port->close();
}

TEST(ShortMessages, LengthFollowsTheStatus) {
    EXPECT_EQ(shortMessageLength(0x403C90), 3u);
    EXPECT_EQ(shortMessageLength(0x0005C3), 2u);
    EXPECT_EQ(shortMessageLength(0x0040D0), 2u);
    EXPECT_EQ(shortMessageLength(0x0040E0), 3u);
    EXPECT_EQ(shortMessageLength(0xF8), 1u);
    EXPECT_EQ(shortMessageLength(0xFC), 1u);
    EXPECT_EQ(shortMessageLength(0x0003F3), 2u);
}

TEST(RecordingOutput, KeepsBytesTimesAndTicksOfEveryMessage) {
    ManualClock clock;
    RecordingOutput out(clock);
    std::int64_t tick = 7;
    out.setTickSource([&] { return tick; });
    std::vector<std::vector<std::uint8_t>> heard;
    out.setListener([&](const RecordedMessage& m) { heard.push_back(m.bytes); });
    EXPECT_EQ(out.open(), DeviceOk);
    EXPECT_TRUE(out.isOpen());
    clock.setNow(Nanoseconds(1500));
    out.shortMessage(0x0005C3);
    tick = 9;
    clock.setNow(Nanoseconds(1000)); // a clock never goes back
    const std::uint8_t sysex[] = {0xF0, 0x43, 0xF7};
    out.longMessage(sysex, 3);
    out.reset();
    const auto messages = out.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].bytes, (std::vector<std::uint8_t>{0xC3, 0x05}));
    EXPECT_EQ(messages[0].time, Nanoseconds(1500));
    EXPECT_EQ(messages[0].streamTick, 7);
    EXPECT_EQ(messages[1].bytes, (std::vector<std::uint8_t>{0xF0, 0x43, 0xF7}));
    EXPECT_EQ(messages[1].time, Nanoseconds(1500));
    EXPECT_EQ(messages[1].streamTick, 9);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(out.resetCount(), 1);
    out.setKeep(false);
    out.shortMessage(0xF8);
    EXPECT_EQ(out.messages().size(), 2u);
    EXPECT_EQ(heard.size(), 3u);
}

TEST(Synth, RendersSilenceUntilANoteAndSoundAfterIt) {
    SynthOutput synth(false);
    if (synth.soundFontPath().empty()) {
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    ASSERT_EQ(synth.open(), DeviceOk);
    EXPECT_FALSE(synth.hasAudio());
    std::vector<std::int16_t> block(2 * 4410);
    synth.render(block.data(), 4410);
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::int16_t s) { return s == 0; }));
    synth.shortMessage(0x0000C0);
    synth.shortMessage(0x7F3C90);
    synth.render(block.data(), 4410);
    const auto loudest = std::max_element(block.begin(), block.end(),
                                          [](auto a, auto b) { return std::abs(a) < std::abs(b); });
    EXPECT_GT(std::abs(*loudest), 1000);
    synth.reset();
    // All sound off cuts the voices; only the effects' tail is left, and it dies away.
    for (int i = 0; i < 40; ++i) {
        synth.render(block.data(), 4410);
    }
    const auto tail = std::max_element(block.begin(), block.end(),
                                       [](auto a, auto b) { return std::abs(a) < std::abs(b); });
    EXPECT_LT(std::abs(*tail), 30) << "all sound off";
    synth.close();
}

TEST(Synth, ReadsItsSoundFontInTheBackgroundAndSoundsOnceReady) {
    const std::string font = SynthOutput::defaultSoundFont();
    if (font.empty()) {
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    SynthOutput synth(false, font, 44100, SoundFontLoading::InBackground);
    EXPECT_EQ(synth.open(), DeviceOk) << "opening does not wait for the SoundFont";
    EXPECT_EQ(synth.shortMessage(0x7F3C90), DeviceOk);
    EXPECT_EQ(synth.soundFontPath(), font) << "the path waits for the load";
    EXPECT_TRUE(synth.isReady());
    std::vector<std::int16_t> block(2 * 4410);
    synth.shortMessage(0x7F3C90);
    synth.render(block.data(), 4410);
    EXPECT_TRUE(std::any_of(block.begin(), block.end(), [](std::int16_t s) { return s != 0; }));
    synth.close();
}

TEST(Synth, AProviderPreparesTheMapperOnceAndSaysWhenItIsReady) {
    SystemOutputProvider outputs;
    EXPECT_TRUE(outputs.isReady(-1)) << "nothing to wait for before prepare";
    outputs.prepare("/nonexistent/none.sf2");
    for (int i = 0; i < 500 && !outputs.isReady(-1); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(outputs.isReady(-1));
    EXPECT_TRUE(outputs.isReady(0)) << "ports are never prepared";
    auto mapper = outputs.create(-1);
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->open(), DeviceOk);
    mapper->close();
}

TEST(Synth, WithoutAnySoundFontStaysUsableAndSilent) {
    SynthOutput synth(true, "/nonexistent/none.sf2");
    if (!synth.soundFontPath().empty()) {
        GTEST_SKIP();
    }
    EXPECT_EQ(synth.open(), DeviceOk);
    EXPECT_EQ(synth.shortMessage(0x7F3C90), DeviceOk);
    const std::uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    EXPECT_EQ(synth.longMessage(sysex, sizeof sysex), DeviceOk);
    synth.close();
}

namespace {

// A file of `bytes` in the test's temporary folder.
std::string writeTempFile(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "reedtab-" + name;
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    return path;
}

const std::string kSoundFontHeader("RIFF\x10\x00\x00\x00sfbk", 12);

} // namespace

TEST(Synth, SaysWhatBecameOfTheSoundFontItWasGiven) {
    const std::string text = writeTempFile("text.sf2", "not a SoundFont at all\n");
    const std::string shortFile = writeTempFile("short.sf2", "RIFF");
    const std::string riffWave = writeTempFile("wave.sf2", std::string("RIFF\0\0\0\0WAVE", 12));
    const std::string broken = writeTempFile("broken.sf2", kSoundFontHeader + "LIST garbage");
    EXPECT_EQ(SynthOutput::checkSoundFont("/nonexistent/none.sf2"), SoundFontCannotOpen);
    EXPECT_EQ(SynthOutput::checkSoundFont(::testing::TempDir()), SoundFontNotASoundFont)
        << "a folder";
    EXPECT_EQ(SynthOutput::checkSoundFont(text), SoundFontNotASoundFont);
    EXPECT_EQ(SynthOutput::checkSoundFont(shortFile), SoundFontNotASoundFont);
    EXPECT_EQ(SynthOutput::checkSoundFont(riffWave), SoundFontNotASoundFont);
    EXPECT_EQ(SynthOutput::checkSoundFont(broken), SoundFontLoaded) << "only its header is read";

    const std::string font = SynthOutput::defaultSoundFont();
    if (font.empty()) {
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    EXPECT_EQ(SynthOutput::checkSoundFont(font), SoundFontLoaded);
    EXPECT_EQ(SynthOutput(false, "/nonexistent/none.sf2").soundFontResult(), SoundFontCannotOpen);
    EXPECT_EQ(SynthOutput(false, text).soundFontResult(), SoundFontNotASoundFont);
    SynthOutput damaged(false, broken, 44100, SoundFontLoading::InBackground);
    EXPECT_EQ(damaged.soundFontResult(), SoundFontDamaged);
    EXPECT_TRUE(damaged.soundFontPath().empty());
    SynthOutput fine(false, font);
    EXPECT_EQ(fine.soundFontResult(), SoundFontLoaded);
    EXPECT_EQ(SynthOutput(false).soundFontResult(), SoundFontLoaded) << "the system's default";
}

TEST(Synth, AProviderReadsANewSoundFontBesideTheOneInUseAndSwapsItIn) {
    const std::string font = SynthOutput::defaultSoundFont();
    if (font.empty()) {
        GTEST_SKIP() << "no General MIDI SoundFont installed";
    }
    const auto waitForLoad = [](OutputProvider& outputs, int& result) {
        SoundFontLoad state = outputs.soundFontLoad(result);
        for (int i = 0; i < 3000 && state == SoundFontLoad::Loading; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            state = outputs.soundFontLoad(result);
        }
        return state;
    };
    SystemOutputProvider outputs;
    ASSERT_TRUE(outputs.canLoadSoundFont());
    outputs.prepare(font);
    EXPECT_EQ(outputs.soundFontInUse(), font);
    int result = -1;
    EXPECT_EQ(outputs.soundFontLoad(result), SoundFontLoad::None);

    // A damaged file: the old SoundFont stays, adopted or not.
    outputs.loadSoundFont(writeTempFile("swap-broken.sf2", kSoundFontHeader + "LIST"));
    EXPECT_EQ(waitForLoad(outputs, result), SoundFontLoad::Failed);
    EXPECT_EQ(result, SoundFontDamaged);
    outputs.finishSoundFontLoad(true);
    EXPECT_EQ(outputs.soundFontInUse(), font);
    EXPECT_EQ(outputs.soundFontLoad(result), SoundFontLoad::None);

    // A copy of the system's SoundFont under another name takes its place.
    std::ifstream in(font, std::ios::binary);
    const std::string copy =
        writeTempFile("copy.sf2", std::string(std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()));
    outputs.loadSoundFont(copy);
    EXPECT_EQ(waitForLoad(outputs, result), SoundFontLoad::Loaded);
    EXPECT_EQ(result, SoundFontLoaded);
    EXPECT_EQ(outputs.soundFontInUse(), font) << "not before it is adopted";
    outputs.finishSoundFontLoad(true);
    EXPECT_EQ(outputs.soundFontInUse(), copy);
    EXPECT_TRUE(outputs.isReady(-1));
    auto mapper = outputs.create(-1);
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->open(), DeviceOk);
    EXPECT_EQ(mapper->shortMessage(0x7F3C90), DeviceOk);
    mapper->close();

    // One read but not wanted is dropped.
    outputs.loadSoundFont(font);
    EXPECT_EQ(waitForLoad(outputs, result), SoundFontLoad::Loaded);
    outputs.finishSoundFontLoad(false);
    EXPECT_EQ(outputs.soundFontInUse(), copy);
}
