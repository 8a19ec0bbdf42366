// The tablature text track: its refusals, its texts and where it ends.

#include "documenttesting.h"

#include "document/product.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

struct TabTrackTest : ::testing::Test {
    DocFixture f;
    std::vector<EventRow> before;
    void SetUp() override {
        settings().tabMode = 0;
        MidiSong song;
        beginSong(song, 3);
        addTimeSignature(song, 0, 0, 4, 4);
        addNote(song, 1, 0, 60, 0, 400);
        addNote(song, 1, 0, 64, 480, 880);
        addNote(song, 1, 0, 67, 1920, 2300);
        addNote(song, 2, 1, 48, 960, 1500);
        finishSong(song, 3840);
        f.open(song);
        before = listEvents(f.doc.song);
    }
    std::vector<std::pair<int32_t, std::string>> texts(int track) const {
        std::vector<std::pair<int32_t, std::string>> rows;
        for (const auto& e : f.doc.song.tracks[track]->events) {
            if (e->kind() == KindText)
                rows.emplace_back(e->tick, e->text());
        }
        return rows;
    }
};

TEST_F(TabTrackTest, NewTrackNamesItselfAndEndsAfterTheLastNote) {
    ASSERT_EQ(f.doc.tablatureToTextTrack(), 0);
    ASSERT_EQ(f.ui.questions.size(), 1u);
    EXPECT_EQ(f.ui.questions[0], "This command will create a new track with a text event for "
                                 "every displayed note\nDo you want to continue?");
    ASSERT_EQ(f.doc.song.trackCount(), 4);
    const MidiTrack& track = *f.doc.song.tracks[3];
    EXPECT_EQ(track.name, "Tablature by Reedtab Midi");
    EXPECT_EQ(track.at(0)->kind(), KindTrackName);
    EXPECT_EQ(std::string(track.at(0)->text()), "Tablature by Reedtab Midi");
    EXPECT_EQ(track.at(0)->dataLength, track.name.size() + 1);

    auto rows = texts(3);
    ASSERT_EQ(rows.size(), 2u + 4u + 1u) << "two headers, one group per note, the closing text";
    EXPECT_EQ(rows[0], (std::pair<int32_t, std::string>{0, "@TTablature by Reedtab Midi"}));
    EXPECT_EQ(rows[1], (std::pair<int32_t, std::string>{0, "@TC Instrument Notes"}));
    std::vector<std::pair<int32_t, bool>> groups;
    for (size_t i = 2; i + 1 < rows.size(); ++i) {
        EXPECT_EQ(rows[i].second.back(), ' ') << "a blank after each group";
        groups.emplace_back(rows[i].first, rows[i].second.front() == '/');
    }
    EXPECT_EQ(groups, (std::vector<std::pair<int32_t, bool>>{
                          {0, true}, {480, false}, {960, true}, {1920, true}}))
        << "each track's first note and every note in a new bar start with /";
    EXPECT_EQ(rows.back(),
              (std::pair<int32_t, std::string>{1920, std::string("/") + kProductWebAddress}))
        << "the last note converted (the bass) ends at 1500, before the melody's last group";
    EXPECT_EQ(track.last()->kind(), KindEndOfTrack);
    EXPECT_EQ(track.last()->tick, 1920);
    EXPECT_EQ(roundTrip(f.doc.song, f.folder.file("out.mid")), listEvents(f.doc.song));

    ASSERT_TRUE(f.doc.undo());
    EXPECT_EQ(listEvents(f.doc.song), before);
}

TEST_F(TabTrackTest, MarksLimitTheNotesAndSetTheEnd) {
    f.doc.markBeginningAt(400);
    f.doc.markEndingAt(1920);
    f.doc.song.tracks[2]->flags = 0;
    ASSERT_EQ(f.doc.tablatureToTextTrack(), 0);
    auto rows = texts(3);
    ASSERT_EQ(rows.size(), 2u + 1u + 1u) << "only the note at 480 of the shown track";
    EXPECT_EQ(rows[2].first, 480);
    EXPECT_EQ(rows.back().first, 1920);
    EXPECT_EQ(f.doc.song.tracks[3]->last()->tick, 1920);
}

TEST_F(TabTrackTest, DeclinedOrFullSongsAreLeftAlone) {
    f.ui.yesNoAnswer = false;
    EXPECT_EQ(f.doc.tablatureToTextTrack(), -1);
    EXPECT_EQ(listEvents(f.doc.song), before);
    EXPECT_FALSE(f.doc.isModified());

    while (f.doc.song.trackCount() < 128)
        f.doc.song.tracks.push_back(std::make_unique<MidiTrack>());
    f.ui.questions.clear();
    EXPECT_EQ(f.doc.tablatureToTextTrack(), -1);
    EXPECT_TRUE(f.ui.questions.empty());
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].text, "Maximun number of tracks reached");
    EXPECT_EQ(f.ui.messages[0].caption, "Cannot create track");
    EXPECT_EQ(f.ui.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(f.doc.song.trackCount(), 128);
}

} // namespace
} // namespace reedtab::testing
