#include "tools/listendisplay.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

constexpr int kGap = 6;
const QColor kInk(32, 32, 32);
const QColor kFaint(128, 128, 128);
const QColor kGood(0, 150, 0);
const QColor kBad(200, 60, 0);

QFont sized(const QFont& base, int pixels, bool bold) {
    QFont font = base;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void caption(QPainter& painter, const QRect& box, const QString& text) {
    painter.setPen(kFaint);
    painter.setFont(sized(painter.font(), 11, false));
    painter.drawText(box.adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop, text);
}

} // namespace

QString noteName(int note) {
    static const char* const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    return QStringLiteral("%1%2")
        .arg(QLatin1String(names[((note % 12) + 12) % 12]))
        .arg(note / 12 - 1);
}

ListenDisplay::ListenDisplay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ListenDisplay::show(const ListenShown& shown) {
    shown_ = shown;
    update();
}

void ListenDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = width();
    const int third = (w - 4 * kGap) / 3;
    const QRect heard(kGap, kGap, third, 96);
    const QRect expected(heard.right() + kGap, kGap, third, 96);
    const QRect score(expected.right() + kGap, kGap, w - expected.right() - 2 * kGap, 96);
    const QRect gauge(kGap, heard.bottom() + kGap, w - 2 * kGap, 62);
    const QRect chart(kGap, gauge.bottom() + kGap, w - 2 * kGap,
                      std::max(40, height() - gauge.bottom() - 2 * kGap));
    for (const QRect& box : {heard, expected, score, gauge, chart}) {
        painter.setPen(palette().color(QPalette::Mid));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box, 4, 4);
    }
    paintHeard(painter, heard);
    paintExpected(painter, expected);
    paintScore(painter, score);
    paintGauge(painter, gauge);
    paintChart(painter, chart);
}

void ListenDisplay::paintHeard(QPainter& painter, const QRect& box) const {
    caption(painter, box, QStringLiteral("Heard"));
    if (!shown_.heard) {
        painter.setPen(kFaint);
        painter.setFont(sized(font(), 28, true));
        painter.drawText(box, Qt::AlignCenter, QStringLiteral("\u2013"));
        return;
    }
    const HeardName& h = *shown_.heard;
    painter.setPen(kInk);
    painter.setFont(sized(font(), 30, true));
    painter.drawText(box.adjusted(0, 14, 0, -38), Qt::AlignCenter, QString::fromStdString(h.tab));
    painter.setFont(sized(font(), 13, true));
    painter.drawText(box.adjusted(0, 0, 0, -22), Qt::AlignHCenter | Qt::AlignBottom,
                     noteName(h.note));
    painter.setFont(sized(font(), 11, false));
    painter.drawText(
        box.adjusted(4, 0, -4, -6), Qt::AlignHCenter | Qt::AlignBottom,
        QString::fromStdString(h.technique.empty() ? centsText(h.cents) : h.technique));
}

void ListenDisplay::paintExpected(QPainter& painter, const QRect& box) const {
    caption(painter, box, QStringLiteral("Expected"));
    painter.setPen(shown_.expected.isEmpty() ? kFaint : kInk);
    painter.setFont(sized(font(), 30, true));
    painter.drawText(box.adjusted(0, 14, 0, -38), Qt::AlignCenter,
                     shown_.expected.isEmpty() ? QStringLiteral("\u2013") : shown_.expected);
    if (shown_.waiting) {
        painter.setPen(kBad);
        painter.setFont(sized(font(), 12, true));
        painter.drawText(box.adjusted(0, 0, 0, -8), Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("waiting for it"));
    }
}

void ListenDisplay::paintScore(QPainter& painter, const QRect& box) const {
    caption(painter, box, QStringLiteral("Pass %1").arg(shown_.pass + 1));
    const PassScore& s = shown_.score;
    painter.setPen(kInk);
    painter.setFont(sized(font(), 26, true));
    painter.drawText(box.adjusted(0, 12, -8, -56), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("%1 %").arg(std::lround(100.0 * s.accuracy)));
    painter.setFont(sized(font(), 11, false));
    QString lines = QStringLiteral("%1 hit, %2 wrong\n%3 missed, %4 extra")
                        .arg(s.hits)
                        .arg(s.wrongs)
                        .arg(s.misses)
                        .arg(s.extras);
    if (s.medianTimingMs) {
        lines += QStringLiteral("\ntiming %1 ms, spread %2 ms")
                     .arg(std::lround(*s.medianTimingMs), 0, 10)
                     .arg(std::lround(*s.timingSpreadMs));
    }
    painter.drawText(box.adjusted(6, 0, -6, -6), Qt::AlignRight | Qt::AlignBottom, lines);
}

