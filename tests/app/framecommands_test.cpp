// The frame's command table, the transport hub as the frame and other listeners see it, and the
// frame's behaviour around commands: check marks, accelerators, focus, panes, saving, the dump.

#include "app/dumpwindow.h"
#include "apptestsupport.h"

#include "app/statusposition.h"
#include "app/transportcontroller.h"

#include "../support/modaldialogs.h"

#include "app/manual.h"
#include "dialogs/posentry.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace reedtab {
namespace {

using testing::TestProgram;
using testing::whenDialogOpens;

QString example(const char* name) {
    return QStringLiteral(REEDTAB_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

TEST(FrameCommandTable, EveryCommandOfTheListIsRegisteredOnceWithAHandler) {
    TestProgram program;
    CommandTable& table = program.frame().commands();
    EXPECT_EQ(table.registrationFaults(), 0);
    const std::vector<int> ids = table.ids();
    const std::set<int> registered(ids.begin(), ids.end());
    EXPECT_EQ(registered.size(), ids.size()) << "no id twice";
    for (const auto& command : commandTable()) {
        if (command.id != ID_FILE_MRU_FILE1) {
            EXPECT_TRUE(registered.count(command.id)) << command.id;
        }
    }
    for (const ZoomCommand& zoom : kZoomCommands) {
        EXPECT_TRUE(registered.count(zoom.id)) << zoom.id;
    }
    EXPECT_TRUE(table.unavailable().empty()) << "every window and dialog exists";
}

TEST(FrameCommandTable, EnabledStatesFollowTheTransport) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    frame.document().markBeginningAt(0);
    frame.document().markEndingAt(960);
    frame.updateCommandStates();
    for (int id : {ID_EDIT_CUT, ID_TAB_TEXT_TRACK, ID_VIEW_DUMP}) {
        EXPECT_TRUE(frame.action(id)->isEnabled()) << id;
    }
    EXPECT_FALSE(frame.action(ID_PLAY_PLAY)->isChecked());

    program.app().transportCommands().playCommand();
    frame.updateCommandStates();
    EXPECT_TRUE(frame.action(ID_PLAY_PLAY)->isChecked());
    for (int id : {ID_EDIT_CUT, ID_TAB_TEXT_TRACK, ID_VIEW_DUMP}) {
        EXPECT_FALSE(frame.action(id)->isEnabled()) << id << " while playing";
    }
    EXPECT_TRUE(frame.action(ID_EDIT_CROP)->isEnabled()) << "crop stops the player itself";

    program.app().transportCommands().stopCommand();
    EXPECT_FALSE(frame.action(ID_PLAY_PLAY)->isChecked());
    EXPECT_TRUE(frame.action(ID_EDIT_CUT)->isEnabled());
}

TEST(FrameCommandTable, ZoomItemsCheckTheCurrentZoom) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.action(kZoomCommands[1].id)->trigger();
    EXPECT_EQ(frame.view().zoomIndex(), kZoomCommands[1].zoomIndex);
    for (const ZoomCommand& zoom : kZoomCommands) {
        EXPECT_EQ(frame.action(zoom.id)->isChecked(), zoom.id == kZoomCommands[1].id)
            << zoom.menuText;
    }
    frame.action(kZoomInCommand)->trigger();
    EXPECT_TRUE(frame.action(kZoomCommands[2].id)->isChecked());
    EXPECT_FALSE(frame.action(kZoomCommands[1].id)->isChecked());
}

TEST(FrameTransport, EventsReachAListenerInSongOrderOnce) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    std::vector<int> passed;
    std::vector<std::int32_t> ticks;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&](const PositionReport& report) {
                         EXPECT_FALSE(report.jumpedBack);
                         for (int i = report.firstEvent; i < report.endEvent; ++i) {
                             passed.push_back(i);
                             EXPECT_LE(frame.document().song.mergedEvents[i]->tick, report.tick);
                         }
                         ticks.push_back(report.tick);
                     });
    program.app().transportCommands().playCommand();
    program.play(4000);
    program.app().transportCommands().stopCommand();
    ASSERT_GT(passed.size(), 10u);
    for (size_t i = 0; i < passed.size(); ++i) {
        EXPECT_EQ(passed[i], static_cast<int>(i)) << "every event once, in song order";
    }
    EXPECT_TRUE(std::is_sorted(ticks.begin(), ticks.end()));
}

