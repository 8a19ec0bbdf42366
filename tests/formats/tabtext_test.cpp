#include "formats/tabtext.h"

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "songbuilder.h"

#include <gtest/gtest.h>

#include <random>

namespace reedtab::testing {
namespace {

class TabTextTest : public ::testing::Test {
protected:
    Settings block;
    DiatonicLayout richter{block};
    ChromaticLayout chromatic{block};

    // The tokens of the ways a key is played, in the order the note map lists them.
    std::vector<std::string> tokens(const HarmonicaLayout& layout, int key, TabStyle style) {
        std::vector<std::string> out;
        for (const std::uint16_t code : layout.noteMap(key)) {
            out.push_back(tabToken(layout.playingOf(code), style));
        }
        return out;
    }
    // The tokens of a text read back, one string per chord.
    std::vector<std::string> readBack(const std::string& text, const HarmonicaLayout& layout,
                                      TabReadOptions options = {}) {
        TabReadError error;
        const auto chords = readTabText(text, layout, options, error);
        EXPECT_TRUE(chords) << error.text();
        std::vector<std::string> out;
        for (const TabChord& chord : chords.value_or(std::vector<TabChord>{})) {
            std::string spelled;
            for (const TabNote& note : chord.notes) {
                const std::string token =
                    note.alternative < 0
                        ? "[" + std::to_string(note.key) + "]"
                        : tabToken(layout.playingOf(layout.noteMap(
                                       note.key)[static_cast<std::size_t>(note.alternative)]),
                                   TabStyle::Plus);
                spelled += (spelled.empty() ? "" : " ") + token;
            }
            out.push_back(spelled);
        }
        return out;
    }
    TabReadError failure(const std::string& text, const HarmonicaLayout& layout) {
        TabReadError error;
        EXPECT_FALSE(readTabText(text, layout, {}, error)) << text;
        return error;
    }
};

using Strings = std::vector<std::string>;

TEST_F(TabTextTest, EveryStyleSpellsEveryTechnique) {
    // Notes of the Richter harp in C: blow 4, draw 4, draw 4 bent, draw 3 bent twice, hole 6
    // overblow, hole 7 overdraw, hole 8 blow bent.
    const std::vector<int> keys = {72, 74, 73, 69, 82, 85, 87};
    auto line = [&](TabStyle style) {
        std::string out;
        for (const int key : keys) {
            out += (out.empty() ? "" : " ") + tokens(richter, key, style).front();
        }
        return out;
    };
    EXPECT_EQ(line(TabStyle::Plus), "+4 -4 -4' -3'' +6o -7o +8'");
    EXPECT_EQ(line(TabStyle::Plain), "4 -4 -4' -3'' 6o -7o 8'");
    EXPECT_EQ(line(TabStyle::HarpSurgery), "4B 4D 4D' 3D'' 6B# 7D# 8B'");
    EXPECT_EQ(line(TabStyle::BBends), "+4 -4 -4b -3bb +6o -7o +8b");
    EXPECT_EQ(line(TabStyle::DrawDefault), "+4 4 4' 3'' +6o 7o +8'");

    DiatonicLayout valved(block);
    valved.build(60, 8);
    EXPECT_EQ(tokens(valved, 66, TabStyle::Plus), Strings({"+3'", "-2'"})) << "valved bends";
    chromatic.build(60, 0);
    EXPECT_EQ(tokens(chromatic, 60, TabStyle::Plus), Strings({"+1", "+4'", "-4'<"}))
        << "the low octave's holes carry an apostrophe";
    EXPECT_EQ(tokens(chromatic, 61, TabStyle::HarpSurgery), Strings({"1B<", "4B'<"}));
}

TEST_F(TabTextTest, WritesHeaderBarsChordsAndNotesTheHarpLacks) {
    SongBuilder b(2);
    b.name(0, "Little Tune").time(0, 4, 4);
    b.note(1, 60, 0, 480).note(1, 62, 480, 960).note(1, 64, 960, 1920);
    // Bar 2 is empty; bar 3: a chord and a note the harp lacks; bars 4 and 5 one note each.
    b.note(1, 60, 3840, 4320).note(1, 64, 3840, 4320).note(1, 67, 3840, 4320);
    b.note(1, 50, 4320, 4800);
    b.note(1, 71, 5760, 6240).note(1, 72, 7680, 8160);
    MidiSong song;
    b.load(song);
    // Blow 3 chosen for the G of the chord.
    for (const auto& e : song.track(1)->events) {
        if (e->isNoteOn() && e->data1 == 67) {
            e->fingering = richter.fingeringFor(67, 1);
        }
    }
    TabTextOptions options;
    options.barsPerLine = 2;
    EXPECT_EQ(writeTabText(song, 1, richter, options), "Title: Little Tune\n"
                                                       "Harp: C, Major Diatonic (Richter)\n"
                                                       "Position: 1st (song in C major)\n"
                                                       "\n"
                                                       "+1 -1 +2 | (+1 +2 +3) [D3] |\n"
                                                       "-3 | +4 |\n");
    options.style = TabStyle::HarpSurgery;
    options.from = 3840;
    options.to = 7680;
    options.barsPerLine = 4;
    const std::string text = writeTabText(song, 1, richter, options);
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "(1B 2B 3B) [D3] | 3D |\n");

