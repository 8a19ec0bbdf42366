// The harp finder and speed trainer dialogs driven through their controls: the finder's table
// against the engine's ranking, its filters and track choice, and the trainer's plan and OK.
// Also a picture of the finder for a person to look at.

#include "dialogtesting.h"

#include "dialogs/harpfinderdlg.h"
#include "dialogs/myharpsdlg.h"
#include "dialogs/speedtrainerdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace reedtab {
namespace {

using testing::onNextDialog;

constexpr int kUnavailableColumn = 7;
constexpr int kBendsColumn = 5;
constexpr int kTuningColumn = 8;

// The row of a tuning in the My Harps grid.
int rowOf(const std::string& tuning) {
    const std::vector<std::string> tunings = finderTunings();
    return static_cast<int>(std::find(tunings.begin(), tunings.end(), tuning) - tunings.begin());
}

FinderOptions options(bool diatonic, bool chromatic, bool noBends = false, bool noOvers = false) {
    FinderOptions o;
    o.diatonic = diatonic;
    o.chromatic = chromatic;
    o.noBends = noBends;
    o.noOvers = noOvers;
    return o;
}

class HarpFinderDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(song.loadFile(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid"), 0);
    }
    QString cell(const CHarpFinderDlg& dialog, int row, int column) const {
        return dialog.table()->item(row, column)->text();
    }
    // Every row shows the candidate at its place in `expected`.
    void expectRows(const CHarpFinderDlg& dialog, const FinderResult& expected) const {
        ASSERT_EQ(dialog.table()->rowCount(), static_cast<int>(expected.candidates.size()));
        for (int row = 0; row < dialog.table()->rowCount(); ++row) {
            const HarpCandidate& c = expected.candidates[static_cast<size_t>(row)];
            EXPECT_EQ(cell(dialog, row, 0).toStdString(), c.keyName) << row;
            EXPECT_EQ(cell(dialog, row, 1).toInt(), c.position) << row;
            EXPECT_EQ(cell(dialog, row, 2).toInt(), c.shift) << row;
            EXPECT_EQ(cell(dialog, row, 3).toInt(), c.use.blow) << row;
            EXPECT_EQ(cell(dialog, row, 4).toInt(), c.use.draw) << row;
            EXPECT_EQ(cell(dialog, row, kBendsColumn).toInt(), c.use.bends) << row;
            EXPECT_EQ(cell(dialog, row, 6).toInt(), c.use.overs) << row;
            EXPECT_EQ(cell(dialog, row, kUnavailableColumn).toInt(), c.use.unavailable) << row;
            EXPECT_EQ(cell(dialog, row, kTuningColumn).toStdString(), c.tuning) << row;
        }
    }
    MidiSong song;
};

TEST_F(HarpFinderDialog, ListsTheRankingOfTheMelodyTrackOverTheRange) {
    CHarpFinderDlg dialog(song, -1, -1);
    const int melody = melodyTrack(song);
    ASSERT_GE(melody, 0);
    EXPECT_EQ(dialog.trackList()->currentIndex(), melody);
    const FinderResult expected = findHarps(song, FinderRange{melody, -1, -1}, FinderOptions{});
    ASSERT_FALSE(expected.candidates.empty());
    expectRows(dialog, expected);
    EXPECT_TRUE(dialog.keyLabel()->text().contains(QString::fromStdString(expected.key.name())));
    ASSERT_NE(dialog.chosen(), nullptr) << "the best harp is offered first";
    EXPECT_EQ(dialog.chosen()->tuning, expected.candidates[0].tuning);
    EXPECT_EQ(dialog.chosen()->key, expected.candidates[0].key);

    // A range counts fewer notes.
    const int32_t half = 8 * song.division;
    CHarpFinderDlg part(song, 0, half);
    const FinderResult partExpected =
        findHarps(song, FinderRange{melody, 0, half}, FinderOptions{});
    EXPECT_LT(partExpected.notes, expected.notes);
    EXPECT_TRUE(
        part.keyLabel()->text().contains(QStringLiteral("%1 notes").arg(partExpected.notes)));
    expectRows(part, partExpected);

    dialog.table()->selectRow(3);
    ASSERT_NE(dialog.chosen(), nullptr);
    EXPECT_EQ(dialog.chosen(), &dialog.result().candidates[3]);

    const QImage shot = dialog.grab().toImage();
    EXPECT_TRUE(shot.save(REEDTAB_BINARY_DIR "/screenshot-whichharp.png"));
}

TEST_F(HarpFinderDialog, FiltersAndTrackRefreshTheRows) {
    CHarpFinderDlg dialog(song, -1, -1);
    const int melody = melodyTrack(song);
    const int all = dialog.table()->rowCount();

    dialog.chromaticBox()->setChecked(false);
    expectRows(dialog, findHarps(song, FinderRange{melody, -1, -1}, options(true, false)));
    EXPECT_LT(dialog.table()->rowCount(), all);
    for (const HarpCandidate& c : dialog.result().candidates) {
        EXPECT_FALSE(c.chromatic) << c.tuning;
    }

    dialog.noBendsBox()->setChecked(true);
    dialog.noOversBox()->setChecked(true);
    const FinderResult plain =
        findHarps(song, FinderRange{melody, -1, -1}, options(true, false, true, true));
    expectRows(dialog, plain);
    ASSERT_GT(dialog.table()->rowCount(), 0) << "the melody has harps without bends";
    for (int row = 0; row < dialog.table()->rowCount(); ++row) {
        EXPECT_EQ(cell(dialog, row, kBendsColumn), QStringLiteral("0")) << row;
    }

    dialog.diatonicBox()->setChecked(false);
    EXPECT_EQ(dialog.table()->rowCount(), 0);
    EXPECT_EQ(dialog.chosen(), nullptr);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "nothing to choose";

    dialog.diatonicBox()->setChecked(true);
    dialog.chromaticBox()->setChecked(true);
    dialog.noBendsBox()->setChecked(false);
    dialog.noOversBox()->setChecked(false);
    int other = 0;
    for (int t = 0; t < song.trackCount(); ++t) {
        const FinderResult found = findHarps(song, FinderRange{t, -1, -1}, FinderOptions{});
        if (t != melody && found.notes > 0) {
            other = t;
        }
    }
    ASSERT_NE(other, melody) << "the song has an accompaniment track with notes";
    dialog.trackList()->setCurrentIndex(other);
    expectRows(dialog, findHarps(song, FinderRange{other, -1, -1}, FinderOptions{}));
}

TEST_F(HarpFinderDialog, OnlyMyHarpsFiltersTheTable) {
    const std::string richter = "Major Diatonic (Richter)";
    CHarpFinderDlg none(song, -1, -1);
    EXPECT_FALSE(none.myHarpsBox()->isEnabled()) << "no harps chosen yet";
    EXPECT_FALSE(none.myHarpsBox()->isChecked());
    const int all = none.table()->rowCount();

    const std::vector<OwnedHarp> mine = {{richter, 9}, {richter, 0}, {"Hohner 365", 10}};
    CHarpFinderDlg dialog(song, -1, -1, mine);
    EXPECT_TRUE(dialog.myHarpsBox()->isChecked()) << "on when the player has harps";
    FinderOptions owned;
    owned.harps = mine;
    const FinderResult expected = findHarps(song, FinderRange{melodyTrack(song), -1, -1}, owned);
    ASSERT_EQ(expected.candidates.size(), 3u);
    expectRows(dialog, expected);
    EXPECT_EQ(cell(dialog, 0, 0), QStringLiteral("C")) << "the plain C harp plays the tune";
    dialog.myHarpsBox()->setChecked(false);
    EXPECT_EQ(dialog.table()->rowCount(), all);
    EXPECT_EQ(dialog.myHarps(), mine);
}

TEST_F(HarpFinderDialog, MyHarpsAreSetUpWithAClickPerHarp) {
    const std::string richter = "Major Diatonic (Richter)";
    CHarpFinderDlg dialog(song, -1, -1, {{"Hohner 365", 3}});
    // Cleared, then C, A, G, D and F of the Richter row, as a player clicks them.
    onNextDialog<CMyHarpsDlg>([](CMyHarpsDlg& grid) {
        QTableWidget* table = grid.table();
        EXPECT_EQ(table->item(rowOf("Hohner 365"), 3)->checkState(), Qt::Checked) << "in Eb";
        grid.clearButton()->click();
        for (const int key : {0, 9, 7, 2, 5}) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                              table->visualItemRect(table->item(0, key)).center());
        }
        // Space ticks the current cell: on and off again.
        table->setCurrentCell(3, 4);
        QTest::keyClick(table, Qt::Key_Space);
        EXPECT_EQ(table->item(3, 4)->checkState(), Qt::Checked);
        QTest::keyClick(table, Qt::Key_Space);
        EXPECT_EQ(table->item(3, 4)->checkState(), Qt::Unchecked);
    });
    dialog.myHarpsButton()->click();
    const std::vector<OwnedHarp> five = {
        {richter, 0}, {richter, 2}, {richter, 5}, {richter, 7}, {richter, 9}};
    EXPECT_EQ(dialog.myHarps(), five);
    EXPECT_TRUE(dialog.myHarpsBox()->isChecked());
    ASSERT_EQ(dialog.table()->rowCount(), 5);
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(cell(dialog, row, kTuningColumn).toStdString(), richter) << row;
    }

    // Called off, the list stays; an emptied list turns the filter off.
    onNextDialog<CMyHarpsDlg>([](CMyHarpsDlg& grid) { grid.clearButton()->click(); }, false);
    dialog.myHarpsButton()->click();
    EXPECT_EQ(dialog.myHarps(), five);
    onNextDialog<CMyHarpsDlg>([](CMyHarpsDlg& grid) { grid.clearButton()->click(); });
    dialog.myHarpsButton()->click();
    EXPECT_TRUE(dialog.myHarps().empty());
    EXPECT_FALSE(dialog.myHarpsBox()->isEnabled());
    EXPECT_GT(dialog.table()->rowCount(), 5);
}

