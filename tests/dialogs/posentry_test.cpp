#include "dialogs/posentry.h"

#include <QApplication>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>

namespace reedtab {
namespace {

TEST(PosEntry, StartsAtBarOneBeatOneTickZero) {
    CPosEntry entry;
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.beat(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, RangeCheckKeepsBarInTheSongAndTickWithinADivision) {
    CPosEntry entry;
    entry.setRange(12, 480);
    entry.setPosition(40, 3, 900);
    EXPECT_EQ(entry.bar(), 12);
    EXPECT_EQ(entry.beat(), 3);
    EXPECT_EQ(entry.tick(), 480);
    entry.setPosition(0, 1, -5);
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, EmptySongStillAllowsBarOne) {
    CPosEntry entry;
    entry.setRange(0, 0);
    entry.setPosition(3, 1, 10);
    EXPECT_EQ(entry.bar(), 1);
    EXPECT_EQ(entry.tick(), 0);
}

TEST(PosEntry, WithoutRangeCheckCountsStartAtZero) {
    CPosEntry entry;
    entry.setRange(4, 96);
    entry.setRangeCheck(false);
    entry.setPosition(0, 0, 5000);
    EXPECT_EQ(entry.bar(), 0);
    EXPECT_EQ(entry.beat(), 0);
    EXPECT_EQ(entry.tick(), 5000);
}

} // namespace
} // namespace reedtab
