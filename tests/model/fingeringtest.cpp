// A note's chosen fingering travels through files as a sequencer-specific event beside it.

#include "model/midisong.h"
#include "model/miditrack.h"

#include "smfbytes.h"

#include <gtest/gtest.h>

#include <map>

using namespace reedtab;
using namespace reedtab::test;

namespace {

constexpr uint16_t kDiatonicChoice = 0x4203;
constexpr uint16_t kChromaticChoice = 0x6101;

// A fingering event with a delta time of 0.
Bytes fingeringEvent(int channel, int key, uint16_t value) {
    return {0x00,
            0xFF,
            0x7F,
            9,
            0x7D,
            'R',
            'T',
            'F',
            1,
            static_cast<uint8_t>(channel),
            static_cast<uint8_t>(key),
            static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value & 0xFF)};
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// What a reader that knows nothing of fingerings sees in a file: per track the note-ons that
// sound and the number of other events, read with the plain rules of the file format.
struct PlainCount {
    std::vector<std::vector<std::pair<uint32_t, int>>> notes; // (tick, key) per track
    int others = 0;
};

PlainCount plainRead(const std::string& file) {
    PlainCount count;
    size_t pos = 14;
    auto byte = [&](size_t at) { return static_cast<uint8_t>(file.at(at)); };
    auto varLen = [&](size_t& at) {
        uint32_t v = 0;
        uint8_t b = 0;
        do {
            b = byte(at++);
            v = (v << 7) | (b & 0x7F);
        } while (b & 0x80);
        return v;
    };
    while (pos + 8 <= file.size()) {
        const uint32_t length = static_cast<uint32_t>(byte(pos + 4) << 24 | byte(pos + 5) << 16 |
                                                      byte(pos + 6) << 8 | byte(pos + 7));
        size_t at = pos + 8;
        const size_t end = at + length;
        count.notes.emplace_back();
        uint32_t tick = 0;
        uint8_t running = 0;
        while (at < end) {
            tick += varLen(at);
            uint8_t status = byte(at);
            if (status & 0x80) {
                ++at;
            } else {
                status = running;
            }
            if (status == 0xFF) {
                ++at;
                at += varLen(at);
                ++count.others;
            } else if (status == 0xF0 || status == 0xF7) {
                at += varLen(at);
                ++count.others;
            } else {
                running = status;
                const int size = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
                if ((status & 0xF0) == 0x90 && byte(at + 1) > 0) {
                    count.notes.back().push_back({tick, byte(at)});
                } else {
                    ++count.others;
                }
                at += static_cast<size_t>(size);
            }
        }
        pos = end;
    }
    return count;
}

MidiEvent* noteAt(MidiSong& song, int track, int32_t tick, int key) {
    for (const auto& e : song.track(track)->events) {
        if (e->isNoteOn() && e->tick == tick && e->data1 == key) {
            return e.get();
        }
    }
    return nullptr;
}

} // namespace

TEST(Fingerings, ReadIntoTheirNotesAndWrittenBackBesideThem) {
    const Bytes track = join({fingeringEvent(2, 60, kDiatonicChoice),
                              {0x00, 0x92, 60, 100, 0x00, 0x92, 64, 100},
                              {0x83, 0x60, 0x82, 60, 0, 0x00, 0x82, 64, 0},
                              fingeringEvent(2, 67, kChromaticChoice),
                              {0x00, 0x92, 67, 90, 0x83, 0x60, 0x82, 67, 0},
                              {0x00, 0xFF, 0x2F, 0}});
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 480, {{0x00, 0xFF, 0x2F, 0}, track})), LoadOk);
    // The two fingering events are no events of the song: they became fields of their notes.
    EXPECT_EQ(song.track(1)->events.size(), 7u);
    ASSERT_NE(noteAt(song, 1, 0, 60), nullptr);
    EXPECT_EQ(noteAt(song, 1, 0, 60)->fingering, kDiatonicChoice);
    EXPECT_EQ(noteAt(song, 1, 0, 64)->fingering, 0);
    EXPECT_EQ(noteAt(song, 1, 480, 67)->fingering, kChromaticChoice);

    const std::string path = scratchDir("fingering-roundtrip") + "/song.mid";
    ASSERT_EQ(song.saveFile(path), SaveOk);
    const std::string file = readFile(path);
    const std::string expected(reinterpret_cast<const char*>(fingeringEvent(2, 60, 0).data()) + 1,
                               9);
    EXPECT_NE(file.find(expected), std::string::npos) << "the tag and the note's channel";

    MidiSong again;
    ASSERT_EQ(again.loadFile(path), LoadOk);
    EXPECT_EQ(again.track(1)->events.size(), 7u);
    EXPECT_EQ(noteAt(again, 1, 0, 60)->fingering, kDiatonicChoice);
    EXPECT_EQ(noteAt(again, 1, 0, 64)->fingering, 0);
    EXPECT_EQ(noteAt(again, 1, 480, 67)->fingering, kChromaticChoice);
    EXPECT_EQ(again.mergedEvents.size(), song.mergedEvents.size());

    // A reader that knows nothing of fingerings finds every note where it was.
    const PlainCount plain = plainRead(file);
    ASSERT_EQ(plain.notes.size(), 2u);
    const std::vector<std::pair<uint32_t, int>> notes = {{0, 60}, {0, 64}, {480, 67}};
    EXPECT_EQ(plain.notes[1], notes);
    // Track 0's time signature (the reader adds one) and end, then two fingerings, three
    // note-offs and the end of track 1.
    EXPECT_EQ(plain.others, 2 + 2 + 3 + 1);
}

TEST(Fingerings, StrayAndForeignEventsAndFormatZero) {
    // A fingering for a key that is not there is dropped; another program's sequencer-specific
    // event stays an event of the song.
    const Bytes foreign = {0x00, 0xFF, 0x7F, 4, 0x00, 0x00, 0x41, 0x10};
    const Bytes track = join({fingeringEvent(0, 61, kDiatonicChoice),
                              foreign,
                              {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0}});
    MidiSong song;
    ASSERT_EQ(load(song, smf(1, 96, {track})), LoadOk);
    EXPECT_EQ(noteAt(song, 0, 0, 60)->fingering, 0);
    int sequencerEvents = 0;
    for (const auto& e : song.track(0)->events) {
        sequencerEvents += e->metaType == 0x7F;
    }
    EXPECT_EQ(sequencerEvents, 1);

    // Format 0 is split into a track per channel: the fingering still finds its note.
    const Bytes single = join({fingeringEvent(3, 62, kDiatonicChoice),
                               {0x00, 0x93, 62, 100, 0x60, 0x83, 62, 0, 0x00, 0xFF, 0x2F, 0}});
    MidiSong zero;
    ASSERT_EQ(load(zero, smf(0, 96, {single})), LoadOk);
    std::map<int, uint16_t> found;
    for (const auto& t : zero.tracks) {
        for (const auto& e : t->events) {
            if (e->isNoteOn()) {
                found[e->data1] = e->fingering;
            }
        }
    }
    EXPECT_EQ(found, (std::map<int, uint16_t>{{62, kDiatonicChoice}}));
}
