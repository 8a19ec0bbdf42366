#include "app/screenshot.h"

#include "app/mainframe.h"
#include "app/manual.h"
#include "app/reedtabapp.h"
#include "document/reedtabdoc.h"
#include "tools/listenwindow.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "view/reedtabview.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

namespace reedtab {

namespace {

// The manual is no tool window, but its picture is taken the same way.
const QLatin1String kManualWindow("manual");

int windowType(const QString& name) {
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        if (name == QLatin1String(kind.name)) {
            return kind.index;
        }
    }
    return kMonitorNone;
}

} // namespace

QString toolWindowShotPath(const QString& output, const QString& name) {
    const QFileInfo info(output);
    return info.dir().filePath(info.completeBaseName() + QLatin1Char('-') + name +
                               QStringLiteral(".png"));
}

CommandLineMode parseCommandLine(const QStringList& arguments, ScreenshotRequest& request,
                                 QString& error) {
    bool screenshot = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--screenshot")) {
            if (!hasValue) {
                error = QStringLiteral("--screenshot needs the PNG file to write");
                return CommandLineMode::Invalid;
            }
            screenshot = true;
            request.output = arguments[++i];
        } else if (argument == QLatin1String("--size")) {
            const QStringList parts =
                hasValue ? arguments[i + 1].split(QLatin1Char('x')) : QStringList();
            bool okWidth = false;
            bool okHeight = false;
            const int width = parts.size() == 2 ? parts[0].toInt(&okWidth) : 0;
            const int height = parts.size() == 2 ? parts[1].toInt(&okHeight) : 0;
            if (!okWidth || !okHeight || width < 200 || height < 150 || width > 8000 ||
                height > 8000) {
                error = QStringLiteral("--size needs WxH between 200x150 and 8000x8000");
                return CommandLineMode::Invalid;
            }
            request.size = QSize(width, height);
            ++i;
        } else if (argument == QLatin1String("--at")) {
            bool ok = false;
            const int tick = hasValue ? arguments[i + 1].toInt(&ok) : -1;
            if (!ok || tick < 0) {
                error = QStringLiteral("--at needs a tick, 0 or more");
                return CommandLineMode::Invalid;
            }
            request.tick = tick;
            ++i;
        } else if (argument == QLatin1String("--soundfont")) {
            if (!hasValue) {
                error = QStringLiteral("--soundfont needs the SoundFont file");
                return CommandLineMode::Invalid;
            }
            request.soundFont = arguments[++i];
        } else if (argument == QLatin1String("--window")) {
            if (!hasValue || (windowType(arguments[i + 1]) == kMonitorNone &&
                              arguments[i + 1] != kManualWindow)) {
                error = QStringLiteral(
                    "--window needs diatonic, chromatic, piano, mixer, lyrics, events, listen "
                    "or manual");
                return CommandLineMode::Invalid;
            }
            request.windows.append(arguments[++i]);
        } else if (argument == QLatin1String("--recording")) {
            if (!hasValue) {
                error = QStringLiteral("--recording needs the audio file");
                return CommandLineMode::Invalid;
            }
            request.recording = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(argument);
            return CommandLineMode::Invalid;
        } else if (request.file.isEmpty()) {
            request.file = argument;
        } else {
            error = QStringLiteral("only one file can be opened");
            return CommandLineMode::Invalid;
        }
    }
    if (!screenshot &&
        (request.tick >= 0 || !request.windows.isEmpty() || !request.recording.isEmpty() ||
         !arguments.filter(QStringLiteral("--size")).isEmpty())) {
        error = QStringLiteral("--size, --at, --window and --recording belong to --screenshot");
        return CommandLineMode::Invalid;
    }
    return screenshot ? CommandLineMode::Screenshot : CommandLineMode::Run;
}

bool takeScreenshot(CReedtabApp& app, const ScreenshotRequest& request, QString& error) {
    if (!request.file.isEmpty() && !QFileInfo(request.file).isFile()) {
        error = QStringLiteral("cannot open %1").arg(request.file);
        return false;
    }
    CMainFrame& frame = app.frame();
    frame.messageSink = [](const std::string& text, const std::string&, MessageIcon) {
        std::fprintf(stderr, "reedtab: %s\n", text.c_str());
    };
    frame.questionSink = [](const std::string&, const std::string&, bool) { return Answer::No; };
    frame.resize(request.size);
    frame.show();
    QApplication::processEvents();
    if (request.file.isEmpty()) {
        app.showStartPage();
    } else if (!app.openFile(request.file)) {
        error = QStringLiteral("cannot read %1").arg(request.file);
        return false;
    }
    if (request.tick >= 0) {
        frame.transport().seek(request.tick);
        frame.showPosition(request.tick);
    }
    ToolWindows& tools = frame.toolWindows();
    if (!request.recording.isEmpty() && !request.windows.contains(QStringLiteral("listen"))) {
        error = QStringLiteral("--recording needs --window listen");
        return false;
    }
    for (const QString& name : request.windows) {
        if (name == kManualWindow) {
            installManual(frame).showPage(QStringLiteral("index.md"));
        } else if (!tools.isOpen(windowType(name)) && !tools.toggle(windowType(name))) {
            error = QStringLiteral("cannot open the %1 window").arg(name);
            return false;
        }
    }
    tools.showSounding(std::max(0, request.tick));
    if (!request.recording.isEmpty()) {
        auto* listen = static_cast<CMonListen*>(tools.window(kMonitorListen));
        if (!listen->showRecording(request.recording, std::max(0, request.tick))) {
            error = QStringLiteral("cannot judge %1").arg(request.recording);
            return false;
        }
    }
    frame.view().repaintView();
    QApplication::processEvents();
    const QImage image = frame.grab().toImage();
    if (image.isNull() || !image.save(request.output, "PNG")) {
        error = QStringLiteral("cannot write %1").arg(request.output);
        return false;
    }
    for (const QString& name : request.windows) {
        const QString path = toolWindowShotPath(request.output, name);
        QWidget* window = name == kManualWindow ? static_cast<QWidget*>(&installManual(frame))
                                                : tools.window(windowType(name));
        const QImage shot = window->grab().toImage();
        if (shot.isNull() || !shot.save(path, "PNG")) {
            error = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
    }
    return true;
}

} // namespace reedtab
