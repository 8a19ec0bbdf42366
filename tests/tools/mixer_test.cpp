// The mixer: its rows and track texts, the play and display boxes with their modifiers, the
// context menu, and what muting and hiding do to the view and to what the player sends.

#include "apptestsupport.h"

#include "app/transportcontroller.h"
#include "toolsongs.h"

#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tools/eventswindow.h"
#include "tools/mixerwindow.h"
#include "tools/toolwindows.h"
#include "ui/transporthub.h"
#include "view/geometry/viewlayout.h"
#include "view/reedtabview.h"
#include "view/songpainter.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace reedtab {
namespace {

using testing::TestProgram;

std::uint16_t flagsOf(const MidiSong& song, int track) {
    return song.tracks[static_cast<std::size_t>(track)]->flags;
}

bool muted(const MidiSong& song, int track) {
    return (flagsOf(song, track) & TrackMuted) != 0;
}

bool shown(const MidiSong& song, int track) {
    return (flagsOf(song, track) & TrackShown) != 0;
}

// Melody on channel 1, drums on channel 10 with lyrics, words and a second melody on channels
// 2 and 3, and a text track without channel events.
void buildBand(MidiSong& song) {
    testing::buildSong(
        song, 4,
        {{0, 0, 60, 0, 480}, {1, 9, 36, 0, 240}, {2, 1, 64, 480, 960}, {2, 2, 67, 480, 960}}, 1920);
    song.setTrackName(0, "Melody");
    song.setTrackName(1, "Drums");
    song.setTrackName(2, "Words");
    song.setTrackName(3, "Notes");
    const char lyric[] = "la";
    song.addEvent(0, 1, makeMetaEvent(MetaLyric, lyric, 2));
    song.tracks[1]->lyricCount = 1;
    song.addEvent(480, 2, makeMetaEvent(MetaLyric, lyric, 2));
    song.tracks[2]->lyricCount = 1;
    song.addEvent(0, 3, makeTextEvent("intro"));
    song.tracks[3]->textCount = 1;
}

CMonMixer* openMixer(TestProgram& program) {
    ToolWindows& tools = program.frame().toolWindows();
    if (!tools.isOpen(kMonitorMixer) && !tools.toggle(kMonitorMixer)) {
        return nullptr;
    }
    return static_cast<CMonMixer*>(tools.window(kMonitorMixer));
}

TEST(Mixer, RowsAndTextsOfASongWithDrumsLyricsAndSeveralChannels) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    buildBand(doc.song);
    doc.song.tracks[2]->volumePercent = 150;
    doc.song.tracks[3]->flags = TrackMuted;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->windowTitle(), QStringLiteral("Reedtab Midi Mixer"));

    const QStringList expected{"00 Melody| Ch 1", "01DDrums| Ch 10", "02LWords| Ch 2 3",
                               "03TNotes"};
    ASSERT_EQ(mixer->trackList()->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(mixer->trackList()->item(i)->text(), expected[i]);
    }
    // Four tracks under twelve: the window holds just the four rows.
    EXPECT_EQ(mixer->visibleRows(), 4);
    EXPECT_EQ(mixer->height(), 4 * CMonMixer::kRowHeight + 15);
    EXPECT_EQ(mixer->trackList()->geometry(), QRect(89, 13, mixer->width() - 91, 4 * 13 + 2));
    for (int r = 0; r < 3; ++r) {
        EXPECT_TRUE(mixer->slider(r)->isVisible()) << r;
        EXPECT_TRUE(mixer->playBox(r)->isChecked()) << r;
        EXPECT_TRUE(mixer->displayBox(r)->isChecked()) << r;
        EXPECT_EQ(mixer->slider(r)->geometry(), QRect(1, 13 * r + 13, 44, 13));
    }
    EXPECT_EQ(mixer->slider(0)->value(), 100);
    EXPECT_EQ(mixer->slider(2)->value(), 150);
    // A muted, hidden track: the slider at 0 and disabled, both boxes empty.
    EXPECT_EQ(mixer->slider(3)->value(), 0);
    EXPECT_FALSE(mixer->slider(3)->isEnabled());
    EXPECT_FALSE(mixer->playBox(3)->isChecked());
    EXPECT_FALSE(mixer->displayBox(3)->isChecked());
    EXPECT_FALSE(mixer->slider(4)->isVisible());
    EXPECT_FALSE(mixer->playBox(4)->isVisible());

    // Each item is drawn with its index over the track's colour and the rest over the list's
    // background, or "colorSelect" once selected.
    mixer->trackList()->item(1)->setSelected(true);
    QApplication::processEvents();
    const QImage image = mixer->trackList()->grab().toImage();
    const QRect item = mixer->trackList()->visualItemRect(mixer->trackList()->item(1));
    const QRect other = mixer->trackList()->visualItemRect(mixer->trackList()->item(0));
    const QPoint name(item.left() + item.width() / 2, item.center().y());
    const Rgb select = settings().colorSelect;
    EXPECT_EQ(QColor(image.pixel(name.x(), name.y() + item.height() / 2 - 2)),
              QColor(select.red, select.green, select.blue));
    EXPECT_NE(image.pixel(name.x(), other.bottom() - 1), image.pixel(name.x(), name.y() + 4));
    EXPECT_TRUE(doc.song.tracks[1]->flags & TrackSelected) << "the list selects the track";
}

