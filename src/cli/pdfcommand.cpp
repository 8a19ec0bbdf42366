// reedtab-cli pdf: the printed pages of a MIDI file as a PDF, without a display. Built as a
// program of its own that the command starts in its place, so that the other commands start
// without mapping Qt and everything it pulls in.

#include "app/qsettingsstore.h"
#include "cli/args.h"
#include "cli/fingeringoption.h"
#include "cli/songfile.h"
#include "cli/tuningoption.h"
#include "document/songedits.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "harmonica/layoutsettings.h"
#include "harmonica/notation.h"
#include "settings/settings.h"
#include "view/songpainter.h"
#include "view/songprinter.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace reedtab::cli {

namespace {

constexpr int kPdfResolution = 300;
constexpr double kMarginMillimetres = 10.0;
constexpr int kInterrupted = 130; // as a shell reports a program stopped by Ctrl+C

volatile std::sig_atomic_t interrupted = 0;

void onInterrupt(int) {
    interrupted = 1;
}

// Stops the run at the next page once Ctrl+C was pressed, and on a terminal tells how far it
// has got.
PrintProgress pageProgress() {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    return [terminal](int done, int total) {
        if (terminal) {
            std::fprintf(stderr, "\rpage %d of %d", done, total);
            if (done == total || interrupted) {
                std::fputc('\n', stderr);
            }
        }
        return interrupted == 0;
    };
}

// A pair of flags such as --treble / --no-treble: the given one, or `fallback`. Both at once
// is an error recorded in `message`.
std::optional<bool> switchOption(Args& args, const char* on, const char* off, bool fallback,
                                 std::string& message) {
    const bool yes = args.flag(on);
    const bool no = args.flag(off);
    if (yes && no) {
        message = std::string(on) + " and " + off + " exclude each other";
        return std::nullopt;
    }
    return yes ? true : no ? false : fallback;
}

// The tuning named on the command line, else the user's; at `key` when one was given (not -1),
// else at the user's key.
bool chooseTuning(const char* form, HarmonicaLayout& layout, const std::optional<std::string>& name,
                  int key) {
    const int atKey = key == -1 ? layout.key() : key;
    if (name) {
        return selectTuning("pdf", form, layout, *name, atKey);
    }
    if (key != -1) {
        layout.init(key, layout.tuningIndex());
    }
    return true;
}

// The painter needs a GUI application; with no platform chosen it draws offscreen, so the
// command runs on a machine without a display.
std::unique_ptr<QGuiApplication> startGui() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static char name[] = "reedtab-cli";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    return std::make_unique<QGuiApplication>(argc, argv);
}

int run(const std::vector<std::string>& words) {
    const std::unique_ptr<QGuiApplication> gui = startGui();
    QSettingsStore store;
    Settings block;
    loadSettings(store, block);
    DiatonicLayout diatonic(block);
    ChromaticLayout chromatic(block);
    restoreLayouts(store, diatonic, chromatic);

    Args args(words);
    const auto modeName = args.option("--mode");
    const auto diatonicName = args.option("--diatonic");
    const auto chromaticName = args.option("--chromatic");
    std::string message;
    const auto key = keyOption(args, -1, message);
    const auto beats = args.intOption("--beats-per-line");
    const auto treble =
        switchOption(args, "--treble", "--no-treble", block.printTrebleClef, message);
    const auto bass = switchOption(args, "--bass", "--no-bass", block.printBassClef, message);
    const bool noColour = args.flag("--no-color");
    const auto from = tickOption(args, "--from", message);
    const auto to = tickOption(args, "--to", message);
    const auto fingerings = fingeringRequest(args, true, message);
    const std::vector<std::string> files = args.positionals();
    if (args.hasError()) {
        return usageError("pdf", args.error());
    }
    if (!key || !treble || !bass || !from || !to || !fingerings) {
        return usageError("pdf", message);
    }
    if (files.size() != 2) {
        return usageError("pdf", "expects FILE and OUT.pdf (try --help)");
    }
    if (beats && (*beats < 1 || *beats > 48)) {
        return usageError("pdf", "--beats-per-line takes 1..48");
    }
    if (modeName) {
        const auto mode = modeOf(*modeName);
        if (!mode) {
            return usageError("pdf", "--mode takes notes, diatonic, chromatic, bb or eb");
        }
        block.tabMode = *mode;
    }
    if (!chooseTuning("diatonic", diatonic, diatonicName, *key) ||
        !chooseTuning("chromatic", chromatic, chromaticName, *key)) {
        return kUsageError;
    }
    block.printTrebleClef = *treble;
    block.printBassClef = *bass;
    block.printNoColorBars = block.printNoColorBars || noColour;
    if (beats) {
        block.printBeatsPerLine = static_cast<int>(*beats);
    }

    MidiSong song;
    const int result = loadSongReporting("pdf", files[0], song);
    if (result != LoadOk) {
        return result;
    }
    markNotes(song, block.showDrumsNotes);
    if (fingerings->optimize) {
        if (block.tabMode != kDiatonicTab && block.tabMode != kChromaticTab) {
            return usageError("pdf", "--optimize needs a harmonica: --mode diatonic or chromatic");
        }
        const auto track = requestTrack("pdf", *fingerings, song);
        if (!track) {
            return kUsageError;
        }
        const HarmonicaLayout& layout = block.tabMode == kChromaticTab
                                            ? static_cast<const HarmonicaLayout&>(chromatic)
                                            : diatonic;
        optimizeTrack(song, *track, *from, *to, layout, fingerings->options);
    }

    SongPainter painter(block, diatonic, chromatic);
    SongPrintJob job = printJobFor(song, block, painter);
    std::error_code error;
    job.path = std::filesystem::absolute(files[0], error).string();
    job.markBegin = *from;
    job.markEnd = *to;

    // The pages take the file's name only once they are all written, so that an interrupted
    // or failed run leaves what was there before.
    const std::string out = std::filesystem::absolute(files[1], error).string();
    QSaveFile file(QString::fromStdString(out));
    int pages = -1;
    std::signal(SIGINT, onInterrupt);
    if (file.open(QIODevice::WriteOnly)) {
        QPdfWriter writer(&file);
        writer.setResolution(kPdfResolution);
        writer.setCreator(QStringLiteral("Reedtab Midi"));
        writer.setTitle(
            QString::fromStdString(std::filesystem::path(files[0]).filename().string()));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMillimetres, kMarginMillimetres,
                                                   kMarginMillimetres, kMarginMillimetres),
                                         QPageLayout::Millimeter));
        pages = printSong(writer, painter, job, 1, 0, pageProgress());
    }
    if (interrupted) {
        file.cancelWriting();
        std::fprintf(stderr, "reedtab-cli pdf: interrupted; %s was not written\n", out.c_str());
        return kInterrupted;
    }
    if (pages < 0 || !file.commit()) {
        std::fprintf(stderr, "reedtab-cli pdf: %s: cannot write the file\n", files[1].c_str());
        return kWriteFailed;
    }
    std::printf("%s: %d %s\n", out.c_str(), pages, pages == 1 ? "page" : "pages");
    return 0;
}

} // namespace

} // namespace reedtab::cli

int main(int argc, char** argv) {
    return reedtab::cli::run(std::vector<std::string>(argv + 1, argv + argc));
}
