// reedtab-cli devices, trace, render and play run as processes: output, files, exit status.

#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include "../support/clitesting.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace reedtab;

namespace {

using reedtab::testing::CliRun;
using reedtab::testing::slurp;

std::string scratch(const std::string& name) {
    return reedtab::testing::scratchFolder("cli_playback", name);
}

CliRun cli(const std::string& arguments) {
    return reedtab::testing::runCli("cli_playback", arguments);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

bool hasLine(const std::string& text, const std::string& line) {
    for (const auto& l : lines(text)) {
        if (l == line) {
            return true;
        }
    }
    return false;
}

// Division 480 at 120 bpm: a program change, then notes at 1 s and 1.5 s, the song ending at
// 2 s (tick 1920).
std::string writeSong(const std::string& dir) {
    MidiSong song;
    song.division = 480;
    song.format = 1;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    auto signature = makeTimeSignatureEvent(4, 4);
    auto* raw = signature.get();
    song.addEvent(0, 0, std::move(signature));
    song.timeSignatureList.push_back(raw);
    song.addEvent(0, 0, makeTempoEvent(500000));
    song.addEvent(0, 0, makeChannelEvent(0xC0, 22, 0));
    song.addEvent(960, 0, makeChannelEvent(0x90, 60, 100));
    song.addEvent(1440, 0, makeChannelEvent(0x80, 60, 0));
    song.addEvent(1440, 0, makeChannelEvent(0x90, 64, 90));
    song.addEvent(1920, 0, makeChannelEvent(0x80, 64, 0));
    song.addEvent(1920, 0, makeEndOfTrackEvent());
    const std::string path = dir + "/song.mid";
    EXPECT_EQ(song.saveFile(path), SaveOk);
    return path;
}

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint8_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}

} // namespace

TEST(CliDevices, ListsTheMapperFirstAndTheInputs) {
    const auto run = cli("devices");
    EXPECT_EQ(run.status, 0) << run.err;
    const auto out = lines(run.out);
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "outputs:");
    EXPECT_EQ(out[1], "-1 Midi Mapper");
    EXPECT_TRUE(hasLine(run.out, "inputs:"));
    EXPECT_EQ(cli("devices extra").status, 2);
}

TEST(CliTrace, PrintsTickTimeAndBytesOfEveryMessage) {
    const auto song = writeSong(scratch("trace"));
    const auto run = cli("trace '" + song + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "0 0.000 C0 16")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "960 1000.000 90 3C 64"));
    EXPECT_TRUE(hasLine(run.out, "1440 1500.000 80 3C 00"));
    EXPECT_TRUE(hasLine(run.out, "1440 1500.000 90 40 5A"));
    EXPECT_TRUE(hasLine(run.out, "1920 2000.000 80 40 00"));
    // The end of the song: all sound off and all controllers off on every channel.
    EXPECT_EQ(lines(run.out).back().substr(lines(run.out).back().size() - 8), "BF 78 00");
}

TEST(CliTrace, OptionsReachThePlayer) {
    const auto song = writeSong(scratch("trace-options"));
    auto run = cli("trace '" + song + "' --count-in --skip-programs --tempo 200");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "480 250.000 99 3C 40")) << "the first click, twice as fast";
    EXPECT_TRUE(hasLine(run.out, "3360 1750.000 90 3C 64")) << "5 beats + the note's 960";
    EXPECT_EQ(run.out.find(" C0 16"), std::string::npos);

    run = cli("trace '" + song + "' --clock --from 960");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out)[0], "0 0.000 C0 16") << "the program is chased";
    EXPECT_TRUE(hasLine(run.out, "0 0.000 FA"));
    EXPECT_TRUE(hasLine(run.out, "20 20.833 F8"));
    EXPECT_TRUE(hasLine(run.out, "0 0.000 90 3C 64"));
    EXPECT_NE(run.out.find(" FC\n"), std::string::npos);

    run = cli("trace '" + song + "' --loop-start 960 --loop-end 1440 --seconds 3");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "1440 1500.000 BF 7A 00")) << "the loop jump";
    EXPECT_TRUE(hasLine(run.out, "1440 1500.000 90 3C 64")) << "the begin mark again";
    EXPECT_EQ(run.out.find(" 90 40 5A"), std::string::npos) << "the stop mark is not played";

    run = cli("trace '" + song + "' --edit-mode --metronome --from 4000 --seconds 2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(hasLine(run.out, "320 333.333 99 3C 40")) << "the click on song tick 4320";
    EXPECT_EQ(cli("trace '" + song + "' --from 4000").status, 10);
    EXPECT_EQ(cli("trace '" + song + "' --seconds soon").status, 2);
    EXPECT_EQ(cli("trace").status, 2);
    EXPECT_EQ(cli("trace /nonexistent/song.mid").status, 1);
}

