#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

using namespace reedtab;
using namespace reedtab::test;

namespace {

std::string pad65(const std::string& text) {
    return text + std::string(65 - text.size(), ' ');
}

} // namespace

TEST(Dump, WholeSongToTheCharacter) {
    Bytes events = {0x00, 0xFF, 0x03, 0x04, 'S',  'o',  'l',  'o',  0x00, 0x90, 0x3C,
                    0x64, 0x83, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 480, {events})), LoadOk);
    std::string expected =
        "Format 1, division 480, 1 tracks\n"
        "(0 corrected 0 overlapped (*) 0 unfinished)\n"
        "\nTrack 0:\n" +
        (" 001:01:000 " + pad65("Track Name      : text = [4] Solo") + "\n") +
        (" 001:01:000 " + pad65("Time signature  : 4/4, 24 Midi clocks/click, 8 32nd/quarter [4]") +
         "\n") +
        (" 001:01:000 " + pad65("Note On         : ch 01 note =  60 vel = 100 (480L)") + "\n") +
        (" 001:02:000 " + pad65("Note Off        : ch 01 note =  60 vel =   0") + "\n") +
        (" 001:02:000 " + pad65("End of Track    : ") + "\n") + "\nMessages Count : 3\n";
    EXPECT_EQ(song.dumpText(), expected);
    std::string path = scratchDir("dump") + "/dump.txt";
    ASSERT_EQ(song.writeDump(path), 0);
    EXPECT_EQ(readFile(path), expected);
}

TEST(Dump, OverlapMarkAndCounters) {
    Bytes events = {0x00, 0x90, 0x3C, 0x40, 0x64, 0x90, 0x3C, 0x40, 0x64, 0x80, 0x3C, 0x00,
                    0x64, 0x80, 0x3C, 0x00, 0x00, 0x91, 0x30, 0x40, 0x00, 0xFF, 0x2F, 0x00};
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {events})), LoadOk);
    std::string text = song.dumpText();
    EXPECT_NE(text.find("(0 corrected 1 overlapped (*) 1 unfinished)\n"), std::string::npos);
    EXPECT_NE(text.find("\n*001:01:000 Note On "), std::string::npos);
    EXPECT_NE(text.find("\n*001:02:004 Note On "), std::string::npos);
}

TEST(Dump, LongDescriptionIsCutAtTheBuffer) {
    MidiSong song;
    song.format = 1;
    song.division = 96;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    std::string big(5000, '\x11');
    big.front() = static_cast<char>(0xF0);
    song.addEvent(0, 0, makeSysExEvent(big.data(), static_cast<uint32_t>(big.size())));
    std::string text = song.dumpText();
    size_t start = text.find("SysEx");
    size_t end = text.find('\n', start);
    EXPECT_LE(end - start, 8191u);
    EXPECT_GT(end - start, 8000u);
}

TEST(Dump, RefusalsAndEmptySong) {
    MidiSong song;
    std::string path = scratchDir("dump-empty") + "/d.txt";
    EXPECT_EQ(song.writeDump(path), 0);
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(song.writeDump("/nonexistent-dir/d.txt"), -1);
    song.loading = true;
    EXPECT_EQ(song.writeDump(path), -1);
}
