#include "view/songpainter.h"
#include "view/songpass.h"

#include "harmonica/notation.h"
#include "model/midiconstants.h"
#include "model/midisong.h"
#include "settings/settings.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QStaticText>
#include <QSvgRenderer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

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
const QColor kPlayGreen(0, 192, 64);
const QColor kInsertRed(192, 0, 0);
const QColor kBendRed(255, 0, 0);
const QColor kLabelGrey(128, 128, 128);
const QColor kLabelPrintGrey(64, 64, 64);

// A bend line keeps this far from a label: half its 2-pixel pen and a pixel of air.
constexpr int kBendMargin = 2;
// A word of the text line cut short keeps at least this many letters before the ellipsis;
// fewer tell a reader nothing, and the word is left out.
constexpr int kMinElidedLetters = 2;

QColor toQColor(std::uint32_t stored) {
    return QColor(static_cast<int>(stored & 0xFF), static_cast<int>((stored >> 8) & 0xFF),
                  static_cast<int>((stored >> 16) & 0xFF));
}

QImage renderArtwork(const char* path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QSvgRenderer renderer(QString::fromLatin1(path));
    QPainter p(&image);
    renderer.render(&p);
    return image;
}

bool isTextOrLyric(const MidiEvent& e) {
    return e.kind() == KindText || e.kind() == KindLyric;
}

// A box whose outline covers left..right-1 and top..bottom-1, so that neighbouring boxes
// given the same edge do not overlap. Two solid fills cost far less than a stroked rectangle.
void drawBox(QPainter& p, int left, int top, int right, int bottom, const QColor& outline,
             const QColor& fill) {
    const int width = std::max(1, right - left);
    const int height = std::max(1, bottom - top);
    p.fillRect(QRect(left, top, width, height), outline);
    if (width > 2 && height > 2) {
        p.fillRect(QRect(left + 1, top + 1, width - 2, height - 2), fill);
    }
}

// One-pixel lines with both end points, as solid fills: stroking a long vertical line walks
// it row by row.
void drawHLine(QPainter& p, int x1, int x2, int y, const QColor& colour) {
    p.fillRect(QRect(QPoint(std::min(x1, x2), y), QPoint(std::max(x1, x2), y)), colour);
}

void drawVLine(QPainter& p, int x, int y1, int y2, const QColor& colour) {
    p.fillRect(QRect(QPoint(x, std::min(y1, y2)), QPoint(x, std::max(y1, y2))), colour);
}

// Text whose top-left corner is at (x, y).
void drawTextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

// The pixels the glyphs of `text` cover when its top-left corner is at (0, 0), the underline
// of an underlined font included; rounded outwards. Empty for blank text.
PixelRect inkOf(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    QRectF ink = metrics.tightBoundingRect(text);
    if (ink.isEmpty()) {
        return {};
    }
    ink.translate(0, metrics.ascent());
    if (font.underline()) {
        ink = ink.united(QRectF(0, metrics.ascent() + metrics.underlinePos(),
                                metrics.horizontalAdvance(text), metrics.lineWidth()));
    }
    return PixelRect{
        static_cast<int>(std::floor(ink.left())), static_cast<int>(std::floor(ink.top())),
        static_cast<int>(std::ceil(ink.right())), static_cast<int>(std::ceil(ink.bottom()))};
}

PixelRect moved(const PixelRect& r, int dx, int dy) {
    return PixelRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool isEmpty(const PixelRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool trackDrawn(const MidiEvent& e, bool printing) {
    if (e.track == nullptr) {
        return false;
    }
    if (e.track->flags & TrackShown) {
        return true;
    }
    return !printing && (e.track->flags & TrackSelected);
}

PixelRect unite(const PixelRect& a, const PixelRect& b) {
    if (isEmpty(a)) {
        return b;
    }
    if (isEmpty(b)) {
        return a;
    }
    return PixelRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                     std::max(a.bottom, b.bottom)};
}

} // namespace

// What the notation gives for one note number, laid out once and kept until the notation or
// the fonts change.
struct SongPainter::NoteLabel {
    QStaticText prefix;
    QStaticText text;
    QStaticText accidental;
    // The ink of each piece, from its top-left corner.
    PixelRect prefixInk;
    PixelRect textInk;
    PixelRect accidentalInk;
    int prefixLength = 0;
    bool hasAccidental = false;
    bool lowOctave = false;
    bool hasBrush = false;
    QColor brush;
    NoteText source; // what the notation gave when the label was made
    bool valid = false;
};