TEST(FrameTransport, LiveNotesReachTheOutputThroughTheHubInOrder) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    std::vector<int> heard;
    QObject::connect(&frame.hub(), &TransportHub::noteInput,
                     [&](const NoteInput& input) { heard.push_back(int(input.data1())); });
    for (int key : {60, 62, 64}) {
        frame.hub().sendNoteInput(makeNoteInput(2, 0, static_cast<std::uint32_t>(key), 90));
    }
    QApplication::processEvents();
    EXPECT_EQ(heard, (std::vector<int>{60, 62, 64}));
}

class FailingOutputs final : public OutputProvider {
public:
    int deviceCount() override { return 0; }
    std::unique_ptr<OutputDevice> create(int) override { return nullptr; }
};

TEST(FrameStartUp, AnOutputThatWillNotOpenIsReported) {
    testing::application();
    settings() = Settings{};
    AppEnvironment environment;
    environment.store = std::make_unique<MemorySettingsStore>();
    environment.outputs = std::make_unique<FailingOutputs>();
    environment.clock = std::make_unique<ManualClock>();
    environment.outputDevices = {kMidiMapperName};
    CReedtabApp app(std::move(environment));
    ASSERT_TRUE(app.start(QString(), false));
    std::vector<std::string> shown;
    app.frame().messageSink = [&](const std::string& text, const std::string& caption,
                                  MessageIcon icon) {
        shown.push_back(text + "|" + caption);
        EXPECT_EQ(icon, MessageIcon::Error);
    };
    QApplication::processEvents();
    EXPECT_EQ(shown, std::vector<std::string>{"Cannot open Midi output device|Reedtab Midi"});
    settings() = Settings{};
}

TEST(FrameStartUp, FirstStartOpensAtThreeQuartersOfTheScreen) {
    testing::application();
    settings() = Settings{};
    AppEnvironment environment;
    environment.store = std::make_unique<MemorySettingsStore>();
    auto clock = std::make_unique<ManualClock>();
    RecordingOutput recording(*clock);
    environment.outputs = std::make_unique<SingleOutputProvider>(recording);
    environment.clock = std::move(clock);
    environment.outputDevices = {kMidiMapperName};
    CReedtabApp app(std::move(environment));
    ASSERT_TRUE(app.start(QString(), false));
    const QRect area = QApplication::primaryScreen()->availableGeometry();
    const QRect window = app.frame().geometry();
    EXPECT_EQ(window.width(), area.width() * 3 / 4);
    EXPECT_EQ(window.height(), area.height() * 3 / 4);
    EXPECT_LE(std::abs(window.center().x() - area.center().x()), 1);
    settings() = Settings{};
}

TEST(FrameKeys, F1HelpsAndF6MovesBetweenPanes) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.activateWindow();
    QApplication::setActiveWindow(&frame);
    QTest::keyClick(&frame, Qt::Key_F1);
    auto* manual = frame.findChild<CManual*>();
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isVisible());
    EXPECT_EQ(manual->currentPage(), "index.md");
    EXPECT_TRUE(frame.action(ID_HELP_TOPICS)->shortcuts().contains(QKeySequence(Qt::Key_F1)));

    frame.view().setFocus();
    QTest::keyClick(&frame, Qt::Key_F6);
    EXPECT_EQ(frame.focusWidget(), frame.tempoSlider());
    QTest::keyClick(&frame, Qt::Key_F6);
    EXPECT_EQ(frame.focusWidget(), frame.tabTypeSelector());
    QTest::keyClick(&frame, Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(frame.focusWidget(), frame.tempoSlider());
}

// Pixels of the palette's highlight along a widget's left edge, where the focus frame runs.
int highlightOnLeftEdge(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    const QColor highlight = widget.palette().color(QPalette::Highlight);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        count += image.pixelColor(1, y) == highlight ? 1 : 0;
    }
    return count;
}

// After F6 the user must see which control the keys go to: the slider and the selector show a
// frame while they have the focus, and only then.
TEST(FrameKeys, TheControlThatF6FocusesShowsAFrame) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.show();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QWidget& slider = *frame.tempoSlider();
    QWidget& selector = *frame.tabTypeSelector();
    frame.view().setFocus();
    EXPECT_LT(highlightOnLeftEdge(slider), slider.height() / 2);
    EXPECT_LT(highlightOnLeftEdge(selector), selector.height() / 2);
    QTest::keyClick(&frame, Qt::Key_F6);
    ASSERT_TRUE(slider.hasFocus());
    EXPECT_GE(highlightOnLeftEdge(slider), slider.height() - 4) << "the slider's frame";
    EXPECT_LT(highlightOnLeftEdge(selector), selector.height() / 2);
    QTest::keyClick(&frame, Qt::Key_F6);
    ASSERT_TRUE(selector.hasFocus());
    EXPECT_GE(highlightOnLeftEdge(selector), selector.height() - 4) << "the selector's frame";
    EXPECT_LT(highlightOnLeftEdge(slider), slider.height() / 2);
}

