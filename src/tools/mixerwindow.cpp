#include "tools/mixerwindow.h"

#include "document/documentui.h"
#include "document/editscope.h"
#include "document/reedtabdoc.h"
#include "model/midiconstants.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "ui/transporthub.h"
#include "view/geometry/viewlayout.h"
#include "view/songpainter.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyledItemDelegate>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace reedtab {

namespace {

constexpr int kLeft = 89;
constexpr int kTop = 13;
// Besides the rows: the header line above them and the list's frame below.
constexpr int kChrome = 15;
constexpr int kMeterMs = 100;
// The rows a song without tracks leaves room for.
constexpr int kEmptySongRows = 8;
// The size of a first opening, the client area alone (eight rows).
constexpr int kDefaultWidth = 343;
constexpr int kDefaultHeight = kChrome + kEmptySongRows * CMonMixer::kRowHeight;
constexpr int kMeterFall = 32;
constexpr int kMeterRise = 4;

// Where the channel part of a track's text starts, kept with the item.
constexpr int kChannelPartRole = Qt::UserRole;

bool isDrumTrack(const MidiTrack& track) {
    return std::find(track.channels.begin(), track.channels.end(), kDrumChannel) !=
           track.channels.end();
}

// Draws a track item: index and mark over the track's own colour, then the name and, to the
// right of it, the channels.
class TrackItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const Settings& s = settings();
        const QString text = index.data(Qt::DisplayRole).toString();
        const int channelStart = index.data(kChannelPartRole).toInt();
        const QRect r = option.rect;
        painter->save();
        painter->setFont(option.font);
        const QFontMetrics metrics(option.font);
        const int cell = 3 * metrics.horizontalAdvance(QLatin1Char('T'));
        const QRect head(r.left(), r.top(), cell, r.height());
        painter->fillRect(
            head, toQColor(Rgb::fromStored(static_cast<int>(
                      trackColour(index.row(), static_cast<std::uint32_t>(s.colorNormal1.stored()),
                                  static_cast<std::uint32_t>(s.colorNormal2.stored()))))));
        const QRect rest(head.right() + 1, r.top(), r.right() - head.right(), r.height());
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->fillRect(rest, selected ? toQColor(s.colorSelect) : option.palette.base().color());
        painter->setPen(option.palette.text().color());
        painter->drawText(head.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          text.left(3));
        const int nameWidth = rest.width() * 7 / 10;
        const QRect name(rest.left() + 2, r.top(), nameWidth - 2, r.height());
        painter->drawText(
            name, Qt::AlignLeft | Qt::AlignVCenter,
            metrics.elidedText(text.mid(3, channelStart - 3), Qt::ElideRight, name.width()));
        const QRect channels(rest.left() + nameWidth, r.top(), rest.width() - nameWidth,
                             r.height());
        painter->drawText(
            channels, Qt::AlignLeft | Qt::AlignVCenter,
            metrics.elidedText(text.mid(channelStart), Qt::ElideRight, channels.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(), CMonMixer::kRowHeight};
    }
};

} // namespace

// ---- CMyListBox ----

CMyListBox::CMyListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void CMyListBox::mousePressEvent(QMouseEvent* event) {
    const Qt::KeyboardModifiers keys = event->modifiers();
    QListWidgetItem* hit = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && hit && hit->isSelected() &&
        !(keys & (Qt::ControlModifier | Qt::ShiftModifier)) && selectedItems().size() == 1) {
        clearSelection();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void CMyListBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        emit keyTyped(event);
        return;
    default:
        break;
    }
    if (isTypedCharacter(*event)) {
        emit keyTyped(event);
        return;
    }
    QListWidget::keyPressEvent(event);
}

// ---- MixerBox ----

MixerBox::MixerBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

void MixerBox::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit doubleClicked();
}

void MixerBox::mouseReleaseEvent(QMouseEvent* event) {
    clickModifiers_ = event->modifiers();
    QCheckBox::mouseReleaseEvent(event);
}

