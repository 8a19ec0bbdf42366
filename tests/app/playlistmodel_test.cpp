#include "app/playlistmodel.h"

#include <gtest/gtest.h>

namespace reedtab {
namespace {

PlaylistModel listOf(int n, int current) {
    PlaylistModel list;
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) {
        paths.push_back("/songs/" + std::to_string(i) + ".mid");
    }
    list.replace(paths);
    list.setCurrentIndex(current);
    return list;
}

TEST(PlaylistMove, CurrentEntryDraggedToTopBecomesEntryZero) {
    PlaylistModel list = listOf(6, 4);
    EXPECT_EQ(list.move(4, 0), 0);
    EXPECT_EQ(list.entries()[0], "/songs/4.mid");
    EXPECT_EQ(list.entries()[1], "/songs/0.mid");
    EXPECT_EQ(list.currentIndex(), 0);
}

TEST(PlaylistMove, MovingDownInsertsBeforeDropLineAndShiftsCurrentUp) {
    PlaylistModel list = listOf(6, 2);
    EXPECT_EQ(list.move(0, 4), 3);
    EXPECT_EQ(list.entries(),
              (std::vector<std::string>{"/songs/1.mid", "/songs/2.mid", "/songs/3.mid",
                                        "/songs/0.mid", "/songs/4.mid", "/songs/5.mid"}));
    EXPECT_EQ(list.currentIndex(), 1);
}

TEST(PlaylistMove, MovingUpPastCurrentShiftsItDown) {
    PlaylistModel list = listOf(5, 1);
    EXPECT_EQ(list.move(3, 0), 0);
    EXPECT_EQ(list.currentIndex(), 2);
}

TEST(PlaylistMove, CurrentOutsideTheMovedRangeStays) {
    PlaylistModel list = listOf(6, 5);
    EXPECT_EQ(list.move(0, 3), 2);
    EXPECT_EQ(list.currentIndex(), 5);
    list.setCurrentIndex(0);
    EXPECT_EQ(list.move(4, 2), 2);
    EXPECT_EQ(list.currentIndex(), 0);
}

TEST(PlaylistMove, DropOnItselfTheNextLineOrNowhereDoesNothing) {
    PlaylistModel list = listOf(4, 1);
    const auto before = list.entries();
    EXPECT_EQ(list.move(1, 1), -1);
    EXPECT_EQ(list.move(1, 2), -1);
    EXPECT_EQ(list.move(1, -1), -1);
    EXPECT_EQ(list.move(9, 0), -1);
    EXPECT_EQ(list.move(0, 5), -1);
    EXPECT_EQ(list.entries(), before);
    EXPECT_EQ(list.currentIndex(), 1);
}

TEST(PlaylistMove, DropBelowTheLastLineMovesToTheEnd) {
    PlaylistModel list = listOf(3, 0);
    EXPECT_EQ(list.move(0, 3), 2);
    EXPECT_EQ(list.entries().back(), "/songs/0.mid");
    EXPECT_EQ(list.currentIndex(), 2);
}

TEST(PlaylistRemove, EarlierLineMovesCurrentDownLaterLineLeavesIt) {
    PlaylistModel list = listOf(4, 2);
    EXPECT_TRUE(list.remove(0));
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_EQ(list.currentEntry(), "/songs/2.mid");
    EXPECT_TRUE(list.remove(2));
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_FALSE(list.remove(5));
    EXPECT_EQ(list.count(), 2);
}

TEST(PlaylistRemove, RemovingTheLastCurrentLineKeepsTheIndexInside) {
    PlaylistModel list = listOf(2, 1);
    EXPECT_TRUE(list.remove(1));
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_TRUE(list.remove(0));
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_EQ(list.currentEntry(), "");
}

TEST(PlaylistStep, NextAndPreviousWrapAndNeedTwoEntries) {
    PlaylistModel list = listOf(3, 0);
    EXPECT_EQ(list.nextIndex(), 1);
    EXPECT_EQ(list.previousIndex(), 2);
    list.setCurrentIndex(2);
    EXPECT_EQ(list.nextIndex(), 0);
    EXPECT_EQ(list.previousIndex(), 1);
    PlaylistModel single = listOf(1, 0);
    EXPECT_EQ(single.nextIndex(), -1);
    EXPECT_EQ(single.previousIndex(), -1);
}

TEST(PlaylistFileFormat, WritesHeaderWithIndexThenOnePathPerLine) {
    EXPECT_EQ(formatPlaylistFile(1, {"/a.mid", "/b b.kar", "/c.mid"}),
              "REEDTAB_PLAYLIST 1\n/a.mid\n/b b.kar\n/c.mid\n");
    EXPECT_EQ(formatPlaylistFile(0, {}), "REEDTAB_PLAYLIST 0\n");
}

TEST(PlaylistFileFormat, RoundTripKeepsPathsAndIndex) {
    const std::vector<std::string> paths{"/x/one.mid", "/x/two words.mid", "/ü/drei.kar"};
    auto file = parsePlaylistFile(formatPlaylistFile(2, paths));
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->savedIndex, 2);
    EXPECT_EQ(file->paths, paths);
}

