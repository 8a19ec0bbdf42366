#include "view/reedtabview.h"

#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "model/midiconstants.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "ui/commandtable.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace reedtab {

namespace {

QRect toQRect(const PixelRect& r) {
    return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom));
}

// The pencil with a note head that shows where a click writes a note; its tip is the hot spot.
QCursor makeWriteCursor() {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/view/notecursor.svg"));
    QPainter p(&picture);
    renderer.render(&p);
    return QCursor(picture, 1, 1);
}

} // namespace

CReedtabView::CReedtabView(CReedtabDoc& doc, ViewPlayer& player, Settings& settings,
                           const DiatonicLayout& diatonic, const ChromaticLayout& chromatic,
                           QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), player_(player), settings_(settings),
      painter_(std::make_unique<SongPainter>(settings, diatonic, chromatic)),
      writeCursor_(makeWriteCursor()) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    askYesNo_ = [this](const std::string& text, const std::string& caption) {
        return QMessageBox::question(this, QString::fromStdString(caption),
                                     QString::fromStdString(text),
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };

    documentListener_ =
        doc_.subscribe([this](const DocumentNotice& notice) { onDocumentNotice(notice); });

    layout_.tabStaffSpace = settings_.tabStaffSpace;
    layout_.markStripHeight = kMarkStripHeight;
    layout_.showTrebleClef = true;
    layout_.showBassClef = true;

    QScrollBar* v = verticalScrollBar();
    v->setRange(0, kVerticalScrollRange);
    v->setPageStep(7);
    v->setValue(kVerticalScrollRange - centreStep_);
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, 0);
    h->setValue(0);
    connect(h, &QAbstractSlider::actionTriggered, this, [this](int action) {
        QScrollBar* bar = horizontalScrollBar();
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            scrollHorizontally(HScroll::LineLeft);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            scrollHorizontally(HScroll::LineRight);
            break;
        case QAbstractSlider::SliderPageStepSub:
            scrollHorizontally(HScroll::PageLeft);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            scrollHorizontally(HScroll::PageRight);
            break;
        case QAbstractSlider::SliderMove:
            scrollHorizontally(bar->isSliderDown() ? HScroll::ThumbTrack : HScroll::ThumbPosition,
                               bar->sliderPosition());
            return;
        default:
            // Jumps to either end are no request of the view: the bar stays with the position.
            break;
        }
        // The request set the bar to the new position; keep the slider's own step from
        // overriding it.
        bar->setSliderPosition(bar->value());
    });
    connect(h, &QAbstractSlider::sliderReleased, this, [this] {
        scrollHorizontally(HScroll::ThumbPosition, horizontalScrollBar()->sliderPosition());
    });
    connect(v, &QAbstractSlider::actionTriggered, this, [this](int action) {
        QScrollBar* bar = verticalScrollBar();
        switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            scrollVertically(VScroll::LineUp);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            scrollVertically(VScroll::LineDown);
            break;
        case QAbstractSlider::SliderPageStepSub:
            scrollVertically(VScroll::PageUp);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            scrollVertically(VScroll::PageDown);
            break;
        case QAbstractSlider::SliderToMinimum:
            scrollVertically(VScroll::Top);
            break;
        case QAbstractSlider::SliderToMaximum:
            scrollVertically(VScroll::Bottom);
            break;
        case QAbstractSlider::SliderMove:
            scrollVertically(bar->isSliderDown() ? VScroll::ThumbTrack : VScroll::ThumbPosition,
                             bar->sliderPosition());
            return;
        default:
            return;
        }
        bar->setSliderPosition(bar->value());
    });
    connect(v, &QAbstractSlider::sliderReleased, this, [this] {
        scrollVertically(VScroll::ThumbPosition, verticalScrollBar()->sliderPosition());
    });
}

CReedtabView::~CReedtabView() {
    doc_.unsubscribe(documentListener_);
}

MidiSong& CReedtabView::song() const {
    return doc_.song;
}

int CReedtabView::division() const {
    return songDivision(doc_.song);
}

bool CReedtabView::playerRunning() const {
    return player_.isPlaying();
}

std::int32_t CReedtabView::playTick() const {
    return player_.playTick();
}

ViewScale CReedtabView::scale() const {
    ViewScale s;
    s.firstTick = window_.firstTick;
    s.pixelsPerBeat = pixelsPerBeat_;
    s.division = division();
    s.centreStep = centreStep_;
    s.transpose = displayTranspose(settings_.tabMode);
    s.offsetAccidentals = settings_.offsetsharpsflats || settings_.editMode;
    return s;
}