// A bar number, a time signature or the key name of the bar-label rows.
struct SongPainter::BarText {
    int x = 0; // top-left corner
    int y = 0;
    QString text;
    bool number = false;
    PixelRect ink;
    int maxShift = 0; // how far right it may move and stay in its bar
    bool shown = false;
};

SongPainter::SongPainter(const Settings& settings, const DiatonicLayout& diatonic,
                         const ChromaticLayout& chromatic)
    : settings_(settings), notation_(std::make_unique<Notation>(settings, diatonic, chromatic)),
      labels_(std::make_unique<std::array<NoteLabel, 128>>()),
      chosenLabels_(std::make_unique<std::map<std::pair<int, int>, NoteLabel>>()) {
    initViewResources();
    refreshFonts();
    for (int k = 0; k < static_cast<int>(trackBrushes_.size()); ++k) {
        trackBrushes_[k] =
            toQColor(trackColour(k, static_cast<std::uint32_t>(settings_.colorNormal1.stored()),
                                 static_cast<std::uint32_t>(settings_.colorNormal2.stored())));
    }
    trebleClef_ = renderArtwork(":/view/trebleclef.svg", 40, 70);
    bassClef_ = renderArtwork(":/view/bassclef.svg", 40, 70);
    arrowAbove_ = renderArtwork(":/view/arrowabove.svg", 16, 16);
    arrowBelow_ = renderArtwork(":/view/arrowbelow.svg", 16, 16);
}

SongPainter::~SongPainter() = default;

void SongPainter::refreshFonts() {
    tabFont_ = fontFromSpec(settings_.fontTab);
    tabFontUnderlined_ = tabFont_;
    tabFontUnderlined_.setUnderline(true);
    textFont_ = fontFromSpec(settings_.fontText);
    // The prefix marks: a symbol face with a cell height of 11 pixels.
    symbolFont_ = fontFromSpec(FontSpec{"Symbol", 11, 400, false});
    barFont_ = QFont(QStringLiteral("Arial"));
    barFont_.setPixelSize(14);
    barFont_.setBold(true);
    barFont_.setItalic(true);
    for (NoteLabel& label : *labels_) {
        label.valid = false;
    }
    chosenLabels_->clear();
}

int SongPainter::measureTextHeight(QPainter& painter) const {
    return QFontMetrics(tabFont_, painter.device()).height();
}

// Lays a label out again when the notation gives something else than it was made from.
void SongPainter::updateLabel(NoteLabel& label, NoteText&& out) const {
    if (label.valid && label.source.prefix == out.prefix && label.source.text == out.text &&
        label.source.lowOctave == out.lowOctave && label.source.accidental == out.accidental &&
        label.source.brush == out.brush) {
        return;
    }
    const auto prepared = [](const std::string& text, const QFont& font) {
        QStaticText s(QString::fromStdString(text));
        s.setTextFormat(Qt::PlainText);
        s.setPerformanceHint(QStaticText::AggressiveCaching);
        s.prepare(QTransform(), font);
        return s;
    };
    const QFont& textFont = out.lowOctave ? tabFontUnderlined_ : tabFont_;
    label.prefix = prepared(out.prefix, symbolFont_);
    label.prefixInk = inkOf(QString::fromStdString(out.prefix), symbolFont_);
    label.prefixLength = static_cast<int>(out.prefix.size());
    label.text = prepared(out.text, textFont);
    label.textInk = inkOf(QString::fromStdString(out.text), textFont);
    label.hasAccidental = !out.accidental.empty() && out.accidental != " ";
    label.accidental = prepared(out.accidental, tabFont_);
    label.accidentalInk = inkOf(QString::fromStdString(out.accidental), tabFont_);
    label.lowOctave = out.lowOctave;
    label.hasBrush = out.brush.has_value();
    if (out.brush) {
        label.brush = toQColor(*out.brush);
    }
    label.source = std::move(out);
    label.valid = true;
}

// The notation is asked for every pitch on each paint (it reads the live settings and
// layouts); only labels whose notation changed are laid out again. The labels of the
// alternatives users chose are few and are checked the same way.
void SongPainter::refreshLabels() {
    for (int note = 0; note < 128; ++note) {
        NoteText out;
        notation_->notate(note, 0, false, out);
        updateLabel((*labels_)[static_cast<std::size_t>(note)], std::move(out));
    }
    for (auto& [choice, label] : *chosenLabels_) {
        NoteText out;
        notation_->notate(choice.first, choice.second, false, out);
        updateLabel(label, std::move(out));
    }
}

