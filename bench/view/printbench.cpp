// Time to write the printed pages of a long song as a PDF: the median of 5 runs of the whole
// document (every page, default print options, diatonic tablature), with the page count and
// the pages per second beside it.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_print [song.mid]

#include "document/songedits.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "view/songpainter.h"
#include "view/songprinter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPdfWriter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace reedtab;
    QGuiApplication app(argc, argv);
    const std::string path =
        argc > 1 ? argv[1]
                 : std::string(REEDTAB_CORPUS_DIR) + "/songs/bartok/concerto_for_orchestra_1.mid";
    MidiSong song;
    if (song.loadFile(path) != LoadOk) {
        std::fprintf(stderr, "bench_print: cannot read %s\n", path.c_str());
        return 1;
    }
    Settings options;
    options.tabMode = 1;
    DiatonicLayout diatonic(options);
    ChromaticLayout chromatic(options);
    diatonic.init(60, -1);
    chromatic.init(60, -1);
    markNotes(song, options.showDrumsNotes);
    SongPainter painter(options, diatonic, chromatic);
    SongPrintJob job = printJobFor(song, options, painter);
    job.path = path;

    std::vector<double> seconds;
    int pages = 0;
    qsizetype bytes = 0;
    for (int run = 0; run < 5; ++run) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const auto start = std::chrono::steady_clock::now();
        {
            QPdfWriter writer(&buffer);
            writer.setResolution(300);
            pages = printSong(writer, painter, job);
        }
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        bytes = buffer.size();
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    std::printf("song: %s (%d events, %d ticks)\n", path.c_str(), song.mergedEvents.count(),
                song.length);
    std::printf("PDF of %d pages, %.1f KiB: %.3f s median of 5, %.1f pages/s\n", pages,
                static_cast<double>(bytes) / 1024.0, median, median > 0 ? pages / median : 0.0);
    return 0;
}
