// The document's track-state operations: what they change, the one TracksChanged notice when
// something changed, refusals, and that playing goes on (no stop, no undo step).

#include "documenttesting.h"

#include "model/miditrack.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

struct TrackStateTest : DocFixture {
    TrackStateTest() {
        beginSong(doc.song, 3);
        finishSong(doc.song, 480);
        player.playing = true;
    }
    std::uint16_t flagsOf(int track) const { return doc.song.tracks[track]->flags.load(); }
};

TEST(TrackState, FlagsChangeWithOneNoticeOnlyWhenSomethingChanged) {
    TrackStateTest f;
    ASSERT_EQ(f.doc.setTrackFlag(1, TrackMuted | TrackSelected, true), 0);
    EXPECT_EQ(f.flagsOf(1), TrackShown | TrackMuted | TrackSelected);
    EXPECT_EQ(f.ui.trackListRefreshes, 1);
    ASSERT_EQ(f.doc.setTrackFlag(1, TrackMuted, true), 0);
    EXPECT_EQ(f.ui.trackListRefreshes, 1) << "no change, no notice";

    ASSERT_EQ(f.doc.setTrackFlags(TrackMuted, {true, false}), 0);
    EXPECT_EQ(f.flagsOf(0) & TrackMuted, TrackMuted);
    EXPECT_EQ(f.flagsOf(1) & TrackMuted, 0);
    EXPECT_EQ(f.flagsOf(2) & TrackMuted, 0) << "past the end of the list: cleared";
    EXPECT_EQ(f.flagsOf(1) & TrackSelected, TrackSelected) << "other bits stay";
    EXPECT_EQ(f.ui.trackListRefreshes, 2) << "one notice for every track changed at once";
    ASSERT_EQ(f.doc.setTrackFlags(TrackShown, {}), 0);
    EXPECT_EQ(f.flagsOf(2), 0);

    EXPECT_EQ(f.player.stops, 0) << "the song plays on";
    EXPECT_EQ(f.doc.undoType(), UndoNothing);
    EXPECT_FALSE(f.doc.isModified());
}

TEST(TrackState, VolumesAreClampedAndTellNoWindow) {
    TrackStateTest f;
    ASSERT_EQ(f.doc.setTrackVolume(2, 300), 0);
    EXPECT_EQ(f.doc.song.tracks[2]->volumePercent.load(), 255);
    ASSERT_EQ(f.doc.setTrackVolume(2, -5), 0);
    EXPECT_EQ(f.doc.song.tracks[2]->volumePercent.load(), 0);
    EXPECT_EQ(f.ui.trackListRefreshes, 0);
    EXPECT_EQ(f.player.stops, 0);
}

TEST(TrackState, BadTracksAndOtherBitsAreRefused) {
    TrackStateTest f;
    EXPECT_EQ(f.doc.setTrackFlag(3, TrackMuted, true), -1);
    EXPECT_EQ(f.doc.setTrackFlag(-1, TrackMuted, true), -1);
    EXPECT_EQ(f.doc.setTrackFlag(0, 0x8, true), -1);
    EXPECT_EQ(f.doc.setTrackFlags(0x10, {true}), -1);
    EXPECT_EQ(f.doc.setTrackVolume(7, 50), -1);
    EXPECT_EQ(f.flagsOf(0), TrackShown);
    EXPECT_EQ(f.ui.trackListRefreshes, 0);
}

} // namespace
} // namespace reedtab::testing
