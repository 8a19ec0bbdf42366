#pragma once

// Draws one window of the song onto any QPainter: the screen's canvas, a printed page or an
// exported file. Everything a paint shows comes in as one value (`SongPaint`), so a printed
// line is painted from a window of its own and the screen's window never moves for it. The
// painter keeps only what is costly to make again: fonts, brushes, the clef pictures and the
// laid-out note labels.
//
// Threads: the user-interface thread only (fonts and the notation read the live settings).

#include "view/geometry/labelboxes.h"
#include "view/geometry/songwindow.h"
#include "view/geometry/viewlayout.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class QPainter;
class QPalette;
class QRect;

namespace reedtab {

class ChromaticLayout;
class DiatonicLayout;
class MidiEvent;
struct NoteText;
class MidiSong;
class MidiTrack;
class Notation;
struct Settings;

struct FontSpec;
struct Rgb;

// A colour of the settings as a QColor.
QColor toQColor(const Rgb& colour);

// The font a settings description names: a negative height is the character height in pixels,
// a positive one the whole cell.
QFont fontFromSpec(const FontSpec& spec);

// The text of a song's text, lyric or name bytes: UTF-8 when they are valid UTF-8, else Latin-1
// (the single-byte code page most karaoke files were written in).
QString decodeText(const char* bytes, std::size_t length);

// The frame that shows which widget has the keyboard focus: two pixels of the palette's
// highlight just inside `rect`.
void paintFocusFrame(QPainter& painter, const QRect& rect, const QPalette& palette);

// One paint as a value: the song, where it goes and what state it is drawn in.
// A note of the track the player plays, judged while the program listened.
enum class JudgedVerdict { Hit, Wrong, Missed };
struct JudgedMark {
    std::int32_t tick = 0;
    int track = 0;
    int key = 0;
    JudgedVerdict verdict = JudgedVerdict::Hit;

    friend auto operator<=>(const JudgedMark&, const JudgedMark&) = default;
};

struct SongPaint {
    const MidiSong* song = nullptr;
    ViewLayout layout; // textHeight measured (SongPainter::measureTextHeight)
    ViewScale scale;   // scale.firstTick equals window.firstTick
    SongWindow window;
    std::int32_t playTick = 0;
    bool running = false;
    int nextEvent = -1; // the player's next event; notes before it count as played
    std::int32_t markBegin = -1;
    std::int32_t markEnd = -1;
    std::int32_t cursorTick = -1; // the edit insertion line, edit mode only
    bool editMode = false;
    // Paper: no background, drum row, progress strip, marks or position line, hidden tracks
    // are left out even when selected and bar labels are darker.
    bool printing = false;
    // Paper: the labels of notes, bars and lyrics near a line's end may run on into the margin
    // up to this x, while note bars end with the line's time area (0: no margin).
    int labelRight = 0;
    bool noColourBars = false; // note bars filled white
    bool showPitchBends = false;
    bool thumbTracking = false; // no bend lines while a scroll thumb is dragged
    // The judged notes of the pass listened to, in order (tick, track, key): each bar gets a
    // frame in its verdict's colour, under the labels. Null for none.
    const std::vector<JudgedMark>* judged = nullptr;
};

// The end of the last pitch-bend line, so that the next bend of the same note continues it.
struct BendTrail {
    int x = 0;
    int y = 0;
    int note = 0;
};

// Where a paint put the label of one note: the tablature text with its prefix (moved right
// along the bar when its usual place was taken, or left out when the whole bar was) and the
// accidental (above the bar, left of it or after the text, or left out).
struct PlacedNoteLabel {
    int eventIndex = -1;
    PixelRect bar; // the note's bar as the paint drew it
    // A note doubling another (the same label at the same place) is named by that one's label
    // and shows nothing of its own.
    bool twin = false;
    bool textShown = false;
    int textShift = 0; // pixels right of the usual place
    bool accidentalShown = false;
    int accidentalX = 0; // top-left corner
    int accidentalY = 0;
    PixelRect box; // the pixels its shown pieces cover
};

// The labels of one paint: the boxes every label took (bend lines go around them), and each
// note's label in the order of the merged list, so that a redraw puts them where the paint did.
struct LabelPlan {
    LabelBoxes boxes;
    std::vector<PlacedNoteLabel> notes;

    // The note label of a merged-list index, or null when the paint labelled none.
    const PlacedNoteLabel* find(int eventIndex) const;
};

// What a full paint leaves for the partial redraws that follow it.
struct PaintOutcome {
    bool notesClippedAbove = false;
    bool notesClippedBelow = false;
    BendTrail bend;
    LabelPlan labels;
};

class SongPainter {
public:
    // The painter reads the fonts, colours and notation options from `settings`; all three
    // must outlive it. The track colours are taken once, here.
    SongPainter(const Settings& settings, const DiatonicLayout& diatonic,
                const ChromaticLayout& chromatic);
    ~SongPainter();
    SongPainter(const SongPainter&) = delete;
    SongPainter& operator=(const SongPainter&) = delete;

