// The frame's property dialogs: when their commands are offered, Map Notes on an example song,
// the file dialog's tempo reaching the player and the tempo pane, and the note menu opening
// the track dialog for the note's track.

#include "apptestsupport.h"

#include "app/transportcontroller.h"
#include "dialogtesting.h"

#include "dialogs/fileproperties.h"
#include "dialogs/harpfinderdlg.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/myharpsdlg.h"
#include "dialogs/speedtrainerdlg.h"
#include "dialogs/trackpropdlg.h"
#include "dialogs/valueentry.h"
#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <functional>
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
    EXPECT_EQ(frame.action(ID_FILE_PROPERTIES)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Return));
    program.app().transportCommands().playCommand();
    frame.updateCommandStates();
    for (int id : {ID_FILE_PROPERTIES, ID_MAP_NOTES}) {
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id << " while playing";
    }
    program.app().transportCommands().stopCommand();
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
    EXPECT_EQ(frame.transport().baseTempo(), 1000000);
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

// The row of the first candidate that `wanted` accepts; -1 when none does.
int rowWhere(const CHarpFinderDlg& dialog,
             const std::function<bool(const HarpCandidate&)>& wanted) {
    const auto& candidates = dialog.result().candidates;
    for (size_t row = 0; row < candidates.size(); ++row) {
        if (wanted(candidates[row]))
            return static_cast<int>(row);
    }
    return -1;
}

TEST(FrameDialogs, WhichHarpSetsTheChosenLayoutAndTablatureMode) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    frame.updateCommandStates();
    EXPECT_TRUE(frame.action(ID_WHICH_HARP)->isEnabled());
    settings().tabMode = kNotesC;

    HarpCandidate picked;
    onNextDialog<CHarpFinderDlg>([&](CHarpFinderDlg& dialog) {
        const int row = rowWhere(dialog, [&](const HarpCandidate& c) {
            return c.chromatic && c.key != frame.chromatic().key();
        });
        ASSERT_GE(row, 0);
        dialog.table()->selectRow(row);
        picked = *dialog.chosen();
    });
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    EXPECT_EQ(frame.chromatic().key(), picked.key);
    EXPECT_EQ(frame.chromatic().tuningIndex(), picked.tuningIndex);
    EXPECT_EQ(settings().tabMode, kChromaticTab);

    onNextDialog<CHarpFinderDlg>([&](CHarpFinderDlg& dialog) {
        dialog.chromaticBox()->setChecked(false);
        const int row = rowWhere(dialog, [&](const HarpCandidate& c) {
            return c.tuningIndex != frame.diatonic().tuningIndex() &&
                   c.key != frame.diatonic().key();
        });
        ASSERT_GE(row, 0);
        dialog.table()->selectRow(row);
        picked = *dialog.chosen();
    });
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    EXPECT_EQ(frame.diatonic().key(), picked.key);
    EXPECT_EQ(frame.diatonic().tuningIndex(), picked.tuningIndex);
    EXPECT_EQ(settings().tabMode, kDiatonicTab);

    // Called off, the layouts stay.
    onNextDialog<CHarpFinderDlg>([](CHarpFinderDlg& dialog) { dialog.table()->selectRow(5); },
                                 false);
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    EXPECT_EQ(frame.diatonic().key(), picked.key);
    EXPECT_EQ(frame.diatonic().tuningIndex(), picked.tuningIndex);
    EXPECT_EQ(settings().tabMode, kDiatonicTab);
}

