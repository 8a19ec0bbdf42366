// Labels on the staff stay readable at every zoom: no text is drawn over another, bend lines
// run around the labels, an accidental makes way for its neighbour's label, a crowded word of
// the text line is cut short or left out, and the playback redraws put the labels back where
// the paint had them.

#include "view/songpainter.h"

#include "labelcheck.h"
#include "paintrecorder.h"
#include "viewfixture.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace reedtab {
namespace {

class LabelsTest : public ViewTest {
protected:
    // Zooms and lays the view out for it (the next paint measures the font again).
    void zoom(int index) {
        view->setZoomIndex(index);
        paint();
        ASSERT_GT(view->layout().textHeight, 0);
    }

    // One full paint of the view as it stands, recorded.
    std::vector<DrawnItem> record() {
        PaintRecorder recorder(view->viewport()->width(), view->viewport()->height());
        QPainter p(&recorder);
        lastOutcome = view->painter().paint(p, view->songPaint());
        p.end();
        return recorder.items();
    }

    // The texts shown in the time area (the key and time signature heading the window left
    // out, unless `headings`).
    std::vector<const DrawnItem*> textsOf(const std::vector<DrawnItem>& items, const QString& text,
                                          bool headings = false) const {
        std::vector<const DrawnItem*> found;
        for (const DrawnItem& item : items) {
            if (item.kind == DrawnItem::Kind::Text && item.text == text &&
                !item.visibleInk.isEmpty() &&
                (headings || item.bounds.left() >= view->layout().timeLeft)) {
                found.push_back(&item);
            }
        }
        return found;
    }

    static int bendLines(const std::vector<DrawnItem>& items) {
        return static_cast<int>(std::count_if(items.begin(), items.end(), [](const DrawnItem& i) {
            return i.kind == DrawnItem::Kind::Line && i.colour == kBendLineColour &&
                   !i.visible.isEmpty();
        }));
    }

    static void expectReadable(const std::vector<DrawnItem>& items) {
        for (const std::string& fault : labelFaults(items)) {
            ADD_FAILURE() << fault;
        }
    }