// Set Begin and Set End open at the play position, so that Enter marks where the song stands.
TEST(FrameCommands, TheMarkDialogsStartAtThePlayPosition) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    CReedtabDoc& doc = frame.document();
    const int d = doc.song.division;
    const std::int32_t bar = static_cast<std::int32_t>(doc.song.barTable[2].startTick);
    for (const auto& [id, title, tick] :
         {std::tuple{ID_EDIT_BEGIN_MARK, "Mark Beginning", bar + d + 30},
          std::tuple{ID_EDIT_END_MARK, "Mark Ending", bar + 3 * d}}) {
        frame.player().seek(tick);
        ASSERT_EQ(frame.player().playTick(), tick);
        whenDialogOpens([&, title = title](QDialog* dialog) {
            auto* entry = static_cast<CPosEntry*>(dialog);
            EXPECT_EQ(entry->windowTitle(), QString::fromLatin1(title));
            const BarBeatTick at = doc.song.tickToBarBeatTick(frame.player().playTick());
            EXPECT_EQ(entry->bar(), 3);
            EXPECT_EQ(entry->bar(), at.bar);
            EXPECT_EQ(entry->beat(), at.beat);
            EXPECT_EQ(entry->tick(), at.tick);
            entry->accept();
        });
        ASSERT_TRUE(frame.commands().run(id));
    }
    EXPECT_EQ(doc.markBegin, bar + d + 30) << "OK at once marks the play position";
    EXPECT_EQ(doc.markEnd, bar + 3 * d);
}

TEST(FrameKeys, DeleteIsTheViewsWhileItHoldsASelectionAndTheFramesOtherwise) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    struct EditMode {
        EditMode() { settings().editMode = true; }
        ~EditMode() { settings().editMode = false; }
    } editMode;
    CReedtabDoc& doc = frame.document();
    CReedtabView& view = frame.view();
    frame.show();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    view.setFocus();
    view.canvas();
    std::vector<MidiEvent*> notes;
    const MergedEventList& list = doc.song.mergedEvents;
    for (int i = std::max(0, view.firstVisibleEvent()); i < list.count() && notes.size() < 2; ++i) {
        if (list[i]->isNote && list[i]->tick < view.lastTick() &&
            view.noteRect(*list[i]).left > view.layout().timeLeft) {
            notes.push_back(list[i]);
        }
    }
    ASSERT_EQ(notes.size(), 2u);
    const auto centre = [&](const MidiEvent* note) {
        const PixelRect r = view.noteRect(*note);
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, centre(notes[0]));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(notes[1]));
    ASSERT_EQ(view.selectedNotes(), notes);
    doc.markBegin = 0;
    doc.markEnd = 3840;
    frame.updateCommandStates();
    ASSERT_TRUE(frame.action(ID_EDIT_DELETE)->isEnabled());

    const int events = list.count();
    QTest::keyClick(frame.windowHandle(), Qt::Key_Delete);
    EXPECT_EQ(list.count(), events - 4) << "both selected notes, not the marked range";
    EXPECT_TRUE(view.selectedNotes().empty());
    EXPECT_EQ(doc.history().undoCount(), 1u);
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(list.count(), events);

    QTest::keyClick(frame.windowHandle(), Qt::Key_Delete);
    EXPECT_EQ(doc.undoType(), UndoDeletedSelection) << "without a selection the frame deletes";
    EXPECT_LT(list.count(), events - 4);
}

TEST(FrameFocus, TheStaffKeepsTheKeysAfterTheSelectorAndTheSlider) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.tabTypeSelector()->setFocus();
    frame.tabTypeSelected(1);
    EXPECT_EQ(frame.focusWidget(), &frame.view());
    frame.tempoSlider()->setFocus();
    frame.tempoSliderMoved(120, false, true);
    EXPECT_EQ(frame.focusWidget(), &frame.view());
}

