#include "view/reedtabview.h"

#include "viewfixture.h"

#include "document/documentui.h"
#include "document/playercontrol.h"
#include "document/reedtabdoc.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"
#include "settings/settings.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace reedtab {
namespace {

// Records the keys that the view passes on, as the main frame would receive them.
class KeyRecorder : public QWidget {
public:
    std::vector<int> pressed;
    std::vector<int> released;

protected:
    void keyPressEvent(QKeyEvent* e) override { pressed.push_back(e->key()); }
    void keyReleaseEvent(QKeyEvent* e) override { released.push_back(e->key()); }
};

TEST_F(ViewTest, NotesLieWhereTheGeometryPutsThem) {
    MidiEvent* c = addNote(0, 60, 480, 480);
    MidiEvent* g = addNote(0, 67, 960, 240);
    CReedtabView& v = makeView();
    const ViewLayout& l = v.layout();
    EXPECT_EQ(l.right, v.viewport()->width());
    EXPECT_EQ(l.bottom, v.viewport()->height());
    ASSERT_GT(l.textHeight, 0) << "the first paint measures the font";

    const PixelRect cBar = v.noteRect(*c);
    EXPECT_EQ(cBar.left, 45 + 72);
    EXPECT_EQ(cBar.right, 45 + 144);
    EXPECT_EQ(cBar.top, l.middleY + 2 * l.stepHeight - l.textHeight / 2);
    const PixelRect gBar = v.noteRect(*g);
    EXPECT_EQ(gBar.left, 45 + 144);
    EXPECT_EQ(gBar.right, 45 + 144 + 36);
    EXPECT_EQ(gBar.top, cBar.top - 4 * l.stepHeight) << "G is four steps above C";

    const QImage image = v.canvas();
    const QColor track0 = rgb(options.colorNormal1);
    EXPECT_EQ(image.pixelColor(cBar.right - 3, cBar.bottom - 2), track0);
    EXPECT_EQ(image.pixelColor(cBar.left, cBar.top), QColor(96, 96, 96)) << "outline";
    EXPECT_EQ(image.pixelColor(cBar.left - 1, cBar.bottom - 2), QColor(255, 255, 255));
    EXPECT_EQ(v.pitchAtY(cBar.top), 60);
    EXPECT_EQ(v.pitchAtY(gBar.top), 67);
}

TEST_F(ViewTest, ASongEndingAtTickTwoBillionDrawsItsLastBarWhereItIs) {
    addNote(0, 60, 0, 480);
    const std::int32_t last = 2'000'000'000 - 480;
    MidiEvent* end = addNote(0, 64, last, 240);
    player.tick = last;
    CReedtabView& v = makeView();
    // Four bars of 1920 ticks before the note's; bar lookups, not a walk of a million bars.
    const SongWindow& window = v.songWindow();
    EXPECT_LE(window.firstTick, last);
    EXPECT_GT(window.lastTick, last);
    const int lastButOne = static_cast<int>(song().barTable.size()) - 2;
    EXPECT_EQ(window.firstVisibleBar, std::min((window.firstTick - 1) / 1920, lastButOne));
    EXPECT_GT(window.firstVisibleBar, 1'000'000);
    const PixelRect bar = v.noteRect(*end);
    EXPECT_EQ(v.canvas().pixelColor(bar.right - 3, bar.bottom - 2), rgb(options.colorNormal1));
}

TEST_F(ViewTest, TrackColoursTechniqueColoursAndPlayedNotes) {
    options.tabMode = 1; // diatonic tablature, C Richter
    const int second = addTrack();
    MidiEvent* blow = addNote(0, 64, 0, 480);   // +2
    MidiEvent* draw = addNote(0, 67, 480, 480); // -2
    MidiEvent* other = addNote(second, 62, 960, 480);
    MidiEvent* outside = addNote(0, 40, 1440, 480); // below the harmonica
    CReedtabView& v = makeView();
    QImage image = v.canvas();
    const auto fillOf = [&](const MidiEvent* e) {
        const PixelRect r = v.noteRect(*e);
        return image.pixelColor(r.right - 3, r.bottom - 2);
    };
    EXPECT_EQ(fillOf(blow), rgb(options.colorBlow));
    EXPECT_EQ(fillOf(draw), rgb(options.colorDraw));
    EXPECT_EQ(fillOf(outside), rgb(options.colorDimmed));

    options.tabMode = 0; // note names carry no technique colour: the track's shade shows
    image = paint();
    EXPECT_EQ(fillOf(blow), rgb(options.colorNormal1));
    const std::uint32_t shade1 =
        trackColour(1, static_cast<std::uint32_t>(options.colorNormal1.stored()),
                    static_cast<std::uint32_t>(options.colorNormal2.stored()));
    EXPECT_EQ(fillOf(other),
              QColor(static_cast<int>(shade1 & 0xFF), static_cast<int>((shade1 >> 8) & 0xFF),
                     static_cast<int>(shade1 >> 16)));

    song().tracks[second]->flags |= TrackSelected;
    player.playing = true;
    player.next = indexOf(draw) + 1;
    image = paint();
    EXPECT_EQ(fillOf(blow), rgb(options.colorPlayed));
    EXPECT_EQ(fillOf(draw), rgb(options.colorPlayed));
    EXPECT_EQ(fillOf(other), rgb(options.colorSelect));
    player.next = -1;
    player.tick = 1000;
    image = paint();
    EXPECT_EQ(fillOf(other), rgb(options.colorPlaySel)) << "started before the play position";
    EXPECT_EQ(fillOf(outside), rgb(options.colorNormal1));
}

TEST_F(ViewTest, HiddenTracksAreSkippedUnlessSelected) {
    const int second = addTrack();
    MidiEvent* note = addNote(second, 72, 480, 480);
    song().tracks[second]->flags = 0;
    CReedtabView& v = makeView();
    const PixelRect r = v.noteRect(*note);
    EXPECT_EQ(v.canvas().pixelColor(r.right - 3, r.bottom - 2), QColor(255, 255, 255));
    song().tracks[second]->flags = TrackSelected;
    EXPECT_EQ(paint().pixelColor(r.right - 3, r.bottom - 2), rgb(options.colorSelect));
}

TEST_F(ViewTest, RedrawNoteRecoloursOneNoteWithABlackOutline) {
    MidiEvent* first = addNote(0, 60, 0, 480);
    MidiEvent* second = addNote(0, 62, 480, 480);
    CReedtabView& v = makeView();
    v.redrawNote(indexOf(first), options.colorPlayed);
    const QImage& image = v.canvas();
    const PixelRect a = v.noteRect(*first);
    const PixelRect b = v.noteRect(*second);
    EXPECT_EQ(image.pixelColor(a.right - 3, a.bottom - 2), rgb(options.colorPlayed));
    EXPECT_EQ(image.pixelColor(a.right - 1, a.bottom - 1), QColor(0, 0, 0));
    EXPECT_EQ(image.pixelColor(b.right - 3, b.bottom - 2), rgb(options.colorNormal1))
        << "the other note keeps its colour";
    const int pitchWheel = indexOf(first) + 1;
    v.redrawNote(pitchWheel, options.colorPlayed); // a note-off: nothing to draw, no crash
    v.redrawNote(-1, options.colorPlayed);
    v.redrawNote(100000, options.colorPlayed);
}

TEST_F(ViewTest, PitchBendsDrawARedLineFromTheNote) {
    MidiEvent* note = addNote(0, 67, 0, 4 * 480);
    song().addEvent(480, 0, makeChannelEvent(0xE0, 0, 64));  // centre
    song().addEvent(960, 0, makeChannelEvent(0xE0, 0, 96));  // +4096: half a text height up
    song().addEvent(1440, 0, makeChannelEvent(0xE1, 0, 96)); // another channel: no line
    CReedtabView& v = makeView();
    const PixelRect bar = v.noteRect(*note);
    const int yMid = (bar.top + bar.bottom) / 2;
    const int rise = 4096 * v.layout().textHeight / 8192;
    const QColor red(255, 0, 0);
    const auto redNear = [&](const QImage& image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy) {
            if (image.pixelColor(x, y + dy) == red) {
                return true;
            }
        }
        return false;
    };
    QImage image = v.canvas();
    EXPECT_TRUE(redNear(image, 45 + 72 + 2, yMid));
    EXPECT_TRUE(redNear(image, 45 + 144 - 2, yMid - rise));
    EXPECT_FALSE(redNear(image, 45 + 3 * 72 + 20, yMid - rise)) << "other channel";
    options.showPitchBends = false;
    image = paint();
    EXPECT_FALSE(redNear(image, 45 + 72 + 36, yMid - rise / 2));

