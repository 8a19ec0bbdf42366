#pragma once

// The printed page: a logical area of 1000 x 1100 units (stretched over the printable area)
// holding a fixed number of tablature lines, each a strip of the time line with the same beats
// per line. Plain arithmetic, so that the page count and the line strips are tested on their
// own and shared by the printer and a file export.

#include "view/geometry/viewlayout.h"

#include <cstdint>

namespace reedtab {

inline constexpr int kPrintPageWidth = 1000;
inline constexpr int kPrintPageHeight = 1100;
inline constexpr int kPrintLinesArea = 1070;  // the lines share this height; the rest is footer
inline constexpr int kPrintHeaderHeight = 18; // every line starts this far below its slot
inline constexpr int kPrintFooterY = 1087;    // top of the "Page n" footer
inline constexpr int kPrintCentreTreble = 41; // staff step at the middle with only one clef
inline constexpr int kPrintCentreBass = 31;

// The print options that shape the page.
struct PrintOptions {
    bool trebleClef = true;
    bool bassClef = false;
    int beatsPerLine = 16; // 1..48
    int tabSpace = 0;      // tabStaffSpace of the printed lines
};

// What a print run needs besides the options: the song's division and extent, the marks and
// the screen's staff position (kept when both clefs are printed).
struct PrintSource {
    int division = 480;
    std::int32_t songLength = 0;
    std::int32_t markBegin = -1;
    std::int32_t markEnd = -1;
    int screenCentreStep = kDefaultCentreStep;
};

struct PrintPageLayout {
    int linesPerPage = 6;
    int lineHeight = 0; // logical units per line slot
    int centreStep = 0; // staff step at the middle of each line
    int beatsPerLine = 16;
    int unitsPerBeat = 0; // the pixelsPerBeat of the printed lines
    int lineRight = 0;    // x where each line's time ends: its last bar line, the frame's edge
    std::int32_t ticksPerLine = 0;
    std::int32_t ticksPerPage = 0;
    std::int32_t start = 0; // first tick printed (the begin mark, else 0)
    std::int32_t end = 0;   // the end mark, else the song length
    int pageCount = 1;
    bool showTrebleClef = true;
    bool showBassClef = false;
    int tabStaffSpace = 0;
};

// The page for the options and the song; beatsPerLine is held to 1..48.
PrintPageLayout printPageLayout(const PrintOptions& options, const PrintSource& source);

// First tick of line `line` (from 0) on page `page` (from 1).
std::int32_t printLineTick(const PrintPageLayout& page, int pageNumber, int line);

// Lines on page `pageNumber` that hold any of the song: fewer on the last page.
int printLinesOnPage(const PrintPageLayout& page, int pageNumber);

// The drawing area of line `line` (from 0), laid out with the measured text height (-1 leaves
// the derived values for a later measurement). Its time area ends at lineRight, where the
// line's last tick falls; the margin beyond is left to labels that run on past the end.
ViewLayout printLineLayout(const PrintPageLayout& page, int line, int textHeight);

// The ticks line `line` of page `pageNumber` shows: from its first tick up to (not including)
// the next line's.
struct PrintLineSpan {
    std::int32_t firstTick = 0;
    std::int32_t lastTick = 0;
};
PrintLineSpan printLineSpan(const PrintPageLayout& page, int pageNumber, int line);

} // namespace reedtab
