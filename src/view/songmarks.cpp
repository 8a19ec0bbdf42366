#include "view/songpainter.h"
#include "view/songpass.h"

#include "model/midiconstants.h"
#include "settings/settings.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <vector>

// The layers of a paint that mark a part of the song: the loop marks and the judged notes of
// a listening pass.

namespace reedtab {

namespace {

const QColor kMarkViolet(64, 0, 192);
const QColor kMarkTint(64, 0, 192, 28);

} // namespace

// A frame around the bar and a thick line under it, drawn before the labels so that they stay
// readable on top.
void SongPainter::drawJudged(Pass& pass) {
    const std::vector<JudgedMark>& marks = *pass.v.judged;
    const QColor colours[] = {toQColor(settings_.colorHit), toQColor(settings_.colorWrong),
                              toQColor(settings_.colorMissed)};
    pass.forEachVisibleEvent([&](int, const MidiEvent& e) {
        if (!e.isNote || e.channel() == kDrumChannel) {
            return;
        }
        const JudgedMark probe{e.tick, pass.song.trackIndexOf(e.track), e.data1};
        const auto found = std::lower_bound(marks.begin(), marks.end(), probe);
        if (found == marks.end() || found->tick != probe.tick || found->track != probe.track ||
            found->key != probe.key) {
            return;
        }
        const QColor colour = colours[static_cast<int>(found->verdict)];
        const PixelRect r = noteRect(pass.l, pass.v.scale, e.data1, e.tick, e.duration);
        QPainter& p = pass.p;
        p.setPen(QPen(colour, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(r.left - 2, r.top - 2), QPoint(r.right + 1, r.bottom + 1)));
        p.fillRect(QRect(QPoint(r.left - 2, r.bottom + 2), QPoint(r.right + 1, r.bottom + 4)),
                   colour);
    });
}

// The marked range is tinted behind the notes, so that they read as they always do.
void SongPainter::drawMarkRange(Pass& pass) {
    const SongPaint& v = pass.v;
    const ViewLayout& l = pass.l;
    const MarkPlaces marks = markPlaces(l, v.scale, v.window, v.markBegin, v.markEnd);
    if (marks.range) {
        pass.p.setClipping(false);
        pass.p.fillRect(QRect(QPoint(marks.rangeLeft, kProgressHeight),
                              QPoint(marks.rangeRight, l.staffBottom)),
                        kMarkTint);
    }
}

// Each mark is a line down the staff with a flag in the strip above it pointing into the range.
void SongPainter::drawMarks(Pass& pass) {
    const SongPaint& v = pass.v;
    const ViewLayout& l = pass.l;
    const MarkPlaces marks = markPlaces(l, v.scale, v.window, v.markBegin, v.markEnd);
    QPainter& p = pass.p;
    p.setClipping(false);
    const int flagTop = kTopBandHeight + 1;
    const int flagBottom = std::max(flagTop, l.staffTop - 1);
    const auto mark = [&](int x, int lineLeft, int pointing) {
        p.fillRect(QRect(QPoint(lineLeft, kTopBandHeight), QPoint(lineLeft + 1, l.staffBottom)),
                   kMarkViolet);
        const int reach = pointing * (flagBottom - flagTop + 1) * 2 / 3;
        const QPoint flag[] = {QPoint(x, flagTop), QPoint(x + reach, (flagTop + flagBottom) / 2),
                               QPoint(x, flagBottom)};
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kMarkViolet);
        p.drawPolygon(flag, 3);
        p.restore();
    };
    if (marks.beginX) {
        mark(*marks.beginX, *marks.beginX, 1);
    }
    if (marks.endX) {
        mark(*marks.endX, *marks.endX - 1, -1);
    }
}

} // namespace reedtab