TEST(CliTrace, TrainerLoopsTheWholeSongAndRaisesTheTempoEveryOtherPass) {
    const auto song = writeSong(scratch("trace-trainer"));
    const auto run = cli("trace '" + song + "' --trainer 50,25,100,2 --seconds 12");
    ASSERT_EQ(run.status, 0) << run.err;
    // The loop is the whole bar of the song, 1920 ticks: two passes at 50 % (4 s each), then
    // 75 %, and the first note of each pass one beat in at that pass's tempo.
    EXPECT_TRUE(hasLine(run.out, "960 2000.000 90 3C 64")) << run.out;
    EXPECT_TRUE(hasLine(run.out, "2880 6000.000 90 3C 64"));
    // The stream keeps its time in whole microseconds per tick: a third of a millisecond
    // is a rounding away.
    double third = 0;
    for (const auto& line : lines(run.out)) {
        if (line.rfind("4800 ", 0) == 0 && line.size() > 9 &&
            line.substr(line.size() - 9) == " 90 3C 64") {
            third = std::stod(line.substr(5));
        }
    }
    EXPECT_NEAR(third, 8000 + 1000 * 4 / 3.0, 0.01);
    EXPECT_TRUE(hasLine(run.out, "3840 8000.000 BF 7A 00")) << "the wrap into the third pass";

    for (const char* plan :
         {"50,10", "120,10,100", "50,0,100", "50,10,100,0", "fast", "50,10,1001"}) {
        const auto refused = cli("trace '" + song + "' --trainer " + plan);
        EXPECT_EQ(refused.status, 2) << plan;
        EXPECT_NE(refused.err.find("--trainer takes START,STEP,TARGET"), std::string::npos)
            << refused.err;
    }
    EXPECT_EQ(cli("trace '" + song + "' --trainer 50,10,100 --tempo 80").status, 2);
}

TEST(CliRender, WritesAWavAsLongAsTheSongThatStartsSoundingAtTheFirstNote) {
    const auto dir = scratch("render");
    const auto song = writeSong(dir);
    const auto wavPath = dir + "/song.wav";
    const auto run = cli("render '" + song + "' '" + wavPath + "' --rate 22050");
    if (run.status == 1 && run.err.find("SoundFont") != std::string::npos) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    ASSERT_EQ(run.status, 0) << run.err;
    const auto wav = slurp(wavPath);
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 24), 22050u);
    EXPECT_EQ(le32(wav, 40), wav.size() - 44);
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    const std::size_t frames = (wav.size() - 44) / 4;
    // The song lasts 2 s; the player stops when the packets queued after its end are back
    // (at most three thirty-second notes, 0.19 s here).
    EXPECT_GE(frames, 2 * 22050u);
    EXPECT_LE(frames, 22050u * 22 / 10);
    std::size_t firstSound = frames;
    for (std::size_t i = 0; i < frames && firstSound == frames; ++i) {
        const auto left = static_cast<std::int16_t>(le32(wav, 44 + 4 * i) & 0xFFFF);
        const auto right = static_cast<std::int16_t>(le32(wav, 44 + 4 * i) >> 16);
        if (std::abs(left) > 8 || std::abs(right) > 8) {
            firstSound = i;
        }
    }
    EXPECT_GE(firstSound, 22050u) << "silent before the first note at 1 s";
    EXPECT_LE(firstSound, 22050u + 22050u / 100) << "sounding within 10 ms of it";
    EXPECT_EQ(cli("render '" + song + "' '" + dir + "/no/such/dir/x.wav'").status, 5);
    EXPECT_EQ(cli("render '" + song + "' x.wav --soundfont /nonexistent.sf2").status, 1);
    EXPECT_EQ(cli("render '" + song + "'").status, 2);
}

