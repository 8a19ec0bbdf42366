// What the printed lines actually put on the page, recorded draw by draw: each line keeps to
// its own strip and its own ticks, on songs built here, the examples and a dense orchestral
// song from the corpus.

#include "view/songprinter.h"

#include "document/songedits.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "settings/settings.h"
#include "view/geometry/songwindow.h"
#include "view/songpainter.h"

#include "labelcheck.h"
#include "paintrecorder.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {
namespace {

// Every note bar is filled with this colour and nothing else on the page is.
constexpr Rgb kNoteFill{0, 170, 85};

struct PrintedLine {
    int page = 0;
    int line = 0;
    ViewLayout layout;
    PrintLineSpan span;
    std::vector<DrawnItem> items;
};

std::string lineName(const PrintedLine& line) {
    return "page " + std::to_string(line.page) + " line " + std::to_string(line.line);
}

std::string where(const PrintedLine& line, const DrawnItem& item) {
    const QRectF& r = item.visible;
    return lineName(line) + ": " +
           (item.kind == DrawnItem::Kind::Text ? "\"" + item.text.toStdString() + "\" "
                                               : std::string("item ")) +
           "at " + std::to_string(r.left()) + "," + std::to_string(r.top()) + " to " +
           std::to_string(r.right()) + "," + std::to_string(r.bottom());
}

bool inside(const QRectF& outer, const QRectF& inner) {
    constexpr double slack = 1e-6;
    return inner.left() >= outer.left() - slack && inner.right() <= outer.right() + slack &&
           inner.top() >= outer.top() - slack && inner.bottom() <= outer.bottom() + slack;
}

bool shown(const DrawnItem& item) {
    return item.visible.width() > 0 && item.visible.height() > 0;
}

bool isNoteFill(const DrawnItem& item) {
    return item.kind == DrawnItem::Kind::Fill &&
           item.colour == QColor(kNoteFill.red, kNoteFill.green, kNoteFill.blue);
}

bool isBarNumber(const DrawnItem& item) {
    return item.kind == DrawnItem::Kind::Text && item.font.bold() && item.font.italic() &&
           !item.text.isEmpty() &&
           std::all_of(item.text.begin(), item.text.end(), [](QChar c) { return c.isDigit(); });
}

class PrintedPageTest : public ::testing::Test {
protected:
    PrintedPageTest() : diatonic(options), chromatic(options) {
        diatonic.init(60, -1);
        chromatic.init(60, -1);
        for (Rgb* colour :
             {&options.colorNormal1, &options.colorNormal2, &options.colorSelect,
              &options.colorDimmed, &options.colorBlow, &options.colorDraw, &options.colorOver,
              &options.colorBend, &options.colorBlowChro, &options.colorDrawChro,
              &options.colorBlowSlide, &options.colorDrawSlide}) {
            *colour = kNoteFill;
        }
        painter = std::make_unique<SongPainter>(options, diatonic, chromatic);
    }

    SongPrintJob job() {
        SongPrintJob j = printJobFor(song, options, *painter);
        j.path = "/songs/test.mid";
        return j;
    }

    void load(const std::string& path) {
        ASSERT_EQ(song.loadFile(path), LoadOk) << path;
        markNotes(song, options.showDrumsNotes);
    }

    // Each line of every page drawn on its own, so that what it draws is known to be its own.
    std::vector<PrintedLine> printAllLines(const SongPrintJob& j) {
        const PrintPageLayout page = printJobPages(j);
        PaintRecorder recorder(kPrintPageWidth, kPrintPageHeight);
        ViewLayout measured;
        {
            QPainter p(&recorder);
            measured.setMeasuredTextHeight(painter->measureTextHeight(p));
        }
        SongWindow window;
        std::vector<PrintedLine> lines;
        for (int pageNumber = 1; pageNumber <= page.pageCount; ++pageNumber) {
            for (int line = 0; line < printLinesOnPage(page, pageNumber); ++line) {
                recorder.clear();
                {
                    QPainter p(&recorder);
                    printLine(p, *painter, j, page, pageNumber, line, window);
                }
                PrintedLine printed;
                printed.page = pageNumber;
                printed.line = line;
                printed.layout = printLineLayout(page, line, measured.textHeight);
                printed.span = printLineSpan(page, pageNumber, line);
                printed.items = recorder.items();
                lines.push_back(std::move(printed));
            }
        }
        return lines;
    }

