// The file properties dialog driven through its controls: the time-signature and tempo lines,
// the tempo entry's rounding, add and delete with the question, one undo step on Close and no
// change on Cancel. Also the pictures of both property dialogs, for a person to look at.

#include "dialogtesting.h"
#include "documenttesting.h"

#include "dialogs/fileproperties.h"
#include "dialogs/posentry.h"
#include "dialogs/trackpropdlg.h"
#include "dialogs/valueentry.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QImage>
#include <QPushButton>

namespace reedtab::testing {
namespace {

struct FileDialogTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> opened;

    void open(std::initializer_list<std::pair<int32_t, int32_t>> tempos) {
        MidiSong song;
        beginSong(song, 2);
        addTimeSignature(song, 0, 0, 4, 4);
        for (auto [tick, micros] : tempos)
            addTempo(song, 0, tick, micros);
        addTimeSignature(song, 0, 3840, 6, 8);
        addNote(song, 1, 0, 60, 0, 7000);
        finishSong(song, 7680);
        f.open(song);
        opened = listEvents(f.doc.song);
    }
    int32_t tempoAtIndex(size_t i) { return f.doc.song.tempoList[i]->value(); }
};

TEST_F(FileDialogTest, ListsSignaturesAndTemposInTheirFormats) {
    open({{0, 500000}, {1920, 400000}, {3840, 470000}});
    CFileProperties dialog(f.doc, f.ui);
    EXPECT_EQ(dialog.windowTitle(), "MIDI File Properties");
    EXPECT_EQ(lines(dialog.timeSignatureList()),
              (QStringList{"001:01:000  4/4", "003:01:000  6/8"}));
    EXPECT_EQ(lines(dialog.tempoList()),
              (QStringList{"001:01:000  120.00", "002:01:000  150.00", "003:01:000  127.66"}));
    EXPECT_EQ(dialog.tempoList()->currentIndex(), 0);
    EXPECT_EQ(dialog.timeSignatureList()->currentIndex(), 0);
}

TEST_F(FileDialogTest, TempoEditStartsFromTheRoundedTempoAndStoresMicroseconds) {
    open({{0, 500000}, {1920, 400000}, {3840, 470000}});
    CFileProperties dialog(f.doc, f.ui);
    std::vector<double> shown;
    const auto look = [&shown](CValueEntry& entry) { shown.push_back(entry.value()); };
    for (int i : {1, 2}) {
        dialog.tempoList()->setCurrentIndex(i);
        onNextDialog<CValueEntry>(look, false);
        dialog.editButton()->click();
    }
    EXPECT_EQ(shown, (std::vector<double>{150, 127.66}));
    EXPECT_FALSE(dialog.tempoChanged()) << "cancelled entries change nothing";

    dialog.tempoList()->setCurrentIndex(0);
    onNextDialog<CValueEntry>([](CValueEntry& entry) {
        EXPECT_EQ(entry.value(), 120);
        entry.setValue(100);
    });
    dialog.editButton()->click();
    EXPECT_EQ(tempoAtIndex(0), 600000);
    EXPECT_EQ(lines(dialog.tempoList())[0], "001:01:000  100.00");
    EXPECT_EQ(dialog.tempoList()->currentIndex(), 0);
    EXPECT_TRUE(dialog.tempoChanged());
}

TEST_F(FileDialogTest, TempoAddTakesAPositionAndBeatsPerMinute) {
    open({{0, 500000}});
    CFileProperties dialog(f.doc, f.ui);
    onNextDialog<CPosValueEntry>([](CPosValueEntry& entry) {
        EXPECT_EQ(entry.value(), 120);
        entry.setPosition(2, 2, 0);
        entry.valueField()->setValue(90);
    });
    dialog.addButton()->click();
    ASSERT_EQ(f.doc.song.tempoList.size(), 2u);
    EXPECT_EQ(f.doc.song.tempoList[1]->tick, 2400);
    EXPECT_EQ(f.doc.song.tempoList[1]->track, f.doc.song.tracks[0].get());
    EXPECT_EQ(tempoAtIndex(1), 666666);
    EXPECT_EQ(lines(dialog.tempoList()), (QStringList{"001:01:000  120.00", "002:02:000  90.00"}));
}

TEST_F(FileDialogTest, TempoDeleteKeepsTheLastTempoAndAsksFirst) {
    open({{0, 500000}});
    {
        CFileProperties dialog(f.doc, f.ui);
        dialog.deleteButton()->click();
        EXPECT_TRUE(f.ui.questions.empty()) << "a single tempo is never deleted";
        EXPECT_EQ(dialog.tempoList()->count(), 1);
    }
    open({{0, 500000}, {1920, 400000}});
    CFileProperties dialog(f.doc, f.ui);
    dialog.tempoList()->setCurrentIndex(1);
    f.ui.yesNoAnswer = false;
    dialog.deleteButton()->click();
    EXPECT_EQ(dialog.tempoList()->count(), 2);
    f.ui.yesNoAnswer = true;
    dialog.deleteButton()->click();
    EXPECT_EQ(f.ui.questionCaptions, (std::vector<std::string>(2, "Tempo change delete")));
    EXPECT_EQ(f.ui.questions[0], "Are you sure you want to delete it?");
    EXPECT_EQ(lines(dialog.tempoList()), QStringList{"001:01:000  120.00"});
    EXPECT_EQ(f.doc.song.tempoAt(5000), 500000);
}

TEST_F(FileDialogTest, CloseIsOneUndoStepAndCancelChangesNothing) {
    open({{0, 500000}, {1920, 400000}});
    {
        CFileProperties dialog(f.doc, f.ui);
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(60); });
        dialog.editButton()->click();
        dialog.tempoList()->setCurrentIndex(1);
        dialog.deleteButton()->click();
        dialog.reject();
    }
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_FALSE(f.doc.isModified());
    {
        CFileProperties dialog(f.doc, f.ui);
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(60); });
        dialog.editButton()->click();
        onNextDialog<CPosValueEntry>([](CPosValueEntry& entry) { entry.setPosition(3, 1, 0); });
        dialog.addButton()->click();
        dialog.accept();
    }
    EXPECT_EQ(f.doc.song.tempoAt(1), 1000000);
    EXPECT_EQ(f.doc.song.tempoList.size(), 3u);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Edit\tCtrl+Z");
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened);
}

