#include "view/geometry/labelboxes.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace reedtab {

namespace {

// About two note labels wide: a box seldom spans more than four cells.
constexpr int kCellSize = 32;

PixelRect widened(const PixelRect& box, int x, int y) {
    return PixelRect{box.left - x, box.top - y, box.right + x, box.bottom + y};
}

PixelRect widened(const PixelRect& box, int by) {
    return widened(box, by, by);
}

// The part of the line's parameter 0..1 that lies inside `box`, clipped edge by edge; nothing
// when the line misses it.
std::optional<std::pair<double, double>> insideSpan(const LineSegment& line, const PixelRect& box) {
    const double dx = line.x2 - line.x1;
    const double dy = line.y2 - line.y1;
    double from = 0.0;
    double to = 1.0;
    // For each edge: the line's component towards the outside, and how far inside it starts.
    const std::pair<double, double> edges[] = {
        {-dx, line.x1 - static_cast<double>(box.left)},
        {dx, static_cast<double>(box.right) - line.x1},
        {-dy, line.y1 - static_cast<double>(box.top)},
        {dy, static_cast<double>(box.bottom) - line.y1},
    };
    for (const auto& [outward, room] : edges) {
        if (outward == 0.0) {
            if (room < 0.0) {
                return std::nullopt;
            }
            continue;
        }
        const double t = room / outward;
        if (outward < 0.0) {
            from = std::max(from, t);
        } else {
            to = std::min(to, t);
        }
        if (from > to) {
            return std::nullopt;
        }
    }
    return std::make_pair(from, to);
}

} // namespace

void LabelBoxes::reset(const PixelRect& area) {
    area_ = area;
    columns_ = std::max(1, (area.right - area.left + kCellSize - 1) / kCellSize);
    rows_ = std::max(1, (area.bottom - area.top + kCellSize - 1) / kCellSize);
    boxes_.clear();
    cells_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_), {});
}

int LabelBoxes::column(int x) const {
    return std::clamp((x - area_.left) / kCellSize, 0, columns_ - 1);
}

int LabelBoxes::row(int y) const {
    return std::clamp((y - area_.top) / kCellSize, 0, rows_ - 1);
}

bool LabelBoxes::overlapsAny(const PixelRect& box) const {
    bool any = false;
    forEachOverlapping(box, [&any](const PixelRect&) { any = true; });
    return any;
}

bool LabelBoxes::isFree(const PixelRect& box) const {
    return !overlapsAny(widened(box, kLabelGapX, kLabelGapY));
}

void LabelBoxes::take(const PixelRect& box) {
    if (box.right <= box.left || box.bottom <= box.top || cells_.empty()) {
        return;
    }
    const int index = static_cast<int>(boxes_.size());
    boxes_.push_back(box);
    for (int r = row(box.top); r <= row(box.bottom - 1); ++r) {
        for (int c = column(box.left); c <= column(box.right - 1); ++c) {
            cells_[static_cast<std::size_t>(r * columns_ + c)].push_back(index);
        }
    }
}

std::optional<PixelRect> LabelBoxes::slideRight(PixelRect box, int maxLeft) const {
    // Each step jumps past the right edge of a box in the way, so the search ends after at
    // most as many steps as there are boxes on the row.
    while (box.left <= maxLeft) {
        int blockedUntil = box.left;
        const PixelRect around = widened(box, kLabelGapX, kLabelGapY);
        forEachOverlapping(around, [&blockedUntil](const PixelRect& taken) {
            blockedUntil = std::max(blockedUntil, taken.right + kLabelGapX);
        });
        if (blockedUntil == box.left) {
            return box;
        }
        const int shift = blockedUntil - box.left;
        box.left += shift;
        box.right += shift;
    }
    return std::nullopt;
}

std::vector<LineSegment> segmentsAround(const LabelBoxes& boxes, const LineSegment& line,
                                        int margin) {
    const PixelRect reach{std::min(line.x1, line.x2), std::min(line.y1, line.y2),
                          std::max(line.x1, line.x2) + 1, std::max(line.y1, line.y2) + 1};
    std::vector<std::pair<double, double>> hidden;
    bool swallowed = false;
    boxes.forEachOverlapping(widened(reach, margin), [&](const PixelRect& box) {
        const auto span = insideSpan(line, widened(box, margin));
        if (span) {
            hidden.push_back(*span);
            swallowed = swallowed || (span->first <= 0.0 && span->second >= 1.0);
        }
    });
    if (swallowed) {
        return {};
    }
    if (hidden.empty()) {
        return {line};
    }
    std::sort(hidden.begin(), hidden.end());
    const auto at = [&line](double t) {
        return std::make_pair(static_cast<int>(std::lround(line.x1 + t * (line.x2 - line.x1))),
                              static_cast<int>(std::lround(line.y1 + t * (line.y2 - line.y1))));
    };
    std::vector<LineSegment> pieces;
    const auto keep = [&](double from, double to) {
        if (to <= from) {
            return;
        }
        const auto [x1, y1] = at(from);
        const auto [x2, y2] = at(to);
        if (x1 != x2 || y1 != y2) {
            pieces.push_back(LineSegment{x1, y1, x2, y2});
        }
    };
    double shownFrom = 0.0;
    for (const auto& [from, to] : hidden) {
        keep(shownFrom, from);
        shownFrom = std::max(shownFrom, to);
    }
    keep(shownFrom, 1.0);
    return pieces;
}

} // namespace reedtab
