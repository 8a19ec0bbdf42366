#include "app/mainframe.h"

#include "app/dumpwindow.h"
#include "app/manual.h"
#include "app/options.h"
#include "app/soundfontswitch.h"
#include "document/reedtabdoc.h"
#include "harmonica/layoutsettings.h"
#include "harmonica/notation.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"
#include "view/songprinter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWhatsThis>

#include <algorithm>

// The icons live in this static library; without the call the linker may leave them out.
static void initAppResources() {
    Q_INIT_RESOURCE(app);
}

namespace reedtab {

namespace {

constexpr int kIconSize = 32;
// Private: a posted menu command.
constexpr auto kCommandMessage = static_cast<std::uint32_t>(QEvent::User + 0x7D03);

// What the view reads of the transport, and the output it sounds written notes on.
class FrameViewPlayer final : public ViewPlayer {
public:
    FrameViewPlayer(Transport& transport, StreamPlayer& player)
        : transport_(transport), player_(player) {}

    bool isPlaying() const override { return transport_.isPlaying(); }
    std::int32_t playTick() const override { return transport_.playTick(); }
    int nextEventIndex() const override { return transport_.nextEventIndex(); }
    void seek(std::int32_t tick) override { transport_.seek(tick); }
    void noteOn(int channel, int key, int velocity) override {
        player_.noteOn(channel, key, velocity);
    }
    void noteOff(int channel, int key) override { player_.noteOff(channel, key, 0); }

private:
    Transport& transport_;
    StreamPlayer& player_;
};

} // namespace

CMainFrame::CMainFrame(FrameEnvironment environment)
    : store_(environment.store), outputDevices_(environment.outputDevices),
      inputDevices_(environment.inputDevices), player_(&environment.player),
      transport_(&environment.transport), doc_(&environment.doc), hub_(&environment.hub) {
    initAppResources();
    setWindowIcon(QIcon(QStringLiteral(":/app/reedtab.svg")));
    soundFonts_ = std::make_unique<SoundFontSwitch>(
        environment.outputs, *player_, store_,
        SoundFontSwitch::Hooks{[this](const std::string& text) {
                                   messageBox(text, "Reedtab Midi", MessageIcon::Warning);
                               },
                               [this] { emit resumeRequested(); }});

    diatonic_.init(60, -1);
    chromatic_.init(60, -1);

    viewPlayer_ = std::make_unique<FrameViewPlayer>(*transport_, *player_);
    view_ = std::make_unique<CReedtabView>(*doc_, *viewPlayer_, settings(), diatonic_, chromatic_,
                                           this);
    setCentralWidget(view_.get());
    connect(view_.get(), &CReedtabView::positionChanged, this,
            [this](std::int32_t tick) { showPosition(tick); });
    connect(view_.get(), &CReedtabView::marksChanged, this, [this] { updateCommandStates(); });
    connect(view_.get(), &CReedtabView::trackPropertiesRequested, this,
            &CMainFrame::trackPropertiesCommand);
}

void CMainFrame::attach(CommandTable& commands, ToolWindows& tools) {
    commands_ = &commands;
    tools_ = &tools;
    tools_->context().trackProperties = [this](int track) { trackPropertiesCommand(track); };

    registerCommands();
    createStatusBar();
    restorePlacement();
    refreshLayoutText();

    connect(hub_, &TransportHub::positionReached, this, &CMainFrame::onPlayerPosition);
    connect(hub_, &TransportHub::tempoChanged, this, &CMainFrame::onPlayerTempo);
    connect(hub_, &TransportHub::stopped, this, [this](int result) {
        if (result == PlayerDeviceError) {
            statusBar()->showMessage(QString::fromLatin1(kDeviceLostText));
        }
    });
    connect(hub_, &TransportHub::noteInput, this, &CMainFrame::onNoteInput);
    tools_->watchKeys(view_.get());
    connect(this, &CMainFrame::lyricsSettingsChanged, tools_, &ToolWindows::applyLyricsSettings);
    connect(tools_, &ToolWindows::judgedChanged, this,
            [this](const std::vector<JudgedNote>& notes, int track) {
                std::vector<JudgedMark> marks;
                for (const JudgedNote& n : notes) {
                    marks.push_back({n.expected.tick, track, n.expected.note,
                                     n.verdict == Verdict::Hit     ? JudgedVerdict::Hit
                                     : n.verdict == Verdict::Wrong ? JudgedVerdict::Wrong
                                                                   : JudgedVerdict::Missed});
                }
                view_->setJudgedMarks(std::move(marks));
            });
    connect(tools_, &ToolWindows::layoutChanged, this, [this] {
        view_->refreshNoteFlags();
        view_->repaintView();
        refreshLayoutText();
    });
    documentListener_ =
        doc_->subscribe([this](const DocumentNotice& notice) { onDocumentNotice(notice); });

    // Told once the window can show a message (and a test has had its say on how).
    playbackOptionsChanged();
    bool outputFailed = transport_->init(doc_->song, *hub_) != PlayerOk;
    if (!outputFailed) {
        outputFailed = transport_->openOutput(settings().outputDeviceIndex) != PlayerOk;
        // A device that is gone falls back to the mapper.
        settings().outputDeviceIndex = transport_->outputDevice();
    }
    const bool inputFailed = settings().inputDeviceIndex != -1 &&
                             input_.openInput(settings().inputDeviceIndex, hub_) != 0;
    if (outputFailed || inputFailed) {
        QTimer::singleShot(0, this, [this, outputFailed, inputFailed] {
            if (outputFailed)
                messageBox("Cannot open Midi output device", "Reedtab Midi", MessageIcon::Error);
            if (inputFailed)
                messageBox("Cannot open Midi input device", "Reedtab Midi", MessageIcon::Error);
        });
    }

    setAcceptDrops(true);
    openUrl = [this](const QUrl& url, const std::function<void()>& failed) {
        openWithDesktop(url, failed);
    };

    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &CMainFrame::spacePressed);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &CMainFrame::escapeKey);
    auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
    connect(home, &QShortcut::activated, this, &CMainFrame::homePressed);

    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    idle->start(250);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { savePlacement(); });
    connect(commands_, &CommandTable::commandRan, this, [this] { updateCommandStates(); });

    updateTitle();
    showSongPanes();
}

