#include "app/mainframe.h"

#include "app/manual.h"
#include "app/options.h"
#include "app/reedtabapp.h"
#include "dialogs/edittoolbar.h"
#include "dialogs/posentry.h"
#include "document/reedtabdoc.h"
#include "document/streamplayercontrol.h"
#include "harmonica/layoutsettings.h"
#include "harmonica/notation.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"
#include "view/songprinter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
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

// The status text while Play waits for the built-in synthesizer to read its SoundFont, and how
// often it looks again.
constexpr const char* kSynthLoadingText = "Loading the SoundFont: playing starts when it is ready";
constexpr int kSynthWaitMs = 100;

constexpr int kIconSize = 32;
// Private: a posted menu command.
constexpr auto kCommandMessage = static_cast<std::uint32_t>(QEvent::User + 0x7D03);

QString percentText(int percent) {
    return QString::asprintf("%d%%", percent);
}
QString bpmText(int bpm) {
    return QString::asprintf("%4d bpm", bpm);
}
QString tickText(int tick) {
    return QString::asprintf("%10d", tick);
}

// What the view reads of the player, and the output it sounds written notes on.
class FrameViewPlayer final : public ViewPlayer {
public:
    explicit FrameViewPlayer(StreamPlayer& player) : player_(player) {}

    bool isPlaying() const override { return player_.isPlaying(); }
    std::int32_t playTick() const override { return player_.playTick(); }
    int nextEventIndex() const override { return player_.eventCursor(); }
    void seek(std::int32_t tick) override { player_.seek(tick); }
    void noteOn(int channel, int key, int velocity) override {
        player_.noteOn(channel, key, velocity);
    }
    void noteOff(int channel, int key) override { player_.noteOff(channel, key, 0); }

private:
    StreamPlayer& player_;
};

} // namespace

CMainFrame::CMainFrame(CReedtabApp& app, FrameEnvironment environment)
    : app_(app), store_(environment.store),
      player_(std::make_unique<StreamPlayer>(environment.outputs, environment.clock)) {
    initAppResources();
    setWindowIcon(QIcon(QStringLiteral(":/app/reedtab.svg")));
    playerControl_ = std::make_unique<StreamPlayerControl>(*player_);
    doc_ = std::make_unique<CReedtabDoc>(*this, *playerControl_);
    hub_ = std::make_unique<TransportHub>(*player_, *doc_);
    commands_ = new CommandTable(this);
    tools_ = std::make_unique<ToolWindows>(ToolContext{store_, *doc_, *hub_, *this}, this);
    tools_->context().trackProperties = [this](int track) { trackPropertiesCommand(track); };

    diatonic_.init(60, -1);
    chromatic_.init(60, -1);

    viewPlayer_ = std::make_unique<FrameViewPlayer>(*player_);
    view_ = std::make_unique<CReedtabView>(*doc_, *viewPlayer_, settings(), diatonic_, chromatic_,
                                           this);
    setCentralWidget(view_.get());
    connect(view_.get(), &CReedtabView::positionChanged, this,
            [this](std::int32_t tick) { showPosition(tick); });
    connect(view_.get(), &CReedtabView::marksChanged, this, [this] { updateCommandStates(); });
    // Hiding and showing tracks from the note menu changes only their flags: every window that
    // lists tracks hears of it as a track change.
    connect(view_.get(), &CReedtabView::tracksChanged, this,
            [this] { doc_->notify({TracksChanged}); });
    connect(view_.get(), &CReedtabView::trackPropertiesRequested, this,
            &CMainFrame::trackPropertiesCommand);

    registerCommands();
    createStatusBar();
    restorePlacement();
    refreshLayoutText();

    connect(hub_.get(), &TransportHub::positionReached, this, &CMainFrame::onPlayerPosition);
    connect(hub_.get(), &TransportHub::tempoChanged, this, &CMainFrame::onPlayerTempo);
    connect(hub_.get(), &TransportHub::stopped, this, [this](int result) {
        if (result == PlayerDeviceError) {
            statusBar()->showMessage(QString::fromLatin1(kDeviceLostText));
        }
        onPlayerStopped();
    });
    connect(hub_.get(), &TransportHub::noteInput, this, &CMainFrame::onNoteInput);
    tools_->watchKeys(view_.get());
    connect(this, &CMainFrame::lyricsSettingsChanged, tools_.get(),
            &ToolWindows::applyLyricsSettings);
    connect(tools_.get(), &ToolWindows::layoutChanged, this, [this] {
        view_->refreshNoteFlags();
        view_->repaintView();
        refreshLayoutText();
    });
    documentListener_ =
        doc_->subscribe([this](const DocumentNotice& notice) { onDocumentNotice(notice); });

    // Told once the window can show a message (and a test has had its say on how).
    const bool outputFailed =
        player_->init(&doc_->song, hub_.get()) != PlayerOk || player_->openDevice() != PlayerOk;
    const bool inputFailed = settings().inputDeviceIndex != -1 && input_.openInput(hub_.get()) != 0;
    if (outputFailed || inputFailed) {
        QTimer::singleShot(0, this, [this, outputFailed, inputFailed] {
            if (outputFailed)
                messageBox("Cannot open Midi output device", "Reedtab Midi", MessageIcon::Error);
            if (inputFailed)
                messageBox("Cannot open Midi input device", "Reedtab Midi", MessageIcon::Error);
        });
    }

    setAcceptDrops(true);
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &CMainFrame::spaceKey);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &CMainFrame::escapeKey);
    auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
    connect(home, &QShortcut::activated, this, &CMainFrame::rewindCommand);

    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::updateCommandStates);
    idle->start(250);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { savePlacement(); });
    connect(commands_, &CommandTable::commandRan, this, [this] { updateCommandStates(); });

    updateTitle();
    showSongPanes();
}

