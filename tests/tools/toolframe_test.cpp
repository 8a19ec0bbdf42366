// The frame's side of the tool windows: placement, the toggle commands and their accelerators,
// the windows reopened at start-up, and the notes a playing song hands them.

#include "apptestsupport.h"

#include "app/transportcontroller.h"
#include "toolsongs.h"

#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/pianowindow.h"
#include "tools/toolwindows.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"

#include <QAction>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace reedtab {
namespace {

using testing::TestProgram;

QString example(const char* name) {
    return QStringLiteral(REEDTAB_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

int stored(const TestProgram& program, const std::string& key) {
    return const_cast<TestProgram&>(program).store().readInt(kWindowSection, key).value_or(-1);
}

TEST(ToolPlacement, AFirstPlacementGoesBesideTheMainWindowNeverOnAnOpenOne) {
    const QRect screen(0, 0, 1600, 1000);
    const QSize window(400, 200);
    // Room on the right: beside the main window, level with its top; the next one below it.
    const QRect narrow(0, 0, 800, 600);
    EXPECT_EQ(firstPlacement(window, narrow, 60, screen, {}), QPoint(800, 0));
    const QRect first(800, 0, 400, 200);
    EXPECT_EQ(firstPlacement(window, narrow, 60, screen, std::vector{first}), QPoint(800, 200));
    // No room on the right: below the main window.
    EXPECT_EQ(firstPlacement(window, QRect(100, 0, 1400, 700), 60, screen, {}), QPoint(100, 700));
    // A main window filling the screen: at the right edge under its menus, then down the edge.
    const QRect full(0, 0, 1600, 1000);
    EXPECT_EQ(firstPlacement(window, full, 60, screen, {}), QPoint(1200, 60));
    EXPECT_EQ(firstPlacement(window, full, 60, screen, std::vector{QRect(1200, 60, 400, 200)}),
              QPoint(1200, 260));
    // A full column: cascaded from the first place, still on the screen and under the menus.
    std::vector<QRect> column;
    for (int y = 60; y < 1000; y += 200) {
        column.emplace_back(1200, y, 400, 200);
    }
    const QPoint cascaded = firstPlacement(window, full, 60, screen, column);
    EXPECT_EQ(cascaded, QPoint(1200, 60 + 24 * static_cast<int>(column.size())));
    EXPECT_TRUE(screen.contains(QRect(cascaded, window)));
}

TEST(ToolPlacement, FirstOpenedWindowsOpenBesideTheMainWindowAtTheirWholeSizes) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ToolWindows& tools = frame.toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorPiano));
    ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
    ASSERT_TRUE(tools.toggle(kMonitorChromatic));
    ASSERT_TRUE(tools.toggle(kMonitorLyrics));
    // The sizes count caption and borders (27 and 8 pixels), as the windows were drawn.
    EXPECT_EQ(tools.window(kMonitorPiano)->size(), QSize(745 - 8, 115 - 27));
    // Ten holes and the panel: 20 * 10 + 10 + 145 + 75.
    EXPECT_EQ(tools.window(kMonitorDiatonic)->size(), QSize(430 - 8, 234 - 27));
    // Twelve holes: 20 * 12 + 120.
    EXPECT_EQ(tools.window(kMonitorChromatic)->size(), QSize(360 - 8, 209 - 27));
    EXPECT_EQ(tools.window(kMonitorLyrics)->size(), QSize(330 - 8, 230 - 27));
    EXPECT_EQ(tools.window(kMonitorPiano)->windowTitle(), QStringLiteral("Reedtab Midi Piano"));

    const QRect menus(frame.menuBar()->mapToGlobal(QPoint(0, 0)), frame.menuBar()->size());
    std::vector<QRect> placed;
    for (int type : {kMonitorPiano, kMonitorDiatonic, kMonitorChromatic, kMonitorLyrics}) {
        const QRect place = tools.window(type)->frameGeometry();
        EXPECT_FALSE(place.intersects(menus)) << type << " covers the menu bar";
        EXPECT_NE(place.topLeft(), QPoint(10, 10)) << type;
        for (const QRect& other : placed) {
            EXPECT_NE(place.topLeft(), other.topLeft()) << type << " stacks on another window";
        }
        placed.push_back(place);
    }
}