// The application has stopped the player and closed the tool windows by now.
CMainFrame::~CMainFrame() {
    if (documentListener_ != 0) {
        doc_->unsubscribe(documentListener_);
    }
    input_.closeInput();
    for (const auto& path : dumpFiles_) {
        QFile::remove(path);
    }
}

// ---- Other commands ----

void CMainFrame::tabTypeSelected(int index) {
    settings().tabMode = index;
    view_->refreshNoteFlags();
    view_->repaintView();
    view_->setFocus();
    refreshLayoutText();
}

void CMainFrame::refreshLayoutText() {
    if (!layoutText_) {
        return;
    }
    std::string title;
    Notation(settings(), diatonic_, chromatic_).tabTitle(true, title);
    layoutText_->setText(QString::fromStdString(title));
}

void CMainFrame::transposeCommand(int halfSteps, bool allTracks) {
    const bool wasPlaying = player_->isPlaying();
    if (wasPlaying) {
        player_->stop(false);
    }
    setWaitCursor(true);
    doc_->transposeCommand(halfSteps, allTracks);
    setWaitCursor(false);
    if (wasPlaying) {
        emit resumeRequested();
    }
}

QString CMainFrame::dumpCommand() {
    const MidiSong& song = doc_->song;
    if (song.mergedEvents.empty()) {
        beep();
        return {};
    }
    // A private file of this process: a fixed name in a shared folder could be replaced or
    // read by another user, and two instances would overwrite each other's dump.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/reedtabdump-XXXXXX.txt"));
    file.setAutoRemove(false);
    if (!file.open()) {
        beep();
        return {};
    }
    const QString path = file.fileName();
    file.close();
    dumpFiles_ << path;
    if (song.writeDump(path.toStdString()) != 0) {
        beep();
        return {};
    }
    openUrl(QUrl::fromLocalFile(path), [this, path] { showDump(path); });
    return path;
}

// Where the desktop has no text viewer the dump opens in a window of our own.
void CMainFrame::showDump(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        beep();
        return;
    }
    if (!dumpWindow_) {
        dumpWindow_ = new DumpWindow(this);
        dumpWindow_->askPath = [this](const QString& suggested) {
            if (savePathSink) {
                return QString::fromStdString(savePathSink("Save As", suggested.toStdString()));
            }
            return QFileDialog::getSaveFileName(dumpWindow_, QStringLiteral("Save As"), suggested,
                                                QStringLiteral("Text Files (*.txt)"));
        };
        dumpWindow_->tell = [this](const QString& text) {
            messageBox(text.toStdString(), "Reedtab Midi", MessageIcon::Error);
        };
    }
    dumpWindow_->showDump(QString::fromStdString(doc_->title()) +
                              QStringLiteral(" - Disassembled File"),
                          QString::fromUtf8(file.readAll()), path);
}