PixelRect CReedtabView::noteRect(const MidiEvent& note) const {
    return reedtab::noteRect(layout_, scale(), note.data1, note.tick, note.duration);
}

int CReedtabView::pitchAtY(int y) const {
    return reedtab::pitchAtY(layout_, scale(), y);
}

NoteHit CReedtabView::noteAt(int x, int y) const {
    return reedtab::noteAt(song(), layout_, scale(), window_, x, y);
}

void CReedtabView::setJudgedMarks(std::vector<JudgedMark> marks) {
    std::sort(marks.begin(), marks.end());
    judged_ = std::move(marks);
    repaintView();
}

SongPaint CReedtabView::songPaint() const {
    SongPaint v;
    v.song = &song();
    v.layout = layout_;
    v.scale = scale();
    v.window = window_;
    v.playTick = playTick();
    v.running = playerRunning();
    v.nextEvent = player_.nextEventIndex();
    v.markBegin = doc_.markBegin;
    v.markEnd = doc_.markEnd;
    v.cursorTick = doc_.cursorTick;
    v.editMode = settings_.editMode;
    v.showPitchBends = settings_.showPitchBends;
    v.thumbTracking = thumbTracking_;
    v.judged = &judged_;
    return v;
}

void CReedtabView::refreshFonts() {
    painter_->refreshFonts();
    layout_.textHeight = -1;
    refreshNoteFlags();
    repaintView();
}

void CReedtabView::refreshNoteFlags() {
    const bool drums = settings_.showDrumsNotes;
    for (const auto& track : song().tracks) {
        for (const auto& e : track->events) {
            const bool note = e->kind() == KindNoteOn && e->data2 > 0 && e->duration > 0 &&
                              (e->channel() != kDrumChannel || drums);
            e->isNote = note ? 1 : 0;
        }
    }
}

void CReedtabView::setScrollRange(int quarters) {
    horizontalScrollBar()->setRange(0, std::max(0, quarters));
}

void CReedtabView::setScrollPosition(int quarters) {
    horizontalScrollBar()->setValue(quarters);
}

// ---- Zoom ----

void CReedtabView::setZoomIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kZoomPixelsPerBeat.size())) {
        return;
    }
    zoomIndex_ = index;
    pixelsPerBeat_ = kZoomPixelsPerBeat[index];
    layout_.textHeight = -1;
    repaintView();
}

void CReedtabView::zoomIn() {
    if (zoomIndex_ < static_cast<int>(kZoomPixelsPerBeat.size()) - 1) {
        setZoomIndex(zoomIndex_ + 1);
    }
}

void CReedtabView::zoomOut() {
    if (zoomIndex_ > 0) {
        setZoomIndex(zoomIndex_ - 1);
    }
}

void CReedtabView::registerCommands(CommandTable& table) {
    for (const ZoomCommand& zoom : kZoomCommands) {
        const QString text = QString::fromLatin1(zoom.menuText);
        const int index = zoom.zoomIndex;
        table.add(
            zoom.id, text, QStringLiteral("Zoom time scale to %1").arg(text), true,
            [this, index] { setZoomIndex(index); }, {},
            [this, index] { return zoomIndex_ == index; });
    }
    table.add(kZoomInCommand, QStringLiteral("Zoom In"), QStringLiteral("Zoom In"), false,
              [this] { zoomIn(); });
    table.add(kZoomOutCommand, QStringLiteral("Zoom Out"), QStringLiteral("Zoom Out"), false,
              [this] { zoomOut(); });
}

bool CReedtabView::zoomCommand(int id) {
    if (id == kZoomInCommand) {
        zoomIn();
        return true;
    }
    if (id == kZoomOutCommand) {
        zoomOut();
        return true;
    }
    for (const ZoomCommand& command : kZoomCommands) {
        if (command.id == id) {
            setZoomIndex(command.zoomIndex);
            return true;
        }
    }
    return false;
}

// ---- Painting ----

void CReedtabView::followPlayPosition() {
    if (layout_.right > 0 && layout_.staffBottom > layout_.staffTop) {
        followWindow(window_, song(), layout_, pixelsPerBeat_, playTick(), playerRunning());
    }
}

