// Undo and redo on a large generated song. For each kind of step (a note added, every note
// transposed, a track deleted, a paste), repeated, it prints the median milliseconds of the edit
// with its recording, of its undo and of its redo, the bytes the step holds in the history, and how
// many such steps the history keeps; and the cost of the first edit after opening, which takes the
// history's image of the song.
//
// usage: bench_document [EVENTS_PER_TRACK] [RUNS]

#include "densesong.h"
#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace reedtab;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct StepFigures {
    std::vector<double> edit, undo, redo;
    size_t bytes = 0;
};

// Runs `edit`, undoes it and redoes it, `runs` times, so that the steps pile up as a user's do.
StepFigures measure(CReedtabDoc& doc, int runs, const std::function<void()>& edit) {
    StepFigures figures;
    for (int i = 0; i < runs; ++i) {
        const size_t before = doc.history().stepBytes();
        auto start = Clock::now();
        edit();
        figures.edit.push_back(msSince(start));
        figures.bytes = doc.history().stepBytes() - before;
        start = Clock::now();
        doc.undo();
        figures.undo.push_back(msSince(start));
        start = Clock::now();
        doc.redo();
        figures.redo.push_back(msSince(start));
    }
    return figures;
}

void print(const char* name, const StepFigures& f) {
    const size_t kept = f.bytes == 0 ? UndoHistory::kMaxSteps
                                     : std::clamp<size_t>(UndoHistory::kStepBytes / f.bytes, 1,
                                                          UndoHistory::kMaxSteps);
    std::printf("%-22s edit %8.1f ms   undo %8.1f ms   redo %8.1f ms   step %10zu bytes   "
                "%3zu such steps kept\n",
                name, median(f.edit), median(f.undo), median(f.redo), f.bytes, kept);
}

} // namespace

int main(int argc, char** argv) {
    const int perTrack = argc > 1 ? std::atoi(argv[1]) : 120000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    long events = 0;
    const std::string bytes = bench::makeDenseFile(perTrack, events);
    const std::string path = "/tmp/reedtab-undobench-" + std::to_string(getpid()) + ".mid";
    if (!bench::writeBenchFile("bench_document", path, bytes))
        return 1;
    QuietDocumentUi ui;
    IdlePlayerControl player;
    CReedtabDoc doc(ui, player);
    auto start = Clock::now();
    const int read = doc.openDocument(path);
    const double openMs = msSince(start);
    std::remove(path.c_str());
    if (read != LoadOk) {
        std::fprintf(stderr, "bench_document: the generated song does not read (%d)\n", read);
        return 1;
    }
    std::printf("song: %ld events in %d tracks, file %.1f MB, opened in %.0f ms\n", events,
                doc.song.trackCount(), static_cast<double>(bytes.size()) / 1e6, openMs);

    const int32_t middle = doc.song.length / 2;
    start = Clock::now();
    doc.addNoteEdit(5, middle, 4, 60, 90, 120);
    std::printf("first edit after opening (takes the image): %.1f ms\n", msSince(start));

    print("note added", measure(doc, runs, [&] { doc.addNoteEdit(5, middle, 4, 60, 90, 120); }));
    print("every note transposed", measure(doc, runs, [&] { doc.transposeCommand(1, true); }));
    print("track deleted", measure(doc, runs, [&] { doc.deleteTrackEdit(1, true); }));
    doc.markBeginningAt(middle);
    doc.markEndingAt(middle + 4 * doc.song.division);
    doc.copySelection();
    print("bar pasted", measure(doc, runs, [&] { doc.paste(middle / 2); }));
    std::printf("history: %zu steps, %.1f MB of steps\n", doc.history().undoCount(),
                static_cast<double>(doc.history().stepBytes()) / 1e6);
    return 0;
}
