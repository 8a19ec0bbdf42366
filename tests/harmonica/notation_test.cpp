#include "harmonica/notation.h"
#include "testhelpers.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class NotationTest : public ::testing::Test {
protected:
    void SetUp() override {
        diatonic.init(60, 0);
        chromatic.init(60, 2);
    }
    std::string name(int note) {
        NoteText text;
        notation.notate(note, 0, false, text);
        return text.text;
    }

    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout chromatic{block};
    Notation notation{block, diatonic, chromatic};
};

TEST_F(NotationTest, Schemes) {
    const std::vector<std::string> titles = {"C D E F G A B", "C D E F G A H",
                                             "DO RE MI FA SOL LA TI", "DO RE MI FA SOL LA SI",
                                             "UT RE MI FA SOL LA TI"};
    const std::vector<std::string> octaves = {
        "C C# D Eb E F F# G Ab A Bb B", "C C# D Eb E F F# G Ab A B H",
        "DO DO# RE MIb MI FA FA# SOL LAb LA TIb TI", "DO DO# RE MIb MI FA FA# SOL LAb LA SIb SI",
        "UT UT# RE MIb MI FA FA# SOL LAb LA TIb TI"};
    for (int scheme = 0; scheme < 5; ++scheme) {
        EXPECT_EQ(schemeTitle(scheme), titles[static_cast<std::size_t>(scheme)]);
        block.musicNoteType = scheme;
        std::string names;
        for (int note = 48; note < 60; ++note) {
            names += (note > 48 ? " " : "") + notation.noteName(note);
        }
        EXPECT_EQ(names, octaves[static_cast<std::size_t>(scheme)]);
    }
    EXPECT_EQ(schemeTitle(5), "");
    block.musicNoteType = 1;
    EXPECT_EQ(name(70), "B");
    EXPECT_EQ(name(71), "H");
    block.musicNoteType = 9;
    EXPECT_EQ(name(70), "Bb") << "an unknown scheme names notes as the first";
}

TEST_F(NotationTest, AccidentalsAndKeyNames) {
    std::string marks;
    std::string keys;
    for (int pc = 0; pc < 12; ++pc) {
        marks += Notation::accidental(pc + 36);
        keys += Notation::keyName(pc) + " ";
    }
    EXPECT_EQ(marks, " # b  # b b ");
    EXPECT_EQ(keys, "C Db D Eb E F F# G Ab A Bb B ");
    EXPECT_EQ(Notation::keyName(-1), "B");
    NoteText text;
    notation.notate(61, 0, false, text);
    EXPECT_EQ(text.accidental, "#");
}

TEST_F(NotationTest, TransposingInstruments) {
    NoteText text;
    block.tabMode = kNotesBb;
    EXPECT_EQ(name(60), "D");
    EXPECT_EQ(notation.notate(127, 0, false, text), 0);
    EXPECT_EQ(text.text, "A") << "127 + 2 still names a pitch class";
    EXPECT_EQ(notation.notate(60, 1, false, text), -1);
    block.tabMode = kNotesEb;
    EXPECT_EQ(name(60), "A");
    ASSERT_EQ(notation.notate(1, 0, false, text), 0);
    EXPECT_EQ(text.text, "Bb");
    EXPECT_EQ(text.accidental, "b");
    EXPECT_FALSE(text.brush);
    block.tabMode = kNotesC;
    EXPECT_EQ(name(60), "C");
    EXPECT_EQ(notation.notate(60, 1, false, text), -1);
    EXPECT_TRUE(text.prefix.empty());
}