void CReedtabView::repaintView() {
    fullPaintDue_ = true;
    playbackDraws_.clear();
    playbackDrawsShown_ = 0;
    playbackRegion_ = QRegion();
    // The window follows the play position at once, so that the frame's page-turn checks see
    // the new window before the paint arrives.
    followPlayPosition();
    viewport()->update();
}

void CReedtabView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layout_.setLayoutSize(0, 0, viewport()->width(), viewport()->height());
    repaintView();
}

// The window's own backing store keeps the picture between paints, so a full paint goes
// straight onto it and a playback redraw paints only its own pixels: no off-screen copy of
// the whole window, which at 3840 x 2160 costs as much as drawing the notes.
void CReedtabView::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    if (!fullPaintDue_ && (event->region() - playbackRegion_).isEmpty()) {
        paintPlaybackDraws(p, playbackDrawsShown_);
        paintFocus(p);
    } else {
        paintAll(p);
    }
    playbackDrawsShown_ = playbackDraws_.size();
    playbackRegion_ = QRegion();
}

void CReedtabView::paintAll(QPainter& p) {
    if (layout_.textHeight == -1) {
        layout_.setMeasuredTextHeight(painter_->measureTextHeight(p));
    }
    followPlayPosition();
    PaintOutcome outcome = painter_->paint(p, songPaint());
    layout_.notesClippedAbove = outcome.notesClippedAbove;
    layout_.notesClippedBelow = outcome.notesClippedBelow;
    bendTrail_ = outcome.bend;
    labels_ = std::move(outcome.labels);
    fullPaintDue_ = false;
    paintSelection(p);
    // The thumb shows how much of the song the window holds.
    horizontalScrollBar()->setPageStep(std::max(1, window_.visibleTicks / division()));
    paintPlaybackDraws(p, 0);
    paintFocus(p);
}

// Drawn after the playback redraws, so that the progress strip does not cut it.
void CReedtabView::paintFocus(QPainter& p) {
    if (hasFocus()) {
        paintFocusFrame(p, viewport()->rect(), palette());
    }
}

void CReedtabView::paintPlaybackDraws(QPainter& p, std::size_t from) {
    const SongPaint value = songPaint();
    for (std::size_t i = from; i < playbackDraws_.size(); ++i) {
        const PlaybackDraw& draw = playbackDraws_[i];
        switch (draw.kind) {
        case PlaybackDraw::Note:
            painter_->paintPlayedNote(p, value, labels_, draw.index, draw.brush);
            break;
        case PlaybackDraw::Bend:
            painter_->paintBend(p, value, labels_, draw.index, bendTrail_);
            break;
        case PlaybackDraw::Progress:
            painter_->paintProgress(p, value, draw.tick);
            break;
        }
    }
}

QImage CReedtabView::canvas() {
    QImage image(viewport()->size() * viewport()->devicePixelRatio(), QImage::Format_RGB32);
    image.setDevicePixelRatio(viewport()->devicePixelRatio());
    if (!image.isNull()) {
        QPainter p(&image);
        paintAll(p);
    }
    return image;
}

// ---- Drawing while playing ----

void CReedtabView::addPlaybackDraw(const PlaybackDraw& draw, const PixelRect& area) {
    const QRect rect = toQRect(area);
    playbackDraws_.push_back(draw);
    playbackRegion_ += rect;
    viewport()->update(rect);
}

void CReedtabView::redrawNote(int eventIndex, const Rgb& brush) {
    if (fullPaintDue_) {
        return;
    }
    const PixelRect area = painter_->playedNoteArea(songPaint(), labels_, eventIndex);
    if (area.right > area.left) {
        addPlaybackDraw(
            {PlaybackDraw::Note, eventIndex, 0, QColor(brush.red, brush.green, brush.blue)}, area);
    }
}

void CReedtabView::redrawBend(int eventIndex) {
    const MergedEventList& list = song().mergedEvents;
    if (fullPaintDue_ || eventIndex < 0 || eventIndex >= list.count()) {
        return;
    }
    // The line runs from the last bend point (when it continues that note) to this bend's x,
    // anywhere up the staff.
    const int x = tickX(layout_, scale(), list[eventIndex]->tick);
    const PixelRect area{std::min(x, bendTrail_.x) - 2, layout_.staffTop,
                         std::max(x, bendTrail_.x) + 2, layout_.staffBottom};
    addPlaybackDraw({PlaybackDraw::Bend, eventIndex, 0, QColor()}, area);
}

