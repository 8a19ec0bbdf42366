#include "view/reedtabview.h"

#include "viewfixture.h"

#include "harmonica/notation.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace reedtab {
namespace {

struct Item {
    std::string text;
    int id;
    bool enabled;
};

std::vector<Item> itemsOf(const QMenu& menu) {
    std::vector<Item> items;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            items.push_back({"-", -1, true});
        } else if (action->isVisible()) {
            items.push_back(
                {action->text().toStdString(), action->data().toInt(), action->isEnabled()});
        }
    }
    return items;
}

QAction* actionFor(const QMenu& menu, int id) {
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

// Diatonic tablature on a C harmonica: G above middle C is draw 2, or blow 3 as the alternative.
class NoteMenuTest : public ViewTest {
protected:
    NoteMenuTest() {
        options.tabMode = 1;
        song().tracks[0]->name = "Melody";
        second = addTrack();
        song().tracks[second]->name = "Bass";
        g = addNote(second, 67, 480, 480);
        c = addNote(0, 48, 960, 480);
        doc.subscribe([this](const DocumentNotice& notice) {
            trackNotices += notice.has(TracksChanged) ? 1 : 0;
        });
    }
    // The document's TracksChanged notices: how every window hears of the menu's changes.
    int trackNotices = 0;

    QPoint centreOf(const MidiEvent* note) const {
        const PixelRect r = view->noteRect(*note);
        return QPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }

    int second = 0;
    MidiEvent* g = nullptr;
    MidiEvent* c = nullptr;
};

TEST_F(NoteMenuTest, NoteAtFindsTheNoteUnderThePointer) {
    CReedtabView& v = makeView();
    const NoteHit hit = v.noteAt(centreOf(g).x(), centreOf(g).y());
    EXPECT_EQ(hit.index, indexOf(g));
    EXPECT_EQ(hit.rect, v.noteRect(*g));
    EXPECT_EQ(v.noteAt(centreOf(c).x(), centreOf(c).y()).index, indexOf(c));
    EXPECT_EQ(v.noteAt(centreOf(g).x(), centreOf(g).y() - 40).index, -1);
    song().tracks[second]->flags &= ~TrackShown;
    EXPECT_EQ(v.noteAt(centreOf(g).x(), centreOf(g).y()).index, -1) << "hidden track";
}

TEST_F(NoteMenuTest, MenuOfANoteWhileStoppedAndWhilePlaying) {
    CReedtabView& v = makeView();
    auto menu = v.buildNoteMenu(indexOf(g));
    ASSERT_NE(menu, nullptr);
    const std::vector<Item> stopped = itemsOf(*menu);
    ASSERT_EQ(stopped.size(), 12u) << "one alternative";
    EXPECT_EQ(stopped[0].text, "G Trk:01 Bass");
    EXPECT_EQ(stopped[0].id, kNoteHeadingCommand);
    EXPECT_EQ(stopped[1].text, "-");
    EXPECT_EQ(stopped[2].text, "Track &Properties");
    EXPECT_EQ(stopped[2].id, kTrackPropertiesCommand);
    EXPECT_TRUE(stopped[2].enabled);
    EXPECT_EQ(stopped[3].text, "&Hide Track");
    EXPECT_EQ(stopped[3].id, kHideTrackCommand);
    EXPECT_EQ(stopped[4].text, "Show this &Track only");
    EXPECT_EQ(stopped[4].id, kShowTrackOnlyCommand);
    EXPECT_EQ(stopped[5].text, "Show &all tracks");
    EXPECT_EQ(stopped[5].id, kShowAllTracksCommand);
    EXPECT_EQ(stopped[6].text, "-");
    EXPECT_EQ(stopped[7].text, "Delete Trac&k") << "T is Show this Track only's";
    EXPECT_EQ(stopped[7].id, kDeleteTrackCommand);
    EXPECT_EQ(stopped[8].text, "&Delete Note");
    EXPECT_EQ(stopped[8].id, kDeleteNoteCommand);
    EXPECT_EQ(stopped[9].text, "-") << "no selection, so no Delete Selected Notes";
    EXPECT_EQ(stopped[10].text, "Alternates:");
    EXPECT_EQ(stopped[10].id, 0);
    EXPECT_EQ(stopped[11].text, "    +3");
    EXPECT_EQ(stopped[11].id, kNoteAlternateCommand + 1);

    player.playing = true;
    menu = v.buildNoteMenu(indexOf(g));
    const std::vector<Item> playing = itemsOf(*menu);
    ASSERT_EQ(playing.size(), stopped.size() - 8);
    EXPECT_EQ(playing[0].text, "G Trk:01 Bass");
    EXPECT_EQ(playing[1].text, "-");
    EXPECT_EQ(playing[2].text, "Alternates:");
    EXPECT_EQ(playing[3].text, "    +3");

    EXPECT_EQ(v.buildNoteMenu(-1), nullptr);
    EXPECT_EQ(v.buildNoteMenu(indexOf(g->partner)), nullptr) << "a note-off is no drawn note";
}

TEST_F(NoteMenuTest, NoteNamesHaveNoAlternates) {
    options.tabMode = 0;
    CReedtabView& v = makeView();
    const std::vector<Item> items = itemsOf(*v.buildNoteMenu(indexOf(c)));
    EXPECT_EQ(items.front().text, "C Trk:00 Melody");
    EXPECT_EQ(items.back().id, kDeleteNoteCommand);
}

TEST_F(NoteMenuTest, TrackCommandsChangeTheFlagsThroughTheDocument) {
    CReedtabView& v = makeView();

    QSignalSpy properties(&v, &CReedtabView::trackPropertiesRequested);
    actionFor(*v.buildNoteMenu(indexOf(g)), kTrackPropertiesCommand)->trigger();
    ASSERT_EQ(properties.count(), 1);
    EXPECT_EQ(properties[0][0].toInt(), second) << "the dialog is asked for the note's track";

    actionFor(*v.buildNoteMenu(indexOf(g)), kNoteHeadingCommand)->trigger();
    EXPECT_TRUE(song().tracks[second]->flags & TrackSelected);
    EXPECT_EQ(trackNotices, 1) << "the mixer's list hears of the selection";
    actionFor(*v.buildNoteMenu(indexOf(g)), kNoteHeadingCommand)->trigger();
    EXPECT_FALSE(song().tracks[second]->flags & TrackSelected) << "the heading toggles";
    EXPECT_EQ(trackNotices, 2);

    actionFor(*v.buildNoteMenu(indexOf(g)), kShowTrackOnlyCommand)->trigger();
    EXPECT_TRUE(song().tracks[second]->flags & TrackShown);
    EXPECT_FALSE(song().tracks[0]->flags & TrackShown);
    EXPECT_EQ(trackNotices, 3);
    actionFor(*v.buildNoteMenu(indexOf(g)), kShowAllTracksCommand)->trigger();
    for (const auto& track : song().tracks) {
        EXPECT_TRUE(track->flags & TrackShown) << "every track is shown again";
    }
    EXPECT_EQ(trackNotices, 4);
    actionFor(*v.buildNoteMenu(indexOf(g)), kShowAllTracksCommand)->trigger();
    EXPECT_EQ(trackNotices, 4) << "nothing changed, nothing told";

    doc.setTrackFlag(second, TrackSelected, true);
    actionFor(*v.buildNoteMenu(indexOf(g)), kHideTrackCommand)->trigger();
    EXPECT_EQ(song().tracks[second]->flags & (TrackShown | TrackSelected), 0)
        << "hiding also drops the selection";
    EXPECT_EQ(trackNotices, 6);
    const PixelRect bar = v.noteRect(*g);
    EXPECT_EQ(paint().pixelColor(bar.right - 3, bar.bottom - 2), QColor(Qt::white))
        << "the view repainted without the track";
}

TEST_F(NoteMenuTest, DeletesAskForTracksAndRemoveNotes) {
    CReedtabView& v = makeView();
    std::vector<std::string> questions;
    bool answer = false;
    v.setYesNoQuestion([&](const std::string& text, const std::string& caption) {
        questions.push_back(text + "|" + caption);
        return answer;
    });

    actionFor(*v.buildNoteMenu(indexOf(g)), kDeleteTrackCommand)->trigger();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Are you sure you want to delete the track|Track Delete");
    EXPECT_EQ(song().trackCount(), 2) << "No keeps the track";
    EXPECT_EQ(trackNotices, 0);

    actionFor(*v.buildNoteMenu(indexOf(c)), kDeleteNoteCommand)->trigger();
    EXPECT_EQ(indexOf(c), -1) << "the note is gone from the song";
    EXPECT_TRUE(doc.isModified());

    answer = true;
    const int before = trackNotices;
    actionFor(*v.buildNoteMenu(indexOf(g)), kDeleteTrackCommand)->trigger();
    EXPECT_EQ(song().trackCount(), 1);
    EXPECT_EQ(trackNotices, before + 1);
}

TEST_F(NoteMenuTest, DeleteSelectedNotesRemovesEverySelectedNote) {
    MidiEvent* extra = addNote(0, 72, 1440, 240);
    CReedtabView& v = makeView();
    auto menu = v.buildNoteMenu(indexOf(g), {c, extra});
    QAction* action = actionFor(*menu, kDeleteSelectedNotesCommand);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Delete &Selected Notes"));
    action->trigger();
    EXPECT_EQ(indexOf(c), -1);
    EXPECT_EQ(indexOf(extra), -1);
    EXPECT_NE(indexOf(g), -1);
    EXPECT_EQ(doc.history().undoCount(), 1u) << "one undo step for them all";
    ASSERT_TRUE(doc.undo());
    int notes = 0;
    for (int i = 0; i < song().mergedEvents.count(); ++i) {
        notes += song().mergedEvents[i]->kind() == KindNoteOn ? 1 : 0;
    }
    EXPECT_EQ(notes, 3) << "both notes are back";
}

TEST_F(NoteMenuTest, ChoosingAnAlternateRelabelsTheNoteUntilThePreferredIsChosenAgain) {
    CReedtabView& v = makeView();
    const PixelRect bar = v.noteRect(*g);
    const QRect around(bar.left - 2, bar.top - 30, 60, 34);
    const QImage preferred = paint().copy(around);

    actionFor(*v.buildNoteMenu(indexOf(g)), kNoteAlternateCommand + 1)->trigger();
    EXPECT_EQ(g->fingering, v.painter().notation().fingeringFor(67, 1));
    EXPECT_NE(g->fingering, 0);
    EXPECT_TRUE(doc.isModified());
    const QImage chosen = paint().copy(around);
    EXPECT_NE(chosen, preferred) << "the label now says +3";

    auto menu = v.buildNoteMenu(indexOf(g));
    QAction* three = actionFor(*menu, kNoteAlternateCommand + 1);
    ASSERT_NE(three, nullptr);
    EXPECT_TRUE(three->isChecked());
    QAction* back = actionFor(*menu, kNoteAlternateCommand);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->text(), QStringLiteral("    Use preferred -2"));
    back->trigger();
    EXPECT_EQ(g->fingering, 0);
    EXPECT_EQ(paint().copy(around), preferred);
    EXPECT_EQ(actionFor(*v.buildNoteMenu(indexOf(g)), kNoteAlternateCommand), nullptr)
        << "nothing to go back to";
}

// Right clicks: the note menu pops up on a note, and nothing on an empty part of the staff.
TEST_F(NoteMenuTest, RightClickShowsTheMenuOnlyOnANote) {
    CReedtabView& v = makeView();
    v.show();
    const auto rightClick = [&](QPoint at) {
        bool shown = false;
        QTimer::singleShot(0, [&shown] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                shown = true;
                popup->close();
            }
        });
        QMouseEvent press(QEvent::MouseButtonPress, at, v.viewport()->mapToGlobal(at),
                          Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(v.viewport(), &press);
        QApplication::processEvents();
        return shown;
    };
    EXPECT_TRUE(rightClick(centreOf(g)));
    EXPECT_FALSE(rightClick(centreOf(g) + QPoint(0, 60)));
}

} // namespace
} // namespace reedtab
