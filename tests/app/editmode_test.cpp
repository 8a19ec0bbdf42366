// Edit mode in the whole program: the command that opens and closes the edit toolbar, the
// commands it enables, the transport's edit branches and the live notes written into the song
// from a tool window and from the MIDI input.

#include "apptestsupport.h"

#include "app/editcontroller.h"
#include "app/statusposition.h"
#include "app/transportcontroller.h"

#include "../support/modaldialogs.h"

#include "dialogs/editnewtrack.h"
#include "dialogs/edittoolbar.h"
#include "dialogs/posentry.h"
#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "playback/midiinput.h"
#include "tools/monitor.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace reedtab {
namespace {

using testing::TestProgram;
using testing::whenDialogOpens;

QString example(const char* name) {
    return QStringLiteral(REEDTAB_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

// The note-ons of a track with their note-off ticks, in track order.
struct Note {
    int key;
    int velocity;
    int channel;
    std::int32_t on;
    std::int32_t off;
};
std::vector<Note> notesOf(const MidiTrack& track) {
    std::vector<Note> notes;
    for (const auto& event : track.events) {
        if (event->kind() == KindNoteOn && event->data2 > 0) {
            notes.push_back({event->data1, event->data2, event->channel(), event->tick,
                             event->partner ? event->partner->tick : -1});
        }
    }
    return notes;
}

class EditMode : public ::testing::Test {
protected:
    EditMode() {
        EXPECT_TRUE(program.app().openFile(example("oh-susanna.mid")));
        program.app().edits().editModeCommand();
        EXPECT_NE(program.app().edits().editToolbar(), nullptr);
        program.output().clear();
    }

    const MidiTrack& editTrack() { return *doc.song.track(doc.editTrack); }

    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
};

TEST(EditModeCommand, OpensAndClosesTheToolbarWithItsTextCheckAndSettings) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    QAction* command = frame.action(ID_EDIT_MODE);
    frame.updateCommandStates();
    EXPECT_EQ(command->text(), QStringLiteral("&Switch to Edit Mode\tAlt+W"));
    EXPECT_FALSE(command->isChecked());
    EXPECT_FALSE(frame.action(ID_EDIT_INSERT_SILENCE)->isEnabled());

    ASSERT_TRUE(frame.commands().run(ID_EDIT_MODE));
    ASSERT_NE(program.app().edits().editToolbar(), nullptr);
    EXPECT_TRUE(program.app().edits().editToolbar()->isVisible());
    EXPECT_TRUE(settings().editMode);
    EXPECT_EQ(command->text(), QStringLiteral("Quit Edit Mode\tAlt+W"));
    EXPECT_TRUE(command->isChecked());
    EXPECT_TRUE(frame.action(ID_EDIT_INSERT_SILENCE)->isEnabled());
    EXPECT_FALSE(frame.action(ID_EDIT_COPY)->isEnabled());
    EXPECT_FALSE(frame.action(ID_EDIT_PASTE)->isEnabled());
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::ALT | Qt::Key_W));

    program.app().transportCommands().playCommand();
    frame.updateCommandStates();
    EXPECT_FALSE(command->isEnabled()) << "disabled while playing";
    EXPECT_FALSE(frame.action(ID_EDIT_INSERT_SILENCE)->isEnabled());
    program.app().transportCommands().stopCommand();

    program.app().edits().editToolbar()->lengthField()->setValue(75);
    ASSERT_TRUE(frame.commands().run(ID_EDIT_MODE));
    EXPECT_EQ(program.app().edits().editToolbar(), nullptr);
    EXPECT_FALSE(settings().editMode);
    EXPECT_EQ(command->text(), QStringLiteral("&Switch to Edit Mode\tAlt+W"));
    EXPECT_FALSE(command->isChecked());
    EXPECT_EQ(program.store().readInt(kWindowSection, "Edit.notepercent"), 75);
    EXPECT_EQ(program.store().readInt(kWindowSection, "Edit.notevel"), 127);
    EXPECT_EQ(program.store().readInt(kWindowSection, "Edit.editnote"), 2);
    EXPECT_EQ(program.store().readInt(kWindowSection, "Edit.enablemouse"), 0);
    EXPECT_TRUE(program.store().readInt(kWindowSection, "Edit.x1").has_value());
    QApplication::processEvents();
}