const SongPainter::NoteLabel& SongPainter::labelOf(const MidiEvent& e) const {
    const int note = e.data1 & 0x7F;
    const int alternative = e.fingering ? notation_->alternativeOf(note, e.fingering) : 0;
    if (alternative == 0) {
        return (*labels_)[static_cast<std::size_t>(note)];
    }
    NoteLabel& label = (*chosenLabels_)[{note, alternative}];
    if (!label.valid) {
        NoteText out;
        notation_->notate(note, alternative, false, out);
        updateLabel(label, std::move(out));
    }
    return label;
}

PaintOutcome SongPainter::paint(QPainter& painter, const SongPaint& value) {
    Pass pass(painter, value);
    const ViewLayout& l = value.layout;
    if (!value.printing) {
        painter.setClipping(false);
        // White once and the black edges on top: a filled box would write every pixel twice.
        painter.fillRect(QRect(QPoint(l.left, l.top), QPoint(l.right - 1, l.bottom - 1)), kWhite);
        drawHLine(painter, l.left, l.right - 1, l.top, kBlack);
        drawHLine(painter, l.left, l.right - 1, l.bottom - 1, kBlack);
        drawVLine(painter, l.left, l.top, l.bottom - 1, kBlack);
        drawVLine(painter, l.right - 1, l.top, l.bottom - 1, kBlack);
    }
    if (value.song == nullptr || l.right <= 0 || l.staffBottom <= l.staffTop) {
        return pass.out;
    }
    refreshLabels();
    if (value.printing) {
        drawFrame(pass);
    }
    drawStaff(pass);
    if (!value.printing) {
        drawMarkRange(pass);
    }
    pass.out.labels.boxes.reset(PixelRect{l.left, l.top, pass.labelRight(), l.bottom});
    std::vector<BarText> bars = barTexts(pass);
    placeBarTexts(pass, bars, false);
    drawNotes(pass);
    placeBarTexts(pass, bars, true);
    drawBarLabels(pass, bars);
    drawTextLine(pass);
    drawClefs(pass);
    if (!value.printing) {
        drawDrumMarks(pass);
        drawProgress(pass, value.playTick);
        drawMarks(pass);
        drawFrame(pass);
        drawPositionLine(pass);
    }
    return pass.out;
}

void SongPainter::drawStaff(Pass& pass) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    // A printed line closes with the bar line on its right edge.
    pass.clip(l.left, l.top, pass.v.printing ? l.right + 1 : l.right, l.staffBottom);
    const std::vector<StaffLine> lines = staffLines(l, pass.v.scale.centreStep);
    for (const StaffLine& line : lines) {
        if (line.kind == StaffLineKind::Ledger) {
            drawHLine(p, 0, l.right, line.y, kLightGrey);
        }
    }
    for (const GridLine& line : beatGrid(pass.song, l, pass.v.scale, pass.v.window)) {
        drawVLine(p, line.x, l.staffTop, l.staffBottom, line.barLine ? kBlack : kLightGrey);
    }
    for (const StaffLine& line : lines) {
        if (line.kind == StaffLineKind::Staff) {
            drawHLine(p, 0, l.right, line.y, kBlack);
        }
    }
}

QColor SongPainter::trackBrush(Pass& pass, const MidiTrack* track) const {
    int index = -1;
    for (const auto& [t, i] : pass.trackIndex) {
        if (t == track) {
            index = i;
            break;
        }
    }
    if (index == -1) {
        index = pass.song.trackIndexOf(track);
        pass.trackIndex.emplace_back(track, index);
    }
    return trackBrushes_[static_cast<std::size_t>(std::max(0, index)) % trackBrushes_.size()];
}

