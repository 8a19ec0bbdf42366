#include "view/geometry/labelboxes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace reedtab {
namespace {

LabelBoxes boxesOver(const PixelRect& area) {
    LabelBoxes boxes;
    boxes.reset(area);
    return boxes;
}

TEST(LabelBoxes, ABoxKeepsAGapAroundItAndSharedEdgesDoNotOverlap) {
    LabelBoxes boxes = boxesOver({0, 0, 400, 300});
    const PixelRect taken{100, 50, 120, 60};
    EXPECT_TRUE(boxes.isFree(taken));
    boxes.take(taken);
    EXPECT_FALSE(boxes.isFree(taken));
    EXPECT_FALSE(boxes.isFree({119, 59, 130, 70})) << "a corner inside";
    EXPECT_FALSE(boxes.isFree({120, 50, 130, 60})) << "touching on the right: no gap";
    EXPECT_FALSE(boxes.isFree({122, 50, 130, 60})) << "closer than a space";
    EXPECT_TRUE(boxes.isFree({123, 50, 130, 60})) << "a space apart";
    EXPECT_FALSE(boxes.isFree({100, 60, 120, 70})) << "touching below";
    EXPECT_TRUE(boxes.isFree({100, 61, 120, 70})) << "a pixel apart";
    EXPECT_FALSE(boxes.overlapsAny({120, 50, 130, 60})) << "sharing an edge is no overlap";
    EXPECT_TRUE(boxes.overlapsAny({90, 40, 101, 51}));
    boxes.take({10, 10, 10, 20});
    EXPECT_EQ(boxes.boxes().size(), 1u) << "an empty box takes nothing";
}

TEST(LabelBoxes, BoxesAreFoundAcrossCellsAndOutsideTheArea) {
    LabelBoxes boxes = boxesOver({50, 20, 250, 120});
    // Wider than several cells, and one beyond every edge of the grid.
    boxes.take({60, 30, 240, 40});
    boxes.take({-80, -40, -60, -30});
    boxes.take({300, 200, 320, 210});
    EXPECT_FALSE(boxes.isFree({200, 35, 205, 38}));
    EXPECT_FALSE(boxes.isFree({-75, -38, -70, -35}));
    EXPECT_TRUE(boxes.isFree({-55, -38, -50, -35}));
    EXPECT_FALSE(boxes.isFree({310, 205, 312, 208}));
    int found = 0;
    boxes.forEachOverlapping({0, 0, 400, 300}, [&found](const PixelRect&) { ++found; });
    EXPECT_GE(found, 3);

    boxes.reset({0, 0, 100, 100});
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(boxes.isFree({60, 30, 240, 40}));
}

TEST(LabelBoxes, ALabelSlidesPastWhatIsInItsWayUpToItsLimit) {
    LabelBoxes boxes = boxesOver({0, 0, 500, 100});
    boxes.take({100, 10, 110, 20});
    boxes.take({112, 12, 130, 18});
    const PixelRect label{95, 10, 105, 20};
    const auto spot = boxes.slideRight(label, 200);
    ASSERT_TRUE(spot.has_value());
    EXPECT_EQ(*spot, (PixelRect{133, 10, 143, 20})) << "past both, a space after the second";
    EXPECT_FALSE(boxes.slideRight(label, 132).has_value()) << "the bar ends before the room";
    EXPECT_EQ(boxes.slideRight({10, 10, 20, 20}, 10), (PixelRect{10, 10, 20, 20}));
}

TEST(LabelBoxes, ALineRunsAroundTheBoxesInItsWay) {
    LabelBoxes boxes = boxesOver({0, 0, 400, 200});
    boxes.take({100, 40, 120, 60});

    // Straight through: the part within the box widened by the margin is left out.
    auto pieces = segmentsAround(boxes, {50, 50, 200, 50}, 2);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], (LineSegment{50, 50, 98, 50}));
    EXPECT_EQ(pieces[1], (LineSegment{122, 50, 200, 50}));

    // Missing it, and wholly inside it.
    EXPECT_EQ(segmentsAround(boxes, {50, 80, 200, 30}, 2).size(), 2u) << "diagonal through";
    EXPECT_EQ(segmentsAround(boxes, {50, 10, 200, 10}, 2),
              std::vector<LineSegment>{(LineSegment{50, 10, 200, 10})});
    EXPECT_TRUE(segmentsAround(boxes, {105, 45, 115, 55}, 2).empty());
    EXPECT_TRUE(segmentsAround(boxes, {110, 50, 110, 50}, 0).empty()) << "a point inside";

    // Two boxes in a row, the line running right to left and ending inside the second.
    boxes.take({150, 40, 160, 60});
    pieces = segmentsAround(boxes, {300, 50, 155, 50}, 1);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], (LineSegment{300, 50, 161, 50}));

    // Vertical, through the first box from below.
    pieces = segmentsAround(boxes, {110, 100, 110, 0}, 0);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], (LineSegment{110, 100, 110, 60}));
    EXPECT_EQ(pieces[1], (LineSegment{110, 40, 110, 0}));
}

TEST(LabelBoxes, EachPieceOfALineStaysOutOfEveryBox) {
    LabelBoxes boxes = boxesOver({0, 0, 300, 300});
    for (int k = 0; k < 8; ++k) {
        boxes.take({20 + 30 * k, 30 + 25 * k, 36 + 30 * k, 42 + 25 * k});
    }
    constexpr int margin = 2;
    for (int from = 0; from < 300; from += 37) {
        const LineSegment line{0, from, 299, 299 - from};
        for (const LineSegment& piece : segmentsAround(boxes, line, margin)) {
            // Walk the piece and check every point against every widened box.
            const int steps =
                std::max(std::abs(piece.x2 - piece.x1), std::abs(piece.y2 - piece.y1));
            for (int s = 0; s <= steps; ++s) {
                const double t = steps == 0 ? 0.0 : double(s) / steps;
                const double x = piece.x1 + t * (piece.x2 - piece.x1);
                const double y = piece.y1 + t * (piece.y2 - piece.y1);
                for (const PixelRect& b : boxes.boxes()) {
                    EXPECT_FALSE(x > b.left - margin + 0.5 && x < b.right + margin - 0.5 &&
                                 y > b.top - margin + 0.5 && y < b.bottom + margin - 0.5)
                        << "line from y " << from << " at " << x << "," << y;
                }
            }
        }
    }
}

} // namespace
} // namespace reedtab