void MixerBox::keyReleaseEvent(QKeyEvent* event) {
    clickModifiers_ = event->modifiers();
    QCheckBox::keyReleaseEvent(event);
}

void MixerBox::focusInEvent(QFocusEvent* event) {
    QCheckBox::focusInEvent(event);
    emit focused();
}

// ---- CMonMixer ----

CMonMixer::CMonMixer(const ToolContext& context, QWidget* owner) : CMonitor(context, owner) {
    drawnBrush_.fill(-2);
}

CMonMixer::~CMonMixer() = default;

std::vector<std::unique_ptr<MidiTrack>>& CMonMixer::tracks() const {
    return context_.doc.song.tracks;
}

int CMonMixer::trackCount() const {
    return context_.doc.song.trackCount();
}

bool CMonMixer::loading() const {
    return context_.doc.song.loading;
}

int CMonMixer::topIndex() const {
    return list_ ? list_->verticalScrollBar()->value() : 0;
}

MidiTrack* CMonMixer::trackOfRow(int row) const {
    return row >= 0 && row < visibleRows_ ? context_.doc.song.track(topIndex() + row) : nullptr;
}

std::vector<int> CMonMixer::selectedTracks() const {
    std::vector<int> selected;
    for (int i = 0; i < trackCount(); ++i) {
        if (tracks()[static_cast<std::size_t>(i)]->flags & TrackSelected) {
            selected.push_back(i);
        }
    }
    return selected;
}

QString CMonMixer::trackText(const MidiTrack& track, int index) {
    const char mark = isDrumTrack(track) ? 'D'
                      : track.lyricCount ? 'L'
                      : track.textCount  ? 'T'
                                         : ' ';
    QString text = QStringLiteral("%1%2").arg(index, 2, 10, QLatin1Char('0')).arg(QChar(mark));
    text += decodeText(track.name.data(), track.name.size());
    if (!track.channels.empty()) {
        text += QStringLiteral("| Ch");
        for (const std::uint8_t channel : track.channels) {
            text += QStringLiteral(" %1").arg(channel + 1);
        }
    }
    return text;
}

QColor CMonMixer::meterColour(int index) {
    return QColor(std::min(80 * index, 255), std::min(512 - 64 * index, 255), 0);
}

int CMonMixer::meterBrush(const MidiTrack& track) {
    const int level = std::abs(static_cast<int>(track.meterLevel));
    if (level == 0 && (track.flags & TrackMuted)) {
        return -1;
    }
    return std::min(level * 8 / 128, 7);
}

QRect CMonMixer::meterRect(int row) {
    return {47, kRowHeight * row + kTop + 1, 10, 11};
}

int CMonMixer::onCreateContent() {
    setWindowTitle(QStringLiteral("Reedtab Midi Mixer"));
    list_ = new CMyListBox(this);
    list_->setItemDelegate(new TrackItemDelegate(list_));
    list_->setFont(toolFont(12));
    list_->setToolTip(
        QStringLiteral("Tracks selection list, double click for properties, right mouse button "
                       "for menu"));
    list_->setGeometry(kLeft, kTop, 260, 106);
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] { listSelectionChanged(); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (context_.trackProperties) {
            context_.trackProperties(list_->row(item));
        }
    });
    connect(list_, &CMyListBox::keyTyped, this, [this](QKeyEvent* event) { listKey(event); });
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { updateRows(); });
    for (int r = 0; r < kRows; ++r) {
        createRow(r);
    }
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { meterTick(); });
    timer_->start(kMeterMs);
    restorePlacement(kDefaultWidth, kDefaultHeight, false);
    refresh(1);
    return 0;
}

