#pragma once

// The tablature view: the main window's scrolling staff. Every note of the song is a coloured
// bar on a grand staff, labelled with its tablature text; above the staff run the progress
// strip, the drum marks and the bar numbers, below it the lyric and text line. The play
// position is the view's cursor: the view keeps it on screen, and scrolling moves it.
//
// The widget owns the window onto the song (which ticks, at what zoom, which staff step at the
// middle), scrolling, the mouse and the keys, and in edit mode the selected notes with their
// frames (dragged, stretched, deleted through the document's edits); the geometry library places
// things and the `SongPainter` draws them, so the printer can draw other windows without moving
// this one.
//
// Threads: the user-interface thread only. The player's position news reach the view through
// the main frame, which calls playTick-driven repaints, `redrawNote` and `redrawBend`.

#include "document/documentnotice.h"
#include "view/geometry/noteedit.h"
#include "view/geometry/songwindow.h"
#include "view/geometry/viewlayout.h"
#include "view/songpainter.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QRegion>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMenu;
class QPainter;

namespace reedtab {

class CReedtabDoc;
class DiatonicLayout;
class ChromaticLayout;
class CommandTable;
class MidiEvent;
class MidiSong;
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

// The commands of a note's right-button menu. Alternative k of the note has id
// kNoteAlternateCommand + k; "Use preferred" (back to the preferred way) is kNoteAlternateCommand.
inline constexpr int kNoteHeadingCommand = 2102;
inline constexpr int kTrackPropertiesCommand = 2018;
inline constexpr int kHideTrackCommand = 2013;
inline constexpr int kShowTrackOnlyCommand = 2014;
inline constexpr int kShowAllTracksCommand = 2015;
inline constexpr int kDeleteTrackCommand = 2019;
inline constexpr int kDeleteNoteCommand = 2100;
inline constexpr int kDeleteSelectedNotesCommand = 2101;
inline constexpr int kNoteAlternateCommand = 2200;

// Horizontal scroll requests (they move the play position) and vertical ones (they move the
// staff step at the middle of the staff).
enum class HScroll { LineLeft, LineRight, PageLeft, PageRight, ThumbPosition, ThumbTrack };
enum class VScroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom };

// The player as the view sees it: the play position and state it shows, the seek it asks for,
// and the output that sounds a note written with the mouse. The main frame passes an adapter
// over the one stream player; tests script one.
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
    // Sounds a note on the output at once (channel 0..15), and ends it.
    virtual void noteOn(int channel, int key, int velocity) = 0;
    virtual void noteOff(int channel, int key) = 0;
};

class CReedtabView : public QAbstractScrollArea {
    Q_OBJECT

public:
    // The view reads the song and the marks through `doc` (and follows its notices), the play
    // position through `player` and every option from `settings`; the two layouts give the
    // tablature. All must outlive the view. The view does not open the output device: the frame
    // does that once it can receive the player's reports.
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
    // Redraws the progress strip for `tick` (ticks).
    void redrawProgress(std::int32_t tick);
    // Full repaint at the next event-loop turn. The window (firstTick, lastTick) follows the
    // play position at once.
    void repaintView();
    /// The judged notes of the pass listened to (any order), marked on the staff from now on.
    void setJudgedMarks(std::vector<JudgedMark> marks);
    const std::vector<JudgedMark>& judgedMarks() const { return judged_; }

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
    // Registers the zoom commands (each zoom checked while it is the view's, Zoom In and Out).
    void registerCommands(CommandTable& table);
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
    const SongWindow& songWindow() const { return window_; }
    std::int32_t firstTick() const { return window_.firstTick; }
    std::int32_t lastTick() const { return window_.lastTick; }
    int visibleTicks() const { return window_.visibleTicks; }
    int centreStep() const { return centreStep_; }
    int firstVisibleEvent() const { return window_.firstVisibleEvent; }
    // The bar of a note-on event in the screen layout.
    PixelRect noteRect(const MidiEvent& note) const;
    // The note number at y in the screen layout (0..127).
    int pitchAtY(int y) const;
    // The drawn note under (x, y) in the window on screen, and its bar; index -1 for none.
    NoteHit noteAt(int x, int y) const;
    // The song's division, or the default while the song has none (ticks per quarter note).
    int division() const;

    // What the window on screen shows, as the value the painter draws from.
    SongPaint songPaint() const;
    // The painter of this view, for printing and export passes with windows of their own.
    SongPainter& painter() { return *painter_; }
    // Where the last full paint put the labels, which the playback redraws keep to.
    const LabelPlan& labelPlan() const { return labels_; }

    // The picture on the window as of now, in screen pixels: a full paint and the playback
    // redraws since (tests).
    QImage canvas();

    // ---- Edit mode's selection ----