    // During playback the frame draws each bend as it is reached.
    options.showPitchBends = true;
    v.scrollVertically(VScroll::LineUp);
    image = paint();
    const int shifted = yMid + v.layout().stepHeight;
    ASSERT_TRUE(redNear(image, 45 + 72 + 36, shifted - rise / 2));
    v.scrollVertically(VScroll::ThumbTrack, 70 - 37);
    image = paint();
    EXPECT_FALSE(redNear(image, 45 + 72 + 36, yMid - rise / 2)) << "not while tracking a thumb";
    v.scrollVertically(VScroll::ThumbPosition, 70 - 37);
    image = paint();
    EXPECT_TRUE(redNear(image, 45 + 72 + 36, yMid - rise / 2));
    v.redrawBend(indexOf(note) + 1);
    v.redrawBend(-5);
}

TEST_F(ViewTest, AccidentalsMoveOnlyWithTheOffsetOption) {
    MidiEvent* c = addNote(0, 60, 0, 480);
    MidiEvent* cSharp = addNote(0, 61, 480, 480);
    CReedtabView& v = makeView();
    EXPECT_EQ(v.noteRect(*cSharp).top, v.noteRect(*c).top);
    options.offsetsharpsflats = true;
    EXPECT_EQ(v.noteRect(*cSharp).top, v.noteRect(*c).top - v.layout().stepHeight / 2);
    options.offsetsharpsflats = false;
    options.tabMode = 3;
    const int dTop = v.noteRect(*c).top;
    options.tabMode = 0;
    EXPECT_EQ(dTop, v.noteRect(*c).top - v.layout().stepHeight) << "B-flat: C shown as D";
}

