#include "app/mainframe.h"

#include "app/commands.h"
#include "app/reedtabapp.h"
#include "dialogs/posentry.h"
#include "document/reedtabdoc.h"
#include "document/streamplayercontrol.h"
#include "harmonica/layoutsettings.h"
#include "harmonica/notation.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
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
#include <QUrl>

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
constexpr int kTempoMin = 20;
constexpr int kTempoMax = 200;
constexpr int kTempoPage = 10;
constexpr int kNormalTempo = 100;
constexpr std::uint32_t kCommandMessage = 32771 + 0x10000; // private: a posted menu command

const char* const kTabTypes[] = {"Notes (C Inst)", "Diatonic", "Chromatic", "Notes (Bb Inst)",
                                 "Notes (Eb Inst)"};

// Tool window toggles by tool-window type 1..6.
constexpr int kToolWindowCommands[] = {ID_VIEW_MIXER,     ID_VIEW_PIANO,  ID_VIEW_DIATONIC,
                                       ID_VIEW_CHROMATIC, ID_VIEW_LYRICS, ID_VIEW_EVENTS};

QString percentText(int percent) {
    return QString::asprintf("%d%%", percent);
}
QString bpmText(int bpm) {
    return QString::asprintf("%4d bpm", bpm);
}
QString tickText(int tick) {
    return QString::asprintf("%10d", tick);
}

// The shortcut written after the tab of a menu text, as a key sequence; "[space]" is handled
// by the frame's own keys.
QKeySequence shortcutOf(std::string_view text) {
    const auto tab = text.find('\t');
    if (tab == std::string_view::npos) {
        return {};
    }
    QString keys =
        QString::fromLatin1(text.data() + tab + 1, static_cast<qsizetype>(text.size() - tab - 1));
    if (keys.startsWith(QLatin1Char('['))) {
        return {};
    }
    keys.replace(QStringLiteral("DEL"), QStringLiteral("Del"));
    return QKeySequence::fromString(keys, QKeySequence::PortableText);
}

// Tool tips are the menu text without its accelerator marks, dots and shortcut.
QString toolTipOf(std::string_view text) {
    QString tip = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    tip = tip.section(QLatin1Char('\t'), 0, 0);
    tip.remove(QLatin1Char('&'));
    tip.remove(QStringLiteral("..."));
    return tip.trimmed();
}

// What the view reads of the player.
class FrameViewPlayer final : public ViewPlayer {
public:
    explicit FrameViewPlayer(StreamPlayer& player) : player_(player) {}

    bool isPlaying() const override { return player_.isPlaying(); }
    std::int32_t playTick() const override { return player_.playTick(); }
    int nextEventIndex() const override { return player_.eventCursor(); }
    void seek(std::int32_t tick) override { player_.seek(tick); }

private:
    StreamPlayer& player_;
};

// The tempo slider, with one tick mark at the normal tempo.
class TempoSlider : public QSlider {
public:
    using QSlider::QSlider;

protected:
    void paintEvent(QPaintEvent* event) override {
        QSlider::paintEvent(event);
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
        const int span = width() - handle.width();
        const int x = handle.width() / 2 +
                      QStyle::sliderPositionFromValue(minimum(), maximum(), kNormalTempo, span);
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawLine(x, height() - 4, x, height() - 1);
    }
};

} // namespace