void CMonMixer::createRow(int r) {
    Row& row = rows_[static_cast<std::size_t>(r)];
    const int y = kRowHeight * r + kTop;
    row.slider = new QSlider(Qt::Horizontal, this);
    row.slider->setRange(0, 200);
    row.slider->setPageStep(50);
    row.slider->setValue(100);
    row.slider->setTracking(false);
    row.slider->setGeometry(1, y, 44, kRowHeight);
    row.slider->setToolTip(QStringLiteral("Track volume"));
    row.slider->hide();
    connect(row.slider, &QSlider::valueChanged, this,
            [this, r](int value) { volumeMoved(r, value); });
    row.play = new MixerBox(QString(), this);
    row.play->setGeometry(59, y, 13, kRowHeight);
    row.play->setToolTip(QStringLiteral("Play or Mute track (double click to play only this one)"));
    row.play->hide();
    connect(row.play, &QCheckBox::clicked, this,
            [this, r] { playClicked(r, playBox(r)->clickModifiers()); });
    connect(row.play, &MixerBox::doubleClicked, this, [this, r] { playDoubleClicked(r); });
    connect(row.play, &MixerBox::focused, this, [this, r] { rowFocused(r); });
    row.display = new MixerBox(QString(), this);
    row.display->setGeometry(74, y, 13, kRowHeight);
    row.display->setToolTip(
        QStringLiteral("Show or Hide track (double click to show only this one)"));
    row.display->hide();
    connect(row.display, &QCheckBox::clicked, this,
            [this, r] { displayClicked(r, displayBox(r)->clickModifiers()); });
    connect(row.display, &MixerBox::doubleClicked, this, [this, r] { displayDoubleClicked(r); });
    connect(row.display, &MixerBox::focused, this, [this, r] { rowFocused(r); });
}

void CMonMixer::onDestroyContent() {
    if (timer_) {
        timer_->stop();
    }
}

void CMonMixer::savePlacement() {
    CMonitor::savePlacement();
    context_.store.writeInt(kWindowSection, placementKey("maxtracksOnList"), maxTracksOnList_);
}

void CMonMixer::restorePlacement(int width, int height, bool force) {
    CMonitor::restorePlacement(width, height, force);
    maxTracksOnList_ =
        std::clamp(context_.store.readInt(kWindowSection, placementKey("maxtracksOnList"))
                       .value_or(kDefaultTracksOnList),
                   1, kRows);
}

void CMonMixer::applyColours() {
    CMonitor::applyColours();
    // The list's cells take the tracks' colours and the selection colour when they are drawn.
    if (list_) {
        list_->viewport()->update();
    }
}

void CMonMixer::refresh(int flag) {
    if (!list_ || loading()) {
        return;
    }
    if (notifying_) {
        updateRows();
        return;
    }
    if (!flag) {
        // Nothing plays on after a stop or a jump: the held meters fall.
        for (const auto& track : tracks()) {
            track->meterLevel = static_cast<std::int16_t>(std::abs(track->meterLevel));
        }
        return;
    }
    holdHeight();
    fillList();
    layoutRows();
    updateRows();
}

void CMonMixer::fillList() {
    filling_ = true;
    list_->clear();
    for (int i = 0; i < trackCount(); ++i) {
        const MidiTrack& track = *tracks()[static_cast<std::size_t>(i)];
        auto* item = new QListWidgetItem(trackText(track, i), list_);
        const qsizetype channelStart = item->text().indexOf(QStringLiteral("| Ch"), 3);
        item->setData(kChannelPartRole,
                      static_cast<int>(channelStart < 0 ? item->text().size() : channelStart));
        item->setSelected((track.flags & TrackSelected) != 0);
    }
    list_->scrollToTop();
    filling_ = false;
}

void CMonMixer::holdHeight() {
    const int count = trackCount() > 0 ? trackCount() : kEmptySongRows;
    const int lowest = kRowHeight * std::min(count, maxTracksOnList_) + kChrome;
    const int highest = kRowHeight * count + kChrome;
    heldHeight_ = std::clamp(height(), lowest, highest);
    if (heldHeight_ != height()) {
        resize(width(), heldHeight_);
    }
}

