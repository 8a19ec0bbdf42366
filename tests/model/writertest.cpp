#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace reedtab;
using namespace reedtab::test;

namespace {

void makeSong(MidiSong& song) {
    song.clear();
    song.format = 1;
    song.division = 480;
    song.tracks.push_back(std::make_unique<MidiTrack>());
}

std::string hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    if (!out.empty())
        out.pop_back();
    return out;
}

// The bytes of track chunk number `index` (after the 8-byte chunk header).
std::string trackBody(const std::string& file, int index) {
    size_t pos = 14;
    for (int i = 0;; ++i) {
        uint32_t length = (uint8_t(file[pos + 4]) << 24) | (uint8_t(file[pos + 5]) << 16) |
                          (uint8_t(file[pos + 6]) << 8) | uint8_t(file[pos + 7]);
        if (i == index)
            return file.substr(pos + 8, length);
        pos += 8 + length;
    }
}

std::string saved(MidiSong& song, const std::string& name) {
    std::string path = scratchDir(name) + "/out.mid";
    EXPECT_EQ(song.saveFile(path), SaveOk);
    return readFile(path);
}

} // namespace

TEST(WriterBytes, EndOfTrackOnlySong) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeEndOfTrackEvent());
    std::string file = saved(song, "writer-eot");
    EXPECT_EQ(hex(file), "4D 54 68 64 00 00 00 06 00 01 00 01 01 E0 "
                         "4D 54 72 6B 00 00 00 04 00 FF 2F 00");
}

TEST(WriterBytes, ChannelMessagesNeverUseRunningStatus) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeChannelEvent(0xC2, 22, 0));
    song.addEvent(0, 0, makeChannelEvent(0x92, 60, 100));
    song.addEvent(200, 0, makeChannelEvent(0x92, 60, 0));
    song.addEvent(200, 0, makeChannelEvent(0xD2, 50, 0));
    std::string body = trackBody(saved(song, "writer-channel"), 0);
    // Among events of one tick the higher kind comes first (pressure before note).
    EXPECT_EQ(hex(body), "00 C2 16 00 92 3C 64 81 48 D2 32 00 92 3C 00");
}

TEST(WriterBytes, VariableLengthDeltas) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0x0FFFFFFF, 0, makeChannelEvent(0xB0, 1, 2));
    EXPECT_EQ(hex(trackBody(saved(song, "writer-varlen"), 0)), "FF FF FF 7F B0 01 02");
}

TEST(WriterBytes, SysExWritesItsLeadingByteOnce) {
    MidiSong song;
    makeSong(song);
    uint8_t sysex[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    song.addEvent(0, 0, makeSysExEvent(sysex, 6));
    auto strange = std::make_unique<StrangeSysExEvent>();
    strange->setData("\xF3\x01", 2);
    song.addEvent(0, 0, std::move(strange));
    EXPECT_EQ(hex(trackBody(saved(song, "writer-sysex"), 0)),
              "00 F7 02 F3 01 00 F0 05 7E 7F 09 01 F7");
}

TEST(WriterBytes, EditorTextKeepsItsZero) {
    MidiSong song;
    makeSong(song);
    song.addTextEvent(0, 0, "Hi");
    EXPECT_EQ(hex(trackBody(saved(song, "writer-text"), 0)), "00 FF 01 03 48 69 00");
}

TEST(WriterBytes, EventOutOfOrderIsWrittenAtThePreviousTime) {
    MidiSong song;
    makeSong(song);
    MidiTrack& t = *song.tracks[0];
    for (int32_t tick : {100, 50, 120}) {
        auto e = makeChannelEvent(0xB0, 1, 1);
        e->tick = tick;
        t.append(std::move(e));
    }
    EXPECT_EQ(hex(trackBody(saved(song, "writer-negative"), 0)),
              "64 B0 01 01 00 B0 01 01 14 B0 01 01");
}

TEST(WriterResults, NoTracksWritesNothing) {
    MidiSong song;
    std::string path = scratchDir("writer-none") + "/none.mid";
    EXPECT_EQ(song.saveFile(path), SaveNoTracks);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(WriterResults, UncreatableFileFails) {
    MidiSong song;
    makeSong(song);
    EXPECT_EQ(song.saveFile("/nonexistent-dir/x.mid"), SaveFailed);
    EXPECT_EQ(song.path, "/nonexistent-dir/x.mid");
}

TEST(WriterResults, EmptyPathUsesTheSongPath) {
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeEndOfTrackEvent());
    song.path = scratchDir("writer-path") + "/p.mid";
    EXPECT_EQ(song.saveFile(), SaveOk);
    EXPECT_EQ(readFile(song.path).size(), 26u);
}

TEST(WriterResults, FailedWriteLeavesTheExistingFileIntact) {
    // A file-size limit makes write() fail part-way, as a full disk does.
    std::string dir = scratchDir("writer-full");
    std::string path = dir + "/keep.mid";
    std::ofstream(path) << "old content";
    MidiSong song;
    makeSong(song);
    for (int i = 0; i < 100; ++i)
        song.addTextEvent(0, i, "a text long enough to pass the limit");
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit oldLimit;
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    struct rlimit limit = oldLimit;
    limit.rlim_cur = 512;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int result = song.saveFile(path);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, SaveFailed);
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file left behind";
}

