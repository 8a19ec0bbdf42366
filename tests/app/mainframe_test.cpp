#include "apptestsupport.h"

#include "app/statusposition.h"
#include "app/transportcontroller.h"

#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "playback/speedtrainer.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace reedtab {
namespace {

using testing::corpusFile;
using testing::TestProgram;

const char* const kSong = "choral-karaoke/twinkle.kar";
const char* const kLongSong = "choral-karaoke/mozart_aveverum.mid";

TEST(FrameMenus, EveryCommandHasItsTextPromptAndShortcut) {
    TestProgram program;
    for (const auto& command : commandTable()) {
        if (command.id == ID_FILE_MRU_FILE1) {
            continue;
        }
        QAction* action = program.frame().action(command.id);
        ASSERT_NE(action, nullptr) << command.id;
        // The Undo and Redo entries' texts follow the document (FrameUndo checks them).
        if (command.id != ID_EDIT_UNDO && command.id != ID_EDIT_REDO) {
            EXPECT_EQ(action->text().toStdString(), command.text) << command.id;
        }
        EXPECT_EQ(action->statusTip().toStdString(), command.prompt) << command.id;
    }
    auto shortcut = [&](int id) {
        return program.frame().action(id)->shortcut().toString(QKeySequence::PortableText);
    };
    EXPECT_EQ(shortcut(ID_FILE_OPEN), "Ctrl+O");
    EXPECT_EQ(shortcut(ID_EDIT_DELETE), "Del");
    EXPECT_EQ(shortcut(ID_EDIT_CROP), "Alt+Del");
    EXPECT_EQ(shortcut(ID_TRANSPOSE_OCTAVE_UP), "Alt+Shift+U");
    EXPECT_EQ(shortcut(ID_VIEW_EVENTS), "Alt+E");
    EXPECT_EQ(shortcut(ID_PLAY_PLAY), "") << "space is the frame's own key";
    EXPECT_TRUE(program.frame()
                    .action(ID_EDIT_COPY)
                    ->shortcuts()
                    .contains(QKeySequence(Qt::CTRL | Qt::Key_Insert)));
    EXPECT_TRUE(program.frame()
                    .action(ID_EDIT_UNDO)
                    ->shortcuts()
                    .contains(QKeySequence(Qt::ALT | Qt::Key_Backspace)));
    EXPECT_EQ(shortcut(ID_EDIT_REDO), "Ctrl+Y");
    EXPECT_TRUE(program.frame()
                    .action(ID_EDIT_REDO)
                    ->shortcuts()
                    .contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    EXPECT_EQ(program.frame().action(kZoomInCommand)->statusTip(), "Zoom In");
}

// The letter after a single '&' of a menu text, upper case; 0 when the text has none.
QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == QLatin1Char('&')) {
            if (text[i + 1] != QLatin1Char('&')) {
                return text[i + 1].toUpper();
            }
            ++i;
        }
    }
    return {};
}

// Every menu below `menu` (itself included) with its path, for the messages.
void collectMenus(QMenu* menu, const QString& path, std::vector<std::pair<QString, QMenu*>>& out) {
    out.emplace_back(path, menu);
    for (QAction* entry : menu->actions()) {
        if (QMenu* sub = entry->menu()) {
            collectMenus(sub, path + QStringLiteral(" > ") + sub->title(), out);
        }
    }
}