TEST(Mixer, PlayAndDisplayBoxesWithTheirModifiersAndAnchors) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    MidiSong& song = doc.song;
    buildBand(song);
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);

    mixer->playClicked(2, Qt::ControlModifier);
    EXPECT_TRUE(muted(song, 0) && muted(song, 1) && muted(song, 3));
    EXPECT_FALSE(muted(song, 2)) << "Ctrl+click solos";
    EXPECT_FALSE(mixer->playBox(0)->isChecked());
    EXPECT_TRUE(mixer->playBox(2)->isChecked());
    EXPECT_EQ(mixer->slider(0)->value(), 0);

    mixer->playClicked(1, Qt::AltModifier);
    EXPECT_TRUE(muted(song, 1));
    EXPECT_FALSE(muted(song, 0) || muted(song, 2) || muted(song, 3)) << "Alt+click mutes one";
    mixer->playClicked(0, Qt::NoModifier);
    EXPECT_TRUE(muted(song, 0)) << "a plain click toggles";
    mixer->playDoubleClicked(3);
    EXPECT_TRUE(muted(song, 0) && muted(song, 1) && muted(song, 2));
    EXPECT_FALSE(muted(song, 3)) << "a double click plays only that track";

    // Shift: the range between the two rows that last took the focus.
    mixer->rowFocused(0);
    mixer->rowFocused(2);
    mixer->playClicked(2, Qt::ShiftModifier);
    EXPECT_FALSE(muted(song, 0) || muted(song, 1) || muted(song, 2));

    mixer->displayClicked(1, Qt::ControlModifier);
    EXPECT_EQ(std::set<bool>({shown(song, 0), shown(song, 2), shown(song, 3)}),
              std::set<bool>{false});
    EXPECT_TRUE(shown(song, 1)) << "Ctrl+click shows only that track";
    mixer->displayClicked(1, Qt::AltModifier);
    EXPECT_FALSE(shown(song, 1));
    EXPECT_TRUE(shown(song, 0) && shown(song, 2) && shown(song, 3));
    mixer->displayDoubleClicked(0);
    EXPECT_TRUE(shown(song, 0));
    EXPECT_FALSE(shown(song, 1) || shown(song, 2) || shown(song, 3));
    mixer->rowFocused(3);
    mixer->displayClicked(3, Qt::ShiftModifier);
    EXPECT_TRUE(shown(song, 2) && shown(song, 3)) << "anchors 2 and 3";
    EXPECT_FALSE(shown(song, 1));
    EXPECT_FALSE(mixer->displayBox(1)->isChecked());
    EXPECT_TRUE(mixer->displayBox(3)->isChecked());

    // The slider sets the volume the player scales velocities with.
    mixer->slider(2)->setValue(40);
    EXPECT_EQ(song.tracks[2]->volumePercent, 40);
}