void ListenDisplay::paintGauge(QPainter& painter, const QRect& box) const {
    caption(painter, box, QStringLiteral("Bend"));
    if (!shown_.heard || shown_.span.low < 0) {
        return;
    }
    const HoleSpan& span = shown_.span;
    const double low = span.low - 0.5;
    const double high = span.high + 0.5;
    const QRect bar(box.left() + 44, box.top() + 22, box.width() - 88, 12);
    const auto xOf = [&](double pitch) {
        return bar.left() + (pitch - low) / (high - low) * bar.width();
    };
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Midlight));
    painter.drawRoundedRect(bar, 5, 5);
    painter.setFont(sized(font(), 11, false));
    for (int note = span.low; note <= span.high; ++note) {
        const double x = xOf(note);
        painter.setPen(QPen(note == span.plain ? kInk : kFaint, note == span.plain ? 2 : 1));
        painter.drawLine(QPointF(x, bar.top() - 3), QPointF(x, bar.bottom() + 3));
        const std::size_t i = static_cast<std::size_t>(note - span.low);
        const QString label = i < shown_.spanLabels.size() ? shown_.spanLabels[i] : QString();
        painter.drawText(QRectF(x - 30, bar.bottom() + 4, 60, 14), Qt::AlignCenter, label);
    }
    const double pitch = std::clamp(shown_.heardPitch, low, high);
    const int target =
        std::clamp(static_cast<int>(std::lround(shown_.heardPitch)), span.low, span.high);
    const double cents = (shown_.heardPitch - target) * 100.0;
    const QColor mark = std::fabs(cents) <= 15.0 ? kGood : kBad;
    QPainterPath pointer;
    const double x = xOf(pitch);
    pointer.moveTo(x, bar.top() - 1);
    pointer.lineTo(x - 6, bar.top() - 10);
    pointer.lineTo(x + 6, bar.top() - 10);
    pointer.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(mark);
    painter.drawPath(pointer);
    painter.fillRect(QRectF(x - 1.5, bar.top(), 3, bar.height()), mark);
    const std::size_t i = static_cast<std::size_t>(target - span.low);
    const QString of = i < shown_.spanLabels.size() ? shown_.spanLabels[i] : QString();
    painter.setPen(kInk);
    painter.setFont(sized(font(), 12, true));
    painter.drawText(box.adjusted(6, 0, -6, -3), Qt::AlignRight | Qt::AlignBottom,
                     QStringLiteral("%1 of %2").arg(QString::fromStdString(centsText(cents)), of));
}

void ListenDisplay::paintChart(QPainter& painter, const QRect& box) const {
    caption(painter, box, QStringLiteral("Accuracy of every pass of this song"));
    const QRect area = box.adjusted(30, 18, -8, -6);
    painter.setFont(sized(font(), 10, false));
    painter.setPen(kFaint);
    for (const int percent : {0, 50, 100}) {
        const int y = area.bottom() - area.height() * percent / 100;
        painter.drawLine(area.left(), y, area.right(), y);
        painter.drawText(QRect(box.left(), y - 7, 26, 14), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(percent));
    }
    const auto& history = shown_.history;
    if (history.empty()) {
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("no pass yet"));
        return;
    }
    // The latest passes that fit, at most 40, oldest on the left.
    const std::size_t shown = std::min<std::size_t>(history.size(), 40);
    const double step = static_cast<double>(area.width()) / 40.0;
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < shown; ++i) {
        const double accuracy = history[history.size() - shown + i];
        const double h = std::max(1.0, accuracy * area.height());
        painter.setBrush(accuracy >= 0.8 ? kGood : accuracy >= 0.5 ? QColor(220, 160, 0) : kBad);
        painter.drawRect(QRectF(area.left() + i * step + 1, area.bottom() - h, step - 2, h));
    }
}

} // namespace reedtab