TEST_F(NotationTest, DiatonicTab) {
    block.tabMode = kDiatonicTab;
    NoteText text;
    ASSERT_EQ(notation.notate(67, 0, false, text), 0);
    EXPECT_EQ(text.prefix, "-");
    EXPECT_EQ(text.text, "2");
    EXPECT_EQ(text.brush, block.colorDraw);
    ASSERT_EQ(notation.notate(67, 1, false, text), 0);
    EXPECT_EQ(text.prefix, "+");
    EXPECT_EQ(text.text, "3");
    EXPECT_EQ(text.brush, block.colorBlow);
    ASSERT_EQ(notation.notate(68, 0, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "-3'''");
    EXPECT_EQ(text.brush, block.colorBend);
    ASSERT_EQ(notation.notate(68, 1, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "+2o");
    EXPECT_EQ(text.brush, block.colorOver);
    EXPECT_EQ(notation.notate(68, 2, false, text), -1);
    EXPECT_EQ(notation.notate(55, 0, false, text), -1);
    EXPECT_EQ(text.text, "G");
    EXPECT_TRUE(text.prefix.empty());
    EXPECT_EQ(text.brush, block.colorDimmed);
}

TEST_F(NotationTest, UserSymbolsAndPlainSymbols) {
    block.tabMode = kDiatonicTab;
    block.dbendSym = 'b';
    block.dblowSym = 'B';
    block.ddrawSym = 'D';
    block.doverSym = '*';
    NoteText text;
    ASSERT_EQ(notation.notate(69, 0, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "D3bb");
    ASSERT_EQ(notation.notate(69, 0, true, text), 0);
    EXPECT_EQ(text.prefix + text.text, "-3bb") << "plain prefixes, marks as set";
    ASSERT_EQ(notation.notate(72, 1, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "B3*");
    diatonic.build(60, 8);
    ASSERT_EQ(notation.notate(59, 0, true, text), 0);
    EXPECT_EQ(text.prefix + text.text, "+1b") << "valved bend uses the bend mark";

    block.tabMode = kChromaticTab;
    block.cblowSym = 'b';
    block.cdrawSym = 'd';
    block.cslideSym = '^';
    ASSERT_EQ(notation.notate(65, 1, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "b2^");
    ASSERT_EQ(notation.notate(65, 1, true, text), 0);
    EXPECT_EQ(text.prefix + text.text, "+2^");
}

TEST_F(NotationTest, ChromaticLowOctaveMarks) {
    block.tabMode = kChromaticTab;
    chromatic.build(60, 0);
    NoteText text;
    // Note 53 is the second low hole's blow with slide and its draw.
    ASSERT_EQ(notation.notate(53, 1, true, text), 0);
    EXPECT_EQ(text.prefix + text.text, "+2'<");
    EXPECT_TRUE(text.lowOctave);
    ASSERT_EQ(notation.notate(53, 0, true, text), 0);
    EXPECT_EQ(text.prefix + text.text, "-2'");
    ASSERT_EQ(notation.notate(53, 1, false, text), 0);
    EXPECT_EQ(text.prefix + text.text, "+2<");
    block.cslideSym = '\'';
    ASSERT_EQ(notation.notate(53, 1, true, text), 0);
    EXPECT_EQ(text.text, "2''");
    ASSERT_EQ(notation.notate(64, 0, true, text), 0);
    EXPECT_EQ(text.text, "2") << "no mark above the low octave";
    EXPECT_EQ(notation.notate(47, 0, true, text), -1);
    EXPECT_EQ(text.text, "B");
    EXPECT_EQ(text.brush, block.colorDimmed);
}

TEST_F(NotationTest, UnknownModeShowsQuestionMark) {
    block.tabMode = 5;
    NoteText text;
    EXPECT_EQ(notation.notate(60, 0, false, text), 0);
    EXPECT_EQ(text.text, "?");
    EXPECT_EQ(notation.notate(60, 1, false, text), -1);
    std::string title = "unchanged";
    EXPECT_EQ(notation.tabTitle(false, title), -1);
    EXPECT_EQ(title, "unchanged");
}

TEST_F(NotationTest, Titles) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"C Instrument Notes", ""},
        {"Diatonic Tab: Major Diatonic (Richter) Key of C", "Major Diatonic (Richter) Key of C"},
        {"Chromatic Tab: 12 Hole Chromatic (std 48) Key of C",
         "12 Hole Chromatic (std 48) Key of C"},
        {"Bb Instrument Notes", ""},
        {"Eb Instrument Notes", ""},
    };
    for (int mode = 0; mode < 5; ++mode) {
        block.tabMode = mode;
        std::string full = "x";
        std::string shortForm = "x";
        EXPECT_EQ(notation.tabTitle(false, full), 0);
        EXPECT_EQ(notation.tabTitle(true, shortForm), 0);
        EXPECT_EQ(full, expected[static_cast<std::size_t>(mode)].first);
        EXPECT_EQ(shortForm, expected[static_cast<std::size_t>(mode)].second);
    }
}

TEST(ProcessWide, NotationUsesTheProcessSettingsAndLayouts) {
    const int saved = settings().tabMode;
    settings().tabMode = kDiatonicTab;
    std::string title;
    EXPECT_EQ(notation().tabTitle(true, title), 0);
    EXPECT_EQ(title, diatonicLayout().layoutTitle());
    settings().tabMode = saved;
}

} // namespace
} // namespace reedtab
