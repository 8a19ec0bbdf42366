#include "view/songprinter.h"

#include "viewfixture.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class PrinterTest : public ViewTest {
protected:
    SongPrintJob job() {
        SongPrintJob j = printJobFor(song(), options, view->painter());
        j.path = "/songs/test.mid";
        return j;
    }

    // Pages of a PDF written through printSong, counted in the file itself.
    int writtenPages(const SongPrintJob& j, int from = 1, int to = 0, int* printed = nullptr,
                     const PrintProgress& progress = {}) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter writer(&buffer);
            const int result = printSong(writer, view->painter(), j, from, to, progress);
            if (printed != nullptr) {
                *printed = result;
            }
        }
        const QByteArray pdf = buffer.data();
        int pages = 0;
        for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0;
             at = pdf.indexOf("/Type /Page", at + 1)) {
            pages += pdf.mid(at, 12) != "/Type /Pages" ? 1 : 0;
        }
        return pages;
    }

    // One page drawn 1:1 onto an image of the logical page.
    QImage sheet(const SongPrintJob& j, int pageNumber) {
        QImage image(kPrintPageWidth, kPrintPageHeight, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        printPage(p, view->painter(), j, printJobPages(j), pageNumber);
        return image;
    }

    // The even text height a printed line is laid out with on a 1:1 page.
    int textHeight() {
        QImage probe(1, 1, QImage::Format_RGB32);
        QPainter measure(&probe);
        ViewLayout measured;
        measured.setMeasuredTextHeight(view->painter().measureTextHeight(measure));
        return measured.textHeight;
    }

    static bool inkIn(const QImage& image, const QRect& area) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (image.pixelColor(x, y).lightness() < 160) {
                    return true;
                }
            }
        }
        return false;
    }
};

TEST_F(PrinterTest, PageCountFollowsTheSongAndTheMarks) {
    addNote(0, 72, 0, 480);
    addNote(0, 74, 39000, 480);
    song().length = 40000;
    makeView();
    options.printBassClef = true; // both clefs: 5 lines of 7680 ticks
    SongPrintJob whole = job();
    EXPECT_EQ(printJobPages(whole).pageCount, 2);
    int printed = 0;
    EXPECT_EQ(writtenPages(whole, 1, 0, &printed), 2);
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(writtenPages(whole, 2, 2), 1) << "a page range prints only its pages";

    SongPrintJob marked = whole;
    marked.markBegin = 7680;
    marked.markEnd = 7680 + 38400;
    EXPECT_EQ(printJobPages(marked).pageCount, 1);
    EXPECT_EQ(writtenPages(marked), 1);
    marked.markEnd = -1; // to the song's end
    EXPECT_EQ(writtenPages(marked), 1);

    options.printBassClef = false;
    options.printBeatsPerLine = 4; // 6 lines of 1920 ticks
    EXPECT_EQ(writtenPages(job()), (40000 + 11520 - 1) / 11520);
}

TEST_F(PrinterTest, ProgressIsToldEachPageAndCanStopTheRun) {
    addNote(0, 72, 0, 480);
    song().length = 40000;
    makeView();
    options.printBeatsPerLine = 4; // 6 lines of 1920 ticks: 4 pages
    std::vector<std::pair<int, int>> told;
    const auto stopAfter = [&told](int pages) {
        return [&told, pages](int done, int total) {
            told.emplace_back(done, total);
            return done < pages;
        };
    };
    int printed = 0;
    EXPECT_EQ(writtenPages(job(), 1, 0, &printed, stopAfter(99)), 4);
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));

    told.clear();
    EXPECT_EQ(writtenPages(job(), 1, 0, &printed, stopAfter(2)), 2);
    EXPECT_EQ(printed, 2) << "stopped after the second page";
    EXPECT_EQ(told.size(), 2u);

    told.clear();
    EXPECT_EQ(writtenPages(job(), 2, 3, &printed, stopAfter(99)), 2);
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}})) << "of the range asked";
}

