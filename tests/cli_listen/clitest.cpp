// reedtab-cli pitch, listen and devices as processes, on signals the tests make: reed-like
// tones and melodies, and FluidSynth's harmonica playing a melody with a bend.

#include "../support/clitesting.h"
#include "../support/reedsignals.h"

#include "model/midievent.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

namespace reedtab {
namespace {

using testing::CliRun;
using testing::MelodyNote;
using testing::ReedSignal;
using testing::ReedTone;

std::string scratch(const std::string& name) {
    return testing::scratchFolder("cli_listen", name);
}

CliRun cli(const std::string& arguments) {
    return testing::runCli("cli_listen", arguments);
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// The raw value of "name" in a JSON line of one object per line ("null", "12.5", "\"-3'\"").
std::string field(const std::string& line, const std::string& name) {
    const std::regex pattern("\"" + name + "\": (\"(?:[^\"\\\\]|\\\\.)*\"|[^,}\\]]+)");
    std::smatch match;
    return std::regex_search(line, match, pattern) ? match[1].str() : "<none>";
}

// The lines of the "notes" or "frames" array: one object each, starting "  {".
std::vector<std::string> objects(const std::string& json) {
    std::vector<std::string> result;
    for (const auto& line : lines(json)) {
        if (line.rfind("  {", 0) == 0) {
            result.push_back(line);
        }
    }
    return result;
}

std::string writeSignal(const ReedSignal& signal, const std::string& dir, const std::string& name) {
    const std::string path = dir + "/" + name;
    EXPECT_TRUE(testing::writeWav(path, signal.samples(), signal.rate()));
    return path;
}

std::string writeSong(const std::vector<MelodyNote>& notes, const std::string& dir,
                      const std::string& name) {
    MidiSong song;
    testing::buildMelodySong(song, notes);
    const std::string path = dir + "/" + name;
    EXPECT_EQ(song.saveFile(path), SaveOk);
    return path;
}

TEST(CliPitch, FramesOfAToneAndOfSilenceAsJsonAndAsATable) {
    const std::string dir = scratch("pitch");
    ReedSignal signal(44100);
    signal.silence(300);
    ReedTone tone;
    tone.hz = 440.0;
    tone.ms = 600;
    signal.tone(tone);
    const std::string wav = writeSignal(signal, dir, "a4.wav");

    CliRun run = cli("pitch " + quoted(wav) + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "{\"rate\": 44100, \"hop\": 256, \"frames\": [");
    EXPECT_EQ(lines(run.out).back(), "]}");
    const auto frames = objects(run.out);
    ASSERT_EQ(frames.size(), signal.samples().size() / 256);
    int inTone = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const double ms = std::stod(field(frames[k], "ms"));
        EXPECT_NEAR(ms, (k + 1) * 256 * 1000.0 / 44100, 0.001) << "the end of its window";
        if (ms < 290) {
            EXPECT_EQ(field(frames[k], "hz"), "0");
            EXPECT_EQ(field(frames[k], "note"), "null");
            EXPECT_EQ(field(frames[k], "cents"), "null");
        } else if (ms > 350 && ms < 850) {
            ++inTone;
            EXPECT_EQ(field(frames[k], "note"), "69") << frames[k];
            EXPECT_LT(std::fabs(std::stod(field(frames[k], "cents"))), 10.0) << frames[k];
            EXPECT_GT(std::stod(field(frames[k], "confidence")), 0.8);
        }
    }
    EXPECT_GT(inTone, 80);

    run = cli("pitch " + quoted(wav) + " --a4 442");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "44100 Hz, a frame every 256 samples, A4 = 442.0 Hz");
    // 440 Hz against A4 = 442 is about 8 cents flat of A4.
    std::vector<double> cents;
    for (const auto& line : lines(run.out)) {
        std::istringstream words(line);
        double ms = 0;
        std::string hz, confidence, name, value;
        if ((words >> ms >> hz >> confidence >> name >> value) && ms > 400 && ms < 800) {
            EXPECT_EQ(name, "A4") << line;
            cents.push_back(std::stod(value));
        }
    }
    ASSERT_GT(cents.size(), 60u);
    std::sort(cents.begin(), cents.end());
    EXPECT_NEAR(cents[cents.size() / 2], -7.85, 2.0);
}

TEST(CliPitch, UsageAndUnreadableAudio) {
    const std::string dir = scratch("pitch-errors");
    EXPECT_EQ(cli("pitch").status, 2);
    EXPECT_EQ(cli("pitch a.wav b.wav").status, 2);
    EXPECT_EQ(cli("pitch a.wav --a4 425").status, 2);
    EXPECT_EQ(cli("pitch a.wav --a4 high").status, 2);
    const CliRun missing = cli("pitch " + quoted(dir + "/missing.wav"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(lines(missing.err).size(), 1u) << missing.err;
    EXPECT_NE(missing.err.find("missing.wav"), std::string::npos);
}

// A tune of eight quarter notes from tick 0 at 120 beats a minute.
std::vector<MelodyNote> tune() {
    const int notes[] = {60, 64, 67, 72, 71, 67, 65, 64};
    std::vector<MelodyNote> melody;
    for (int i = 0; i < 8; ++i) {
        melody.push_back({notes[i], i * 480, 480});
    }
    return melody;
}

TEST(CliListen, JudgesARecordingNoteByNoteWithTheScore) {
    const std::string dir = scratch("listen");
    const std::string song = writeSong(tune(), dir, "tune.mid");
    // Played from 1 s into the recording: the sixth note (-2) comes out as -2'' (65, a whole
    // step low), the seventh is left out, and a stray note sounds just before the last one.
    std::vector<MelodyNote> played = tune();
    played[5].note = 65;
    played.erase(played.begin() + 6);
    played.push_back({74, 3168, 150});
    std::sort(played.begin(), played.end(),
              [](const MelodyNote& a, const MelodyNote& b) { return a.tick < b.tick; });
    ReedSignal signal(48000);
    testing::playMelody(signal, played, 1000);
    const std::string wav = writeSignal(signal, dir, "played.wav");

    CliRun run = cli("listen " + quoted(song) + " " + quoted(wav) + " --offset 1000 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "{\"track\": 0, \"tolerance\": 30, \"notes\": [");
    const auto notes = objects(run.out);
    ASSERT_EQ(notes.size(), 8u) << run.out;
    const char* tabs[] = {"\"+1\"", "\"+2\"", "\"-2\"",   "\"+4\"",
                          "\"-3\"", "\"-2\"", "\"-2''\"", "\"+2\""};
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(field(notes[i], "tick"), std::to_string(480 * i));
        EXPECT_NEAR(std::stod(field(notes[i], "ms")), 1000 + 500.0 * i, 0.05);
        EXPECT_EQ(field(notes[i], "tab"), tabs[i]) << notes[i];
        if (i == 5) {
            EXPECT_EQ(field(notes[i], "verdict"), "\"wrong\"");
            EXPECT_EQ(field(notes[i], "heard"), "65");
            EXPECT_EQ(field(notes[i], "heardTab"), "\"-2''\"");
            EXPECT_NEAR(std::stod(field(notes[i], "cents")), -200.0, 10.0);
        } else if (i == 6) {
            EXPECT_EQ(field(notes[i], "verdict"), "\"missed\"");
            EXPECT_EQ(field(notes[i], "heard"), "null");
            EXPECT_EQ(field(notes[i], "heardTab"), "null");
            EXPECT_EQ(field(notes[i], "cents"), "null");
            EXPECT_EQ(field(notes[i], "timingMs"), "null");
        } else {
            EXPECT_EQ(field(notes[i], "verdict"), "\"hit\"") << notes[i];
            EXPECT_EQ(field(notes[i], "heardTab"), tabs[i]);
            EXPECT_LT(std::fabs(std::stod(field(notes[i], "cents"))), 10.0);
            EXPECT_LT(std::fabs(std::stod(field(notes[i], "timingMs"))), 12.0) << notes[i];
        }
    }
    const std::string last = lines(run.out).back();
    EXPECT_EQ(last.rfind("], \"extra\": 1, \"score\": {\"hit\": 6, \"wrong\": 1, \"missed\": 1, "
                         "\"accuracy\": 0.7500, \"medianTimingMs\": ",
                         0),
              0u)
        << last;

    run = cli("listen " + quoted(song) + " " + quoted(wav) + " --offset 1000");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("wrong   -2, bent one whole step, "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nScore: 6 hit, 1 wrong, 1 missed of 8 (75.0 %), 1 extra; timing "
                           "median "),
              std::string::npos)
        << run.out;
}

TEST(CliListen, KeepAddsThePassToTheSongsScoresBesideTheSettings) {
    const std::string dir = scratch("keep");
    const std::string song = writeSong(tune(), dir, "tune.mid");
    ReedSignal signal(48000);
    testing::playMelody(signal, tune(), 0);
    const std::string wav = writeSignal(signal, dir, "played.wav");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", dir.c_str(), 1), 0);
    const CliRun first = cli("listen " + quoted(song) + " " + quoted(wav) + " --keep");
    const CliRun second = cli("listen " + quoted(song) + " " + quoted(wav) + " --keep --to 1440");
    unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    const auto kept = lines(testing::slurp(dir + "/Reedtab Software/Reedtab-scores.txt"));
    std::vector<std::string> passes;
    for (const std::string& line : kept) {
        if (line.rfind("pass\t", 0) == 0) {
            passes.push_back(line);
        }
    }
    ASSERT_EQ(passes.size(), 2u) << testing::slurp(dir + "/Reedtab Software/Reedtab-scores.txt");
    EXPECT_NE(passes[0].find("\t1.0000\t"), std::string::npos) << "every note hit: " << passes[0];
    EXPECT_NE(passes[1].find("\t-1\t1440\t"), std::string::npos) << "the range: " << passes[1];
    EXPECT_EQ(passes[0].substr(passes[0].rfind('\t') + 1), song) << "the song's absolute path";
}

TEST(CliListen, LiveOptionsAreCheckedBeforeAnyDeviceOpens) {
    const std::string dir = scratch("live");
    const std::string song = writeSong(tune(), dir, "tune.mid");
    CliRun run = cli("listen " + quoted(song) + " --input nowhere --json");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--json, --offset and --keep are for a recording"), std::string::npos);
    run = cli("listen " + quoted(song) + " " + quoted(song) + " --wait");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("go with --input"), std::string::npos) << run.err;
    run = cli("listen " + quoted(song) + " --input nowhere --tempo 0");
    EXPECT_EQ(run.status, 2);
    run = cli("listen " + quoted(song) + " --input 'No Such Device'");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\"No Such Device\""), std::string::npos) << run.err;
}

