// The harp finder and speed trainer dialogs driven through their controls: the finder's table
// against the engine's ranking, its filters and track choice, and the trainer's plan and OK.
// Also a picture of the finder for a person to look at.

#include "dialogs/harpfinderdlg.h"
#include "dialogs/speedtrainerdlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

constexpr int kUnavailableColumn = 7;
constexpr int kBendsColumn = 5;
constexpr int kTuningColumn = 8;

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
    expectRows(dialog, findHarps(song, FinderRange{melody, -1, -1}, FinderOptions{true, false}));
    EXPECT_LT(dialog.table()->rowCount(), all);
    for (const HarpCandidate& c : dialog.result().candidates) {
        EXPECT_FALSE(c.chromatic) << c.tuning;
    }

    dialog.noBendsBox()->setChecked(true);
    dialog.noOversBox()->setChecked(true);
    const FinderResult plain =
        findHarps(song, FinderRange{melody, -1, -1}, FinderOptions{true, false, true, true});
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