TEST(FramePanes, DescribeTheSongOnScreenFromTheMomentItOpens) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("saints.mid")));
    EXPECT_EQ(frame.paneText(2), " 120 bpm");
    frame.player().seek(1920);
    frame.showPosition(-1);
    EXPECT_EQ(frame.paneText(3), positionText(frame.document().song, 1920));
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    EXPECT_EQ(frame.paneText(2), " 104 bpm") << "the new song's tempo, before playing";
    EXPECT_EQ(frame.paneText(3), "1:1:000  0:00");
}

TEST(FrameSave, SaveAsOffersTheNameRetitlesAndJoinsTheRecentFiles) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("first.mid"));
    ASSERT_TRUE(QFile::copy(example("saints.mid"), original));
    ASSERT_TRUE(program.app().openFile(original));
    const QString renamed = dir.filePath(QStringLiteral("second.mid"));
    std::string offered;
    frame.savePathSink = [&](const std::string&, const std::string& suggested) {
        offered = suggested;
        return renamed.toStdString();
    };
    frame.action(ID_FILE_SAVE_AS)->trigger();
    EXPECT_EQ(offered, original.toStdString());
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_TRUE(frame.windowTitle().startsWith(QStringLiteral("second.mid")))
        << frame.windowTitle().toStdString();
    ASSERT_FALSE(program.app().recentFiles().isEmpty());
    EXPECT_EQ(program.app().recentFiles().front(), renamed);
}

TEST(FrameDump, WithoutADesktopViewerTheDumpOpensInAWindowOfOurOwn) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("saints.mid")));
    frame.openUrl = [](const QUrl&, const std::function<void()>& failed) { failed(); };
    const QString path = frame.dumpCommand();
    ASSERT_FALSE(path.isEmpty());
    DumpWindow* window = frame.dumpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->text()->isReadOnly());
    EXPECT_TRUE(window->text()->toPlainText().contains(QStringLiteral("Tempo change")));
    EXPECT_TRUE(window->text()->font().fixedPitch());

    // Save As writes the dump where the user says.
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("dump.txt"));
    std::string suggested;
    frame.savePathSink = [&](const std::string&, const std::string& offered) {
        suggested = offered;
        return saved.toStdString();
    };
    auto* saveButton = window->findChild<QPushButton*>();
    ASSERT_NE(saveButton, nullptr);
    EXPECT_EQ(saveButton->text(), QStringLiteral("Save &As..."));
    saveButton->click();
    EXPECT_EQ(suggested, path.toStdString());
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), window->text()->toPlainText());
}

// A stand-in for xdg-open on the PATH: `status` is its exit status.
class FakeOpener {
public:
    explicit FakeOpener(int status) : path_(qgetenv("PATH")) {
        QFile script(dir_.filePath(QStringLiteral("xdg-open")));
        script.open(QIODevice::WriteOnly);
        script.write(QByteArray("#!/bin/sh\nexit ") + QByteArray::number(status) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", dir_.path().toLocal8Bit());
    }
    ~FakeOpener() { qputenv("PATH", path_); }

private:
    QTemporaryDir dir_;
    QByteArray path_;
};

TEST(FrameDump, WhenTheDesktopFindsNoViewerTheDumpOpensInOurWindow) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(example("saints.mid")));
    {
        const FakeOpener opener(0);
        ASSERT_FALSE(frame.dumpCommand().isEmpty());
        QTest::qWait(500);
        EXPECT_EQ(frame.dumpWindow(), nullptr) << "a viewer showed it";
    }
    {
        const FakeOpener opener(3);
        ASSERT_FALSE(frame.dumpCommand().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(frame.dumpWindow() && frame.dumpWindow()->isVisible(), 5000);
    }
    frame.dumpWindow()->close();
    {
        const QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        ASSERT_FALSE(frame.dumpCommand().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(frame.dumpWindow()->isVisible(), 5000);
        qputenv("PATH", path);
    }
}

TEST(FramePrompts, LeavingAToolbarButtonClearsItsPrompt) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    auto* bar = frame.findChild<QToolBar*>(QStringLiteral("toolbar128"));
    ASSERT_NE(bar, nullptr);
    QWidget* button = bar->widgetForAction(frame.action(ID_FILE_OPEN));
    ASSERT_NE(button, nullptr);
    frame.statusBar()->showMessage(frame.action(ID_FILE_OPEN)->statusTip());
    EXPECT_EQ(frame.paneText(0), "Open an existing document");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(frame.paneText(0), "");
}

} // namespace
} // namespace reedtab