TEST(Mixer, ClicksKeysAndDoubleClicksAsTheUserMakesThem) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
    MidiSong& song = doc.song;
    buildBand(song);
    std::vector<int> opened;
    frame.toolWindows().context().trackProperties = [&opened](int track) {
        opened.push_back(track);
    };
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    QTest::mouseClick(mixer->playBox(2), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(muted(song, 0) && muted(song, 1) && muted(song, 3));
    EXPECT_FALSE(muted(song, 2));
    QTest::mouseDClick(mixer->displayBox(1), Qt::LeftButton);
    EXPECT_TRUE(shown(song, 1));
    EXPECT_FALSE(shown(song, 0) || shown(song, 2) || shown(song, 3));

    CMyListBox* list = mixer->trackList();
    const auto key = [list](Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, modifiers);
        QApplication::sendEvent(list, &press);
    };
    // Selecting a track outside edit mode makes its first channel the edit channel.
    list->setCurrentRow(2);
    EXPECT_EQ(doc.editChannel, 1);
    list->item(3)->setSelected(true);
    key(Qt::Key_Return);
    EXPECT_FALSE(shown(song, 0) || shown(song, 1));
    EXPECT_TRUE(shown(song, 2) && shown(song, 3)) << "Enter shows exactly the selection";
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(flagsOf(song, 2) & TrackSelected, 0);
    list->item(0)->setSelected(true);
    key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(shown(song, 0) && shown(song, 2) && shown(song, 3));
    EXPECT_FALSE(shown(song, 1)) << "Ctrl+Enter leaves the others";
    list->item(3)->setSelected(true);
    key(Qt::Key_Backspace);
    EXPECT_FALSE(shown(song, 3));
    EXPECT_TRUE(list->item(3)->isSelected());
    key(Qt::Key_Escape);
    EXPECT_TRUE(list->selectedItems().isEmpty());

    // A click on the only selected item lets it go.
    list->setCurrentRow(1);
    ASSERT_EQ(list->selectedItems().size(), 1);
    const QPoint onItem = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, onItem);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_EQ(flagsOf(song, 1) & TrackSelected, 0);
    // A double click as the platform delivers it: press, release, double click, release.
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, onItem);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, onItem);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, onItem);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, onItem);
    EXPECT_EQ(opened, std::vector<int>{1}) << "a double click opens the properties";
}

TEST(Mixer, HidingAndShowingRepaintTheViewAndMutingSilencesTheTrack) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    MidiSong& song = frame.document().song;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    // The track whose notes the view draws, and the channels of every track.
    int melody = -1;
    for (int i = 0; i < song.trackCount() && melody < 0; ++i) {
        const auto& events = song.tracks[static_cast<std::size_t>(i)]->events;
        if (std::any_of(events.begin(), events.end(), [](const auto& e) { return e->isNote; })) {
            melody = i;
        }
    }
    ASSERT_GE(melody, 0);
    ASSERT_FALSE(song.tracks[static_cast<std::size_t>(melody)]->channels.empty());

    const auto viewImage = [&] {
        frame.view().repaintView();
        QApplication::processEvents();
        return frame.view().grab().toImage();
    };
    const QImage before = viewImage();
    ASSERT_LT(melody, mixer->visibleRows());
    mixer->displayClicked(melody, Qt::NoModifier);
    EXPECT_FALSE(shown(song, melody));
    EXPECT_NE(viewImage(), before) << "the view leaves the hidden track out";
    mixer->displayClicked(melody, Qt::NoModifier);
    EXPECT_EQ(viewImage(), before) << "and draws it again once shown";

    // A muted track sends no note-on while the others play on.
    mixer->playClicked(melody, Qt::NoModifier);
    ASSERT_TRUE(muted(song, melody));
    std::set<int> channelsOfMelody;
    for (std::uint8_t c : song.tracks[static_cast<std::size_t>(melody)]->channels) {
        channelsOfMelody.insert(c);
    }
    std::set<int> otherChannels;
    for (int i = 0; i < song.trackCount(); ++i) {
        if (i != melody) {
            for (std::uint8_t c : song.tracks[static_cast<std::size_t>(i)]->channels) {
                otherChannels.insert(c);
            }
        }
    }
    program.output().clear();
    program.app().transportCommands().startPlaying(false, false);
    program.play(4000);
    program.app().transportCommands().stopCommand();
    int mutedOns = 0;
    int otherOns = 0;
    for (const RecordedMessage& m : program.output().messages()) {
        if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) {
            const int channel = m.bytes[0] & 0x0F;
            mutedOns += channelsOfMelody.count(channel) && !otherChannels.count(channel);
            otherOns += otherChannels.count(channel) ? 1 : 0;
        }
    }
    EXPECT_EQ(mutedOns, 0);
    EXPECT_GT(otherOns, 0);

    // Unmuted and played again: its notes are heard.
    mixer->playClicked(melody, Qt::NoModifier);
    program.output().clear();
    program.app().transportCommands().rewindCommand();
    program.app().transportCommands().startPlaying(false, false);
    program.play(4000);
    program.app().transportCommands().stopCommand();
    bool heard = false;
    for (const RecordedMessage& m : program.output().messages()) {
        heard = heard || (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0 &&
                          channelsOfMelody.count(m.bytes[0] & 0x0F));
    }
    EXPECT_TRUE(heard);
}