TEST(EditModeCommand, ANewOrOpenedSongEndsEditMode) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    program.app().edits().editModeCommand();
    ASSERT_TRUE(settings().editMode);
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    EXPECT_EQ(program.app().edits().editToolbar(), nullptr);
    EXPECT_FALSE(settings().editMode);
}

TEST(EditModeCommand, AnEmptyDocumentGetsItsSkeletonAndANewTrack) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
    ASSERT_EQ(doc.song.trackCount(), 0);
    whenDialogOpens([](QDialog* dialog) {
        static_cast<CEditNewTrack*>(dialog)->nameField()->setText(QStringLiteral("Harp"));
        dialog->accept();
    });
    program.app().edits().editModeCommand();
    ASSERT_NE(program.app().edits().editToolbar(), nullptr);
    EXPECT_EQ(doc.song.division, 192);
    ASSERT_EQ(doc.song.trackCount(), 2);
    EXPECT_EQ(doc.song.track(1)->name, "Harp");
    EXPECT_EQ(doc.editTrack, 1);
    EXPECT_EQ(frame.transport().beatsPerMinute(), 120) << "the player took the song's tempo";
    EXPECT_TRUE(program.messages.empty());

    // A note from a tool window goes straight into the new track.
    frame.hub().sendNoteInput(makeNoteInput(NoteInputNoteOn, 0, 69, 100));
    QApplication::processEvents();
    const auto notes = notesOf(*doc.song.track(1));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].on, 0);
    EXPECT_EQ(notes[0].off, 172);
}

TEST_F(EditMode, ToolWindowKeysAreEnteredAtTheCursorWithTheStepAdvance) {
    ASSERT_TRUE(frame.toolWindows().toggle(kMonitorDiatonic));
    CMonitor* harmonica = frame.toolWindows().window(kMonitorDiatonic);
    ASSERT_NE(harmonica, nullptr);
    const std::vector<Note> before = notesOf(editTrack());
    doc.cursorTick = 960;
    doc.editChannel = 11;

    QTest::keyClick(harmonica, Qt::Key_4);
    QApplication::processEvents();
    EXPECT_EQ(doc.undoMenuText(), "Undo Added Note\tCtrl+Z");
    QTest::keyClick(harmonica, Qt::Key_R);
    QApplication::processEvents();

    std::vector<Note> added;
    for (const Note& note : notesOf(editTrack())) {
        if (note.channel == 11) {
            added.push_back(note);
        }
    }
    ASSERT_EQ(notesOf(editTrack()).size(), before.size() + 2);
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].key, 72);
    EXPECT_EQ(added[0].velocity, 120) << "a step-entered note keeps the velocity it came with";
    EXPECT_EQ(added[0].on, 960);
    EXPECT_EQ(added[0].off, 960 + doc.soundingTicks);
    EXPECT_EQ(added[1].key, 74);
    EXPECT_EQ(added[1].on, 960 + doc.soundingTicks + doc.gapTicks);
    EXPECT_EQ(doc.cursorTick, 960 + 2 * (doc.soundingTicks + doc.gapTicks));
    EXPECT_EQ(frame.player().playTick(), doc.cursorTick) << "the view follows the cursor";
    // The note was echoed on the edit channel as well.
    bool echoed = false;
    for (const auto& message : program.output().messages()) {
        echoed = echoed ||
                 (message.bytes.size() == 3 && message.bytes[0] == 0x9B && message.bytes[1] == 72);
    }
    EXPECT_TRUE(echoed);

    // Each note is one undo step: undoing the last takes the note and puts the cursor back.
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(notesOf(editTrack()).size(), before.size() + 1);
    EXPECT_EQ(doc.cursorTick, 960 + doc.soundingTicks + doc.gapTicks);
}

