// The edit toolbar over a document of its own: the lengths rule, the settings it reads and
// writes, the track and channel lists, and the edits behind its buttons.

#include "../support/modaldialogs.h"

#include "dialogs/editnewtrack.h"
#include "dialogs/edittoolbar.h"
#include "dialogs/stringentry.h"
#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace reedtab {
namespace {

using testing::whenDialogOpens;

struct Message {
    std::string text;
    std::string caption;
};

class RecordingUi : public QuietDocumentUi {
public:
    void messageBox(const std::string& text, const std::string& caption, MessageIcon) override {
        messages.push_back({text, caption});
    }
    std::vector<Message> messages;
};

class EditToolbarTest : public ::testing::Test {
protected:
    EditToolbarTest() {
        settings() = Settings{};
        doc.makeSongSkeleton();
    }
    ~EditToolbarTest() override { settings() = Settings{}; }

    // A track on `channel` with a quarter note on each of `noteChannels`.
    int addTrack(int channel, const std::string& name, std::vector<int> noteChannels = {}) {
        const int index = doc.addNewTrack(channel, name);
        int32_t tick = 0;
        for (int noteChannel : noteChannels) {
            doc.song.addEvent(tick, index,
                              makeChannelEvent(static_cast<uint8_t>(0x90 | noteChannel), 60, 90));
            doc.song.addEvent(tick + 192, index,
                              makeChannelEvent(static_cast<uint8_t>(0x80 | noteChannel), 60, 0));
            tick += 192;
        }
        return index;
    }

    std::unique_ptr<CEditToolbar> open() {
        return std::make_unique<CEditToolbar>(doc, ui, store, nullptr);
    }

    RecordingUi ui;
    IdlePlayerControl player;
    CReedtabDoc doc{ui, player};
    MemorySettingsStore store;
};

TEST(NoteLengths, SoundingPartOfTheNoteValueAndTheGapAfterIt) {
    const NoteLengths quarter = noteLengths(2, 90, 192);
    EXPECT_EQ(quarter.sounding, 172);
    EXPECT_EQ(quarter.gap, 20);
    const NoteLengths thirtySecond = noteLengths(5, 1, 192);
    EXPECT_EQ(thirtySecond.sounding, 1) << "never 0";
    EXPECT_EQ(thirtySecond.gap, 23);
    EXPECT_EQ(noteValueTicks(6, 480), 160);
    EXPECT_EQ(noteLengths(6, 100, 480).gap, 0);
    const int expected[] = {768, 384, 192, 96, 48, 24, 64};
    for (int value = 0; value < kNoteValueCount; ++value) {
        EXPECT_EQ(noteValueTicks(value, 192), expected[value]) << value;
    }
}

TEST_F(EditToolbarTest, EditModeLastsExactlyAsLongAsTheToolbarAndItsValuesAreStored) {
    addTrack(0, "Lead");
    auto toolbar = open();
    EXPECT_EQ(toolbar->windowTitle(), QStringLiteral("Edit Toolbar"));
    EXPECT_TRUE(settings().editMode);
    EXPECT_EQ(toolbar->noteValue(), 2);
    EXPECT_EQ(toolbar->lengthPercent(), 90);
    EXPECT_EQ(toolbar->velocity(), 127);
    EXPECT_TRUE(toolbar->noteValueButton(2)->isChecked());
    EXPECT_EQ(doc.soundingTicks, 172);
    EXPECT_EQ(doc.gapTicks, 20);

    toolbar->noteValueButton(5)->click();
    EXPECT_EQ(toolbar->noteValue(), 5);
    EXPECT_EQ(doc.soundingTicks + doc.gapTicks, 24);
    toolbar->lengthField()->setValue(50);
    EXPECT_EQ(doc.soundingTicks, 12);
    toolbar->velocityField()->setValue(64);
    EXPECT_EQ(doc.editVelocity, 64) << "mouse-written notes take the toolbar's velocity";
    toolbar->mouseWriteCheck()->setChecked(true);
    EXPECT_TRUE(doc.mouseWrite);
    toolbar->move(120, 80);

    QSignalSpy closed(toolbar.get(), &CEditToolbar::closed);
    toolbar->button(QStringLiteral("Close"))->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(settings().editMode);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.notepercent"), 50);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.notevel"), 64);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.editnote"), 5);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.enablemouse"), 1);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.x1"), 120);
    EXPECT_EQ(store.readInt(kWindowSection, "Edit.y1"), 80);
    toolbar.reset();
    EXPECT_EQ(closed.count(), 1) << "closing is told once";
}

