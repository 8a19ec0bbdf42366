// The frame's commands, menus, toolbar and status bar: what the frame registers in the command
// table, and the menus and toolbar built from it.

#include "app/mainframe.h"

#include "app/menutable.h"
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

void setIcon(QAction* command, const char* name) {
    if (command) {
        command->setIcon(QIcon(QStringLiteral(":/app/icons/%1.svg").arg(QLatin1String(name))));
    }
}

// The toggles of the registry's tool windows that `listed` does not name.
std::vector<int> unlistedToolWindows(const std::vector<int>& listed) {
    std::vector<int> ids;
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        if (std::find(listed.begin(), listed.end(), kind.command) == listed.end()) {
            ids.push_back(kind.command);
        }
    }
    return ids;
}

} // namespace

// ---- Commands ----

void CMainFrame::registerCommands() {
    CommandTable& table = *commands_;
    const auto playing = [this] { return transport_->isPlaying(); };
    const auto hasTracks = [this] { return doc_->song.trackCount() > 0; };

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
    registerTablatureCommands(*this);
}

void CMainFrame::buildMenusAndToolBar() {
    if (menusBuilt_) {
        return;
    }
    menusBuilt_ = true;
    CommandTable& table = *commands_;
    if (QAction* help = table.action(ID_HELP_TOPICS)) {
        help->setShortcuts({help->shortcut(), QKeySequence(Qt::Key_F1)});
    }
    auto* contextHelp = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
    connect(contextHelp, &QShortcut::activated, this, [] { QWhatsThis::enterWhatsThisMode(); });
    auto* nextPane = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(nextPane, &QShortcut::activated, this, [this] { focusPane(true); });
    auto* previousPane = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previousPane, &QShortcut::activated, this, [this] { focusPane(false); });

    for (const ToolbarButton& button : toolbarSpec()) {
        if (button.icon) {
            setIcon(table.action(button.id), button.icon);
        }
    }
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        setIcon(table.action(kind.command), kind.name);
    }
    createMenus();
    createToolBar();
    refreshLayoutText();
    updateCommandStates();
}

void CMainFrame::fillMenu(QMenu* menu, const MenuSpec& spec, QObject* clearer) {
    menu->installEventFilter(clearer);
    for (int item : spec.items) {
        if (item == kSeparator) {
            menu->addSeparator();
        } else if (item == kRecentFilesItem) {
            recentMenu_ = menu->addMenu(QStringLiteral("Recent File"));
            recentMenu_->menuAction()->setStatusTip(QStringLiteral("Open this document"));
        } else if (item == kOtherToolWindows) {
            for (int id : unlistedToolWindows(spec.items)) {
                menu->addAction(commands_->action(id));
            }
        } else if (item < kOtherToolWindows) {
            const MenuSpec& sub = spec.submenus.at(static_cast<std::size_t>(-100 - item));
            fillMenu(menu->addMenu(QString::fromLatin1(sub.title)), sub, clearer);
        } else if (QAction* command = commands_->action(item)) {
            menu->addAction(command);
        }
    }
}

void CMainFrame::createMenus() {
    auto* clearer = new PromptClearer(statusBar());
    for (const MenuSpec& spec : menuBarSpec()) {
        fillMenu(menuBar()->addMenu(QString::fromLatin1(spec.title)), spec, clearer);
    }
}

void CMainFrame::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Main"));
    bar->setObjectName(QStringLiteral("toolbar128"));
    bar->setIconSize(QSize(16, 15));
    bar->setMovable(false);
    std::vector<int> listed;
    for (const ToolbarButton& button : toolbarSpec()) {
        listed.push_back(button.id);
    }
    auto* clearer = new PromptClearer(statusBar());
    const auto addButton = [&](int id) {
        if (QAction* command = commands_->action(id)) {
            bar->addAction(command);
            if (QWidget* widget = bar->widgetForAction(command)) {
                widget->installEventFilter(clearer);
            }
        }
    };
    for (const ToolbarButton& button : toolbarSpec()) {
        if (button.id == kSeparator) {
            bar->addSeparator();
        } else if (button.id == kOtherToolWindows) {
            for (int id : unlistedToolWindows(listed)) {
                addButton(id);
            }
        } else {
            addButton(button.id);
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
}

} // namespace reedtab
