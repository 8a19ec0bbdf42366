// Files cut short at every byte: what was read before the cut must be exactly what a file
// holding only the complete messages before the cut reads as, with the truncation flag.

#include "model/midisong.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

using namespace reedtab;
using namespace reedtab::test;

namespace {

// Where a track chunk's data starts and where each of its messages ends, found by walking the
// bytes without the reader.
struct ChunkLayout {
    size_t dataStart = 0;
    size_t dataEnd = 0;
    std::vector<size_t> messageEnds;
};

std::vector<ChunkLayout> layoutOf(const Bytes& file) {
    std::vector<ChunkLayout> chunks;
    size_t pos = 14;
    while (pos + 8 <= file.size()) {
        ChunkLayout chunk;
        chunk.dataStart = pos + 8;
        chunk.dataEnd =
            chunk.dataStart + (size_t{file[pos + 4]} << 24 | size_t{file[pos + 5]} << 16 |
                               size_t{file[pos + 6]} << 8 | file[pos + 7]);
        size_t p = chunk.dataStart;
        auto varLen = [&] {
            size_t value = 0;
            while (file[p] & 0x80)
                value = value << 7 | (file[p++] & 0x7F);
            return value << 7 | file[p++];
        };
        int running = 0;
        while (p < chunk.dataEnd) {
            varLen();
            int status = file[p];
            if (status & 0x80)
                ++p;
            else
                status = running;
            if (status == 0xFF) {
                ++p;
                p += varLen();
            } else if (status == 0xF0 || status == 0xF7) {
                p += varLen();
            } else {
                running = status;
                p += (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
            }
            chunk.messageEnds.push_back(p);
        }
        chunks.push_back(chunk);
        pos = chunk.dataEnd;
    }
    return chunks;
}

// The file of the complete messages before `cut`: the chunks begun before it, the last one
// holding only the messages that end by the cut.
Bytes completePart(const Bytes& file, const std::vector<ChunkLayout>& chunks, size_t cut) {
    Bytes out(file.begin(), file.begin() + 14);
    int count = 0;
    for (const ChunkLayout& chunk : chunks) {
        if (cut < chunk.dataStart)
            break;
        size_t kept = chunk.dataStart;
        for (size_t end : chunk.messageEnds)
            if (end <= cut)
                kept = end;
        Bytes c = test::chunk(Bytes(file.begin() + static_cast<std::ptrdiff_t>(chunk.dataStart),
                                    file.begin() + static_cast<std::ptrdiff_t>(kept)));
        out.insert(out.end(), c.begin(), c.end());
        ++count;
        if (cut < chunk.dataEnd)
            break;
    }
    out[10] = static_cast<uint8_t>(count >> 8);
    out[11] = static_cast<uint8_t>(count);
    return out;
}

using Row = std::tuple<int, int, int32_t, int, int, int, int32_t, std::string, int>;

std::vector<Row> rows(const MidiSong& song) {
    std::vector<Row> out;
    for (int t = 0; t < song.trackCount(); ++t)
        for (const auto& e : song.tracks[static_cast<size_t>(t)]->events)
            out.emplace_back(t, e->kind(), e->tick, e->status, e->data1, e->data2, e->duration,
                             std::string(e->bytes()), e->fingering);
    return out;
}

// Cuts `file` at every byte and compares each read with the read of its complete part.
void checkEveryCut(const Bytes& file) {
    const std::vector<ChunkLayout> chunks = layoutOf(file);
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(chunks.back().dataEnd, file.size()) << "the walk must cover the whole file";
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const Bytes head(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
        MidiSong song;
        const int result = load(song, head);
        if (cut < 14) {
            EXPECT_EQ(result, LoadBadHeader);
            continue;
        }
        ASSERT_EQ(result, LoadOk);
        EXPECT_EQ(song.truncated, cut < file.size());
        MidiSong expected;
        ASSERT_EQ(load(expected, completePart(file, chunks, cut)), LoadOk);
        ASSERT_FALSE(expected.truncated);
        EXPECT_EQ(rows(song), rows(expected));
        EXPECT_EQ(song.length, expected.length);
        EXPECT_EQ(song.mergedEvents.size(), expected.mergedEvents.size());
    }
}

Bytes readExample(const std::string& name) {
    std::ifstream in(std::string(REEDTAB_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(ReaderCut, EveryCutOfTheExamplesKeepsTheCompleteMessagesBeforeIt) {
    for (const char* name : {"oh-susanna.mid", "amazing-grace.kar", "saints.mid"}) {
        SCOPED_TRACE(name);
        const Bytes file = readExample(name);
        ASSERT_GT(file.size(), 100u);
        checkEveryCut(file);
    }
}

TEST(ReaderCut, EveryCutOfRunningStatusMetaAndSystemExclusive) {
    // A program change, running status across a meta event, note-offs as note-ons of velocity
    // 0, a system-exclusive message in one packet and in two, an escape packet, and a second
    // track with a delta time of two bytes; in a format-1 file and in a format-0 one.
    const Bytes first = {0x00, 0xFF, 0x03, 0x04, 'L',  'e',  'a',  'd',  0x00, 0xC0, 0x05, 0x00,
                         0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40, 0x05, 0xFF, 0x01, 0x02, 'h',  'i',
                         0x20, 0x3C, 0x00, 0x10, 0x3E, 0x00, 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09,
                         0x01, 0xF7, 0x08, 0xF0, 0x03, 0x43, 0x12, 0x00, 0x04, 0xF7, 0x02, 0x43,
                         0xF7, 0x02, 0xF7, 0x02, 0xF3, 0x01, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes second = {0x00, 0x91, 0x40, 0x50, 0x81, 0x00, 0x81,
                          0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    checkEveryCut(smf(1, 96, {first, second}));
    checkEveryCut(smf(0, 96, {first}));
}