TEST(FrameMenus, MnemonicsAreUniquePerMenuAndClearOfAltAccelerators) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    // The Alt+letter accelerators of every command the frame knows.
    std::set<QChar> altKeys;
    for (QAction* action : frame.findChildren<QAction*>()) {
        for (const QKeySequence& keys : action->shortcuts()) {
            const QKeyCombination combination = keys[0];
            if (keys.count() == 1 && combination.keyboardModifiers() == Qt::AltModifier &&
                combination.key() >= Qt::Key_A && combination.key() <= Qt::Key_Z) {
                altKeys.insert(QChar(static_cast<char16_t>(combination.key())));
            }
        }
    }
    for (QChar toolKey : {u'M', u'K', u'H', u'C', u'T', u'E'}) {
        EXPECT_TRUE(altKeys.count(toolKey))
            << "tool window accelerator Alt+" << char(toolKey.unicode());
    }

    std::set<QChar> topLevel;
    std::vector<std::pair<QString, QMenu*>> menus;
    for (QAction* entry : frame.menuBar()->actions()) {
        QMenu* menu = entry->menu();
        ASSERT_NE(menu, nullptr);
        const QChar mnemonic = mnemonicOf(menu->title());
        EXPECT_FALSE(mnemonic.isNull()) << menu->title().toStdString() << " has no mnemonic";
        EXPECT_TRUE(topLevel.insert(mnemonic).second)
            << menu->title().toStdString() << " repeats a menu mnemonic";
        EXPECT_FALSE(altKeys.count(mnemonic))
            << menu->title().toStdString() << " takes the Alt key of an accelerator";
        collectMenus(menu, menu->title(), menus);
    }
    EXPECT_EQ(topLevel.size(), 6u);
    ASSERT_GT(menus.size(), topLevel.size()) << "the submenus are walked too";
    for (const auto& [path, menu] : menus) {
        std::map<QChar, QString> taken;
        for (QAction* entry : menu->actions()) {
            const QString text = entry->menu() ? entry->menu()->title() : entry->text();
            const QChar mnemonic = mnemonicOf(text.section(QLatin1Char('\t'), 0, 0));
            if (mnemonic.isNull()) {
                continue;
            }
            const auto [place, fresh] = taken.emplace(mnemonic, text);
            EXPECT_TRUE(fresh) << path.toStdString() << ": \"" << text.toStdString() << "\" and \""
                               << place->second.toStdString() << "\" share "
                               << char(mnemonic.unicode());
        }
    }
}

TEST(FrameMenus, CommandsOfLaterWindowsArePresentButDisabled) {
    TestProgram program;
    for (int id : {ID_FILE_PROPERTIES, ID_MAP_NOTES, ID_EDIT_COPY, ID_EDIT_PASTE}) {
        EXPECT_FALSE(program.frame().action(id)->isEnabled()) << id;
    }
    for (int id : {ID_FILE_OPEN, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP,
                   ID_FILE_EXPORT_PDF, ID_OPTIONS, ID_EDIT_MODE}) {
        EXPECT_TRUE(program.frame().action(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(program.frame().action(ID_PLAY_PLAY)->isEnabled());
}

TEST(FrameStatusBar, PanesShowTempoBpmPositionAndTransposition) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    EXPECT_EQ(frame.paneText(1), "100%");
    EXPECT_EQ(frame.paneText(2), " 120 bpm");
    EXPECT_EQ(frame.paneText(3), "1:1:000  0:00");
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.showPosition(1234);
    EXPECT_EQ(frame.paneText(3), positionText(frame.document().song, 1234));
    frame.transposeCommand(1, true);
    EXPECT_EQ(frame.paneText(4), "transposed 1 half steps");
}

TEST(FrameTempoSlider, DraggingShowsPercentReleaseNearNormalSnaps) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QSlider* slider = frame.tempoSlider();
    EXPECT_EQ(slider->minimum(), 1) << "as low as the speed trainer goes";
    EXPECT_EQ(slider->maximum(), 1000) << "as high as the speed trainer goes";
    EXPECT_EQ(slider->pageStep(), 10);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_TRUE(slider->toolTip().contains(QStringLiteral("100% of the song's tempo")))
        << slider->toolTip().toStdString();

    frame.tempoSliderMoved(150, true, false);
    EXPECT_EQ(frame.paneText(1), "150%");
    EXPECT_EQ(frame.transport().tempoPercent(), 100) << "dragging changes nothing else";

    slider->setValue(104);
    frame.tempoSliderMoved(104, false, true);
    EXPECT_EQ(slider->value(), 100);
    EXPECT_EQ(frame.paneText(1), "100%");
    EXPECT_EQ(frame.transport().tempoPercent(), 100);

    slider->setValue(105);
    frame.tempoSliderMoved(105, false, true);
    EXPECT_EQ(slider->value(), 105);
    EXPECT_EQ(frame.paneText(1), "105%");
    EXPECT_EQ(frame.paneText(2), " 126 bpm");

    slider->setValue(95);
    frame.tempoSliderMoved(95, false, true);
    EXPECT_EQ(frame.paneText(1), "95%");
    EXPECT_EQ(frame.paneText(2), " 114 bpm");
    EXPECT_TRUE(slider->toolTip().contains(QStringLiteral("95% of the song's tempo")));
    EXPECT_EQ(slider->statusTip(), slider->toolTip());

    // A tempo the trainer sets stands on the slider, not at its end.
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    program.app().transportCommands().startTrainer(
        SpeedTrainer{.start = 750, .step = 10, .target = 800, .passes = 1});
    ASSERT_TRUE(frame.player().isPlaying());
    EXPECT_EQ(slider->value(), 750);
    EXPECT_TRUE(slider->toolTip().contains(QStringLiteral("750% of the song's tempo")));
    program.app().transportCommands().stopCommand();
}

TEST(FrameToggles, EachToggleFlipsItsSettingChecksAndSavesThePlayerGroup) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    struct Toggle {
        int id;
        Shared<bool>& setting;
        const char* key;
    };
    Toggle toggles[] = {{ID_PLAY_METRONOME, settings().playMetronome, "playMetronome"},
                        {ID_PLAY_COUNT_IN, settings().playCountIn, "playCountIn"},
                        {ID_PLAY_LOOP, settings().playLoop, "playLoop"},
                        {ID_PLAY_MIDI_CLOCK, settings().sendMidiSt, "sendMidiSt"},
                        {ID_PLAY_FILTER_PROGRAMS, settings().skipPrgChange, "skipPrgChange"}};
    for (auto& toggle : toggles) {
        frame.action(toggle.id)->trigger();
        EXPECT_TRUE(toggle.setting.load()) << toggle.key;
        EXPECT_TRUE(frame.action(toggle.id)->isChecked()) << toggle.key;
        EXPECT_EQ(program.store().readInt(kSettingsSection, toggle.key), 1) << toggle.key;
        frame.action(toggle.id)->trigger();
        EXPECT_FALSE(toggle.setting.load()) << toggle.key;
        EXPECT_EQ(program.store().readInt(kSettingsSection, toggle.key), 0) << toggle.key;
    }
}

