#pragma once
// One paint of the song in progress, shared by the files that draw its layers.
//
// Threads: the thread that paints.
#include "model/midisong.h"
#include "view/songpainter.h"

#include <QFont>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace reedtab {

// One paint in progress: the value being drawn and what the layers pass on to each other.
struct SongPainter::Pass {
    Pass(QPainter& painter, const SongPaint& value)
        : p(painter), v(value), l(value.layout), song(*value.song) {}

    // Clipping to a layer's area, on paper too: a printed line draws nothing over its
    // neighbours.
    void clip(int left, int top, int right, int bottom) {
        p.setClipRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
    }

    // The right edge of the layers that write labels.
    int labelRight() const { return v.printing ? std::max(l.right, v.labelRight) : l.right; }

    // Calls f(index, event) for every event from the first visible one until one starts at or
    // after the window's end.
    template <typename F>
    void forEachVisibleEvent(F&& f) const {
        const MergedEventList& list = song.mergedEvents;
        if (v.window.firstVisibleEvent < 0) {
            return;
        }
        for (int i = v.window.firstVisibleEvent;
             i < list.count() && list[i]->tick < v.window.lastTick; ++i) {
            f(i, *list[i]);
        }
    }

    void useFont(const QFont& font) {
        if (currentFont != &font) {
            p.setFont(font);
            currentFont = &font;
        }
    }

    QPainter& p;
    const SongPaint& v;
    const ViewLayout& l;
    const MidiSong& song;
    PaintOutcome out;
    BendTrail* trail = &out.bend;
    // The labels that bend lines go around and that redraws draw again: this paint's own, or
    // those of the full paint a redraw follows.
    const LabelPlan* shown = &out.labels;
    const QFont* currentFont = nullptr;
    std::vector<std::pair<const MidiTrack*, int>> trackIndex;
    // The last text shown of each label on each row, so that a note doubling another (the same
    // label at the same place) is named by its twin's.
    std::map<std::pair<const NoteLabel*, int>, PixelRect> lastText;
};

} // namespace reedtab