void CReedtabView::redrawProgress(std::int32_t tick) {
    if (fullPaintDue_) {
        return;
    }
    addPlaybackDraw({PlaybackDraw::Progress, -1, tick, QColor()},
                    PixelRect{0, 0, layout_.right, kProgressHeight});
}

// ---- Interaction ----

void CReedtabView::setPlayPosition(std::int32_t tick, bool tellFrame) {
    player_.seek(tick);
    if (settings_.editMode) {
        doc_.cursorTick = tick;
    }
    repaintView();
    if (tellFrame) {
        emit positionChanged(tick);
    }
    horizontalScrollBar()->setValue(tick / division());
}

void CReedtabView::scrollHorizontally(HScroll request, int position) {
    if (song().loading) {
        thumbTracking_ = false;
        return;
    }
    const int d = division();
    const std::int32_t old = playTick();
    std::int64_t p = old;
    switch (request) {
    case HScroll::LineLeft:
        p -= d;
        break;
    case HScroll::LineRight:
        p += d;
        break;
    case HScroll::PageLeft:
        p -= scrollPageTicks(window_.visibleTicks, d);
        break;
    case HScroll::PageRight:
        p += scrollPageTicks(window_.visibleTicks, d);
        break;
    case HScroll::ThumbPosition:
    case HScroll::ThumbTrack:
        p = static_cast<std::int64_t>(position) * d;
        break;
    }
    thumbTracking_ = request == HScroll::ThumbTrack;
    if (request == HScroll::ThumbTrack && playerRunning()) {
        return;
    }
    if (settings_.editMode) {
        p = std::clamp<std::int64_t>(p, 0, INT32_MAX);
    } else {
        p = std::clamp<std::int64_t>(p, 0, std::max(0, song().length));
    }
    const auto tick = static_cast<std::int32_t>(p);
    if (tick != old || request == HScroll::ThumbPosition) {
        setPlayPosition(tick, !thumbTracking_);
    }
}

void CReedtabView::wheelBy(int delta) {
    if (song().loading) {
        return;
    }
    const std::int64_t step = wheelStepTicks(window_.visibleTicks, division());
    std::int64_t p = playTick() - static_cast<std::int64_t>(delta) * step / 120;
    if (settings_.editMode) {
        p = std::clamp<std::int64_t>(p, 0, INT32_MAX);
    } else {
        p = std::clamp<std::int64_t>(p, 0, std::max(0, song().length));
    }
    thumbTracking_ = false;
    const auto tick = static_cast<std::int32_t>(p);
    if (tick != playTick()) {
        setPlayPosition(tick, false);
    }
    emit positionChanged(tick);
}

void CReedtabView::scrollVertically(VScroll request, int position) {
    int step = centreStep_;
    switch (request) {
    case VScroll::LineUp:
        step += 1;
        break;
    case VScroll::LineDown:
        step -= 1;
        break;
    case VScroll::PageUp:
        step += 7;
        break;
    case VScroll::PageDown:
        step -= 7;
        break;
    case VScroll::ThumbPosition:
    case VScroll::ThumbTrack:
        step = kVerticalScrollRange - position;
        break;
    case VScroll::Top:
        step = kMaxCentreStep;
        break;
    case VScroll::Bottom:
        step = kMinCentreStep;
        break;
    }
    step = clampCentreStep(step);
    if (request == VScroll::ThumbTrack) {
        thumbTracking_ = true;
        centreStep_ = step;
        repaintView();
        return;
    }
    thumbTracking_ = false;
    if (step != centreStep_ || request == VScroll::ThumbPosition) {
        centreStep_ = step;
        verticalScrollBar()->setValue(kVerticalScrollRange - centreStep_);
        repaintView();
    }
}

void CReedtabView::scrollContentsBy(int, int) {
    // Scrolling moves the play position or the staff; the paint follows those, not the bars.
}

std::int32_t CReedtabView::markTick(int x) const {
    return markClickTick(song(), layout_, scale(), x, settings_.editSnap);
}

void CReedtabView::setEndMark(std::int32_t tick) {
    doc_.markEnd = tick;
    if (doc_.markBegin == -1 || doc_.markBegin >= tick) {
        doc_.markBegin = 0;
    }
    repaintView();
    emit marksChanged();
}