TEST_F(ViewTest, NoteFlagsFollowVelocityDurationAndDrumOption) {
    MidiEvent* note = addNote(0, 60, 0, 480);
    MidiEvent* drum = addNote(0, 38, 0, 240, 9);
    MidiEvent* zero = addNote(0, 62, 480, 0);
    song().addEvent(960, 0, makeChannelEvent(0x90, 64, 0));
    CReedtabView& v = makeView();
    EXPECT_EQ(note->isNote, 1);
    EXPECT_EQ(drum->isNote, 0);
    EXPECT_EQ(zero->isNote, 0);
    for (const auto& e : song().tracks[0]->events) {
        if (e->kind() == KindNoteOn && e->data2 == 0) {
            EXPECT_EQ(e->isNote, 0);
        }
        if (e->kind() != KindNoteOn) {
            EXPECT_EQ(e->isNote, 0);
        }
    }
    options.showDrumsNotes = true;
    v.refreshNoteFlags();
    EXPECT_EQ(drum->isNote, 1);
}

TEST_F(ViewTest, DrumNotesMarkTheDrumRowAndOptionallyTheStaff) {
    MidiEvent* drum = addNote(0, 38, 480, 480, 9);
    CReedtabView& v = makeView();
    const int x = 45 + 72;
    const auto darkInDrumRow = [&](const QImage& image) {
        for (int y = 7; y <= 12; ++y) {
            for (int dx = -2; dx <= 2; ++dx) {
                if (image.pixelColor(x + dx, y) == QColor(0, 0, 0)) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(darkInDrumRow(v.canvas()));
    const PixelRect r = v.noteRect(*drum);
    const int yMid = (r.top + r.bottom) / 2;
    EXPECT_EQ(v.canvas().pixelColor(r.left + 20, yMid), QColor(255, 255, 255))
        << "no marker on the staff while drum notes are off";
    options.showDrumsNotes = true;
    v.refreshNoteFlags();
    const QImage image = paint();
    EXPECT_TRUE(darkInDrumRow(image));
    EXPECT_EQ(image.pixelColor(r.left + 20, yMid), QColor(96, 96, 96)) << "thin marker bar";
    EXPECT_EQ(image.pixelColor(r.left + 20, r.top + 1), QColor(255, 255, 255))
        << "a drum marker is not a full bar";
}

TEST_F(ViewTest, ProgressStripAndPlayLine) {
    addNote(0, 60, 0, 4 * 480);
    player.tick = 480;
    CReedtabView& v = makeView();
    const QImage& image = v.canvas();
    EXPECT_EQ(image.pixelColor(60, 3), rgb(options.colorPlayed));
    EXPECT_EQ(image.pixelColor(116, 3), rgb(options.colorPlayed));
    EXPECT_EQ(image.pixelColor(118, 3), rgb(options.colorNormal1));
    // The stopped play position is a dotted green line through the staff.
    int green = 0;
    for (int y = 20; y < v.layout().staffBottom; ++y) {
        if (image.pixelColor(117, y) == QColor(0, 192, 64)) {
            ++green;
        }
    }
    EXPECT_GT(green, 10);
    player.playing = true;
    const QImage playing = paint();
    EXPECT_NE(playing.pixelColor(117, 30), QColor(0, 192, 64)) << "no line while playing";
    v.redrawProgress(960);
    EXPECT_EQ(v.canvas().pixelColor(150, 3), rgb(options.colorPlayed));
}

// Each mark is a solid two-pixel line with a flag in the strip above the staff, pointing into
// the range, and the range is tinted behind the notes.
TEST_F(ViewTest, MarksAreSolidLinesWithFlagsOverATintedRange) {
    addNote(0, 60, 0, 8 * 480);
    doc.markBegin = 480;
    doc.markEnd = 1440;
    CReedtabView& v = makeView();
    const QImage image = v.canvas();
    const ViewLayout& l = v.layout();
    const QColor violet(64, 0, 192);
    const QColor white(255, 255, 255);
    const int begin = 45 + 72;
    const int end = 45 + 3 * 72;
    const auto violetRun = [&](int x) {
        int run = 0;
        for (int y = l.staffTop; y < l.staffBottom; ++y) {
            run += image.pixelColor(x, y) == violet ? 1 : 0;
        }
        return run;
    };
    const int staffHeight = l.staffBottom - l.staffTop;
    for (int x : {begin, begin + 1, end - 1, end}) {
        EXPECT_GT(violetRun(x), staffHeight * 3 / 4) << "a solid line at x " << x;
    }
    EXPECT_LT(violetRun(begin - 1), staffHeight / 4);
    EXPECT_LT(violetRun(end + 1), staffHeight / 4);

    const int flagY = (kTopBandHeight + l.staffTop) / 2;
    EXPECT_EQ(image.pixelColor(begin + 4, flagY), violet) << "the begin flag points right";
    EXPECT_NE(image.pixelColor(begin - 4, flagY), violet);
    EXPECT_EQ(image.pixelColor(end - 4, flagY), violet) << "the end flag points left";
    EXPECT_NE(image.pixelColor(end + 4, flagY), violet);

    // Staff lines and notes lie elsewhere: a spot on the empty staff just under the strip.
    const int y = l.staffTop + 3;
    const QColor tint = image.pixelColor(begin + 30, y);
    EXPECT_NE(tint, white) << "the range is tinted";
    EXPECT_GT(tint.blue(), tint.green()) << "in the marks' violet";
    EXPECT_GT(tint.lightness(), 200) << "lightly";
    EXPECT_EQ(image.pixelColor(begin - 30, y), white);
    EXPECT_EQ(image.pixelColor(end + 30, y), white);

    for (int tick = 0; tick < 960; tick += 120) {
        v.redrawProgress(tick);
    }
    EXPECT_EQ(v.canvas().pixelColor(begin + 30, y), tint)
        << "progress redraws while playing do not deepen the tint";

    doc.markEnd = -1;
    const QImage open = paint();
    EXPECT_EQ(open.pixelColor(l.right - 5, y), tint) << "an open range runs to the right edge";
    EXPECT_NE(open.pixelColor(end - 4, flagY), violet) << "no end flag";
}

// The view shows it has the keyboard focus with a frame in the palette's highlight.
TEST_F(ViewTest, AFrameShowsTheKeyboardFocus) {
    addNote(0, 60, 0, 8 * 480);
    CReedtabView& v = makeView();
    v.show();
    QApplication::setActiveWindow(&v);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&v));
    const QColor highlight = v.palette().color(QPalette::Highlight);
    const int middle = v.layout().bottom / 2;
    v.clearFocus();
    QImage image = v.canvas();
    EXPECT_NE(image.pixelColor(0, middle), highlight);
    EXPECT_NE(image.pixelColor(v.layout().right - 1, middle), highlight);
    v.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(v.hasFocus());
    image = v.canvas();
    for (const QPoint& at :
         {QPoint(0, middle), QPoint(1, middle), QPoint(v.layout().right - 1, middle),
          QPoint(300, v.layout().bottom - 1)}) {
        EXPECT_EQ(image.pixelColor(at), highlight) << at.x() << ", " << at.y();
    }
    v.clearFocus();
    EXPECT_NE(v.canvas().pixelColor(0, middle), highlight);
}

TEST_F(ViewTest, LyricsSkipLeadingSlashesAndTagLines) {
    addNote(0, 60, 0, 8 * 480);
    addLyric(0, 480, "\\/Hello");
    addLyric(0, 1440, "@T a title");
    CReedtabView& v = makeView();
    const QImage shown = v.canvas();
    const int top = v.layout().staffBottom + 1;
    const QRect firstText(117, top, 80, 16);
    const QRect tagText(45 + 3 * 72, top, 80, 16);

    ScriptedPlayer otherPlayer;
    CReedtabDoc plainDoc(ui, control);
    plainDoc.song.division = 480;
    plainDoc.song.tracks.push_back(std::make_unique<MidiTrack>());
    plainDoc.song.addEvent(0, 0, makeChannelEvent(0x90, 60, 100));
    plainDoc.song.addEvent(8 * 480, 0, makeChannelEvent(0x80, 60, 0));
    plainDoc.song.addEvent(480, 0, makeLyricEvent("Hello"));
    CReedtabView plain(plainDoc, otherPlayer, options, diatonic, chromatic);
    plain.resize(900, 420);
    plain.repaintView();
    plain.grab();
    EXPECT_EQ(shown.copy(firstText), plain.canvas().copy(firstText))
        << "slashes and backslashes are not drawn";

    int dark = 0;
    for (int x = tagText.left(); x < tagText.right(); ++x) {
        for (int y = tagText.top(); y < tagText.bottom(); ++y) {
            dark += shown.pixelColor(x, y).lightness() < 128;
        }
    }
    EXPECT_EQ(dark, 0) << "a text that begins with @ is not drawn";
    int helloDark = 0;
    for (int x = firstText.left(); x < firstText.right(); ++x) {
        for (int y = firstText.top(); y < firstText.bottom(); ++y) {
            helloDark += shown.pixelColor(x, y).lightness() < 128;
        }
    }
    EXPECT_GT(helloDark, 10);
}

TEST_F(ViewTest, NotesOffTheStaffRaiseTheArrows) {
    addNote(0, 120, 0, 480);
    addNote(0, 10, 480, 480);
    CReedtabView& v = makeView(900, 300);
    EXPECT_TRUE(v.layout().notesClippedAbove);
    EXPECT_TRUE(v.layout().notesClippedBelow);
    const QImage& image = v.canvas();
    int dark = 0;
    for (int x = 24; x < 40; ++x) {
        for (int y = v.layout().staffTop; y < v.layout().staffTop + 16; ++y) {
            dark += image.pixelColor(x, y).lightness() < 100;
        }
    }
    EXPECT_GT(dark, 20) << "the arrow for notes above";
}

TEST_F(ViewTest, ZoomCommandsSetTheScaleAndMeasureAgain) {
    MidiEvent* note = addNote(0, 60, 480, 480);
    CReedtabView& v = makeView();
    EXPECT_EQ(v.zoomIndex(), 3);
    EXPECT_EQ(v.pixelsPerBeat(), 72);
    EXPECT_TRUE(v.zoomCommand(165));
    EXPECT_EQ(v.pixelsPerBeat(), 90) << "150% is 90 pixels per beat";
    EXPECT_EQ(v.layout().textHeight, -1);
    paint();
    EXPECT_GT(v.layout().textHeight, 0);
    EXPECT_EQ(v.noteRect(*note).left, 45 + 90);
    EXPECT_TRUE(v.zoomCommand(163));
    EXPECT_TRUE(v.zoomCommand(kZoomInCommand));
    EXPECT_EQ(v.zoomIndex(), 5) << "nothing beyond 200%";
    EXPECT_TRUE(v.zoomCommand(230));
    EXPECT_EQ(v.pixelsPerBeat(), 18);
    EXPECT_TRUE(v.zoomCommand(kZoomOutCommand));
    EXPECT_EQ(v.zoomIndex(), 0);
    EXPECT_TRUE(v.zoomCommand(kZoomInCommand));
    EXPECT_EQ(v.pixelsPerBeat(), 36);
    EXPECT_FALSE(v.zoomCommand(12345));
    EXPECT_EQ(v.zoomIndex(), 1);
    const int ids[] = {230, 168, 167, 166, 165, 163};
    for (int i = 0; i < 6; ++i) {
        v.zoomCommand(ids[i]);
        EXPECT_EQ(v.pixelsPerBeat(), kZoomPixelsPerBeat[i]);
    }
}

TEST_F(ViewTest, FontAndStaffSpaceSettingsSizeTheStaff) {
    options.tabStaffSpace = 3;
    addNote(0, 60, 0, 480);
    CReedtabView& v = makeView();
    const int smallText = v.layout().textHeight;
    EXPECT_EQ(v.layout().stepHeight, smallText / 2 + 6);
    options.fontTab.height = -24;
    v.refreshFonts();
    EXPECT_EQ(v.layout().textHeight, -1) << "the layout is stale until the next paint";
    paint();
    EXPECT_GT(v.layout().textHeight, smallText + 8);
    EXPECT_EQ(v.layout().stepHeight, v.layout().textHeight / 2 + 6);
}

TEST_F(ViewTest, ClicksInTheBandSetTheMarks) {
    addNote(0, 60, 0, 16 * 480);
    CReedtabView& v = makeView();
    QSignalSpy marks(&v, &CReedtabView::marksChanged);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(117, 5));
    EXPECT_EQ(doc.markBegin, 480);
    EXPECT_EQ(doc.markEnd, -1);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(45 + 4 * 72, 5));
    EXPECT_EQ(doc.markBegin, 480);
    EXPECT_EQ(doc.markEnd, 4 * 480);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 5 * 72, 5));
    EXPECT_EQ(doc.markBegin, 5 * 480);
    EXPECT_EQ(doc.markEnd, -1) << "a begin mark after the end mark clears it";
    EXPECT_EQ(marks.count(), 3);

    doc.markBegin = -1;
    doc.markEnd = -1;
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(45 + 2 * 72, 5));
    EXPECT_EQ(doc.markBegin, 0) << "shift-click without a begin mark starts the range at 0";
    EXPECT_EQ(doc.markEnd, 2 * 480);
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, QPoint(45 + 72, 5));
    EXPECT_EQ(doc.markEnd, 480);
    EXPECT_EQ(doc.markBegin, 0);

    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 72 + 30, 5));
    EXPECT_EQ(doc.markBegin, 680) << "snapping off: the nearest tick";
    options.editSnap = true;
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 72 + 30, 5));
    EXPECT_EQ(doc.markBegin, 480) << "snapping on: the nearest beat, not the nearest twelfth";
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, QPoint(45 + 4 * 72 + 6, 5));
    EXPECT_EQ(doc.markEnd, 1920) << "40 ticks past bar 2";
    QTest::mouseClick(v.viewport(), Qt::RightButton, {}, QPoint(45 + 3 * 72 - 9, 5));
    EXPECT_EQ(doc.markEnd, 1440) << "the right button snaps as well";
    EXPECT_TRUE(player.seeks.empty()) << "marks do not move the play position";
}

