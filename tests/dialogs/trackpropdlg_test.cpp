// The track properties dialog driven through its controls: the list lines, the entry dialogs
// behind Edit, Add, Del and Change Ch with their checks and messages, Close applying name and
// place as one undo step, and Cancel leaving the song as it was.

#include "dialogtesting.h"
#include "documenttesting.h"

#include "dialogs/posentry.h"
#include "dialogs/programentry.h"
#include "dialogs/trackpropdlg.h"
#include "dialogs/valueentry.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

namespace reedtab::testing {
namespace {

using List = CTrackPropDlg::EventList;

QString programLine(const char* position, int program) {
    return QString::asprintf("%s %3d %s", position, program, programName(program));
}

struct TrackDialogTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> opened;

    // Track 0 the conductor, track 1 a melody on channel 1, track 2 notes on channels 1 and 2.
    void SetUp() override {
        MidiSong song;
        beginSong(song, 3);
        addTempo(song, 0, 0, 500000);
        addTimeSignature(song, 0, 0, 4, 4);
        addProgram(song, 1, 0, 24, 0);
        addController(song, 1, 0, 7, 90, 0);
        addController(song, 1, 0, 10, 40, 0);
        addNote(song, 1, 0, 60, 0, 400);
        addNote(song, 1, 0, 64, 480, 880);
        addController(song, 1, 0, 7, 100, 1920);
        addNote(song, 1, 0, 67, 1920, 2400);
        addController(song, 2, 0, 7, 80, 0);
        addProgram(song, 2, 1, 33, 0);
        addNote(song, 2, 0, 48, 0, 900);
        addNote(song, 2, 1, 36, 960, 1900);
        finishSong(song, 3840);
        song.setTrackName(1, "Melody");
        f.open(song);
        opened = listEvents(f.doc.song);
    }
    MidiTrack& track(int i) { return *f.doc.song.tracks[static_cast<size_t>(i)]; }
};

TEST_F(TrackDialogTest, OneChannelTrackShowsItsFieldsAndLines) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    EXPECT_EQ(dialog.windowTitle(), "Track Properties");
    EXPECT_EQ(dialog.trackName()->text(), "Melody");
    EXPECT_EQ(dialog.trackNumber()->value(), 1);
    EXPECT_EQ(dialog.trackNumber()->minimum(), 1);
    EXPECT_EQ(dialog.trackNumber()->maximum(), 2);
    EXPECT_TRUE(dialog.trackNumber()->isEnabled());
    EXPECT_EQ(dialog.channelLabel()->text(), "Channel 1");
    EXPECT_EQ(lines(dialog.list(List::ProgramList)), QStringList{programLine("001:01:000", 24)});
    EXPECT_EQ(lines(dialog.list(List::VolumeList)),
              (QStringList{"001:01:000  90", "002:01:000  100"}));
    EXPECT_EQ(lines(dialog.list(List::PanList)), QStringList{"001:01:000  40"});
    EXPECT_EQ(dialog.list(List::VolumeList)->currentIndex(), 0) << "the first item is selected";
}

TEST_F(TrackDialogTest, SeveralChannelsAreNamedOnEveryLineAndRefuseAChannelChange) {
    CTrackPropDlg dialog(f.doc, f.ui, 2);
    EXPECT_EQ(dialog.channelLabel()->text(), "Channels 1 2");
    EXPECT_EQ(lines(dialog.list(List::VolumeList)), QStringList{"001:01:000  80  (ch 1)"});
    EXPECT_EQ(lines(dialog.list(List::ProgramList)),
              QStringList{programLine("001:01:000", 33) + " (ch 2)"});
    dialog.changeChannelButton()->click();
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text,
              "Can't change channel when multiple channels are used in the same track");
    EXPECT_EQ(f.ui.messages[0].caption, "Change Ch");
    dialog.reject();
    EXPECT_EQ(listEvents(f.doc.song), opened);
}

TEST_F(TrackDialogTest, TrackZeroKeepsItsPlaceAndCannotTakeEventsWithoutNotes) {
    CTrackPropDlg dialog(f.doc, f.ui, 0);
    EXPECT_FALSE(dialog.trackNumber()->isEnabled());
    EXPECT_EQ(dialog.trackNumber()->value(), 0);
    for (List which : {List::ProgramList, List::VolumeList, List::PanList}) {
        EXPECT_EQ(dialog.list(which)->count(), 0);
        dialog.addButton(which)->click();
        // Del on an empty list asks nothing.
        dialog.deleteButton(which)->click();
    }
    ASSERT_EQ(f.ui.messages.size(), 3u);
    EXPECT_EQ(f.ui.messages[0].text, "No notes found inside the track");
    EXPECT_EQ(f.ui.messages[0].caption, "Event add error");
    EXPECT_TRUE(f.ui.questions.empty());
    dialog.accept();
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_EQ(f.doc.undoType(), UndoNothing) << "nothing changed, nothing to undo";
}

