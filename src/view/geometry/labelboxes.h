#pragma once

// Where the labels of one paint stand, so that the next label goes where none is and a line
// can be drawn around them: note labels, accidentals, bar numbers and time signatures all take
// their boxes here, in the order of their importance, and whatever comes later yields. Plain
// geometry, no painting.

#include "view/geometry/viewlayout.h"

#include <optional>
#include <vector>

namespace reedtab {

// Pixels kept free between two labels: a space's width beside each other, so that two labels
// on one row do not read as one, and a pixel above and below.
inline constexpr int kLabelGapX = 3;
inline constexpr int kLabelGapY = 1;

// The boxes taken in one drawing area. A box covers left..right-1 and top..bottom-1 (two boxes
// that share an edge do not overlap). A grid of cells finds the boxes near a point, so that a
// paint of thousands of labels asks only their neighbours.
class LabelBoxes {
public:
    // Forgets every box; the grid covers `area` (boxes outside it fall into its edge cells).
    void reset(const PixelRect& area);

    // True when `box`, widened by the gaps, overlaps no box taken.
    bool isFree(const PixelRect& box) const;
    // Takes `box` (an empty box takes nothing).
    void take(const PixelRect& box);

    // Where `box` can go if it may slide right, its left edge up to `maxLeft`: the least shift
    // that leaves it free, or nothing when every place up to there is taken.
    std::optional<PixelRect> slideRight(PixelRect box, int maxLeft) const;

    // True when any box taken overlaps `box` (without the gap).
    bool overlapsAny(const PixelRect& box) const;
    // Calls f(box) for every box taken that overlaps `area`; a box that spans several cells
    // may come more than once.
    template <typename F>
    void forEachOverlapping(const PixelRect& area, F&& f) const {
        if (cells_.empty() || area.right <= area.left || area.bottom <= area.top) {
            return;
        }
        for (int r = row(area.top); r <= row(area.bottom - 1); ++r) {
            for (int c = column(area.left); c <= column(area.right - 1); ++c) {
                for (int index : cells_[static_cast<std::size_t>(r * columns_ + c)]) {
                    const PixelRect& box = boxes_[static_cast<std::size_t>(index)];
                    if (overlaps(box, area)) {
                        f(box);
                    }
                }
            }
        }
    }

    const std::vector<PixelRect>& boxes() const { return boxes_; }

    static bool overlaps(const PixelRect& a, const PixelRect& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    }

private:
    int column(int x) const;
    int row(int y) const;

    PixelRect area_;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<PixelRect> boxes_;
    std::vector<std::vector<int>> cells_;
};

// A straight line from (x1, y1) to (x2, y2).
struct LineSegment {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    bool operator==(const LineSegment&) const = default;
};

// The pieces of `line` that pass outside every box taken, each box widened by `margin` pixels
// (half a wide pen and some air): a line drawn around the labels instead of through them.
// Pieces run in the line's direction; a line inside a box leaves none.
std::vector<LineSegment> segmentsAround(const LabelBoxes& boxes, const LineSegment& line,
                                        int margin);

} // namespace reedtab
