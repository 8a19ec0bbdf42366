#include "harmonica/layoutsettings.h"
#include "settings/settings.h"
#include "testhelpers.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

const char* const W = kWindowSection;

class LayoutSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        diatonic.init(60, 0);
        chromatic.init(60, 2);
    }
    void restore() { restoreLayouts(store, diatonic, chromatic); }

    Settings block;
    DiatonicLayout diatonic{block};
    ChromaticLayout chromatic{block};
    MemorySettingsStore store;
};

TEST_F(LayoutSettingsTest, EmptyStoreGivesDefaults) {
    diatonic.build(64, 4);
    chromatic.build(64, 0);
    restore();
    EXPECT_EQ(diatonic.tuningIndex(), 0);
    EXPECT_EQ(diatonic.key(), 64) << "default is the key at the time";
    EXPECT_EQ(chromatic.tuningName(chromatic.tuningIndex()), "12 Hole Chromatic (std 48)");
    EXPECT_EQ(chromatic.key(), 64) << "default is the diatonic key";
}

TEST_F(LayoutSettingsTest, BuiltInTuningsRoundTrip) {
    diatonic.build(55, 6);
    chromatic.build(70, 5);
    saveLayouts(store, diatonic, chromatic);
    EXPECT_EQ(store.readString(W, "DiatonicTuning"), "Steve Baker Special (SBS)");
    EXPECT_EQ(store.readInt(W, "DiatonicKey"), 55);
    EXPECT_EQ(store.readString(W, "ChromaticTuning"), "Koch/Slide (ritcher tuned)");
    EXPECT_EQ(store.readInt(W, "ChromaticKey"), 70);

    DiatonicLayout d(block);
    ChromaticLayout c(block);
    restoreLayouts(store, d, c);
    EXPECT_EQ(d.tuningIndex(), 6);
    EXPECT_EQ(d.key(), 55);
    EXPECT_EQ(c.tuningIndex(), 5);
    EXPECT_EQ(c.key(), 70);
    EXPECT_EQ(d.noteMap(43).size(), 1u) << "the layout is built";
}

TEST_F(LayoutSettingsTest, KeysAreFoundInAnyCase) {
    store.writeString(W, "diatonictuning", "Hohner 365");
    store.writeInt(W, "DIATONICKEY", 62);
    store.writeString(W, "chromaticTUNING", " 8 Hole Chromatic (std 32)");
    restore();
    EXPECT_EQ(diatonic.tuningIndex(), 7);
    EXPECT_EQ(diatonic.key(), 62);
    EXPECT_EQ(chromatic.tuningIndex(), 4);
    EXPECT_EQ(chromatic.key(), 62);
}

TEST_F(LayoutSettingsTest, CustomTuningPathsRoundTrip) {
    testing::TempFile d("persist-d.tun", "DIATONIC\nNAME Saved\nBLOW C E G\nDRAW D G B\n");
    testing::TempFile c("persist-c.tun", "CHROMATIC\nNAME Saved\nBLOW_SLIDE_IN C#\n"
                                         "BLOW_SLIDE_OUT C\nDRAW_SLIDE_IN Eb\nDRAW_SLIDE_OUT D\n");
    ASSERT_EQ(diatonic.loadTuningFile(d.path()), 0);
    ASSERT_EQ(chromatic.loadTuningFile(c.path()), 0);
    diatonic.build(60, diatonic.customIndex());
    chromatic.build(72, chromatic.customIndex());
    saveLayouts(store, diatonic, chromatic);
    EXPECT_EQ(store.readString(W, "DiatonicTuning"), d.path());
    EXPECT_EQ(store.readString(W, "ChromaticTuning"), c.path());

    DiatonicLayout d2(block);
    ChromaticLayout c2(block);
    restoreLayouts(store, d2, c2);
    EXPECT_EQ(d2.tuningIndex(), d2.customIndex());
    EXPECT_EQ(d2.holes(), 3);
    EXPECT_EQ(d2.layoutTitle(), "[Custom] Saved Key of C");
    EXPECT_EQ(c2.tuningIndex(), c2.customIndex());
    EXPECT_EQ(c2.layoutTitle(), "Saved ... Key of C (High)");
}

TEST_F(LayoutSettingsTest, UnknownNamesFallBackToTheFirstEntry) {
    store.writeString(W, "DiatonicTuning", "No Such Tuning");
    store.writeString(W, "ChromaticTuning", "/no/such/file.tun");
    chromatic.build(60, 2);
    restore();
    EXPECT_EQ(diatonic.tuningIndex(), 0);
    EXPECT_EQ(chromatic.tuningIndex(), 0) << "\"16 Hole Chromatic (std 64)\"";
    // The custom entry's own name is not a match.
    store.writeString(W, "DiatonicTuning", "[Custom]");
    diatonic.build(60, 3);
    restore();
    EXPECT_EQ(diatonic.tuningIndex(), 0);
    store.writeString(W, "ChromaticTuning", "");
    restore();
    EXPECT_EQ(chromatic.tuningIndex(), 0);
}

TEST_F(LayoutSettingsTest, KeysOutsideTheWindowRangeTakeTheDefault) {
    store.writeInt(W, "DiatonicKey", 91);
    store.writeInt(W, "ChromaticKey", 35);
    restore();
    EXPECT_EQ(diatonic.key(), 60);
    EXPECT_EQ(chromatic.key(), 60);
    store.writeString(W, "DiatonicKey", "sixty");
    store.writeInt(W, "ChromaticKey", 95);
    restore();
    EXPECT_EQ(diatonic.key(), 60);
    EXPECT_EQ(chromatic.key(), 95);
    // The diatonic range moves with the tuning's key offset: 24..83 for the Melody Maker.
    store.writeString(W, "DiatonicTuning", "Melody Maker (Lee Oskar)");
    store.writeInt(W, "DiatonicKey", 24);
    store.writeString(W, "ChromaticKey", "");
    restore();
    EXPECT_EQ(diatonic.key(), 24);
    EXPECT_EQ(chromatic.key(), 60) << "the diatonic key lies outside the chromatic range";
    store.writeInt(W, "DiatonicKey", 84);
    restore();
    EXPECT_EQ(diatonic.key(), 24) << "the key at the time";
}

} // namespace
} // namespace reedtab