TEST(PlaylistFileFormat, RefusesFileWithoutHeaderWord) {
    EXPECT_FALSE(parsePlaylistFile("").has_value());
    EXPECT_FALSE(parsePlaylistFile("REEDTAB_PLAYLISTX 0\n/a.mid\n").has_value());
    EXPECT_FALSE(parsePlaylistFile("/a.mid\n/b.mid\n").has_value());
    EXPECT_FALSE(parsePlaylistFile("reedtab_playlist 0\n").has_value());
}

TEST(PlaylistFileFormat, SkipsEmptyLinesAndDropsCarriageReturns) {
    auto file = parsePlaylistFile("  REEDTAB_PLAYLIST   -2\r\n\r\n/a.mid\r\n\n\t/tab.mid\n/last");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->savedIndex, -2);
    EXPECT_EQ(file->paths, (std::vector<std::string>{"/a.mid", "/last"}));
}

TEST(PlaylistFileFormat, MissingIndexReadsAsZeroAndHugeIndexSaturates) {
    auto file = parsePlaylistFile("REEDTAB_PLAYLIST\n/a.mid\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->savedIndex, 0);
    EXPECT_EQ(file->paths, std::vector<std::string>{"/a.mid"});
    auto big = parsePlaylistFile("REEDTAB_PLAYLIST 99999999999999999999\n/a.mid\n");
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->savedIndex, 2147483647);
}

TEST(PlaylistFileFormat, LongPathsStayWhole) {
    const std::string longPath = "/" + std::string(600, 'p') + ".mid";
    auto file = parsePlaylistFile("REEDTAB_PLAYLIST 0\n" + longPath + "\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->paths, std::vector<std::string>{longPath});
}

TEST(PlaylistLoad, IntoEmptyListOpensTheSavedIndex) {
    PlaylistModel list;
    auto file = parsePlaylistFile("REEDTAB_PLAYLIST 1\n/a.mid\n/b.mid\n/c.mid\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_TRUE(list.load(*file));
    EXPECT_EQ(list.currentEntry(), "/b.mid");
    EXPECT_TRUE(list.fromPlaylist);
}

TEST(PlaylistLoad, SavedIndexIsClampedIntoTheList) {
    PlaylistModel high;
    EXPECT_TRUE(high.load({7, {"/a.mid", "/b.mid", "/c.mid"}}));
    EXPECT_EQ(high.currentIndex(), 2);
    PlaylistModel low;
    EXPECT_TRUE(low.load({-2, {"/a.mid", "/b.mid", "/c.mid"}}));
    EXPECT_EQ(low.currentIndex(), 0);
}

TEST(PlaylistLoad, IntoNonEmptyListAppendsAndOpensNothing) {
    PlaylistModel list = listOf(2, 1);
    EXPECT_FALSE(list.load({0, {"/a.mid", "/b.mid"}}));
    EXPECT_EQ(list.count(), 4);
    EXPECT_EQ(list.entries()[2], "/a.mid");
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_FALSE(list.fromPlaylist);
}

TEST(PlaylistLoad, FileWithoutPathsLeavesEmptyListClosed) {
    PlaylistModel list;
    EXPECT_FALSE(list.load({3, {}}));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.currentIndex(), 0);
}

} // namespace
} // namespace reedtab