    // Everything a line shows lies in its strip of the page (the margin right of the time
    // area included, for labels that run on); note bars lie in its staff area and its ticks.
    static void expectLinesKeepToTheirStrips(const std::vector<PrintedLine>& lines) {
        int outside = 0;
        for (const PrintedLine& line : lines) {
            const ViewLayout& l = line.layout;
            const QRectF strip(0, l.top, kPrintPageWidth, l.bottom - l.top);
            const QRectF staff(l.timeLeft, l.staffTop, l.right - l.timeLeft,
                               l.staffBottom - l.staffTop);
            for (const DrawnItem& item : line.items) {
                if (!shown(item)) {
                    continue;
                }
                if (!inside(strip, item.visible)) {
                    ADD_FAILURE() << "outside the line's strip: " << where(line, item);
                    ++outside;
                } else if (isNoteFill(item) && !inside(staff, item.visible)) {
                    ADD_FAILURE() << "a note outside the line's staff: " << where(line, item);
                    ++outside;
                }
                if (outside == 10) {
                    return;
                }
            }
        }
    }

    // No text appears twice at one place of the song: a label that two lines both printed
    // would stand at the same song position in each. The key and time signature heading each
    // line, left of the time area, are the line's own.
    static void expectNoLabelTwice(const std::vector<PrintedLine>& lines, const SongPrintJob& j) {
        const PrintPageLayout page = printJobPages(j);
        const double ticksPerUnit = double(songDivision(*j.song)) / page.unitsPerBeat;
        struct Placed {
            QString text;
            double tick;
            std::size_t line;
        };
        std::vector<Placed> placed;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const PrintedLine& line = lines[i];
            for (const DrawnItem& item : line.items) {
                if (item.kind != DrawnItem::Kind::Text || !shown(item) ||
                    item.bounds.left() < line.layout.timeLeft) {
                    continue;
                }
                const double tick = line.span.firstTick +
                                    (item.bounds.left() - line.layout.timeLeft) * ticksPerUnit;
                placed.push_back({item.text, tick, i});
            }
        }
        std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
            return a.text != b.text ? a.text < b.text : a.tick < b.tick;
        });
        int twice = 0;
        for (std::size_t k = 1; k < placed.size(); ++k) {
            const Placed& a = placed[k - 1];
            const Placed& b = placed[k];
            if (a.text == b.text && a.line != b.line && b.tick - a.tick <= 1.5 * ticksPerUnit) {
                ADD_FAILURE() << "\"" << a.text.toStdString() << "\" at tick " << a.tick << " on "
                              << lineName(lines[a.line]) << " and on " << lineName(lines[b.line]);
                if (++twice == 10) {
                    return;
                }
            }
        }
    }

    // Each bar that starts in the printed range is numbered at most once, by the line it starts
    // in; a number that would cover a note's label is left out, so `share` of the bars (all of
    // them in an uncrowded song) are numbered.
    static void expectBarsNumberedOnce(const std::vector<PrintedLine>& lines, const MidiSong& song,
                                       double share = 1.0) {
        std::map<QString, int> numbered;
        for (const PrintedLine& line : lines) {
            for (const DrawnItem& item : line.items) {
                if (isBarNumber(item) && shown(item) &&
                    item.bounds.left() >= line.layout.timeLeft) {
                    ++numbered[item.text];
                    const int bar = item.text.toInt() - 1;
                    ASSERT_GE(bar, 0);
                    ASSERT_LT(bar, static_cast<int>(song.barTable.size()));
                    const std::int32_t start = song.barTable[bar].startTick;
                    EXPECT_GE(start, line.span.firstTick) << where(line, item);
                    EXPECT_LT(start, line.span.lastTick) << where(line, item);
                }
            }
        }
        const std::int32_t first = lines.front().span.firstTick;
        const std::int32_t last = lines.back().span.lastTick;
        int expected = 0;
        for (int bar = 0; bar < static_cast<int>(song.barTable.size()); ++bar) {
            const std::int32_t start = song.barTable[bar].startTick;
            if (start >= first && start < last) {
                ++expected;
                EXPECT_LE(numbered[QString::number(bar + 1)], 1) << "bar " << bar + 1;
            }
        }
        int total = 0;
        for (const auto& [text, count] : numbered) {
            total += count;
        }
        EXPECT_LE(total, expected);
        EXPECT_GE(total, share * expected);
    }

    // No label of a line drawn over another, and no bend line through one.
    static void expectLabelsApart(const std::vector<PrintedLine>& lines) {
        std::size_t faults = 0;
        for (const PrintedLine& line : lines) {
            for (const std::string& fault : labelFaults(line.items, 10 - faults)) {
                ADD_FAILURE() << lineName(line) << ": " << fault;
                ++faults;
            }
        }
    }

    void expectReadablePages(const SongPrintJob& j, double numberedShare = 1.0) {
        const std::vector<PrintedLine> lines = printAllLines(j);
        ASSERT_FALSE(lines.empty());
        expectLinesKeepToTheirStrips(lines);
        expectNoLabelTwice(lines, j);
        expectBarsNumberedOnce(lines, *j.song, numberedShare);
        expectLabelsApart(lines);
    }

    Settings options;
    DiatonicLayout diatonic;
    ChromaticLayout chromatic;
    std::unique_ptr<SongPainter> painter;
    MidiSong song;
};