void CMonMixer::layoutRows() {
    visibleRows_ = std::clamp((height() - kChrome) / kRowHeight, 0, std::min(kRows, trackCount()));
    list_->setGeometry(kLeft, kTop, std::max(1, width() - kLeft - 2),
                       kRowHeight * visibleRows_ + 2);
}

void CMonMixer::resizeEvent(QResizeEvent* event) {
    CMonitor::resizeEvent(event);
    if (!list_) {
        return;
    }
    if (height() != heldHeight_) {
        maxTracksOnList_ = std::clamp((height() - kChrome) / kRowHeight, 1, kRows);
    }
    layoutRows();
    updateRows();
}

void CMonMixer::updateRows() {
    if (!list_ || loading()) {
        return;
    }
    for (int r = 0; r < kRows; ++r) {
        Row& row = rows_[static_cast<std::size_t>(r)];
        const MidiTrack* track = trackOfRow(r);
        if (!track) {
            if (!row.slider->isHidden()) {
                row.slider->hide();
                row.play->hide();
                row.display->hide();
                row.play->setChecked(false);
                row.display->setChecked(false);
            }
            continue;
        }
        const bool muted = (track->flags & TrackMuted) != 0;
        {
            const QSignalBlocker block(row.slider);
            row.slider->setValue(muted ? 0 : track->volumePercent.load());
        }
        row.slider->setEnabled(!muted);
        row.play->setChecked(!muted);
        row.display->setChecked((track->flags & TrackShown) != 0);
        row.slider->show();
        row.play->show();
        row.display->show();
    }
    update(QRect(0, 0, kLeft, height()));
}

void CMonMixer::paintEvent(QPaintEvent* event) {
    if (!list_ || loading()) {
        return;
    }
    QPainter painter(this);
    if (trackCount() > 0) {
        painter.setFont(toolFont(10));
        painter.setPen(palette().windowText().color());
        const QFontMetrics metrics(painter.font());
        painter.drawText(61, metrics.ascent(), QStringLiteral("P"));
        painter.drawText(76, metrics.ascent(), QStringLiteral("D"));
    }
    for (int r = 0; r < visibleRows_; ++r) {
        const QRect cell = meterRect(r);
        const MidiTrack* track = trackOfRow(r);
        if (!track || !event->rect().intersects(cell)) {
            continue;
        }
        const int brush = meterBrush(*track);
        painter.fillRect(cell, brush < 0 ? QColor(192, 192, 192) : meterColour(brush));
        drawnBrush_[static_cast<std::size_t>(r)] = brush;
    }
}

void CMonMixer::updateMeter(int trackIndex) {
    const int row = trackIndex - topIndex();
    if (row < 0 || row >= visibleRows_) {
        return;
    }
    const MidiTrack* track = context_.doc.song.track(trackIndex);
    if (track && meterBrush(*track) != drawnBrush_[static_cast<std::size_t>(row)]) {
        update(meterRect(row));
    }
}

void CMonMixer::noteOn(int, int eventIndex, int) {
    const MergedEventList& events = context_.doc.song.mergedEvents;
    if (eventIndex < 0 || eventIndex >= static_cast<int>(events.size()) || loading()) {
        return;
    }
    const MidiEvent& event = *events[static_cast<std::size_t>(eventIndex)];
    MidiTrack* track = event.track;
    if (!track) {
        return;
    }
    int level = std::min(event.data2 * track->volumePercent / 100, 127);
    if (event.data2 > 0) {
        level = std::max(level, 32);
    }
    if (std::abs(track->meterLevel) < level) {
        track->meterLevel = static_cast<std::int16_t>(-level);
        updateMeter(context_.doc.song.trackIndexOf(track));
    }
}

void CMonMixer::noteOff(int, int eventIndex, int) {
    const MergedEventList& events = context_.doc.song.mergedEvents;
    if (eventIndex < 0 || eventIndex >= static_cast<int>(events.size())) {
        return;
    }
    if (MidiTrack* track = events[static_cast<std::size_t>(eventIndex)]->track) {
        track->meterLevel = static_cast<std::int16_t>(std::abs(track->meterLevel));
    }
}