void CReedtabView::clickInBand(int x, bool shift) {
    const std::int32_t tick = markTick(x);
    if (shift) {
        setEndMark(tick);
        return;
    }
    doc_.markBegin = tick;
    if (doc_.markEnd != -1 && doc_.markEnd <= tick) {
        doc_.markEnd = -1;
    }
    repaintView();
    emit marksChanged();
}

void CReedtabView::mousePressEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const int y = static_cast<int>(event->position().y());
    const bool hasEvents = !song().mergedEvents.empty();
    if (event->button() == Qt::LeftButton && hasEvents) {
        if (y <= layout_.staffTop && x >= layout_.timeLeft - 2) {
            clickInBand(x, (event->modifiers() & Qt::ShiftModifier) != 0);
        } else if (y > layout_.staffBottom) {
            setPlayPosition(clickTick(layout_, scale(), x, settings_.editSnap), true);
        }
    } else if (event->button() == Qt::RightButton && hasEvents && y <= layout_.staffTop &&
               x >= layout_.timeLeft / 2 && pixelsPerBeat_ != 0) {
        setEndMark(markTick(x));
    }
    if (event->button() == Qt::LeftButton && settings_.editMode && !playerRunning()) {
        editPress(x, y, event->modifiers());
    }
    if (event->button() == Qt::RightButton) {
        showNoteMenu(x, y, event->globalPosition().toPoint());
    }
    event->accept();
}

void CReedtabView::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const int y = static_cast<int>(event->position().y());
    if (drag_) {
        dragFrame(x, y, event->modifiers());
    } else if (band_) {
        dragBand(x, y);
    } else {
        showCursorAt(x, y);
    }
}

void CReedtabView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (drag_) {
            finishFrameDrag();
        } else if (band_) {
            finishBand();
        }
    }
    event->accept();
}

void CReedtabView::showCursorAt(int x, int y) {
    const bool overBand = y >= 0 && y <= layout_.staffTop;
    const bool overText = y > layout_.staffBottom + 1 && y < layout_.staffBottom + kTextLineHeight;
    if ((overBand || overText) && x >= layout_.timeLeft && x <= layout_.width) {
        viewport()->setCursor(Qt::UpArrowCursor);
        return;
    }
    if (settings_.editMode && !playerRunning()) {
        for (const SelectionFrame& frame : selection_) {
            switch (frameHitTest(frame.lastRect, selectionHasHandle(), x, y)) {
            case FrameHit::Resize:
                viewport()->setCursor(Qt::SizeHorCursor);
                return;
            case FrameHit::Move:
                viewport()->setCursor(Qt::SizeAllCursor);
                return;
            case FrameHit::None:
                break;
            }
        }
        if (doc_.mouseWrite && y <= layout_.staffBottom + 1) {
            viewport()->setCursor(writeCursor_);
            return;
        }
    }
    viewport()->unsetCursor();
}

void CReedtabView::wheelEvent(QWheelEvent* event) {
    wheelBy(event->angleDelta().y());
    event->accept();
}

// The frame's Delete command has the same key: while the view holds a selection the key is the
// view's, so that it deletes the selected notes rather than the marked range.
bool CReedtabView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && deletesSelection()) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool CReedtabView::deletesSelection() const {
    return settings_.editMode && !selection_.empty() && !playerRunning();
}

void CReedtabView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && deletesSelection()) {
        doc_.deleteNotes(selectedNotes());
        repaintView();
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_PageUp:
        scrollVertically(VScroll::LineUp);
        break;
    case Qt::Key_PageDown:
        scrollVertically(VScroll::LineDown);
        break;
    case Qt::Key_Left:
        scrollHorizontally(HScroll::LineLeft);
        break;
    case Qt::Key_Right:
        scrollHorizontally(HScroll::LineRight);
        break;
    default:
        break;
    }
    // The main frame hears every key too (transport keys): an ignored key goes to the parent.
    event->ignore();
}

void CReedtabView::keyReleaseEvent(QKeyEvent* event) {
    event->ignore();
}

void CReedtabView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    repaintView();
}

void CReedtabView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    repaintView();
}

// ---- Edit mode: selection, dragging, writing ----

std::vector<MidiEvent*> CReedtabView::selectedNotes() const {
    std::vector<MidiEvent*> notes;
    notes.reserve(selection_.size());
    for (const SelectionFrame& frame : selection_) {
        notes.push_back(frame.note);
    }
    return notes;
}