// A song built here: one track in 4/4 at division 480, notes and lyrics placed on purpose.
class BuiltSongTest : public PrintedPageTest {
protected:
    BuiltSongTest() {
        song.division = 480;
        auto track = std::make_unique<MidiTrack>();
        track->index = 0;
        song.tracks.push_back(std::move(track));
        song.addEvent(0, 0, makeTimeSignatureEvent(4, 4));
        song.timeSignatureList.push_back(
            static_cast<TimeSignatureEvent*>(song.tracks[0]->events.front().get()));
    }

    void addNote(int key, std::int32_t tick, std::int32_t duration) {
        song.addEvent(tick, 0, makeChannelEvent(0x90, key, 100));
        song.addEvent(tick + duration, 0, makeChannelEvent(0x80, key, 0));
    }

    void finish(std::int32_t length) {
        song.repairAllTracks();
        song.length = length;
        song.rebuildBars();
        markNotes(song, false);
    }

    static std::vector<const DrawnItem*> noteFills(const PrintedLine& line) {
        std::vector<const DrawnItem*> fills;
        for (const DrawnItem& item : line.items) {
            if (isNoteFill(item) && shown(item)) {
                fills.push_back(&item);
            }
        }
        return fills;
    }

    // Texts of the line's time area: the key and time signature heading it are left out.
    static int texts(const PrintedLine& line, const QString& text) {
        return static_cast<int>(
            std::count_if(line.items.begin(), line.items.end(), [&](const DrawnItem& item) {
                return item.kind == DrawnItem::Kind::Text && item.text == text && shown(item) &&
                       item.bounds.left() >= line.layout.timeLeft;
            }));
    }

    static bool arrowAt(const PrintedLine& line, int y) {
        return std::any_of(line.items.begin(), line.items.end(), [&](const DrawnItem& item) {
            return item.kind == DrawnItem::Kind::Picture && item.pictureSize == QSize(16, 16) &&
                   shown(item) && item.visible.left() == line.layout.left + 24 &&
                   item.visible.top() == y;
        });
    }
};

TEST_F(BuiltSongTest, ALineHoldsItsOwnTicksAndItsOwnPitches) {
    // 16 beats a line, only the treble staff: line 1 is ticks 0..7679, line 2 7680..15359.
    addNote(72, 7200, 960);  // C, held over into line 2
    addNote(74, 7680, 240);  // D, the first note of line 2
    addNote(30, 960, 480);   // far below the treble staff
    addNote(108, 1440, 480); // far above it
    addNote(76, 7679, 60);   // E, a tick before line 2: its bar shows on both lines
    song.addEvent(7679, 0, makeLyricEvent("last"));
    song.addEvent(7680, 0, makeLyricEvent("next"));
    finish(12000);
    const SongPrintJob j = job();
    ASSERT_EQ(printJobPages(j).ticksPerLine, 7680);
    const std::vector<PrintedLine> lines = printAllLines(j);
    ASSERT_EQ(lines.size(), 2u);
    const PrintedLine& first = lines[0];
    const PrintedLine& second = lines[1];
    expectLinesKeepToTheirStrips(lines);
    expectNoLabelTwice(lines, j);
    expectBarsNumberedOnce(lines, song);
    expectLabelsApart(lines);

    // Line 1: the held note runs to the line's last bar line and no further; the notes off the
    // staff leave only their arrows.
    const std::vector<const DrawnItem*> firstFills = noteFills(first);
    ASSERT_EQ(firstFills.size(), 1u) << "the held note; the E is an outline at the line's end";
    for (const DrawnItem* fill : firstFills) {
        EXPECT_GE(fill->visible.right(), first.layout.right - 1);
        EXPECT_LE(fill->visible.right(), first.layout.right);
    }
    EXPECT_EQ(texts(first, "C"), 1);
    EXPECT_EQ(texts(first, "E"), 1);
    EXPECT_EQ(texts(first, "D"), 0) << "the note at the line's end is the next line's";
    EXPECT_TRUE(arrowAt(first, first.layout.staffTop)) << "notes above the staff";
    EXPECT_TRUE(arrowAt(first, first.layout.staffBottom - 16)) << "notes below the staff";
    EXPECT_EQ(texts(first, "last"), 1);
    EXPECT_EQ(texts(first, "next"), 0);
    EXPECT_EQ(texts(first, "5"), 0) << "bar 5 starts where line 1 ends";

    // Line 2: the held note from the line's start, without a second label; the next note
    // with its own.
    const std::vector<const DrawnItem*> secondFills = noteFills(second);
    ASSERT_EQ(secondFills.size(), 3u);
    ViewScale scale;
    scale.firstTick = second.span.firstTick;
    scale.pixelsPerBeat = printJobPages(j).unitsPerBeat;
    scale.division = 480;
    const int heldEnd = noteBarX(second.layout, scale, 8160);
    const auto held = std::find_if(secondFills.begin(), secondFills.end(), [&](auto* item) {
        return item->visible.left() == second.layout.timeLeft;
    });
    ASSERT_NE(held, secondFills.end()) << "the held note starts at the line's start";
    EXPECT_NEAR((*held)->visible.right(), heldEnd, 1.0);
    EXPECT_EQ(texts(second, "C"), 0) << "the held note was labelled on line 1";
    EXPECT_EQ(texts(second, "E"), 0) << "the E was labelled on line 1";
    EXPECT_EQ(texts(second, "D"), 1);
    EXPECT_FALSE(arrowAt(second, second.layout.staffTop));
    EXPECT_FALSE(arrowAt(second, second.layout.staffBottom - 16));
    EXPECT_EQ(texts(second, "next"), 1);
    EXPECT_EQ(texts(second, "5"), 1);
}

