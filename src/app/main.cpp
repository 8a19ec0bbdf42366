#include "app/reedtabapp.h"
#include "app/screenshot.h"
#include "reedtab/version.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

QtMessageHandler qtDefaultHandler = nullptr;

// Platforms without a window manager (the offscreen one of --screenshot) report that they
// cannot pass size hints on; that is no problem of the program's, so it is not shown.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (!text.contains(QLatin1String("propagateSizeHints"))) {
        qtDefaultHandler(type, context, text);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("reedtab %s\n", reedtab::kVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(reedtab::kUsage, stdout);
            return 0;
        }
    }
    qtDefaultHandler = qInstallMessageHandler(&messageHandler);
    QApplication application(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("org.reedtab.ReedtabMidi"));
    QApplication::setApplicationName(QStringLiteral("Reedtab"));
    QApplication::setOrganizationName(QStringLiteral("Reedtab Software"));

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    reedtab::ScreenshotRequest request;
    QString error;
    const auto mode = reedtab::parseCommandLine(arguments, request, error);
    if (mode == reedtab::CommandLineMode::Invalid) {
        std::fprintf(stderr, "reedtab: %s\n%s", qPrintable(error), reedtab::kUsage);
        return 2;
    }

    reedtab::CReedtabApp app(
        reedtab::systemEnvironment(mode != reedtab::CommandLineMode::Screenshot));
    app.setSoundFont(request.soundFont);
    if (mode == reedtab::CommandLineMode::Screenshot) {
        if (!app.start(QString(), false)) {
            return 1;
        }
        if (!reedtab::takeScreenshot(app, request, error)) {
            std::fprintf(stderr, "reedtab: %s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }
    if (!app.start(request.file)) {
        return 1;
    }
    return QApplication::exec();
}
