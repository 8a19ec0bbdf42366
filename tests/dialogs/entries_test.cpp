// The small entry dialogs: their ranges with and without the range check, the program list as
// a channel names it, and the text entry.

#include "dialogs/posentry.h"
#include "dialogs/programentry.h"
#include "dialogs/stringentry.h"
#include "dialogs/valueentry.h"
#include "model/midievent.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

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

TEST(ProgramEntry, ListsTheProgramsOrTheDrumsetsOfChannelTen) {
    CProgramEntry entry;
    entry.setProgram(-1, 0);
    EXPECT_EQ(entry.program(), 0);
    EXPECT_TRUE(entry.barField()->isEnabled());
    EXPECT_EQ(entry.programList()->itemText(1), QString::asprintf("001 %s", programName(1)));
    entry.setProgram(25, 9);
    EXPECT_EQ(entry.programList()->count(), 128);
    EXPECT_EQ(entry.programList()->itemText(25), "Drumset 25");
    EXPECT_EQ(entry.program(), 25);
    EXPECT_FALSE(entry.tickField()->isEnabled()) << "an existing event keeps its place";
    EXPECT_EQ(programText(7, 0), QString::asprintf("  7 %s", programName(7)));
    EXPECT_EQ(programText(7, 9), "Drumset 7");
}

TEST(StringEntry, StartsWithTheTextAndGivesBackWhatWasTyped) {
    CStringEntry entry(nullptr, "Add Text", "Text", "la");
    EXPECT_EQ(entry.windowTitle(), "Add Text");
    EXPECT_EQ(entry.text(), "la");
    entry.field()->setText("la la");
    EXPECT_EQ(entry.text(), "la la");
}

} // namespace
} // namespace reedtab
