#pragma once

// A paint device that keeps what is drawn on it instead of pixels: each fill, line, text and
// picture with where it lands and how much of it the clip in force lets through. Tests say
// with it what a printed line actually put where on the page.

#include <QColor>
#include <QFont>
#include <QLineF>
#include <QPaintDevice>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

namespace reedtab {

struct DrawnItem {
    enum class Kind { Fill, Line, Shape, Text, Picture };
    Kind kind = Kind::Fill;
    QRectF bounds;  // device coordinates: the pixels from left to right - 1, top to bottom - 1
    QRectF visible; // bounds within the clip; empty when the clip hides all of it
    QColor colour;  // the brush of a fill, the pen of anything else
    QString text;   // Text
    QFont font;     // Text
    // Text: the pixels its glyphs cover (the underline of an underlined font included), and
    // the part of them the clip lets through.
    QRectF ink;
    QRectF visibleInk;
    QLineF line;        // Line: from end point to end point
    qreal penWidth = 1; // Line
    QSize pictureSize;
};

class PaintRecorder : public QPaintDevice {
public:
    PaintRecorder(int width, int height);
    ~PaintRecorder() override;
    PaintRecorder(const PaintRecorder&) = delete;
    PaintRecorder& operator=(const PaintRecorder&) = delete;

    QPaintEngine* paintEngine() const override;

    const std::vector<DrawnItem>& items() const { return items_; }
    void clear() { items_.clear(); }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    class Engine;
    int width_;
    int height_;
    std::vector<DrawnItem> items_;
    std::unique_ptr<Engine> engine_;
};

} // namespace reedtab