// The whole band above the staff takes mark clicks, at least 20 pixels of it at every zoom;
// the staff below it does not.
TEST_F(ViewTest, TheMarkBandIsAFingerWideAtEveryZoom) {
    addNote(0, 60, 0, 16 * 480);
    CReedtabView& v = makeView();
    options.editSnap = true;
    for (int zoom = 0; zoom < static_cast<int>(kZoomPixelsPerBeat.size()); ++zoom) {
        v.setZoomIndex(zoom);
        paint();
        const int staffTop = v.layout().staffTop;
        EXPECT_GE(staffTop, 20) << "zoom " << zoom;
        const int beat = kZoomPixelsPerBeat[zoom];
        for (int y : {0, 7, staffTop / 2, staffTop}) {
            doc.markBegin = -1;
            QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 2 * beat + 2, y));
            EXPECT_EQ(doc.markBegin, 960) << "zoom " << zoom << ", y " << y;
        }
        doc.markBegin = -1;
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 2 * beat, staffTop + 1));
        EXPECT_EQ(doc.markBegin, -1) << "the staff is no part of the band";
    }
}

// 4/4, then 6/8 from bar 2: with snapping on, marks land on eighth-note beats there.
TEST_F(ViewTest, MarkClicksSnapToTheBeatsOfATimeSignatureChange) {
    song().addEvent(1920, 0, makeTimeSignatureEvent(6, 8));
    for (const auto& e : song().tracks[0]->events) {
        if (e->tick == 1920 && e->kind() == KindTimeSignature) {
            song().timeSignatureList.push_back(static_cast<TimeSignatureEvent*>(e.get()));
        }
    }
    addNote(0, 60, 0, 16 * 480);
    CReedtabView& v = makeView();
    ASSERT_EQ(song().barTable[2].startTick, 1920 + 1440);
    options.editSnap = true;
    const int bar2 = 45 + 4 * 72;
    const auto markAt = [&](int x) {
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(x, 15));
        return doc.markBegin;
    };
    EXPECT_EQ(markAt(bar2 + 19), 2160) << "127 ticks in: the second eighth";
    EXPECT_EQ(markAt(bar2 + 17), 1920) << "113 ticks in: the bar line";
    EXPECT_EQ(markAt(bar2 + 36 + 20), 2160 + 240) << "373 ticks in: the third eighth";
    EXPECT_EQ(markAt(45 + 7 * 72 - 4), 3360) << "just before the 6/8 bar line";
    EXPECT_EQ(markAt(bar2 - 20), 1920) << "the last quarter of bar 1 ends at bar 2";
    options.editSnap = false;
    EXPECT_EQ(markAt(bar2 + 17), 2033);
}

