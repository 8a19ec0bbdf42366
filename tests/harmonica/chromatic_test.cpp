#include "harmonica/chromaticlayout.h"
#include "harmonica/notation.h"
#include "testhelpers.h"

#include <gtest/gtest.h>

#include <map>

namespace reedtab {
namespace {

using testing::alternatives;

constexpr int k16 = 0;
constexpr int k14 = 1;
constexpr int k12 = 2;
constexpr int k10 = 3;
constexpr int k8 = 4;
constexpr int kIrish = 6;
constexpr int kWholeTone = 7;
constexpr int kCustom = 8;

class ChromaticTest : public ::testing::Test {
protected:
    ChromaticTest() { block.tabMode = kChromaticTab; }
    void SetUp() override { layout.init(60, k12); }

    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout layout{block};
    Notation notation{block, diatonic, layout};
};

TEST_F(ChromaticTest, TwelveHoleAtKey60) {
    EXPECT_EQ(alternatives(notation, 72), "+5, +4, -4<") << "higher hole first, slide last";
    EXPECT_EQ(alternatives(notation, 60), "+1");
    EXPECT_EQ(alternatives(notation, 71), "-4");
    EXPECT_EQ(alternatives(notation, 65), "-2, +2<") << "draw before blow with slide";
    EXPECT_EQ(alternatives(notation, 61), "+1<");
    EXPECT_EQ(alternatives(notation, 98), "-12<");
    EXPECT_EQ(alternatives(notation, 84), "+9, +8, -8<") << "equal ranks: higher hole first";
    EXPECT_TRUE(layout.noteMap(59).empty());
    EXPECT_TRUE(layout.noteMap(99).empty());
}

TEST_F(ChromaticTest, SixteenHoleLowOctave) {
    layout.build(60, k16);
    EXPECT_EQ(alternatives(notation, 48), "+1'");
    EXPECT_EQ(alternatives(notation, 60), "+1, +4', -4'<");
    NoteText text;
    ASSERT_EQ(notation.notate(48, 0, false, text), 0);
    EXPECT_TRUE(text.lowOctave);
    EXPECT_EQ(text.text, "1") << "the mark is for plain symbols only";
    ASSERT_EQ(notation.notate(60, 0, false, text), 0);
    EXPECT_FALSE(text.lowOctave);
    int row = -1, column = -1;
    ASSERT_EQ(layout.positionOf(48, row, column), 0);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(column, kBlowOut);
    ASSERT_EQ(layout.positionOf(60, row, column), 0);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(column, kBlowOut);
    for (int note = 0; note < 48; ++note) {
        EXPECT_TRUE(layout.noteMap(note).empty());
    }
}

TEST_F(ChromaticTest, FourteenHoleNumbersItsLowHoles3And4) {
    layout.build(60, k14);
    EXPECT_EQ(alternatives(notation, 55), "+3'");
    EXPECT_EQ(alternatives(notation, 59), "-4'");
    EXPECT_EQ(alternatives(notation, 62), "-1");
}

TEST_F(ChromaticTest, SmallerSizesUseTheFirstRowsOfTheTwelveHoleTable) {
    layout.build(60, k10);
    EXPECT_EQ(layout.holes(), 10);
    EXPECT_EQ(alternatives(notation, 88), "+10");
    EXPECT_TRUE(layout.noteMap(91).empty());
    layout.build(60, k8);
    EXPECT_EQ(layout.holeCount(), 8);
    EXPECT_EQ(alternatives(notation, 84), "+8, -8<");
    EXPECT_EQ(layout.noteAt(7, kDrawIn), 84);
    EXPECT_EQ(layout.noteAt(8, kBlowOut), -1);
}

TEST_F(ChromaticTest, TuningTables) {
    const std::vector<std::string> names = {
        "16 Hole Chromatic (std 64)", "14 Hole Chromatic (std 56)", "12 Hole Chromatic (std 48)",
        "10 Hole Chromatic (std 40)", " 8 Hole Chromatic (std 32)", "Koch/Slide (ritcher tuned)",
        "Irish Tuning (custom)",      "Whole Tone (custom)",        "[Custom]"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(layout.tuningName(i), names[static_cast<std::size_t>(i)]);
    }
    const auto& t = builtInChromaticTunings();
    EXPECT_EQ(t[0].firstHoleOffset, -4);
    EXPECT_EQ(t[1].firstHoleOffset, -2);
    EXPECT_EQ(t[0].notes[1], (std::array<int, 4>{-8, -7, -7, -6}));
    EXPECT_EQ(t[0].notes[15], (std::array<int, 4>{36, 37, 35, 38}));
    EXPECT_EQ(t[1].notes[2], (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(t[5].notes[7], (std::array<int, 4>{28, 29, 26, 27}));
    EXPECT_EQ(t[6].notes[0], (std::array<int, 4>{0, -1, 2, 1}));
    EXPECT_EQ(t[7].notes[5], (std::array<int, 4>{10, 11, 11, 0}));
    EXPECT_EQ(t[7].notes[11], (std::array<int, 4>{22, 23, 23, 12}));
    EXPECT_EQ(t[4].notes[8], (std::array<int, 4>{}));
}

TEST_F(ChromaticTest, NoteAt) {
    EXPECT_EQ(layout.noteAt(0, kBlowOut), 60);
    EXPECT_EQ(layout.noteAt(11, kDrawIn), 98);
    EXPECT_EQ(layout.noteAt(12, kBlowOut), -1);
    EXPECT_EQ(layout.noteAt(-1, kBlowOut), -1);
    EXPECT_EQ(layout.noteAt(0, 4), -1);
    layout.build(95, k12);
    EXPECT_EQ(layout.noteAt(11, kDrawIn), 128) << "capped";
}

TEST_F(ChromaticTest, HighAndLowKeys) {
    layout.build(95, k12);
    for (int note = 0; note <= 127; ++note) {
        for (const std::uint16_t code : layout.noteMap(note)) {
            const int row = (code & 0xFF) - 64;
            const int column = (code >> 8) & 0x0F;
            EXPECT_EQ(builtInChromaticTunings()[k12].notes[static_cast<std::size_t>(row)]
                                                          [static_cast<std::size_t>(column)] +
                          95,
                      note);
        }
    }
    EXPECT_EQ(alternatives(notation, 127), "+11<");
    EXPECT_EQ(alternatives(notation, 126), "+11");
    layout.build(60, kIrish);
    EXPECT_EQ(alternatives(notation, 59), "+1<");
    layout.build(0, k16);
    EXPECT_EQ(layout.noteMap(0).size(), 16u) << "every entry below 0 filed under note 0";
}

TEST_F(ChromaticTest, WholeToneDrawInOfHoles6And12) {
    layout.build(60, kWholeTone);
    EXPECT_EQ(layout.noteAt(5, kDrawIn), 60);
    EXPECT_EQ(alternatives(notation, 60), "+1, -6<");
    EXPECT_EQ(alternatives(notation, 72), "+7, -12<");
}

TEST_F(ChromaticTest, Descriptions) {
    const std::map<int, std::string> titles = {
        {60, "12 Hole Chromatic (std 48) Key of C"},
        {71, "12 Hole Chromatic (std 48) Key of B"},
        {59, "12 Hole Chromatic (std 48) Key of B (Tenor)"},
        {36, "12 Hole Chromatic (std 48) Key of C (-2)"},
        {72, "12 Hole Chromatic (std 48) Key of C (High)"},
        {95, "12 Hole Chromatic (std 48) Key of B (+2)"},
        {66, "12 Hole Chromatic (std 48) Key of F#"},
    };
    for (const auto& [key, title] : titles) {
        layout.build(key, k12);
        EXPECT_EQ(layout.layoutTitle(), title);
    }
    layout.build(62, k8);
    EXPECT_EQ(layout.layoutTitle(), " 8 Hole Chromatic (std 32) Key of D");
}

TEST_F(ChromaticTest, WindowKeysSpanTheDescribedOctaves) {
    EXPECT_EQ(composeChromaticKey(0, 0), 36);
    EXPECT_EQ(composeChromaticKey(11, 4), 95);
    const char* const octaves[] = {" (-2)", " (Tenor)", "", " (High)", " (+2)"};
    for (int octave = 0; octave < 5; ++octave) {
        for (int name = 0; name < 12; ++name) {
            layout.build(composeChromaticKey(name, octave), k12);
            EXPECT_EQ(layout.layoutTitle(), "12 Hole Chromatic (std 48) Key of " +
                                                HarmonicaLayout::keyName(name) + octaves[octave]);
        }
    }
}

TEST_F(ChromaticTest, BrushesAndOutOfRange) {
    NoteText text;
    ASSERT_EQ(layout.tabText(60, 0, text, false), 0);
    EXPECT_EQ(text.brush, block.colorBlowChro);
    ASSERT_EQ(layout.tabText(61, 0, text, false), 0);
    EXPECT_EQ(text.brush, block.colorBlowSlide);
    ASSERT_EQ(layout.tabText(62, 0, text, false), 0);
    EXPECT_EQ(text.brush, block.colorDrawChro);
    ASSERT_EQ(layout.tabText(63, 0, text, false), 0);
    EXPECT_EQ(text.brush, block.colorDrawSlide);
    text = {};
    text.text = "kept";
    EXPECT_EQ(layout.tabText(60, 1, text, false), -1);
    EXPECT_EQ(layout.tabText(128, 0, text, false), -1);
    EXPECT_EQ(layout.tabText(-1, 0, text, false), -1);
    EXPECT_EQ(text.text, "kept");
    EXPECT_EQ(text.brush, block.colorDimmed);
    int row = 0, column = 0;
    EXPECT_EQ(layout.positionOf(59, row, column), -1);
    EXPECT_EQ(layout.positionOf(200, row, column), -1);
}

TEST_F(ChromaticTest, CustomEntryBeforeAnyFileHasNoNotes) {
    layout.build(60, kCustom);
    EXPECT_EQ(layout.holeCount(), 0);
    for (int note = 0; note <= 127; ++note) {
        EXPECT_TRUE(layout.noteMap(note).empty());
    }
    layout.build(60, -1);
    EXPECT_EQ(layout.tuningIndex(), k12) << "the default tuning";
}

} // namespace
} // namespace reedtab