void CMainFrame::openWithDesktop(const QUrl& url, const std::function<void()>& failed) {
    // xdg-open starts at once but finds out only later that no program shows the file: its
    // exit status says so (3: no tool, 4: the action failed).
    auto* opener = new QProcess(this);
    connect(opener, &QProcess::finished, this,
            [opener, failed](int code, QProcess::ExitStatus how) {
                if (code != 0 || how != QProcess::NormalExit) {
                    failed();
                }
                opener->deleteLater();
            });
    connect(opener, &QProcess::errorOccurred, this, [opener, failed](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed();
            opener->deleteLater();
        }
    });
    opener->start(QStringLiteral("xdg-open"), {url.toLocalFile()});
}

void CMainFrame::helpCommand() {
    installManual(*this).showPage(QStringLiteral("index.md"));
}

void CMainFrame::focusPane(bool forward) {
    QWidget* panes[] = {view_.get(), tempoSlider_, tabType_};
    int current = 0;
    for (int i = 0; i < 3; ++i) {
        if (panes[i] && panes[i]->hasFocus()) {
            current = i;
        }
    }
    const int next = (current + (forward ? 1 : 2)) % 3;
    if (panes[next]) {
        panes[next]->setFocus(Qt::TabFocusReason);
    }
}

void CMainFrame::openDroppedFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    activateWindow();
    emit filesDropped(paths);
}

void CMainFrame::setRecentFiles(const QStringList& paths) {
    recentMenu_->clear();
    for (int i = 0; i < paths.size(); ++i) {
        QAction* entry = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(paths[i]));
        entry->setStatusTip(QStringLiteral("Open this document"));
        connect(entry, &QAction::triggered, this, [this, i] { emit recentFileChosen(i); });
    }
    recentMenu_->setEnabled(!paths.isEmpty());
}

// ---- Placement ----

void CMainFrame::restorePlacement() {
    store_.writeInt(kWindowSection, "Running", 1);
    const char* const keys[] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};
    int values[6];
    bool complete = true;
    for (int i = 0; i < 6; ++i) {
        const auto value = store_.readInt(kWindowSection, keys[i]);
        if (!value) {
            complete = false;
            break;
        }
        values[i] = *value;
    }
    if (complete && values[1] == 1) {
        int x1 = values[2];
        int y1 = values[3];
        int x2 = values[4];
        int y2 = values[5];
        if (const QScreen* screen = QApplication::primaryScreen()) {
            // Pulled back as a whole, so that at least an icon's size stays on the screen.
            const int dx = std::max(0, x1 - (screen->size().width() - kIconSize));
            const int dy = std::max(0, y1 - (screen->size().height() - kIconSize));
            x1 -= dx;
            x2 -= dx;
            y1 -= dy;
            y2 -= dy;
        }
        if (x2 > x1 && y2 > y1) {
            setGeometry(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)));
        }
    } else if (const QScreen* screen = QApplication::primaryScreen()) {
        // No stored placement: three quarters of the screen, centred, rather than the
        // size hint of the toolbar's width.
        const QRect area = screen->availableGeometry();
        QRect first(0, 0, area.width() * 3 / 4, area.height() * 3 / 4);
        first.moveCenter(area.center());
        setGeometry(first);
    }
    restoreLayouts(store_, diatonic_, chromatic_);
    refreshLayoutText();
}

void CMainFrame::savePlacement() {
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    int showCmd = 1;
    if (isMaximized()) {
        showCmd = 3;
    } else if (isMinimized()) {
        showCmd = 2;
    }
    store_.writeInt(kWindowSection, "flags", 0);
    store_.writeInt(kWindowSection, "showCmd", showCmd);
    store_.writeInt(kWindowSection, "x1", normal.left());
    store_.writeInt(kWindowSection, "y1", normal.top());
    store_.writeInt(kWindowSection, "x2", normal.right() + 1);
    store_.writeInt(kWindowSection, "y2", normal.bottom() + 1);
    store_.writeInt(kWindowSection, "Running", 0);
    tools_->saveOpenWindows(store_);
    saveLayouts(store_, diatonic_, chromatic_);
    emit placementSaved();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!doc_->askToSave()) {
        event->ignore();
        return;
    }
    savePlacement();
    tools_->closeAll();
    hub_->setQuitting();
    event->accept();
}

