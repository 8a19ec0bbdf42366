#include "app/reedtabapp.h"
#include "app/screenshot.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
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

    reedtab::CReedtabApp app(reedtab::systemEnvironment());
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