    DiatonicLayout lowF(block);
    lowF.build(53, 7); // Hohner 365 in low F
    const std::string low = writeTabText(song, 1, lowF, {});
    EXPECT_NE(low.find("Harp: F (Low), Hohner 365\n"), std::string::npos) << low;
    EXPECT_NE(low.find("Position: 2nd (song in C major)\n"), std::string::npos) << low;
}

TEST_F(TabTextTest, LyricsStandUnderTheirNotes) {
    SongBuilder b(3);
    b.note(1, 60, 0, 480).note(1, 64, 480, 960).note(1, 67, 960, 1920).note(1, 72, 1920, 2400);
    b.lyric(2, 0, "Oh ").lyric(2, 480, "Su").lyric(2, 960, "san").lyric(2, 1440, "na");
    b.lyric(2, 1920, "\\don't");
    MidiSong song;
    b.load(song);
    TabTextOptions options;
    options.lyrics = true;
    options.style = TabStyle::Plain;
    const std::string text = writeTabText(song, 1, richter, options);
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "1  2   -2    | 4 |\n"
                                                  "Oh Su- sanna   don't\n");
}

TEST_F(TabTextTest, ReadsTheSpellingsPlayersUse) {
    EXPECT_EQ(readBack("+4 -4 -4' -3'' +6o -7o +8'", richter),
              Strings({"+4", "-4", "-4'", "-3''", "+6o", "-7o", "+8'"}));
    EXPECT_EQ(readBack("4B 4D 4D' 3D'' 6B# 7D#", richter),
              Strings({"+4", "-4", "-4'", "-3''", "+6o", "-7o"}));
    EXPECT_EQ(readBack("-4b -3bb -3\" -3\xE2\x80\x99 +8b", richter),
              Strings({"-4'", "-3''", "-3''", "-3'", "+8'"}));
    EXPECT_EQ(readBack("(4 5 6) (-1-2-3) ( +1 , +2 ) [Bb4] [c-1]", richter),
              Strings({"+4 +5 +6", "-1 -2 -3", "+1 +2", "[70]", "[0]"}));
    EXPECT_EQ(readBack("6o 7o 6O", richter), Strings({"+6o", "-7o", "+6o"}))
        << "an over names its reed whatever the breath";
    chromatic.build(60, 0);
    EXPECT_EQ(readBack("+1 -1< +3' -4'< 2B< 4D", chromatic),
              Strings({"+1", "-1<", "+3'", "-4'<", "+2<", "-4"}));
}

TEST_F(TabTextTest, BareNumbersAreGuessedOrAsTheStyleSays) {
    EXPECT_EQ(readBack("4 -4 5", richter), Strings({"+4", "-4", "+5"})) << "draws have a -";
    EXPECT_EQ(readBack("+4 4 +5 5", richter), Strings({"+4", "-4", "+5", "-5"}))
        << "blows have a +, never a -";
    EXPECT_EQ(readBack("4 5", richter), Strings({"+4", "+5"}));
    EXPECT_EQ(readBack("4 5", richter, {.style = TabStyle::DrawDefault}), Strings({"-4", "-5"}));
    EXPECT_EQ(readBack("+4 4", richter, {.style = TabStyle::Plain}), Strings({"+4", "+4"}));
}

TEST_F(TabTextTest, BarsAndLinesPlaceTheBeats) {
    TabReadError error;
    const std::string text = "My Song\n"
                             "Harp: C, Major Diatonic (Richter)\n"
                             "-------------------\n"
                             "+4 -4 | +5\n"
                             "Some words to sing\n"
                             "+6 +6 +6 +6 +6 | -6\n"
                             "||: +7 :||\n";
    const auto chords =
        readTabText(text, richter, {.style = TabStyle::Auto, .beatsPerBar = 3}, error);
    ASSERT_TRUE(chords) << error.text();
    std::vector<int> beats;
    for (const TabChord& chord : *chords) {
        beats.push_back(chord.beat);
    }
    EXPECT_EQ(beats, std::vector<int>({0, 1, 3, 6, 7, 8, 9, 10, 12, 15}));
}