CMainFrame::~CMainFrame() {
    // The toolbar stores its settings and ends edit mode while the document it reads lives.
    if (editToolbar_) {
        editToolbar_->disconnect(this);
        delete editToolbar_.data();
    }
    hub_->setQuitting();
    doc_->unsubscribe(documentListener_);
    saveSettings(store_, kSaveAll);
    if (player_->isPlaying()) {
        player_->stop(false);
    }
    player_->shutdown();
    input_.closeInput();
    for (const auto& path : dumpFiles_) {
        QFile::remove(path);
    }
}

void CMainFrame::newDocumentCommand() {
    if (doc_->askToSave()) {
        doc_->newDocument();
    }
}

void CMainFrame::saveAsCommand() {
    const std::string path = askSavePath("Save As");
    if (!path.empty() && doc_->saveDocumentAs(path)) {
        app_.addRecentFile(QString::fromStdString(path));
        updateTitle();
    }
}

void CMainFrame::markCommand(bool beginning) {
    const MidiSong& song = doc_->song;
    if (song.trackCount() == 0) {
        return;
    }
    CPosEntry entry(this);
    entry.setWindowTitle(beginning ? QStringLiteral("Mark Beginning")
                                   : QStringLiteral("Mark Ending"));
    entry.setRange(std::max(1, static_cast<int>(song.barTable.size())), song.division);
    entry.setPositionOf(song, player_->playTick());
    if (entry.exec() != QDialog::Accepted) {
        return;
    }
    if (beginning) {
        doc_->markBeginning(entry.bar(), entry.beat(), entry.tick());
    } else {
        doc_->markEnding(entry.bar(), entry.beat(), entry.tick());
    }
}

void CMainFrame::toggleSetting(Shared<bool>& setting) {
    setting = !setting.load();
    saveSettings(store_, kSavePlayer);
}

// ---- Transport ----

void CMainFrame::startPlaying(bool countIn, bool fromCursor) {
    if (player_->isPlaying()) {
        return;
    }
    if (!player_->deviceReady()) {
        statusBar()->showMessage(QString::fromLatin1(kSynthLoadingText));
        // Stop, or a newer Play, supersedes this request while it waits.
        const int request = ++playRequests_;
        QTimer::singleShot(kSynthWaitMs, this, [this, countIn, fromCursor, request] {
            if (request == playRequests_) {
                startPlaying(countIn, fromCursor);
            }
        });
        return;
    }
    if (statusBar()->currentMessage() == QLatin1String(kSynthLoadingText)) {
        statusBar()->clearMessage();
    }
    tools_->refreshAll(0);
    const MidiSong& song = doc_->song;
    if (song.mergedEvents.empty()) {
        return;
    }
    Settings& block = settings();
    block.loopEnd = doc_->markEnd;
    int tick = player_->playTick();
    if (doc_->markBegin >= 0 && !fromCursor) {
        block.loopStart = block.playLoop ? doc_->markBegin : -1;
        tick = doc_->markBegin;
    } else if (block.editMode && doc_->cursorTick >= 0) {
        tick = doc_->cursorTick;
    }
    startAt(tick, countIn);
    view_->repaintView();
    updateCommandStates();
}