TEST_F(EditToolbarTest, StoredValuesAreReadBackWithinTheirRanges) {
    addTrack(0, "Lead");
    store.writeInt(kWindowSection, "Edit.notepercent", 0);
    store.writeInt(kWindowSection, "Edit.notevel", 300);
    store.writeInt(kWindowSection, "Edit.editnote", 4);
    store.writeInt(kWindowSection, "Edit.enablemouse", 1);
    {
        auto toolbar = open();
        EXPECT_EQ(toolbar->lengthPercent(), 1);
        EXPECT_EQ(toolbar->lengthField()->value(), 1);
        EXPECT_EQ(toolbar->velocity(), 127);
        EXPECT_TRUE(toolbar->noteValueButton(4)->isChecked());
        EXPECT_EQ(doc.soundingTicks, 1);
        EXPECT_EQ(doc.gapTicks, 47);
        EXPECT_TRUE(toolbar->mouseWriteCheck()->isChecked());
        EXPECT_TRUE(doc.mouseWrite);
    }
    store.writeInt(kWindowSection, "Edit.notepercent", 250);
    store.writeInt(kWindowSection, "Edit.notevel", 0);
    auto toolbar = open();
    EXPECT_EQ(toolbar->lengthPercent(), 100);
    EXPECT_EQ(toolbar->velocity(), 1);
    EXPECT_EQ(doc.soundingTicks, 48);
    EXPECT_EQ(doc.gapTicks, 0);
}

TEST_F(EditToolbarTest, TrackAndChannelListsFollowTheEditTrack) {
    addTrack(2, "Harp", {2, 4});
    addTrack(6, "Bass");
    doc.editTrack = 0;
    auto toolbar = open();
    QComboBox* tracks = toolbar->trackList();
    ASSERT_EQ(tracks->count(), 2) << "track 0 is not offered";
    EXPECT_EQ(tracks->itemText(0), QStringLiteral("01 Harp"));
    EXPECT_EQ(tracks->itemText(1), QStringLiteral("02 Bass"));
    EXPECT_EQ(doc.editTrack, 1);
    QComboBox* channels = toolbar->channelList();
    ASSERT_EQ(channels->count(), 2);
    EXPECT_EQ(channels->itemText(0), QStringLiteral("03"));
    EXPECT_EQ(channels->itemText(1), QStringLiteral("05"));
    EXPECT_TRUE(channels->isEnabled());
    EXPECT_EQ(doc.editChannel, 2);
    channels->setCurrentIndex(1);
    EXPECT_EQ(doc.editChannel, 4);

    tracks->setCurrentIndex(1);
    EXPECT_EQ(doc.editTrack, 2);
    ASSERT_EQ(channels->count(), 1);
    EXPECT_EQ(channels->itemText(0), QStringLiteral("07"));
    EXPECT_FALSE(channels->isEnabled());
    EXPECT_EQ(doc.editChannel, 6);

    // A rename elsewhere reaches the list through the document's notice.
    doc.song.setTrackName(2, "Bass 2");
    doc.notify({TracksChanged});
    EXPECT_EQ(tracks->itemText(1), QStringLiteral("02 Bass 2"));
    EXPECT_EQ(tracks->currentIndex(), 1);
}