void CMonMixer::meterTick() {
    if (loading()) {
        return;
    }
    for (const auto& track : tracks()) {
        int level = track->meterLevel;
        if (level > 0) {
            level = level < kMeterFall ? 0 : level - kMeterFall;
        } else if (level < -3) {
            level += kMeterRise;
        } else {
            level = 0;
        }
        track->meterLevel = static_cast<std::int16_t>(level);
    }
    for (int r = 0; r < visibleRows_; ++r) {
        updateMeter(topIndex() + r);
    }
}

// ---- The rows ----

bool CMonMixer::hasFlag(int trackIndex, std::uint16_t bit) const {
    const MidiTrack* track = context_.doc.song.track(trackIndex);
    return track && (track->flags.load() & bit) != 0;
}

template <typename F>
void CMonMixer::setFlag(std::uint16_t bit, F on) {
    std::vector<bool> set(static_cast<std::size_t>(trackCount()));
    for (int i = 0; i < trackCount(); ++i) {
        set[static_cast<std::size_t>(i)] = on(i);
    }
    context_.doc.setTrackFlags(bit, set);
}

template <typename F>
void CMonMixer::changeTracks(F change) {
    // The mixer's own notices keep its list as it is; only the rows follow.
    notifying_ = true;
    change();
    notifying_ = false;
    updateRows();
}

void CMonMixer::rowFocused(int row) {
    if (!trackOfRow(row)) {
        return;
    }
    previousAnchor_ = lastAnchor_;
    lastAnchor_ = topIndex() + row;
}

bool CMonMixer::betweenAnchors(int trackIndex) const {
    return lastAnchor_ >= 0 && previousAnchor_ >= 0 &&
           trackIndex >= std::min(lastAnchor_, previousAnchor_) &&
           trackIndex <= std::max(lastAnchor_, previousAnchor_);
}

void CMonMixer::displayClicked(int row, Qt::KeyboardModifiers modifiers) {
    if (!trackOfRow(row)) {
        return;
    }
    const int t = topIndex() + row;
    changeTracks([&] {
        if (modifiers & Qt::ControlModifier) {
            setFlag(TrackShown, [t](int i) { return i == t; });
        } else if (modifiers & Qt::AltModifier) {
            setFlag(TrackShown, [t](int i) { return i != t; });
        } else if ((modifiers & Qt::ShiftModifier) && lastAnchor_ >= 0 && previousAnchor_ >= 0) {
            setFlag(TrackShown,
                    [this](int i) { return betweenAnchors(i) || hasFlag(i, TrackShown); });
        } else {
            context_.doc.setTrackFlag(t, TrackShown, !hasFlag(t, TrackShown));
        }
    });
}

void CMonMixer::displayDoubleClicked(int row) {
    if (trackOfRow(row)) {
        const int t = topIndex() + row;
        changeTracks([&] { setFlag(TrackShown, [t](int i) { return i == t; }); });
    }
}

void CMonMixer::playClicked(int row, Qt::KeyboardModifiers modifiers) {
    if (!trackOfRow(row)) {
        return;
    }
    const int t = topIndex() + row;
    changeTracks([&] {
        if (modifiers & Qt::ControlModifier) {
            setFlag(TrackMuted, [t](int i) { return i != t; });
        } else if (modifiers & Qt::AltModifier) {
            setFlag(TrackMuted, [t](int i) { return i == t; });
        } else if ((modifiers & Qt::ShiftModifier) && lastAnchor_ >= 0 && previousAnchor_ >= 0) {
            setFlag(TrackMuted,
                    [this](int i) { return !betweenAnchors(i) && hasFlag(i, TrackMuted); });
        } else {
            context_.doc.setTrackFlag(t, TrackMuted, !hasFlag(t, TrackMuted));
        }
    });
}

void CMonMixer::playDoubleClicked(int row) {
    if (trackOfRow(row)) {
        const int t = topIndex() + row;
        changeTracks([&] { setFlag(TrackMuted, [t](int i) { return i != t; }); });
    }
}