TEST_F(TrackDialogTest, EditVolumeChecksItsRangeAndKeepsTheSelection) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    QComboBox* volumes = dialog.list(List::VolumeList);
    volumes->setCurrentIndex(1);
    double shown = -1;
    onNextDialog<CValueEntry>([&](CValueEntry& entry) {
        shown = entry.value();
        entry.field()->selectAll();
        QTest::keyClicks(entry.field(), "200");
        EXPECT_LE(entry.value(), 127) << "200 is refused by the range check";
        entry.field()->selectAll();
        QTest::keyClicks(entry.field(), "110");
    });
    dialog.editButton(List::VolumeList)->click();
    EXPECT_EQ(shown, 100);
    EXPECT_EQ(lines(volumes), (QStringList{"001:01:000  90", "002:01:000  110"}));
    EXPECT_EQ(volumes->currentIndex(), 1);

    int seen = 0;
    onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(5); }, false, &seen);
    dialog.editButton(List::VolumeList)->click();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(lines(volumes)[1], "002:01:000  110") << "a cancelled entry changes nothing";
}

TEST_F(TrackDialogTest, EditProgramShowsThePositionWithoutLettingItChange) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    onNextDialog<CProgramEntry>([](CProgramEntry& entry) {
        EXPECT_EQ(entry.programList()->count(), 128);
        EXPECT_EQ(entry.programList()->currentIndex(), 24);
        EXPECT_EQ(entry.programList()->itemText(24), QString::asprintf("024 %s", programName(24)));
        EXPECT_FALSE(entry.barField()->isEnabled());
        EXPECT_EQ(entry.bar(), 1);
        entry.programList()->setCurrentIndex(40);
    });
    dialog.editButton(List::ProgramList)->click();
    EXPECT_EQ(lines(dialog.list(List::ProgramList)), QStringList{programLine("001:01:000", 40)});
}

TEST_F(TrackDialogTest, AddPutsNewEventsOnTheTracksChannelAtTheChosenPosition) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    onNextDialog<CPosValueEntry>([](CPosValueEntry& entry) {
        EXPECT_EQ(entry.value(), 64);
        EXPECT_EQ(entry.barField()->maximum(), 2) << "the song's bars";
        EXPECT_EQ(entry.tickField()->maximum(), 480) << "the song's division";
        entry.setPosition(2, 3, 0);
        entry.setValue(80);
    });
    dialog.addButton(List::PanList)->click();
    EXPECT_EQ(lines(dialog.list(List::PanList)), (QStringList{"001:01:000  40", "002:03:000  80"}));

    onNextDialog<CProgramEntry>([](CProgramEntry& entry) {
        EXPECT_TRUE(entry.barField()->isEnabled()) << "a new event takes a position";
        EXPECT_EQ(entry.programList()->currentIndex(), 0);
        entry.setPosition(1, 2, 0);
        entry.programList()->setCurrentIndex(73);
    });
    dialog.addButton(List::ProgramList)->click();
    EXPECT_EQ(lines(dialog.list(List::ProgramList)),
              (QStringList{programLine("001:01:000", 24), programLine("001:02:000", 73)}));
    int added = 0;
    for (const auto& e : track(1).events) {
        if ((e->kind() == KindController && e->data1 == 10 && e->tick == 2880) ||
            (e->kind() == KindProgram && e->data1 == 73 && e->tick == 480)) {
            EXPECT_EQ(e->channel(), 0);
            ++added;
        }
    }
    EXPECT_EQ(added, 2);
}

TEST_F(TrackDialogTest, DeleteAsksWithTheListsCaption) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    f.ui.yesNoAnswer = false;
    dialog.deleteButton(List::VolumeList)->click();
    EXPECT_EQ(dialog.list(List::VolumeList)->count(), 2) << "No keeps the event";
    f.ui.yesNoAnswer = true;
    dialog.list(List::VolumeList)->setCurrentIndex(1);
    dialog.deleteButton(List::VolumeList)->click();
    dialog.deleteButton(List::PanList)->click();
    dialog.deleteButton(List::ProgramList)->click();
    EXPECT_EQ(f.ui.questions, std::vector<std::string>(4, "Are you sure you want to delete it?"));
    EXPECT_EQ(f.ui.questionCaptions,
              (std::vector<std::string>{"Volume set delete", "Volume set delete", "Pan set delete",
                                        "Program set delete"}));
    EXPECT_EQ(lines(dialog.list(List::VolumeList)), QStringList{"001:01:000  90"});
    EXPECT_EQ(dialog.list(List::PanList)->count(), 0);
    EXPECT_EQ(dialog.list(List::ProgramList)->count(), 0);
}