TEST(FrameTabType, SelectorHoldsFiveModesAndSetsTabModeAndLayoutText) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QComboBox* selector = frame.tabTypeSelector();
    ASSERT_EQ(selector->count(), 5);
    EXPECT_EQ(selector->itemText(0), "Notes (C Inst)");
    EXPECT_EQ(selector->itemText(4), "Notes (Eb Inst)");
    frame.tabTypeSelected(1);
    EXPECT_EQ(settings().tabMode, 1);
    const QString diatonicText = frame.layoutText()->text();
    frame.tabTypeSelected(2);
    EXPECT_EQ(settings().tabMode, 2);
    EXPECT_NE(frame.layoutText()->text(), diatonicText);
    EXPECT_FALSE(frame.layoutText()->text().isEmpty());
}

TEST(FrameTransport, PlayChecksItselfAndStopOrSecondPlayStops) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.action(ID_PLAY_PLAY)->trigger();
    EXPECT_TRUE(frame.player().isPlaying());
    EXPECT_TRUE(frame.action(ID_PLAY_PLAY)->isChecked());
    EXPECT_FALSE(frame.action(ID_VIEW_DUMP)->isEnabled()) << "no dump while playing";
    EXPECT_FALSE(frame.action(ID_TAB_TEXT_TRACK)->isEnabled());
    frame.action(ID_PLAY_STOP)->trigger();
    EXPECT_FALSE(frame.player().isPlaying());
    EXPECT_FALSE(frame.action(ID_PLAY_PLAY)->isChecked());
    EXPECT_TRUE(frame.action(ID_VIEW_DUMP)->isEnabled());

    frame.action(ID_PLAY_PLAY)->trigger();
    EXPECT_TRUE(frame.player().isPlaying());
    frame.action(ID_PLAY_PLAY)->trigger();
    EXPECT_FALSE(frame.player().isPlaying());
}