void CMainFrame::startAt(int tick, bool countIn) {
    const PlayerResult result = player_->start(tick, countIn);
    if (result != PlayerOk && result != PlayerAlreadyPlaying && result != PlayerStartAfterEnd) {
        messageBox("Cannot start playing!", "Reedtab Midi", MessageIcon::Exclamation);
    }
}

void CMainFrame::startTrainer(const SpeedTrainer& plan) {
    const MidiSong& song = doc_->song;
    if (!plan.valid() || song.mergedEvents.empty() || player_->isPlaying()) {
        return;
    }
    Settings& block = settings();
    const bool marked = doc_->markBegin >= 0 && doc_->markEnd > doc_->markBegin;
    loopBeforeTrainer_ = block.playLoop;
    block.playLoop = true;
    block.loopStart = marked ? doc_->markBegin : 0;
    block.loopEnd = marked ? doc_->markEnd : wholeSongLoopEnd(song);
    player_->setTrainer(plan);
    showTempoPercent();
    startAt(block.loopStart, block.playCountIn);
    view_->repaintView();
    updateCommandStates();
}

void CMainFrame::endTrainer() {
    if (!player_->trainer().active()) {
        return;
    }
    player_->setTrainer({});
    Settings& block = settings();
    block.playLoop = loopBeforeTrainer_;
    block.loopEnd = doc_->markEnd;
    block.loopStart = (doc_->markBegin >= 0 && block.playLoop) ? doc_->markBegin : -1;
}

void CMainFrame::playCommand() {
    if (player_->isPlaying()) {
        stopCommand();
    } else {
        startPlaying(settings().playCountIn, false);
    }
}

void CMainFrame::stopCommand() {
    ++playRequests_;
    if (statusBar()->currentMessage() == QLatin1String(kSynthLoadingText)) {
        statusBar()->clearMessage();
    }
    player_->stop(false);
    endTrainer();
    tools_->refreshAll(0);
    view_->repaintView();
    updateCommandStates();
}

void CMainFrame::rewindCommand() {
    const int tick = doc_->markBegin >= 0 ? doc_->markBegin : 0;
    player_->seek(tick);
    if (settings().editMode) {
        doc_->cursorTick = tick;
    }
    view_->repaintView();
    showPosition(-1);
    tools_->refreshAll(0);
}

void CMainFrame::spaceKey() {
    if (player_->isPlaying()) {
        stopCommand();
        return;
    }
    const int tick = player_->playTick();
    const bool countIn =
        settings().playCountIn && (tick == 0 || (doc_->markBegin >= 0 && tick == doc_->markBegin));
    startPlaying(countIn, true);
}

void CMainFrame::escapeKey() {
    const bool marked = doc_->markBegin >= 0 || doc_->markEnd >= 0;
    doc_->markBegin = -1;
    doc_->markEnd = -1;
    for (const auto& track : doc_->song.tracks) {
        track->flags &= static_cast<std::uint16_t>(~TrackSelected);
    }
    doc_->notify({TracksChanged | (marked ? MarksChanged : 0u)});
}

void CMainFrame::showPosition(int tick) {
    if (tick < 0) {
        tick = player_->playTick();
    }
    panes_[3]->setText(tickText(tick));
    const int division = doc_->song.division;
    if (division != 0) {
        view_->setScrollPosition(tick / division);
    }
}

int CMainFrame::sixteenth() const {
    return std::max(1, doc_->song.division / 4);
}

// ---- The transport's news ----

void CMainFrame::onPlayerPosition(const PositionReport& report) {
    const int division = std::max<int>(1, doc_->song.division);
    const int e = report.tick;
    const bool outside = e < view_->firstTick() || e > view_->lastTick() - 2 * division;
    if (report.jumpedBack || (report.tickMarker && e > view_->lastTick() - 2 * division) ||
        (!report.tickMarker && outside)) {
        // The page turns (or the loop went back): the paint shows every note as it stands.
        view_->repaintView();
    } else {
        redrawPassedEvents(report);
    }
    if (report.jumpedBack && player_->trainer().active()) {
        showTempoPercent();
    }
    tools_->deliver(report);
    showPosition(e);
    if (e % sixteenth() == 0) {
        view_->redrawProgress(e);
    }
}

