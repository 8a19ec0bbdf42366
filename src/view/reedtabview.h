#pragma once

// The tablature view: the main window's scrolling staff. Every note of the song is a coloured
// bar on a grand staff, labelled with its tablature text; above the staff run the progress
// strip, the drum marks and the bar numbers, below it the lyric and text line. The play
// position is the view's cursor: the view keeps it on screen, and scrolling moves it.
//
// Threads: the user-interface thread only. The player's position news reach the view through
// the main frame, which calls playTick-driven repaints, `redrawNote` and `redrawBend`.

#include "view/geometry/viewlayout.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QImage>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class QPainter;

namespace reedtab {

class CReedtabDoc;
class DiatonicLayout;
class ChromaticLayout;
class MidiEvent;
class MidiSong;
class MidiTrack;
class Notation;
struct Rgb;
struct Settings;

// The zoom commands: command id, menu text and zoom index.
struct ZoomCommand {
    int id;
    const char* menuText;
    int zoomIndex;
};
inline constexpr std::array<ZoomCommand, 6> kZoomCommands{{
    {230, "25%", 0},
    {168, "50%", 1},
    {167, "75%", 2},
    {166, "100%", 3},
    {165, "150%", 4},
    {163, "200%", 5},
}};
inline constexpr int kZoomInCommand = 32847;
inline constexpr int kZoomOutCommand = 32848;

// Horizontal scroll requests (they move the play position) and vertical ones (they move the
// staff step at the middle of the staff).
enum class HScroll { LineLeft, LineRight, PageLeft, PageRight, ThumbPosition, ThumbTrack };
enum class VScroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom };

// The player as the view sees it: the play position and state it shows, and the seek it asks
// for. The main frame passes an adapter over the one stream player; tests script one.
class ViewPlayer {
public:
    virtual ~ViewPlayer() = default;
    // True while the song plays.
    virtual bool isPlaying() const = 0;
    // The play position (ticks), as last set by the main frame or a seek.
    virtual std::int32_t playTick() const = 0;
    // Merged-list index of the next event the player will send; -1 when none.
    virtual int nextEventIndex() const = 0;
    // Moves the play position to `tick` (ticks); a playing song goes on from there.
    virtual void seek(std::int32_t tick) = 0;
};

class CReedtabView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The view reads the song and the marks through `doc`, the play position through `player`
    // and every option from `settings`; the two layouts give the tablature. All must outlive
    // the view. The view does not open the output device: the frame does that once it can
    // receive the player's reports.
    CReedtabView(CReedtabDoc& doc, ViewPlayer& player, Settings& settings,
                 const DiatonicLayout& diatonic, const ChromaticLayout& chromatic,
                 QWidget* parent = nullptr);
    ~CReedtabView() override;

    // ---- What the frame calls while playing ----

    // Recolours one note (merged-list index) straight onto the window with `brush` and a
    // black outline, without a full paint. Events that are not drawn notes are ignored.
    void redrawNote(int eventIndex, const Rgb& brush);
    // Draws the pitch-bend line of one pitch-wheel event (merged-list index) onto the window.
    void redrawBend(int eventIndex);
    // Redraws the progress strip and the mark range for `tick` (ticks).
    void redrawProgress(std::int32_t tick);
    // Full repaint at the next event-loop turn. The window (firstTick, lastTick) follows the
    // play position at once.
    void repaintView();

    // ---- Song and options ----

    // Sets every event's isNote flag: note-ons with velocity and duration, channel 10 only when
    // drum notes are shown. Run after a load, after the settings change.
    void refreshNoteFlags();
    // Builds the fonts from the settings again and lays out anew (after the options change).
    void refreshFonts();
    // The horizontal scroll range in quarter notes (the song length) and the scroll position in
    // quarter notes (the frame's position display).
    void setScrollRange(int quarters);
    void setScrollPosition(int quarters);

    // ---- Zoom ----
    // 0..5 (18, 36, 54, 72, 90, 144 pixels per beat); out-of-range indices are ignored.
    void setZoomIndex(int index);
    void zoomIn();
    void zoomOut();
    // Runs a zoom command by id (kZoomCommands, kZoomInCommand, kZoomOutCommand); false for
    // other ids.
    bool zoomCommand(int id);
    int zoomIndex() const { return zoomIndex_; }
    int pixelsPerBeat() const { return pixelsPerBeat_; }

    // ---- Scrolling (also driven by the scroll bars, the wheel and the keys) ----
    void scrollHorizontally(HScroll request, int position = 0);
    void scrollVertically(VScroll request, int position = 0);
    // Moves the play position by the wheel delta (120 per notch, positive away from the user).
    void wheelBy(int delta);

    // ---- Geometry, for the frame, the hit test, printing and tests ----
    const ViewLayout& layout() const { return layout_; }
    ViewScale scale() const;
    std::int32_t firstTick() const { return firstTick_; }
    std::int32_t lastTick() const { return lastTick_; }
    int visibleTicks() const { return visibleTicks_; }
    int centreStep() const { return centreStep_; }
    int firstVisibleEvent() const { return firstVisibleEvent_; }
    // The bar of a note-on event in the screen layout.
    PixelRect noteRect(const MidiEvent& note) const;
    // The note number at y in the screen layout (0..127).
    int pitchAtY(int y) const;
    // The song's division, or the default while the song has none (ticks per quarter note).
    int division() const;

    // Draws the song layers into `target` for the play position `tick`: screen or one printed
    // line. With `setFirst` the window starts at `tick` (printing).
    void drawSong(QPainter& painter, ViewLayout& target, std::int32_t tick, bool setFirst,
                  bool printing);

    // The last full paint, as drawn on the window (tests, screenshots), in screen pixels.
    const QImage& canvas() const { return canvas_; }