TEST(FrameTransport, PlayWaitsForTheSynthesizerAndSaysSoUntilItIsReady) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    program.outputs().ready = false;
    program.app().transportCommands().playCommand();
    EXPECT_FALSE(frame.player().isPlaying());
    EXPECT_TRUE(frame.paneText(0).startsWith("Loading the SoundFont"))
        << frame.paneText(0).toStdString();
    QTest::qWait(250);
    EXPECT_FALSE(frame.player().isPlaying()) << "still loading";

    program.outputs().ready = true;
    QTest::qWait(250);
    EXPECT_TRUE(frame.player().isPlaying());
    EXPECT_TRUE(frame.paneText(0).isEmpty());
    program.app().transportCommands().stopCommand();
}

TEST(FrameTransport, StopWhileWaitingForTheSynthesizerCancelsThePlay) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    program.outputs().ready = false;
    program.app().transportCommands().playCommand();
    program.app().transportCommands().stopCommand();
    EXPECT_TRUE(frame.paneText(0).isEmpty());
    program.outputs().ready = true;
    QTest::qWait(250);
    EXPECT_FALSE(frame.player().isPlaying()) << "the user stopped before the synthesizer was ready";
}

TEST(FrameTransport, ADeviceLostWhilePlayingIsShownInTheStatusBar) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QCoreApplication::postEvent(&frame.hub(), new PlayerMessageEvent(WM_PLAYER_STOPPED, 0, 0));
    QApplication::processEvents();
    EXPECT_TRUE(frame.paneText(0).isEmpty()) << "an ordinary stop says nothing";
    QCoreApplication::postEvent(&frame.hub(),
                                new PlayerMessageEvent(WM_PLAYER_STOPPED, PlayerDeviceError, 0));
    QApplication::processEvents();
    EXPECT_EQ(frame.paneText(0), kDeviceLostText);
}

TEST(FrameTransport, PositionReportsMoveThePlayTickAndThePane) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    program.app().transportCommands().playCommand();
    program.play(1000);
    const int tick = frame.player().playTick();
    EXPECT_GT(tick, 0);
    EXPECT_EQ(frame.paneText(3),
              positionText(frame.document().song, frame.player().lastShownTick()));
    program.app().transportCommands().stopCommand();
}

TEST(FrameTransport, PlayOnAnOutputNobodyHearsSaysSoOnceASession) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    const auto told = [&program] {
        return std::count_if(
            program.messages.begin(), program.messages.end(),
            [](const testing::ShownMessage& m) { return m.text == kSilentOutputText; });
    };
    program.app().transportCommands().playCommand();
    ASSERT_TRUE(frame.player().isPlaying());
    program.app().transportCommands().stopCommand();
    EXPECT_EQ(told(), 0) << "an output that is heard says nothing";

    program.outputs().heard = false;
    program.app().transportCommands().playCommand();
    EXPECT_TRUE(frame.player().isPlaying()) << "the song still plays";
    EXPECT_EQ(told(), 1);
    program.app().transportCommands().stopCommand();
    program.app().transportCommands().playCommand();
    program.app().transportCommands().stopCommand();
    EXPECT_EQ(told(), 1) << "not again on every Play";
}

TEST(FrameTransport, RewindGoesToTheBeginMarkOrZero) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.player().seek(2000);
    program.app().transportCommands().rewindCommand();
    EXPECT_EQ(frame.player().playTick(), 0);
    EXPECT_EQ(frame.paneText(3), "1:1:000  0:00");
    frame.document().markBegin = 960;
    program.app().transportCommands().rewindCommand();
    EXPECT_EQ(frame.player().playTick(), 960);
}

TEST(FrameTransport, EscapeClearsMarksAndTrackSelection) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.document().markBegin = 10;
    frame.document().markEnd = 900;
    for (auto& track : frame.document().song.tracks) {
        track->flags |= TrackSelected;
    }
    frame.escapeKey();
    EXPECT_EQ(frame.document().markBegin, -1);
    EXPECT_EQ(frame.document().markEnd, -1);
    for (auto& track : frame.document().song.tracks) {
        EXPECT_EQ(track->flags & TrackSelected, 0);
    }
}