    PaintOutcome lastOutcome;
};

TEST_F(LabelsTest, AnAccidentalMakesWayForTheLabelOfTheNoteAbove) {
    // E flat and the F a step above it, sounding together; a lone B flat later.
    MidiEvent* flat = addNote(0, 63, 480, 960);
    addNote(0, 65, 480, 960);
    MidiEvent* lone = addNote(0, 70, 2400, 480);
    CReedtabView& v = makeView(900, 420);
    const std::vector<DrawnItem> items = record();
    expectReadable(items);

    const PixelRect flatBar = v.noteRect(*flat);
    const PixelRect loneBar = v.noteRect(*lone);
    ASSERT_EQ(textsOf(items, "F").size(), 1u);
    ASSERT_EQ(textsOf(items, "Eb").size(), 1u);
    ASSERT_EQ(textsOf(items, "Bb").size(), 1u);
    const std::vector<const DrawnItem*> flats = textsOf(items, "b");
    ASSERT_EQ(flats.size(), 2u) << "both accidentals are drawn";
    const auto at = [&flats](const PixelRect& bar) {
        return *std::find_if(flats.begin(), flats.end(), [&bar](const DrawnItem* item) {
            return std::abs(item->bounds.center().x() - bar.left) < 20;
        });
    };
    const DrawnItem* moved = at(flatBar);
    EXPECT_LE(moved->visibleInk.right(), flatBar.left) << "left of its bar";
    EXPECT_GT(moved->visibleInk.bottom(), flatBar.top) << "on its label's row";
    const DrawnItem* above = at(loneBar);
    EXPECT_LE(above->visibleInk.bottom(), loneBar.top + 1) << "a free accidental stays above";
    EXPECT_GE(above->visibleInk.left(), loneBar.left);
}

TEST_F(LabelsTest, NotesOnOneStepShareTheBarAndAnUnisonShowsOneLabel) {
    // C and C sharp on the same staff step, long enough for both labels; a second track
    // doubling the C; two short notes on one step whose labels cannot both fit.
    MidiEvent* c = addNote(0, 60, 480, 1920);
    MidiEvent* cSharp = addNote(0, 61, 480, 1920);
    const int second = addTrack();
    addNote(second, 60, 480, 1920);
    addNote(0, 65, 2880, 10);
    addNote(0, 66, 2890, 10);
    CReedtabView& v = makeView(900, 420);
    const std::vector<DrawnItem> items = record();
    expectReadable(items);

    ASSERT_EQ(textsOf(items, "C").size(), 1u) << "the unison's twin goes without";
    ASSERT_EQ(textsOf(items, "C#").size(), 1u);
    const DrawnItem* first = textsOf(items, "C")[0];
    const DrawnItem* moved = textsOf(items, "C#")[0];
    const PixelRect bar = v.noteRect(*c);
    EXPECT_EQ(v.noteRect(*cSharp).top, bar.top);
    EXPECT_LT(first->visibleInk.left(), bar.left + 6) << "the first keeps the bar's start";
    EXPECT_GT(moved->visibleInk.left(), first->visibleInk.right()) << "moved along the bar";
    EXPECT_LE(moved->visibleInk.right(), bar.right);
    EXPECT_EQ(textsOf(items, "F").size(), 1u) << "of two labels with no room for both, the first";
    EXPECT_TRUE(textsOf(items, "F#").empty());
}

TEST_F(LabelsTest, ABendLineRunsAroundTheLabelsItMeets) {
    // A bend that starts just after its note: the line begins over the note's label.
    MidiEvent* note = addNote(0, 64, 480, 1440);
    for (int k = 0; k <= 12; ++k) {
        song().addEvent(490 + 60 * k, 0, makeChannelEvent(0xE0, 0, 64 + 5 * k));
    }
    options.showPitchBends = true;
    CReedtabView& v = makeView(900, 420);
    const std::vector<DrawnItem> items = record();
    expectReadable(items);
    ASSERT_EQ(textsOf(items, "E").size(), 1u);
    const QRectF label = textsOf(items, "E")[0]->visibleInk;
    EXPECT_GT(bendLines(items), 3) << "the line is still drawn past the label";
    const auto rightOfLabel = std::count_if(items.begin(), items.end(), [&](const DrawnItem& i) {
        return i.kind == DrawnItem::Kind::Line && i.colour == kBendLineColour &&
               i.line.x1() > label.right() && i.line.x2() > label.right();
    });
    EXPECT_GT(rightOfLabel, 0);
    EXPECT_LT(v.noteRect(*note).left, label.left());

    // The bends again as playback draws them, one by one after the full paint.
    PaintRecorder recorder(900, 420);
    QPainter p(&recorder);
    BendTrail trail;
    for (int i = 0; i < song().mergedEvents.count(); ++i) {
        if (song().mergedEvents[i]->kind() == KindPitchWheel) {
            v.painter().paintBend(p, v.songPaint(), lastOutcome.labels, i, trail);
        }
    }
    p.end();
    std::vector<DrawnItem> redrawn = recorder.items();
    EXPECT_GT(bendLines(redrawn), 3);
    redrawn.push_back(*textsOf(items, "E")[0]);
    expectReadable(redrawn);
}

TEST_F(LabelsTest, APlayedNoteBringsBackTheLabelsItsBarCovers) {
    MidiEvent* flat = addNote(0, 63, 480, 960);
    addNote(0, 65, 480, 960);
    CReedtabView& v = makeView(900, 420);
    const std::vector<DrawnItem> full = record();
    const std::vector<const DrawnItem*> before = textsOf(full, "b");
    ASSERT_EQ(before.size(), 1u);

    PaintRecorder recorder(900, 420);
    QPainter p(&recorder);
    const PixelRect area = v.painter().paintPlayedNote(p, v.songPaint(), lastOutcome.labels,
                                                       indexOf(flat), QColor(Qt::red));
    p.end();
    EXPECT_EQ(area, v.painter().playedNoteArea(v.songPaint(), lastOutcome.labels, indexOf(flat)));
    const std::vector<DrawnItem>& redrawn = recorder.items();
    const std::vector<const DrawnItem*> after = textsOf(redrawn, "b");
    ASSERT_EQ(after.size(), 1u) << "the accidental, where the paint put it";
    EXPECT_EQ(after[0]->bounds, before[0]->bounds);
    EXPECT_EQ(textsOf(redrawn, "Eb").size(), 1u);
    EXPECT_EQ(textsOf(redrawn, "F").size(), 1u) << "the F above, which the red bar covered";
    const QRectF touched(area.left, area.top, area.right - area.left, area.bottom - area.top);
    for (const DrawnItem& item : redrawn) {
        EXPECT_TRUE(item.visible.isEmpty() || touched.contains(item.visible))
            << item.text.toStdString() << " drawn outside the area reported";
    }
}

TEST_F(LabelsTest, CrowdedWordsAreCutShortOrLeftOut) {
    // At 25 % a beat is 18 pixels: "wonderful" has three beats before "world", "a" no room at
    // all before "lovely"; "day" is the last word and runs on.
    addNote(0, 60, 0, 6000);
    addLyric(0, 0, "what");
    addLyric(0, 960, "a");
    addLyric(0, 970, "lovely");
    addLyric(0, 2880, "wonderful");
    addLyric(0, 4320, "world");
    addLyric(0, 5400, "day");
    makeView(900, 420);
    zoom(0);
    std::vector<DrawnItem> items = record();
    expectReadable(items);
    EXPECT_EQ(textsOf(items, "what").size(), 1u);
    EXPECT_TRUE(textsOf(items, "a").empty());
    EXPECT_EQ(textsOf(items, "lovely").size(), 1u);
    EXPECT_EQ(textsOf(items, "world").size(), 1u);
    EXPECT_EQ(textsOf(items, "day").size(), 1u);
    const auto cut = std::find_if(items.begin(), items.end(), [](const DrawnItem& item) {
        return item.kind == DrawnItem::Kind::Text && item.text.startsWith("wo") &&
               item.text.endsWith(QChar(0x2026));
    });
    ASSERT_NE(cut, items.end()) << "\"wonderful\" cut short";
    EXPECT_LT(cut->text.size(), 9);

    // At 100 % every word but "a" has room.
    zoom(3);
    items = record();
    expectReadable(items);
    EXPECT_TRUE(textsOf(items, "a").empty());
    for (const char* word : {"what", "lovely", "wonderful", "world", "day"}) {
        EXPECT_EQ(textsOf(items, word).size(), 1u) << word;
    }
}

TEST_F(LabelsTest, BarNumbersNarrowerThanTheirBarsAreLeftOutButNotTheTimeSignatures) {
    // Bars of one eighth at 25 % are 9 pixels wide, narrower than "12"; a change to 3/4 at
    // bar 30 must still be shown.
    const std::uint8_t oneEighth[] = {1, 3, 24, 8};
    song().timeSignatureList[0]->setData(oneEighth, 4);
    song().addEvent(29 * 240, 0, makeTimeSignatureEvent(3, 4));
    for (const auto& e : song().tracks[0]->events) {
        if (e->tick == 29 * 240 && e->kind() == KindTimeSignature) {
            song().timeSignatureList.push_back(static_cast<TimeSignatureEvent*>(e.get()));
        }
    }
    addNote(0, 60, 0, 29 * 240 + 5 * 1440);
    song().length = 29 * 240 + 5 * 1440;
    makeView(900, 420);
    zoom(0);
    const std::vector<DrawnItem> items = record();
    expectReadable(items);
    EXPECT_EQ(textsOf(items, "1/8", true).size(), 1u);
    EXPECT_EQ(textsOf(items, "3/4").size(), 1u);
    int numbers = 0;
    for (int bar = 2; bar <= 29; ++bar) {
        numbers += static_cast<int>(textsOf(items, QString::number(bar)).size());
    }
    EXPECT_GT(numbers, 5) << "every few bars numbered";
    EXPECT_LT(numbers, 28) << "not every bar: the numbers would overlap";
}

} // namespace
} // namespace reedtab