// Counts the paints a widget gets.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

TEST(Mixer, AChangedColourSettingShowsAtOnceInTheMixerAndTheEventsWindow) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    buildBand(frame.document().song);
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    ASSERT_TRUE(frame.toolWindows().toggle(kMonitorEvents));
    auto* events = static_cast<CMonEvents*>(frame.toolWindows().window(kMonitorEvents));
    QApplication::processEvents();
    QWidget* cells = mixer->trackList()->viewport();
    const PaintCounter counter(cells);

    const Settings before = settings();
    settings().colorNormal1 = Rgb{200, 0, 0};
    settings().colorNormal2 = Rgb{0, 0, 200};
    settings().colorSelect = Rgb{0, 200, 0};
    frame.displayOptionsChanged();
    QApplication::processEvents();
    EXPECT_GT(counter.paints, 0) << "the list is drawn again with the new colours";
    // The index cell of track 0 in the track colour made of the new pair.
    const QImage drawn = cells->grab().toImage();
    const QRect first = mixer->trackList()->visualItemRect(mixer->trackList()->item(0));
    const QColor expected = toQColor(Rgb::fromStored(static_cast<int>(
        trackColour(0, static_cast<std::uint32_t>(settings().colorNormal1.stored()),
                    static_cast<std::uint32_t>(settings().colorNormal2.stored())))));
    EXPECT_EQ(drawn.pixelColor(first.left() + 1, first.top()), expected) << "above the text";
    EXPECT_EQ(events->list()->palette().color(QPalette::Active, QPalette::Highlight),
              QColor(0, 200, 0));
    settings() = before;
}

