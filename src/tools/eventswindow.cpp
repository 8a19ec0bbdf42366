#include "tools/eventswindow.h"

#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "view/songpainter.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include <algorithm>
#include <string>

namespace reedtab {

namespace {

constexpr int kTop = 20;
constexpr int kSide = 2;
// Wide enough for the longest description a line shows, so that the selection and the dimmed
// background run across the whole list.
constexpr int kLineWidth = 1600;

} // namespace

/// The song's events as list lines, made when the list asks for one.
class EventLines : public QAbstractListModel {
public:
    explicit EventLines(const MidiSong& song, QObject* parent)
        : QAbstractListModel(parent), song_(song) {}

    void reset() {
        beginResetModel();
        count_ = song_.loading || song_.tracks.empty() ? 0 : song_.mergedEvents.count();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count_; }

    QVariant data(const QModelIndex& index, int role) const override {
        const int row = index.row();
        if (row < 0 || row >= count_ || row >= song_.mergedEvents.count()) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
            return CMonEvents::lineText(song_, row);
        case Qt::BackgroundRole: {
            const MidiTrack* track = song_.mergedEvents[static_cast<std::size_t>(row)]->track;
            if (track && !(track->flags & TrackShown)) {
                return toQColor(settings().colorDimmed);
            }
            return {};
        }
        case Qt::SizeHintRole:
            return QSize(kLineWidth, CMonEvents::kLineHeight);
        default:
            return {};
        }
    }

private:
    const MidiSong& song_;
    int count_ = 0;
};

// ---- CEventsListBox ----

CEventsListBox::CEventsListBox(QWidget* parent) : QListView(parent) {
    setSelectionMode(QAbstractItemView::MultiSelection);
    setUniformItemSizes(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void CEventsListBox::keyPressEvent(QKeyEvent* event) {
    if (isTypedCharacter(*event)) {
        emit keyTyped(event);
        return;
    }
    QListView::keyPressEvent(event);
}

// Finding a line by its first letters would make the text of every line before it.
void CEventsListBox::keyboardSearch(const QString&) {}

// ---- CMonEvents ----

CMonEvents::CMonEvents(const ToolContext& context, QWidget* owner) : CMonitor(context, owner) {}

CMonEvents::~CMonEvents() = default;

QString CMonEvents::lineText(const MidiSong& song, int index) {
    const MidiEvent& event = *song.mergedEvents[static_cast<std::size_t>(index)];
    const BarBeatTick position = song.tickToBarBeatTick(event.tick);
    const std::string description = event.description();
    return QStringLiteral("%1 T%2 %3")
        .arg(QString::fromStdString(formatBarBeatTick(position)))
        .arg(song.trackIndexOf(event.track), 2, 10, QLatin1Char('0'))
        .arg(decodeText(description.data(), description.size()));
}

void CMonEvents::applyColours() {
    if (!list_) {
        return;
    }
    QPalette colours = list_->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight, toQColor(settings().colorSelect));
        colours.setColor(group, QPalette::HighlightedText, colours.color(group, QPalette::Text));
    }
    list_->setPalette(colours);
}

int CMonEvents::onCreateContent() {
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(10);
    font.setWeight(QFont::Normal);
    list_ = new CEventsListBox(this);
    list_->setFont(font);
    lines_ = new EventLines(context_.doc.song, list_);
    list_->setModel(lines_);
    applyColours();
    connect(list_, &CEventsListBox::keyTyped, this, [this](QKeyEvent* event) {
        if (parentWidget()) {
            QApplication::sendEvent(parentWidget(), event);
        }
    });
    setWindowTitle(QStringLiteral("Reedtab Midi MIDI Events"));
    setMinimumHeight(kLowestHeight);
    refresh(1);
    restorePlacement(-1, -1, true);
    return 0;
}

void CMonEvents::resizeEvent(QResizeEvent* event) {
    CMonitor::resizeEvent(event);
    if (list_) {
        list_->setGeometry(kSide, kTop, std::max(1, width() - 2 * kSide),
                           std::max(1, height() - kTop - kSide));
    }
}

int CMonEvents::lineCount() const {
    return lines_ ? lines_->rowCount({}) : 0;
}

int CMonEvents::topLine() const {
    return list_ ? list_->indexAt(QPoint(1, 1)).row() : -1;
}

void CMonEvents::refresh(int) {
    if (!lines_) {
        return;
    }
    reached_ = -1;
    lines_->reset();
    list_->scrollToTop();
}

void CMonEvents::onEvent(int eventIndex) {
    reached_ = eventIndex;
    if (!showPending_) {
        showPending_ = true;
        QTimer::singleShot(0, this, [this] { showReached(); });
    }
}

void CMonEvents::showReached() {
    showPending_ = false;
    if (reached_ < 0 || reached_ >= lineCount()) {
        return;
    }
    const QModelIndex line = lines_->index(reached_);
    list_->scrollTo(line, QAbstractItemView::PositionAtTop);
    list_->selectionModel()->select(line, QItemSelectionModel::ClearAndSelect);
    list_->selectionModel()->setCurrentIndex(line, QItemSelectionModel::NoUpdate);
}

} // namespace reedtab