TEST_F(PrinterTest, LinesStartAtTheMarkAndFillThePageTopDown) {
    // Only the treble clef: six lines of 16 beats from the begin mark, which is not on a bar.
    MidiEvent* atMark = addNote(0, 72, 1000, 480);
    MidiEvent* thirdLine = addNote(0, 72, 1000 + 2 * 7680, 480);
    song().length = 60000;
    makeView();
    SongPrintJob j = job();
    j.markBegin = 1000;
    const PrintPageLayout page = printJobPages(j);
    ASSERT_EQ(page.linesPerPage, 6);
    const QImage first = sheet(j, 1);

    ViewScale scale;
    scale.pixelsPerBeat = page.unitsPerBeat;
    scale.division = 480;
    scale.centreStep = page.centreStep;
    for (const auto& [note, line] : {std::pair{atMark, 0}, std::pair{thirdLine, 2}}) {
        const ViewLayout layout = printLineLayout(page, line, textHeight());
        scale.firstTick = printLineTick(page, 1, line);
        const PixelRect bar = noteRect(layout, scale, note->data1, note->tick, note->duration);
        EXPECT_EQ(bar.left, layout.timeLeft) << "line " << line << " starts at the note";
        EXPECT_EQ(first.pixelColor(bar.right - 2, bar.bottom - 2), rgb(options.colorNormal1))
            << "line " << line;
    }
    EXPECT_TRUE(inkIn(first, QRect(1, 1, 120, 11))) << "the path heads the page";
    EXPECT_TRUE(inkIn(first, QRect(500, 1, 150, 11))) << "the tablature title";
    EXPECT_TRUE(inkIn(first, QRect(1, kPrintFooterY, 40, 11))) << "Page 1";
    EXPECT_FALSE(inkIn(first, QRect(0, 18, 1000, 6))) << "no progress strip or drum row";

    j.tabTitle.clear();
    j.path.clear();
    const QImage bare = sheet(j, 1);
    EXPECT_FALSE(inkIn(bare, QRect(500, 1, 150, 11)));
    EXPECT_FALSE(inkIn(bare, QRect(1, 1, 120, 11)));
}

TEST_F(PrinterTest, TheLastPageHoldsOnlyTheLinesLeft) {
    addNote(0, 72, 0, 480);
    song().length = 40000; // both clefs: page 2 has one line of 1600 ticks
    makeView();
    options.printBassClef = true;
    const SongPrintJob j = job();
    const PrintPageLayout page = printJobPages(j);
    const QImage second = sheet(j, 2);
    EXPECT_TRUE(inkIn(second, QRect(0, 18 + 20, 1000, page.lineHeight - 40)));
    EXPECT_FALSE(inkIn(second, QRect(0, page.lineHeight + 40, 1000, page.lineHeight - 60)))
        << "no second line";
}

TEST_F(PrinterTest, JobTakesThePrintSettingsAndWhiteBars) {
    addNote(0, 72, 0, 480);
    song().length = 4000;
    makeView();
    options.printNoColorBars = true;
    options.printBeatsPerLine = 48;
    options.tabMode = 3;
    const SongPrintJob j = job();
    EXPECT_TRUE(j.noColourBars);
    EXPECT_EQ(j.options.beatsPerLine, 48);
    EXPECT_EQ(j.tabTitle, "Bb Instrument Notes");
    EXPECT_EQ(printJobPages(j).unitsPerBeat, 19);

    const QImage page = sheet(j, 1);
    ViewScale scale;
    scale.pixelsPerBeat = 19;
    scale.division = 480;
    scale.centreStep = kPrintCentreTreble;
    scale.transpose = displayTranspose(3);
    const PixelRect bar =
        noteRect(printLineLayout(printJobPages(j), 0, textHeight()), scale, 72, 0, 480);
    EXPECT_EQ(page.pixelColor(bar.right - 2, bar.bottom - 2), QColor(Qt::white));
    EXPECT_LT(page.pixelColor(bar.right - 1, bar.bottom - 1).lightness(), 128) << "outline";
}

TEST_F(PrinterTest, PrintingLeavesTheScreensWindowAlone) {
    addNote(0, 72, 0, 480);
    addNote(0, 60, 20000, 480);
    song().length = 40000;
    CReedtabView& v = makeView();
    v.setZoomIndex(5);
    v.scrollVertically(VScroll::PageDown);
    player.tick = 20000;
    const QImage before = paint();
    const int first = v.firstTick();
    const int centre = v.centreStep();
    options.printBassClef = true;
    EXPECT_EQ(writtenPages(job()), 2);
    EXPECT_EQ(v.zoomIndex(), 5);
    EXPECT_EQ(v.pixelsPerBeat(), 144);
    EXPECT_EQ(v.centreStep(), centre);
    EXPECT_EQ(v.firstTick(), first);
    EXPECT_EQ(paint(), before);
}

} // namespace
} // namespace reedtab