PixelRect CReedtabView::selectionFrame(int i) const {
    if (i < 0 || i >= static_cast<int>(selection_.size())) {
        return {};
    }
    return selection_[static_cast<std::size_t>(i)].lastRect;
}

void CReedtabView::clearSelection() {
    selection_.clear();
    drag_.reset();
}

CReedtabView::SelectionFrame CReedtabView::frameFor(MidiEvent* note) const {
    return {note, noteRect(*note), std::max(1, layout_.stepHeight / 2)};
}

// Frames stand where their notes are drawn: after an edit, a scroll, a zoom or a resize.
void CReedtabView::placeFrames() {
    std::erase_if(selection_, [](const SelectionFrame& frame) {
        return frame.note->track == nullptr || !(frame.note->track->flags & TrackShown);
    });
    for (SelectionFrame& frame : selection_) {
        frame = frameFor(frame.note);
    }
}

void CReedtabView::onDocumentNotice(const DocumentNotice& notice) {
    if (notice.has(SongReplaced)) {
        band_.reset();
        clearSelection();
        return;
    }
    if (notice.has(SelectionChanged)) {
        if (notice.leavingNote == nullptr) {
            clearSelection();
        } else if (std::erase_if(selection_, [&](const SelectionFrame& frame) {
                       return frame.note == notice.leavingNote;
                   }) > 0) {
            drag_.reset();
        }
    }
    if (notice.has(EventsChanged) && !drag_) {
        placeFrames();
    }
}

void CReedtabView::editPress(int x, int y, Qt::KeyboardModifiers modifiers) {
    if (!drag_) {
        placeFrames();
    }
    const bool control = (modifiers & Qt::ControlModifier) != 0;
    for (std::size_t i = 0; i < selection_.size(); ++i) {
        const FrameHit hit = frameHitTest(selection_[i].lastRect, selectionHasHandle(), x, y);
        if (hit != FrameHit::None) {
            drag_ =
                FrameDrag{static_cast<int>(i), hit, {x, y}, selection_[i].lastRect, false, 0, 0};
            return;
        }
    }
    if (!control && y <= layout_.staffBottom && !selection_.empty()) {
        clearSelection();
        repaintView();
    }
    const NoteHit hit = noteAt(x, y);
    if (hit.index >= 0) {
        if (!control) {
            clearSelection();
        }
        selection_.push_back(frameFor(song().mergedEvents[hit.index]));
        repaintView();
        const SelectionFrame& added = selection_.back();
        const FrameHit on = frameHitTest(added.lastRect, selectionHasHandle(), x, y);
        if (on != FrameHit::None) {
            drag_ = FrameDrag{
                static_cast<int>(selection_.size()) - 1, on, {x, y}, added.lastRect, false, 0, 0};
        }
        return;
    }
    if (control) {
        return;
    }
    if (y > layout_.staffTop && y < layout_.staffBottom) {
        if (doc_.mouseWrite) {
            writeNote(x, y);
        } else {
            band_ = RubberBand{{x, y}, {x, y}, BandReach{}};
        }
        return;
    }
    doc_.cursorTick = clickTick(layout_, scale(), x, settings_.editSnap);
    repaintView();
}

// A click writes a note of the edit toolbar's note value and length and sounds it; when the
// pointer then goes further than a shaking hand would, the note's end follows it instead.
void CReedtabView::writeNote(int x, int y) {
    const int key = pitchAtY(y - layout_.textHeight / 2 + 1);
    const int channel = doc_.editChannel & 0x0F;
    player_.noteOn(channel, key, doc_.editVelocity);
    const std::int32_t tick = clickTick(layout_, scale(), x, settings_.editSnap);
    doc_.cursorTick = tick;
    clearSelection();
    MidiEvent* note = doc_.addNoteEdit(doc_.editTrack, tick, channel, key, doc_.editVelocity,
                                       std::max<std::int32_t>(1, doc_.soundingTicks));
    if (note == nullptr) {
        player_.noteOff(channel, key);
        repaintView();
        return;
    }
    selection_.push_back(frameFor(note));
    drag_ = FrameDrag{0, FrameHit::Resize, {x, y}, selection_.front().lastRect, true, channel, key};
    repaintView();
}