TEST(FrameTransport, SpaceCountsInOnlyFromTheStartOrTheBeginMark) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    settings().playCountIn = true;
    const auto notesSent = [&] {
        int notes = 0;
        for (const auto& message : program.output().messages()) {
            notes += !message.bytes.empty() && (message.bytes[0] & 0xF0) == 0x90;
        }
        return notes;
    };
    // Starting mid-song with Space: no count-in, so the song's notes come at once.
    frame.player().seek(frame.document().song.division * 8);
    program.output().clear();
    program.app().transportCommands().spaceKey();
    ASSERT_TRUE(frame.player().isPlaying());
    program.play(300);
    const int midSong = notesSent();
    program.app().transportCommands().spaceKey();
    EXPECT_FALSE(frame.player().isPlaying());

    // From tick 0 with count-in the first 300 ms hold only clicks on channel 10.
    frame.player().seek(0);
    program.output().clear();
    program.app().transportCommands().spaceKey();
    program.play(300);
    int melodic = 0;
    for (const auto& message : program.output().messages()) {
        melodic += !message.bytes.empty() && message.bytes[0] >= 0x90 && message.bytes[0] < 0x99;
    }
    program.app().transportCommands().stopCommand();
    EXPECT_GT(midSong, 0);
    EXPECT_EQ(melodic, 0);
}

TEST(FrameUndo, MenuTextsFollowTheStepsBothWays) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.updateCommandStates();
    QAction* undo = frame.action(ID_EDIT_UNDO);
    QAction* redo = frame.action(ID_EDIT_REDO);
    EXPECT_EQ(undo->text(), "Nothing to Undo\tCtrl+Z");
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(redo->text(), "Nothing to Redo\tCtrl+Y");
    EXPECT_FALSE(redo->isEnabled());
    frame.action(ID_TRANSPOSE_UP)->trigger();
    frame.document().markBeginningAt(0);
    frame.document().markEndingAt(960);
    frame.updateCommandStates();
    frame.action(ID_EDIT_CUT)->trigger();
    EXPECT_EQ(undo->text(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_TRUE(frame.isWindowModified());
    undo->trigger();
    EXPECT_EQ(undo->text(), "Undo Transpose\tCtrl+Z");
    EXPECT_EQ(redo->text(), "Redo Deleted Selection\tCtrl+Y");
    EXPECT_TRUE(redo->isEnabled());
    undo->trigger();
    EXPECT_EQ(undo->text(), "Nothing to Undo\tCtrl+Z");
    EXPECT_EQ(redo->text(), "Redo Transpose\tCtrl+Y");
    EXPECT_FALSE(frame.document().isModified());
    EXPECT_FALSE(frame.isWindowModified());
    QTest::keySequence(frame.windowHandle(), QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(undo->text(), "Undo Transpose\tCtrl+Z");
    QTest::keySequence(frame.windowHandle(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(undo->text(), "Undo Deleted Selection\tCtrl+Z");
    EXPECT_FALSE(redo->isEnabled());
}

TEST(FrameClip, CopyNeedsAMarkPasteAClipAndEachPasteIsOneStep) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    CReedtabDoc& doc = frame.document();
    frame.updateCommandStates();
    QAction* copy = frame.action(ID_EDIT_COPY);
    QAction* paste = frame.action(ID_EDIT_PASTE);
    EXPECT_FALSE(copy->isEnabled()) << "nothing marked";
    EXPECT_FALSE(paste->isEnabled()) << "nothing copied";
    doc.markBeginningAt(1920);
    doc.markEndingAt(3839);
    frame.updateCommandStates();
    ASSERT_TRUE(copy->isEnabled());
    copy->trigger();
    frame.updateCommandStates();
    ASSERT_TRUE(paste->isEnabled());
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("audio/midi")).size(),
              static_cast<qsizetype>(doc.clip().size()))
        << "other programs get the clip as a MIDI file";
    EXPECT_FALSE(doc.isModified()) << "copying is no edit";

    auto notesIn = [&doc](int32_t from, int32_t to) {
        int count = 0;
        for (const MidiEvent* e : doc.song.mergedEvents)
            count += e->isNoteOn() && e->tick >= from && e->tick <= to;
        return count;
    };
    const int copied = notesIn(1920, 3839);
    ASSERT_GT(copied, 0);
    const int there = notesIn(7680, 9599);
    const size_t events = doc.song.mergedEvents.size();
    frame.player().seek(7680);
    paste->trigger();
    EXPECT_GE(notesIn(7680, 9599), there + copied) << "pasted at the play position";
    EXPECT_EQ(frame.action(ID_EDIT_UNDO)->text(), "Undo Paste\tCtrl+Z");
    frame.action(ID_EDIT_UNDO)->trigger();
    EXPECT_EQ(doc.song.mergedEvents.size(), events);
    EXPECT_FALSE(doc.isModified());
}

TEST(FrameEndOfPlay, AdvancesThroughThePlaylistAndLoopsTheLastSong) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabApp& app = program.app();
    app.openFiles(
        {corpusFile(kSong), corpusFile(kLongSong), corpusFile("choral-karaoke/test.mid")});
    ASSERT_EQ(app.playlist().currentIndex(), 0);
    program.app().transportCommands().onPlayerStopped();
    EXPECT_EQ(app.playlist().currentIndex(), 1);
    EXPECT_EQ(app.playlist().count(), 3);
    EXPECT_TRUE(frame.player().isPlaying());
    EXPECT_EQ(QFileInfo(QString::fromStdString(frame.document().pathName())).fileName(),
              "mozart_aveverum.mid");
    program.app().transportCommands().stopCommand();

    app.playlist().setCurrentIndex(2);
    settings().playLoop = false;
    program.app().transportCommands().onPlayerStopped();
    EXPECT_FALSE(frame.player().isPlaying()) << "the last song without loop rests";
    settings().playLoop = true;
    program.app().transportCommands().onPlayerStopped();
    EXPECT_TRUE(frame.player().isPlaying()) << "the last song with loop plays again";
    EXPECT_EQ(app.playlist().currentIndex(), 2);
    program.app().transportCommands().stopCommand();
}