TEST(ToolPlacement, AWindowReopensWhereItWasAfterARestart) {
    auto store = std::make_unique<MemorySettingsStore>();
    {
        TestProgram program;
        ToolWindows& tools = program.frame().toolWindows();
        ASSERT_TRUE(tools.toggle(kMonitorPiano));
        ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
        tools.window(kMonitorPiano)->setGeometry(120, 300, 745, 115);
        tools.window(kMonitorDiatonic)->setGeometry(200, 40, 430, 234);
        program.frame().close();
        EXPECT_EQ(stored(program, "Mon2.x1"), 120);
        EXPECT_EQ(stored(program, "Mon2.y1"), 300);
        EXPECT_EQ(stored(program, "Mon2.x2"), 120 + 745);
        EXPECT_EQ(stored(program, "Mon2On"), 1);
        EXPECT_EQ(stored(program, "Mon3On"), 1);
        EXPECT_EQ(stored(program, "Mon4On"), 0);
        store = std::make_unique<MemorySettingsStore>(program.store());
    }
    TestProgram again(std::move(store));
    QApplication::processEvents();
    ToolWindows& tools = again.frame().toolWindows();
    ASSERT_TRUE(tools.isOpen(kMonitorPiano)) << "Mon2On reopens it";
    ASSERT_TRUE(tools.isOpen(kMonitorDiatonic));
    EXPECT_FALSE(tools.isOpen(kMonitorChromatic));
    EXPECT_EQ(tools.window(kMonitorPiano)->geometry(), QRect(120, 300, 745 - 8, 115 - 27));
    EXPECT_EQ(tools.window(kMonitorDiatonic)->geometry().topLeft(), QPoint(200, 40));
    EXPECT_TRUE(again.frame().action(ID_VIEW_PIANO)->isChecked());
}

TEST(ToolPlacement, TheMixerAndLyricsOpenAtExitReopenAtTheNextStart) {
    auto store = std::make_unique<MemorySettingsStore>();
    {
        TestProgram program;
        ToolWindows& tools = program.frame().toolWindows();
        ASSERT_TRUE(tools.toggle(kMonitorMixer));
        ASSERT_TRUE(tools.toggle(kMonitorLyrics));
        program.frame().close();
        for (int type = 0; type <= 6; ++type) {
            EXPECT_EQ(stored(program, "Mon" + std::to_string(type) + "On"),
                      type == kMonitorMixer || type == kMonitorLyrics ? 1 : 0)
                << type;
        }
        store = std::make_unique<MemorySettingsStore>(program.store());
    }
    TestProgram again(std::move(store));
    QApplication::processEvents();
    ToolWindows& tools = again.frame().toolWindows();
    EXPECT_TRUE(tools.isOpen(kMonitorMixer));
    EXPECT_TRUE(tools.isOpen(kMonitorLyrics));
    EXPECT_EQ(tools.monitors().size(), 2U);
    again.frame().updateCommandStates();
    EXPECT_TRUE(again.frame().action(ID_VIEW_MIXER)->isChecked());
    EXPECT_TRUE(again.frame().action(ID_VIEW_LYRICS)->isChecked());
    EXPECT_FALSE(again.frame().action(ID_VIEW_EVENTS)->isChecked());
}

TEST(ToolPlacement, AStoredPositionBeyondTheScreenIsPulledBack) {
    const QSize screen = QApplication::primaryScreen()->size();
    auto store = std::make_unique<MemorySettingsStore>();
    store->writeInt(kWindowSection, "Mon4.x1", 5000 + screen.width());
    store->writeInt(kWindowSection, "Mon4.y1", 7000 + screen.height());
    store->writeInt(kWindowSection, "Mon4.x2", 5400 + screen.width());
    store->writeInt(kWindowSection, "Mon4.y2", 7200 + screen.height());
    store->writeInt(kWindowSection, "Mon3.x1", 9000);
    store->writeInt(kWindowSection, "Mon3.y1", 20);
    store->writeInt(kWindowSection, "Mon3.optVisible", 0);
    TestProgram program(std::move(store));
    ToolWindows& tools = program.frame().toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorChromatic));
    ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
    EXPECT_EQ(tools.window(kMonitorChromatic)->geometry().topLeft(),
              QPoint(screen.width() - 32, screen.height() - 32));
    auto* diatonic = static_cast<CMonDiatonic*>(tools.window(kMonitorDiatonic));
    EXPECT_EQ(diatonic->geometry().topLeft(), QPoint(screen.width() - 32, 20));
    EXPECT_FALSE(diatonic->optionsVisible());
    EXPECT_EQ(diatonic->width(), 20 * 10 + 10 + 5 + 75 - 8);
}