CMainFrame::CMainFrame(CReedtabApp& app, FrameEnvironment environment)
    : app_(app), store_(environment.store),
      player_(std::make_unique<StreamPlayer>(environment.outputs, environment.clock)) {
    initAppResources();
    setWindowIcon(QIcon(QStringLiteral(":/app/reedtab.svg")));
    playerControl_ = std::make_unique<StreamPlayerControl>(*player_);
    doc_ = std::make_unique<CReedtabDoc>(*this, *playerControl_);

    createActions();
    createMenus();
    createToolBar();
    diatonic_.init(60, -1);
    chromatic_.init(60, -1);

    viewPlayer_ = std::make_unique<FrameViewPlayer>(*player_);
    view_ = std::make_unique<CReedtabView>(*doc_, *viewPlayer_, settings(), diatonic_, chromatic_,
                                           this);
    setCentralWidget(view_.get());
    connect(view_.get(), &CReedtabView::positionChanged, this,
            [this](std::int32_t tick) { showPosition(tick); });
    connect(view_.get(), &CReedtabView::marksChanged, this, [this] { updateCommandStates(); });

    createStatusBar();
    restorePlacement();
    refreshLayoutText();

    player_->init(&doc_->song, this);
    player_->openDevice();
    if (settings().inputDeviceIndex != -1 && input_.openInput(this) != 0) {
        QMessageBox::critical(this, QStringLiteral("Reedtab Midi"),
                              QStringLiteral("Cannot open Midi input device"));
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

    updateTitle();
    updateCommandStates();
}

CMainFrame::~CMainFrame() {
    quitting_ = true;
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

// ---- Construction ----

QAction* CMainFrame::makeAction(int id) {
    const CommandInfo* info = findCommand(id);
    auto* action = new QAction(this);
    if (info) {
        action->setText(
            QString::fromLatin1(info->text.data(), static_cast<qsizetype>(info->text.size())));
        action->setStatusTip(
            QString::fromLatin1(info->prompt.data(), static_cast<qsizetype>(info->prompt.size())));
        action->setToolTip(toolTipOf(info->text));
        if (id != ID_VIEW_EVENTS) {
            action->setShortcut(shortcutOf(info->text));
        }
    } else {
        const std::string_view prompt = toolbarPrompt(id);
        const QString text =
            QString::fromLatin1(prompt.data(), static_cast<qsizetype>(prompt.size()));
        action->setText(text);
        action->setStatusTip(text);
        action->setToolTip(text);
    }
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_.insert(id, action);
    return action;
}

void CMainFrame::createActions() {
    for (const auto& command : commandTable()) {
        if (command.id != ID_FILE_MRU_FILE1) {
            makeAction(command.id);
        }
    }
    makeAction(ID_ZOOM_IN);
    makeAction(ID_ZOOM_OUT);

    for (int id : {ID_PLAY_PLAY, ID_PLAY_METRONOME, ID_PLAY_COUNT_IN, ID_PLAY_LOOP,
                   ID_PLAY_MIDI_CLOCK, ID_PLAY_FILTER_PROGRAMS, ID_EDIT_MODE}) {
        actions_[id]->setCheckable(true);
    }
    for (int id : kToolWindowCommands) {
        actions_[id]->setCheckable(true);
    }
    // The extra accelerators of the edit commands.
    actions_[ID_EDIT_COPY]->setShortcuts(
        {actions_[ID_EDIT_COPY]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
    actions_[ID_EDIT_PASTE]->setShortcuts(
        {actions_[ID_EDIT_PASTE]->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
    actions_[ID_EDIT_CUT]->setShortcuts(
        {actions_[ID_EDIT_CUT]->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    actions_[ID_EDIT_UNDO]->setShortcuts(
        {actions_[ID_EDIT_UNDO]->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Backspace)});

    const std::pair<int, const char*> icons[] = {
        {ID_FILE_OPEN, "open"},           {ID_FILE_SAVE, "save"},
        {ID_FILE_PRINT, "print"},         {ID_VIEW_MIXER, "mixer"},
        {ID_VIEW_PIANO, "piano"},         {ID_VIEW_DIATONIC, "diatonic"},
        {ID_VIEW_CHROMATIC, "chromatic"}, {ID_VIEW_LYRICS, "lyrics"},
        {ID_VIEW_EVENTS, "events"},       {ID_EDIT_MODE, "editmode"},
        {ID_PLAY_LOOP, "loop"},           {ID_PLAY_COUNT_IN, "countin"},
        {ID_PLAY_METRONOME, "metronome"}, {ID_PLAY_PREVIOUS, "previous"},
        {ID_PLAY_REWIND, "rewind"},       {ID_PLAY_STOP, "stop"},
        {ID_PLAY_PLAY, "play"},           {ID_PLAY_NEXT, "next"},
        {ID_VIEW_PLAYLIST, "playlist"},   {ID_ZOOM_OUT, "zoomout"},
        {ID_ZOOM_IN, "zoomin"},
    };
    for (const auto& [id, name] : icons) {
        actions_[id]->setIcon(QIcon(QStringLiteral(":/app/icons/%1.svg").arg(name)));
    }
}

void CMainFrame::createMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) {
                menu->addSeparator();
            } else {
                menu->addAction(actions_[id]);
            }
        }
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_RELOAD, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0,
               ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, 0});
    recentMenu_ = file->addMenu(QStringLiteral("Recent File"));
    recentMenu_->menuAction()->setStatusTip(QStringLiteral("Open this document"));
    file->addSeparator();
    add(file, {ID_APP_EXIT});

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    add(edit, {ID_EDIT_UNDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_DELETE,
               ID_EDIT_CROP, ID_EDIT_INSERT_SILENCE, 0, ID_EDIT_BEGIN_MARK, ID_EDIT_END_MARK, 0,
               ID_EDIT_MODE, ID_FILE_PROPERTIES});

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    add(view, {ID_VIEW_MIXER, ID_VIEW_PIANO, ID_VIEW_LYRICS, ID_VIEW_PLAYLIST, ID_VIEW_DIATONIC,
               ID_VIEW_CHROMATIC, ID_VIEW_EVENTS, 0});
    QMenu* zoom = view->addMenu(QStringLiteral("&Zoom"));
    add(zoom, {ID_ZOOM_200, ID_ZOOM_150, ID_ZOOM_100, ID_ZOOM_75, ID_ZOOM_50, ID_ZOOM_25});

    QMenu* play = menuBar()->addMenu(QStringLiteral("&Play"));
    add(play, {ID_PLAY_PLAY, ID_PLAY_STOP, ID_PLAY_REWIND, ID_PLAY_PREVIOUS, ID_PLAY_NEXT, 0,
               ID_PLAY_METRONOME, ID_PLAY_COUNT_IN, ID_PLAY_LOOP, ID_PLAY_MIDI_CLOCK,
               ID_PLAY_FILTER_PROGRAMS});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    QMenu* transpose = tools->addMenu(QStringLiteral("T&ranspose"));
    add(transpose,
        {ID_TRANSPOSE_UP, ID_TRANSPOSE_DOWN, ID_TRANSPOSE_OCTAVE_UP, ID_TRANSPOSE_OCTAVE_DOWN,
         ID_TRANSPOSE_SHOWN_OCTAVE_UP, ID_TRANSPOSE_SHOWN_OCTAVE_DOWN});
    add(tools,
        {ID_APPLY_TEMPO_CHANGE, ID_TAB_TEXT_TRACK, ID_VIEW_DUMP, ID_MAP_NOTES, 0, ID_OPTIONS});

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, {ID_HELP_TOPICS, ID_APP_ABOUT});
}

void CMainFrame::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Main"));
    bar->setObjectName(QStringLiteral("toolbar128"));
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(false);
    const int items[] = {ID_FILE_OPEN,
                         ID_FILE_SAVE,
                         ID_FILE_PRINT,
                         0,
                         ID_VIEW_MIXER,
                         ID_VIEW_PIANO,
                         ID_VIEW_DIATONIC,
                         ID_VIEW_CHROMATIC,
                         ID_VIEW_LYRICS,
                         ID_VIEW_EVENTS,
                         0,
                         ID_EDIT_MODE,
                         ID_PLAY_LOOP,
                         ID_PLAY_COUNT_IN,
                         ID_PLAY_METRONOME,
                         0,
                         ID_PLAY_PREVIOUS,
                         ID_PLAY_REWIND,
                         ID_PLAY_STOP,
                         ID_PLAY_PLAY,
                         ID_PLAY_NEXT,
                         ID_VIEW_PLAYLIST,
                         0,
                         ID_ZOOM_OUT,
                         ID_ZOOM_IN,
                         0};
    for (int id : items) {
        if (id == 0) {
            bar->addSeparator();
        } else {
            bar->addAction(actions_[id]);
        }
    }

    tempoSlider_ = new TempoSlider(Qt::Horizontal, bar);
    tempoSlider_->setFixedWidth(100);
    tempoSlider_->setRange(kTempoMin, kTempoMax);
    tempoSlider_->setPageStep(kTempoPage);
    tempoSlider_->setValue(kNormalTempo);
    tempoSlider_->setToolTip(toolTipOf(toolbarPrompt(ID_TEMPO_SLIDER)));
    tempoSlider_->setStatusTip(tempoSlider_->toolTip());
    bar->addWidget(tempoSlider_);
    connect(tempoSlider_, &QSlider::sliderMoved, this,
            [this](int position) { tempoSliderMoved(position, true, false); });
    connect(tempoSlider_, &QSlider::sliderReleased, this,
            [this] { tempoSliderMoved(tempoSlider_->value(), false, true); });
    connect(tempoSlider_, &QSlider::actionTriggered, this, [this](int sliderAction) {
        if (sliderAction != QAbstractSlider::SliderMove) {
            // The position is applied after the action; read it once the slider moved.
            QTimer::singleShot(0, this, [this] {
                if (!tempoSlider_->isSliderDown()) {
                    tempoSliderMoved(tempoSlider_->value(), false, false);
                }
            });
        }
    });

    const QFont interfaceFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    tabType_ = new QComboBox(bar);
    // 100 pixels, or more when the interface font needs it to show "Notes (Bb Inst)" whole.
    tabType_->setMinimumWidth(100);
    tabType_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const char* text : kTabTypes) {
        tabType_->addItem(QString::fromLatin1(text));
    }
    tabType_->setCurrentIndex(std::clamp(settings().tabMode, 0, 4));
    tabType_->setFont(interfaceFont);
    tabType_->setToolTip(toolTipOf(toolbarPrompt(ID_TAB_TYPE)));
    tabType_->setStatusTip(tabType_->toolTip());
    bar->addWidget(tabType_);
    connect(tabType_, &QComboBox::activated, this, &CMainFrame::tabTypeSelected);

    layoutText_ = new QLabel(bar);
    layoutText_->setFixedWidth(350);
    layoutText_->setFont(interfaceFont);
    layoutText_->setContentsMargins(5, 0, 0, 0);
    bar->addWidget(layoutText_);
}

void CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    const QFontMetrics metrics(bar->font());
    const int widths[] = {0, metrics.horizontalAdvance(QStringLiteral("100%")) + 8,
                          metrics.averageCharWidth() * 15, metrics.averageCharWidth() * 20,
                          metrics.averageCharWidth() * 80};
    for (int i = 1; i < 5; ++i) {
        panes_[i] = new QLabel(bar);
        panes_[i]->setMinimumWidth(widths[i]);
        panes_[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        bar->addPermanentWidget(panes_[i]);
    }
    panes_[1]->setText(percentText(settings().tempoPercent));
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
    panes_[3]->setText(tickText(0));
    bar->showMessage(QString());
}

QAction* CMainFrame::action(int id) const {
    return actions_.value(id, nullptr);
}

QString CMainFrame::paneText(int index) const {
    if (index == 0) {
        return statusBar()->currentMessage();
    }
    if (index < 0 || index > 4) {
        return {};
    }
    return panes_[index]->text();
}

// ---- Command states ----

void CMainFrame::updateCommandStates() {
    const MidiSong& song = doc_->song;
    const bool playing = player_->isPlaying();
    const bool hasTracks = song.trackCount() > 0;
    const bool marked = doc_->markBegin >= 0 || doc_->markEnd >= 0;

    auto set = [this](int id, bool enabled) { actions_[id]->setEnabled(enabled); };
    // Commands whose windows and dialogs are not part of the program yet stay disabled.
    for (int id : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, ID_EDIT_MODE,
                   ID_FILE_PROPERTIES, ID_MAP_NOTES, ID_OPTIONS, ID_HELP_TOPICS, ID_EDIT_COPY,
                   ID_EDIT_PASTE, ID_EDIT_INSERT_SILENCE}) {
        set(id, false);
    }
    for (int id : kToolWindowCommands) {
        set(id, false);
        actions_[id]->setChecked(false);
    }

    set(ID_FILE_RELOAD, doc_->canReload());
    set(ID_EDIT_UNDO, doc_->undoEnabled());
    actions_[ID_EDIT_UNDO]->setText(QString::fromStdString(doc_->undoMenuText()));
    set(ID_EDIT_CUT, hasTracks && !playing && marked);
    set(ID_EDIT_DELETE, hasTracks && marked);
    set(ID_EDIT_CROP, hasTracks && marked);
    set(ID_EDIT_BEGIN_MARK, hasTracks);
    set(ID_EDIT_END_MARK, hasTracks);
    set(ID_APPLY_TEMPO_CHANGE, !playing && settings().tempoPercent != kNormalTempo);
    set(ID_TAB_TEXT_TRACK, hasTracks && !playing);
    set(ID_VIEW_DUMP, !playing && hasTracks);

    actions_[ID_PLAY_PLAY]->setChecked(playing);
    actions_[ID_PLAY_METRONOME]->setChecked(settings().playMetronome);
    actions_[ID_PLAY_COUNT_IN]->setChecked(settings().playCountIn);
    actions_[ID_PLAY_LOOP]->setChecked(settings().playLoop);
    actions_[ID_PLAY_MIDI_CLOCK]->setChecked(settings().sendMidiSt);
    actions_[ID_PLAY_FILTER_PROGRAMS]->setChecked(settings().skipPrgChange);
    actions_[ID_EDIT_MODE]->setChecked(false);
}