TEST(Mixer, TheContextMenuFollowsTheSelectionAndThePlayer) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
    buildBand(doc.song);
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    const auto states = [&] {
        std::map<int, bool> enabled;
        const std::unique_ptr<QMenu> menu = mixer->makeContextMenu();
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator()) {
                enabled[action->data().toInt()] = action->isEnabled();
            }
        }
        return enabled;
    };
    std::map<int, bool> enabled = states();
    ASSERT_EQ(enabled.size(), 12U);
    for (int id : {2010, 2011, 2013, 2014, 2021, 2018, 2019, 2020, 2022}) {
        EXPECT_FALSE(enabled[id]) << id << " needs a selection";
    }
    for (int id : {2012, 2015, 2017}) {
        EXPECT_TRUE(enabled[id]) << id;
    }

    mixer->trackList()->item(1)->setSelected(true);
    mixer->trackList()->item(2)->setSelected(true);
    enabled = states();
    for (int id : {2010, 2011, 2013, 2014, 2021, 2019, 2020}) {
        EXPECT_TRUE(enabled[id]) << id;
    }
    EXPECT_TRUE(enabled[2018]) << "the frame opens the track properties";

    std::vector<int> opened;
    frame.toolWindows().context().trackProperties = [&opened](int track) {
        opened.push_back(track);
    };
    ASSERT_TRUE(frame.toolWindows().toggle(kMonitorMixer));
    mixer = openMixer(program);
    ASSERT_TRUE(mixer->trackList()->item(1)->isSelected()) << "the selection is the tracks'";
    EXPECT_TRUE(states()[2018]);
    mixer->runCommand(CMonMixer::kTrackProperties);
    EXPECT_EQ(opened, (std::vector<int>{1, 2})) << "each selected track in turn";

    mixer->runCommand(CMonMixer::kSoloSelected);
    EXPECT_TRUE(muted(doc.song, 0) && muted(doc.song, 3));
    EXPECT_FALSE(muted(doc.song, 1) || muted(doc.song, 2));
    mixer->runCommand(CMonMixer::kShowSelectionOnly);
    EXPECT_FALSE(shown(doc.song, 0) || shown(doc.song, 3));
    mixer->runCommand(CMonMixer::kHideSelection);
    EXPECT_FALSE(shown(doc.song, 1) || shown(doc.song, 2));
    mixer->runCommand(CMonMixer::kShowAll);
    EXPECT_TRUE(shown(doc.song, 0) && shown(doc.song, 1) && shown(doc.song, 2) &&
                shown(doc.song, 3));
    // The track under the pointer alone, whatever the selection; the menu knows its row.
    EXPECT_EQ(mixer->trackAtY(13 + 13 * 3 + 5), 3);
    EXPECT_EQ(mixer->trackAtY(13 + 13 * 4 + 5), -1) << "below the last track";
    EXPECT_EQ(mixer->trackAtY(5), -1) << "the header line";
    std::map<int, bool> onRow;
    const std::unique_ptr<QMenu> rowMenu = mixer->makeContextMenu(3);
    for (QAction* action : rowMenu->actions()) {
        onRow[action->data().toInt()] = action->isEnabled();
    }
    EXPECT_TRUE(onRow[CMonMixer::kShowTrackOnly]);
    mixer->runCommand(CMonMixer::kShowTrackOnly, 3);
    EXPECT_TRUE(shown(doc.song, 3));
    EXPECT_FALSE(shown(doc.song, 0) || shown(doc.song, 1) || shown(doc.song, 2));
    mixer->runCommand(CMonMixer::kShowAll);
    EXPECT_TRUE(shown(doc.song, 0) && shown(doc.song, 1) && shown(doc.song, 2) &&
                shown(doc.song, 3));
    doc.song.tracks[0]->volumePercent = 30;
    mixer->runCommand(CMonMixer::kResetVolumes);
    EXPECT_EQ(doc.song.tracks[0]->volumePercent, 100);
    EXPECT_FALSE(muted(doc.song, 0) || muted(doc.song, 3));
    mixer->runCommand(CMonMixer::kInvertSelection);
    EXPECT_TRUE(mixer->trackList()->item(0)->isSelected());
    EXPECT_FALSE(mixer->trackList()->item(1)->isSelected());
    EXPECT_EQ(flagsOf(doc.song, 3) & TrackSelected, TrackSelected);
    mixer->runCommand(CMonMixer::kMuteSelection);
    EXPECT_TRUE(muted(doc.song, 0) && muted(doc.song, 3));
    EXPECT_FALSE(muted(doc.song, 1));
    mixer->runCommand(CMonMixer::kClearSelection);
    EXPECT_TRUE(mixer->trackList()->selectedItems().isEmpty());
    EXPECT_EQ(flagsOf(doc.song, 0) & TrackSelected, 0);

    // While the song plays the editing items are refused.
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    mixer->trackList()->item(0)->setSelected(true);
    program.app().transportCommands().startPlaying(false, false);
    program.play(50);
    enabled = states();
    EXPECT_TRUE(enabled[2010]);
    EXPECT_FALSE(enabled[2018] || enabled[2019] || enabled[2020]);
    program.app().transportCommands().stopCommand();
}

