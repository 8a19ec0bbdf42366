// What the open tool windows add to playback on a dense song, with the piano, diatonic and
// chromatic windows open, and with all six (the mixer, lyrics and events windows besides):
// - the cost of one position report on the user-interface thread (the frame's handling, the
//   windows' notes and the repaint of what changed), median and 99th percentile, measured
//   with the song driven by a manual clock, without windows, with three and with six;
// - the user-interface thread's share of a core while the song plays in real time (the
//   player on its own thread, as in the program).
// Both play from a third into the song.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_tools [song.mid] [seconds]

#include "app/mainframe.h"
#include "app/reedtabapp.h"
#include "app/transportcontroller.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tools/monitor.h"
#include "tools/toolwindows.h"
#include "ui/transporthub.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <time.h>
#include <vector>

namespace {

using namespace reedtab;

// CPU time of this thread: on a machine shared with other work the wall time also counts the
// waits for a core.
double threadMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

struct Program {
    Program(std::unique_ptr<Clock> clock, ManualClock* manual) : manual(manual) {
        settings() = Settings{};
        auto outputClock = std::make_unique<SteadyClock>();
        output = std::make_unique<RecordingOutput>(manual ? static_cast<const Clock&>(*manual)
                                                          : *outputClock);
        output->setKeep(false);
        AppEnvironment environment;
        environment.store = std::make_unique<MemorySettingsStore>();
        environment.outputs = std::make_unique<SingleOutputProvider>(*output);
        environment.clock = std::move(clock);
        environment.outputDevices = {kMidiMapperName};
        steady = std::move(outputClock);
        app = std::make_unique<CReedtabApp>(std::move(environment));
        app->start(QString(), false);
        app->frame().resize(1920, 1080);
        app->frame().show();
        QApplication::processEvents();
    }
    ManualClock* manual;
    std::unique_ptr<SteadyClock> steady;
    std::unique_ptr<RecordingOutput> output;
    std::unique_ptr<CReedtabApp> app;
};

// Plays from a third into the song, past a slow opening.
void startInTheMiddle(CReedtabApp& app) {
    CMainFrame& frame = app.frame();
    frame.player().seek(frame.document().song.length / 3);
    app.transportCommands().startPlaying(false, true);
}

constexpr int kThreeWindows[] = {kMonitorPiano, kMonitorDiatonic, kMonitorChromatic};
constexpr int kSixWindows[] = {kMonitorMixer,     kMonitorPiano,  kMonitorDiatonic,
                               kMonitorChromatic, kMonitorLyrics, kMonitorEvents};

bool openWindows(CMainFrame& frame, std::span<const int> types) {
    for (int type : types) {
        if (!frame.toolWindows().toggle(type)) {
            return false;
        }
    }
    QApplication::processEvents();
    return true;
}

// Reports handled per millisecond step of the manual clock, with the thread time each took.
bool reportCosts(const QString& song, std::span<const int> windows, std::vector<double>& costs) {
    auto clock = std::make_unique<ManualClock>();
    ManualClock* manual = clock.get();
    Program program(std::move(clock), manual);
    CMainFrame& frame = program.app->frame();
    if (!program.app->openFile(song) || !openWindows(frame, windows)) {
        return false;
    }
    int reports = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&reports](const PositionReport&) { ++reports; });
    startInTheMiddle(*program.app);
    for (int step = 0; step < 60000 && costs.size() < 4000; ++step) {
        manual->advance(std::chrono::milliseconds(1));
        frame.player().stream().advanceTo(manual->now());
        reports = 0;
        const double start = threadMicros();
        QApplication::processEvents();
        const double spent = threadMicros() - start;
        if (reports > 0) {
            costs.push_back(spent / reports);
        }
    }
    program.app->transportCommands().stopCommand();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QString song = QString::fromStdString(
        argc > 1 ? argv[1]
                 : std::string(REEDTAB_CORPUS_DIR) + "/songs/bartok/concerto_for_orchestra_1.mid");
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    for (const std::span<const int> windows :
         {std::span<const int>(), std::span<const int>(kThreeWindows),
          std::span<const int>(kSixWindows)}) {
        std::vector<double> costs;
        if (!reportCosts(song, windows, costs)) {
            std::fprintf(stderr, "cannot open %s\n", song.toLocal8Bit().constData());
            return 1;
        }
        std::printf("position report, %zu tool windows: %zu reports, median %.1f us, p99 %.1f us\n",
                    windows.size(), costs.size(), percentile(costs, 0.5), percentile(costs, 0.99));
    }

    Program program(std::make_unique<SteadyClock>(), nullptr);
    CMainFrame& frame = program.app->frame();
    if (!program.app->openFile(song) || !openWindows(frame, kSixWindows)) {
        return 1;
    }
    int reports = 0;
    QObject::connect(&frame.hub(), &TransportHub::positionReached,
                     [&reports](const PositionReport&) { ++reports; });
    startInTheMiddle(*program.app);
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadMicros();
    QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
    QApplication::exec();
    const double wall =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wallStart)
            .count();
    const double cpu = threadMicros() - cpuStart;
    program.app->transportCommands().stopCommand();
    std::printf("user-interface thread while playing %d s with six tool windows: %d reports, "
                "%.1f %% of a core\n",
                seconds, reports, 100.0 * cpu / wall);
    return 0;
}
