// Paint cost of the tablature view at 1920 x 1080 and at 3840 x 2160 on a dense song: the
// median of 50 full paints (render into the off-screen canvas and copy to the window), and the
// median cost of one position report during playback (recolour the notes just played, redraw
// the progress strip and let the window show the changed pixels).
//
// Usage: QT_QPA_PLATFORM=offscreen bench_view [song.mid]

#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "view/reedtabview.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <time.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace reedtab;

class BenchPlayer : public ViewPlayer {
public:
    bool isPlaying() const override { return playing; }
    std::int32_t playTick() const override { return tick; }
    int nextEventIndex() const override { return next; }
    void seek(std::int32_t t) override { tick = t; }
    void noteOn(int, int, int) override {}
    void noteOff(int, int) override {}

    bool playing = false;
    std::int32_t tick = 0;
    int next = -1;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double elapsedMicros(Clock::time_point from) {
    return std::chrono::duration<double, std::micro>(Clock::now() - from).count();
}

// CPU time of this thread: on a machine shared with other work the wall time also counts the
// waits for a core.
double threadMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The start beat of the window that shows the most notes.
std::int32_t densestWindow(const MidiSong& song, int windowTicks, int& notes) {
    const MergedEventList& list = song.mergedEvents;
    const int division = song.division > 0 ? song.division : 480;
    std::int32_t best = 0;
    notes = 0;
    for (std::int32_t start = 0; start < song.length; start += division) {
        int count = 0;
        for (int i = list.lowerBound(start);
             i < list.count() && list[i]->tick < start + windowTicks; ++i) {
            count += list[i]->isNote != 0;
        }
        if (count > notes) {
            notes = count;
            best = start;
        }
    }
    return best;
}

// Measures one window size on the densest stretch of the song.
void benchAt(CReedtabDoc& doc, Settings& options, const DiatonicLayout& diatonic,
             const ChromaticLayout& chromatic, int width, int height) {
    BenchPlayer player;
    CReedtabView view(doc, player, options, diatonic, chromatic);
    view.refreshNoteFlags();
    view.resize(width, height);
    view.show();
    QApplication::processEvents();

    // A first paint lays out, so that the window width in ticks is known.
    view.repaintView();
    view.viewport()->repaint();
    int notes = 0;
    const std::int32_t start = densestWindow(doc.song, view.visibleTicks(), notes);
    player.tick = start;

    std::vector<double> paints;
    std::vector<double> paintsCpu;
    for (int i = 0; i < 50; ++i) {
        const double c0 = threadMicros();
        const auto t0 = Clock::now();
        view.repaintView();
        view.viewport()->repaint();
        paints.push_back(elapsedMicros(t0) / 1000.0);
        paintsCpu.push_back((threadMicros() - c0) / 1000.0);
    }

    // Playback: the frame recolours every note as the player reaches it and redraws the strip.
    player.playing = true;
    const MergedEventList& list = doc.song.mergedEvents;
    const Rgb played = options.colorPlayed;
    std::vector<double> reports;
    std::vector<double> reportsCpu;
    for (int i = list.lowerBound(start);
         i < list.count() && list[i]->tick < view.lastTick() - 2 * doc.song.division; ++i) {
        player.tick = list[i]->tick;
        player.next = i + 1;
        const double c0 = threadMicros();
        const auto t0 = Clock::now();
        view.redrawNote(i, played);
        view.redrawProgress(list[i]->tick);
        QApplication::processEvents();
        reports.push_back(elapsedMicros(t0));
        reportsCpu.push_back(threadMicros() - c0);
    }

    std::printf("window: %d x %d, %d ticks from tick %d, %d notes visible\n", width, height,
                view.visibleTicks(), start, notes);
    std::printf("  full paint: median %.3f ms wall, %.3f ms CPU of %zu paints (wall min %.3f, "
                "max %.3f)\n",
                median(paints), median(paintsCpu), paints.size(),
                *std::min_element(paints.begin(), paints.end()),
                *std::max_element(paints.begin(), paints.end()));
    if (!reports.empty()) {
        std::printf("  position report: median %.1f us wall, %.1f us CPU of %zu reports (wall "
                    "max %.1f)\n",
                    median(reports), median(reportsCpu), reports.size(),
                    *std::max_element(reports.begin(), reports.end()));
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string path =
        argc > 1 ? argv[1]
                 : std::string(REEDTAB_CORPUS_DIR) + "/songs/bartok/concerto_for_orchestra_1.mid";
    QuietDocumentUi ui;
    IdlePlayerControl control;
    CReedtabDoc doc(ui, control);
    if (doc.song.loadFile(path) != LoadOk) {
        std::fprintf(stderr, "bench_view: cannot read %s\n", path.c_str());
        return 1;
    }
    Settings options;
    options.tabMode = 1;
    DiatonicLayout diatonic(options);
    ChromaticLayout chromatic(options);
    diatonic.init(60, -1);
    chromatic.init(60, -1);
    std::printf("song: %s (%d events, %d tracks)\n", path.c_str(), doc.song.mergedEvents.count(),
                doc.song.trackCount());
    benchAt(doc, options, diatonic, chromatic, 1920, 1080);
    benchAt(doc, options, diatonic, chromatic, 3840, 2160);
    return 0;
}