TEST_F(ViewTest, ClicksInAnEmptySongDoNothing) {
    CReedtabView& v = makeView();
    QSignalSpy marks(&v, &CReedtabView::marksChanged);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(117, 5));
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(117, v.layout().bottom - 5));
    EXPECT_EQ(doc.markBegin, -1);
    EXPECT_EQ(marks.count(), 0);
    EXPECT_TRUE(player.seeks.empty());
}

TEST_F(ViewTest, ClickOnTheTextLineSeeks) {
    addNote(0, 60, 0, 16 * 480);
    CReedtabView& v = makeView();
    QSignalSpy moved(&v, &CReedtabView::positionChanged);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(45 + 3 * 72, v.layout().bottom - 5));
    ASSERT_EQ(player.seeks.size(), 1u);
    EXPECT_EQ(player.seeks[0], 3 * 480);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved.at(0).at(0).toInt(), 3 * 480);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, QPoint(300, 100));
    EXPECT_EQ(player.seeks.size(), 1u) << "a click on the staff outside edit mode does nothing";
}

TEST_F(ViewTest, HorizontalScrollingMovesThePlayPosition) {
    addNote(0, 60, 0, 40 * 480);
    // 16 beats of 72 pixels and a bit: visibleTicks is 17 beats.
    CReedtabView& v = makeView(45 + 16 * 72 + 30 + 20, 400);
    ASSERT_EQ(v.visibleTicks(), 17 * 480);
    v.setScrollRange(song().length / 480);
    QSignalSpy moved(&v, &CReedtabView::positionChanged);
    v.horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(player.tick, 480) << "the scroll bar's line step is a beat";
    v.scrollHorizontally(HScroll::PageRight);
    EXPECT_EQ(player.tick, 13 * 480) << "a page of 12 beats";
    EXPECT_EQ(v.horizontalScrollBar()->value(), 13);
    v.scrollHorizontally(HScroll::PageLeft);
    v.scrollHorizontally(HScroll::LineLeft);
    v.scrollHorizontally(HScroll::LineLeft);
    EXPECT_EQ(player.tick, 0) << "never before the start";
    v.scrollHorizontally(HScroll::ThumbPosition, 100);
    EXPECT_EQ(player.tick, song().length) << "never past the end outside edit mode";
    EXPECT_EQ(moved.count(), 5);
    const std::size_t seeks = player.seeks.size();
    v.scrollHorizontally(HScroll::LineRight);
    EXPECT_EQ(player.seeks.size(), seeks) << "no seek when the position stays";

    player.playing = true;
    v.scrollHorizontally(HScroll::ThumbTrack, 2);
    EXPECT_EQ(player.tick, song().length) << "thumb tracking is ignored while playing";
    player.playing = false;
    v.scrollHorizontally(HScroll::ThumbTrack, 2);
    EXPECT_EQ(player.tick, 2 * 480);
    EXPECT_EQ(moved.count(), 5) << "thumb tracking does not tell the frame";

    options.editMode = true;
    v.scrollHorizontally(HScroll::ThumbPosition, 100);
    EXPECT_EQ(player.tick, 100 * 480) << "edit mode may go past the end";
    EXPECT_EQ(doc.cursorTick, 100 * 480) << "and the edit cursor follows";
}

