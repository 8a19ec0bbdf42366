#include "view/reedtabview.h"

#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "model/midisong.h"
#include "settings/settings.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStaticText>
#include <QStringDecoder>
#include <QSvgRenderer>
#include <QWheelEvent>

#include <algorithm>
#include <cstring>

// Resources of a static library must be registered by name, outside any namespace.
static void initViewResources() {
    Q_INIT_RESOURCE(view);
}

namespace reedtab {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kLightGrey(224, 224, 224);
const QColor kDarkGrey(96, 96, 96);
const QColor kMarkViolet(64, 0, 192);
const QColor kPlayGreen(0, 192, 64);
const QColor kInsertRed(192, 0, 0);
const QColor kBendRed(255, 0, 0);
const QColor kLabelGrey(128, 128, 128);
const QColor kLabelPrintGrey(64, 64, 64);

constexpr int kDrumChannel = 9;
constexpr int kBendRange = 8192;

QColor toQColor(const Rgb& c) {
    return QColor(c.red, c.green, c.blue);
}

QColor toQColor(std::uint32_t stored) {
    return QColor(static_cast<int>(stored & 0xFF), static_cast<int>((stored >> 8) & 0xFF),
                  static_cast<int>((stored >> 16) & 0xFF));
}

QFont fontFromSpec(const FontSpec& spec) {
    QFont font(QString::fromStdString(spec.faceName.empty() ? "Arial" : spec.faceName));
    // A negative height is the character height, a positive one the whole cell.
    if (spec.height < 0) {
        font.setPixelSize(-spec.height);
    } else if (spec.height > 0) {
        font.setPixelSize(spec.height);
        const int cell = QFontMetrics(font).height();
        if (cell > 0) {
            font.setPixelSize(std::max(1, spec.height * spec.height / cell));
        }
    } else {
        font.setPixelSize(12);
    }
    font.setWeight(
        static_cast<QFont::Weight>(std::clamp(spec.weight > 0 ? spec.weight : 400, 1, 1000)));
    font.setItalic(spec.italic);
    return font;
}

QImage renderArtwork(const char* path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QSvgRenderer renderer(QString::fromLatin1(path));
    QPainter p(&image);
    renderer.render(&p);
    return image;
}

// Lyric and text events may be UTF-8 or a single-byte code page.
QString decodeText(const char* bytes, std::size_t length) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes, static_cast<qsizetype>(length)));
    if (utf8.hasError()) {
        s = QString::fromLatin1(bytes, static_cast<qsizetype>(length));
    }
    return s;
}

bool isTextOrLyric(const MidiEvent& e) {
    return e.kind() == KindText || e.kind() == KindLyric;
}

bool onDrumChannel(const MidiEvent& e) {
    return e.isChannelEvent() && e.channel() == kDrumChannel;
}

// GDI-style rectangle: the outline covers left..right-1 and top..bottom-1.
void drawBox(QPainter& p, int left, int top, int right, int bottom) {
    p.drawRect(left, top, std::max(0, right - left - 1), std::max(0, bottom - top - 1));
}

// Text whose top-left corner is at (x, y).
void drawTextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

QRect clipRect(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

} // namespace

// What the notation gives for one note number, kept per paint so that a paint asks the
// notation once per pitch and not once per note.
struct CReedtabView::NoteLabel {
    QStaticText prefix;
    QStaticText text;
    QStaticText accidental;
    int prefixLength = 0;
    int textLength = 0;
    bool hasAccidental = false;
    bool lowOctave = false;
    bool hasBrush = false;
    QColor brush;
    NoteText source; // what the notation gave when the label was made
    bool valid = false;
};