    // The selected notes (note-ons) in the order they were selected.
    std::vector<MidiEvent*> selectedNotes() const;
    // The frame of selected note `i` as it stands (pixels on screen); empty for a bad index.
    PixelRect selectionFrame(int i) const;
    // Only a lone selected note can be stretched: its frame has the handle.
    bool selectionHasHandle() const { return selection_.size() == 1; }
    // Drops every selection frame (edit mode ends, the song is replaced).
    void clearSelection();

    // ---- The note menu (right button on a note) ----

    // Asks a yes/no question (text, caption); the default is a message box.
    using YesNoQuestion = std::function<bool(const std::string&, const std::string&)>;
    void setYesNoQuestion(YesNoQuestion ask) { askYesNo_ = std::move(ask); }
    // The menu of the note at merged-list index `eventIndex`, its actions wired to their
    // commands; null for an index that is not a drawn note. `selectedNotes` are the notes
    // that "Delete Selected Notes" removes (edit mode's selection).
    std::unique_ptr<QMenu> buildNoteMenu(int eventIndex,
                                         const std::vector<MidiEvent*>& selectedNotes = {});

signals:
    // The view moved the play position (text-line click, scrolling, wheel).
    void positionChanged(std::int32_t tick);
    // A click in the band above the staff changed the marks.
    void marksChanged();
    // The note menu's "Track Properties" for the track at `trackIndex`.
    void trackPropertiesRequested(int trackIndex);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    MidiSong& song() const;
    bool playerRunning() const;
    std::int32_t playTick() const;
    // A redraw while playing, kept until the next full paint so that a window uncovered in
    // between shows it again.
    struct PlaybackDraw {
        enum Kind { Note, Bend, Progress } kind;
        int index;         // merged-list index (note, bend)
        std::int32_t tick; // progress position
        QColor brush;      // note
    };

    void paintAll(QPainter& p);
    void paintPlaybackDraws(QPainter& p, std::size_t from);
    void paintFocus(QPainter& p);
    void addPlaybackDraw(const PlaybackDraw& draw, const PixelRect& area);
    void followPlayPosition();
    void setPlayPosition(std::int32_t tick, bool tellFrame);
    // The tick a click at x in the band above the staff sets a mark at.
    std::int32_t markTick(int x) const;
    // The end mark at `tick`, the begin mark at 0 when it is unset or not before it.
    void setEndMark(std::int32_t tick);
    void clickInBand(int x, bool shift);
    void showNoteMenu(int x, int y, const QPoint& globalPosition);

    // A selected note and where its frame stands.
    struct SelectionFrame {
        MidiEvent* note;
        PixelRect lastRect; // after the last adjustment of a drag, else the note's bar
        int rowStep;        // vertical quantum of a move: half a staff step
    };
    // A frame being moved or stretched, from the press to the release.
    struct FrameDrag {
        int frame;
        FrameHit hit;
        QPoint start;        // the pointer at the press
        PixelRect startRect; // the frame at the press
        bool writing;        // the note was just written: a drag gives it its length
        int channel;         // the written note, to end its sound
        int key;
        bool stretching = false; // the pointer went far enough to drag out a written note
    };
    // A rubber band being dragged out over empty staff.
    struct RubberBand {
        QPoint anchor;
        QPoint corner;
        BandReach reach;
    };

    void onDocumentNotice(const DocumentNotice& notice);
    SelectionFrame frameFor(MidiEvent* note) const;
    void placeFrames();
    bool deletesSelection() const;
    void editPress(int x, int y, Qt::KeyboardModifiers modifiers);
    void writeNote(int x, int y);
    void dragFrame(int x, int y, Qt::KeyboardModifiers modifiers);
    void finishFrameDrag();
    void dragBand(int x, int y);
    void finishBand();
    void paintSelection(QPainter& p);
    void showCursorAt(int x, int y);

    CReedtabDoc& doc_;
    ViewPlayer& player_;
    Settings& settings_;
    std::unique_ptr<SongPainter> painter_;
    YesNoQuestion askYesNo_;

    ViewLayout layout_;
    SongWindow window_;
    BendTrail bendTrail_;
    LabelPlan labels_; // where the last full paint put the labels
    int pixelsPerBeat_ = kZoomPixelsPerBeat[kDefaultZoomIndex];
    int zoomIndex_ = kDefaultZoomIndex;
    int centreStep_ = kDefaultCentreStep;
    bool thumbTracking_ = false;
    std::vector<JudgedMark> judged_;

    std::vector<PlaybackDraw> playbackDraws_;
    std::size_t playbackDrawsShown_ = 0;
    QRegion playbackRegion_; // pixels of the redraws not yet on the window
    bool fullPaintDue_ = true;

    int documentListener_ = 0;
    std::vector<SelectionFrame> selection_;
    std::optional<FrameDrag> drag_;
    std::optional<RubberBand> band_;
    QCursor writeCursor_;
};

} // namespace reedtab