void CMainFrame::runCommand(int id) {
    switch (id) {
    case ID_FILE_NEW:
        newDocumentCommand();
        break;
    case ID_FILE_OPEN:
        app_.openCommand();
        break;
    case ID_FILE_RELOAD:
        app_.reloadCommand();
        break;
    case ID_FILE_SAVE:
        doc_->saveDocument();
        break;
    case ID_FILE_SAVE_AS: {
        const std::string path = askSavePath("Save As");
        if (!path.empty()) {
            doc_->saveDocumentAs(path);
        }
        break;
    }
    case ID_APP_EXIT:
        close();
        break;
    case ID_EDIT_UNDO:
        doc_->undo();
        break;
    case ID_EDIT_CUT:
        doc_->cut();
        break;
    case ID_EDIT_DELETE:
        doc_->deleteSelection();
        break;
    case ID_EDIT_CROP:
        doc_->crop();
        break;
    case ID_EDIT_BEGIN_MARK:
    case ID_EDIT_END_MARK:
        markCommand(id == ID_EDIT_BEGIN_MARK);
        break;
    case ID_VIEW_PLAYLIST:
        app_.playlistCommand();
        break;
    case ID_PLAY_PLAY:
        playCommand();
        break;
    case ID_PLAY_STOP:
        stopCommand();
        break;
    case ID_PLAY_REWIND:
        rewindCommand();
        break;
    case ID_PLAY_PREVIOUS:
        app_.previousCommand();
        break;
    case ID_PLAY_NEXT:
        app_.nextCommand();
        break;
    case ID_PLAY_METRONOME:
        toggleSetting(settings().playMetronome);
        break;
    case ID_PLAY_COUNT_IN:
        toggleSetting(settings().playCountIn);
        break;
    case ID_PLAY_LOOP:
        toggleSetting(settings().playLoop);
        break;
    case ID_PLAY_MIDI_CLOCK:
        toggleSetting(settings().sendMidiSt);
        break;
    case ID_PLAY_FILTER_PROGRAMS:
        toggleSetting(settings().skipPrgChange);
        break;
    case ID_TRANSPOSE_UP:
        transposeCommand(1, true);
        break;
    case ID_TRANSPOSE_DOWN:
        transposeCommand(-1, true);
        break;
    case ID_TRANSPOSE_OCTAVE_UP:
        transposeCommand(12, true);
        break;
    case ID_TRANSPOSE_OCTAVE_DOWN:
        transposeCommand(-12, true);
        break;
    case ID_TRANSPOSE_SHOWN_OCTAVE_UP:
        transposeCommand(12, false);
        break;
    case ID_TRANSPOSE_SHOWN_OCTAVE_DOWN:
        transposeCommand(-12, false);
        break;
    case ID_APPLY_TEMPO_CHANGE:
        applyTempoChange();
        break;
    case ID_TAB_TEXT_TRACK:
        doc_->tablatureToTextTrack();
        break;
    case ID_VIEW_DUMP:
        dumpCommand();
        break;
    case ID_APP_ABOUT:
        app_.aboutCommand();
        break;
    default:
        view_->zoomCommand(id);
        break;
    }
    updateCommandStates();
}