void CMainFrame::redrawPassedEvents(const PositionReport& report) {
    const MidiSong& song = doc_->song;
    const Settings& block = settings();
    for (int index = report.firstEvent; index < report.endEvent; ++index) {
        const MidiEvent& event = *song.mergedEvents[static_cast<size_t>(index)];
        const std::uint16_t flags = event.track ? event.track->flags : 0;
        if ((flags & (TrackShown | TrackSelected)) == 0) {
            continue;
        }
        if (event.isNote) {
            view_->redrawNote(index,
                              (flags & TrackSelected) ? block.colorPlaySel : block.colorPlayed);
        } else if (block.showPitchBends && event.kind() == KindPitchWheel) {
            view_->redrawBend(index);
        }
    }
}

void CMainFrame::onPlayerTempo(int) {
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
}

void CMainFrame::onPlayerStopped() {
    endTrainer();
    tools_->refreshAll(0);
    if (settings().editMode && doc_->cursorTick >= 0) {
        // In edit mode the song ends where the writing goes on, not in the next song.
        player_->seek(doc_->cursorTick);
        showPosition(-1);
        view_->repaintView();
        updateCommandStates();
        return;
    }
    showPosition(-1);
    view_->repaintView();
    PlaylistModel& list = app_.playlist();
    if (list.currentIndex() + 1 < list.count()) {
        const int previous = list.currentIndex();
        list.setCurrentIndex((previous + 1) % list.count());
        list.fromPlaylist = true;
        list.refreshSelection = true;
        if (app_.openFile(QString::fromStdString(list.currentEntry()))) {
            startAt(0, settings().playCountIn);
        } else {
            list.setCurrentIndex(previous);
            if (CPlayList* window = app_.playlistWindow()) {
                window->refresh(true);
            }
        }
    } else if (settings().playLoop) {
        startAt(0, false);
    }
    updateCommandStates();
}

void CMainFrame::onNoteInput(const NoteInput& input) {
    const int key = static_cast<int>(input.data1());
    const int velocity = static_cast<int>(input.data2());
    const int channel = static_cast<int>(input.channel());
    switch (input.action()) {
    case 0:
        player_->noteOn(channel, key, velocity);
        QTimer::singleShot(50, this, [this, channel, key] { player_->noteOff(channel, key, 0); });
        break;
    case 2:
        player_->noteOn(channel, key, velocity);
        break;
    case 1:
        player_->noteOff(channel, key, 0);
        break;
    case 5:
        player_->programChange(channel, key);
        break;
    case 7:
        player_->pitchWheel(channel, key, velocity);
        break;
    default:
        break;
    }
    if (settings().editMode) {
        recordLiveNote(input);
    }
}

void CMainFrame::recordLiveNote(const NoteInput& input) {
    const int key = static_cast<int>(input.data1());
    const int velocity = static_cast<int>(input.data2());
    const int channel = static_cast<int>(input.channel());
    const auto action = input.action();
    if (player_->isPlaying()) {
        // Recorded as played: each message at the song position it arrived at; the document
        // holds the player's refills around the insert.
        doc_->cursorTick =
            input.tick() == kNoteInputNow
                ? std::max(0, static_cast<int>(player_->streamTicks()) - player_->offset())
                : static_cast<int>(input.tick());
        doc_->addNoteFromEntry(key, velocity, channel, static_cast<int>(action));
        return;
    }
    if (action == NoteInputTestNote || action == NoteInputNoteOn) {
        doc_->addNoteFromEntry(key, velocity, channel, EntryWholeNote);
        followEditCursor();
    }
}

// ---- Edit mode ----

CEditToolbar* CMainFrame::editToolbar() const {
    return editToolbar_;
}

void CMainFrame::editModeCommand() {
    if (editToolbar_) {
        editToolbar_->close();
        return;
    }
    auto* toolbar = new CEditToolbar(*doc_, *this, store_, this);
    editToolbar_ = toolbar;
    connect(toolbar, &CEditToolbar::closed, this, &CMainFrame::editModeEnded);
    connect(toolbar, &CEditToolbar::cursorMoved, this, &CMainFrame::followEditCursor);
    if (QAction* command = action(ID_EDIT_MODE)) {
        command->setIcon(QIcon(QStringLiteral(":/app/icons/editmodeon.svg")));
    }
    toolbar->show();
    view_->repaintView();
    updateCommandStates();
}