TEST(ToolPlacement, AMinimisedWindowKeepsThePlaceItHadBefore) {
    TestProgram program;
    ToolWindows& tools = program.frame().toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorPiano));
    CMonitor* piano = tools.window(kMonitorPiano);
    piano->setGeometry(50, 60, 745, 115);
    piano->savePlacement();
    piano->setWindowState(Qt::WindowMinimized);
    piano->setGeometry(400, 400, 745, 115);
    ASSERT_TRUE(tools.toggle(kMonitorPiano));
    EXPECT_EQ(stored(program, "Mon2.x1"), 50);
    EXPECT_EQ(stored(program, "Mon2.y1"), 60);
}

TEST(ToolCommands, TheSixCommandsOpenAndCloseTheirWindowsWithCheckMarks) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CommandTable& table = frame.commands();
    const std::map<int, int> built{
        {ID_VIEW_MIXER, kMonitorMixer},       {ID_VIEW_PIANO, kMonitorPiano},
        {ID_VIEW_DIATONIC, kMonitorDiatonic}, {ID_VIEW_CHROMATIC, kMonitorChromatic},
        {ID_VIEW_LYRICS, kMonitorLyrics},     {ID_VIEW_EVENTS, kMonitorEvents}};
    for (const auto& [id, type] : built) {
        ASSERT_TRUE(table.run(id)) << id;
        frame.updateCommandStates();
        EXPECT_TRUE(frame.toolWindows().isOpen(type)) << id;
        EXPECT_TRUE(frame.action(id)->isChecked()) << id;
    }
    EXPECT_EQ(frame.toolWindows().monitors().size(), 6U);
    for (const auto& [id, type] : built) {
        ASSERT_TRUE(table.run(id));
        frame.updateCommandStates();
        EXPECT_FALSE(frame.toolWindows().isOpen(type)) << id;
        EXPECT_FALSE(frame.action(id)->isChecked()) << id;
    }
    EXPECT_TRUE(frame.toolWindows().monitors().empty());
}

TEST(ToolRegistry, EachKindIsOfferedOpenedAndRememberedAsItsEntrySays) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    std::set<int> indices;
    std::set<int> commands;
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        EXPECT_TRUE(indices.insert(kind.index).second) << kind.name;
        EXPECT_TRUE(commands.insert(kind.command).second) << kind.name;
        EXPECT_EQ(findToolWindowKind(kind.index), &kind);
        QAction* toggle = frame.action(kind.command);
        ASSERT_NE(toggle, nullptr) << kind.name;
        EXPECT_EQ(toggle->text(), QString::fromLatin1(kind.menuText));
        EXPECT_EQ(toggle->statusTip(), QString::fromLatin1(kind.prompt));
        EXPECT_EQ(toggle->shortcut().toString(QKeySequence::PortableText),
                  QString::fromLatin1(kind.accelerator));
        EXPECT_TRUE(toggle->isCheckable());
        ASSERT_TRUE(frame.commands().run(kind.command));
        const CMonitor* window = frame.toolWindows().window(kind.index);
        ASSERT_NE(window, nullptr) << kind.name;
        EXPECT_EQ(window->monitorIndex(), kind.index);
    }
    EXPECT_EQ(findToolWindowKind(kMonitorNone), nullptr);
    EXPECT_FALSE(frame.toolWindows().toggle(kMonitorNone));
    EXPECT_TRUE(ToolWindows::deliveryOf(kMonitorMixer).everyNote);
    EXPECT_TRUE(ToolWindows::deliveryOf(kMonitorLyrics).words);
    EXPECT_TRUE(ToolWindows::deliveryOf(kMonitorEvents).everyEvent);
    EXPECT_FALSE(ToolWindows::deliveryOf(kMonitorPiano).everyNote);

    // Every kind but the first closed: the save writes each kind's key, and the next start
    // reopens exactly the one left open.
    for (const ToolWindowKind& kind : toolWindowKinds().subspan(1)) {
        ASSERT_TRUE(frame.commands().run(kind.command));
    }
    MemorySettingsStore store;
    frame.toolWindows().saveOpenWindows(store);
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        EXPECT_EQ(store.readInt(kWindowSection, "Mon" + std::to_string(kind.index) + "On"),
                  kind.index == toolWindowKinds().front().index ? 1 : 0)
            << kind.name;
    }
    EXPECT_EQ(ToolWindows::windowsOpenAtExit(store),
              std::vector<int>{toolWindowKinds().front().command});
}