// Four rounds over the window's events: the bars with the labels' texts in song order, so
// that an earlier note keeps its label's place; the accidentals, which yield to every text;
// the bend lines around both; the labels on top of it all, where no later bar covers them.
void SongPainter::drawNotes(Pass& pass) {
    const ViewLayout& l = pass.l;
    const SongPaint& v = pass.v;
    pass.clip(l.timeLeft, l.staffTop, pass.labelRight(), l.staffBottom);
    *pass.trail = BendTrail{};
    pass.currentFont = nullptr;
    const QColor played = toQColor(settings_.colorPlayed);
    const QColor playSel = toQColor(settings_.colorPlaySel);
    const QColor select = toQColor(settings_.colorSelect);
    pass.forEachVisibleEvent([&](int i, const MidiEvent& e) {
        if (!e.isNote || !trackDrawn(e, v.printing)) {
            return;
        }
        const bool isPlayed = v.running && ((v.nextEvent != -1 && i < v.nextEvent) ||
                                            (v.nextEvent == -1 && e.tick < v.playTick));
        const bool selected = (e.track->flags & TrackSelected) != 0;
        QColor fill;
        if (isPlayed) {
            fill = selected ? playSel : played;
        } else if (selected) {
            fill = select;
        } else {
            fill = trackBrush(pass, e.track);
        }
        const PixelRect bar = drawBar(pass, e, fill, !isPlayed && !selected, kDarkGrey);
        if (labelled(pass, e, bar)) {
            placeText(pass, i, e, bar);
        }
    });
    for (PlacedNoteLabel& placed : pass.out.labels.notes) {
        placeAccidental(pass, placed);
    }
    if (v.showPitchBends) {
        pass.forEachVisibleEvent([&](int i, const MidiEvent& e) {
            if (e.kind() == KindPitchWheel && trackDrawn(e, v.printing)) {
                drawBend(pass, i);
            }
        });
    }
    if (v.judged && !v.judged->empty() && !v.printing) {
        drawJudged(pass);
    }
    for (const PlacedNoteLabel& placed : pass.out.labels.notes) {
        drawLabel(pass, placed);
    }
}

PixelRect SongPainter::drawBar(Pass& pass, const MidiEvent& e, const QColor& fill,
                               bool techniqueColour, const QColor& outline) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    const NoteLabel& label = labelOf(e);
    const PixelRect r = noteRect(l, pass.v.scale, e.data1, e.tick, e.duration);
    QColor brush = techniqueColour && label.hasBrush ? label.brush : fill;
    if (pass.v.noColourBars) {
        brush = kWhite;
    }
    // On paper the clip lets labels run on into the margin past a line's end; the note itself
    // stops short of the line's last bar line.
    const auto box = [&](int left, int top, int right, int bottom) {
        if (pass.v.printing) {
            right = std::min(right, l.right);
            left = std::min(left, l.right - 1);
        }
        drawBox(p, left, top, right, bottom, outline, brush);
    };
    if (e.channel() == kDrumChannel) {
        const int yMid = (r.top + r.bottom) / 2;
        box(r.left, yMid - 2, r.left + 2, yMid + 2);
        box(r.left + 1, yMid - 1, r.right, yMid + 1);
    } else {
        box(r.left, r.top, r.right, r.bottom);
    }
    if (r.bottom - 4 < l.staffTop) {
        pass.out.notesClippedAbove = true;
    }
    if (l.staffBottom < r.top + 4) {
        pass.out.notesClippedBelow = true;
    }
    return r;
}

// Drum markers carry no label. A printed note is labelled by the line it starts in: a note
// starting a tick before a line may round to the line's first unit.
bool SongPainter::labelled(const Pass& pass, const MidiEvent& e, const PixelRect& bar) const {
    if (e.channel() == kDrumChannel) {
        return false;
    }
    return pass.v.printing ? e.tick >= pass.v.window.firstTick : bar.left >= pass.l.timeLeft;
}

// The text with its prefix goes at the start of its bar, or as far along the bar as it must to
// clear the labels placed before it (a chord's notes a step apart, two notes sharing a step);
// when the whole bar is taken the note goes without. A note doubling another, the same label
// where that one's stands, is named by it.
void SongPainter::placeText(Pass& pass, int eventIndex, const MidiEvent& e, const PixelRect& bar) {
    const NoteLabel& label = labelOf(e);
    const NoteLabelPlace place = noteLabelPlace(bar, label.prefixLength, pass.l.textHeight);
    PixelRect group = moved(label.textInk, place.textX, place.textY);
    if (label.prefixLength > 0) {
        group = unite(group, moved(label.prefixInk, place.prefixX, place.prefixY));
    }
    PlacedNoteLabel placed;
    placed.eventIndex = eventIndex;
    placed.bar = bar;
    const auto twin = pass.lastText.find({&label, bar.top});
    placed.twin = twin != pass.lastText.end() && LabelBoxes::overlaps(twin->second, group);
    if (!isEmpty(group) && !placed.twin) {
        const int barEnd = pass.v.printing ? std::min(bar.right, pass.l.right) : bar.right;
        const int maxLeft = std::max(group.left, barEnd - (group.right - group.left));
        if (const auto spot = pass.out.labels.boxes.slideRight(group, maxLeft)) {
            pass.out.labels.boxes.take(*spot);
            placed.textShown = true;
            placed.textShift = spot->left - group.left;
            placed.box = *spot;
            pass.lastText[{&label, bar.top}] = *spot;
        }
    }
    pass.out.labels.notes.push_back(placed);
}

