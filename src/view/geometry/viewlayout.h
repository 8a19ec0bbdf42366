#pragma once

// The tablature view's geometry: the layout record shared by the screen and the printer, and
// the conversions between ticks, pitches and pixels. Plain code, no painting, so that it can be
// tested on its own and used by both the widget and the print path.

#include <array>
#include <cstdint>

namespace reedtab {

// A rectangle by its edges, in pixels; right and bottom are the far edges as drawn.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
    bool operator==(const PixelRect&) const = default;
};

// Pixels per quarter note by zoom index 0..5.
inline constexpr std::array<int, 6> kZoomPixelsPerBeat{18, 36, 54, 72, 90, 144};
inline constexpr int kDefaultZoomIndex = 3;

inline constexpr int kClefAreaWidth = 45;   // pixels left of the time area, for the clefs
inline constexpr int kTopBandHeight = 12;   // progress strip (y 0..7) and drum marks (7..12)
inline constexpr int kMarkStripHeight = 14; // the screen's strip below the drum marks for the marks
inline constexpr int kProgressHeight = 7;   // bottom of the progress strip
inline constexpr int kTextLineHeight = 18;  // lyric and text line below the staff
inline constexpr int kMiddleCStep = 35;     // staff step of note 60
inline constexpr int kMinCentreStep = 3;    // range of the staff step drawn at the middle
inline constexpr int kMaxCentreStep = 67;
inline constexpr int kDefaultCentreStep = 37;
inline constexpr int kVerticalScrollRange = 70; // scroll position = 70 - centreStep
inline constexpr int kDefaultDivision = 360;    // used while a song has no valid division

// The layout of one drawing area (the window, or one printed line). Pixel values.
struct ViewLayout {
    int left = 0;
    int top = 0;
    int timeLeft = 0; // x of firstTick: left + 45, at most right
    int staffTop = 0; // top + 12 + markStripHeight, at most staffBottom
    int right = 0;
    int staffBottom = 0; // bottom - 18
    int width = 0;       // the right edge as last passed to setLayoutSize
    int bottom = 0;
    int textHeight = -1; // even height of "8" in the tablature font; -1 = stale, measure again
    int middleY = 0;
    int visibleSteps = 0;
    int stepHeight = 0; // pixels between two staff steps
    bool notesClippedBelow = false;
    bool notesClippedAbove = false;
    int tabStaffSpace = 1;
    bool showTrebleClef = true;
    bool showBassClef = true;
    // Pixels between the drum marks and the staff, where the marks are set with the mouse and
    // flagged: a band a finger can hit on screen, none on paper.
    int markStripHeight = 0;

    // Sets the edges (-1 leaves one unchanged), in the order right, bottom, left, top. Returns
    // true when the derived values were computed again (textHeight is known), which is when
    // anything placed from the layout must be placed again.
    bool setLayoutSize(int newLeft, int newTop, int newRight, int newBottom);

    // Takes the measured pixel height of the digit "8" and derives the layout from it.
    void setMeasuredTextHeight(int measuredHeight);

    // middleY, stepHeight and visibleSteps from the edges and textHeight.
    void derive();
};

// Display transposition of a tablature mode, in half steps: B-flat instruments +2, E-flat -3.
int displayTranspose(int tabMode);

enum class Accidental { None, Sharp, Flat };

// Staff step of a pitch class 0..11 (C = 0, D = 1 ... B = 6) and its accidental.
int stepOfPitchClass(int pitchClass);
Accidental accidentalOfPitchClass(int pitchClass);

// Staff step of a MIDI note after the display transposition (35 is middle C untransposed).
int staffStepOfNote(int note, int transpose);
Accidental accidentalOfNote(int note, int transpose);

// What a coordinate conversion needs besides the layout: the horizontal window and scale and
// the vertical position of the staff.
struct ViewScale {
    int firstTick = 0; // tick at timeLeft
    int pixelsPerBeat = 72;
    int division = 480; // ticks per quarter note, > 0
    int centreStep = kDefaultCentreStep;
    int transpose = 0;              // displayTranspose of the tablature mode
    bool offsetAccidentals = false; // sharps drawn half a step up, flats down
};

// x of a tick for note bars: rounded in floating point.
int noteBarX(const ViewLayout& layout, const ViewScale& scale, std::int32_t tick);
// x of a tick for lines, labels, marks and text: integer arithmetic, truncating.
int tickX(const ViewLayout& layout, const ViewScale& scale, std::int32_t tick);
// y of a staff step.
int stepY(const ViewLayout& layout, const ViewScale& scale, int step);

// The bar of a note: number, start tick and duration in ticks. At least one pixel wide.
PixelRect noteRect(const ViewLayout& layout, const ViewScale& scale, int note, std::int32_t tick,
                   std::int32_t duration);

// The note number whose bar has its top at y (the inverse of noteRect for editing); 0..127.
int pitchAtY(const ViewLayout& layout, const ViewScale& scale, int y);

// The tick at x rounded in floating point (the inverse of the note-bar x).
std::int32_t tickAtX(const ViewLayout& layout, const ViewScale& scale, int x);

// The nearest tick under a mouse click at x (x left of the time area counts as timeLeft),
// snapped to twelfths of a beat when snap is set.
std::int32_t clickTick(const ViewLayout& layout, const ViewScale& scale, int x, bool snap);

// A tick snapped to the nearest twelfth of a beat.
std::int32_t snapToTwelfth(std::int32_t tick, int division);

// Ticks the time area shows at a scale: whole beats that fit plus one, at least one beat.
int visibleTicksFor(const ViewLayout& layout, int pixelsPerBeat, int division);

// The new firstTick after following the play position: unchanged while tick lies inside the
// window (up to two beats before its end while running), else the beat at or before tick.
std::int32_t followFirstTick(std::int32_t firstTick, int visibleTicks, std::int32_t tick,
                             int division, bool running);

// Horizontal scroll amounts in ticks: a page (whole groups of four beats, less one group) and
// a wheel notch (a quarter of a page).
std::int32_t scrollPageTicks(int visibleTicks, int division);
std::int32_t wheelStepTicks(int visibleTicks, int division);

int clampCentreStep(int step);

// Colour k of the 128 track colours: a blend between two colours that swings from the first
// to the second and back. Colours as red + 256 * green + 65536 * blue.
std::uint32_t trackColour(int k, std::uint32_t colour1, std::uint32_t colour2);

} // namespace reedtab