TEST_F(EditToolbarTest, TheEditTrackStartsAtTheFirstShownTrackAfterTheFirst) {
    addTrack(0, "Hidden");
    addTrack(1, "Shown");
    doc.song.track(1)->flags &= static_cast<uint16_t>(~TrackShown);
    doc.editTrack = 0;
    auto toolbar = open();
    EXPECT_EQ(doc.editTrack, 2);
    EXPECT_EQ(toolbar->trackList()->currentIndex(), 1);
}

TEST_F(EditToolbarTest, ASongWithOnlyItsTempoTrackIsOfferedANewTrack) {
    ASSERT_EQ(doc.song.trackCount(), 1);
    const std::size_t tempoEvents = doc.song.tracks[0]->events.size();
    int dialogs = 0;
    whenDialogOpens([&](QDialog* first) {
        ++dialogs;
        ASSERT_NE(qobject_cast<CEditNewTrack*>(first), nullptr);
        whenDialogOpens([&](QDialog* second) {
            ++dialogs;
            auto* again = qobject_cast<CEditNewTrack*>(second);
            ASSERT_NE(again, nullptr);
            again->nameField()->setText(QStringLiteral("Harp"));
            again->accept();
        });
        first->reject();
    });
    auto toolbar = open();

    EXPECT_EQ(dialogs, 2);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("only track is its tempo track"), std::string::npos);
    ASSERT_EQ(doc.song.trackCount(), 2);
    EXPECT_EQ(doc.song.tracks[0]->events.size(), tempoEvents) << "the tempo track stays";
    ASSERT_EQ(toolbar->trackList()->count(), 1);
    EXPECT_EQ(toolbar->trackList()->currentText(), QStringLiteral("01 Harp"));
    EXPECT_EQ(doc.editTrack, 1) << "entered notes have a track to go to";
}

TEST_F(EditToolbarTest, AnEmptySongGetsItsSkeletonAndTheToolbarInsistsOnANewTrack) {
    doc.resetContents();
    ASSERT_EQ(doc.song.trackCount(), 0);
    int offered = -1;
    whenDialogOpens([&](QDialog* first) {
        auto* dialog = qobject_cast<CEditNewTrack*>(first);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("New Track"));
        offered = dialog->channelIndex();
        whenDialogOpens([](QDialog* second) {
            auto* again = qobject_cast<CEditNewTrack*>(second);
            ASSERT_NE(again, nullptr);
            again->nameField()->setText(QStringLiteral("Lead"));
            again->channelList()->setCurrentIndex(3);
            again->accept();
        });
        first->reject();
    });
    auto toolbar = open();

    EXPECT_EQ(offered, 0) << "the lowest channel no track uses";
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text,
              "You need to create a new track in order to be able to edit an empty file");
    const MidiSong& song = doc.song;
    EXPECT_EQ(song.format, 1);
    EXPECT_EQ(song.division, 192);
    ASSERT_EQ(song.trackCount(), 2);
    std::vector<int> kinds;
    for (const auto& event : song.tracks[0]->events) {
        kinds.push_back(event->kind());
    }
    EXPECT_EQ(kinds.size(), 4u);
    EXPECT_EQ(kinds.back(), KindEndOfTrack);
    EXPECT_EQ(song.tempoAt(0), 500000);
    const TimeSignature signature = song.timeSignatureAt(0);
    EXPECT_EQ(signature.numerator, 4);
    EXPECT_EQ(signature.denominator, 4);
    ASSERT_EQ(song.timeSignatureList.size(), 1u);

    const MidiTrack& lead = *song.tracks[1];
    EXPECT_EQ(lead.name, "Lead");
    ASSERT_EQ(lead.events.size(), 2u);
    EXPECT_EQ(lead.events[0]->kind(), KindTrackName);
    EXPECT_EQ(lead.events[0]->dataLength, 5u) << "the name's length counts its zero";
    EXPECT_EQ(lead.events[1]->kind(), KindEndOfTrack);
    EXPECT_EQ(doc.editTrack, 1);
    EXPECT_EQ(doc.editChannel, 3);
    EXPECT_EQ(toolbar->channelList()->itemText(0), QStringLiteral("04"));
    EXPECT_EQ(toolbar->trackList()->itemText(0), QStringLiteral("01 Lead"));
}

