#pragma once

// Printed pages of the song: the page arithmetic of `printPageLayout` drawn line by line with
// the `SongPainter`, each line from a window of its own, so that printing, the print preview,
// the PDF export and `reedtab-cli pdf` share one page and never move the screen's window.
//
// Threads: the user-interface thread (the painter reads the live settings).

#include "view/geometry/printlayout.h"

#include <cstdint>
#include <functional>
#include <string>

class QPagedPaintDevice;
class QPainter;

namespace reedtab {

class MidiSong;
class SongPainter;
struct Settings;
struct SongWindow;

// Everything one print run shows besides the painter's fonts and notation.
struct SongPrintJob {
    const MidiSong* song = nullptr;
    PrintOptions options;
    bool noColourBars = false;
    std::int32_t markBegin = -1; // the printed range; -1 for the song's start or end
    std::int32_t markEnd = -1;
    int screenCentreStep = kDefaultCentreStep; // kept on paper when both clefs are printed
    int tabMode = 0;
    bool offsetAccidentals = false;
    bool showPitchBends = false;
    std::string path;     // header at the top left; empty for a song never saved
    std::string tabTitle; // header at the top middle; empty for none
};

// A job for `song` with the print and display options of `settings` and the notation's full
// title as the header; the caller adds the path, the marks and the screen's staff step.
SongPrintJob printJobFor(const MidiSong& song, const Settings& settings,
                         const SongPainter& painter);

// The page arithmetic of the job.
PrintPageLayout printJobPages(const SongPrintJob& job);

// Draws page `pageNumber` (from 1): the 1000 x 1100 logical page over the whole of `painter`'s
// device, the lines of the page, the header and the footer.
void printPage(QPainter& painter, SongPainter& songPainter, const SongPrintJob& job,
               const PrintPageLayout& page, int pageNumber);

// Draws line `line` (from 0) of page `pageNumber` onto a painter whose window is the logical
// page: the line's own ticks, clipped to its own strip of the page. `window` carries the event
// search over from the line drawn before (a new window for the first line).
void printLine(QPainter& painter, SongPainter& songPainter, const SongPrintJob& job,
               const PrintPageLayout& page, int pageNumber, int line, SongWindow& window);

// Told after each page of a print run: the pages done and the pages the run prints. Returning
// false stops the run there.
using PrintProgress = std::function<bool(int done, int total)>;

// Prints pages `fromPage`..`toPage` (from 1; 0 for the last page) onto `device`, one device
// page each. Returns the number of pages printed (fewer than asked when `progress` stopped the
// run), or -1 when the device cannot be painted on.
int printSong(QPagedPaintDevice& device, SongPainter& songPainter, const SongPrintJob& job,
              int fromPage = 1, int toPage = 0, const PrintProgress& progress = {});

} // namespace reedtab