// The accidental stands above the start of its bar, unless a label is there (the note a step
// or two above, sounding at once): then left of the bar on its label's row, where written music
// puts it, or after the label; with no room anywhere it is left out, the bar's row and the
// label still naming the note.
void SongPainter::placeAccidental(Pass& pass, PlacedNoteLabel& placed) {
    const MidiEvent& e = *pass.song.mergedEvents[placed.eventIndex];
    const NoteLabel& label = labelOf(e);
    if (placed.twin || !label.hasAccidental || isEmpty(label.accidentalInk)) {
        return;
    }
    const ViewLayout& l = pass.l;
    const PixelRect& bar = placed.bar;
    const PixelRect& ink = label.accidentalInk;
    const NoteLabelPlace place = noteLabelPlace(bar, label.prefixLength, l.textHeight);
    struct Corner {
        int x;
        int y;
    };
    std::vector<Corner> corners{{place.accidentalX, place.accidentalY}};
    const int beforeBar = bar.left - 1 - ink.right;
    if (beforeBar + ink.left >= l.timeLeft) {
        corners.push_back({beforeBar, place.textY});
    }
    // On paper an accidental moved after its label stays before the line's end: the margin
    // beyond is for labels that run on, not for marks looking for room.
    const int afterLabel = placed.box.right + kLabelGapX - ink.left;
    if (placed.textShown && (!pass.v.printing || afterLabel + ink.right <= l.right)) {
        corners.push_back({afterLabel, place.textY});
    }
    LabelBoxes& boxes = pass.out.labels.boxes;
    for (const Corner& corner : corners) {
        const PixelRect box = moved(ink, corner.x, corner.y);
        if (boxes.isFree(box)) {
            boxes.take(box);
            placed.accidentalShown = true;
            placed.accidentalX = corner.x;
            placed.accidentalY = corner.y;
            placed.box = unite(placed.box, box);
            return;
        }
    }
}

void SongPainter::drawLabel(Pass& pass, const PlacedNoteLabel& placed) {
    const MergedEventList& list = pass.song.mergedEvents;
    if (placed.eventIndex < 0 || placed.eventIndex >= list.count()) {
        return;
    }
    const NoteLabel& label = labelOf(*list[placed.eventIndex]);
    QPainter& p = pass.p;
    p.setPen(kBlack);
    // QStaticText is placed by its top-left corner.
    if (placed.textShown) {
        const NoteLabelPlace place =
            noteLabelPlace(placed.bar, label.prefixLength, pass.l.textHeight);
        if (label.prefixLength > 0) {
            pass.useFont(symbolFont_);
            p.drawStaticText(place.prefixX + placed.textShift, place.prefixY, label.prefix);
        }
        pass.useFont(label.lowOctave ? tabFontUnderlined_ : tabFont_);
        p.drawStaticText(place.textX + placed.textShift, place.textY, label.text);
    }
    if (placed.accidentalShown) {
        pass.useFont(tabFont_);
        p.drawStaticText(placed.accidentalX, placed.accidentalY, label.accidental);
    }
}

// The bar and whatever its label covers.
PixelRect SongPainter::noteArea(const PixelRect& bar, const PlacedNoteLabel* label) {
    const PixelRect around{bar.left - 1, bar.top - 1, bar.right + 1, bar.bottom + 1};
    return label != nullptr ? unite(around, label->box) : around;
}