    // Builds the fonts from the settings again; every label is laid out anew at the next paint.
    void refreshFonts();

    // The height of the digit "8" in the tablature font on `painter`'s device, for
    // ViewLayout::setMeasuredTextHeight.
    int measureTextHeight(QPainter& painter) const;

    // Every layer of one paint, in order: the white background, the staff with its beat grid,
    // the tint of the marked range, the notes, the bar labels, the text line, the clefs, the
    // drum row, the progress strip, the marks, the frame and the play or insertion line. No
    // label is drawn over another: the time signatures take their places first, then the
    // notes' texts, their accidentals and the bar numbers; what finds its place taken moves
    // or is left out. Bend lines run around the labels, and words of the text line that would
    // run into the next one are shortened or left out.
    PaintOutcome paint(QPainter& painter, const SongPaint& paint);

    // Recolours one note (merged-list index) with `brush` and a black outline, then draws again
    // every label of the paint `shown` that the note covers, where that paint put it; returns
    // the pixels touched (an empty rect when nothing was drawn).
    PixelRect paintPlayedNote(QPainter& painter, const SongPaint& paint, const LabelPlan& shown,
                              int eventIndex, const QColor& brush);
    // The pixels paintPlayedNote would touch, without drawing.
    PixelRect playedNoteArea(const SongPaint& paint, const LabelPlan& shown, int eventIndex) const;
    // Draws the bend line of one pitch-wheel event, continuing `trail`, around the labels of
    // the paint `shown`; returns the pixels touched (empty when nothing was drawn).
    PixelRect paintBend(QPainter& painter, const SongPaint& paint, const LabelPlan& shown,
                        int eventIndex, BendTrail& trail);
    // The progress strip for the play position `tick`.
    void paintProgress(QPainter& painter, const SongPaint& paint, std::int32_t tick);

    const Notation& notation() const { return *notation_; }

private:
    struct NoteLabel;
    struct BarText;
    struct Pass;

    static const MidiEvent* playedNote(const SongPaint& paint, int eventIndex);
    static PixelRect noteArea(const PixelRect& bar, const PlacedNoteLabel* label);
    void updateLabel(NoteLabel& label, NoteText&& out) const;
    void refreshLabels();
    // The label of a note as its chosen fingering (or the preferred one) writes it.
    const NoteLabel& labelOf(const MidiEvent& e) const;
    void drawStaff(Pass& pass);
    void drawNotes(Pass& pass);
    void drawJudged(Pass& pass);
    PixelRect drawBar(Pass& pass, const MidiEvent& e, const QColor& fill, bool techniqueColour,
                      const QColor& outline);
    bool labelled(const Pass& pass, const MidiEvent& e, const PixelRect& bar) const;
    void placeText(Pass& pass, int eventIndex, const MidiEvent& e, const PixelRect& bar);
    void placeAccidental(Pass& pass, PlacedNoteLabel& placed);
    void drawLabel(Pass& pass, const PlacedNoteLabel& placed);
    PixelRect drawBend(Pass& pass, int eventIndex);
    std::vector<BarText> barTexts(Pass& pass) const;
    static void placeBarTexts(Pass& pass, std::vector<BarText>& texts, bool numbers);
    void drawBarLabels(Pass& pass, const std::vector<BarText>& texts);
    void drawTextLine(Pass& pass);
    void drawClefs(Pass& pass);
    void drawDrumMarks(Pass& pass);
    void drawProgress(Pass& pass, std::int32_t tick);
    void drawMarkRange(Pass& pass);
    void drawMarks(Pass& pass);
    void drawFrame(Pass& pass);
    void drawPositionLine(Pass& pass);
    QColor trackBrush(Pass& pass, const MidiTrack* track) const;

    const Settings& settings_;
    std::unique_ptr<Notation> notation_;
    std::unique_ptr<std::array<NoteLabel, 128>> labels_;
    // Labels of chosen alternatives by (note, alternative), made when first drawn.
    std::unique_ptr<std::map<std::pair<int, int>, NoteLabel>> chosenLabels_;
    QFont tabFont_;
    QFont tabFontUnderlined_;
    QFont textFont_;
    QFont symbolFont_;
    QFont barFont_;
    std::array<QColor, 128> trackBrushes_;
    QImage trebleClef_;
    QImage bassClef_;
    QImage arrowAbove_;
    QImage arrowBelow_;
};

} // namespace reedtab