void CMonMixer::volumeMoved(int row, int value) {
    const MidiTrack* track = trackOfRow(row);
    if (!track || (track->flags.load() & TrackMuted)) {
        return;
    }
    // The player reads the volume at its next note-on.
    context_.doc.setTrackVolume(topIndex() + row, value);
    list_->setFocus();
}

// ---- The list ----

void CMonMixer::listSelectionChanged() {
    if (filling_) {
        return;
    }
    std::vector<bool> selected(static_cast<std::size_t>(trackCount()));
    for (int i = 0; i < trackCount() && i < list_->count(); ++i) {
        selected[static_cast<std::size_t>(i)] = list_->item(i)->isSelected();
    }
    const int currentRow = list_->currentRow();
    const MidiTrack* current = context_.doc.song.track(currentRow);
    if (!settings().editMode && current && selected[static_cast<std::size_t>(currentRow)] &&
        !current->channels.empty()) {
        context_.doc.editChannel = current->channels.front();
    }
    changeTracks([&] { context_.doc.setTrackFlags(TrackSelected, selected); });
}

void CMonMixer::setSelection(const std::vector<bool>& selected) {
    context_.doc.setTrackFlags(TrackSelected, selected);
    filling_ = true;
    for (int i = 0; i < list_->count(); ++i) {
        list_->item(i)->setSelected(i < static_cast<int>(selected.size()) && selected[i]);
    }
    filling_ = false;
}

void CMonMixer::listKey(QKeyEvent* event) {
    const bool anySelected = !selectedTracks().empty();
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const bool keepOthers = (event->modifiers() & Qt::ControlModifier) != 0;
        changeTracks([&] {
            setFlag(TrackShown, [&](int i) {
                return hasFlag(i, TrackSelected) || (keepOthers && hasFlag(i, TrackShown));
            });
            setSelection({});
        });
        return;
    }
    case Qt::Key_Escape:
        runCommand(kClearSelection);
        return;
    case Qt::Key_Backspace:
        if (anySelected) {
            runCommand(kHideSelection);
        }
        return;
    case Qt::Key_Delete:
        if (anySelected && !context_.hub.isPlaying()) {
            runCommand(kDeleteTracks);
        }
        return;
    default:
        if (parentWidget()) {
            QApplication::sendEvent(parentWidget(), event);
        }
        return;
    }
}

// ---- The context menu ----

std::unique_ptr<QMenu> CMonMixer::makeContextMenu(int track) {
    auto menu = std::make_unique<QMenu>(this);
    const bool hasTracks = trackCount() > 0;
    const bool hasSelection = !selectedTracks().empty();
    const bool canEdit = hasSelection && !context_.hub.isPlaying();
    const auto add = [&menu](int id, const char* text, bool enabled) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setData(id);
        action->setEnabled(enabled);
    };
    add(kMuteSelection, "&Mute Selection", hasSelection);
    add(kSoloSelected, "&Solo Selected", hasSelection);
    add(kResetVolumes, "&Reset Volumes", hasTracks);
    menu->addSeparator();
    add(kHideSelection, "&Hide Selection\t[Backspace]", hasSelection);
    add(kShowSelectionOnly, "&Show Selection only", hasSelection);
    add(kShowTrackOnly, "Show this &Track only", context_.doc.song.track(track) != nullptr);
    add(kShowAll, "Show &all tracks", hasTracks);
    menu->addSeparator();
    add(kTrackProperties, "Track &Properties",
        canEdit && static_cast<bool>(context_.trackProperties));
    add(kDeleteTracks, "&Delete Tracks\t[Del]", canEdit);
    add(kApplyVolume, "App&ly Volume Changes", canEdit);
    menu->addSeparator();
    add(kClearSelection, "&Clear Selection\t[ESC]", hasSelection);
    add(kInvertSelection, "&Invert Selection", hasTracks);
    return menu;
}