// Choosing a harp in the finder changes the layout everywhere at once: the open harmonica
// windows take the new tuning and key (lists, buttons, window size) and hold the sounding
// notes on their new holes, the staff relabels, and the settings keep the layout at exit.
TEST(FrameDialogs, WhichHarpRebuildsTheOpenHarmonicaWindows) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.diatonic().build(60, 0);
    frame.chromatic().build(60, 2);
    ASSERT_TRUE(program.app().openFile(kSong));
    ToolWindows& tools = frame.toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
    ASSERT_TRUE(tools.toggle(kMonitorChromatic));
    auto& diatonic = *static_cast<CMonDiatonic*>(tools.window(kMonitorDiatonic));
    auto& chromatic = *static_cast<CMonChromatic*>(tools.window(kMonitorChromatic));
    // G4 sounds: on the C Richter it is hole 2 drawn.
    diatonic.noteOn(67, -1, -1);
    ASSERT_EQ(diatonic.pressCount(1, kDraw), 1);
    EXPECT_EQ(diatonic.button(0, kBlow)->text(), QStringLiteral("C"));

    onNextDialog<CHarpFinderDlg>([](CHarpFinderDlg& dialog) {
        const int row = rowWhere(dialog, [](const HarpCandidate& c) {
            return c.tuning == "Hohner 365" && c.keyName == "Bb";
        });
        ASSERT_GE(row, 0);
        dialog.table()->selectRow(row);
    });
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    EXPECT_EQ(frame.diatonic().tuningName(frame.diatonic().tuningIndex()), "Hohner 365");
    EXPECT_EQ(diatonic.tuningList()->currentText(), QStringLiteral("Hohner 365"));
    EXPECT_EQ(diatonic.keyList()->currentText(), QStringLiteral("Bb"));
    EXPECT_EQ(diatonic.octaveList()->currentText(), QStringLiteral("Std"));
    // Fourteen holes, the lowest blowing Bb an octave below the key.
    EXPECT_NE(diatonic.button(13, kBlow), nullptr);
    EXPECT_EQ(diatonic.button(14, kBlow), nullptr);
    EXPECT_EQ(diatonic.button(3, kBlow)->text(), QStringLiteral("Bb"));
    EXPECT_EQ(diatonic.width(), 20 * 14 + 10 + diatonic.panelOffset() + 75 - 8);
    // G4 is hole 6 drawn on the Bb 365, held there now and let go there.
    EXPECT_EQ(diatonic.pressCount(5, kDraw), 1);
    EXPECT_TRUE(diatonic.button(5, kDraw)->isDown());
    EXPECT_EQ(diatonic.pressCount(1, kDraw), 0);
    diatonic.noteOff(67, -1, -1);
    EXPECT_EQ(diatonic.pressCount(5, kDraw), 0);
    EXPECT_FALSE(diatonic.button(5, kDraw)->isDown());
    EXPECT_EQ(settings().tabMode, kDiatonicTab);
    EXPECT_EQ(frame.layoutText()->text(), QStringLiteral("Hohner 365 Key of Bb"));
    EXPECT_EQ(chromatic.tuningList()->currentText(), QStringLiteral("12 Hole Chromatic (std 48)"))
        << "the chromatic layout stays";

    onNextDialog<CHarpFinderDlg>([](CHarpFinderDlg& dialog) {
        const int row = rowWhere(dialog, [](const HarpCandidate& c) {
            return c.tuning == "10 Hole Chromatic (std 40)" && c.keyName == "D";
        });
        ASSERT_GE(row, 0);
        dialog.table()->selectRow(row);
    });
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    EXPECT_EQ(chromatic.tuningList()->currentText(), QStringLiteral("10 Hole Chromatic (std 40)"));
    EXPECT_EQ(chromatic.keyList()->currentText(), QStringLiteral("D"));
    EXPECT_NE(chromatic.button(9, 0), nullptr);
    EXPECT_EQ(chromatic.button(10, 0), nullptr);
    EXPECT_EQ(chromatic.button(0, 0)->text(), QStringLiteral("D"));
    EXPECT_EQ(settings().tabMode, kChromaticTab);
    EXPECT_EQ(diatonic.tuningList()->currentText(), QStringLiteral("Hohner 365"));

    // A key chosen in the window afterwards keeps the finder's tuning.
    diatonic.keyList()->setCurrentIndex(0);
    diatonic.keySelected();
    EXPECT_EQ(frame.diatonic().tuningName(frame.diatonic().tuningIndex()), "Hohner 365");

    frame.savePlacement();
    EXPECT_EQ(program.store().readString(kWindowSection, "DiatonicTuning"), "Hohner 365");
    EXPECT_EQ(program.store().readString(kWindowSection, "ChromaticTuning"),
              "10 Hole Chromatic (std 40)");
    EXPECT_EQ(program.store().readInt(kWindowSection, "ChromaticKey"), frame.chromatic().key());
    frame.diatonic().build(60, 0);
    frame.chromatic().build(60, 2);
}

TEST(FrameDialogs, TheFinderKeepsThePlayersHarpsInTheSettings) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    settings().myHarps.clear();
    onNextDialog<CHarpFinderDlg>(
        [](CHarpFinderDlg& dialog) {
            onNextDialog<CMyHarpsDlg>([](CMyHarpsDlg& grid) {
                grid.toggle(0, 0);
                grid.toggle(0, 9);
            });
            dialog.myHarpsButton()->click();
            EXPECT_EQ(dialog.table()->rowCount(), 2);
        },
        false);
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    const std::vector<OwnedHarp> two = {{"Major Diatonic (Richter)", 0},
                                        {"Major Diatonic (Richter)", 9}};
    EXPECT_EQ(settings().myHarps, two) << "kept though no harp was chosen";
    EXPECT_EQ(program.store().readString(kSettingsSection, "myHarps"),
              "Major Diatonic (Richter)@0|Major Diatonic (Richter)@9");

    // The next finder starts filtered to them.
    onNextDialog<CHarpFinderDlg>(
        [](CHarpFinderDlg& dialog) {
            EXPECT_TRUE(dialog.myHarpsBox()->isChecked());
            EXPECT_EQ(dialog.table()->rowCount(), 2);
        },
        false);
    ASSERT_TRUE(frame.commands().run(ID_WHICH_HARP));
    settings().myHarps.clear();
}