TEST(CliListen, RangeOffsetTrackToleranceAndHarmonica) {
    const std::string dir = scratch("listen-range");
    const std::string song = writeSong(tune(), dir, "tune.mid");
    // Only the notes from tick 960 to before 2400 were recorded, starting 250 ms in.
    const std::vector<MelodyNote> all = tune();
    std::vector<MelodyNote> part(all.begin() + 2, all.begin() + 5);
    for (MelodyNote& n : part) {
        n.tick -= 960;
    }
    ReedSignal signal(44100);
    testing::playMelody(signal, part, 250);
    const std::string wav = writeSignal(signal, dir, "part.wav");

    CliRun run = cli("listen " + quoted(song) + " " + quoted(wav) +
                     " --from 960 --to 2400 --offset 250 --key 62 --tolerance 50 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lines(run.out).front(), "{\"track\": 0, \"tolerance\": 50, \"notes\": [");
    const auto notes = objects(run.out);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(field(notes[0], "tick"), "960");
    EXPECT_NEAR(std::stod(field(notes[0], "ms")), 250.0, 0.05) << "the range's first note";
    EXPECT_EQ(field(notes[0], "tab"), "\"-2''\"") << "G on a D harp";
    for (const auto& n : notes) {
        EXPECT_EQ(field(n, "verdict"), "\"hit\"") << n;
    }

    run = cli("listen " + quoted(song) + " " + quoted(wav) +
              " --from 960 --to 2400 --offset 250 --chromatic \"12 Hole Chromatic (std 48)\" "
              "--json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(field(objects(run.out).at(2), "tab"), "\"-4\"") << "B on a C chromatic";

    struct Case {
        std::string args;
        int status;
    };
    const std::string files = quoted(song) + " " + quoted(wav);
    for (const Case& c : std::vector<Case>{
             {"listen " + quoted(song), 2},
             {"listen " + files + " --tolerance 5", 2},
             {"listen " + files + " --tolerance 101", 2},
             {"listen " + files + " --track 3", 2},
             {"listen " + files + " --a4 460", 2},
             {"listen " + files + " --offset soon", 2},
             {"listen " + files + " --diatonic \"Hohner 365\" --chromatic x", 2},
             {"listen " + files + " --diatonic \"No Such Tuning\"", 2},
             {"listen " + quoted(dir + "/missing.mid") + " " + quoted(wav), 1},
             {"listen " + quoted(song) + " " + quoted(dir + "/missing.wav"), 1},
         }) {
        const CliRun failed = cli(c.args);
        EXPECT_EQ(failed.status, c.status) << c.args;
        EXPECT_EQ(lines(failed.err).size(), 1u) << c.args << ": " << failed.err;
    }
}

TEST(CliListen, FluidSynthsHarmonicaWithABendIsJudgedAgainstTheBentNote) {
    const std::string dir = scratch("listen-fluid");
    // The song writes the bent note as what it sounds: -3' (Bb4) on a C harp.
    std::vector<MelodyNote> melody = {
        {67, 0, 480}, {72, 480, 480}, {70, 960, 960}, {67, 1920, 480}, {64, 2400, 480}};
    const std::string song = writeSong(melody, dir, "song.mid");
    // The performance plays B4 there and bends it down a half step with the wheel (range +-2
    // half steps), gliding over 60 ms.
    melody[2].note = 71;
    MidiSong performance;
    testing::buildMelodySong(performance, melody);
    for (int step = 1; step <= 6; ++step) {
        const int value = 8192 - 4096 * step / 6;
        performance.addEvent(960 + step * 10, 0,
                             makeChannelEvent(0xE0, static_cast<std::uint8_t>(value & 0x7F),
                                              static_cast<std::uint8_t>(value >> 7)));
    }
    performance.addEvent(1920, 0, makeChannelEvent(0xE0, 0x00, 0x40));
    performance.repairAllTracks();
    const std::string played = dir + "/performance.mid";
    ASSERT_EQ(performance.saveFile(played), SaveOk);
    const std::string wav = dir + "/performance.wav";
    const CliRun render = cli("render " + quoted(played) + " " + quoted(wav));
    if (render.status == 1 && render.err.find("SoundFont") != std::string::npos) {
        GTEST_SKIP() << "no SoundFont installed";
    }
    ASSERT_EQ(render.status, 0) << render.err;

    // The pitch glides from B4 down to Bb4 within the note, after C5.
    CliRun run = cli("pitch " + quoted(wav) + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> named;
    for (const auto& f : objects(run.out)) {
        const double ms = std::stod(field(f, "ms"));
        if (ms > 1000 && ms < 1950 && field(f, "note") != "null" &&
            (named.empty() || named.back() != field(f, "note"))) {
            named.push_back(field(f, "note"));
        }
    }
    EXPECT_EQ(named, (std::vector<std::string>{"72", "71", "70"}));

    // The SoundFont's harmonica sounds some notes up to 36 cents flat (aubio's plain YIN with
    // a large window agrees): a wider tolerance judges the playing, not the samples' tuning.
    run = cli("listen " + quoted(song) + " " + quoted(wav) + " --tolerance 50 --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto notes = objects(run.out);
    ASSERT_EQ(notes.size(), 5u) << run.out;
    for (const auto& n : notes) {
        EXPECT_EQ(field(n, "verdict"), "\"hit\"") << n;
        EXPECT_LT(std::fabs(std::stod(field(n, "timingMs"))), 40.0) << n;
    }
    EXPECT_EQ(field(notes[2], "tab"), "\"-3'\"");
    EXPECT_EQ(field(notes[2], "heardTab"), "\"-3'\"");
}

TEST(CliDevices, ListsTheAudioDevicesToo) {
    const CliRun run = cli("devices");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = lines(run.out);
    const auto at = [&](const std::string& line) {
        return std::find(out.begin(), out.end(), line) - out.begin();
    };
    EXPECT_LT(at("inputs:"), at("audio inputs:"));
    EXPECT_LT(at("audio inputs:"), at("audio outputs:"));
    EXPECT_LT(at("audio outputs:"), static_cast<long>(out.size()));
    // No sound card and no server here: the sound libraries' complaints about it stay quiet.
    for (const char* complaint :
         {"ALSA lib", "Cannot connect to server", "server is not running", "RtApi"}) {
        EXPECT_EQ(run.err.find(complaint), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace reedtab
