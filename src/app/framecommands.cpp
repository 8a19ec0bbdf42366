// The frame's commands, menus, toolbar and status bar: what the frame registers in the command
// table, and the menus and toolbar built from it.

#include "app/mainframe.h"

#include "app/reedtabapp.h"
#include "app/tablaturecommands.h"
#include "dialogs/edittoolbar.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "playback/speedtrainer.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolBar>
#include <QWhatsThis>

#include <algorithm>
#include <tuple>
#include <vector>

namespace reedtab {

namespace {

// The slider reaches every percentage the speed trainer can set.
constexpr int kTempoMin = kLowestTrainerPercent;
constexpr int kTempoMax = kHighestTrainerPercent;
constexpr int kTempoPage = 10;
// The tool bar keeps room for the harmonica's name; the arrow keys step single percents.
constexpr int kTempoSliderWidth = 100;

const char* const kTabTypes[] = {"Notes (C Inst)", "Diatonic", "Chromatic", "Notes (Bb Inst)",
                                 "Notes (Eb Inst)"};

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Toolbar buttons and menus leave their hover prompt behind in the message pane unless it is
// cleared when the pointer goes.
class PromptClearer : public QObject {
public:
    explicit PromptClearer(QStatusBar* bar) : QObject(bar), bar_(bar) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Leave || event->type() == QEvent::Hide)
            bar_->clearMessage();
        return QObject::eventFilter(watched, event);
    }

private:
    QStatusBar* bar_;
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

// ---- Commands ----

void CMainFrame::registerCommands() {
    CommandTable& table = *commands_;
    const auto playing = [this] { return transport_->isPlaying(); };
    const auto hasTracks = [this] { return doc_->song.trackCount() > 0; };
    const auto marked = [this] { return doc_->markBegin >= 0 || doc_->markEnd >= 0; };

    table.add(ID_FILE_NEW, [this] { newDocumentCommand(); });
    table.add(ID_FILE_SAVE, [this] {
        const std::string before = doc_->pathName();
        if (doc_->saveDocument() && doc_->pathName() != before) {
            app_.addRecentFile(QString::fromStdString(doc_->pathName()));
        }
        updateTitle();
    });
    table.add(ID_FILE_SAVE_AS, [this] { saveAsCommand(); });
    table.add(ID_APP_EXIT, [this] { close(); });

    // Notes selected in edit mode are what Cut, Copy and Delete take; else the marked range.
    const auto selectedNotes = [this] {
        return settings().editMode ? view_->selectedNotes() : std::vector<MidiEvent*>{};
    };
    table.add(
        ID_EDIT_UNDO, [this] { doc_->undo(); }, [this] { return doc_->undoEnabled(); });
    table.add(
        ID_EDIT_REDO, [this] { doc_->redo(); }, [this] { return doc_->redoEnabled(); });
    table.add(
        ID_EDIT_CUT,
        [=, this] {
            doc_->cut(selectedNotes());
            offerClip();
        },
        [=] { return hasTracks() && !playing() && (marked() || !selectedNotes().empty()); });
    table.add(
        ID_EDIT_COPY,
        [=, this] {
            if (doc_->copySelection(selectedNotes()) == 0) {
                offerClip();
            }
        },
        [=, this] { return doc_->canCopy(!selectedNotes().empty()); });
    table.add(
        ID_EDIT_PASTE, [this] { doc_->paste(transport_->playTick()); },
        [=, this] { return doc_->canPaste() && !playing(); });
    table.add(
        ID_EDIT_DELETE,
        [=, this] {
            const std::vector<MidiEvent*> notes = selectedNotes();
            doc_->deleteSelection(notes.empty() ? nullptr : notes.front());
        },
        [=] { return (hasTracks() && marked()) || !selectedNotes().empty(); });
    table.add(
        ID_EDIT_CROP, [this] { doc_->crop(); }, [=] { return hasTracks() && marked(); });
    table.add(
        ID_EDIT_INSERT_SILENCE, [this] { insertSilenceCommand(); },
        [=, this] { return hasTracks() && editToolbar_ && !playing(); });
    QAction* editMode = table.add(
        ID_EDIT_MODE, [this] { editModeCommand(); }, [=] { return !playing(); },
        [this] { return editToolbar_ != nullptr; });
    // Alt+W also closes edit mode from the toolbar's own window.
    editMode->setShortcutContext(Qt::ApplicationShortcut);
    table.add(
        ID_EDIT_BEGIN_MARK, [this] { markCommand(true); }, hasTracks);
    table.add(
        ID_EDIT_END_MARK, [this] { markCommand(false); }, hasTracks);

    for (const ZoomCommand& zoom : kZoomCommands) {
        const QString text = QString::fromLatin1(zoom.menuText);
        const int index = zoom.zoomIndex;
        table.add(
            zoom.id, text, QStringLiteral("Zoom time scale to %1").arg(text), true,
            [this, index] { view_->setZoomIndex(index); }, {},
            [this, index] { return view_->zoomIndex() == index; });
    }
    table.add(kZoomInCommand, QStringLiteral("Zoom In"), QStringLiteral("Zoom In"), false,
              [this] { view_->zoomIn(); });
    table.add(kZoomOutCommand, QStringLiteral("Zoom Out"), QStringLiteral("Zoom Out"), false,
              [this] { view_->zoomOut(); });

    table.add(
        ID_PLAY_PLAY, [this] { playCommand(); }, {}, playing);
    table.add(ID_PLAY_STOP, [this] { stopCommand(); });
    table.add(ID_PLAY_REWIND, [this] { rewindCommand(); });
    const std::pair<int, Shared<bool>*> toggles[] = {
        {ID_PLAY_METRONOME, &settings().playMetronome},
        {ID_PLAY_COUNT_IN, &settings().playCountIn},
        {ID_PLAY_LOOP, &settings().playLoop},
        {ID_PLAY_MIDI_CLOCK, &settings().sendMidiSt},
        {ID_PLAY_FILTER_PROGRAMS, &settings().skipPrgChange},
    };
    for (const auto& [id, setting] : toggles) {
        Shared<bool>* flag = setting;
        // A trainer loops whatever the switch says.
        CommandTable::Predicate checked = [flag] { return flag->load(); };
        if (id == ID_PLAY_LOOP) {
            checked = [this] { return transport_->looping(); };
        }
        table.add(
            id, [this, flag] { toggleSetting(*flag); }, {}, checked);
    }

    const std::tuple<int, int, bool> transpositions[] = {
        {ID_TRANSPOSE_UP, 1, true},
        {ID_TRANSPOSE_DOWN, -1, true},
        {ID_TRANSPOSE_OCTAVE_UP, 12, true},
        {ID_TRANSPOSE_OCTAVE_DOWN, -12, true},
        {ID_TRANSPOSE_SHOWN_OCTAVE_UP, 12, false},
        {ID_TRANSPOSE_SHOWN_OCTAVE_DOWN, -12, false},
    };
    for (const auto& [id, halfSteps, all] : transpositions) {
        table.add(id, [this, steps = halfSteps, everyTrack = all] {
            transposeCommand(steps, everyTrack);
        });
    }
    table.add(
        ID_APPLY_TEMPO_CHANGE, [this] { applyTempoChange(); },
        [=, this] { return !playing() && transport_->tempoPercent() != kNormalTempo; });
    table.add(
        ID_TAB_TEXT_TRACK, [this] { doc_->tablatureToTextTrack(); },
        [=] { return hasTracks() && !playing(); });
    table.add(
        ID_VIEW_DUMP, [this] { dumpCommand(); }, [=] { return hasTracks() && !playing(); });
    table.add(ID_HELP_TOPICS, [this] { helpCommand(); });

    for (const auto& [id, type] : kToolWindowCommands) {
        if (ToolWindows::available(type)) {
            QAction* toggle = table.add(
                id, [this, type = type] { tools_->toggle(type); }, {},
                [this, type = type] { return tools_->isOpen(type); });
            // The tool window just opened is the active one; its accelerator closes it again.
            toggle->setShortcutContext(Qt::ApplicationShortcut);
        }
    }

    // Print commands stay available while playing: they refuse with a beep.
    table.add(ID_FILE_PRINT, [this] { printCommand(); });
    table.add(ID_FILE_PRINT_PREVIEW, [this] { printPreviewCommand(); });
    table.add(ID_FILE_PRINT_SETUP, [this] { printSetupCommand(); });
    table.add(ID_FILE_EXPORT_PDF, [this] { exportPdfCommand(); });
    table.add(ID_OPTIONS, [this] { optionsCommand(); });
    table.add(
        ID_FILE_PROPERTIES, [this] { filePropertiesCommand(); },
        [=] { return hasTracks() && !playing(); });
    table.add(
        ID_MAP_NOTES, [this] { mapNotesCommand(); }, [=] { return hasTracks() && !playing(); });
    table.add(
        ID_WHICH_HARP, [this] { whichHarpCommand(); }, [=] { return hasTracks() && !playing(); });
    table.add(
        ID_SPEED_TRAINER, [this] { speedTrainerCommand(); },
        [=] { return hasTracks() && !playing(); });
    registerTablatureCommands(*this);
}

void CMainFrame::buildMenusAndToolBar() {
    if (menusBuilt_) {
        return;
    }
    menusBuilt_ = true;
    CommandTable& table = *commands_;
    // The extra accelerators of the frame's table.
    const std::pair<int, QKeySequence> extras[] = {
        {ID_EDIT_COPY, QKeySequence(Qt::CTRL | Qt::Key_Insert)},
        {ID_EDIT_PASTE, QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
        {ID_EDIT_CUT, QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
        {ID_EDIT_UNDO, QKeySequence(Qt::ALT | Qt::Key_Backspace)},
        {ID_EDIT_REDO, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
        {ID_HELP_TOPICS, QKeySequence(Qt::Key_F1)},
    };
    for (const auto& [id, keys] : extras) {
        if (QAction* command = table.action(id)) {
            command->setShortcuts({command->shortcut(), keys});
        }
    }
    auto* contextHelp = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
    connect(contextHelp, &QShortcut::activated, this, [] { QWhatsThis::enterWhatsThisMode(); });
    auto* nextPane = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(nextPane, &QShortcut::activated, this, [this] { focusPane(true); });
    auto* previousPane = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previousPane, &QShortcut::activated, this, [this] { focusPane(false); });

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
        {ID_VIEW_PLAYLIST, "playlist"},   {kZoomOutCommand, "zoomout"},
        {kZoomInCommand, "zoomin"},
    };
    for (const auto& [id, name] : icons) {
        if (QAction* command = table.action(id)) {
            command->setIcon(QIcon(QStringLiteral(":/app/icons/%1.svg").arg(name)));
        }
    }
    createMenus();
    createToolBar();
    refreshLayoutText();
    updateCommandStates();
}

void CMainFrame::createMenus() {
    auto* clearer = new PromptClearer(statusBar());
    auto add = [this, clearer](QMenu* menu, std::initializer_list<int> ids) {
        menu->installEventFilter(clearer);
        for (int id : ids) {
            if (id == 0) {
                menu->addSeparator();
            } else if (QAction* command = commands_->action(id)) {
                menu->addAction(command);
            }
        }
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_RELOAD, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0,
               ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_FILE_PRINT_SETUP, ID_FILE_EXPORT_PDF, 0,
               ID_FILE_EXPORT_TAB_TEXT, ID_FILE_EXPORT_MUSICXML, ID_FILE_IMPORT_TAB_TEXT, 0});
    recentMenu_ = file->addMenu(QStringLiteral("Recent File"));
    recentMenu_->menuAction()->setStatusTip(QStringLiteral("Open this document"));
    file->addSeparator();
    add(file, {ID_APP_EXIT});

    // The menus' mnemonics stay clear of the commands' Alt accelerators (Alt+E is MIDI Events,
    // Alt+H the diatonic harmonica, Alt+L the playlist).
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Ed&it"));
    add(edit, {ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE,
               ID_EDIT_DELETE, ID_EDIT_CROP, ID_EDIT_INSERT_SILENCE, 0, ID_EDIT_BEGIN_MARK,
               ID_EDIT_END_MARK, 0, ID_EDIT_MODE, ID_FILE_PROPERTIES});

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    add(view, {ID_VIEW_MIXER, ID_VIEW_PIANO, ID_VIEW_LYRICS, ID_VIEW_PLAYLIST, ID_VIEW_DIATONIC,
               ID_VIEW_CHROMATIC, ID_VIEW_EVENTS, ID_VIEW_LISTEN, 0});
    QMenu* zoom = view->addMenu(QStringLiteral("&Zoom"));
    zoom->installEventFilter(clearer);
    // Largest first, as the menu has always listed them.
    for (auto it = kZoomCommands.rbegin(); it != kZoomCommands.rend(); ++it) {
        zoom->addAction(commands_->action(it->id));
    }

    QMenu* play = menuBar()->addMenu(QStringLiteral("Pla&y"));
    add(play, {ID_PLAY_PLAY, ID_PLAY_STOP, ID_PLAY_REWIND, ID_PLAY_PREVIOUS, ID_PLAY_NEXT, 0,
               ID_PLAY_METRONOME, ID_PLAY_COUNT_IN, ID_PLAY_LOOP, ID_PLAY_MIDI_CLOCK,
               ID_PLAY_FILTER_PROGRAMS, 0, ID_SPEED_TRAINER});

    QMenu* tools = menuBar()->addMenu(QStringLiteral("T&ools"));
    QMenu* transpose = tools->addMenu(QStringLiteral("T&ranspose"));
    add(transpose,
        {ID_TRANSPOSE_UP, ID_TRANSPOSE_DOWN, ID_TRANSPOSE_OCTAVE_UP, ID_TRANSPOSE_OCTAVE_DOWN,
         ID_TRANSPOSE_SHOWN_OCTAVE_UP, ID_TRANSPOSE_SHOWN_OCTAVE_DOWN});
    add(tools, {ID_APPLY_TEMPO_CHANGE, ID_TAB_TEXT_TRACK, ID_VIEW_DUMP, ID_MAP_NOTES, ID_WHICH_HARP,
                ID_OPTIMIZE_FINGERINGS, 0, ID_OPTIONS});

    QMenu* help = menuBar()->addMenu(QStringLiteral("Hel&p"));
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
                         kZoomOutCommand,
                         kZoomInCommand,
                         0};
    auto* clearer = new PromptClearer(statusBar());
    for (int id : items) {
        if (id == 0) {
            bar->addSeparator();
        } else if (QAction* command = commands_->action(id)) {
            bar->addAction(command);
            if (QWidget* button = bar->widgetForAction(command)) {
                button->installEventFilter(clearer);
            }
        }
    }