// Plays on the manual clock until the trainer has finished `passes` passes, then until the
// slider shows `percent`: the player raises the tempo as it queues the loop's start, the frame
// shows it once the loop is heard to go back. Returns the milliseconds played after the pass.
int playPasses(TestProgram& program, int passes, int percent) {
    CMainFrame& frame = program.frame();
    for (int ms = 0; ms < 60000 && frame.player().trainerPass() < passes; ms += 50)
        program.play(50);
    int after = 0;
    for (; after < 5000 && frame.tempoSlider()->value() != percent; after += 50)
        program.play(50);
    return after;
}

TEST(FrameDialogs, SpeedTrainerRaisesTheTempoEachPassAndStopEndsIt) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    CReedtabDoc& doc = frame.document();
    settings().playCountIn = false;
    settings().playLoop = false;
    doc.markBegin = 0;
    doc.markEnd = 4 * doc.song.division;

    onNextDialog<CSpeedTrainerDlg>([](CSpeedTrainerDlg& dialog) {
        dialog.startField()->setValue(50);
        dialog.stepField()->setValue(20);
        dialog.targetField()->setValue(100);
        dialog.passesField()->setValue(2);
    });
    ASSERT_TRUE(frame.commands().run(ID_SPEED_TRAINER));
    ASSERT_TRUE(frame.player().isPlaying());
    ASSERT_TRUE(frame.transport().training());
    EXPECT_EQ(frame.tempoSlider()->value(), 50);
    EXPECT_EQ(frame.paneText(1), QStringLiteral("50%"));
    EXPECT_EQ(frame.player().params().loopBegin, doc.markBegin);
    EXPECT_EQ(frame.player().params().loopEnd, doc.markEnd);

    // percentFor: passes 0 and 1 at 50, 2 and 3 at 70, 4 and 5 at 90, then the target.
    const std::pair<int, int> steps[] = {{1, 50}, {2, 70}, {4, 90}, {6, 100}, {8, 100}};
    for (const auto& [passes, percent] : steps) {
        const int lag = playPasses(program, passes, percent);
        EXPECT_LT(lag, 2000) << passes;
        ASSERT_GE(frame.player().trainerPass(), passes);
        EXPECT_EQ(frame.transport().tempoPercent(), percent) << passes;
        EXPECT_EQ(frame.tempoSlider()->value(), percent) << passes;
        EXPECT_EQ(frame.paneText(1), QStringLiteral("%1%").arg(percent)) << passes;
    }
    EXPECT_TRUE(frame.player().isPlaying()) << "the loop goes on at the target";

    frame.commands().run(ID_PLAY_STOP);
    EXPECT_FALSE(frame.player().isPlaying());
    EXPECT_FALSE(frame.transport().training());
    EXPECT_FALSE(settings().playLoop) << "the loop switch as the user left it";
    EXPECT_EQ(frame.player().params().loopBegin, -1);
    EXPECT_EQ(frame.player().params().loopEnd, doc.markEnd);
    EXPECT_EQ(frame.tempoSlider()->value(), 100) << "the reached tempo stays";
}

TEST(FrameDialogs, SpeedTrainerWithoutMarksLoopsTheWholeSong) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(kSong));
    settings().playCountIn = false;
    program.app().transportCommands().startTrainer(SpeedTrainer{80, 10, 120, 1});
    ASSERT_TRUE(frame.player().isPlaying());
    program.play(1000);
    frame.updateCommandStates();
    EXPECT_TRUE(frame.action(ID_PLAY_LOOP)->isChecked()) << "the trainer loops";
    EXPECT_FALSE(settings().playLoop) << "whatever the switch says";
    EXPECT_EQ(frame.player().params().loopBegin, 0)
        << "the position reports leave the trainer's loop alone";
    EXPECT_EQ(frame.player().params().loopEnd, wholeSongLoopEnd(frame.document().song));
    EXPECT_EQ(frame.transport().tempoPercent(), 80);
    program.app().transportCommands().stopCommand();
    EXPECT_FALSE(frame.transport().training());
    EXPECT_EQ(frame.player().params().loopEnd, -1);
    frame.updateCommandStates();
    EXPECT_FALSE(frame.action(ID_PLAY_LOOP)->isChecked());
}

} // namespace
} // namespace reedtab
