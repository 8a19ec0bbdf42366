#include "view/geometry/printlayout.h"

#include <algorithm>

namespace reedtab {

PrintPageLayout printPageLayout(const PrintOptions& options, const PrintSource& source) {
    PrintPageLayout page;
    const int division = source.division > 0 ? source.division : kDefaultDivision;
    page.showTrebleClef = options.trebleClef;
    page.showBassClef = options.bassClef;
    page.tabStaffSpace = options.tabSpace;
    page.beatsPerLine = std::clamp(options.beatsPerLine, 1, 48);
    if (options.trebleClef && options.bassClef) {
        page.linesPerPage = 5;
        page.centreStep = source.screenCentreStep;
    } else {
        page.linesPerPage = 6;
        page.centreStep = options.bassClef ? kPrintCentreBass : kPrintCentreTreble;
    }
    page.lineHeight = kPrintLinesArea / page.linesPerPage;
    page.unitsPerBeat = (kPrintPageWidth - kClefAreaWidth) / page.beatsPerLine;
    page.lineRight = kClefAreaWidth + page.beatsPerLine * page.unitsPerBeat;
    page.ticksPerLine = division * page.beatsPerLine;
    page.ticksPerPage = page.ticksPerLine * page.linesPerPage;
    page.start = source.markBegin == -1 ? 0 : source.markBegin;
    page.end = source.markEnd == -1 ? source.songLength : source.markEnd;
    const std::int64_t u = page.ticksPerPage;
    const std::int64_t pages = (static_cast<std::int64_t>(page.end) + u - page.start - 1) / u;
    page.pageCount = static_cast<int>(std::clamp<std::int64_t>(pages, 1, INT32_MAX));
    return page;
}

std::int32_t printLineTick(const PrintPageLayout& page, int pageNumber, int line) {
    const std::int64_t tick = static_cast<std::int64_t>(pageNumber - 1) * page.ticksPerPage +
                              static_cast<std::int64_t>(line) * page.ticksPerLine + page.start;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(tick, INT32_MIN, INT32_MAX));
}

int printLinesOnPage(const PrintPageLayout& page, int pageNumber) {
    int lines = 0;
    while (lines < page.linesPerPage) {
        ++lines;
        if (printLineTick(page, pageNumber, lines) >= page.end) {
            break;
        }
    }
    return lines;
}

ViewLayout printLineLayout(const PrintPageLayout& page, int line, int textHeight) {
    ViewLayout layout;
    layout.tabStaffSpace = page.tabStaffSpace;
    layout.showTrebleClef = page.showTrebleClef;
    layout.showBassClef = page.showBassClef;
    layout.textHeight = textHeight;
    layout.setLayoutSize(0, line * page.lineHeight + kPrintHeaderHeight, page.lineRight,
                         (line + 1) * page.lineHeight + kPrintHeaderHeight);
    return layout;
}

PrintLineSpan printLineSpan(const PrintPageLayout& page, int pageNumber, int line) {
    PrintLineSpan span;
    span.firstTick = printLineTick(page, pageNumber, line);
    const std::int64_t last = static_cast<std::int64_t>(span.firstTick) + page.ticksPerLine;
    span.lastTick = static_cast<std::int32_t>(std::min<std::int64_t>(last, INT32_MAX));
    return span;
}

} // namespace reedtab