PixelRect SongPainter::drawBend(Pass& pass, int eventIndex) {
    const SongPaint& v = pass.v;
    PixelRect touched{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    if (v.thumbTracking || v.window.firstVisibleEvent < 0) {
        return {};
    }
    const MergedEventList& list = pass.song.mergedEvents;
    const int count = list.count();
    if (eventIndex < 0 || eventIndex >= count) {
        return {};
    }
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    const MidiEvent& bend = *list[eventIndex];
    BendTrail& trail = *pass.trail;
    p.setPen(QPen(kBendRed, 2));
    for (int j = v.window.firstVisibleEvent; j < count && list[j]->tick < bend.tick; ++j) {
        const MidiEvent& note = *list[j];
        if (!note.isNoteOn() || note.channel() != bend.channel()) {
            continue;
        }
        if (!(bend.tick < note.tick + note.duration || note.duration == 0)) {
            continue;
        }
        const PixelRect bar = noteRect(l, v.scale, note.data1, note.tick, note.duration);
        const int x = tickX(l, v.scale, bend.tick);
        const int y =
            (bar.top + bar.bottom) / 2 -
            static_cast<int>(static_cast<std::int64_t>(bend.value()) * l.textHeight / kBendRange);
        const int fromX = trail.note == j && x >= trail.x ? trail.x : x;
        const int fromY = trail.note == j && x >= trail.x ? trail.y : y;
        if (trail.note == j && x >= trail.x) {
            for (const LineSegment& piece : segmentsAround(
                     pass.shown->boxes, LineSegment{trail.x, trail.y, x, y}, kBendMargin)) {
                p.drawLine(piece.x1, piece.y1, piece.x2, piece.y2);
            }
        }
        touched = unite(touched, PixelRect{std::min(fromX, x) - 2, std::min(fromY, y) - 2,
                                           std::max(fromX, x) + 2, std::max(fromY, y) + 2});
        trail = BendTrail{x, y, j};
    }
    return touched.left > touched.right ? PixelRect{} : touched;
}

// The key name and the first time signature head the rows; each bar that shows in the window
// adds its number and, when it changes, its time signature.
std::vector<SongPainter::BarText> SongPainter::barTexts(Pass& pass) const {
    const BarTable& bars = pass.song.barTable;
    const SongPaint& v = pass.v;
    std::vector<BarText> texts;
    if (v.window.firstTick == -1 || bars.empty()) {
        return texts;
    }
    const ViewLayout& l = pass.l;
    const BarLabelRows rows = barLabelRows(l);
    const auto add = [&](int x, int y, QString text, bool number, int barEnd) {
        BarText t;
        t.x = x;
        t.y = y;
        t.number = number;
        t.ink = moved(inkOf(text, barFont_), x, y);
        t.maxShift = std::max(0, barEnd - t.ink.right);
        t.text = std::move(text);
        texts.push_back(std::move(t));
    };
    const auto& signatures = pass.song.timeSignatureList;
    const auto signatureOf = [&](const BarEntry& bar) {
        TimeSignature ts;
        const int index = bar.timeSignatureIndex;
        if (index >= 0 && index < static_cast<int>(signatures.size())) {
            ts.numerator = signatures[index]->numerator();
            ts.denominator = signatures[index]->denominator();
        }
        return ts;
    };
    const auto signatureText = [](const TimeSignature& ts) {
        return QStringLiteral("%1/%2").arg(ts.numerator).arg(ts.denominator);
    };
    const int count = static_cast<int>(bars.size());
    const int first = std::clamp(v.window.firstVisibleBar, 0, count - 1);
    add(2, rows.numberY, QString::fromStdString(pass.song.keyName), false, 0);
    TimeSignature shown = signatureOf(bars[first]);
    add(2, rows.signatureY, signatureText(shown), false, 0);
    for (int b = first; b < count && bars[b].startTick <= v.window.lastTick; ++b) {
        const std::int32_t start = bars[b].startTick;
        const int x = tickX(l, v.scale, start);
        // A printed line numbers the bars that start in its own ticks, so that a bar starting
        // where one line ends, or a tick before the next begins, is numbered once.
        const bool numbered =
            v.printing ? start >= v.window.firstTick && start < v.window.lastTick : x >= l.timeLeft;
        if (!numbered) {
            continue;
        }
        const int barEnd =
            b + 1 < count ? tickX(l, v.scale, bars[b + 1].startTick) : pass.labelRight();
        add(x + 2, rows.numberY, QString::number(b + 1), true, barEnd);
        const TimeSignature ts = signatureOf(bars[b]);
        if (ts.numerator != shown.numerator || ts.denominator != shown.denominator) {
            add(x + 2, rows.signatureY, signatureText(ts), false, barEnd);
            shown = ts;
        }
    }
    return texts;
}

// The key name and the time signatures are placed before the notes' labels, which make room
// for them; the bar numbers after. A text whose place is taken moves right within its bar; a
// number with no room there (a high note's labels fill the bar, or bars are narrower than
// their numbers) is left out: the bar lines still count the bars, and the numbers around it
// say which they are.
void SongPainter::placeBarTexts(Pass& pass, std::vector<BarText>& texts, bool numbers) {
    LabelBoxes& boxes = pass.out.labels.boxes;
    for (BarText& t : texts) {
        if (t.number != numbers) {
            continue;
        }
        if (const auto spot = boxes.slideRight(t.ink, t.ink.left + t.maxShift)) {
            t.x += spot->left - t.ink.left;
            t.ink = *spot;
            boxes.take(t.ink);
            t.shown = true;
        }
    }
}

void SongPainter::drawBarLabels(Pass& pass, const std::vector<BarText>& texts) {
    if (texts.empty()) {
        return;
    }
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    pass.clip(l.left, l.top, pass.labelRight(), l.bottom);
    pass.useFont(barFont_);
    p.setPen(pass.v.printing ? kLabelPrintGrey : kLabelGrey);
    for (const BarText& t : texts) {
        if (t.shown) {
            drawTextAt(p, t.x, t.y, t.text);
        }
    }
}

// Each word stays at its tick, under its note: that is what the line is for (the lyrics window
// shows the whole text). A word that would run into the next one shown is cut short with an
// ellipsis, or left out when fewer than two of its letters would remain: at the smallest zooms
// a line of whole words with gaps reads better than one of fragments. The words are fitted
// from the right, so a word left out gives its room to the one before it.
void SongPainter::drawTextLine(Pass& pass) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    pass.clip(l.timeLeft, l.staffBottom, pass.labelRight(), l.bottom);
    pass.useFont(textFont_);
    p.setPen(kBlack);
    struct Word {
        int x;
        QString text;
    };
    std::vector<Word> words;
    pass.forEachVisibleEvent([&](int, const MidiEvent& e) {
        if (!isTextOrLyric(e) || e.track == nullptr || !(e.track->flags & TrackShown)) {
            return;
        }
        // A printed line writes only its own texts; the one before it wrote the rest.
        if (pass.v.printing && e.tick < pass.v.window.firstTick) {
            return;
        }
        const char* text = e.text();
        const std::size_t length = std::strlen(text);
        std::size_t start = 0;
        while (start < length && (text[start] == '\\' || text[start] == '/')) {
            ++start;
        }
        if (start == length || text[start] == '@' || text[start] == '\r' || text[start] == '\n') {
            return;
        }
        std::size_t stop = start;
        while (stop < length && text[stop] != '\r' && text[stop] != '\n') {
            ++stop;
        }
        words.push_back({tickX(l, pass.v.scale, e.tick), decodeText(text + start, stop - start)});
    });
    const QFontMetrics metrics = p.fontMetrics();
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    // The last word runs on to the edge, as the notes do.
    int limit = INT_MAX;
    for (auto word = words.rbegin(); word != words.rend(); ++word) {
        QString shown = word->text;
        if (limit != INT_MAX && metrics.horizontalAdvance(shown) > limit - word->x) {
            shown = metrics.elidedText(word->text, Qt::ElideRight, std::max(0, limit - word->x));
            if (shown.size() - 1 < kMinElidedLetters) {
                continue;
            }
        }
        drawTextAt(p, word->x, l.staffBottom + 1, shown);
        limit = word->x - space;
    }
}