CReedtabView::CReedtabView(CReedtabDoc& doc, ViewPlayer& player, Settings& settings,
                           const DiatonicLayout& diatonic, const ChromaticLayout& chromatic,
                           QWidget* parent)
    : QAbstractScrollArea(parent), doc_(doc), player_(player), settings_(settings),
      notation_(std::make_unique<Notation>(settings, diatonic, chromatic)),
      labels_(std::make_unique<std::array<NoteLabel, 128>>()) {
    initViewResources();
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    layout_.tabStaffSpace = settings_.tabStaffSpace;
    layout_.showTrebleClef = true;
    layout_.showBassClef = true;
    buildFonts();
    for (int k = 0; k < static_cast<int>(trackBrushes_.size()); ++k) {
        trackBrushes_[k] =
            toQColor(trackColour(k, static_cast<std::uint32_t>(settings_.colorNormal1.stored()),
                                 static_cast<std::uint32_t>(settings_.colorNormal2.stored())));
    }
    trebleClef_ = renderArtwork(":/view/trebleclef.svg", 40, 70);
    bassClef_ = renderArtwork(":/view/bassclef.svg", 40, 70);
    arrowAbove_ = renderArtwork(":/view/arrowabove.svg", 16, 16);
    arrowBelow_ = renderArtwork(":/view/arrowbelow.svg", 16, 16);

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
            return;
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

CReedtabView::~CReedtabView() = default;

MidiSong& CReedtabView::song() const {
    return doc_.song;
}

int CReedtabView::division() const {
    const int d = doc_.song.division;
    return d > 0 ? d : kDefaultDivision;
}

bool CReedtabView::playerRunning() const {
    return player_.isPlaying();
}

std::int32_t CReedtabView::playTick() const {
    return player_.playTick();
}

ViewScale CReedtabView::scale() const {
    ViewScale s;
    s.firstTick = firstTick_;
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

void CReedtabView::buildFonts() {
    tabFont_ = fontFromSpec(settings_.fontTab);
    tabFontUnderlined_ = tabFont_;
    tabFontUnderlined_.setUnderline(true);
    textFont_ = fontFromSpec(settings_.fontText);
    symbolFont_ = QFont(QStringLiteral("Symbol"));
    symbolFont_.setPixelSize(11);
    symbolFont_.setWeight(QFont::Normal);
    barFont_ = QFont(QStringLiteral("Arial"));
    barFont_.setPixelSize(14);
    barFont_.setBold(true);
    barFont_.setItalic(true);
}

void CReedtabView::refreshFonts() {
    buildFonts();
    for (NoteLabel& label : *labels_) {
        label.valid = false;
    }
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

// The notation is asked for every pitch on each paint (it reads the live settings and
// layouts); only labels whose notation changed are laid out again.
void CReedtabView::refreshLabels() {
    const auto prepared = [](const std::string& text, const QFont& font) {
        QStaticText s(QString::fromStdString(text));
        s.setTextFormat(Qt::PlainText);
        s.setPerformanceHint(QStaticText::AggressiveCaching);
        s.prepare(QTransform(), font);
        return s;
    };
    for (int note = 0; note < 128; ++note) {
        NoteText out;
        notation_->notate(note, 0, false, out);
        NoteLabel& label = (*labels_)[note];
        if (label.valid && label.source.prefix == out.prefix && label.source.text == out.text &&
            label.source.lowOctave == out.lowOctave && label.source.accidental == out.accidental &&
            label.source.brush == out.brush) {
            continue;
        }
        label.prefix = prepared(out.prefix, symbolFont_);
        label.prefixLength = static_cast<int>(out.prefix.size());
        label.text = prepared(out.text, out.lowOctave ? tabFontUnderlined_ : tabFont_);
        label.textLength = static_cast<int>(out.text.size());
        label.hasAccidental = !out.accidental.empty() && out.accidental != " ";
        label.accidental = prepared(out.accidental, tabFont_);
        label.lowOctave = out.lowOctave;
        label.hasBrush = out.brush.has_value();
        if (out.brush) {
            label.brush = toQColor(*out.brush);
        }
        label.source = std::move(out);
        label.valid = true;
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

void CReedtabView::repaintView() {
    canvasStale_ = true;
    // The window follows the play position at once, so that the frame's page-turn checks see
    // the new window before the paint arrives.
    if (layout_.right > 0) {
        updateWindow(playTick(), layout_, false);
    }
    viewport()->update();
}

void CReedtabView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layout_.setLayoutSize(0, 0, viewport()->width(), viewport()->height());
    canvasStale_ = true;
}

// The canvas has the screen's pixels (a high-density screen has several per layout pixel);
// everything is drawn in layout pixels.
QSize CReedtabView::canvasPixels() const {
    return viewport()->size() * viewport()->devicePixelRatio();
}

void CReedtabView::paintEvent(QPaintEvent* event) {
    if (canvasStale_ || canvas_.size() != canvasPixels()) {
        renderCanvas();
    }
    QPainter p(viewport());
    const qreal ratio = canvas_.devicePixelRatio();
    const QRect r = event->rect();
    p.drawImage(r, canvas_,
                QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio));
}

void CReedtabView::renderCanvas() {
    const QSize size = viewport()->size();
    if (canvas_.size() != canvasPixels()) {
        canvas_ = QImage(canvasPixels(), QImage::Format_RGB32);
        canvas_.setDevicePixelRatio(viewport()->devicePixelRatio());
    }
    canvasStale_ = false;
    if (size.isEmpty()) {
        return;
    }
    QPainter p(&canvas_);
    p.setPen(kBlack);
    p.setBrush(kWhite);
    drawBox(p, 0, 0, size.width(), size.height());
    drawSong(p, layout_, playTick(), false, false);
    // The thumb shows how much of the song the window holds.
    horizontalScrollBar()->setPageStep(std::max(1, visibleTicks_ / division()));

    if (layout_.right <= 0 || layout_.staffBottom <= layout_.staffTop) {
        return;
    }
    p.setClipping(false);
    const bool running = playerRunning();
    if (settings_.editMode) {
        if (!running && doc_.cursorTick != -1) {
            p.setPen(QPen(kInsertRed, 1, Qt::DotLine));
            const int x = tickX(layout_, scale(), doc_.cursorTick);
            p.drawLine(x, kProgressHeight, x, layout_.staffBottom);
        }
    } else if (!running) {
        p.setPen(QPen(kPlayGreen, 1, Qt::DotLine));
        const int x = tickX(layout_, scale(), playTick());
        p.drawLine(x, kProgressHeight, x, layout_.staffBottom);
    }
}

void CReedtabView::measureText(QPainter& p, ViewLayout& target) {
    p.setFont(tabFont_);
    target.setMeasuredTextHeight(p.fontMetrics().height());
}

void CReedtabView::drawSong(QPainter& p, ViewLayout& target, std::int32_t tick, bool setFirst,
                            bool printing) {
    if (target.textHeight == -1) {
        measureText(p, target);
    }
    target.notesClippedAbove = false;
    target.notesClippedBelow = false;
    if (target.right <= 0 || target.staffBottom <= target.staffTop) {
        return;
    }
    refreshLabels();
    trackIndexCache_.clear();
    updateWindow(tick, target, setFirst);
    drawStaff(p, target);
    drawNotes(p, target, printing);
    drawBarLabels(p, target, printing);
    drawTextLine(p, target);
    drawClefs(p, target);
    drawDrumMarks(p, target, printing);
    drawProgress(p, target, tick);
    drawFrame(p, target);
}

void CReedtabView::updateWindow(std::int32_t tick, const ViewLayout& target, bool setFirst) {
    if (setFirst) {
        firstTick_ = tick;
    }
    const int d = division();
    visibleTicks_ = visibleTicksFor(target, pixelsPerBeat_, d);
    lastTick_ = firstTick_ + visibleTicks_;
    if (!song().mergedEvents.empty()) {
        firstTick_ = followFirstTick(firstTick_, visibleTicks_, tick, d, playerRunning());
        lastTick_ = firstTick_ + visibleTicks_;
    }
    findFirstVisibleEvent();
}

void CReedtabView::findFirstVisibleEvent() {
    const MergedEventList& list = song().mergedEvents;
    const int count = list.count();
    int start = 0;
    if (firstVisibleEvent_ >= 0 && firstVisibleEvent_ < count) {
        const MidiEvent& e = *list[firstVisibleEvent_];
        // Resume only where everything before the old index is surely out of the window.
        if ((e.isNote && e.tick + e.duration <= firstTick_) ||
            (isTextOrLyric(e) && e.tick < firstTick_)) {
            start = firstVisibleEvent_;
        }
    }
    firstVisibleEvent_ = -1;
    for (int i = start; i < count; ++i) {
        const MidiEvent& e = *list[i];
        if ((e.isNote || onDrumChannel(e)) && firstTick_ < e.tick + e.duration &&
            e.tick < lastTick_) {
            firstVisibleEvent_ = i;
            return;
        }
        if (isTextOrLyric(e) && e.tick >= firstTick_) {
            firstVisibleEvent_ = i;
            return;
        }
    }
}

void CReedtabView::drawStaff(QPainter& p, const ViewLayout& l) {
    p.setClipRect(clipRect(l.left, l.top, l.right, l.staffBottom));
    const ViewScale s = scale();
    const int half = l.visibleSteps / 2;

    p.setPen(kLightGrey);
    for (int a = -half; a <= half; ++a) {
        const int step = centreStep_ + a;
        if (step % 2 != 0 && !(step >= 36 && step <= 45) && !(step >= 25 && step <= 34)) {
            const int y = l.middleY - a * l.stepHeight;
            p.drawLine(0, y, l.right, y);
        }
    }

    const BarTable& bars = song().barTable;
    const int d = division();
    if (firstTick_ == -1 || bars.empty()) {
        for (int x = l.timeLeft; x <= l.right; x += pixelsPerBeat_) {
            p.drawLine(x, l.staffTop, x, l.staffBottom);
        }
    } else {
        const int count = static_cast<int>(bars.size());
        if (firstVisibleBar_ >= count || firstVisibleBar_ < 0) {
            firstVisibleBar_ = 0;
        }
        while (firstVisibleBar_ > 0 && bars[firstVisibleBar_].startTick > firstTick_) {
            --firstVisibleBar_;
        }
        while (firstVisibleBar_ < count - 2 && bars[firstVisibleBar_ + 1].startTick < firstTick_) {
            ++firstVisibleBar_;
        }
        const auto& signatures = song().timeSignatureList;
        for (int b = firstVisibleBar_; b < count && bars[b].startTick <= lastTick_; ++b) {
            int shift = 2;
            const int sig = bars[b].timeSignatureIndex;
            if (sig >= 0 && sig < static_cast<int>(signatures.size()) &&
                signatures[sig]->dataLength >= 2 && signatures[sig]->data) {
                shift = signatures[sig]->data[1];
            }
            // A corrupt denominator must neither shift out of range nor give a zero beat.
            const std::int64_t beat = std::max<std::int64_t>(
                1, (static_cast<std::int64_t>(d) * 4) >> std::min(shift, 30));
            const std::int64_t start = bars[b].startTick;
            const std::int64_t end =
                b + 1 < count ? bars[b + 1].startTick : static_cast<std::int64_t>(lastTick_) + 1;
            std::int64_t k = start < firstTick_ ? (firstTick_ - start) / beat : 0;
            for (; start + k * beat < end; ++k) {
                const std::int64_t t = start + k * beat;
                if (t > lastTick_) {
                    break;
                }
                if (t < firstTick_) {
                    continue;
                }
                p.setPen(k == 0 ? kBlack : kLightGrey);
                const int x = tickX(l, s, static_cast<std::int32_t>(t));
                p.drawLine(x, l.staffTop, x, l.staffBottom);
            }
        }
    }

    p.setPen(kBlack);
    for (int a = -half; a <= half; ++a) {
        const int step = centreStep_ + a;
        if (step % 2 != 0 && ((step > 35 && step < 46) || (step > 24 && step < 35))) {
            const int y = l.middleY - a * l.stepHeight;
            p.drawLine(0, y, l.right, y);
        }
    }
}

void CReedtabView::useFont(QPainter& p, const QFont& font) {
    if (currentFont_ != &font) {
        p.setFont(font);
        currentFont_ = &font;
    }
}

bool CReedtabView::trackDrawn(const MidiEvent& e, bool printing) const {
    if (e.track == nullptr) {
        return false;
    }
    if (e.track->flags & TrackShown) {
        return true;
    }
    return !printing && (e.track->flags & TrackSelected);
}

int CReedtabView::trackIndex(const MidiTrack* track) {
    for (const auto& [t, index] : trackIndexCache_) {
        if (t == track) {
            return index;
        }
    }
    const int index = song().trackIndexOf(track);
    trackIndexCache_.emplace_back(track, index);
    return index;
}

void CReedtabView::drawNotes(QPainter& p, ViewLayout& l, bool printing) {
    p.setClipRect(clipRect(l.timeLeft, l.staffTop, l.right, l.staffBottom));
    bendPointX_ = 0;
    bendPointY_ = 0;
    bendPointNote_ = 0;
    currentFont_ = nullptr;
    if (firstVisibleEvent_ < 0) {
        return;
    }
    const MergedEventList& list = song().mergedEvents;
    const int count = list.count();
    const bool running = playerRunning();
    const int nextEvent = player_.nextEventIndex();
    const std::int32_t tick = playTick();
    const QColor played = toQColor(settings_.colorPlayed);
    const QColor playSel = toQColor(settings_.colorPlaySel);
    const QColor select = toQColor(settings_.colorSelect);
    const bool bends = settings_.showPitchBends;
    for (int i = firstVisibleEvent_; i < count; ++i) {
        const MidiEvent& e = *list[i];
        if (e.tick >= lastTick_) {
            break;
        }
        if (!trackDrawn(e, printing)) {
            continue;
        }
        if (e.isNote) {
            const bool isPlayed = running && ((nextEvent != -1 && i < nextEvent) ||
                                              (nextEvent == -1 && e.tick < tick));
            const bool selected = (e.track->flags & TrackSelected) != 0;
            QColor fill;
            if (isPlayed) {
                fill = selected ? playSel : played;
            } else if (selected) {
                fill = select;
            } else {
                const int index = trackIndex(e.track);
                fill = trackBrushes_[static_cast<std::size_t>(std::max(0, index)) %
                                     trackBrushes_.size()];
            }
            drawNote(p, l, e, fill, !isPlayed && !selected, printing, kDarkGrey);
        } else if (bends && e.kind() == KindPitchWheel) {
            drawBend(p, l, i);
        }
    }
}

PixelRect CReedtabView::drawNote(QPainter& p, ViewLayout& l, const MidiEvent& e, const QColor& fill,
                                 bool techniqueColour, bool printing, const QColor& outline) {
    const NoteLabel& label = (*labels_)[e.data1 & 0x7F];
    const PixelRect r = reedtab::noteRect(l, scale(), e.data1, e.tick, e.duration);
    QColor brush = techniqueColour && label.hasBrush ? label.brush : fill;
    if (printing && settings_.printNoColorBars) {
        brush = kWhite;
    }
    p.setPen(outline);
    p.setBrush(brush);
    if (e.channel() == kDrumChannel) {
        const int yMid = (r.top + r.bottom) / 2;
        drawBox(p, r.left, yMid - 2, r.left + 2, yMid + 2);
        drawBox(p, r.left + 1, yMid - 1, r.right, yMid + 1);
    } else {
        drawBox(p, r.left, r.top, r.right, r.bottom);
        if (r.left >= l.timeLeft) {
            p.setPen(kBlack);
            // QStaticText is placed by its top-left corner.
            if (label.prefixLength > 0) {
                useFont(p, symbolFont_);
                p.drawStaticText(r.left + 2, r.top + 1, label.prefix);
            }
            useFont(p, label.lowOctave ? tabFontUnderlined_ : tabFont_);
            p.drawStaticText(r.left + 7 * label.prefixLength + 2, r.top - 1, label.text);
            if (label.hasAccidental) {
                useFont(p, tabFont_);
                p.drawStaticText(r.left + 1, r.top - l.textHeight + 1, label.accidental);
            }
        }
    }
    if (r.bottom - 4 < l.staffTop) {
        l.notesClippedAbove = true;
    }
    if (l.staffBottom < r.top + 4) {
        l.notesClippedBelow = true;
    }
    return r;
}

void CReedtabView::drawBend(QPainter& p, const ViewLayout& l, int eventIndex) {
    if (thumbTracking_ || firstVisibleEvent_ < 0) {
        return;
    }
    const MergedEventList& list = song().mergedEvents;
    const int count = list.count();
    if (eventIndex < 0 || eventIndex >= count) {
        return;
    }
    const MidiEvent& bend = *list[eventIndex];
    const ViewScale s = scale();
    p.setPen(QPen(kBendRed, 2));
    for (int j = firstVisibleEvent_; j < count && list[j]->tick < bend.tick; ++j) {
        const MidiEvent& note = *list[j];
        if (!note.isNoteOn() || note.channel() != bend.channel()) {
            continue;
        }
        if (!(bend.tick < note.tick + note.duration || note.duration == 0)) {
            continue;
        }
        const PixelRect bar = reedtab::noteRect(l, s, note.data1, note.tick, note.duration);
        const int x = tickX(l, s, bend.tick);
        const int y =
            (bar.top + bar.bottom) / 2 -
            static_cast<int>(static_cast<std::int64_t>(bend.value()) * l.textHeight / kBendRange);
        if (bendPointNote_ == j && x >= bendPointX_) {
            p.drawLine(bendPointX_, bendPointY_, x, y);
        }
        bendPointX_ = x;
        bendPointY_ = y;
        bendPointNote_ = j;
    }
}

void CReedtabView::drawBarLabels(QPainter& p, const ViewLayout& l, bool printing) {
    const BarTable& bars = song().barTable;
    if (firstTick_ == -1 || bars.empty()) {
        return;
    }
    p.setClipRect(clipRect(l.left, l.top, l.right, l.bottom));
    p.setFont(barFont_);
    p.setPen(printing ? kLabelPrintGrey : kLabelGrey);
    const int y =
        std::max(l.middleY - ((l.visibleSteps + 2) / 4) * l.stepHeight * 2 - 1, l.staffTop);
    const int sigY = y + 2 * l.stepHeight;
    const auto& signatures = song().timeSignatureList;
    const auto signatureOf = [&](const BarEntry& bar) {
        TimeSignature ts;
        const int index = bar.timeSignatureIndex;
        if (index >= 0 && index < static_cast<int>(signatures.size())) {
            ts.numerator = signatures[index]->numerator();
            ts.denominator = signatures[index]->denominator();
        }
        return ts;
    };
    const int count = static_cast<int>(bars.size());
    const int first = std::clamp(firstVisibleBar_, 0, count - 1);
    drawTextAt(p, 2, y, QString::fromStdString(song().keyName));
    TimeSignature shown = signatureOf(bars[first]);
    drawTextAt(p, 2, sigY, QStringLiteral("%1/%2").arg(shown.numerator).arg(shown.denominator));
    const ViewScale s = scale();
    for (int b = first; b < count && bars[b].startTick <= lastTick_; ++b) {
        const int x = tickX(l, s, bars[b].startTick);
        if (x < l.timeLeft) {
            continue;
        }
        drawTextAt(p, x + 2, y, QString::number(b + 1));
        const TimeSignature ts = signatureOf(bars[b]);
        if (ts.numerator != shown.numerator || ts.denominator != shown.denominator) {
            drawTextAt(p, x + 2, sigY,
                       QStringLiteral("%1/%2").arg(ts.numerator).arg(ts.denominator));
            shown = ts;
        }
    }
}

void CReedtabView::drawTextLine(QPainter& p, const ViewLayout& l) {
    if (firstVisibleEvent_ < 0) {
        return;
    }
    p.setClipRect(clipRect(l.timeLeft, l.staffBottom, l.right, l.bottom));
    p.setFont(textFont_);
    p.setPen(kBlack);
    const MergedEventList& list = song().mergedEvents;
    const ViewScale s = scale();
    for (int i = firstVisibleEvent_; i < list.count(); ++i) {
        const MidiEvent& e = *list[i];
        if (e.tick >= lastTick_) {
            break;
        }
        if (!isTextOrLyric(e) || e.track == nullptr || !(e.track->flags & TrackShown)) {
            continue;
        }
        const char* text = e.text();
        std::size_t length = std::strlen(text);
        std::size_t start = 0;
        while (start < length && (text[start] == '\\' || text[start] == '/')) {
            ++start;
        }
        if (start == length || text[start] == '@' || text[start] == '\r' || text[start] == '\n') {
            continue;
        }
        std::size_t stop = start;
        while (stop < length && text[stop] != '\r' && text[stop] != '\n') {
            ++stop;
        }
        drawTextAt(p, tickX(l, s, e.tick), l.staffBottom + 1,
                   decodeText(text + start, stop - start));
    }
}

void CReedtabView::drawClefs(QPainter& p, const ViewLayout& l) {
    p.setClipRect(clipRect(l.left, l.top, l.right, l.staffBottom));
    // The artwork is black on white: multiplying keeps what lies under its white.
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    const int y0 = l.middleY - (40 - centreStep_) * l.stepHeight - 35;
    if (l.showTrebleClef) {
        p.drawImage(0, y0, trebleClef_);
    }
    if (l.showBassClef) {
        p.drawImage(0, y0 + 9 * l.stepHeight, bassClef_);
    }
    if (l.notesClippedAbove) {
        p.drawImage(24, l.staffTop, arrowAbove_);
    }
    if (l.notesClippedBelow) {
        p.drawImage(24, l.staffBottom - 16, arrowBelow_);
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void CReedtabView::drawDrumMarks(QPainter& p, const ViewLayout& l, bool printing) {
    if (firstVisibleEvent_ < 0) {
        return;
    }
    p.setClipRect(clipRect(l.left, 6, l.right, 13));
    p.setPen(kBlack);
    const MergedEventList& list = song().mergedEvents;
    const ViewScale s = scale();
    for (int i = firstVisibleEvent_; i < list.count(); ++i) {
        const MidiEvent& e = *list[i];
        if (e.tick >= lastTick_) {
            break;
        }
        if (!e.isNoteOn() || e.channel() != kDrumChannel || !trackDrawn(e, printing)) {
            continue;
        }
        const int x = tickX(l, s, e.tick);
        p.drawLine(x - 1, 7, x + 2, 12);
        p.drawLine(x + 1, 7, x - 2, 12);
    }
}

void CReedtabView::drawProgress(QPainter& p, const ViewLayout& l, std::int32_t tick) {
    p.setClipping(false);
    const ViewScale s = scale();
    const int x = std::clamp(tickX(l, s, tick), 0, std::max(0, l.right));
    p.fillRect(QRect(0, 0, x, kProgressHeight), toQColor(settings_.colorPlayed));
    p.fillRect(QRect(x, 0, l.right - x, kProgressHeight), trackBrushes_[0]);
    if (firstTick_ == -1) {
        return;
    }
    const std::int32_t begin = doc_.markBegin;
    const std::int32_t end = doc_.markEnd;
    p.setPen(QPen(kMarkViolet, 1, Qt::DashLine));
    bool haveStart = false;
    bool haveEnd = false;
    int rangeStart = 0;
    int rangeEnd = 0;
    if (begin != -1 && begin >= firstTick_ && begin <= lastTick_) {
        rangeStart = tickX(l, s, begin) + 1;
        p.drawLine(rangeStart, kProgressHeight, rangeStart, l.staffBottom);
        haveStart = true;
    } else if ((begin != -1 && begin < firstTick_) || (begin == -1 && end != -1)) {
        rangeStart = 0;
        haveStart = true;
    }
    if (end != -1 && end >= firstTick_ && end <= lastTick_) {
        rangeEnd = tickX(l, s, end) - 1;
        p.drawLine(rangeEnd, kProgressHeight, rangeEnd, l.staffBottom);
        haveEnd = true;
    } else if ((end != -1 && end > lastTick_) || (end == -1 && begin != -1)) {
        rangeEnd = l.right;
        haveEnd = true;
    }
    if (haveStart && haveEnd) {
        p.drawLine(rangeStart, kProgressHeight, rangeEnd, kProgressHeight);
        p.drawLine(rangeStart, l.staffBottom, rangeEnd, l.staffBottom);
    }
}

void CReedtabView::drawFrame(QPainter& p, const ViewLayout& l) {
    p.setClipping(false);
    p.setPen(kLightGrey);
    p.drawLine(l.left, l.staffTop, l.left, l.staffBottom);
    p.drawLine(l.right, l.staffTop, l.right, l.staffBottom);
    p.drawLine(0, l.staffTop, l.right, l.staffTop);
    p.drawLine(0, l.staffBottom, l.right, l.staffBottom);
    p.setPen(kDarkGrey);
    p.drawLine(l.timeLeft - 1, l.staffTop, l.timeLeft - 1, l.staffBottom);
}

// ---- Drawing while playing ----

void CReedtabView::redrawNote(int eventIndex, const Rgb& brush) {
    const MergedEventList& list = song().mergedEvents;
    if (canvas_.isNull() || canvasStale_ || eventIndex < 0 || eventIndex >= list.count()) {
        return;
    }
    const MidiEvent& e = *list[eventIndex];
    if (!e.isNote || !trackDrawn(e, false) || layout_.textHeight == -1) {
        return;
    }
    QPainter p(&canvas_);
    currentFont_ = nullptr;
    p.setClipRect(clipRect(layout_.timeLeft, layout_.staffTop, layout_.right, layout_.staffBottom));
    const PixelRect r = drawNote(p, layout_, e, toQColor(brush), false, false, kBlack);
    // The label may stick out of a short bar, and the accidental sits above it.
    const NoteLabel& label = (*labels_)[e.data1 & 0x7F];
    const int textRight =
        std::max(r.right, r.left + 7 * label.prefixLength + 10 * (label.textLength + 1));
    viewport()->update(QRect(QPoint(r.left - 1, r.top - layout_.textHeight - 1),
                             QPoint(textRight + 1, r.bottom + 1)));
}

void CReedtabView::redrawBend(int eventIndex) {
    if (canvas_.isNull() || canvasStale_ || layout_.textHeight == -1) {
        return;
    }
    const int oldX = bendPointX_;
    QPainter p(&canvas_);
    p.setClipRect(clipRect(layout_.timeLeft, layout_.staffTop, layout_.right, layout_.staffBottom));
    drawBend(p, layout_, eventIndex);
    const int left = std::min(oldX, bendPointX_) - 2;
    viewport()->update(QRect(QPoint(left, layout_.staffTop),
                             QPoint(std::max(oldX, bendPointX_) + 2, layout_.staffBottom)));
}

void CReedtabView::redrawProgress(std::int32_t tick) {
    if (canvas_.isNull() || canvasStale_ || layout_.textHeight == -1) {
        return;
    }
    QPainter p(&canvas_);
    drawProgress(p, layout_, tick);
    viewport()->update(QRect(0, 0, layout_.right, kProgressHeight + 1));
}

// ---- Interaction ----

void CReedtabView::setPlayPosition(std::int32_t tick, bool tellFrame) {
    player_.seek(tick);
    if (settings_.editMode) {
        doc_.cursorTick = tick;
    }
    updateWindow(tick, layout_, false);
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
        p -= scrollPageTicks(visibleTicks_, d);
        break;
    case HScroll::PageRight:
        p += scrollPageTicks(visibleTicks_, d);
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
    const std::int64_t step = wheelStepTicks(visibleTicks_, division());
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

void CReedtabView::clickInBand(int x, bool shift) {
    const std::int32_t tick = clickTick(layout_, scale(), x, settings_.editSnap);
    if (shift) {
        doc_.markEnd = tick;
        if (doc_.markBegin == -1 || doc_.markBegin >= tick) {
            doc_.markBegin = 0;
        }
    } else {
        doc_.markBegin = tick;
        if (doc_.markEnd != -1 && doc_.markEnd <= tick) {
            doc_.markEnd = -1;
        }
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
        const std::int32_t tick = clickTick(layout_, scale(), x, settings_.editSnap);
        doc_.markEnd = tick;
        if (doc_.markBegin == -1 || doc_.markBegin >= tick) {
            doc_.markBegin = 0;
        }
        repaintView();
        emit marksChanged();
    }
    event->accept();
}

void CReedtabView::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    const int y = static_cast<int>(event->position().y());
    const bool overBand = y >= 0 && y <= layout_.staffTop;
    const bool overText = y > layout_.staffBottom + 1 && y < layout_.staffBottom + kTextLineHeight;
    if ((overBand || overText) && x >= layout_.timeLeft && x <= layout_.width) {
        viewport()->setCursor(Qt::UpArrowCursor);
    } else {
        viewport()->unsetCursor();
    }
}

void CReedtabView::wheelEvent(QWheelEvent* event) {
    wheelBy(event->angleDelta().y());
    event->accept();
}

void CReedtabView::keyPressEvent(QKeyEvent* event) {
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

} // namespace reedtab