void CMainFrame::newDocumentCommand() {
    if (doc_->askToSave()) {
        doc_->newDocument();
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
    if (entry.exec() != QDialog::Accepted) {
        return;
    }
    if (beginning) {
        doc_->markBeginning(entry.bar(), entry.beat(), entry.tick());
    } else {
        doc_->markEnding(entry.bar(), entry.beat(), entry.tick());
    }
    view_->repaintView();
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
        QTimer::singleShot(kSynthWaitMs, this,
                           [this, countIn, fromCursor] { startPlaying(countIn, fromCursor); });
        return;
    }
    if (statusBar()->currentMessage() == QLatin1String(kSynthLoadingText)) {
        statusBar()->clearMessage();
    }
    refreshToolWindows();
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
    }
    const int result = player_->start(tick, countIn);
    view_->repaintView();
    if (result != PlayerOk && result != PlayerAlreadyPlaying && result != PlayerStartAfterEnd) {
        messageBox("Cannot start playing!", "Reedtab Midi", MessageIcon::Exclamation);
    }
    updateCommandStates();
}

void CMainFrame::playCommand() {
    if (player_->isPlaying()) {
        stopCommand();
    } else {
        startPlaying(settings().playCountIn, false);
    }
}

void CMainFrame::stopCommand() {
    player_->stop(false);
    refreshToolWindows();
    view_->repaintView();
    updateCommandStates();
}

