#include "view/songprinter.h"

#include "harmonica/notation.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "view/geometry/songwindow.h"
#include "view/songpainter.h"

#include <QFont>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

namespace reedtab {

namespace {

constexpr int kHeaderFontPixels = 11;
constexpr int kTitleX = 500;

// Text placed by its top-left corner, as the layers place theirs.
void drawHeaderText(QPainter& painter, int x, int y, const std::string& text) {
    painter.drawText(QRect(x, y, kPrintPageWidth - x, kPrintPageHeight - y),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                     QString::fromStdString(text));
}

} // namespace

SongPrintJob printJobFor(const MidiSong& song, const Settings& settings,
                         const SongPainter& painter) {
    SongPrintJob job;
    job.song = &song;
    job.options.trebleClef = settings.printTrebleClef;
    job.options.bassClef = settings.printBassClef;
    job.options.beatsPerLine = settings.printBeatsPerLine;
    job.options.tabSpace = settings.printTabSpace;
    job.noColourBars = settings.printNoColorBars;
    job.tabMode = settings.tabMode;
    job.offsetAccidentals = settings.offsetsharpsflats || settings.editMode;
    job.showPitchBends = settings.showPitchBends;
    painter.notation().tabTitle(false, job.tabTitle);
    return job;
}

PrintPageLayout printJobPages(const SongPrintJob& job) {
    PrintSource source;
    if (job.song != nullptr) {
        source.division = songDivision(*job.song);
        source.songLength = job.song->length;
    }
    source.markBegin = job.markBegin;
    source.markEnd = job.markEnd;
    source.screenCentreStep = job.screenCentreStep;
    return printPageLayout(job.options, source);
}

void printLine(QPainter& painter, SongPainter& songPainter, const SongPrintJob& job,
               const PrintPageLayout& page, int pageNumber, int line, SongWindow& window) {
    if (job.song == nullptr) {
        return;
    }
    const MidiSong& song = *job.song;
    ViewLayout measured;
    measured.setMeasuredTextHeight(songPainter.measureTextHeight(painter));
    const PrintLineSpan span = printLineSpan(page, pageNumber, line);
    advanceWindow(window, song, span.firstTick, span.lastTick);
    SongPaint paint;
    paint.song = &song;
    paint.layout = printLineLayout(page, line, measured.textHeight);
    paint.window = window;
    paint.scale.firstTick = span.firstTick;
    paint.scale.pixelsPerBeat = page.unitsPerBeat;
    paint.scale.division = songDivision(song);
    paint.scale.centreStep = page.centreStep;
    paint.scale.transpose = displayTranspose(job.tabMode);
    paint.scale.offsetAccidentals = job.offsetAccidentals;
    paint.playTick = span.firstTick;
    paint.printing = true;
    paint.labelRight = kPrintPageWidth;
    paint.noColourBars = job.noColourBars;
    paint.showPitchBends = job.showPitchBends;
    songPainter.paint(painter, paint);
}

namespace {

void drawPage(QPainter& painter, SongPainter& songPainter, const SongPrintJob& job,
              const PrintPageLayout& page, int pageNumber, SongWindow& window) {
    const QPaintDevice* device = painter.device();
    painter.save();
    painter.setWindow(0, 0, kPrintPageWidth, kPrintPageHeight);
    painter.setViewport(0, 0, device->width(), device->height());
    // A page drawn smaller than its units (the print preview) would drop lines one unit wide.
    painter.setRenderHint(QPainter::Antialiasing);
    if (job.song != nullptr) {
        const int lines = printLinesOnPage(page, pageNumber);
        for (int line = 0; line < lines; ++line) {
            printLine(painter, songPainter, job, page, pageNumber, line, window);
        }
    }

    painter.setClipping(false);
    QFont headerFont(QStringLiteral("Arial"));
    headerFont.setPixelSize(kHeaderFontPixels);
    painter.setFont(headerFont);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    drawHeaderText(painter, 1, 1, job.path);
    drawHeaderText(painter, 1, kPrintFooterY, "Page " + std::to_string(pageNumber));
    if (!job.tabTitle.empty()) {
        drawHeaderText(painter, kTitleX, 1, job.tabTitle);
    }
    painter.restore();
}

} // namespace

void printPage(QPainter& painter, SongPainter& songPainter, const SongPrintJob& job,
               const PrintPageLayout& page, int pageNumber) {
    SongWindow window;
    drawPage(painter, songPainter, job, page, pageNumber, window);
}

int printSong(QPagedPaintDevice& device, SongPainter& songPainter, const SongPrintJob& job,
              int fromPage, int toPage, const PrintProgress& progress) {
    const PrintPageLayout page = printJobPages(job);
    const int first = std::max(1, fromPage);
    const int last = toPage <= 0 ? page.pageCount : std::min(toPage, page.pageCount);
    QPainter painter;
    if (!painter.begin(&device)) {
        return -1;
    }
    // One window for the whole run, so that each line's search starts where the last one's
    // ended.
    SongWindow window;
    int printed = 0;
    for (int pageNumber = first; pageNumber <= last; ++pageNumber) {
        if (printed > 0 && !device.newPage()) {
            break;
        }
        drawPage(painter, songPainter, job, page, pageNumber, window);
        ++printed;
        if (progress && !progress(printed, last - first + 1)) {
            break;
        }
    }
    painter.end();
    return printed;
}

} // namespace reedtab