TEST(FrameEndOfPlay, EntryThatCannotOpenKeepsTheIndex) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabApp& app = program.app();
    app.openFiles({corpusFile(kSong), QStringLiteral("/nonexistent/gone.mid")});
    program.app().transportCommands().onPlayerStopped();
    EXPECT_EQ(app.playlist().currentIndex(), 0);
    EXPECT_FALSE(frame.player().isPlaying());
    ASSERT_FALSE(program.messages.empty());
    EXPECT_EQ(program.messages.back().text.rfind("Error reading file", 0), 0u);
    EXPECT_EQ(program.messages.back().caption, "Reedtab Midi");
}

TEST(FrameLiveNotes, InputMessagesAreSentToTheOutputAtOnce) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    const auto sent = [&] {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& message : program.output().messages()) {
            if (!message.bytes.empty() && message.bytes[0] < 0xF0) {
                out.push_back(message.bytes);
            }
        }
        return out;
    };
    program.output().clear();
    frame.hub().sendNoteInput(makeNoteInput(NoteInputNoteOn, 3, 64, 90));
    frame.hub().sendNoteInput(makeNoteInput(NoteInputProgram, 3, 21, 0));
    frame.hub().sendNoteInput(makeNoteInput(NoteInputPitchWheel, 3, 0x10, 0x40));
    frame.hub().sendNoteInput(makeNoteInput(NoteInputNoteOff, 3, 64, 0));
    QApplication::processEvents();
    const auto messages = sent();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], (std::vector<std::uint8_t>{0x93, 64, 90}));
    EXPECT_EQ(messages[1], (std::vector<std::uint8_t>{0xC3, 21}));
    EXPECT_EQ(messages[2], (std::vector<std::uint8_t>{0xE3, 0x10, 0x40}));
    EXPECT_EQ(messages[3][0], 0x83);
    EXPECT_EQ(messages[3][1], 64);

    program.output().clear();
    frame.hub().sendNoteInput(makeNoteInput(NoteInputTestNote, 0, 60, 100));
    QApplication::processEvents();
    ASSERT_EQ(sent().size(), 1u) << "the test note's note-off waits 50 ms";
    QTest::qWait(120);
    const auto test = sent();
    ASSERT_EQ(test.size(), 2u);
    EXPECT_EQ(test[0], (std::vector<std::uint8_t>{0x90, 60, 100}));
    EXPECT_EQ(test[1][0], 0x80);
}

