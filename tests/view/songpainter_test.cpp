#include "view/songpainter.h"

#include "view/geometry/printlayout.h"

#include "viewfixture.h"

#include <QApplication>
#include <QPainter>
#include <QScreen>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class PainterTest : public ViewTest {
protected:
    // A song with every layer in it: notes on two tracks, a drum hit, a bend, lyrics and marks.
    void buildSong() {
        const int second = addTrack();
        addNote(0, 60, 0, 480);
        addNote(0, 64, 480, 960);
        third = addNote(second, 67, 960, 240);
        addNote(second, 72, 2400, 480);
        addNote(0, 38, 1440, 120, 9);
        song().addEvent(1500, 0, makeChannelEvent(0xE0, 0, 96));
        addLyric(0, 480, "/la");
        addLyric(0, 2000, "\\lu");
        doc.markBegin = 480;
        doc.markEnd = 3000;
        options.showPitchBends = true;
        options.showDrumsNotes = true;
    }

    MidiEvent* third = nullptr;

    QImage paintValue(const SongPaint& value, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter p(&image);
        view->painter().paint(p, value);
        return image;
    }
};

TEST_F(PainterTest, WidgetAndPainterDrawTheSamePicture) {
    buildSong();
    CReedtabView& v = makeView(900, 420);
    const auto shown = [&v] {
        return v.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    };
    QImage window = shown();
    EXPECT_EQ(paintValue(v.songPaint(), window.size()), window);

    // Running, half way through, with one track selected and zoomed in.
    song().tracks[1]->flags |= TrackSelected;
    player.playing = true;
    player.tick = 1000;
    player.next = indexOf(third);
    v.setZoomIndex(5);
    window = shown();
    EXPECT_EQ(paintValue(v.songPaint(), window.size()), window);
}