TEST_F(TabTextTest, ATokenItCannotReadSaysWhere) {
    struct Case {
        std::string text;
        int line;
        int column;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"+4 -4\n-5 x7 +6", 2, 4, "cannot read \"x7\""},
        {"-3\xE2\x80\x99 +4'", 1, 5,
         "\"+4'\" is not played on the Major Diatonic (Richter) Key of C"},
        {"+4 (+5 +6", 1, 4, "\"(\" without \")\""},
        {"+4 ) +5", 1, 4, "\")\" without its opening"},
        {"+4 () +5", 1, 4, "an empty chord"},
        {"+11", 1, 1, "\"+11\" is not played on the Major Diatonic (Richter) Key of C"},
        {"+4DB", 1, 1, "\"+4DB\" is both blown and drawn"},
        {"-4 +4D", 1, 4, "\"+4D\" is both blown and drawn"},
        {"4 [H4]", 1, 4, "cannot read the note name \"H4\""},
        {"4 [C11]", 1, 4, "cannot read the note name \"C11\""},
        {"Just words\nand more words\n", 1, 1, "no line of tablature"},
    };
    for (const Case& c : cases) {
        const TabReadError error = failure(c.text, richter);
        EXPECT_EQ(error.text(), "line " + std::to_string(c.line) + ", column " +
                                    std::to_string(c.column) + ": " + c.message)
            << c.text;
    }
    chromatic.build(60, 2);
    EXPECT_EQ(failure("+1 -2'", chromatic).message,
              "\"-2'\" is not played on the 12 Hole Chromatic (std 48) Key of C");
    EXPECT_EQ(failure("+1 -2o", chromatic).message,
              "\"-2o\": a chromatic harmonica has no bends or overblows");
}

TEST_F(TabTextTest, TheHeaderNamesTheHarpItWasWrittenFor) {
    SongBuilder b(2);
    b.note(1, 60, 0, 480);
    MidiSong song;
    b.load(song);
    DiatonicLayout written(block);
    ChromaticLayout writtenChromatic(block);
    struct Harp {
        HarmonicaLayout* layout;
        int key;
        int tuning;
    };
    for (const Harp& harp : {Harp{&written, 60, 0}, Harp{&written, 53, 4}, Harp{&written, 41, 16},
                             Harp{&writtenChromatic, 48, 0}}) {
        harp.layout->build(harp.key, harp.tuning);
        const TabHeader header = readTabHeader(writeTabText(song, 1, *harp.layout, {}));
        DiatonicLayout diatonic(block);
        ChromaticLayout chromaticRead(block);
        HarmonicaLayout& reader =
            harp.layout == &written ? static_cast<HarmonicaLayout&>(diatonic) : chromaticRead;
        ASSERT_TRUE(selectHarp(reader, header.harp)) << header.harp;
        EXPECT_EQ(reader.key(), harp.key) << header.harp;
        EXPECT_EQ(reader.tuningIndex(), harp.tuning) << header.harp;
    }
    EXPECT_FALSE(selectHarp(richter, "C, No Such Tuning"));
    EXPECT_EQ(richter.tuningIndex(), 0) << "the layout as it was";

    const TabHeader header = readTabHeader("Oh! Susanna (traditional)\n\nHarp: C, Major Diatonic "
                                           "(Richter)\nPosition: 1st\n+4 -4\nTitle: not this\n");
    EXPECT_EQ(header.title, "Oh! Susanna (traditional)") << "a first line is the title";
    EXPECT_EQ(header.harp, "C, Major Diatonic (Richter)");
    EXPECT_EQ(header.position, "1st");
    EXPECT_EQ(readTabHeader("Title: Mine\nOther\n+4").title, "Mine");
}

// The same notes and the same ways of playing them, chord by chord, as (key, alternative).
std::vector<std::vector<std::pair<int, int>>> chordsOf(const MidiSong& song, int track,
                                                       const HarmonicaLayout& layout) {
    std::vector<std::vector<std::pair<int, int>>> chords;
    int32_t tick = -1;
    for (const auto& e : song.track(track)->events) {
        if (!e->isNote || !e->isNoteOn()) {
            continue;
        }
        if (e->tick != tick) {
            chords.emplace_back();
            tick = e->tick;
        }
        const int alternative =
            layout.noteMap(e->data1).empty() ? -1 : layout.alternativeOf(e->data1, e->fingering);
        chords.back().emplace_back(e->data1, alternative);
    }
    for (auto& chord : chords) {
        std::sort(chord.begin(), chord.end());
    }
    return chords;
}

std::vector<std::vector<std::pair<int, int>>> chordsOf(const std::vector<TabChord>& read) {
    std::vector<std::vector<std::pair<int, int>>> chords;
    for (const TabChord& chord : read) {
        chords.emplace_back();
        for (const TabNote& note : chord.notes) {
            chords.back().emplace_back(note.key, note.alternative);
        }
        std::sort(chords.back().begin(), chords.back().end());
    }
    return chords;
}

