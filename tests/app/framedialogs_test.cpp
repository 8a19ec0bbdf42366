// The frame's property dialogs: when their commands are offered, Map Notes on an example song,
// the file dialog's tempo reaching the player and the tempo pane, and the note menu opening
// the track dialog for the note's track.

#include "apptestsupport.h"
#include "dialogtesting.h"

#include "dialogs/fileproperties.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/trackpropdlg.h"
#include "dialogs/valueentry.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <map>

namespace reedtab {
namespace {

using testing::onNextDialog;
using testing::TestProgram;

const QString kSong = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid");

// Sounding note-ons by key over every track.
std::map<int, int> keysOf(const MidiSong& song) {
    std::map<int, int> keys;
    for (const auto& track : song.tracks) {
        for (const auto& e : track->events) {
            if (e->kind() == KindNoteOn && e->data2 > 0)
                ++keys[e->data1];
        }
    }
    return keys;
}

TEST(FrameDialogs, PropertiesAndMapNotesNeedASongAndAStoppedPlayer) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.updateCommandStates();
    for (int id : {ID_FILE_PROPERTIES, ID_MAP_NOTES}) {
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id << " without a song";
    }
    ASSERT_TRUE(program.app().openFile(kSong));
    frame.updateCommandStates();
    for (int id : {ID_FILE_PROPERTIES, ID_MAP_NOTES}) {
        EXPECT_TRUE(frame.action(id)->isEnabled()) << id;
    }
    EXPECT_EQ(frame.action(ID_FILE_PROPERTIES)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_P));
    frame.playCommand();
    frame.updateCommandStates();
    for (int id : {ID_FILE_PROPERTIES, ID_MAP_NOTES}) {
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id << " while playing";
    }
    frame.stopCommand();
}

TEST(FrameDialogs, MapNotesReplacesAKeyWithItsNoteOffsAndUndoesInOneStep) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    MidiSong& song = frame.document().song;
    const std::map<int, int> before = keysOf(song);
    ASSERT_FALSE(before.empty());
    // The most played key, moved to one nobody plays.
    const auto most = std::max_element(before.begin(), before.end(),
                                       [](auto a, auto b) { return a.second < b.second; });
    const int from = most->first;
    int to = from + 1;
    while (before.count(to))
        ++to;
    onNextDialog<CMapNotesDialog>([&](CMapNotesDialog& dialog) {
        EXPECT_EQ(dialog.channel(), -1) << "any channel by default";
        EXPECT_EQ(dialog.volumeFromPercent(), -1);
        dialog.fromNoteField()->setValue(from);
        dialog.toNoteField()->setValue(to);
    });
    ASSERT_TRUE(frame.commands().run(ID_MAP_NOTES));
    std::map<int, int> expected = before;
    expected.erase(from);
    expected[to] = most->second;
    EXPECT_EQ(keysOf(song), expected);
    for (const auto& track : song.tracks) {
        for (const auto& e : track->events) {
            if (e->kind() == KindNoteOn && e->partner) {
                EXPECT_EQ(e->partner->data1, e->data1) << "the note-off follows its note-on";
            }
        }
    }
    EXPECT_EQ(frame.document().undoMenuText(), "Undo Edit\tCtrl+Z");
    ASSERT_TRUE(frame.document().undo());
    EXPECT_EQ(keysOf(song), before);

    // A channel no track plays changes nothing; a cancelled dialog is not run at all.
    onNextDialog<CMapNotesDialog>([&](CMapNotesDialog& dialog) {
        dialog.channelList()->setCurrentIndex(16);
        EXPECT_EQ(dialog.channel(), 15);
        dialog.toNoteField()->setValue(to);
    });
    frame.commands().run(ID_MAP_NOTES);
    onNextDialog<CMapNotesDialog>(
        [&](CMapNotesDialog& dialog) { dialog.toNoteField()->setValue(to); }, false);
    frame.commands().run(ID_MAP_NOTES);
    EXPECT_EQ(keysOf(song), before);
}

TEST(FrameDialogs, FilePropertiesTempoReachesThePlayerAndThePane) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    onNextDialog<CFileProperties>([](CFileProperties& dialog) {
        onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(60); });
        dialog.editButton()->click();
    });
    ASSERT_TRUE(frame.commands().run(ID_FILE_PROPERTIES));
    EXPECT_EQ(frame.document().song.tempoAt(0), 1000000);
    EXPECT_EQ(settings().baseTempo.load(), 1000000);
    EXPECT_EQ(frame.paneText(2), "  60 bpm");
    EXPECT_TRUE(frame.document().isModified());

    onNextDialog<CFileProperties>(
        [](CFileProperties& dialog) {
            onNextDialog<CValueEntry>([](CValueEntry& entry) { entry.setValue(200); });
            dialog.editButton()->click();
        },
        false);
    ASSERT_TRUE(frame.commands().run(ID_FILE_PROPERTIES));
    EXPECT_EQ(frame.document().song.tempoAt(0), 1000000) << "the close box calls it off";
    EXPECT_EQ(frame.paneText(2), "  60 bpm");
}

TEST(FrameDialogs, NoteMenuOpensTheTrackDialogOfTheNotesTrack) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    const MidiSong& song = frame.document().song;
    int index = -1;
    for (int i = 0; i < song.mergedEvents.count() && index < 0; ++i) {
        if (song.mergedEvents[i]->isNote)
            index = i;
    }
    ASSERT_GE(index, 0);
    const MidiTrack* track = song.mergedEvents[index]->track;
    auto menu = frame.view().buildNoteMenu(index);
    ASSERT_NE(menu, nullptr);
    QAction* properties = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->data().toInt() == kTrackPropertiesCommand)
            properties = action;
    }
    ASSERT_NE(properties, nullptr);
    int seen = 0;
    onNextDialog<CTrackPropDlg>(
        [&](CTrackPropDlg& dialog) {
            EXPECT_EQ(dialog.trackNumber()->value(), song.trackIndexOf(track));
            EXPECT_EQ(dialog.trackName()->text().toStdString(), track->name);
            dialog.trackName()->setText("Renamed");
        },
        true, &seen);
    properties->trigger();
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(track->name, "Renamed");
    EXPECT_EQ(frame.document().undoMenuText(), "Undo Track properties\tCtrl+Z");
}

} // namespace
} // namespace reedtab