void CMainFrame::rewindCommand() {
    const int tick = doc_->markBegin >= 0 ? doc_->markBegin : 0;
    player_->seek(tick);
    view_->repaintView();
    showPosition(-1);
    refreshToolWindows();
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
    if (doc_->markBegin >= 0 || doc_->markEnd >= 0) {
        doc_->markBegin = -1;
        doc_->markEnd = -1;
        refreshToolWindows();
    }
    for (const auto& track : doc_->song.tracks) {
        track->flags &= static_cast<std::uint16_t>(~TrackSelected);
    }
    view_->repaintView();
    updateCommandStates();
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

// ---- Player messages ----

void CMainFrame::onPlayerPosition(std::uintptr_t wParam, std::intptr_t value) {
    if (wParam != kPlayerPositionWParam) {
        return;
    }
    Settings& block = settings();
    const MidiSong& song = doc_->song;
    const int division = std::max<int>(1, song.division);
    player_->setPlayTick(std::max(0, static_cast<int>(player_->streamTicks()) - player_->offset()));
    block.loopEnd = doc_->markEnd;
    block.loopStart = (doc_->markBegin >= 0 && block.playLoop) ? doc_->markBegin : -1;

    const bool counted = player_->positionMessageHandled();
    const bool playing = player_->isPlaying();
    int e = player_->lastShownTick();
    if (!playing) {
        player_->setShownEventIndex(-1);
        e = 0;
    } else if (counted) {
        const auto v = static_cast<std::uint32_t>(value);
        const bool isTick = (v & kPositionTickFlag) != 0;
        if (isTick) {
            e = static_cast<int>(v & ~kPositionTickFlag);
            if (e > view_->lastTick() - 2 * division) {
                view_->repaintView();
            }
        } else {
            e = v < song.mergedEvents.size() ? song.mergedEvents[v]->tick
                                             : player_->lastShownTick();
        }
        if (player_->lastShownTick() > e) {
            player_->setShownEventIndex(song.mergedEvents.lowerBound(e));
            view_->repaintView();
        }
        if (!isTick) {
            if (e < view_->firstTick() || e > view_->lastTick() - 2 * division) {
                view_->repaintView();
            } else {
                dispatchPlayedEvents(e);
            }
        }
    }
    if (playing) {
        player_->setLastShownTick(e);
        showPosition(e);
        if (e % sixteenth() == 0) {
            view_->redrawProgress(e);
        }
        if (e % division == 0) {
            view_->setScrollPosition(e / division);
        }
    }
}

void CMainFrame::dispatchPlayedEvents(int upToTick) {
    const MidiSong& song = doc_->song;
    const Settings& block = settings();
    int index = std::max(0, player_->shownEventIndex());
    const int count = song.mergedEvents.count();
    for (; index < count; ++index) {
        const MidiEvent& event = *song.mergedEvents[static_cast<size_t>(index)];
        if (event.tick > upToTick) {
            break;
        }
        if (event.kind() == KindTempo) {
            player_->setBaseTempo(event.value());
            postMessage(WM_PLAYER_TEMPO, 0, event.value());
        }
        const std::uint16_t flags = event.track ? event.track->flags : 0;
        if (flags & (TrackShown | TrackSelected)) {
            if (event.isNote) {
                view_->redrawNote(index,
                                  (flags & TrackSelected) ? block.colorPlaySel : block.colorPlayed);
            } else if (block.showPitchBends && event.kind() == KindPitchWheel) {
                view_->redrawBend(index);
            }
        }
    }
    player_->setShownEventIndex(index);
}

void CMainFrame::onPlayerTempo(int) {
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
}

void CMainFrame::onPlayerStopped() {
    refreshToolWindows();
    showPosition(-1);
    view_->repaintView();
    PlaylistModel& list = app_.playlist();
    if (list.currentIndex() + 1 < list.count()) {
        const int previous = list.currentIndex();
        list.setCurrentIndex((previous + 1) % list.count());
        list.fromPlaylist = true;
        list.refreshSelection = true;
        if (app_.openFile(QString::fromStdString(list.currentEntry()))) {
            player_->start(0, settings().playCountIn);
        } else {
            list.setCurrentIndex(previous);
            if (CPlayList* window = app_.playlistWindow()) {
                window->refresh(true);
            }
        }
    } else if (settings().playLoop) {
        player_->start(0, false);
    }
    updateCommandStates();
}

void CMainFrame::onNoteInput(std::uint32_t wParam, std::uint32_t lParam) {
    const int key = static_cast<int>(wParam & 0xFF);
    const int velocity = static_cast<int>((wParam >> 8) & 0xFF);
    const int action = static_cast<int>(lParam >> 29);
    const int channel = static_cast<int>((lParam >> 25) & 0x0F);
    switch (action) {
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
    setFocus();
    updateCommandStates();
}

void CMainFrame::tabTypeSelected(int index) {
    settings().tabMode = index;
    view_->refreshNoteFlags();
    view_->repaintView();
    setFocus();
    refreshLayoutText();
}

void CMainFrame::refreshLayoutText() {
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
    refreshToolWindows();
    view_->repaintView();
    if (wasPlaying) {
        startPlaying(false, true);
    }
}

void CMainFrame::applyTempoChange() {
    const int percent = settings().tempoPercent;
    doc_->applyTempoScaleEdit(percent);
    player_->setTempoPercent(kNormalTempo);
    player_->setBaseTempo(doc_->song.tempoAt(player_->playTick()));
    {
        const QSignalBlocker block(tempoSlider_);
        tempoSlider_->setValue(kNormalTempo);
    }
    panes_[1]->setText(percentText(kNormalTempo));
    panes_[2]->setText(bpmText(player_->setTempoPercent(-1)));
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
    openUrl(QUrl::fromLocalFile(path));
    return path;
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
    for (int type = 0; type <= 6; ++type) {
        // No tool window is open in this program yet.
        store_.writeInt(kWindowSection, "Mon" + std::to_string(type) + "On", 0);
    }
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
    quitting_ = true;
    event->accept();
}

// ---- Events ----

void CMainFrame::postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == WM_PLAYER_POSITION) {
        ++postedPositions_;
    }
    QCoreApplication::postEvent(this, new PlayerMessageEvent(message, wParam, lParam));
}