TEST_F(ViewTest, ScrollingMovesTheWindowWithThePosition) {
    addNote(0, 60, 0, 40 * 480);
    CReedtabView& v = makeView(45 + 8 * 72 + 20, 400);
    EXPECT_EQ(v.firstTick(), 0);
    v.scrollHorizontally(HScroll::ThumbPosition, 20);
    EXPECT_EQ(v.firstTick(), 20 * 480) << "leaving the window jumps it to the position's beat";
    EXPECT_EQ(v.lastTick(), v.firstTick() + v.visibleTicks());
    v.scrollHorizontally(HScroll::LineLeft);
    EXPECT_EQ(v.firstTick(), 19 * 480);
}

TEST_F(ViewTest, PageTurnsWhileRunningTwoBeatsBeforeTheEdge) {
    addNote(0, 60, 0, 40 * 480);
    CReedtabView& v = makeView(45 + 8 * 72 + 20, 400); // 9 beats visible
    ASSERT_EQ(v.visibleTicks(), 9 * 480);
    player.playing = true;
    player.tick = 7 * 480;
    paint();
    EXPECT_EQ(v.firstTick(), 0);
    player.tick = 7 * 480 + 10;
    paint();
    EXPECT_EQ(v.firstTick(), 7 * 480);
    player.playing = false;
    player.tick = 15 * 480;
    paint();
    EXPECT_EQ(v.firstTick(), 7 * 480) << "stopped, inside the window";
    player.tick = 30 * 480 + 100;
    v.repaintView();
    EXPECT_EQ(v.firstTick(), 30 * 480) << "the window follows before the paint arrives";
}

