#include "app/reedtabapp.h"

#include "app/editcontroller.h"
#include "app/focusstyle.h"
#include "app/mainframe.h"
#include "app/manual.h"
#include "app/qsettingsstore.h"
#include "app/recovery.h"
#include "app/transportcontroller.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/titlewidth.h"
#include "document/reedtabdoc.h"
#include "playback/clock.h"
#include "playback/outputdevice.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "ui/transporthub.h"
#include "view/reedtabview.h"
#include "view/startpage.h"

#include <QDate>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace reedtab {

namespace {

const char* const kRecentSection = "Recent File List";

QString buildDate() {
    const QDate date = QLocale::c().toDate(QString::fromLatin1(__DATE__).simplified(),
                                           QStringLiteral("MMM d yyyy"));
    return date.isValid() ? date.toString(Qt::ISODate) : QString::fromLatin1(__DATE__);
}

// The screenshot mode reads the user's settings but leaves the file as it was: what the run
// writes is kept in memory and read back from there.
class ReadOnlySettingsStore final : public SettingsStore {
public:
    std::optional<int> readInt(const std::string& section, const std::string& key) const override {
        if (auto value = written_.readInt(section, key)) {
            return value;
        }
        return file_.readInt(section, key);
    }
    std::optional<std::string> readString(const std::string& section,
                                          const std::string& key) const override {
        if (auto value = written_.readString(section, key)) {
            return value;
        }
        return file_.readString(section, key);
    }
    void writeInt(const std::string& section, const std::string& key, int value) override {
        written_.writeInt(section, key, value);
    }
    void writeString(const std::string& section, const std::string& key,
                     const std::string& value) override {
        written_.writeString(section, key, value);
    }

private:
    QSettingsStore file_;
    MemorySettingsStore written_;
};

class SilentOutputProvider final : public OutputProvider {
public:
    SilentOutputProvider() : output_(clock_) { output_.setKeep(false); }
    int deviceCount() override { return 0; }
    std::unique_ptr<OutputDevice> create(int) override {
        return std::make_unique<ForwardingOutput>(output_);
    }

private:
    SteadyClock clock_;
    RecordingOutput output_;
};

} // namespace

// The document is built before the window that answers its questions; until the window is
// there, nothing is shown and every question is cancelled.
class DocumentUiRelay final : public DocumentUi {
public:
    void setTarget(DocumentUi* target) { target_ = target; }

    void messageBox(const std::string& text, const std::string& caption,
                    MessageIcon icon) override {
        ui().messageBox(text, caption, icon);
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        return ui().askYesNo(text, caption);
    }
    Answer askYesNoCancel(const std::string& text, const std::string& caption) override {
        return ui().askYesNoCancel(text, caption);
    }
    void beep() override { ui().beep(); }
    std::string askSavePath(const std::string& title) override { return ui().askSavePath(title); }
    void beginProgress() override { ui().beginProgress(); }
    void setProgress(int percent) override { ui().setProgress(percent); }
    void endProgress() override { ui().endProgress(); }
    void setWaitCursor(bool on) override { ui().setWaitCursor(on); }
    void setStatusText(const std::string& text) override { ui().setStatusText(text); }
    void modifiedChanged(bool modified) override { ui().modifiedChanged(modified); }

private:
    DocumentUi& ui() { return target_ ? *target_ : unseen_; }

    DocumentUi* target_ = nullptr;
    QuietDocumentUi unseen_{Answer::Cancel};
};