void CMainFrame::sendNoteInput(const NoteInput& input) {
    if (!quitting_) {
        postMessage(WM_NOTE_INPUT, input.wParam, static_cast<std::intptr_t>(input.lParam));
    }
}

bool CMainFrame::dispatchPendingMessage() {
    if (QThread::currentThread() != thread() || postedPositions_.load() == 0) {
        return false;
    }
    // Only position reports: an end-of-song message handled inside a stop would start the
    // next song from within that stop.
    QCoreApplication::sendPostedEvents(this, static_cast<int>(WM_PLAYER_POSITION));
    return true;
}

bool CMainFrame::event(QEvent* event) {
    const auto type = static_cast<std::uint32_t>(event->type());
    if (type == WM_PLAYER_POSITION || type == WM_PLAYER_TEMPO || type == WM_PLAYER_STOPPED ||
        type == WM_NOTE_INPUT) {
        const auto* message = static_cast<PlayerMessageEvent*>(event);
        if (type == WM_PLAYER_POSITION) {
            --postedPositions_;
            onPlayerPosition(message->wParam, message->lParam);
        } else if (type == WM_PLAYER_TEMPO) {
            onPlayerTempo(static_cast<int>(message->lParam));
        } else if (type == WM_PLAYER_STOPPED) {
            if (message->wParam == PlayerDeviceError) {
                statusBar()->showMessage(QString::fromLatin1(kDeviceLostText));
            }
            onPlayerStopped();
        } else {
            onNoteInput(static_cast<std::uint32_t>(message->wParam),
                        static_cast<std::uint32_t>(message->lParam));
        }
        return true;
    }
    if (type == kCommandMessage) {
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
    QFileDialog dialog(this, QString::fromStdString(title), QString(),
                       QStringLiteral("Midi Files (*.mid *.kar)"));
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

void CMainFrame::songLoaded() {
    refreshToolWindows();
    updateTitle();
}

void CMainFrame::closeEditToolbar() {}

void CMainFrame::refreshFrame() {
    updateTitle();
    updateCommandStates();
}

void CMainFrame::refreshTrackLists() {}

void CMainFrame::refreshToolWindows() {}

void CMainFrame::repaintView() {
    view_->repaintView();
}

void CMainFrame::refreshNoteFlags() {
    view_->refreshNoteFlags();
}

void CMainFrame::dropNoteSelection() {}

void CMainFrame::removeSelectionFrame(const MidiEvent*) {}

void CMainFrame::updateSelectionFrames() {}

void CMainFrame::setScrollRange(int quarters) {
    view_->setScrollRange(quarters);
}

void CMainFrame::scrollToCursor() {
    view_->repaintView();
}

void CMainFrame::updateTitle() {
    setWindowTitle(QString::fromStdString(doc_->title()) + QStringLiteral("[*] - Reedtab"));
    setWindowModified(doc_->isModified());
}

} // namespace reedtab