void CMonMixer::contextMenuEvent(QContextMenuEvent* event) {
    const int track = trackAtY(event->pos().y());
    const std::unique_ptr<QMenu> menu = makeContextMenu(track);
    if (QAction* chosen = menu->exec(event->globalPos())) {
        runCommand(chosen->data().toInt(), track);
    }
}

int CMonMixer::trackAtY(int y) const {
    if (!list_) {
        return -1;
    }
    // The rows' boxes stand level with the list's items, so the list says whose row it is.
    const QPoint inList = list_->viewport()->mapFrom(this, QPoint(list_->x() + 2, y));
    const QListWidgetItem* item = list_->itemAt(inList);
    return item ? list_->row(item) : -1;
}

void CMonMixer::runCommand(int id, int track) {
    if (!list_) {
        return;
    }
    const std::vector<int> chosen = selectedTracks();
    const auto isChosen = [&chosen](int i) {
        return std::find(chosen.begin(), chosen.end(), i) != chosen.end();
    };
    switch (id) {
    case kTrackProperties:
        if (context_.trackProperties) {
            for (int i : chosen) {
                context_.trackProperties(i);
            }
        }
        return;
    case kDeleteTracks:
        deleteSelected();
        return;
    case kApplyVolume:
        applyVolumes();
        return;
    default:
        break;
    }
    changeTracks([&] {
        switch (id) {
        case kMuteSelection:
            setFlag(TrackMuted, [&](int i) { return isChosen(i) || hasFlag(i, TrackMuted); });
            break;
        case kSoloSelected:
            setFlag(TrackMuted, [&](int i) { return !isChosen(i); });
            break;
        case kResetVolumes:
            for (int i = 0; i < trackCount(); ++i) {
                context_.doc.setTrackVolume(i, 100);
            }
            setFlag(TrackMuted, [](int) { return false; });
            break;
        case kHideSelection:
            setFlag(TrackShown, [&](int i) { return !isChosen(i) && hasFlag(i, TrackShown); });
            break;
        case kShowSelectionOnly:
            setFlag(TrackShown, isChosen);
            break;
        case kShowTrackOnly:
            context_.doc.showTrackOnly(track);
            break;
        case kShowAll:
            context_.doc.showAllTracks();
            break;
        case kClearSelection:
            setSelection({});
            break;
        case kInvertSelection: {
            std::vector<bool> inverted(static_cast<std::size_t>(trackCount()));
            for (int i = 0; i < trackCount(); ++i) {
                inverted[static_cast<std::size_t>(i)] = !isChosen(i);
            }
            setSelection(inverted);
            break;
        }
        default:
            break;
        }
    });
}

void CMonMixer::deleteSelected() {
    const std::vector<int> chosen = selectedTracks();
    if (chosen.empty() || context_.hub.isPlaying()) {
        return;
    }
    std::string question = chosen.size() == 1 ? "Deleting track" : "Deleting tracks";
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        question += (k > 0 ? ", " : " ") + std::to_string(chosen[k]);
    }
    question += "\nAre you sure?";
    if (!context_.ui.askYesNo(question, "Track Delete")) {
        return;
    }
    const int top = topIndex();
    {
        EditScope scope(context_.doc, EventsChanged | TracksChanged | SelectionChanged);
        bool deleted = false;
        for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
            deleted = context_.doc.deleteTrackEdit(*it, false) == 0 || deleted;
        }
        if (deleted) {
            scope.commit(UndoEdit);
        }
    }
    list_->verticalScrollBar()->setValue(top);
}

void CMonMixer::applyVolumes() {
    const std::vector<int> chosen = selectedTracks();
    if (chosen.empty() || context_.hub.isPlaying()) {
        return;
    }
    const int top = topIndex();
    {
        EditScope scope(context_.doc, EventsChanged | TracksChanged);
        for (int i : chosen) {
            context_.doc.applyTrackVolumeEdit(i, false);
        }
        scope.commit(UndoEdit);
    }
    list_->verticalScrollBar()->setValue(top);
}

} // namespace reedtab