AppEnvironment systemEnvironment(bool withDevices) {
    AppEnvironment environment;
    environment.clock = std::make_unique<SteadyClock>();
    if (!withDevices) {
        environment.store = std::make_unique<ReadOnlySettingsStore>();
        environment.outputs = std::make_unique<SilentOutputProvider>();
        return environment;
    }
    environment.store = std::make_unique<QSettingsStore>();
    environment.outputs = std::make_unique<SystemOutputProvider>();
    environment.inputDevices = inputDeviceNames();
    environment.outputDevices = outputDeviceNames();
    environment.recoveryFolder =
        (QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/recovery")
            .toStdString();
    return environment;
}

CReedtabApp::CReedtabApp(AppEnvironment environment)
    : store_(std::move(environment.store)), outputs_(std::move(environment.outputs)),
      clock_(std::move(environment.clock)), inputDevices_(std::move(environment.inputDevices)),
      outputDevices_(std::move(environment.outputDevices)),
      recoveryFolder_(std::move(environment.recoveryFolder)) {
    if (outputDevices_.empty() || outputDevices_.front() != kMidiMapperName) {
        outputDevices_.insert(outputDevices_.begin(), kMidiMapperName);
    }
}

CReedtabApp::~CReedtabApp() {
    if (playlistWindow_) {
        playlistWindow_->close();
    }
    // A clean end: the recovery file goes before the window it watches.
    recovery_.reset();
    edits_.reset();
    transportCommands_.reset();
    if (frame_) {
        // The player's timer thread stops before the document and the windows go.
        hub_->setQuitting();
        saveSettings(*store_, kSaveAll);
        if (transport_->isPlaying()) {
            transport_->stop();
        }
        player_->shutdown();
        // The tool windows and the actions belong to the frame's window: they go first.
        tools_.reset();
        commands_.reset();
        frame_.reset();
        prompts_->setTarget(nullptr);
    }
    if (auto* qtStore = dynamic_cast<QSettingsStore*>(store_.get())) {
        qtStore->sync();
    }
}

bool CReedtabApp::start(const QString& file, bool show) {
    fitDialogsToTheirTitles();
    useFocusStyle();
    loadRecentFiles();
    loadSettings(*store_);
    resolveDevices(outputDevices_, inputDevices_);
    outputs_->prepare(soundFont_.isEmpty() ? settings().soundFont : soundFont_.toStdString());

    player_ = std::make_unique<StreamPlayer>(*outputs_, *clock_);
    transport_ = std::make_unique<Transport>(*player_);
    prompts_ = std::make_unique<DocumentUiRelay>();
    doc_ = std::make_unique<CReedtabDoc>(*prompts_, transport_->playerControl());
    transport_->setMarkSource([this] { return LoopMarks{doc_->markBegin, doc_->markEnd}; });
    hub_ = std::make_unique<TransportHub>(*transport_);
    frame_ = std::make_unique<CMainFrame>(FrameEnvironment{
        *store_, *outputs_, outputDevices_, inputDevices_, *player_, *transport_, *doc_, *hub_});
    prompts_->setTarget(frame_.get());
    commands_ = std::make_unique<CommandTable>(frame_.get());
    tools_ =
        std::make_unique<ToolWindows>(ToolContext{*store_, *doc_, *hub_, *frame_}, frame_.get());
    frame_->attach(*commands_, *tools_);
    connect(frame_.get(), &CMainFrame::filesDropped, this, &CReedtabApp::openFiles);
    connect(frame_.get(), &CMainFrame::recentFileChosen, this, &CReedtabApp::openRecentFile);
    connect(frame_.get(), &CMainFrame::placementSaved, this, [this] {
        if (playlistWindow_) {
            playlistWindow_->close();
        }
    });
    transportCommands_ =
        std::make_unique<TransportController>(*transport_, *doc_, *store_, *outputs_, *frame_);
    transportCommands_->playNextSong = [this] { return playNextSong(); };
    edits_ = std::make_unique<EditController>(*doc_, frame_->view(), *transport_, *store_, *frame_);
    registerCommands(*commands_);
    edits_->registerCommands(*commands_);
    transportCommands_->registerCommands(*commands_);
    frame_->view().registerCommands(*commands_);
    tools_->registerCommands(*commands_);
    frame_->buildMenusAndToolBar();
    frame_->setRecentFiles(recentFiles_);
    installManual(*frame_);

    if (!file.isEmpty()) {
        openFile(file);
    } else {
        doc_->newDocument();
        if (show) {
            showStartPage();
        }
    }
    if (show) {
        frame_->show();
        frame_->update();
    }
    for (const int command : ToolWindows::windowsOpenAtExit(*store_)) {
        frame_->postCommand(command);
    }
    if (!recoveryFolder_.empty()) {
        recovery_ =
            std::make_unique<CRecovery>(*frame_, recoveryFolder_, settings().autosaveSeconds);
        // Asked once the event loop runs and the main window is on the screen.
        QTimer::singleShot(0, recovery_.get(), &CRecovery::offerRecovered);
    }
    return true;
}

void CReedtabApp::showStartPage() {
    auto* page = new CStartPage(frame_->view(), *doc_, exampleSongs(), recentFiles_);
    connect(page, &CStartPage::openDialogRequested, this, &CReedtabApp::openCommand);
    connect(page, &CStartPage::openRequested, this, &CReedtabApp::openFile);
}

void CReedtabApp::registerCommands(CommandTable& table) {
    CReedtabDoc& doc = *doc_;
    table.add(ID_FILE_NEW, [this] { newDocument(); });
    table.add(ID_FILE_OPEN, [this] { openCommand(); });
    table.add(ID_FILE_SAVE, [this, &doc] {
        const std::string before = doc.pathName();
        if (doc.saveDocument() && doc.pathName() != before) {
            addRecentFile(QString::fromStdString(doc.pathName()));
        }
        frame_->refreshFrame();
    });
    table.add(ID_FILE_SAVE_AS, [this, &doc] {
        const std::string path = frame_->askSavePath("Save As");
        if (!path.empty() && doc.saveDocumentAs(path)) {
            addRecentFile(QString::fromStdString(path));
            frame_->refreshFrame();
        }
    });
    table.add(ID_APP_EXIT, [this] { frame_->close(); });
    table.add(
        ID_FILE_RELOAD, [this] { reloadCommand(); }, [this] { return doc_->canReload(); });
    table.add(ID_VIEW_PLAYLIST, [this] { playlistCommand(); });
    table.add(ID_PLAY_PREVIOUS, [this] { previousCommand(); });
    table.add(ID_PLAY_NEXT, [this] { nextCommand(); });
    table.add(ID_APP_ABOUT, [this] { aboutCommand(); });
}

bool CReedtabApp::openFile(const QString& path) {
    const bool fromPlaylist = playlist_.fromPlaylist;
    const bool refreshSelection = playlist_.refreshSelection;
    playlist_.fromPlaylist = false;
    playlist_.refreshSelection = false;

    CReedtabDoc& doc = *doc_;
    // A file that cannot be read changes nothing: the open song and the playlist stay.
    const bool read = doc.askToSave() && doc.openDocument(path.toStdString()) == 0;
    if (read) {
        if (!fromPlaylist) {
            playlist_.replace({path.toStdString()});
        }
        addRecentFile(path);
    }
    if (playlistWindow_) {
        playlistWindow_->refresh(refreshSelection);
        playlistWindow_->update();
    }
    frame_->view().repaintView();
    frame_->refreshFrame();
    return read;
}

bool CReedtabApp::newDocument() {
    CReedtabDoc& doc = *doc_;
    if (!doc.askToSave()) {
        return false;
    }
    doc.newDocument();
    frame_->refreshFrame();
    return true;
}

void CReedtabApp::repaintMainWindow() {
    frame_->update();
    frame_->view().repaintView();
}

void CReedtabApp::playlistWindowClosed() {
    playlistWindow_ = nullptr;
}

bool CReedtabApp::openFiles(const QStringList& paths) {
    if (paths.isEmpty()) {
        return false;
    }
    std::vector<std::string> entries;
    for (const auto& path : paths) {
        entries.push_back(path.toStdString());
    }
    const PlaylistModel before = playlist_;
    playlist_.replace(std::move(entries));
    playlist_.fromPlaylist = true;
    if (openFile(paths.front())) {
        return true;
    }
    // The list stays the one of the song that is still open.
    playlist_ = before;
    if (playlistWindow_) {
        playlistWindow_->refresh(true);
    }
    return false;
}

void CReedtabApp::openCommand() {
    openFiles(QFileDialog::getOpenFileNames(frame_.get(), QString(), QString(),
                                            QString::fromLatin1(kOpenFilter)));
}

bool CReedtabApp::openPlaylistEntry(int previous) {
    playlist_.fromPlaylist = true;
    playlist_.refreshSelection = true;
    if (openFile(QString::fromStdString(playlist_.currentEntry()))) {
        return true;
    }
    playlist_.setCurrentIndex(previous);
    if (playlistWindow_) {
        playlistWindow_->refresh(true);
    }
    return false;
}

void CReedtabApp::nextCommand() {
    const int next = playlist_.nextIndex();
    if (next < 0) {
        return;
    }
    const int previous = playlist_.currentIndex();
    playlist_.setCurrentIndex(next);
    openPlaylistEntry(previous);
}

void CReedtabApp::previousCommand() {
    const int before = playlist_.previousIndex();
    if (before < 0) {
        transportCommands_->rewindCommand();
        return;
    }
    const int previous = playlist_.currentIndex();
    playlist_.setCurrentIndex(before);
    openPlaylistEntry(previous);
}

bool CReedtabApp::playNextSong() {
    if (playlist_.currentIndex() + 1 >= playlist_.count()) {
        return false;
    }
    const int previous = playlist_.currentIndex();
    playlist_.setCurrentIndex(previous + 1);
    playlist_.fromPlaylist = true;
    playlist_.refreshSelection = true;
    if (openFile(QString::fromStdString(playlist_.currentEntry()))) {
        transportCommands_->startAt(0, settings().playCountIn);
    } else {
        playlist_.setCurrentIndex(previous);
        if (playlistWindow_) {
            playlistWindow_->refresh(true);
        }
    }
    return true;
}

void CReedtabApp::reloadCommand() {
    if (playlist_.empty()) {
        return;
    }
    openPlaylistEntry(playlist_.currentIndex());
}

void CReedtabApp::playlistCommand() {
    if (playlistWindow_) {
        playlistWindow_->raise();
        playlistWindow_->activateWindow();
        return;
    }
    playlistWindow_ = new CPlayList(*this, frame_.get());
    playlistWindow_->show();
}

void CReedtabApp::aboutCommand() {
    CAboutDlg about(QString::fromLatin1(kVersionText), buildDate(), frame_.get());
    connect(&about, &CAboutDlg::webPageRequested, this,
            [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
    about.exec();
}

void CReedtabApp::openRecentFile(int index) {
    if (index < 0 || index >= recentFiles_.size()) {
        return;
    }
    // A copy: opening moves the entry to the front of the list it is read from.
    const QString path = recentFiles_[index];
    openFile(path);
}

void CReedtabApp::addRecentFile(const QString& opened) {
    const QString path = opened;
    recentFiles_.removeAll(path);
    recentFiles_.prepend(path);
    while (recentFiles_.size() > kRecentFileCount) {
        recentFiles_.removeLast();
    }
    saveRecentFiles();
    frame_->setRecentFiles(recentFiles_);
}

void CReedtabApp::loadRecentFiles() {
    recentFiles_.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const auto path = store_->readString(kRecentSection, "File" + std::to_string(i));
        if (path && !path->empty()) {
            recentFiles_ << QString::fromStdString(*path);
        }
    }
}

void CReedtabApp::saveRecentFiles() {
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const std::string value =
            i <= recentFiles_.size() ? recentFiles_[i - 1].toStdString() : std::string();
        store_->writeString(kRecentSection, "File" + std::to_string(i), value);
    }
}

} // namespace reedtab