signals:
    // The view moved the play position (text-line click, scrolling, wheel).
    void positionChanged(std::int32_t tick);
    // A click in the band above the staff changed the marks.
    void marksChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct NoteLabel;

    MidiSong& song() const;
    bool playerRunning() const;
    std::int32_t playTick() const;
    void buildFonts();
    void refreshLabels();
    void measureText(QPainter& p, ViewLayout& target);
    QSize canvasPixels() const;
    void renderCanvas();
    void updateWindow(std::int32_t tick, const ViewLayout& target, bool setFirst);
    void findFirstVisibleEvent();
    int trackIndex(const MidiTrack* track);
    void drawStaff(QPainter& p, const ViewLayout& l);
    void drawNotes(QPainter& p, ViewLayout& l, bool printing);
    PixelRect drawNote(QPainter& p, ViewLayout& l, const MidiEvent& e, const QColor& fill,
                       bool techniqueColour, bool printing, const QColor& outline);
    void drawBend(QPainter& p, const ViewLayout& l, int eventIndex);
    void drawBarLabels(QPainter& p, const ViewLayout& l, bool printing);
    void drawTextLine(QPainter& p, const ViewLayout& l);
    void drawClefs(QPainter& p, const ViewLayout& l);
    void drawDrumMarks(QPainter& p, const ViewLayout& l, bool printing);
    void drawProgress(QPainter& p, const ViewLayout& l, std::int32_t tick);
    void drawFrame(QPainter& p, const ViewLayout& l);
    void useFont(QPainter& p, const QFont& font);
    bool trackDrawn(const MidiEvent& e, bool printing) const;
    void setPlayPosition(std::int32_t tick, bool tellFrame);
    void clickInBand(int x, bool shift);

    CReedtabDoc& doc_;
    ViewPlayer& player_;
    Settings& settings_;
    std::unique_ptr<Notation> notation_;
    std::unique_ptr<std::array<NoteLabel, 128>> labels_;
    std::vector<std::pair<const MidiTrack*, int>> trackIndexCache_;

    ViewLayout layout_;
    int pixelsPerBeat_ = kZoomPixelsPerBeat[kDefaultZoomIndex];
    int visibleTicks_ = 0;
    int zoomIndex_ = kDefaultZoomIndex;
    std::int32_t firstTick_ = 0;
    std::int32_t lastTick_ = 0;
    int firstVisibleEvent_ = -1;
    int bendPointX_ = 0;
    int bendPointY_ = 0;
    int bendPointNote_ = 0;
    int centreStep_ = kDefaultCentreStep;
    int firstVisibleBar_ = 0;
    bool thumbTracking_ = false;

    QFont tabFont_;
    QFont tabFontUnderlined_;
    QFont textFont_;
    QFont symbolFont_;
    QFont barFont_;
    const QFont* currentFont_ = nullptr;
    std::array<QColor, 128> trackBrushes_;
    QImage trebleClef_;
    QImage bassClef_;
    QImage arrowAbove_;
    QImage arrowBelow_;

    QImage canvas_;
    bool canvasStale_ = true;
};

} // namespace reedtab