TEST(ToolCommands, TheCloseBoxTakesTheWindowOffTheListAndTheCheckMark) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(frame.commands().run(ID_VIEW_DIATONIC));
    frame.toolWindows().window(kMonitorDiatonic)->close();
    QApplication::processEvents();
    frame.updateCommandStates();
    EXPECT_FALSE(frame.toolWindows().isOpen(kMonitorDiatonic));
    EXPECT_FALSE(frame.action(ID_VIEW_DIATONIC)->isChecked());
    ASSERT_TRUE(frame.commands().run(ID_VIEW_DIATONIC)) << "and it opens again";
    EXPECT_TRUE(frame.toolWindows().isOpen(kMonitorDiatonic));
}

TEST(ToolCommands, TheAltAcceleratorsReachTheirWindowsFromTheKeyboard) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    // Real key events to whichever window has the keyboard, as a user types them.
    const auto type = [](QWidget* window, Qt::Key key) {
        window->activateWindow();
        QApplication::processEvents();
        QTest::keyClick(window, key, Qt::AltModifier);
        QApplication::processEvents();
    };
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_E, kMonitorEvents}, {Qt::Key_H, kMonitorDiatonic}, {Qt::Key_C, kMonitorChromatic},
        {Qt::Key_K, kMonitorPiano},  {Qt::Key_M, kMonitorMixer},    {Qt::Key_T, kMonitorLyrics}};
    for (const auto& [key, window] : keys) {
        type(&frame, key);
        ASSERT_TRUE(frame.toolWindows().isOpen(window)) << window;
        type(&frame, key);
        EXPECT_FALSE(frame.toolWindows().isOpen(window)) << window;
        type(&frame, key);
        ASSERT_TRUE(frame.toolWindows().isOpen(window)) << window;
        // From the tool window itself the accelerator closes it as well.
        type(frame.toolWindows().window(window), key);
        EXPECT_FALSE(frame.toolWindows().isOpen(window)) << window;
    }
    // Alt+M and Alt+T belong to the mixer and the lyrics, not to a menu; and the menus'
    // mnemonics must not shadow the accelerators above.
    for (QAction* menu : frame.menuBar()->actions()) {
        const QString text = menu->text();
        const int mark = text.indexOf(QLatin1Char('&'));
        if (mark >= 0 && mark + 1 < text.size()) {
            const QChar mnemonic = text.at(mark + 1).toLower();
            EXPECT_FALSE(QStringLiteral("ehckmt").contains(mnemonic)) << text.toStdString();
        }
    }
}

// The notes the delivery rules say are sounding after the events [0, end) of the song.
std::map<int, int> soundingNotes(const MidiSong& song, int end) {
    std::map<int, int> sounding;
    for (int i = 0; i < end; ++i) {
        const MidiEvent& event = *song.mergedEvents[static_cast<std::size_t>(i)];
        if (!(event.track->flags & TrackShown) || event.channel() == 9) {
            continue;
        }
        if (event.isNoteOn()) {
            ++sounding[event.data1];
        } else if (event.isNoteOff() && sounding[event.data1] > 0) {
            --sounding[event.data1];
        }
    }
    std::erase_if(sounding, [](const auto& entry) { return entry.second == 0; });
    return sounding;
}