TEST(WriterResults, SaveReplacesTheFileAndKeepsItsPermissions) {
    std::string dir = scratchDir("writer-replace");
    std::string path = dir + "/song.mid";
    std::ofstream(path) << "old";
    ::chmod(path.c_str(), 0640);
    MidiSong song;
    makeSong(song);
    song.addEvent(0, 0, makeEndOfTrackEvent());
    ASSERT_EQ(song.saveFile(path), SaveOk);
    EXPECT_EQ(readFile(path).substr(0, 4), "MThd");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(WriterRoundTrip, EveryKindSurvivesWriteAndRead) {
    MidiSong song;
    Bytes events = {0x00, 0xFF, 0x03, 0x04, 'L',  'e',  'a',  'd',  0x00, 0xFF, 0x02, 0x01, 'c',
                    0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08, 0x00, 0xFF, 0x59, 0x02, 0x02,
                    0x00, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x7F, 0x03, 0x00,
                    0x00, 0x41, 0x00, 0xF0, 0x03, 0x43, 0x12, 0x00, 0x05, 0xF7, 0x02, 0x43, 0xF7,
                    0x00, 0xF7, 0x01, 0xF8, 0x00, 0xC3, 0x16, 0x00, 0x93, 0x3C, 0x40, 0x00, 0xB3,
                    0x07, 0x64, 0x00, 0xD3, 0x10, 0x00, 0xA3, 0x3C, 0x20, 0x00, 0xE3, 0x00, 0x40,
                    0x00, 0xFF, 0x01, 0x02, 'h',  'i',  0x00, 0xFF, 0x05, 0x02, 'l',  'a',  0x60,
                    0x83, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    Bytes file = smf(1, 96, {events, {0x00, 0xFF, 0x2F, 0x00}});
    ASSERT_EQ(load(song, file), LoadOk);
    std::string path = scratchDir("writer-roundtrip") + "/rt.mid";
    ASSERT_EQ(song.saveFile(path), SaveOk);
    MidiSong back;
    ASSERT_EQ(back.loadFile(path), LoadOk);
    ASSERT_EQ(back.tracks.size(), song.tracks.size());
    for (size_t t = 0; t < song.tracks.size(); ++t) {
        const MidiTrack& a = *song.tracks[t];
        const MidiTrack& b = *back.tracks[t];
        ASSERT_EQ(kinds(a), kinds(b)) << "track " << t;
        EXPECT_EQ(ticks(a), ticks(b));
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a.at(i)->bytes(), b.at(i)->bytes()) << "event " << i;
            EXPECT_EQ(a.at(i)->status, b.at(i)->status);
            EXPECT_EQ(a.at(i)->data1, b.at(i)->data1);
            EXPECT_EQ(a.at(i)->data2, b.at(i)->data2);
            EXPECT_EQ(a.at(i)->metaType, b.at(i)->metaType);
        }
        EXPECT_EQ(a.name, b.name);
    }
    EXPECT_EQ(back.mergedEvents.size(), song.mergedEvents.size());
    EXPECT_EQ(back.keyName, "D");
}