    tempoSlider_ = new TempoSlider(Qt::Horizontal, bar);
    tempoSlider_->setFixedWidth(kTempoSliderWidth);
    tempoSlider_->setRange(kTempoMin, kTempoMax);
    tempoSlider_->setPageStep(kTempoPage);
    tempoSlider_->setValue(kNormalTempo);
    tempoSlider_->installEventFilter(clearer);
    showTempoTip(kNormalTempo);
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
    tabType_->setToolTip(latin1(toolbarPrompt(ID_TAB_TYPE)));
    tabType_->installEventFilter(clearer);
    tabType_->setStatusTip(tabType_->toolTip());
    tabType_->setWhatsThis(tabType_->toolTip());
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
    bar->showMessage(QString());
}

void CMainFrame::offerClip() {
    const std::string& clip = doc_->clip();
    if (clip.empty()) {
        return;
    }
    // Other programs get the copied events as a MIDI file.
    auto* data = new QMimeData;
    data->setData(QStringLiteral("audio/midi"),
                  QByteArray(clip.data(), static_cast<qsizetype>(clip.size())));
    QGuiApplication::clipboard()->setMimeData(data);
}

QAction* CMainFrame::action(int id) const {
    return commands_->action(id);
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

void CMainFrame::updateCommandStates() {
    commands_->updateStates();
    if (QAction* undo = commands_->action(ID_EDIT_UNDO)) {
        undo->setText(QString::fromStdString(doc_->undoMenuText()));
    }
    if (QAction* redo = commands_->action(ID_EDIT_REDO)) {
        redo->setText(QString::fromStdString(doc_->redoMenuText()));
    }
    if (QAction* editMode = commands_->action(ID_EDIT_MODE)) {
        editMode->setText(editToolbar_ ? QStringLiteral("Quit Edit Mode\tAlt+W")
                                       : latin1(findCommand(ID_EDIT_MODE)->text));
    }
}

} // namespace reedtab
