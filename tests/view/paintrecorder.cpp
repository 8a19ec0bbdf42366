#include "paintrecorder.h"

#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>

#include <algorithm>

namespace reedtab {

// Claims every feature, so that the painter hands over each primitive as it was asked for,
// untransformed, with its state; the engine maps it and the clip itself.
class PaintRecorder::Engine : public QPaintEngine {
public:
    explicit Engine(std::vector<DrawnItem>& items) : QPaintEngine(AllFeatures), items_(items) {}

    bool begin(QPaintDevice*) override {
        transform_ = QTransform();
        clipOn_ = false;
        clip_ = QRectF();
        return true;
    }
    bool end() override { return true; }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags dirty = state.state();
        if (dirty & DirtyTransform) {
            transform_ = state.transform();
        }
        if (dirty & DirtyPen) {
            pen_ = state.pen();
        }
        if (dirty & DirtyBrush) {
            brush_ = state.brush();
        }
        // A clip is given in the coordinates of the transform in force when it was set.
        if (dirty & DirtyClipRegion) {
            setClip(transform_.map(state.clipRegion()).boundingRect(), state.clipOperation());
        }
        if (dirty & DirtyClipPath) {
            setClip(transform_.map(state.clipPath()).boundingRect(), state.clipOperation());
        }
        if (dirty & DirtyClipEnabled) {
            clipOn_ = state.isClipEnabled();
        }
    }

    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            add(DrawnItem::Kind::Fill, transform_.mapRect(rects[i]), brush_.color());
        }
    }
    void drawRects(const QRect* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            const QRectF r(rects[i]);
            drawRects(&r, 1);
        }
    }
    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i) {
            const QLineF l = transform_.map(lines[i]);
            DrawnItem& item = add(DrawnItem::Kind::Line,
                                  stroked(QRectF(l.p1(), l.p2()).normalized()), pen_.color());
            item.line = l;
            item.penWidth = pen_.widthF();
        }
    }
    void drawLines(const QLine* lines, int count) override {
        for (int i = 0; i < count; ++i) {
            const QLineF l(lines[i]);
            drawLines(&l, 1);
        }
    }
    void drawPath(const QPainterPath& path) override {
        add(DrawnItem::Kind::Shape, stroked(transform_.map(path).boundingRect()), pen_.color());
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode) override {
        const QPolygonF polygon(QList<QPointF>(points, points + count));
        add(DrawnItem::Kind::Shape, stroked(transform_.map(polygon).boundingRect()), pen_.color());
    }
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
        QList<QPointF> converted;
        for (int i = 0; i < count; ++i) {
            converted.append(QPointF(points[i]));
        }
        drawPolygon(converted.constData(), count, mode);
    }
    void drawPoints(const QPointF* points, int count) override {
        for (int i = 0; i < count; ++i) {
            const QPointF p = transform_.map(points[i]);
            add(DrawnItem::Kind::Shape, stroked(QRectF(p, p)), pen_.color());
        }
    }
    void drawTextItem(const QPointF& at, const QTextItem& text) override {
        const QRectF box(at.x(), at.y() - text.ascent(), text.width(),
                         text.ascent() + text.descent());
        DrawnItem& item = add(DrawnItem::Kind::Text, transform_.mapRect(box), pen_.color());
        item.text = text.text();
        item.font = text.font();
        const QFontMetricsF metrics(text.font());
        QRectF ink = metrics.tightBoundingRect(text.text());
        if (!ink.isEmpty()) {
            ink.translate(at);
            if (text.font().underline()) {
                ink = ink.united(QRectF(at.x(), at.y() + metrics.underlinePos(), text.width(),
                                        metrics.lineWidth()));
            }
            item.ink = transform_.mapRect(ink);
            item.visibleInk = clipOn_ ? item.ink.intersected(clip_) : item.ink;
        }
    }
    void drawPixmap(const QRectF& r, const QPixmap& pixmap, const QRectF&) override {
        add(DrawnItem::Kind::Picture, transform_.mapRect(r), pen_.color()).pictureSize =
            pixmap.size();
    }
    void drawImage(const QRectF& r, const QImage& image, const QRectF&,
                   Qt::ImageConversionFlags) override {
        add(DrawnItem::Kind::Picture, transform_.mapRect(r), pen_.color()).pictureSize =
            image.size();
    }
    void drawTiledPixmap(const QRectF& r, const QPixmap& pixmap, const QPointF&) override {
        add(DrawnItem::Kind::Picture, transform_.mapRect(r), pen_.color()).pictureSize =
            pixmap.size();
    }

private:
    void setClip(const QRectF& area, Qt::ClipOperation operation) {
        switch (operation) {
        case Qt::NoClip:
            clipOn_ = false;
            clip_ = QRectF();
            break;
        case Qt::ReplaceClip:
            clipOn_ = true;
            clip_ = area;
            break;
        case Qt::IntersectClip:
            clip_ = clipOn_ ? clip_.intersected(area) : area;
            clipOn_ = true;
            break;
        }
    }

    // A stroke covers the pixels its end points lie in, widened by a wide pen.
    QRectF stroked(const QRectF& r) const {
        const qreal extra = std::max<qreal>(0.0, (pen_.widthF() - 1.0) / 2.0);
        return r.adjusted(-extra, -extra, 1.0 + extra, 1.0 + extra);
    }

    DrawnItem& add(DrawnItem::Kind kind, const QRectF& bounds, const QColor& colour) {
        DrawnItem item;
        item.kind = kind;
        item.bounds = bounds;
        item.visible = clipOn_ ? bounds.intersected(clip_) : bounds;
        item.colour = colour;
        items_.push_back(item);
        return items_.back();
    }

    std::vector<DrawnItem>& items_;
    QTransform transform_;
    QPen pen_;
    QBrush brush_;
    bool clipOn_ = false;
    QRectF clip_;
};

PaintRecorder::PaintRecorder(int width, int height)
    : width_(width), height_(height), engine_(std::make_unique<Engine>(items_)) {}

PaintRecorder::~PaintRecorder() = default;

QPaintEngine* PaintRecorder::paintEngine() const {
    return engine_.get();
}

int PaintRecorder::metric(PaintDeviceMetric metric) const {
    constexpr int kDotsPerInch = 96;
    switch (metric) {
    case PdmWidth:
        return width_;
    case PdmHeight:
        return height_;
    case PdmWidthMM:
        return width_ * 254 / (10 * kDotsPerInch);
    case PdmHeightMM:
        return height_ * 254 / (10 * kDotsPerInch);
    case PdmNumColors:
        return 1 << 24;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return kDotsPerInch;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

} // namespace reedtab
