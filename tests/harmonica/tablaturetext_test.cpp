#include "harmonica/tablaturetext.h"
#include "model/midisong.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace reedtab {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Note {
    int tick;
    int key;
    int length;
};

// A format-1 file at division 480 (4/4, 1920 ticks a bar): an empty first track, then one
// track per list of notes, each note on channel 0.
Bytes songBytes(const std::vector<std::vector<Note>>& tracks) {
    auto put32 = [](Bytes& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    };
    auto putDelta = [](Bytes& out, std::uint32_t v) {
        Bytes groups{static_cast<std::uint8_t>(v & 0x7F)};
        while (v >>= 7) {
            groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (v & 0x7F)));
        }
        out.insert(out.end(), groups.begin(), groups.end());
    };
    Bytes file = {'M',  'T', 'h', 'd', 0, 0,
                  0,    6,   0,   1,   0, static_cast<std::uint8_t>(tracks.size() + 1),
                  0x01, 0xE0};
    std::vector<std::vector<Note>> all = {{}};
    all.insert(all.end(), tracks.begin(), tracks.end());
    for (const auto& notes : all) {
        struct Message {
            int tick;
            std::uint8_t status, key, velocity;
        };
        std::vector<Message> messages;
        for (const Note& n : notes) {
            messages.push_back({n.tick, 0x90, static_cast<std::uint8_t>(n.key), 100});
            messages.push_back({n.tick + n.length, 0x80, static_cast<std::uint8_t>(n.key), 0});
        }
        std::stable_sort(messages.begin(), messages.end(),
                         [](const Message& a, const Message& b) { return a.tick < b.tick; });
        Bytes body;
        int now = 0;
        for (const Message& m : messages) {
            putDelta(body, static_cast<std::uint32_t>(m.tick - now));
            now = m.tick;
            body.insert(body.end(), {m.status, m.key, m.velocity});
        }
        body.insert(body.end(), {0, 0xFF, 0x2F, 0});
        file.insert(file.end(), {'M', 'T', 'r', 'k'});
        put32(file, static_cast<std::uint32_t>(body.size()));
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

class TablatureTextTest : public ::testing::Test {
protected:
    TablatureTextTest() { block.tabMode = kDiatonicTab; }

    void load(const std::vector<std::vector<Note>>& tracks) {
        const Bytes bytes = songBytes(tracks);
        ASSERT_EQ(song.loadMemory(bytes.data(), bytes.size()), LoadOk);
        for (const auto& track : song.tracks) {
            for (const auto& event : track->events) {
                event->isNote = event->isNoteOn() && event->duration > 0;
            }
        }
    }
    std::vector<std::string> texts(const SongTablature& tab, std::size_t track) {
        std::vector<std::string> out;
        for (const TablatureGroup& g : tab.tracks.at(track).groups) {
            out.push_back(std::to_string(g.tick) + ":" + g.text);
        }
        return out;
    }

    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout chromatic{block};
    Notation notation{block, diatonic, chromatic};
    MidiSong song;
};

using Texts = std::vector<std::string>;

TEST_F(TablatureTextTest, GroupsBarsAndBlanks) {
    load({{{0, 60, 240}, {0, 64, 240}, {480, 67, 240}, {1920, 72, 240}, {2400, 71, 240}},
          {{960, 48, 100}, {3840, 67, 480}}});
    const SongTablature tab = tablatureText(song, notation, -1, -1);
    ASSERT_EQ(tab.tracks.size(), 2u) << "the first track has no notes";
    EXPECT_EQ(tab.tracks[0].trackIndex, 1);
    EXPECT_EQ(texts(tab, 0), (Texts{"0:/+1+2 ", "480:-2 ", "1920:/+4 ", "2400:-3 "}));
    EXPECT_EQ(texts(tab, 1), (Texts{"960:/C ", "3840:/-2 "}))
        << "unplayable notes by name, each track starts with a bar mark";
    EXPECT_EQ(tab.endTick, 4320) << "note-off of the last note converted";
}

TEST_F(TablatureTextTest, RangeHiddenTracksAndEndTick) {
    load({{{0, 60, 240}, {480, 67, 240}, {1920, 72, 240}, {2400, 71, 240}}, {{500, 62, 2000}}});
    SongTablature tab = tablatureText(song, notation, 480, 2400);
    ASSERT_EQ(tab.tracks.size(), 2u);
    EXPECT_EQ(texts(tab, 0), (Texts{"480:/-2 ", "1920:/+4 "}));
    EXPECT_EQ(texts(tab, 1), (Texts{"500:/-1 "}));
    EXPECT_EQ(tab.endTick, 2500) << "the last note converted is the second track's";

    song.track(2)->flags = 0;
    tab = tablatureText(song, notation, 480, -1);
    ASSERT_EQ(tab.tracks.size(), 1u);
    EXPECT_EQ(texts(tab, 0), (Texts{"480:/-2 ", "1920:/+4 ", "2400:-3 "}));
    EXPECT_EQ(tab.endTick, 2640);

    tab = tablatureText(song, notation, 5000, -1);
    EXPECT_TRUE(tab.tracks.empty());
    EXPECT_EQ(tab.endTick, -1);
}

TEST_F(TablatureTextTest, OnlyNotesMarkedAsNotesAndTheCurrentMode) {
    load({{{0, 60, 240}, {480, 62, 240}}});
    song.track(1)->events.front()->isNote = 0;
    block.tabMode = kNotesBb;
    const SongTablature tab = tablatureText(song, notation, -1, -1);
    ASSERT_EQ(tab.tracks.size(), 1u);
    EXPECT_EQ(texts(tab, 0), (Texts{"480:/E "}));
}

TEST_F(TablatureTextTest, ChosenFingeringsWhileTheHarmonicaStillHasThem) {
    diatonic.init(60, 0);
    load({{{0, 67, 240}, {480, 72, 240}, {960, 67, 240}}});
    const uint16_t three = notation.fingeringFor(67, 1); // +3 instead of -2
    ASSERT_NE(three, 0);
    EXPECT_EQ(notation.alternativeOf(67, three), 1);
    EXPECT_EQ(notation.fingeringFor(67, 0), 0) << "the preferred one needs no choice";
    EXPECT_EQ(notation.fingeringFor(67, 2), 0) << "there is no third way";
    EXPECT_EQ(notation.alternativeOf(72, three), 0) << "another note's choice means nothing";
    song.track(1)->events.front()->fingering = three;
    EXPECT_EQ(texts(tablatureText(song, notation, -1, -1), 0),
              (Texts{"0:/+3 ", "480:+4 ", "960:-2 "}));

    // Another key moves the holes: the choice no longer plays that note, so the note shows
    // its preferred way; back in C the choice holds again.
    diatonic.build(62, 0);
    EXPECT_EQ(notation.alternativeOf(67, three), 0);
    diatonic.build(60, 0);
    EXPECT_EQ(notation.alternativeOf(67, three), 1);
    // A diatonic choice means nothing on the chromatic, and the reverse.
    block.tabMode = kChromaticTab;
    EXPECT_EQ(notation.alternativeOf(67, three), 0);
    chromatic.init(60, chromatic.tuningIndex());
    const uint16_t slide = notation.fingeringFor(72, 1);
    ASSERT_NE(slide, 0);
    EXPECT_NE(slide, notation.fingeringFor(72, 0));
    block.tabMode = kDiatonicTab;
    EXPECT_EQ(notation.alternativeOf(72, slide), 0);
}

TEST_F(TablatureTextTest, PlainSymbolsWhateverTheSettings) {
    block.dblowSym = 'B';
    block.dbendSym = 'b';
    load({{{0, 61, 240}, {0, 60, 240}}});
    const SongTablature tab = tablatureText(song, notation, -1, -1);
    ASSERT_EQ(tab.tracks.size(), 1u);
    EXPECT_EQ(texts(tab, 0), (Texts{"0:/-1b+1 "})) << "in track order within the group";
}

} // namespace
} // namespace reedtab
