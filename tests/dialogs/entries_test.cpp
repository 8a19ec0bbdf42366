// The small entry dialogs: their ranges with and without the range check, and the text entry.

#include "dialogs/posentry.h"
#include "dialogs/stringentry.h"
#include "dialogs/valueentry.h"

#include <QLineEdit>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

TEST(ValueEntry, RangeCheckHoldsTheValueInAMidiByteAndOffLetsAnyNumberThrough) {
    CValueEntry entry;
    entry.setValue(200);
    EXPECT_EQ(entry.value(), 127);
    entry.setValue(-3);
    EXPECT_EQ(entry.value(), 0);
    entry.setRangeCheck(false);
    entry.setValue(17);
    EXPECT_EQ(entry.value(), 17);
    entry.setValue(-1);
    EXPECT_EQ(entry.value(), -1);
    entry.setDecimals(2);
    entry.setValue(127.66);
    EXPECT_DOUBLE_EQ(entry.value(), 127.66);
}

TEST(PosValueEntry, PositionIsAlwaysCheckedAndTheValueOnlyWithItsCheck) {
    CPosValueEntry entry;
    entry.setRange(3, 96);
    entry.setValueRangeCheck(false);
    entry.setPosition(9, 2, 500);
    EXPECT_EQ(entry.bar(), 3);
    EXPECT_EQ(entry.tick(), 96);
    entry.setValue(300);
    EXPECT_EQ(entry.value(), 300);
    entry.setValueRangeCheck(true);
    EXPECT_EQ(entry.value(), 127);
}

TEST(StringEntry, StartsWithTheTextAndGivesBackWhatWasTyped) {
    CStringEntry entry("Add Text", "Text");
    entry.setText("la");
    EXPECT_EQ(entry.windowTitle(), "Add Text");
    EXPECT_EQ(entry.text(), "la");
    auto* field = entry.findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    field->setText("la la");
    EXPECT_EQ(entry.text(), "la la");
}

} // namespace
} // namespace reedtab