TEST_F(EditToolbarTest, NewTrackIsOneUndoStepAndRefusedAtTheLimit) {
    addTrack(0, "Lead");
    doc.resetUndo();
    auto toolbar = open();
    whenDialogOpens([](QDialog* dialog) {
        static_cast<CEditNewTrack*>(dialog)->nameField()->setText(QStringLiteral("Second"));
        dialog->accept();
    });
    ASSERT_TRUE(toolbar->newTrack());
    EXPECT_EQ(doc.song.trackCount(), 3);
    EXPECT_EQ(doc.editTrack, 2);
    EXPECT_EQ(toolbar->trackList()->count(), 2);
    EXPECT_EQ(toolbar->trackList()->currentIndex(), 1);
    EXPECT_EQ(doc.undoMenuText(), "Undo Edit\tCtrl+Z");
    EXPECT_TRUE(doc.undo());
    EXPECT_EQ(doc.song.trackCount(), 2);
    EXPECT_EQ(toolbar->trackList()->count(), 1) << "the list follows the undo";
    EXPECT_EQ(doc.editTrack, 1);

    while (doc.song.trackCount() < 128) {
        doc.song.tracks.push_back(std::make_unique<MidiTrack>());
    }
    EXPECT_FALSE(toolbar->newTrack()) << "refused before any dialog opens";
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Maximun number of tracks reached");
    EXPECT_EQ(ui.messages.back().caption, "Cannot create track");
    EXPECT_EQ(doc.song.trackCount(), 128);
}

TEST_F(EditToolbarTest, AddTextWritesAtTheEditCursorOfTheEditTrack) {
    const int track = addTrack(0, "Lead");
    auto toolbar = open();
    doc.cursorTick = 384;
    whenDialogOpens([](QDialog* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add Text"));
        static_cast<CStringEntry*>(dialog)->setText(QStringLiteral("Chorus"));
        dialog->accept();
    });
    toolbar->addText();
    const MidiTrack& lead = *doc.song.track(track);
    const auto found = std::find_if(lead.events.begin(), lead.events.end(),
                                    [](const auto& e) { return e->kind() == KindText; });
    ASSERT_NE(found, lead.events.end());
    EXPECT_EQ((*found)->tick, 384);
    EXPECT_STREQ((*found)->text(), "Chorus");
    EXPECT_EQ(doc.undoMenuText(), "Undo Added Text\tCtrl+Z");

    const size_t before = lead.events.size();
    whenDialogOpens([](QDialog* dialog) { dialog->accept(); });
    toolbar->addText();
    EXPECT_EQ(lead.events.size(), before) << "an empty text adds nothing";
}

TEST_F(EditToolbarTest, SilenceStepsTheCursorOverOneNoteValue) {
    addTrack(0, "Lead");
    auto toolbar = open();
    QSignalSpy moved(toolbar.get(), &CEditToolbar::cursorMoved);
    const int undoType = doc.undoType();
    const bool modified = doc.isModified();
    doc.cursorTick = 100;
    toolbar->button(QStringLiteral("Silence"))->click();
    EXPECT_EQ(doc.cursorTick, 292);
    toolbar->setNoteValue(3);
    toolbar->silence();
    EXPECT_EQ(doc.cursorTick, 388);
    EXPECT_EQ(moved.count(), 2);
    EXPECT_EQ(doc.undoType(), undoType) << "a rest moves the cursor, it does not edit the song";
    EXPECT_EQ(doc.isModified(), modified);
}

} // namespace
} // namespace reedtab