TEST_F(EditMode, MidiInputNotesArriveInOrderThroughTheHubAndStepWhileStopped) {
    MidiInput input;
    input.setWindow(&frame.hub());
    const std::size_t before = notesOf(editTrack()).size();
    doc.cursorTick = 0;
    // From a thread of its own, as the device callback runs: queued, never waiting.
    std::thread device([&] {
        const std::uint8_t messages[][3] = {
            {0x9C, 60, 80}, {0x8C, 60, 0}, {0x9C, 64, 81}, {0x9C, 64, 0}, {0xBC, 7, 100},
        };
        for (const auto& message : messages) {
            input.deliver(message, 3);
        }
    });
    device.join();
    EXPECT_EQ(notesOf(editTrack()).size(), before) << "nothing is handled before the GUI turn";
    QApplication::processEvents();
    input.setWindow(nullptr);

    std::vector<Note> added;
    for (const Note& note : notesOf(editTrack())) {
        if (note.channel == 12) {
            added.push_back(note);
        }
    }
    ASSERT_EQ(notesOf(editTrack()).size(), before + 2) << "note-offs and controllers add nothing";
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(added[0].key, 60);
    EXPECT_EQ(added[0].velocity, 80);
    EXPECT_EQ(added[0].on, 0);
    EXPECT_EQ(added[1].key, 64);
    EXPECT_EQ(added[1].on, doc.soundingTicks + doc.gapTicks);
}

TEST_F(EditMode, WhilePlayingNotesAreRecordedAtThePlayPositionAsPlayed) {
    MidiInput input;
    input.setWindow(&frame.hub());
    doc.cursorTick = 0;
    program.app().transportCommands().playCommand();
    ASSERT_TRUE(frame.player().isPlaying());
    program.play(400);
    const std::uint8_t on[] = {0x9D, 67, 90};
    input.deliver(on, 3);
    const int onTick = static_cast<int>(frame.player().streamTicks()) - frame.player().offset();
    QApplication::processEvents();
    program.play(300);
    const std::uint8_t off[] = {0x8D, 67, 0};
    input.deliver(off, 3);
    const int offTick = static_cast<int>(frame.player().streamTicks()) - frame.player().offset();
    QApplication::processEvents();
    input.setWindow(nullptr);
    EXPECT_TRUE(frame.player().isPlaying()) << "the player went on around the inserts";
    program.play(100);
    program.app().transportCommands().stopCommand();

    ASSERT_GT(onTick, 0);
    ASSERT_GT(offTick, onTick);
    std::vector<Note> added;
    for (const Note& note : notesOf(editTrack())) {
        if (note.channel == 13) {
            added.push_back(note);
        }
    }
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].key, 67);
    EXPECT_EQ(added[0].on, onTick);
    EXPECT_EQ(added[0].off, offTick);
    EXPECT_EQ(doc.cursorTick, offTick);
}

TEST_F(EditMode, TransportStartsRewindsAndEndsAtTheEditCursor) {
    doc.cursorTick = 1920;
    program.app().transportCommands().playCommand();
    ASSERT_TRUE(frame.player().isPlaying());
    program.play(50);
    EXPECT_GE(frame.player().playTick(), 1920);
    program.app().transportCommands().stopCommand();

    frame.player().seek(3000);
    program.app().transportCommands().rewindCommand();
    EXPECT_EQ(doc.cursorTick, 0);
    EXPECT_EQ(frame.player().playTick(), 0);

    // The end of play comes back to the cursor instead of moving on.
    doc.cursorTick = 480;
    program.app().transportCommands().onPlayerStopped();
    EXPECT_EQ(frame.player().playTick(), 480);
    EXPECT_EQ(frame.paneText(3), positionText(doc.song, 480));
    EXPECT_FALSE(frame.player().isPlaying());
}

