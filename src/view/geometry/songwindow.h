#pragma once

// The stretch of the song that one drawing area shows, and where the lines, labels and notes
// of that stretch fall in it. The screen keeps one window and moves it with the play position;
// a printed line makes its own, so printing never moves the screen's.

#include "view/geometry/viewlayout.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace reedtab {

class MergedEventList;
class MidiSong;
class BarTable;

struct SongWindow {
    std::int32_t firstTick = 0; // tick at timeLeft
    std::int32_t lastTick = 0;  // firstTick + visibleTicks
    int visibleTicks = 0;
    int firstVisibleEvent = -1; // merged-list index of the first event shown, -1 for none
    int firstVisibleBar = 0;    // bar-table index of the first bar to label
};

// The song's division, or the default while it has none.
int songDivision(const MidiSong& song);

// Brings `window` up to date for the play position `tick` in `layout`: its width from the
// scale, a page turn when the position left it (two beats early while running), and the first
// event and bar, searched from the window's previous ones. An empty song never moves the
// window.
void followWindow(SongWindow& window, const MidiSong& song, const ViewLayout& layout,
                  int pixelsPerBeat, std::int32_t tick, bool running);

// Moves `window` to show exactly firstTick up to (not including) lastTick: a printed line,
// which holds its own ticks and nothing of the next line's. Printed lines only move forward,
// so the event search goes on from the window's previous first event, and a whole song is
// searched once however many lines it fills; a window moved back searches from the start.
void advanceWindow(SongWindow& window, const MidiSong& song, std::int32_t firstTick,
                   std::int32_t lastTick);

// The first event a window from firstTick to lastTick shows: a drawn note or drum note that
// sounds in it, or a text or lyric at or after firstTick; -1 for none. The search resumes at
// `resumeFrom` when everything before that index is surely left of the window.
int findFirstVisibleEvent(const MergedEventList& list, std::int32_t firstTick,
                          std::int32_t lastTick, int resumeFrom);

// The bar to label first for a window from firstTick: the last bar that starts before it, at
// most the last but one.
int findFirstVisibleBar(const BarTable& bars, std::int32_t firstTick);

// Ticks between two beat lines under a time signature whose denominator is 2^denominatorPower;
// at least 1 even for a corrupt denominator.
std::int64_t beatTicks(int division, int denominatorPower);

// The denominator power of bar `bar`'s time signature (2, a quarter, when it has none).
int barDenominatorPower(const MidiSong& song, int bar);

// The beat nearest to `tick` on the grid the view draws: the beats of each bar's time signature
// from the bar's start, the next bar's start ending the bar; quarter notes from tick 0 without
// bars. Halfway between two beats counts as the later one.
std::int32_t nearestBeat(const MidiSong& song, std::int32_t tick);

// The tick a click at x in the band above the staff puts a mark at: the nearest tick, or with
// `snap` the nearest beat (a player loops beats and bars).
std::int32_t markClickTick(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
                           int x, bool snap);

// Where the marks fall in a window. A mark outside the window, or an unset one, leaves its side
// of the range open to the window's edge when the other side is set.
struct MarkPlaces {
    bool range = false; // some of the marked range lies in the window
    int rangeLeft = 0;  // its pixels, within timeLeft..right
    int rangeRight = 0;
    std::optional<int> beginX; // the marks that lie in the window
    std::optional<int> endX;
};
MarkPlaces markPlaces(const ViewLayout& layout, const ViewScale& scale, const SongWindow& window,
                      std::int32_t markBegin, std::int32_t markEnd);

struct GridLine {
    int x = 0;
    bool barLine = false; // black bar line; the other beats are light grey
};

// The beat and bar lines of the window, left to right. Without bars (or without a window) the
// lines fall every beat from timeLeft.
std::vector<GridLine> beatGrid(const MidiSong& song, const ViewLayout& layout,
                               const ViewScale& scale, const SongWindow& window);

enum class StaffLineKind { None, Ledger, Staff };

// Odd steps are line positions: the five lines of each staff around middle C (step 35, itself
// a ledger position) and light ledger positions everywhere else.
StaffLineKind staffLineKind(int step);

struct StaffLine {
    int y = 0;
    StaffLineKind kind = StaffLineKind::None;
};

// Every line position the staff area shows, top to bottom.
std::vector<StaffLine> staffLines(const ViewLayout& layout, int centreStep);

// Rows of the bar numbers and of the time signatures below them.
struct BarLabelRows {
    int numberY = 0;
    int signatureY = 0;
};
BarLabelRows barLabelRows(const ViewLayout& layout);

// Top-left corners of a note's label pieces: the prefix marks (7 pixels a character), the
// tablature text after them and the accidental above the bar.
struct NoteLabelPlace {
    int prefixX = 0;
    int prefixY = 0;
    int textX = 0;
    int textY = 0;
    int accidentalX = 0;
    int accidentalY = 0;
};
NoteLabelPlace noteLabelPlace(const PixelRect& bar, int prefixLength, int textHeight);

// Top edges of the two clef pictures.
struct ClefPlace {
    int trebleY = 0;
    int bassY = 0;
};
ClefPlace clefPlace(const ViewLayout& layout, int centreStep);

struct NoteHit {
    int index = -1; // merged-list index of the note-on, -1 for none
    PixelRect rect;
};

// The note whose bar contains (x, y): among the drawn notes of visible tracks in the window,
// the last one (it is drawn on top).
NoteHit noteAt(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
               const SongWindow& window, int x, int y);

// Merged-list indices of the drawn notes of visible tracks in the window whose bars lie wholly
// inside `band`, in song order.
std::vector<int> notesInside(const MidiSong& song, const ViewLayout& layout, const ViewScale& scale,
                             const SongWindow& window, const PixelRect& band);

} // namespace reedtab