void CReedtabView::dragFrame(int x, int y, Qt::KeyboardModifiers modifiers) {
    SelectionFrame& frame = selection_[static_cast<std::size_t>(drag_->frame)];
    const int dx = x - drag_->start.x();
    const int dy = y - drag_->start.y();
    if (drag_->writing) {
        if (!drag_->stretching && std::abs(dx) < QApplication::startDragDistance()) {
            return;
        }
        drag_->stretching = true;
        frame.lastRect =
            adjustResizedFrame(layout_, scale(), x, frame.lastRect, settings_.editSnap);
    } else if (drag_->hit == FrameHit::Resize) {
        frame.lastRect = adjustResizedFrame(layout_, scale(), drag_->startRect.right + dx,
                                            frame.lastRect, settings_.editSnap);
    } else {
        const PixelRect& from = drag_->startRect;
        MoveRules rules;
        rules.snap = settings_.editSnap;
        rules.keepTime = (modifiers & Qt::ShiftModifier) != 0;
        rules.keepPitch = (modifiers & Qt::AltModifier) != 0;
        rules.rowStep = frame.rowStep;
        frame.lastRect = adjustMovedFrame(
            layout_, scale(), {from.left + dx, from.top + dy, from.right + dx, from.bottom + dy},
            frame.lastRect, rules);
    }
    viewport()->update();
}

// One drag, one edit: every selected note moves by what the dragged frame moved; a written
// note is already one undo step, so stretching it adds none.
void CReedtabView::finishFrameDrag() {
    const FrameDrag drag = *drag_;
    drag_.reset();
    const SelectionFrame& frame = selection_[static_cast<std::size_t>(drag.frame)];
    const FrameChange change = frameChange(layout_, scale(), drag.startRect, frame.lastRect);
    if (change.any()) {
        doc_.moveSelectedNotes(selectedNotes(), change.tickOffset, change.keyOffset,
                               change.newLength != 0 ? frame.note : nullptr, change.newLength,
                               !drag.writing);
    }
    if (drag.writing) {
        player_.noteOff(drag.channel, drag.key);
    }
    placeFrames();
    repaintView();
}

// Past the window's edges the band scrolls the song under it: the play position and the window
// move together by a quarter beat, and the anchor with them.
void CReedtabView::dragBand(int x, int y) {
    band_->corner = QPoint(x, y);
    const std::int32_t from = playTick();
    const std::int32_t to =
        bandScrollTick(band_->reach, x, viewport()->width(), from, song().length, division());
    if (to == from) {
        viewport()->update();
        return;
    }
    const std::int32_t firstTick = std::max(0, window_.firstTick + (to - from));
    const std::int64_t shift =
        static_cast<std::int64_t>(firstTick - window_.firstTick) * pixelsPerBeat_ / division();
    band_->anchor.rx() -= static_cast<int>(shift);
    window_.firstTick = firstTick;
    player_.seek(to);
    horizontalScrollBar()->setValue(to / division());
    emit positionChanged(to);
    repaintView();
}

void CReedtabView::finishBand() {
    const RubberBand band = *band_;
    band_.reset();
    const PixelRect rect =
        normalisedRect(band.anchor.x(), band.anchor.y(), band.corner.x(), band.corner.y());
    const MergedEventList& list = song().mergedEvents;
    for (int index : notesInside(song(), layout_, scale(), window_, rect)) {
        selection_.push_back(frameFor(list[index]));
    }
    repaintView();
}

void CReedtabView::paintSelection(QPainter& p) {
    // The selection lives only in edit mode.
    if (!settings_.editMode) {
        clearSelection();
        band_.reset();
        return;
    }
    if (!drag_) {
        placeFrames();
    }
    // Frames stay on the staff, as their notes do.
    p.setClipRect(QRect(QPoint(layout_.timeLeft, layout_.staffTop),
                        QPoint(layout_.right, layout_.staffBottom)));
    if (!playerRunning()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1, Qt::SolidLine));
        for (const SelectionFrame& frame : selection_) {
            const PixelRect& r = frame.lastRect;
            p.drawRect(QRect(QPoint(r.left - 1, r.top - 1), QPoint(r.right + 1, r.bottom + 1)));
        }
        if (selectionHasHandle()) {
            const PixelRect h = handleRect(selection_.front().lastRect);
            p.fillRect(QRect(QPoint(h.left + 1, h.top + 1), QPoint(h.right - 1, h.bottom - 1)),
                       Qt::black);
        }
    }
    p.setClipping(false);
    if (band_) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawRect(toQRect(normalisedRect(band_->anchor.x(), band_->anchor.y(), band_->corner.x(),
                                          band_->corner.y())));
    }
}

} // namespace reedtab