// With mouse writing on, a click on the staff writes one note of the toolbar's note value and
// "Length %" where it was clicked, snapped to the grid.
TEST_F(EditMode, AClickWritesTheToolbarsNoteValueAndLength) {
    struct Snapping {
        Snapping() { settings().editSnap = true; }
        ~Snapping() { settings().editSnap = false; }
    } snapping;
    CEditToolbar& toolbar = *program.app().edits().editToolbar();
    toolbar.mouseWriteCheck()->setChecked(true);
    ASSERT_TRUE(doc.mouseWrite);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CReedtabView& view = frame.view();
    view.canvas();
    const ViewLayout& l = view.layout();
    const int d = doc.song.division;
    const int beat = view.pixelsPerBeat();
    // Low in the bass staff, where the song has no notes to select instead.
    const int y = l.staffBottom - 4;
    ASSERT_LT(view.noteAt(l.timeLeft + beat, y).index, 0);
    const std::size_t before = notesOf(editTrack()).size();
    struct Choice {
        int noteValue;
        int percent;
        int beatOffset;
    };
    const Choice choices[] = {{3, 50, 1}, {0, 90, 2}, {6, 100, 7}, {5, 1, 8}};
    int clicks = 0;
    for (const Choice& choice : choices) {
        toolbar.noteValueButton(choice.noteValue)->click();
        toolbar.lengthField()->setValue(choice.percent);
        // Two pixels past the beat: snapped back onto it.
        const QPoint at(l.timeLeft + choice.beatOffset * beat + 2, y);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, at);
        ++clicks;
        const std::int32_t tick = view.firstTick() + choice.beatOffset * d;
        const std::int32_t length = noteLengths(choice.noteValue, choice.percent, d).sounding;
        bool found = false;
        for (const Note& note : notesOf(editTrack())) {
            found = found || (note.on == tick && note.off == tick + length);
        }
        EXPECT_TRUE(found) << "note value " << choice.noteValue << " at " << choice.percent
                           << "%: " << length << " ticks at tick " << tick;
        EXPECT_EQ(notesOf(editTrack()).size(), before + static_cast<std::size_t>(clicks));
    }
}

TEST_F(EditMode, InsertSilenceAsksForTheLengthAndIsOneUndoStep) {
    const int division = doc.song.division;
    doc.cursorTick = 0;
    std::vector<std::int32_t> ticks;
    for (const Note& note : notesOf(editTrack())) {
        ticks.push_back(note.on);
    }
    ASSERT_FALSE(ticks.empty());
    whenDialogOpens([](QDialog* dialog) {
        auto* entry = static_cast<CPosEntry*>(dialog);
        EXPECT_EQ(entry->windowTitle(), QStringLiteral("Silence Length"));
        EXPECT_EQ(entry->beat(), 0) << "the beats start at 0";
        entry->setPosition(0, 2, 0);
        entry->accept();
    });
    ASSERT_TRUE(frame.commands().run(ID_EDIT_INSERT_SILENCE));
    const std::vector<Note> after = notesOf(editTrack());
    ASSERT_EQ(after.size(), ticks.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].on, ticks[i] + 2 * division) << i;
    }
    EXPECT_EQ(doc.undoMenuText(), "Undo Inserted Silence\tCtrl+Z");
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(notesOf(editTrack())[0].on, ticks[0]);

    whenDialogOpens([](QDialog* dialog) { dialog->reject(); });
    ASSERT_TRUE(frame.commands().run(ID_EDIT_INSERT_SILENCE));
    EXPECT_EQ(notesOf(editTrack())[0].on, ticks[0]) << "cancelled";
}

} // namespace
} // namespace reedtab