namespace reedtab {
namespace {

// Whole songs paged through window by window at each zoom: the three examples (Amazing Grace
// with its lyrics), a jazz tune whose solo bends, and a dense twelve-part orchestral movement,
// in the note-name, diatonic and chromatic modes. Besides no fault, most notes keep their
// labels (a note doubling another is named by its twin's), every word shows from 50 % on and
// half of them at 25 %, and the bends are drawn.
TEST_F(LabelsTest, EveryWindowOfTheExamplesAndOfDenseSongsIsReadableAtEveryZoom) {
    struct Case {
        std::string path;
        int tabMode;
        double labelledAt25; // share of the notes labelled at 25 %
        double labelledFrom50;
    };
    const std::string examples = std::string(REEDTAB_SOURCE_DIR) + "/examples/";
    const std::string corpus = std::string(REEDTAB_CORPUS_DIR) + "/";
    const Case cases[] = {
        {examples + "oh-susanna.mid", 0, 0.85, 1.0},
        {examples + "amazing-grace.kar", 0, 1.0, 1.0},
        {examples + "saints.mid", 2, 1.0, 1.0},
        {corpus + "mma/frankie.mid", 0, 0.9, 0.99},
        {corpus + "songs/beethoven/symphony_7_2.mid", 1, 0.75, 0.9},
    };
    options.showPitchBends = true;
    for (const Case& c : cases) {
        ASSERT_EQ(song().loadFile(c.path), LoadOk) << c.path;
        options.tabMode = c.tabMode;
        CReedtabView& v = makeView(1400, 900);
        const bool bending = c.path.find("frankie") != std::string::npos;
        std::array<int, 6> words{};
        for (int index = 0; index < 6; ++index) {
            SCOPED_TRACE(c.path + " zoom " + std::to_string(index));
            zoom(index);
            int labelled = 0;
            int notes = 0;
            int bends = 0;
            std::size_t faults = 0;
            for (std::int32_t tick = 0; faults < 10;) {
                player.tick = tick;
                v.repaintView();
                const std::vector<DrawnItem> items = record();
                for (const std::string& fault : labelFaults(items, 10 - faults)) {
                    ADD_FAILURE() << "window from tick " << v.firstTick() << ": " << fault;
                    ++faults;
                }
                for (const PlacedNoteLabel& placed : lastOutcome.labels.notes) {
                    ++notes;
                    labelled += placed.textShown || placed.twin ? 1 : 0;
                }
                words[index] += static_cast<int>(
                    std::count_if(items.begin(), items.end(), [&v](const DrawnItem& item) {
                        return item.kind == DrawnItem::Kind::Text && !item.visibleInk.isEmpty() &&
                               item.bounds.top() >= v.layout().staffBottom;
                    }));
                bends += bendLines(items);
                if (v.lastTick() >= song().length) {
                    break;
                }
                tick = v.lastTick();
            }
            ASSERT_GT(notes, 0);
            EXPECT_GE(labelled, (index == 0 ? c.labelledAt25 : c.labelledFrom50) * notes)
                << labelled << " of " << notes << " notes labelled";
            if (bending) {
                EXPECT_GT(bends, 0);
            }
        }
        for (int index = 1; index < 6; ++index) {
            EXPECT_EQ(words[index], words[3]) << c.path << " zoom " << index;
        }
        EXPECT_GE(2 * words[0], words[3]) << c.path;
    }
}

} // namespace
} // namespace reedtab