TEST_F(PainterTest, APrintedWindowLeavesTheScreenWindowAlone) {
    buildSong();
    addNote(0, 62, 30000, 480);
    song().length = 40000;
    CReedtabView& v = makeView(900, 420);
    v.scrollVertically(VScroll::PageDown);
    v.setZoomIndex(1);
    const QImage screen = paint();
    const std::int32_t first = v.firstTick();
    const std::int32_t last = v.lastTick();
    const int centre = v.centreStep();

    PrintSource source;
    source.division = 480;
    source.songLength = song().length;
    const PrintPageLayout page = printPageLayout(PrintOptions{}, source);
    SongPaint paper;
    paper.song = &song();
    paper.printing = true;
    paper.noColourBars = true;
    {
        QImage probe(1, 1, QImage::Format_RGB32);
        QPainter p(&probe);
        paper.layout = printLineLayout(page, 3, -1);
        paper.layout.setMeasuredTextHeight(v.painter().measureTextHeight(p));
    }
    const PrintLineSpan span = printLineSpan(page, 1, 3); // the fourth line of 16 beats
    advanceWindow(paper.window, song(), span.firstTick, span.lastTick);
    paper.scale.firstTick = paper.window.firstTick;
    paper.scale.pixelsPerBeat = page.unitsPerBeat;
    paper.scale.division = 480;
    paper.scale.centreStep = page.centreStep;
    ASSERT_EQ(paper.window.firstTick, 3 * 16 * 480);
    QImage sheet(kPrintPageWidth, kPrintPageHeight, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    {
        QPainter p(&sheet);
        v.painter().paint(p, paper);
    }

    EXPECT_EQ(v.firstTick(), first);
    EXPECT_EQ(v.lastTick(), last);
    EXPECT_EQ(v.centreStep(), centre);
    EXPECT_EQ(v.zoomIndex(), 1);
    EXPECT_EQ(paint(), screen) << "the screen paints as before the printed line";

    // The note at 30000 lies on the printed line, as a white bar with a dark outline.
    const PixelRect bar = noteRect(paper.layout, paper.scale, 62, 30000, 480);
    EXPECT_LT(sheet.pixelColor(bar.left, (bar.top + bar.bottom) / 2).lightness(), 128);
    EXPECT_EQ(sheet.pixelColor(bar.right - 3, bar.bottom - 2), QColor(Qt::white));
    EXPECT_EQ(sheet.pixelColor(3, 3), QColor(Qt::white)) << "no progress strip on paper";
}

TEST_F(PainterTest, PaperLeavesOutHiddenTracksThatTheScreenShowsWhenSelected) {
    const int hidden = addTrack();
    MidiEvent* note = addNote(hidden, 67, 480, 480);
    song().tracks[hidden]->flags = TrackSelected;
    CReedtabView& v = makeView(900, 420);
    const PixelRect r = v.noteRect(*note);
    const QPoint inside(r.right - 3, r.bottom - 2);
    EXPECT_EQ(v.canvas().pixelColor(inside), rgb(options.colorSelect));

    SongPaint paper = v.songPaint();
    paper.printing = true;
    const QImage sheet = paintValue(paper, v.canvas().size());
    EXPECT_EQ(sheet.pixelColor(inside), QColor(Qt::magenta))
        << "nothing drawn there, not even the background";
}

TEST_F(PainterTest, PlayedNoteRedrawReportsThePixelsItTouched) {
    MidiEvent* note = addNote(0, 60, 480, 240);
    CReedtabView& v = makeView();
    QImage image = v.canvas();
    QPainter p(&image);
    const PixelRect touched = v.painter().paintPlayedNote(p, v.songPaint(), v.labelPlan(),
                                                          indexOf(note), QColor(Qt::red));
    p.end();
    const PixelRect bar = v.noteRect(*note);
    EXPECT_LE(touched.left, bar.left);
    EXPECT_GE(touched.right, bar.right);
    EXPECT_LT(touched.top, bar.top) << "the accidental row above the bar";
    EXPECT_EQ(image.pixelColor(bar.left + 3, bar.bottom - 2), QColor(Qt::red));
    const QImage before = v.canvas();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!touched.contains(x, y) && image.pixel(x, y) != before.pixel(x, y)) {
                ADD_FAILURE() << "pixel " << x << "," << y << " changed outside the report";
                return;
            }
        }
    }
    EXPECT_EQ(v.painter().paintPlayedNote(p, v.songPaint(), v.labelPlan(), -1, QColor(Qt::red)),
              PixelRect{});
}

} // namespace
} // namespace reedtab

namespace reedtab {
namespace {

// What the window itself holds between paints (the offscreen platform keeps it in memory).
QImage onScreen(CReedtabView& v) {
    QApplication::processEvents();
    const QPoint at = v.viewport()->mapTo(v.window(), QPoint(0, 0));
    return v.screen()
        ->grabWindow(v.window()->winId(), at.x(), at.y(), v.viewport()->width(),
                     v.viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

TEST_F(PainterTest, PlaybackRedrawsReachTheWindowAndComeBackWhenUncovered) {
    MidiEvent* note = addNote(0, 60, 480, 480);
    CReedtabView& v = makeView();
    v.show();
    const QImage before = onScreen(v);
    const PixelRect bar = v.noteRect(*note);
    v.redrawNote(indexOf(note), options.colorPlayed);
    v.redrawProgress(960);
    const QImage after = onScreen(v);
    EXPECT_NE(before.pixelColor(bar.left + 3, bar.bottom - 2), rgb(options.colorPlayed));
    EXPECT_EQ(after.pixelColor(bar.left + 3, bar.bottom - 2), rgb(options.colorPlayed));
    EXPECT_EQ(after.pixelColor(bar.left, bar.bottom - 2), QColor(Qt::black));
    EXPECT_EQ(after.pixelColor(150, 3), rgb(options.colorPlayed)) << "progress up to tick 960";

    // An uncovered window paints in full and draws the playback redraws again.
    v.viewport()->update();
    EXPECT_EQ(onScreen(v), after);
    v.repaintView();
    EXPECT_NE(onScreen(v).pixelColor(bar.left + 3, bar.bottom - 2), rgb(options.colorPlayed))
        << "a full paint from the player's state forgets them";
}

} // namespace
} // namespace reedtab
