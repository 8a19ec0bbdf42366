// reedtab-cli info, dump and copy run as processes: output, files and exit status.

#include "model/midisong.h"

#include <gtest/gtest.h>

#include "../support/clitesting.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

using namespace reedtab;

namespace {

using reedtab::testing::CliRun;
using reedtab::testing::slurp;

std::string scratch(const std::string& name) {
    return reedtab::testing::scratchFolder("cli", name);
}

CliRun cli(const std::string& arguments) {
    return reedtab::testing::runCli("cli", arguments);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A format-0 file: a track name, notes on channels 1 and 10, one note left unfinished.
std::string sampleFile() {
    std::string events = std::string("\x00\xFF\x03\x04Tune", 8) +
                         std::string("\x00\x90\x3C\x40\x60\x80\x3C\x00", 8) +
                         std::string("\x00\x99\x24\x40\x30\x89\x24\x00", 8) +
                         std::string("\x00\x90\x3E\x40", 4) + std::string("\x00\xFF\x2F\x00", 4);
    std::string file = std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60", 14);
    file += "MTrk";
    file += std::string("\x00\x00\x00", 3) + static_cast<char>(events.size());
    return file + events;
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace

TEST(CliInfo, PrintsTheReadersView) {
    std::string dir = scratch("info");
    writeBytes(dir + "/a.mid", sampleFile());
    CliRun run = cli("info " + quoted(dir + "/a.mid"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "result: 0\n"
                       "errorText: \n"
                       "format: 1\n"
                       "division: 96\n"
                       "length: 144\n"
                       "merged: 7\n"
                       "discarded: 0\ncorrected: 0\nunfinished: 1\noverlapped: 0\n"
                       "truncated: no\n"
                       "tracks: 3\n"
                       "track 0: name \"Tune\", 3 events, channels [], 0 notes\n"
                       "track 1: name \"\", 3 events, channels [1], 1 notes\n"
                       "track 2: name \"\", 3 events, channels [10], 1 notes\n");
}

TEST(CliInfo, JsonHasEveryField) {
    std::string dir = scratch("json");
    writeBytes(dir + "/a.mid", sampleFile());
    CliRun run = cli("info --json " + quoted(dir + "/a.mid"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"result\": 0, \"errorText\": \"\", \"format\": 1, \"division\": 96, "
                       "\"length\": 144, \"merged\": 7, \"discarded\": 0, \"corrected\": 0, "
                       "\"unfinished\": 1, \"overlapped\": 0, \"truncated\": false, \"tracks\": ["
                       "{\"name\": \"Tune\", \"events\": 3, \"channels\": [], \"notes\": 0}, "
                       "{\"name\": \"\", \"events\": 3, \"channels\": [1], \"notes\": 1}, "
                       "{\"name\": \"\", \"events\": 3, \"channels\": [10], \"notes\": 1}]}\n");
}

TEST(CliInfo, JsonEscapesNamesAndKeepsNonUtf8Valid) {
    std::string dir = scratch("json-escape");
    std::string events = std::string("\x00\xFF\x03\x06", 4) + "a\"b\\" + "\xE9" + "\x01" +
                         std::string("\x00\xFF\x2F\x00", 4);
    std::string file = std::string("MThd\x00\x00\x00\x06\x00\x01\x00\x01\x00\x60", 14) + "MTrk" +
                       std::string("\x00\x00\x00", 3) + static_cast<char>(events.size()) + events;
    writeBytes(dir + "/a.mid", file);
    CliRun run = cli("info --json " + quoted(dir + "/a.mid"));
    EXPECT_NE(run.out.find(R"("name": "a\"b\\\u00e9\u0001")"), std::string::npos) << run.out;
}

TEST(CliFailures, ExitStatusAndOneLineNamingTheFile) {
    std::string dir = scratch("failures");
    writeBytes(dir + "/text.mid", "this is not a MIDI file");
    std::string badTrack = std::string("MThd\x00\x00\x00\x06\x00\x01\x00\x01\x00\x60", 14) +
                           "MTrk" + std::string("\x00\x00\x00\x04\x00\xF2\x00\x00", 8);
    writeBytes(dir + "/track.mid", badTrack);
    struct Case {
        std::string args;
        int status;
        std::string names;
    } cases[] = {
        {"info " + quoted(dir + "/missing.mid"), 1, dir + "/missing.mid"},
        {"dump " + quoted(dir + "/text.mid"), 4, dir + "/text.mid"},
        {"copy " + quoted(dir + "/track.mid") + " " + quoted(dir + "/o.mid"), 3,
         dir + "/track.mid"},
    };
    for (const Case& c : cases) {
        CliRun run = cli(c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_NE(run.err.find(c.names), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/o.mid"));
}

TEST(CliFailures, WriteFailuresExitWithFive) {
    std::string dir = scratch("write-fail");
    writeBytes(dir + "/a.mid", sampleFile());
    CliRun copy = cli("copy " + quoted(dir + "/a.mid") + " /nonexistent-dir/b.mid");
    EXPECT_EQ(copy.status, 5);
    EXPECT_NE(copy.err.find("/nonexistent-dir/b.mid"), std::string::npos);
    CliRun dump = cli("dump " + quoted(dir + "/a.mid") + " -o /nonexistent-dir/d.txt");
    EXPECT_EQ(dump.status, 5);
    EXPECT_NE(dump.err.find("/nonexistent-dir/d.txt"), std::string::npos);
}

TEST(CliFailures, UsageErrorsExitWithTwo) {
    EXPECT_EQ(cli("info").status, 2);
    EXPECT_EQ(cli("info a.mid b.mid").status, 2);
    EXPECT_EQ(cli("dump a.mid --bogus").status, 2);
    EXPECT_EQ(cli("dump a.mid -o").status, 2);
    EXPECT_EQ(cli("copy a.mid").status, 2);
    CliRun help = cli("copy --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: reedtab-cli copy IN OUT"), std::string::npos);
}

TEST(CliFailures, TruncatedFileWarnsOnStderrAndSucceeds) {
    std::string dir = scratch("truncated");
    std::string file = sampleFile();
    file.resize(file.size() - 4); // ends after a complete message, where a delta belongs
    file[21] = static_cast<char>(0x7F);
    writeBytes(dir + "/t.mid", file);
    CliRun run = cli("info " + quoted(dir + "/t.mid"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, std::string(MidiSong::truncationWarning) + "\n");
    EXPECT_NE(run.out.find("truncated: yes"), std::string::npos);
}

TEST(CliDump, StdoutAndFileMatchTheModelsDump) {
    std::string dir = scratch("dump");
    writeBytes(dir + "/a.mid", sampleFile());
    MidiSong song;
    ASSERT_EQ(song.loadFile(dir + "/a.mid"), 0);
    CliRun toStdout = cli("dump " + quoted(dir + "/a.mid"));
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, song.dumpText());
    EXPECT_NE(toStdout.out.find("(0 corrected 0 overlapped (*) 1 unfinished)"), std::string::npos);
    CliRun toFile = cli("dump " + quoted(dir + "/a.mid") + " -o " + quoted(dir + "/d.txt"));
    EXPECT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(slurp(dir + "/d.txt"), song.dumpText());
}

TEST(CliCopy, WritesAFileThatReadsTheSame) {
    std::string dir = scratch("copy");
    writeBytes(dir + "/a.mid", sampleFile());
    CliRun run = cli("copy " + quoted(dir + "/a.mid") + " " + quoted(dir + "/b.mid"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    MidiSong a, b;
    ASSERT_EQ(a.loadFile(dir + "/a.mid"), 0);
    ASSERT_EQ(b.loadFile(dir + "/b.mid"), 0);
    ASSERT_EQ(a.tracks.size(), b.tracks.size());
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        ASSERT_EQ(a.tracks[t]->size(), b.tracks[t]->size());
        for (size_t i = 0; i < a.tracks[t]->size(); ++i) {
            EXPECT_EQ(a.tracks[t]->at(i)->kind(), b.tracks[t]->at(i)->kind());
            EXPECT_EQ(a.tracks[t]->at(i)->tick, b.tracks[t]->at(i)->tick);
            EXPECT_EQ(a.tracks[t]->at(i)->bytes(), b.tracks[t]->at(i)->bytes());
        }
    }
    EXPECT_EQ(b.tracks[0]->name, "Tune");
}