TEST(CliRender, AnExampleSongRendersAsLongAsItsTraceAndSoundsFromItsFirstNote) {
    const std::string song = std::string(REEDTAB_SOURCE_DIR) + "/examples/oh-susanna.mid";
    if (!std::filesystem::exists(song)) {
        GTEST_SKIP() << "no example songs";
    }
    const auto trace = cli("trace '" + song + "'");
    ASSERT_EQ(trace.status, 0) << trace.err;
    double firstOn = -1;
    double lastOff = 0;
    for (const auto& line : lines(trace.out)) {
        std::istringstream in(line);
        long tick = 0;
        double ms = 0;
        unsigned status = 0, key = 0, velocity = 0;
        if (!(in >> tick >> ms >> std::hex >> status >> key >> velocity)) {
            continue;
        }
        const bool on = (status & 0xF0) == 0x90 && velocity > 0;
        const bool off = (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0);
        if (on && firstOn < 0) {
            firstOn = ms / 1000;
        }
        if (off) {
            lastOff = ms / 1000;
        }
    }
    ASSERT_GE(firstOn, 0);
    const auto dir = scratch("render-example");
    const auto run = cli("render '" + song + "' '" + dir + "/song.wav'");
    if (run.status == 1 && run.err.find("SoundFont") != std::string::npos) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    ASSERT_EQ(run.status, 0) << run.err;
    const auto wav = slurp(dir + "/song.wav");
    ASSERT_GT(wav.size(), 44u);
    const double rate = le32(wav, 24);
    const std::size_t frames = (wav.size() - 44) / 4;
    EXPECT_GE(frames / rate, lastOff) << "the WAV holds the whole song";
    EXPECT_LE(frames / rate, lastOff + 0.4) << "and ends with the player";
    std::size_t onset = frames;
    for (std::size_t i = 0; i < frames && onset == frames; ++i) {
        const auto word = le32(wav, 44 + 4 * i);
        if (std::abs(static_cast<std::int16_t>(word & 0xFFFF)) > 8 ||
            std::abs(static_cast<std::int16_t>(word >> 16)) > 8) {
            onset = i;
        }
    }
    EXPECT_GE(onset / rate, firstOn - 0.001);
    EXPECT_LE(onset / rate, firstOn + 0.010);
}

TEST(CliPlay, RefusesAnUnknownDeviceAndPlaysAShortSongToItsEnd) {
    const auto song = writeSong(scratch("play"));
    auto run = cli("play '" + song + "' --device 'No Such Device'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No Such Device"), std::string::npos);
    EXPECT_EQ(cli("play '" + song + "' --loop-start 0").status, 2);
    run = cli("play '" + song + "' --tempo 400");
    ASSERT_EQ(run.status, 0) << run.err;
    // One line per beat as it plays, bar:beat:tick of the position reached.
    const auto shown = lines(run.out);
    ASSERT_GE(shown.size(), 3u) << run.out;
    EXPECT_EQ(shown[0].substr(0, 7), "001:01:");
    EXPECT_EQ(shown[1].substr(0, 7), "001:02:");
    EXPECT_EQ(shown[2].substr(0, 7), "001:03:");
}

TEST(CliPlay, CtrlCStopsALoopCleanly) {
    const auto song = writeSong(scratch("play-interrupt"));
    int shown[2];
    ASSERT_EQ(pipe(shown), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(shown[1], STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(shown[0]);
        execl(REEDTAB_CLI, REEDTAB_CLI, "play", song.c_str(), "--loop-start", "0", "--loop-end",
              "1920", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupted once it plays (its first position line), however long the devices took.
    close(shown[1]);
    pollfd ready{shown[0], POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 20000), 1) << "the player showed no position";
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(shown[0]);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by the signal instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 130);
}