TEST(MyHarpsDialog, KeepsHarpsOfTuningsItDoesNotShow) {
    const std::vector<OwnedHarp> given = {{"Major Diatonic (Richter)", 11},
                                          {"A tuning of a later version", 4},
                                          {"Whole Tone (custom)", 0}};
    CMyHarpsDlg grid(given);
    EXPECT_EQ(grid.table()->rowCount(), static_cast<int>(finderTunings().size()));
    EXPECT_EQ(grid.table()->item(0, 11)->checkState(), Qt::Checked);
    EXPECT_EQ(grid.table()->verticalHeaderItem(rowOf(" 8 Hole Chromatic (std 32)"))->text(),
              QStringLiteral("8 Hole Chromatic (std 32)"));
    const std::vector<OwnedHarp> back = {{"A tuning of a later version", 4},
                                         {"Major Diatonic (Richter)", 11},
                                         {"Whole Tone (custom)", 0}};
    EXPECT_EQ(grid.harps(), back);
    grid.toggle(0, 11);
    EXPECT_EQ(grid.harps().size(), 2u);
}

TEST(SpeedTrainerDialog, OffersOkOnlyForAPlanThePlayerCanFollow) {
    CSpeedTrainerDlg dialog;
    const SpeedTrainer plan = dialog.plan();
    EXPECT_EQ(plan.start, 60);
    EXPECT_EQ(plan.step, 10);
    EXPECT_EQ(plan.target, 100);
    EXPECT_EQ(plan.passes, 2);
    EXPECT_TRUE(dialog.okButton()->isEnabled());

    dialog.startField()->setValue(120);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "start above the target";
    dialog.targetField()->setValue(150);
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    dialog.stepField()->setValue(0);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "no step";
    dialog.stepField()->setValue(5);
    dialog.passesField()->setValue(0);
    EXPECT_FALSE(dialog.okButton()->isEnabled()) << "no passes";
    dialog.passesField()->setValue(3);
    EXPECT_TRUE(dialog.okButton()->isEnabled());
    const SpeedTrainer changed = dialog.plan();
    EXPECT_EQ(changed.start, 120);
    EXPECT_EQ(changed.step, 5);
    EXPECT_EQ(changed.target, 150);
    EXPECT_EQ(changed.passes, 3);
}

} // namespace
} // namespace reedtab
