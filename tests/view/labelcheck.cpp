#include "labelcheck.h"

#include <QLineF>

#include <algorithm>

namespace reedtab {

namespace {

std::string describe(const DrawnItem& item) {
    const QRectF& r = item.visibleInk;
    return "\"" + item.text.toStdString() + "\" at " + std::to_string(r.left()) + "," +
           std::to_string(r.top()) + " to " + std::to_string(r.right()) + "," +
           std::to_string(r.bottom());
}

bool crosses(const QLineF& line, const QRectF& box) {
    if (box.contains(line.p1()) || box.contains(line.p2())) {
        return true;
    }
    const QLineF edges[] = {{box.topLeft(), box.topRight()},
                            {box.topRight(), box.bottomRight()},
                            {box.bottomRight(), box.bottomLeft()},
                            {box.bottomLeft(), box.topLeft()}};
    return std::any_of(std::begin(edges), std::end(edges), [&line](const QLineF& edge) {
        return line.intersects(edge, nullptr) == QLineF::BoundedIntersection;
    });
}

} // namespace

std::vector<std::string> labelFaults(const std::vector<DrawnItem>& items, std::size_t limit) {
    std::vector<const DrawnItem*> texts;
    std::vector<const DrawnItem*> bends;
    for (const DrawnItem& item : items) {
        if (item.kind == DrawnItem::Kind::Text && !item.visibleInk.isEmpty()) {
            texts.push_back(&item);
        } else if (item.kind == DrawnItem::Kind::Line && item.colour == kBendLineColour &&
                   !item.visible.isEmpty()) {
            bends.push_back(&item);
        }
    }
    std::sort(texts.begin(), texts.end(), [](const DrawnItem* a, const DrawnItem* b) {
        return a->visibleInk.left() < b->visibleInk.left();
    });
    std::vector<std::string> faults;
    for (std::size_t i = 0; i < texts.size() && faults.size() < limit; ++i) {
        for (std::size_t j = i + 1;
             j < texts.size() && texts[j]->visibleInk.left() < texts[i]->visibleInk.right(); ++j) {
            if (texts[i]->visibleInk.intersects(texts[j]->visibleInk)) {
                faults.push_back(describe(*texts[i]) + " overlaps " + describe(*texts[j]));
            }
        }
    }
    for (const DrawnItem* bend : bends) {
        const qreal half = bend->penWidth / 2;
        for (const DrawnItem* text : texts) {
            if (faults.size() >= limit) {
                return faults;
            }
            if (crosses(bend->line, text->visibleInk.adjusted(-half, -half, half, half))) {
                faults.push_back("a bend line from " + std::to_string(bend->line.x1()) + "," +
                                 std::to_string(bend->line.y1()) + " to " +
                                 std::to_string(bend->line.x2()) + "," +
                                 std::to_string(bend->line.y2()) + " crosses " + describe(*text));
            }
        }
    }
    return faults;
}

} // namespace reedtab