TEST_F(ViewTest, WheelNotchesMoveAQuarterPage) {
    addNote(0, 60, 0, 40 * 480);
    CReedtabView& v = makeView(45 + 16 * 72 + 50, 400);
    ASSERT_EQ(v.visibleTicks(), 17 * 480);
    QSignalSpy moved(&v, &CReedtabView::positionChanged);
    player.tick = 10 * 480;
    QWheelEvent away(QPointF(200, 100), v.viewport()->mapToGlobal(QPointF(200, 100)), QPoint(),
                     QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(v.viewport(), &away);
    EXPECT_EQ(player.tick, 7 * 480) << "a notch away from the user moves back three beats";
    v.wheelBy(-240);
    EXPECT_EQ(player.tick, 13 * 480);
    v.wheelBy(-10000);
    EXPECT_EQ(player.tick, song().length);
    EXPECT_EQ(moved.count(), 3);
    v.wheelBy(-120);
    EXPECT_EQ(moved.count(), 4) << "the frame hears every wheel step";
    song().loading = true;
    v.wheelBy(120);
    EXPECT_EQ(player.tick, song().length) << "ignored while loading";
}

TEST_F(ViewTest, VerticalScrollingMovesTheCentreStep) {
    addNote(0, 60, 0, 480);
    CReedtabView& v = makeView();
    EXPECT_EQ(v.centreStep(), 37);
    EXPECT_EQ(v.verticalScrollBar()->value(), 70 - 37);
    v.scrollVertically(VScroll::LineUp);
    EXPECT_EQ(v.centreStep(), 38);
    v.scrollVertically(VScroll::PageDown);
    EXPECT_EQ(v.centreStep(), 31);
    v.scrollVertically(VScroll::ThumbPosition, 6);
    EXPECT_EQ(v.centreStep(), 64);
    v.scrollVertically(VScroll::PageUp);
    EXPECT_EQ(v.centreStep(), 67) << "page up from 64 stops at 67";
    EXPECT_EQ(v.verticalScrollBar()->value(), 3);
    v.scrollVertically(VScroll::Bottom);
    EXPECT_EQ(v.centreStep(), 3);
    v.scrollVertically(VScroll::LineDown);
    EXPECT_EQ(v.centreStep(), 3);
    v.scrollVertically(VScroll::Top);
    EXPECT_EQ(v.centreStep(), 67);
}

TEST_F(ViewTest, ArrowAndPageKeysScrollAndReachTheFrame) {
    addNote(0, 60, 0, 16 * 480);
    KeyRecorder frame;
    song().rebuildBars();
    CReedtabView v(doc, player, options, diatonic, chromatic, &frame);
    v.refreshNoteFlags();
    frame.resize(900, 420);
    v.resize(900, 420);
    QTest::keyClick(&v, Qt::Key_Right);
    EXPECT_EQ(player.tick, 480);
    QTest::keyClick(&v, Qt::Key_Left);
    EXPECT_EQ(player.tick, 0);
    QTest::keyClick(&v, Qt::Key_PageUp);
    EXPECT_EQ(v.centreStep(), 38);
    QTest::keyClick(&v, Qt::Key_PageDown);
    EXPECT_EQ(v.centreStep(), 37);
    QTest::keyClick(&v, Qt::Key_Space);
    const std::vector<int> expected{Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_PageDown,
                                    Qt::Key_Space};
    EXPECT_EQ(frame.pressed, expected);
    EXPECT_EQ(frame.released, expected);
}

TEST_F(ViewTest, CursorIsTheUpArrowOverTheBandAndTheTextLine) {
    addNote(0, 60, 0, 480);
    CReedtabView& v = makeView();
    const auto moveTo = [&](QPoint pos) {
        QMouseEvent move(QEvent::MouseMove, QPointF(pos), v.viewport()->mapToGlobal(QPointF(pos)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(v.viewport(), &move);
    };
    moveTo(QPoint(200, 5));
    EXPECT_EQ(v.viewport()->cursor().shape(), Qt::UpArrowCursor);
    moveTo(QPoint(200, 100));
    EXPECT_EQ(v.viewport()->cursor().shape(), Qt::ArrowCursor);
    moveTo(QPoint(200, v.layout().staffBottom + 8));
    EXPECT_EQ(v.viewport()->cursor().shape(), Qt::UpArrowCursor);
    moveTo(QPoint(20, 5));
    EXPECT_EQ(v.viewport()->cursor().shape(), Qt::ArrowCursor) << "left of the time area";
}

TEST_F(ViewTest, TinyAndEmptyViewsDrawSafely) {
    CReedtabView& v = makeView(30, 20);
    EXPECT_FALSE(v.canvas().isNull());
    v.resize(900, 400);
    paint();
    EXPECT_EQ(v.firstTick(), 0) << "an empty song never moves the window";
    player.tick = 50000;
    paint();
    EXPECT_EQ(v.firstTick(), 0);
    EXPECT_EQ(v.firstVisibleEvent(), -1);
}

TEST_F(ViewTest, SixEightBarsDrawEighthNoteBeats) {
    MidiEvent* note = addNote(0, 60, 0, 6 * 480);
    auto* sig = static_cast<TimeSignatureEvent*>(song().tracks[0]->events.front().get());
    sig->data[0] = 6;
    sig->data[1] = 3;
    CReedtabView& v = makeView();
    (void)note;
    const QImage& image = v.canvas();
    const int y = v.layout().staffTop + 3;
    EXPECT_EQ(image.pixelColor(45 + 36, y), QColor(224, 224, 224)) << "a beat every eighth";
    EXPECT_EQ(image.pixelColor(45 + 3 * 72, y), QColor(0, 0, 0)) << "the second bar's line";
}

TEST_F(ViewTest, LoadedSongIsDrawnWhereTheGeometryPutsItsNotes) {
    ASSERT_EQ(song().loadFile(REEDTAB_CORPUS_DIR "/songs/bach/bach_846.mid"), 0);
    options.tabMode = 1;
    CReedtabView& v = makeView(1280, 480);
    ASSERT_GE(v.firstVisibleEvent(), 0);
    const MergedEventList& list = song().mergedEvents;
    int checked = 0;
    for (int i = v.firstVisibleEvent(); i < list.count() && list[i]->tick < v.lastTick(); ++i) {
        const MidiEvent& e = *list[i];
        if (!e.isNote) {
            continue;
        }
        const PixelRect expected = noteRect(v.layout(), v.scale(), e.data1, e.tick, e.duration);
        ASSERT_EQ(v.noteRect(e), expected);
        EXPECT_EQ(expected.left, 45 + static_cast<int>(e.tick * 72.0 / song().division + 0.5));
        if (expected.right - expected.left > 12 && expected.top > v.layout().staffTop) {
            const QColor fill = v.canvas().pixelColor(expected.right - 2, expected.bottom - 2);
            EXPECT_NE(fill, QColor(255, 255, 255)) << "note " << e.data1 << " at " << e.tick;
            ++checked;
        }
    }
    EXPECT_GT(checked, 20);
}

// Renders the example songs for a person to look at.
TEST_F(ViewTest, ScreenshotsOfExampleSongs) {
    const QString out = QStringLiteral(REEDTAB_BINARY_DIR "/screenshots");
    QDir().mkpath(out);
    int written = 0;
    const std::string files[] = {std::string(REEDTAB_SOURCE_DIR) + "/examples/oh-susanna.mid",
                                 std::string(REEDTAB_SOURCE_DIR) + "/examples/saints.mid",
                                 std::string(REEDTAB_SOURCE_DIR) + "/examples/amazing-grace.kar",
                                 std::string(REEDTAB_CORPUS_DIR) + "/songs/bach/bach_846.mid",
                                 std::string(REEDTAB_CORPUS_DIR) + "/choral-karaoke/twinkle.kar",
                                 std::string(REEDTAB_CORPUS_DIR) + "/songs/pitchBendTest.mid"};
    for (int mode : {1, 2}) {
        for (const std::string& file : files) {
            CReedtabDoc songDoc(ui, control);
            if (songDoc.song.loadFile(file) != 0) {
                continue;
            }
            options.tabMode = mode;
            ScriptedPlayer at;
            CReedtabView shot(songDoc, at, options, diatonic, chromatic);
            shot.refreshNoteFlags();
            shot.resize(1280, 480);
            const QImage image = shot.grab().toImage();
            const QString name = QString::fromStdString(file).section('/', -1).section('.', 0, 0);
            ASSERT_TRUE(
                image.save(out + "/" + name + (mode == 1 ? "-diatonic" : "-chromatic") + ".png"));
            ++written;
        }
    }
    if (written == 0) {
        GTEST_SKIP() << "no example songs found";
    }
}

} // namespace
} // namespace reedtab
