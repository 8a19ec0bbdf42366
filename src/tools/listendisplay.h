#pragma once

// What the Listen window shows of a pass: the heard hole and note, the bend gauge, the expected
// hole, the running score and the chart of every pass of the song.

#include "listen/heardname.h"
#include "listen/judge.h"

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace reedtab {

struct ListenShown {
    /// The pitch heard last, named; none in silence.
    std::optional<HeardName> heard;
    /// It as a fractional MIDI note.
    double heardPitch = 0.0;
    /// Its hole's notes, and the label of each from `span.low` to `span.high`.
    HoleSpan span;
    std::vector<QString> spanLabels;
    /// The hole expected next ("" for none), and whether playing waits for it.
    QString expected;
    bool waiting = false;
    int pass = 0;
    PassScore score;
    /// The accuracy (0..1) of each pass of this song, oldest first.
    std::vector<double> history;
    QString status;
};

/// The note's name with its octave ("A4", "C#5").
QString noteName(int note);

class ListenDisplay : public QWidget {
    Q_OBJECT
public:
    explicit ListenDisplay(QWidget* parent);
    void show(const ListenShown& shown);
    const ListenShown& shown() const { return shown_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintHeard(QPainter& painter, const QRect& box) const;
    void paintExpected(QPainter& painter, const QRect& box) const;
    void paintScore(QPainter& painter, const QRect& box) const;
    void paintGauge(QPainter& painter, const QRect& box) const;
    void paintChart(QPainter& painter, const QRect& box) const;

    ListenShown shown_;
};

} // namespace reedtab