TEST_F(TabTextTest, ExportThenImportGivesTheSameNotesAndFingerings) {
    std::mt19937 random(7);
    DiatonicLayout solo(block);
    solo.build(60, 5);
    DiatonicLayout valved(block);
    valved.build(55, 8);
    chromatic.build(60, 0);
    int songs = 0;
    for (HarmonicaLayout* layout :
         std::vector<HarmonicaLayout*>{&richter, &solo, &valved, &chromatic}) {
        std::vector<int> keys;
        for (int key = 20; key <= 110; ++key) {
            keys.push_back(key);
        }
        for (int round = 0; round < 10; ++round) {
            SongBuilder b(2);
            int32_t tick = 0;
            for (int n = 0; n < 40; ++n) {
                const int size = random() % 6 == 0 ? 2 : 1;
                const int base = keys[random() % keys.size()];
                for (int k = 0; k < size; ++k) {
                    b.note(1, base + 4 * k, tick, tick + 240);
                }
                tick += 240 * (1 + static_cast<int>(random() % 4));
            }
            MidiSong song;
            b.load(song);
            // Any way of playing each note, chosen at random.
            for (const auto& e : song.track(1)->events) {
                const auto ways = layout->noteMap(e->data1).size();
                if (e->isNoteOn() && ways > 0) {
                    e->fingering =
                        layout->fingeringFor(e->data1, static_cast<int>(random() % ways));
                }
            }
            for (const TabStyle style : {TabStyle::Plus, TabStyle::Plain, TabStyle::HarpSurgery,
                                         TabStyle::BBends, TabStyle::DrawDefault}) {
                const std::string text = writeTabText(song, 1, *layout, {.style = style});
                TabReadError error;
                const auto read = readTabText(text, *layout, {.style = style}, error);
                ASSERT_TRUE(read) << error.text() << "\n" << text;
                EXPECT_EQ(chordsOf(*read), chordsOf(song, 1, *layout)) << text;

                // And through a song of its own, written again.
                MidiSong imported;
                tabSong(*read, *layout, {}, imported);
                for (const auto& track : imported.tracks) {
                    for (const auto& e : track->events) {
                        e->isNote = e->isNoteOn() && e->duration > 0;
                    }
                }
                EXPECT_EQ(chordsOf(imported, 0, *layout), chordsOf(song, 1, *layout));
            }
            ++songs;
        }
    }
    EXPECT_EQ(songs, 40);
}

TEST_F(TabTextTest, TheImportedSongPlaysEveryNoteAQuarterLong) {
    TabReadError error;
    const auto chords = readTabText("+4 +4 +4 | (-4 -5) (-4 -5) -3'\n+3", richter,
                                    {.style = TabStyle::Auto, .beatsPerBar = 3}, error);
    ASSERT_TRUE(chords) << error.text();
    MidiSong song;
    tabSong(*chords, richter, {.title = "Repeats", .tempo = 90, .beatsPerBar = 3, .division = 96},
            song);
    EXPECT_EQ(song.division, 96);
    EXPECT_EQ(song.track(0)->name, "Repeats");
    EXPECT_EQ(song.tempoAt(0), 60000000 / 90);
    EXPECT_EQ(song.timeSignatureAt(0).numerator, 3);
    std::vector<std::tuple<int32_t, int, int32_t>> notes;
    int programs = 0;
    for (const auto& e : song.track(0)->events) {
        if (e->isNoteOn()) {
            notes.emplace_back(e->tick, e->data1, e->duration);
        }
        if (e->kind() == KindProgram) {
            EXPECT_EQ(e->data1, 22) << "General MIDI's harmonica";
            ++programs;
        }
    }
    EXPECT_EQ(programs, 1);
    const std::vector<std::tuple<int32_t, int, int32_t>> expected = {
        {0, 72, 96},   {96, 72, 96},  {192, 72, 96}, {288, 74, 96}, {288, 77, 96},
        {384, 74, 96}, {384, 77, 96}, {480, 70, 96}, {576, 67, 96}};
    EXPECT_EQ(notes, expected);
    EXPECT_EQ(song.track(0)->events.back()->kind(), KindEndOfTrack);
    EXPECT_EQ(song.length, 672);
    // Blow 3 is G's second way; the song keeps it through a file.
    MidiSong saved;
    const std::string path = ::testing::TempDir() + "/imported.mid";
    ASSERT_EQ(song.saveFile(path), SaveOk);
    ASSERT_EQ(saved.loadFile(path), LoadOk);
    EXPECT_EQ(saved.track(0)->events[saved.track(0)->size() - 3]->fingering,
              richter.fingeringFor(67, 1));
}

} // namespace
} // namespace reedtab::testing
