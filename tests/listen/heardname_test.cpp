// A heard pitch named as the player plays it: hole, technique, cents.

#include "listen/heardname.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class HeardNameTest : public ::testing::Test {
protected:
    void SetUp() override {
        block.tabMode = kDiatonicTab;
        diatonic.init(60, 0); // Major Diatonic (Richter) in C
    }
    std::string described(int note, double cents = 0.0, std::uint16_t fingering = 0) {
        return namer.name(note, cents, fingering).describe();
    }

    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout chromatic{block};
    HeardNamer namer{block, diatonic, chromatic};
};

TEST_F(HeardNameTest, DiatonicHolesWithEveryTechnique) {
    const HeardName bent = namer.name(69, -12.3);
    EXPECT_EQ(bent.tab, "-3''");
    EXPECT_EQ(bent.hole, "-3");
    EXPECT_EQ(bent.technique, "bent one whole step");
    EXPECT_EQ(bent.describe(), "-3, bent one whole step, 12 cents flat");

    EXPECT_EQ(described(72, 3.0), "+4, blow, 3 cents sharp");
    EXPECT_EQ(described(62), "-1, draw, in tune");
    EXPECT_EQ(described(70, 1.0), "-3, bent one half step, 1 cent sharp");
    EXPECT_EQ(described(68), "-3, bent one and a half steps, in tune");
    EXPECT_EQ(described(87), "+8, bent one half step, in tune") << "a blow bend";
    EXPECT_EQ(described(63), "+1, overblow, in tune");
    EXPECT_EQ(described(85), "-7, overdraw, in tune");
}

TEST_F(HeardNameTest, TheChosenFingeringNamesTheOtherHole) {
    EXPECT_EQ(described(67), "-2, draw, in tune");
    const std::uint16_t blowThree = diatonic.fingeringFor(67, 1);
    EXPECT_EQ(namer.tab(67, blowThree), "+3");
    EXPECT_EQ(described(67, 0.0, blowThree), "+3, blow, in tune");
}

TEST_F(HeardNameTest, ValvedBend) {
    diatonic.init(60, 8); // Valved Major Diatonic
    EXPECT_EQ(described(59, -5.0), "+1, valved bend, 5 cents flat");
}

TEST_F(HeardNameTest, NotesTheHarmonicaCannotPlayAreNamedWithSayingSo) {
    const HeardName name = namer.name(100, 0.0);
    EXPECT_EQ(name.tab, "E");
    EXPECT_EQ(name.hole, "");
    EXPECT_EQ(name.describe(), "E, not on the harmonica, in tune");
}

TEST_F(HeardNameTest, ChromaticSlideAndLowOctave) {
    block.tabMode = kChromaticTab;
    chromatic.init(60, chromatic.tuningIndex()); // 12 Hole Chromatic (std 48)
    EXPECT_EQ(namer.tab(61), "+1<");
    EXPECT_EQ(described(61, 8.0), "+1, blow with the slide in, 8 cents sharp");
    EXPECT_EQ(described(63), "-1, draw with the slide in, in tune");
    chromatic.init(60, 0); // 16 Hole Chromatic (std 64): its lowest holes are a low octave
    EXPECT_EQ(namer.tab(49), "+1'<");
    EXPECT_EQ(namer.name(49).hole, "+1'") << "the low octave's mark stays, the slide's goes";
}

TEST_F(HeardNameTest, NoteNameModesNameTheNoteAlone) {
    block.tabMode = kNotesC;
    EXPECT_EQ(described(69, -20.0), "A, 20 cents flat");
    block.tabMode = kNotesBb;
    EXPECT_EQ(namer.tab(69), "B");
}

TEST_F(HeardNameTest, AHoleSpansFromItsDeepestBendOrToItsOver) {
    const auto span = [this](int note) {
        const HoleSpan s = namer.span(note);
        return std::vector<int>{s.low, s.high, s.plain};
    };
    EXPECT_EQ(span(71), (std::vector<int>{68, 71, 71})) << "-3 bends a step and a half";
    EXPECT_EQ(span(69), (std::vector<int>{68, 71, 71})) << "a bend shows its own hole";
    EXPECT_EQ(span(74), (std::vector<int>{73, 74, 74})) << "-4 bends a half step";
    EXPECT_EQ(span(72), (std::vector<int>{72, 72, 72})) << "the lower reed does not bend";
    EXPECT_EQ(span(75), (std::vector<int>{74, 75, 74})) << "the overblow of 4 above -4";
    EXPECT_EQ(span(88), (std::vector<int>{87, 88, 88})) << "+8 bends down";
    EXPECT_EQ(span(85), (std::vector<int>{84, 85, 84})) << "the overdraw of 7 above +7";
    block.tabMode = kChromaticTab;
    EXPECT_EQ(span(71), (std::vector<int>{71, 71, 71})) << "a chromatic hole does not bend";
}

TEST(CentsText, RoundsToWholeCentsWithTheirDirection) {
    EXPECT_EQ(centsText(0.4), "in tune");
    EXPECT_EQ(centsText(-0.4), "in tune");
    EXPECT_EQ(centsText(0.6), "1 cent sharp");
    EXPECT_EQ(centsText(-12.4), "12 cents flat");
    EXPECT_EQ(centsText(49.6), "50 cents sharp");
}

} // namespace
} // namespace reedtab