// ---- Events ----

bool CMainFrame::event(QEvent* event) {
    if (static_cast<std::uint32_t>(event->type()) == kCommandMessage) {
        const auto* message = static_cast<PlayerMessageEvent*>(event);
        if (QAction* command = action(static_cast<int>(message->wParam))) {
            command->trigger();
        }
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::postCommand(int id) {
    QCoreApplication::postEvent(
        this, new PlayerMessageEvent(kCommandMessage, static_cast<std::uintptr_t>(id), 0));
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const auto& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    openDroppedFiles(paths);
    event->acceptProposedAction();
}

// ---- DocumentUi ----

void CMainFrame::messageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    if (messageSink) {
        messageSink(text, caption, icon);
        return;
    }
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::Exclamation:
    case MessageIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MessageIcon::Question:
        boxIcon = QMessageBox::Question;
        break;
    case MessageIcon::Error:
        boxIcon = QMessageBox::Critical;
        break;
    case MessageIcon::None:
        break;
    }
    QMessageBox box(boxIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

bool CMainFrame::askYesNo(const std::string& text, const std::string& caption) {
    if (questionSink) {
        return questionSink(text, caption, false) == Answer::Yes;
    }
    return QMessageBox::question(this, QString::fromStdString(caption),
                                 QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

Answer CMainFrame::askYesNoCancel(const std::string& text, const std::string& caption) {
    if (questionSink) {
        return questionSink(text, caption, true);
    }
    const auto answer = QMessageBox::question(
        this, QString::fromStdString(caption), QString::fromStdString(text),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) {
        return Answer::Yes;
    }
    return answer == QMessageBox::No ? Answer::No : Answer::Cancel;
}

void CMainFrame::beep() {
    QApplication::beep();
}

std::string CMainFrame::askSavePath(const std::string& title) {
    // The song's own file is offered, so that Save As starts from its name and folder.
    const std::string suggested = doc_->pathName();
    if (savePathSink) {
        return savePathSink(title, suggested);
    }
    QFileDialog dialog(this, QString::fromStdString(title), QString(),
                       QStringLiteral("Midi Files (*.mid *.kar)"));
    if (!suggested.empty()) {
        dialog.selectFile(QString::fromStdString(suggested));
    }
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("mid"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front().toStdString();
}

void CMainFrame::beginProgress() {
    endProgress();
    progress_ = new QProgressBar(statusBar());
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->setGeometry(panes_[4]->geometry());
    progress_->show();
    progress_->raise();
}

void CMainFrame::setProgress(int percent) {
    if (progress_) {
        progress_->setValue(std::clamp(percent, 0, 100));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void CMainFrame::endProgress() {
    if (progress_) {
        progress_->deleteLater();
        progress_->hide();
        progress_ = nullptr;
    }
    setFocus();
}

void CMainFrame::setWaitCursor(bool on) {
    if (on) {
        ++waitCursors_;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (waitCursors_ > 0) {
        --waitCursors_;
        QApplication::restoreOverrideCursor();
    }
}

void CMainFrame::setStatusText(const std::string& text) {
    panes_[4]->setText(QString::fromStdString(text));
}

void CMainFrame::modifiedChanged(bool modified) {
    setWindowModified(modified);
    updateCommandStates();
}

void CMainFrame::onDocumentNotice(const DocumentNotice& notice) {
    const MidiSong& song = doc_->song;
    if (notice.has(SongReplaced)) {
        updateTitle();
        showSongPanes();
    }
    if (notice.has(SongReplaced) || notice.has(EventsChanged)) {
        if (song.division != 0) {
            view_->setScrollRange(song.length / song.division);
        }
    }
    if (notice.changes & (SongReplaced | EventsChanged | TracksChanged | MarksChanged)) {
        // Flag 1: the windows that list tracks or words build their lists again.
        tools_->refreshAll((notice.changes & (SongReplaced | EventsChanged | TracksChanged)) ? 1
                                                                                             : 0);
        view_->repaintView();
        updateCommandStates();
    }
}

void CMainFrame::refreshFrame() {
    updateTitle();
    updateCommandStates();
}

void CMainFrame::updateTitle() {
    setWindowTitle(QString::fromStdString(doc_->title()) + QStringLiteral("[*] - Reedtab"));
    setWindowModified(doc_->isModified());
}

} // namespace reedtab