TEST_F(TrackDialogTest, ChannelChangeChecksTheChannelAndRenamesDrums) {
    CTrackPropDlg dialog(f.doc, f.ui, 1);
    onNextDialog<CValueEntry>([](CValueEntry& entry) {
        EXPECT_EQ(entry.value(), 1);
        entry.setValue(17);
    });
    dialog.changeChannelButton()->click();
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, "Error! Bad channel");
    EXPECT_EQ(f.ui.messages[0].caption, "Bad Ch");
    EXPECT_EQ(track(1).channels, std::vector<uint8_t>{0});

    onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(10); });
    dialog.changeChannelButton()->click();
    EXPECT_EQ(dialog.channelLabel()->text(), "Channel 10 ");
    EXPECT_EQ(lines(dialog.list(List::ProgramList)), QStringList{"001:01:000 Drumset 24"});
    for (const auto& e : track(1).events) {
        if (e->kind() & KindFamilyChannel) {
            EXPECT_EQ(e->channel(), 9);
        }
    }
}

TEST_F(TrackDialogTest, CloseRenamesAndMovesTheTrackAsOneUndoStep) {
    std::vector<NoteRow> melody = listNotes(f.doc.song, 1);
    MidiTrack* moved = &track(1);
    const size_t eventCount = moved->size();
    {
        CTrackPropDlg dialog(f.doc, f.ui, 1);
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(70); });
        dialog.editButton(List::VolumeList)->click();
        dialog.trackName()->setText("Lead");
        dialog.trackNumber()->setValue(2);
        EXPECT_FALSE(f.doc.isModified()) << "nothing is recorded before Close";
        dialog.accept();
    }
    EXPECT_EQ(&track(2), moved);
    EXPECT_EQ(track(2).name, "Lead");
    EXPECT_EQ(track(2).size(), eventCount);
    EXPECT_EQ(listNotes(f.doc.song, 2), melody) << "every note and its pairing moved along";
    for (const auto& e : track(2).events) {
        if (e->partner) {
            EXPECT_EQ(e->partner->partner, e.get());
        }
    }
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Track properties\tCtrl+Z");
    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), opened) << "one undo takes back the whole dialog";
}

// A new name reaches the song only with Close, yet closing the window after typing it asks
// too; Yes renames as Close does.
TEST_F(TrackDialogTest, TheCloseBoxAsksAfterANewNameAndYesKeepsIt) {
    {
        CTrackPropDlg dialog(f.doc, f.ui, 1);
        dialog.show();
        dialog.trackName()->setText("Lead");
        f.ui.yesNoCancelAnswer = Answer::No;
        EXPECT_TRUE(dialog.close());
    }
    EXPECT_EQ(f.ui.questions, std::vector<std::string>{"Keep the changes?"});
    EXPECT_EQ(track(1).name, "Melody");
    EXPECT_EQ(listEvents(f.doc.song), opened);
    {
        CTrackPropDlg dialog(f.doc, f.ui, 1);
        dialog.show();
        dialog.trackNumber()->setValue(2);
        f.ui.yesNoCancelAnswer = Answer::Yes;
        EXPECT_TRUE(dialog.close());
    }
    EXPECT_EQ(f.ui.questions.size(), 2u) << "a new place asks as well";
    EXPECT_EQ(track(2).name, "Melody") << "Yes moved the track as Close would";
    EXPECT_EQ(f.doc.undoMenuText(), "Undo Track properties\tCtrl+Z");
}

TEST_F(TrackDialogTest, CancelLeavesTheSongAsItWas) {
    {
        CTrackPropDlg dialog(f.doc, f.ui, 1);
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(3); });
        dialog.editButton(List::VolumeList)->click();
        onNextDialog<CPosValueEntry>([](CPosValueEntry&) {});
        dialog.addButton(List::PanList)->click();
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(5); });
        dialog.changeChannelButton()->click();
        dialog.trackName()->setText("Lead");
        dialog.trackNumber()->setValue(2);
        dialog.reject();
    }
    EXPECT_EQ(listEvents(f.doc.song), opened);
    EXPECT_EQ(track(1).name, "Melody");
    EXPECT_FALSE(f.doc.isModified());
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
}

} // namespace
} // namespace reedtab::testing
