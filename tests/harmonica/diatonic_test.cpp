#include "harmonica/diatoniclayout.h"
#include "harmonica/notation.h"
#include "testhelpers.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace reedtab {
namespace {

using testing::alternatives;

constexpr int kRichter = 0;
constexpr int kMelodyMaker = 4;
constexpr int kSbs = 6;
constexpr int kValved = 8;
constexpr int kCustom = 17;

class DiatonicTest : public ::testing::Test {
protected:
    DiatonicTest() { block.tabMode = kDiatonicTab; }
    void SetUp() override { layout.init(60, kRichter); }

    Settings block;
    DiatonicLayout layout{block};
    ChromaticLayout chromatic{block};
    Notation notation{block, layout, chromatic};
};

TEST_F(DiatonicTest, RichterAtKey60ListsAlternativesInPreferenceOrder) {
    const std::map<int, std::string> expected = {
        {60, "+1"},     {61, "-1'"},        {63, "+1o"},     {65, "-2''"},
        {67, "-2, +3"}, {68, "-3''', +2o"}, {72, "+4, +3o"}, {85, "-7o"},
        {87, "+8'"},    {89, "-9, -8o"},    {94, "+10''"},   {97, "-10o"},
    };
    for (const auto& [note, text] : expected) {
        EXPECT_EQ(alternatives(notation, note), text) << "note " << note;
    }
    for (int note = 0; note <= 127; ++note) {
        if (note <= 58 || note >= 98) {
            EXPECT_TRUE(layout.noteMap(note).empty()) << "note " << note;
        }
    }
    EXPECT_TRUE(layout.noteMap(59).empty()) << "nothing sounds below hole 1 blow";
    EXPECT_FALSE(layout.noteMap(62).empty());
}

TEST_F(DiatonicTest, ValvedMajorDiatonicPutsValvedBendsFirst) {
    layout.build(60, kValved);
    const std::map<int, std::string> expected = {
        {59, "+1'"}, {63, "+2'"}, {66, "+3', -2'"}, {71, "+4', -3"}, {88, "-9', +8"},
    };
    for (const auto& [note, text] : expected) {
        EXPECT_EQ(alternatives(notation, note), text) << "note " << note;
    }
}

TEST_F(DiatonicTest, NoteMapOrderFollowsInsertionRule) {
    // Independent of the examples: in every list of every tuning, plain codes ascend in
    // technique, and every derived position is listed exactly once.
    for (int index = 0; index < static_cast<int>(builtInDiatonicTunings().size()); ++index) {
        for (int key : {31, 60, 90}) {
            layout.build(key, index);
            std::multiset<std::uint16_t> listed;
            for (int note = 0; note <= 127; ++note) {
                int lastPlain = -1;
                for (const std::uint16_t code : layout.noteMap(note)) {
                    listed.insert(code);
                    const int technique = (code >> 8) & 0x0F;
                    if (technique != kOver) {
                        EXPECT_GE(technique, lastPlain) << "tuning " << index << " note " << note;
                        lastPlain = technique;
                    }
                }
            }
            std::multiset<std::uint16_t> positions;
            for (int hole = 0; hole < layout.holes(); ++hole) {
                for (int slot = 0; slot < 7; ++slot) {
                    const ReedPosition* p = layout.positionAt(hole, slot);
                    if (p && p->note + key <= 127) {
                        positions.insert(positionCode(p->hole, p->technique, p->reversed));
                    }
                }
            }
            EXPECT_EQ(listed, positions) << "tuning " << index << " key " << key;
        }
    }
}

TEST_F(DiatonicTest, PositionsOfOneHole) {
    // Richter hole 3: blow 7, draw 11, four half steps apart: three draw bends, overblow.
    EXPECT_EQ(layout.positionAt(2, kBlow)->note, 7);
    EXPECT_EQ(layout.positionAt(2, kDraw)->note, 11);
    EXPECT_EQ(layout.positionAt(2, kBend1)->note, 10);
    EXPECT_EQ(layout.positionAt(2, kBend2)->note, 9);
    EXPECT_EQ(layout.positionAt(2, kBend3)->note, 8);
    EXPECT_EQ(layout.positionAt(2, kOver)->note, 12);
    EXPECT_FALSE(layout.positionAt(2, kDraw)->reversed);
    EXPECT_EQ(layout.positionAt(2, 6), nullptr);
    // Holes 5 and 7 have reeds a half step apart: no bend.
    for (int hole : {4, 6}) {
        EXPECT_EQ(layout.positionAt(hole, kBend1), nullptr) << hole;
    }
    EXPECT_TRUE(layout.positionAt(6, kBlow)->reversed);
    EXPECT_EQ(layout.positionAt(6, kOver)->note, 25) << "overdraw above the blow reed";
    // Hole 10: blow 36, draw 33: two blow bends.
    EXPECT_EQ(layout.positionAt(9, kBend2)->note, 34);
    EXPECT_EQ(layout.positionAt(9, kBend3), nullptr);
    EXPECT_EQ(layout.positionAt(10, kBlow), nullptr) << "beyond the holes";
    EXPECT_EQ(layout.positionAt(-1, kBlow), nullptr);
    EXPECT_EQ(layout.positionAt(0, 7), nullptr);
}

TEST_F(DiatonicTest, EqualReedsAreReversedWithOverdrawAndNoBends) {
    DiatonicLayout custom(block);
    testing::TempFile file("equal.tun", "DIATONIC\nNAME Equal\nBLOW C E\nDRAW C F\n");
    ASSERT_EQ(custom.loadTuningFile(file.path()), 0);
    custom.init(60, kCustom);
    const ReedPosition* blow = custom.positionAt(0, kBlow);
    ASSERT_NE(blow, nullptr);
    EXPECT_TRUE(blow->reversed);
    EXPECT_EQ(custom.positionAt(0, kOver)->note, 1);
    EXPECT_EQ(custom.positionAt(0, kBend1), nullptr);
    NoteText text;
    ASSERT_EQ(custom.tabText(61, 0, text, true), 0);
    EXPECT_EQ(text.prefix + text.text, "-1o");
    EXPECT_EQ(text.brush, block.colorOver);
}

TEST_F(DiatonicTest, PositionOfReportsThePreferredAlternative) {
    DiatonicPositionInfo info;
    ASSERT_EQ(layout.positionOf(68, info), 0);
    EXPECT_EQ(info.hole, 2);
    EXPECT_EQ(info.technique, kBend3);
    EXPECT_FALSE(info.reversed);
    EXPECT_FALSE(info.valve);
    ASSERT_EQ(layout.positionOf(94, info), 0);
    EXPECT_EQ(info.hole, 9);
    EXPECT_EQ(info.technique, kBend2);
    EXPECT_TRUE(info.reversed);
    EXPECT_EQ(layout.positionOf(58, info), -1);
    EXPECT_EQ(layout.positionOf(-1, info), -1);
    EXPECT_EQ(layout.positionOf(128, info), -1);
    layout.build(60, kValved);
    ASSERT_EQ(layout.positionOf(59, info), 0);
    EXPECT_EQ(info.technique, kOver);
    EXPECT_TRUE(info.valve);
}

TEST_F(DiatonicTest, RangeEnds) {
    layout.build(60, kSbs);
    ASSERT_FALSE(layout.noteMap(48).empty());
    EXPECT_EQ(alternatives(notation, 48), "+1");
    for (int note = 0; note < 47; ++note) {
        EXPECT_TRUE(layout.noteMap(note).empty()) << note;
    }
    layout.build(90, kSbs);
    for (int note = 0; note <= 127; ++note) {
        for (const std::uint16_t code : layout.noteMap(note)) {
            const ReedPosition* p = layout.positionAt(code & 0xFF, (code >> 8) & 0x0F);
            ASSERT_NE(p, nullptr);
            EXPECT_EQ(p->note + 90, note);
        }
    }
    EXPECT_EQ(layout.positionAt(13, kBlow)->note + 90, 130);
    // Hole 14 blow (130), its overdraw and the two bends above 127 are left out; its third
    // bend and the overdraw of hole 13 sound 127, the bend inserted in front of the over.
    EXPECT_EQ(alternatives(notation, 127), "+14''', -13o");
    EXPECT_EQ(alternatives(notation, 125), "-14, +13'") << "later plain draw before bend";
    // Keys far below put everything under note 0.
    layout.build(-100, kRichter);
    std::size_t total = 0;
    for (int note = 0; note <= 127; ++note) {
        total += layout.noteMap(note).size();
    }
    EXPECT_EQ(layout.noteMap(0).size(), total);
    EXPECT_GT(total, 0u);
}

TEST_F(DiatonicTest, CustomEntryBeforeAnyFileHasNoNotes) {
    layout.build(60, kCustom);
    EXPECT_EQ(layout.holes(), 0);
    for (int note = 0; note <= 127; ++note) {
        EXPECT_TRUE(layout.noteMap(note).empty());
    }
    EXPECT_EQ(layout.tuningName(kCustom), "[Custom]");
}

TEST_F(DiatonicTest, UnknownTuningIndexBuildsRichter) {
    layout.build(62, 99);
    EXPECT_EQ(layout.tuningIndex(), kRichter);
    EXPECT_EQ(layout.key(), 62);
    EXPECT_EQ(layout.holes(), 10);
}

TEST_F(DiatonicTest, Descriptions) {
    EXPECT_EQ(layout.layoutTitle(), "Major Diatonic (Richter) Key of C");
    layout.build(60, kMelodyMaker);
    EXPECT_EQ(layout.layoutTitle(), "Melody Maker (Lee Oskar) Key of G");
    const std::map<int, std::string> octaves = {
        {31, "Major Diatonic (Richter) Key of G (-2)"},
        {43, "Major Diatonic (Richter) Key of G (Low)"},
        {54, "Major Diatonic (Richter) Key of F# (Low)"},
        {55, "Major Diatonic (Richter) Key of G"},
        {66, "Major Diatonic (Richter) Key of F#"},
        {67, "Major Diatonic (Richter) Key of G (High)"},
        {90, "Major Diatonic (Richter) Key of F# (+2)"},
    };
    for (const auto& [key, title] : octaves) {
        layout.build(key, kRichter);
        EXPECT_EQ(layout.layoutTitle(), title);
    }
    // The octave comes from the key without its offset.
    layout.build(50, kMelodyMaker);
    EXPECT_EQ(layout.layoutTitle(), "Melody Maker (Lee Oskar) Key of A (Low)");
}

TEST_F(DiatonicTest, WindowKeysSpanTheDescribedOctaves) {
    // G of octave "-2" is key 31; the octave names of the window and the description agree.
    EXPECT_EQ(composeDiatonicKey(0, 0, 0), 31);
    EXPECT_EQ(composeDiatonicKey(11, 4, 0), 90);
    EXPECT_EQ(composeDiatonicKey(5, 2, 0), 60) << "C of the standard octave";
    EXPECT_EQ(composeDiatonicKey(0, 2, 7), 48) << "Melody Maker named after its key + 7";
    const char* const octaves[] = {" (-2)", " (Low)", "", " (High)", " (+2)"};
    for (int octave = 0; octave < 5; ++octave) {
        for (int name = 0; name < 12; ++name) {
            layout.build(composeDiatonicKey(name, octave, 0), kRichter);
            EXPECT_EQ(layout.layoutTitle(), "Major Diatonic (Richter) Key of " +
                                                HarmonicaLayout::keyName(name + 7) +
                                                octaves[octave]);
        }
    }
}

TEST_F(DiatonicTest, TuningList) {
    const std::vector<std::string> names = {"Major Diatonic (Richter)",
                                            "Country Tuning (Hohner)",
                                            "Harmonic Minor (Hohner)",
                                            "Natural Minor (Hohner)",
                                            "Melody Maker (Lee Oskar)",
                                            "Solo Tuning (Hohner)",
                                            "Steve Baker Special (SBS)",
                                            "Hohner 365",
                                            "Valved Major Diatonic",
                                            "Augmented Spanish (custom)",
                                            "Temptation Tuning (custom)",
                                            "Diminished Tuning (custom)",
                                            "Four Key Tuning (custom)",
                                            "Paddy Richter",
                                            "PowerDraw",
                                            "PowerBender",
                                            "Easy 3rd",
                                            "[Custom]"};
    ASSERT_EQ(layout.tuningCount(), 18);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(layout.tuningName(i), names[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(layout.tuningName(18), "");
    // Entries beyond the hole count are zero; a few rows spot-checked against their tables.
    const auto& solo = builtInDiatonicTunings()[5];
    EXPECT_EQ(solo.holes, 12);
    EXPECT_EQ(solo.draw[11], 35);
    EXPECT_EQ(solo.blow[12], 0);
    EXPECT_EQ(builtInDiatonicTunings()[7].draw[4], 5);
    EXPECT_EQ(builtInDiatonicTunings()[1].draw[4], 18);
    EXPECT_EQ(builtInDiatonicTunings()[4].keyOffset, 7);
    EXPECT_EQ(builtInDiatonicTunings()[12].draw[9], 23);
    int valved = 0;
    for (const auto& tuning : builtInDiatonicTunings()) {
        for (bool v : tuning.valve) {
            valved += v;
        }
    }
    EXPECT_EQ(valved, 10);
}

TEST_F(DiatonicTest, BrushesFollowTheColourSettings) {
    block.colorBend = {1, 2, 3};
    EXPECT_NE(layout.bendBrush(), block.colorBend) << "taken when made";
    layout.createBrushes();
    EXPECT_EQ(layout.bendBrush(), (Rgb{1, 2, 3}));
    EXPECT_EQ(layout.dimmedBrush(), block.colorDimmed);
    layout.clear();
    EXPECT_FALSE(layout.blowBrush());
    EXPECT_TRUE(layout.noteMap(60).empty());
    layout.init(60, kRichter);
    EXPECT_EQ(layout.blowBrush(), block.colorBlow);
}

TEST_F(DiatonicTest, ChoosingAFile) {
    EXPECT_EQ(layout.chooseTuningFile([] { return std::string(); }), -1) << "cancelled";
    testing::TempFile file("choose.tun", "DIATONIC\nNAME Mine\nBLOW C\nDRAW D\n");
    EXPECT_EQ(layout.chooseTuningFile([&] { return file.path(); }), 0);
    EXPECT_EQ(layout.customTuningPath(), file.path());
    EXPECT_EQ(layout.tuningName(kCustom), "[Custom] Mine");
    int key = 0, holes = 0, tuning = 0;
    EXPECT_EQ(layout.getInfo(key, holes, tuning), 0);
    EXPECT_EQ(key, 60);
    EXPECT_EQ(holes, 10);
    EXPECT_EQ(tuning, kRichter) << "loading does not rebuild";
    EXPECT_EQ(layout.noteAt(0, 0), -1);
    EXPECT_EQ(layout.holeCount(), 0);
}

} // namespace
} // namespace reedtab