void CMainFrame::editModeEnded() {
    editToolbar_ = nullptr;
    if (QAction* command = action(ID_EDIT_MODE)) {
        command->setIcon(QIcon(QStringLiteral(":/app/icons/editmode.svg")));
    }
    doc_->notify({SelectionChanged, nullptr});
    view_->repaintView();
    updateCommandStates();
}

// While stopped in edit mode the play position is the edit cursor: the view shows it and Play
// starts there.
void CMainFrame::followEditCursor() {
    if (player_->isPlaying()) {
        return;
    }
    player_->seek(doc_->cursorTick);
    showPosition(doc_->cursorTick);
    view_->repaintView();
}

void CMainFrame::insertSilenceCommand() {
    CPosEntry entry(this);
    entry.setWindowTitle(QStringLiteral("Silence Length"));
    entry.setRangeCheck(false);
    entry.setPosition(1, 0, 0);
    if (entry.exec() == QDialog::Accepted) {
        doc_->insertSilence(entry.bar(), entry.beat(), entry.tick());
    }
}

// ---- Other commands ----

void CMainFrame::tempoSliderMoved(int position, bool dragging, bool released) {
    if (dragging) {
        panes_[1]->setText(percentText(position));
        return;
    }
    int p = position;
    if (released && p > 95 && p < 105) {
        p = kNormalTempo;
        const QSignalBlocker block(tempoSlider_);
        tempoSlider_->setValue(kNormalTempo);
    }
    panes_[1]->setText(percentText(p));
    panes_[2]->setText(bpmText(player_->setTempoPercent(p)));
    // The arrow and page keys go on scrolling the staff.
    view_->setFocus();
    updateCommandStates();
}

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
        startPlaying(false, true);
    }
}

void CMainFrame::applyTempoChange() {
    const int percent = settings().tempoPercent;
    doc_->applyTempoScaleEdit(percent);
    player_->setTempoPercent(kNormalTempo);
    player_->setBaseTempo(doc_->song.tempoAt(player_->playTick()));
    showTempoPercent();
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
    if (!openUrl(QUrl::fromLocalFile(path))) {
        showDump(path);
    }
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
        auto* text = new QPlainTextEdit(this);
        text->setWindowFlag(Qt::Window);
        text->setReadOnly(true);
        text->setLineWrapMode(QPlainTextEdit::NoWrap);
        text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        text->resize(800, 600);
        dumpWindow_ = text;
    }
    auto* text = static_cast<QPlainTextEdit*>(dumpWindow_);
    text->setWindowTitle(QString::fromStdString(doc_->title()) +
                         QStringLiteral(" - Disassembled File"));
    text->setPlainText(QString::fromUtf8(file.readAll()));
    text->show();
    text->raise();
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
    std::vector<std::string> entries;
    for (const auto& path : paths) {
        entries.push_back(path.toStdString());
    }
    PlaylistModel& list = app_.playlist();
    list.replace(std::move(entries));
    list.fromPlaylist = true;
    app_.openFile(paths.front());
}

void CMainFrame::setRecentFiles(const QStringList& paths) {
    recentMenu_->clear();
    for (int i = 0; i < paths.size(); ++i) {
        QAction* entry = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(paths[i]));
        entry->setStatusTip(QStringLiteral("Open this document"));
        connect(entry, &QAction::triggered, this, [this, i] { app_.openRecentFile(i); });
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
    if (CPlayList* window = app_.playlistWindow()) {
        window->close();
    }
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
    if (notice.has(SongReplaced) && editToolbar_) {
        editToolbar_->close();
    }
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

void CMainFrame::showTempoPercent() {
    const int percent = settings().tempoPercent;
    {
        const QSignalBlocker block(tempoSlider_);
        tempoSlider_->setValue(percent);
    }
    panes_[1]->setText(percentText(percent));
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
}

// The panes describe the song on screen from the moment it opens, not the one before it.
void CMainFrame::showSongPanes() {
    panes_[1]->setText(percentText(settings().tempoPercent));
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
    showPosition(-1);
}

void CMainFrame::updateTitle() {
    setWindowTitle(QString::fromStdString(doc_->title()) + QStringLiteral("[*] - Reedtab"));
    setWindowModified(doc_->isModified());
}

} // namespace reedtab