TEST(Mixer, DeletingAsksThenRemovesFromTheHighestIndexInOneUndoStep) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    CReedtabDoc& doc = frame.document();
    testing::buildSong(doc.song, 6,
                       {{0, 0, 60, 0, 480},
                        {1, 1, 62, 0, 480},
                        {2, 2, 64, 0, 480},
                        {3, 3, 65, 0, 480},
                        {4, 4, 67, 0, 480},
                        {5, 5, 69, 0, 480}},
                       960);
    for (int i = 0; i < 6; ++i) {
        doc.song.setTrackName(i, "T" + std::to_string(i));
    }
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    mixer->trackList()->item(2)->setSelected(true);
    mixer->trackList()->item(5)->setSelected(true);
    std::vector<std::pair<std::string, std::string>> asked;
    frame.questionSink = [&](const std::string& text, const std::string& caption, bool) {
        asked.emplace_back(text, caption);
        return Answer::No;
    };
    mixer->runCommand(CMonMixer::kDeleteTracks);
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].first, "Deleting tracks 2, 5\nAre you sure?");
    EXPECT_EQ(asked[0].second, "Track Delete");
    EXPECT_EQ(doc.song.trackCount(), 6) << "No deletes nothing";
    EXPECT_FALSE(doc.isModified());

    frame.questionSink = [](const std::string&, const std::string&, bool) { return Answer::Yes; };
    mixer->runCommand(CMonMixer::kDeleteTracks);
    ASSERT_EQ(doc.song.trackCount(), 4);
    const QStringList names{"00 T0| Ch 1", "01 T1| Ch 2", "02 T3| Ch 4", "03 T4| Ch 5"};
    ASSERT_EQ(mixer->trackList()->count(), names.size()) << "the list is refilled";
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(mixer->trackList()->item(i)->text(), names[i]);
    }
    EXPECT_EQ(mixer->visibleRows(), 4);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.undoType(), UndoEdit);
    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(doc.song.trackCount(), 6) << "one undo brings both back";
    EXPECT_EQ(mixer->trackList()->count(), 6);

    // One selected track: the singular question, and the Delete key asks it too.
    mixer->trackList()->clearSelection();
    mixer->trackList()->item(3)->setSelected(true);
    asked.clear();
    frame.questionSink = [&](const std::string& text, const std::string& caption, bool) {
        asked.emplace_back(text, caption);
        return Answer::Yes;
    };
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(mixer->trackList(), &del);
    ASSERT_EQ(asked.size(), 1U);
    EXPECT_EQ(asked[0].first, "Deleting track 3\nAre you sure?");
    EXPECT_EQ(doc.song.trackCount(), 5);
}

TEST(Mixer, ApplyingVolumesBakesThemIntoTheSelectedTracks) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    testing::buildSong(doc.song, 2, {{0, 0, 60, 0, 480}, {1, 1, 62, 0, 480}}, 960);
    doc.song.tracks[0]->volumePercent = 50;
    doc.song.tracks[1]->volumePercent = 50;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    mixer->trackList()->item(0)->setSelected(true);
    mixer->runCommand(CMonMixer::kApplyVolume);
    EXPECT_EQ(doc.song.tracks[0]->events.front()->data2, 50);
    EXPECT_EQ(doc.song.tracks[0]->volumePercent, 100);
    EXPECT_EQ(doc.song.tracks[1]->events.front()->data2, 100) << "not selected";
    EXPECT_EQ(doc.song.tracks[1]->volumePercent, 50);
    EXPECT_EQ(mixer->slider(0)->value(), 100);
    EXPECT_EQ(doc.undoType(), UndoEdit);
}

TEST(Mixer, MetersRiseOnNotesAndFallOnTheTimer) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    testing::buildSong(doc.song, 2, {{0, 0, 60, 0, 480}, {1, 1, 62, 0, 480}}, 960);
    MidiSong& song = doc.song;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    const int on = song.mergedEvents.lowerBound(0);
    MidiEvent& note = *song.mergedEvents[static_cast<std::size_t>(on)];
    ASSERT_TRUE(note.isNoteOn());
    const int track = song.trackIndexOf(note.track);
    MidiTrack& meter = *note.track;
    const auto cell = [&] {
        QApplication::processEvents();
        return QColor(mixer->grab().toImage().pixel(CMonMixer::meterRect(track).center()));
    };
    EXPECT_EQ(cell(), CMonMixer::meterColour(0));

    note.data2 = 10;
    mixer->noteOn(note.data1, on, -1);
    EXPECT_EQ(meter.meterLevel, -32) << "a quiet note still lights the meter";
    EXPECT_EQ(cell(), CMonMixer::meterColour(2));
    note.data2 = 127;
    meter.volumePercent = 200;
    mixer->noteOn(note.data1, on, -1);
    EXPECT_EQ(meter.meterLevel, -127);
    EXPECT_EQ(cell(), CMonMixer::meterColour(7));
    // Held, the level creeps back by 4 a tick; let go, it falls by 32.
    mixer->meterTick();
    EXPECT_EQ(meter.meterLevel, -123);
    mixer->noteOff(note.data1, on, -1);
    EXPECT_EQ(meter.meterLevel, 123);
    for (int level : {91, 59, 27, 0}) {
        mixer->meterTick();
        EXPECT_EQ(meter.meterLevel, level);
    }
    EXPECT_EQ(cell(), CMonMixer::meterColour(0));
    meter.meterLevel = -2;
    mixer->meterTick();
    EXPECT_EQ(meter.meterLevel, 0);

    // A muted track at rest is grey.
    mixer->playClicked(track, Qt::NoModifier);
    mixer->meterTick();
    EXPECT_EQ(cell(), QColor(192, 192, 192));

    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(CMonMixer::meterColour(i),
                  QColor(std::min(80 * i, 255), std::min(512 - 64 * i, 255), 0));
    }
}