TEST(ToolDelivery, PlayingPressesExactlyTheButtonsOfTheSoundingNotesAndStopReleasesThem) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    // Melody, bass and drums: the drums (channel 10) press nothing.
    ASSERT_TRUE(program.app().openFile(example("oh-susanna.mid")));
    const MidiSong& song = frame.document().song;
    ToolWindows& tools = frame.toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorPiano));
    ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
    ASSERT_TRUE(tools.toggle(kMonitorChromatic));
    auto* piano = static_cast<CMonPiano*>(tools.window(kMonitorPiano));
    auto* diatonic = static_cast<CMonDiatonic*>(tools.window(kMonitorDiatonic));
    auto* chromatic = static_cast<CMonChromatic*>(tools.window(kMonitorChromatic));

    int reached = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&](const PositionReport& report) { reached = report.endEvent; });
    program.app().transportCommands().startPlaying(false, false);
    bool sawChord = false;
    for (int step = 0; step < 40; ++step) {
        program.play(150);
        const std::map<int, int> sounding = soundingNotes(song, reached);
        sawChord = sawChord || sounding.size() >= 2;
        for (int note = 21; note <= 108; ++note) {
            const auto found = sounding.find(note);
            const int count = found == sounding.end() ? 0 : found->second;
            ASSERT_EQ(piano->pressCount(note), count) << "note " << note << " step " << step;
            ASSERT_EQ(piano->key(note)->isDown(), count > 0) << note;
        }
        // Each sounding note holds the button of its first alternative, nothing else is down.
        std::map<std::pair<int, int>, int> holes;
        std::map<std::pair<int, int>, int> rows;
        for (const auto& [note, count] : sounding) {
            DiatonicPositionInfo info;
            if (diatonicLayout().positionOf(note, info) == 0) {
                holes[{info.hole, info.technique}] += count;
            }
            int row = 0;
            int column = 0;
            if (chromaticLayout().positionOf(note, row, column) == 0) {
                rows[{row, column}] += count;
            }
        }
        for (int h = 0; h < CMonDiatonic::kMaxHoles; ++h) {
            for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
                const auto found = holes.find({h, s});
                const int count = found == holes.end() ? 0 : found->second;
                ASSERT_EQ(diatonic->pressCount(h, s), count) << h << "/" << s;
                if (NoteButton* button = diatonic->button(h, s)) {
                    ASSERT_EQ(button->isDown(), count > 0);
                }
            }
        }
        for (int r = 0; r < CMonChromatic::kMaxHoles; ++r) {
            for (int c = 0; c < CMonChromatic::kColumns; ++c) {
                const auto found = rows.find({r, c});
                ASSERT_EQ(chromatic->pressCount(r, c), found == rows.end() ? 0 : found->second);
            }
        }
    }
    EXPECT_TRUE(sawChord) << "the stretch played holds several notes at once";
    program.app().transportCommands().stopCommand();
    for (int note = 21; note <= 108; ++note) {
        EXPECT_FALSE(piano->key(note)->isDown()) << note;
    }
    for (int h = 0; h < CMonDiatonic::kMaxHoles; ++h) {
        for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
            EXPECT_EQ(diatonic->pressCount(h, s), 0);
        }
    }
}

TEST(ToolDelivery, DrumsAndHiddenTracksGiveNoNoteNews) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    MidiSong& song = frame.document().song;
    testing::buildSong(song, 3, {{0, 0, 60, 0, 480}, {1, 9, 62, 0, 480}, {2, 0, 64, 0, 480}}, 960);
    song.tracks[2]->flags &= static_cast<std::uint16_t>(~TrackShown);
    ToolWindows& tools = frame.toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorPiano));
    auto* piano = static_cast<CMonPiano*>(tools.window(kMonitorPiano));
    PositionReport report;
    report.endEvent = song.mergedEvents.count();
    const int ons =
        static_cast<int>(std::count_if(song.mergedEvents.begin(), song.mergedEvents.end(),
                                       [](const MidiEvent* e) { return e->isNoteOn(); }));
    ASSERT_EQ(ons, 3);
    report.endEvent = song.mergedEvents.lowerBound(1);
    tools.deliver(report);
    EXPECT_TRUE(piano->key(60)->isDown());
    EXPECT_FALSE(piano->key(62)->isDown()) << "channel 10";
    EXPECT_FALSE(piano->key(64)->isDown()) << "hidden track";
    report.firstEvent = report.endEvent;
    report.endEvent = song.mergedEvents.count();
    tools.deliver(report);
    EXPECT_FALSE(piano->key(60)->isDown());
}

} // namespace
} // namespace reedtab