void SongPainter::drawClefs(Pass& pass) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    pass.clip(l.left, l.top, l.right, l.staffBottom);
    // The artwork is black on white: multiplying keeps what lies under its white.
    p.setCompositionMode(QPainter::CompositionMode_Multiply);
    const ClefPlace place = clefPlace(l, pass.v.scale.centreStep);
    if (l.showTrebleClef) {
        p.drawImage(l.left, place.trebleY, trebleClef_);
    }
    if (l.showBassClef) {
        p.drawImage(l.left, place.bassY, bassClef_);
    }
    if (pass.out.notesClippedAbove) {
        p.drawImage(l.left + 24, l.staffTop, arrowAbove_);
    }
    if (pass.out.notesClippedBelow) {
        p.drawImage(l.left + 24, l.staffBottom - 16, arrowBelow_);
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void SongPainter::drawDrumMarks(Pass& pass) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    pass.clip(l.left, 6, l.right, 13);
    p.setPen(kBlack);
    pass.forEachVisibleEvent([&](int, const MidiEvent& e) {
        if (e.isNoteOn() && e.channel() == kDrumChannel && trackDrawn(e, pass.v.printing)) {
            const int x = tickX(l, pass.v.scale, e.tick);
            p.drawLine(x - 1, 7, x + 2, 12);
            p.drawLine(x + 1, 7, x - 2, 12);
        }
    });
}