TEST(Mixer, MetersFollowAPlayingSongAndTheTimerRunsThemDown) {
    TestProgram program;
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    const MidiSong& song = frame.document().song;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    int reached = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&](const PositionReport& report) { reached = report.endEvent; });
    program.app().transportCommands().startPlaying(false, false);
    std::set<int> lit;
    for (int step = 0; step < 40; ++step) {
        program.play(100);
        for (int i = 0; i < song.trackCount(); ++i) {
            if (song.tracks[static_cast<std::size_t>(i)]->meterLevel != 0) {
                lit.insert(i);
            }
        }
    }
    program.app().transportCommands().stopCommand();
    // Every track with a note played lit up, drums included.
    std::set<int> played;
    for (int i = 0; i < reached; ++i) {
        const MidiEvent& e = *song.mergedEvents[static_cast<std::size_t>(i)];
        if (e.isNoteOn()) {
            played.insert(song.trackIndexOf(e.track));
        }
    }
    EXPECT_GE(played.size(), 3U);
    EXPECT_EQ(lit, played);
    for (int tick = 0; tick < 40; ++tick) {
        mixer->meterTick();
    }
    for (const auto& track : song.tracks) {
        EXPECT_EQ(track->meterLevel, 0);
    }
}

TEST(Mixer, TheRowsFollowTheWindowSizeAndTheListScroll) {
    TestProgram program;
    CReedtabDoc& doc = program.frame().document();
    testing::buildSong(doc.song, 20, {{0, 0, 60, 0, 480}}, 960);
    doc.song.tracks[7]->flags |= TrackMuted;
    CMonMixer* mixer = openMixer(program);
    ASSERT_NE(mixer, nullptr);
    // Twenty tracks: the window grows to the twelve rows it opens with at least.
    EXPECT_EQ(mixer->maxTracksOnList(), 12);
    EXPECT_EQ(mixer->visibleRows(), 12);
    EXPECT_EQ(mixer->height(), 12 * 13 + 15);

    // Scrolled down by five items, row 2 stands for track 7.
    mixer->trackList()->verticalScrollBar()->setValue(5);
    EXPECT_FALSE(mixer->playBox(2)->isChecked());
    EXPECT_TRUE(mixer->playBox(1)->isChecked());
    mixer->playClicked(2, Qt::NoModifier);
    EXPECT_FALSE(muted(doc.song, 7));
    EXPECT_EQ(mixer->trackList()->verticalScrollBar()->value(), 5) << "the scroll stays";

    // The user drags the window lower: fewer rows, remembered at close and at the next opening.
    mixer->resize(mixer->width(), 9 * 13 + 15);
    EXPECT_EQ(mixer->visibleRows(), 9);
    EXPECT_TRUE(mixer->slider(8)->isVisible());
    EXPECT_FALSE(mixer->slider(9)->isVisible());
    EXPECT_EQ(mixer->maxTracksOnList(), 9);
    ToolWindows& tools = program.frame().toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorMixer));
    EXPECT_EQ(program.store().readInt(kWindowSection, "Mon1.maxtracksOnList"), 9);
    mixer = openMixer(program);
    EXPECT_EQ(mixer->visibleRows(), 9);
    EXPECT_EQ(mixer->maxTracksOnList(), 9);
}

} // namespace
} // namespace reedtab
