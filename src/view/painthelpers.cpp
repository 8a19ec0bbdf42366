// The drawing helpers of songpainter.h that the view, the printed pages and the tool windows
// share: colours and fonts from the settings, the text of MIDI events, the focus frame.

#include "view/songpainter.h"

#include "settings/settings.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QStringDecoder>

#include <algorithm>

namespace reedtab {

QColor toQColor(const Rgb& c) {
    return QColor(c.red, c.green, c.blue);
}

const PlacedNoteLabel* LabelPlan::find(int eventIndex) const {
    const auto it = std::lower_bound(
        notes.begin(), notes.end(), eventIndex,
        [](const PlacedNoteLabel& placed, int index) { return placed.eventIndex < index; });
    return it != notes.end() && it->eventIndex == eventIndex ? &*it : nullptr;
}

void paintFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette) {
    painter.save();
    painter.setClipping(false);
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(1, 1, -1, -1));
    painter.restore();
}

QFont fontFromSpec(const FontSpec& spec) {
    QFont font(QString::fromStdString(spec.faceName.empty() ? "Arial" : spec.faceName));
    // A negative height is the character height, a positive one the whole cell.
    if (spec.height < 0) {
        font.setPixelSize(-spec.height);
    } else if (spec.height > 0) {
        font.setPixelSize(spec.height);
        const int cell = QFontMetrics(font).height();
        if (cell > 0) {
            font.setPixelSize(std::max(1, spec.height * spec.height / cell));
        }
    } else {
        font.setPixelSize(12);
    }
    font.setWeight(
        static_cast<QFont::Weight>(std::clamp(spec.weight > 0 ? spec.weight : 400, 1, 1000)));
    font.setItalic(spec.italic);
    return font;
}

QString decodeText(const char* bytes, std::size_t length) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes, static_cast<qsizetype>(length)));
    if (utf8.hasError()) {
        s = QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    }
    return s;
}

} // namespace reedtab