TEST(FramePageTurning, ThePageTurnsWhenThePlayPositionLeavesIt) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kLongSong)));
    QApplication::processEvents();
    const int firstPageEnd = frame.view().lastTick();
    ASSERT_GT(firstPageEnd, 0);
    EXPECT_EQ(frame.view().firstTick(), 0);
    program.app().transportCommands().playCommand();
    int turnedAt = -1;
    for (int step = 0; step < 4000 && turnedAt < 0; ++step) {
        program.play(10, 10);
        if (frame.view().firstTick() > 0) {
            turnedAt = frame.player().playTick();
        }
    }
    program.app().transportCommands().stopCommand();
    ASSERT_GE(turnedAt, 0) << "the view never turned its page";
    EXPECT_GE(turnedAt, firstPageEnd - 2 * frame.document().song.division);
    EXPECT_LE(frame.view().firstTick(), turnedAt);
    EXPECT_GT(frame.view().lastTick(), turnedAt);
}

TEST(FrameDump, WritesAPrivateFileAndOpensIt) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    QUrl opened;
    frame.openUrl = [&](const QUrl& url, const std::function<void()>&) { opened = url; };
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    const QString path = frame.dumpCommand();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(opened, QUrl::fromLocalFile(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_GT(file.size(), 100);
    EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
    const QString second = frame.dumpCommand();
    EXPECT_NE(second, path) << "every dump gets its own file";
}

TEST(FrameDrop, DroppedFilesBecomeThePlaylistAndTheFirstOpens) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    frame.openDroppedFiles({corpusFile(kLongSong), corpusFile(kSong)});
    ASSERT_EQ(program.app().playlist().count(), 2);
    EXPECT_EQ(program.app().playlist().currentIndex(), 0);
    EXPECT_EQ(QFileInfo(QString::fromStdString(frame.document().pathName())).fileName(),
              "mozart_aveverum.mid");
}

TEST(FrameClose, AChangedSongAsksFirstAndCancelKeepsTheWindow) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(program.app().openFile(corpusFile(kSong)));
    frame.transposeCommand(1, true);
    program.answer = Answer::Cancel;
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(program.store().readInt(kWindowSection, "Running"), 1);
    program.answer = Answer::No;
    EXPECT_TRUE(frame.close());
    EXPECT_EQ(program.store().readInt(kWindowSection, "Running"), 0);
}

TEST(FramePlacement, SaveWritesTheWindowKeysAndRestorePullsThemOnScreen) {
    auto store = std::make_unique<MemorySettingsStore>();
    MemorySettingsStore* saved = store.get();
    {
        TestProgram program(std::move(store));
        program.frame().setGeometry(30, 40, 900, 500);
        program.frame().savePlacement();
        EXPECT_EQ(saved->readInt(kWindowSection, "Running"), 0);
        EXPECT_EQ(saved->readInt(kWindowSection, "showCmd"), 1);
        EXPECT_EQ(saved->readInt(kWindowSection, "x1"), 30);
        EXPECT_EQ(saved->readInt(kWindowSection, "x2"), 930);
        for (int type = 0; type <= 6; ++type) {
            EXPECT_EQ(saved->readInt(kWindowSection, "Mon" + std::to_string(type) + "On"), 0);
        }
        EXPECT_TRUE(saved->readString(kWindowSection, "DiatonicTuning").has_value());
        EXPECT_TRUE(saved->readInt(kWindowSection, "ChromaticKey").has_value());
    }
    auto offScreen = std::make_unique<MemorySettingsStore>();
    for (auto [key, value] : {std::pair{"flags", 0},
                              {"showCmd", 1},
                              {"x1", 50000},
                              {"y1", 40000},
                              {"x2", 50800},
                              {"y2", 40600}}) {
        offScreen->writeInt(kWindowSection, key, value);
    }
    MemorySettingsStore* restored = offScreen.get();
    TestProgram program(std::move(offScreen));
    const QSize screen = QApplication::primaryScreen()->size();
    EXPECT_LE(program.frame().geometry().left(), screen.width() - 32);
    EXPECT_LE(program.frame().geometry().top(), screen.height() - 32);
    EXPECT_EQ(restored->readInt(kWindowSection, "Running"), 1);
}

} // namespace
} // namespace reedtab