// The close box says neither Close nor Cancel: after a change it asks. Yes keeps the changes
// as Close does, No drops them as Cancel does, Cancel leaves the dialog open.
TEST_F(FileDialogTest, TheCloseBoxAsksWhetherToKeepTheChanges) {
    open({{0, 500000}, {1920, 400000}});
    const auto changedDialog = [this] {
        auto dialog = std::make_unique<CFileProperties>(f.doc, f.ui);
        dialog->show();
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(60); });
        dialog->editButton()->click();
        return dialog;
    };
    {
        CFileProperties untouched(f.doc, f.ui);
        untouched.show();
        EXPECT_TRUE(untouched.close());
        EXPECT_TRUE(f.ui.questions.empty()) << "nothing to lose, nothing to ask";
    }

    auto dialog = changedDialog();
    f.ui.yesNoCancelAnswer = Answer::Cancel;
    EXPECT_FALSE(dialog->close());
    EXPECT_TRUE(dialog->isVisible()) << "Cancel goes back to the dialog";
    EXPECT_EQ(f.ui.questions, std::vector<std::string>{"Keep the changes?"});
    f.ui.yesNoCancelAnswer = Answer::No;
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    dialog.reset();
    EXPECT_EQ(listEvents(f.doc.song), opened) << "No drops the changes";
    EXPECT_FALSE(f.doc.isModified());

    dialog = changedDialog();
    f.ui.yesNoCancelAnswer = Answer::Yes;
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    dialog.reset();
    EXPECT_EQ(f.doc.song.tempoAt(1), 1000000) << "Yes keeps them";
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Edit\tCtrl+Z");
}

// Written to the build folder: both property dialogs on the example song.
TEST(PropertyDialogShots, BothDialogsOnTheExampleSong) {
    DocFixture f;
    ASSERT_EQ(f.doc.openDocument(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid"), LoadOk);
    ASSERT_GE(f.doc.song.trackCount(), 2);
    CTrackPropDlg track(f.doc, f.ui, 1);
    track.adjustSize();
    const QImage trackShot = track.grab().toImage();
    EXPECT_TRUE(trackShot.save(REEDTAB_BINARY_DIR "/screenshot-trackprops.png"));
    track.reject();
    CFileProperties file(f.doc, f.ui);
    file.adjustSize();
    const QImage fileShot = file.grab().toImage();
    EXPECT_TRUE(fileShot.save(REEDTAB_BINARY_DIR "/screenshot-fileprops.png"));
    EXPECT_GT(trackShot.width(), fileShot.width() / 2);
    EXPECT_GT(fileShot.height(), 50);
}

} // namespace
} // namespace reedtab::testing