void SongPainter::drawProgress(Pass& pass, std::int32_t tick) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    const SongPaint& v = pass.v;
    p.setClipping(false);
    const int x = std::clamp(tickX(l, v.scale, tick), 0, std::max(0, l.right));
    p.fillRect(QRect(0, 0, x, kProgressHeight), toQColor(settings_.colorPlayed));
    p.fillRect(QRect(x, 0, l.right - x, kProgressHeight), trackBrushes_[0]);
}

void SongPainter::drawFrame(Pass& pass) {
    QPainter& p = pass.p;
    const ViewLayout& l = pass.l;
    p.setClipping(false);
    drawVLine(p, l.left, l.staffTop, l.staffBottom, kLightGrey);
    drawVLine(p, l.right, l.staffTop, l.staffBottom, kLightGrey);
    drawHLine(p, l.left, l.right, l.staffTop, kLightGrey);
    drawHLine(p, l.left, l.right, l.staffBottom, kLightGrey);
    drawVLine(p, l.timeLeft - 1, l.staffTop, l.staffBottom, kDarkGrey);
}

void SongPainter::drawPositionLine(Pass& pass) {
    const SongPaint& v = pass.v;
    if (v.running) {
        return;
    }
    QPainter& p = pass.p;
    p.setClipping(false);
    if (v.editMode) {
        if (v.cursorTick != -1) {
            p.setPen(QPen(kInsertRed, 1, Qt::DotLine));
            const int x = tickX(pass.l, v.scale, v.cursorTick);
            p.drawLine(x, kProgressHeight, x, pass.l.staffBottom);
        }
    } else {
        p.setPen(QPen(kPlayGreen, 1, Qt::DotLine));
        const int x = tickX(pass.l, v.scale, v.playTick);
        p.drawLine(x, kProgressHeight, x, pass.l.staffBottom);
    }
}

const MidiEvent* SongPainter::playedNote(const SongPaint& value, int eventIndex) {
    const MergedEventList& list = value.song->mergedEvents;
    if (eventIndex < 0 || eventIndex >= list.count() || value.layout.textHeight == -1) {
        return nullptr;
    }
    const MidiEvent* e = list[eventIndex];
    return e->isNote && trackDrawn(*e, value.printing) ? e : nullptr;
}

PixelRect SongPainter::playedNoteArea(const SongPaint& value, const LabelPlan& shown,
                                      int eventIndex) const {
    const MidiEvent* e = playedNote(value, eventIndex);
    if (e == nullptr) {
        return {};
    }
    return noteArea(noteRect(value.layout, value.scale, e->data1, e->tick, e->duration),
                    shown.find(eventIndex));
}

PixelRect SongPainter::paintPlayedNote(QPainter& painter, const SongPaint& value,
                                       const LabelPlan& shown, int eventIndex,
                                       const QColor& brush) {
    const MidiEvent* e = playedNote(value, eventIndex);
    if (e == nullptr) {
        return {};
    }
    Pass pass(painter, value);
    pass.shown = &shown;
    const ViewLayout& l = value.layout;
    pass.clip(l.timeLeft, l.staffTop, l.right, l.staffBottom);
    const PixelRect area =
        noteArea(drawBar(pass, *e, brush, false, kBlack), shown.find(eventIndex));
    // The new bar covers its own label and parts of its neighbours'; all of them come back.
    const PixelRect redrawn{std::max(area.left, l.timeLeft), std::max(area.top, l.staffTop),
                            std::min(area.right, l.right), std::min(area.bottom, l.staffBottom)};
    if (isEmpty(redrawn)) {
        return area;
    }
    pass.clip(redrawn.left, redrawn.top, redrawn.right, redrawn.bottom);
    for (const PlacedNoteLabel& placed : shown.notes) {
        if (LabelBoxes::overlaps(placed.box, area)) {
            drawLabel(pass, placed);
        }
    }
    return area;
}

PixelRect SongPainter::paintBend(QPainter& painter, const SongPaint& value, const LabelPlan& shown,
                                 int eventIndex, BendTrail& trail) {
    if (value.layout.textHeight == -1) {
        return {};
    }
    Pass pass(painter, value);
    pass.trail = &trail;
    pass.shown = &shown;
    const ViewLayout& l = value.layout;
    pass.clip(l.timeLeft, l.staffTop, l.right, l.staffBottom);
    return drawBend(pass, eventIndex);
}

void SongPainter::paintProgress(QPainter& painter, const SongPaint& value, std::int32_t tick) {
    if (value.layout.textHeight == -1) {
        return;
    }
    Pass pass(painter, value);
    drawProgress(pass, tick);
}

} // namespace reedtab