TEST_F(BuiltSongTest, ThePageIsItsLinesAndItsHeader) {
    for (int k = 0; k < 40; ++k) {
        addNote(60 + k % 20, k * 700, 900);
        song.addEvent(k * 700 + 10, 0, makeLyricEvent("la"));
    }
    finish(40 * 700 + 900);
    options.printBassClef = true;
    const SongPrintJob j = job();
    std::vector<DrawnItem> lineItems;
    for (const PrintedLine& line : printAllLines(j)) {
        if (line.page == 1) {
            lineItems.insert(lineItems.end(), line.items.begin(), line.items.end());
        }
    }
    PaintRecorder recorder(kPrintPageWidth, kPrintPageHeight);
    {
        QPainter p(&recorder);
        printPage(p, *painter, j, printJobPages(j), 1);
    }
    const std::vector<DrawnItem>& pageItems = recorder.items();
    ASSERT_EQ(pageItems.size(), lineItems.size() + 3) << "the lines, the path, page and title";
    for (std::size_t i = 0; i < lineItems.size(); ++i) {
        EXPECT_EQ(pageItems[i].kind, lineItems[i].kind) << i;
        EXPECT_EQ(pageItems[i].visible, lineItems[i].visible) << i;
        EXPECT_EQ(pageItems[i].text, lineItems[i].text) << i;
    }
    for (std::size_t i = lineItems.size(); i < pageItems.size(); ++i) {
        const DrawnItem& header = pageItems[i];
        EXPECT_EQ(header.kind, DrawnItem::Kind::Text);
        for (std::size_t k = 0; k < lineItems.size(); ++k) {
            EXPECT_FALSE(shown(lineItems[k]) && header.visible.intersects(lineItems[k].visible))
                << header.text.toStdString() << " over item " << k;
        }
    }
}

// The three examples and a dense twelve-part orchestral song, in the default layout and in
// the ones that crowd a line most: both staves, 48 beats a line, diatonic tab. In the dense
// song some bar numbers give way to the notes' labels: two thirds of them are left at 48 beats
// a line, nearly all at 16.
TEST_F(PrintedPageTest, ExamplesAndADenseSongPrintEachLineInItsOwnPlace) {
    const std::string examples = std::string(REEDTAB_SOURCE_DIR) + "/examples/";
    const std::string dense = std::string(REEDTAB_CORPUS_DIR) + "/songs/beethoven/symphony_7_2.mid";
    for (const std::string& file : {examples + "oh-susanna.mid", examples + "amazing-grace.kar",
                                    examples + "saints.mid", dense}) {
        load(file);
        if (HasFatalFailure()) {
            return;
        }
        for (int layout = 0; layout < 3; ++layout) {
            SCOPED_TRACE(file + " layout " + std::to_string(layout));
            options.printBassClef = layout == 1;
            options.printBeatsPerLine = layout == 2 ? 48 : 16;
            options.tabMode = layout == 2 ? 1 : 0;
            const double numbered = file != dense ? 1.0 : layout == 2 ? 0.66 : 0.95;
            expectReadablePages(job(), numbered);
        }
    }
}

} // namespace
} // namespace reedtab
