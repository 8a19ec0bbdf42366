// The view in edit mode, driven by mouse and key events as the user gives them: selecting,
// dragging and stretching notes, writing them with the mouse, the rubber band and Delete.

#include "viewfixture.h"

#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "settings/settings.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace reedtab {
namespace {

// track, tick, key, channel, velocity, duration
using NoteRow = std::tuple<int, std::int32_t, int, int, int, std::int32_t>;

// Track 1 holds the notes the tests drag; track 0 is the conductor track. At 100% a beat is 72
// pixels from timeLeft 45, and 480 ticks.
class EditViewTest : public ViewTest {
protected:
    EditViewTest() {
        addTrack();
        options.editMode = true;
        doc.editTrack = 1;
    }

    std::vector<NoteRow> notes() {
        std::vector<NoteRow> rows;
        for (int t = 0; t < song().trackCount(); ++t) {
            for (const auto& e : song().tracks[static_cast<std::size_t>(t)]->events) {
                if (e->kind() == KindNoteOn && e->data2 > 0) {
                    rows.emplace_back(t, e->tick, e->data1, e->channel(), e->data2, e->duration);
                }
            }
        }
        return rows;
    }

    QWidget* surface() { return view->viewport(); }

    static QPoint middleOf(const PixelRect& r) {
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    void press(QPoint at, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(surface(), Qt::LeftButton, modifiers, at);
    }
    void moveTo(QPoint at, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseEvent(QTest::MouseMove, surface(), Qt::NoButton, modifiers, at);
    }
    void release(QPoint at) { QTest::mouseRelease(surface(), Qt::LeftButton, {}, at); }

    // Presses on the note's bar at `grip` pixels from its left edge and drags by (dx, dy).
    void drag(const MidiEvent* note, int dx, int dy, Qt::KeyboardModifiers modifiers = {},
              int grip = 10) {
        const PixelRect r = view->noteRect(*note);
        const QPoint from(r.left + grip, (r.top + r.bottom) / 2);
        press(from, modifiers);
        moveTo(from + QPoint(dx / 2, dy / 2), modifiers);
        moveTo(from + QPoint(dx, dy), modifiers);
        release(from + QPoint(dx, dy));
    }
};

TEST_F(EditViewTest, AClickSelectsANoteAndOnlyALoneNoteHasTheHandle) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    MidiEvent* b = addNote(1, 64, 1440, 480);
    CReedtabView& v = makeView();
    press(middleOf(v.noteRect(*a)));
    release(middleOf(v.noteRect(*a)));
    ASSERT_EQ(v.selectedNotes(), std::vector<MidiEvent*>{a});
    EXPECT_TRUE(v.selectionHasHandle());
    EXPECT_EQ(v.selectionFrame(0), v.noteRect(*a));

    QTest::mouseClick(surface(), Qt::LeftButton, Qt::ControlModifier, middleOf(v.noteRect(*b)));
    EXPECT_EQ(v.selectedNotes(), (std::vector<MidiEvent*>{a, b})) << "Control adds";
    EXPECT_FALSE(v.selectionHasHandle());

    QTest::mouseClick(surface(), Qt::LeftButton, {}, middleOf(v.noteRect(*b)));
    EXPECT_EQ(v.selectedNotes(), (std::vector<MidiEvent*>{a, b}))
        << "a click on a selected note grips the selection";
    QTest::mouseClick(surface(), Qt::LeftButton, {}, QPoint(600, v.layout().middleY));
    EXPECT_TRUE(v.selectedNotes().empty()) << "a click on empty staff drops it";
    EXPECT_TRUE(notes() ==
                (std::vector<NoteRow>{{1, 480, 60, 0, 100, 480}, {1, 1440, 64, 0, 100, 480}}));
    EXPECT_EQ(doc.undoType(), UndoNothing) << "selecting is no edit";

    QTest::mouseClick(surface(), Qt::LeftButton, {}, middleOf(v.noteRect(*a)));
    ASSERT_EQ(v.selectedNotes().size(), 1u);
    options.editMode = false;
    paint();
    EXPECT_TRUE(v.selectedNotes().empty()) << "there is no selection outside edit mode";
}

TEST_F(EditViewTest, DraggingALoneNoteMovesItByABeatAndAStepInOneUndoStep) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    const int step = v.layout().stepHeight;
    drag(a, 72, -step);
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 960, 62, 0, 100, 480}}));
    EXPECT_EQ(a->partner->tick, 1440);
    EXPECT_EQ(a->partner->data1, 62);
    EXPECT_EQ(v.selectedNotes(), std::vector<MidiEvent*>{a}) << "the note stays selected";
    EXPECT_EQ(v.selectionFrame(0), v.noteRect(*a)) << "and its frame follows it";
    EXPECT_EQ(doc.undoType(), UndoEdit);
    EXPECT_EQ(doc.history().undoCount(), 1u);
    EXPECT_TRUE(doc.isModified());

    drag(a, 72, 0);
    EXPECT_EQ(a->tick, 1440);
    EXPECT_EQ(doc.history().undoCount(), 2u) << "each drag is one step";
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 960, 62, 0, 100, 480}}))
        << "undo takes back the last drag";
}

TEST_F(EditViewTest, MovesSnapToTwelfthsOfABeatOnlyWithTheSnap) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    drag(a, 75, 0);
    EXPECT_EQ(a->tick, 980) << "75 pixels are 500 ticks";
    EXPECT_EQ(a->duration, 480);

    options.editSnap = true;
    drag(a, 75, 0);
    EXPECT_EQ(a->tick, 1480) << "the left edge lands on the 40-tick grid";
    EXPECT_EQ(a->partner->tick, 1960);
    EXPECT_EQ(v.selectionFrame(0), v.noteRect(*a));
}

TEST_F(EditViewTest, ShiftKeepsTheTimeAltThePitchAndNothingMovesBeforeTickZero) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    const int step = v.layout().stepHeight;
    drag(a, 100, -step, Qt::ShiftModifier);
    EXPECT_EQ(a->tick, 480);
    EXPECT_EQ(a->data1, 62);
    drag(a, 72, -step, Qt::AltModifier);
    EXPECT_EQ(a->tick, 960);
    EXPECT_EQ(a->data1, 62);

    drag(a, -400, 0);
    EXPECT_EQ(a->tick, 0) << "a drag stops at the start of the song";
    EXPECT_EQ(a->partner->tick, 480);
    EXPECT_EQ(v.noteRect(*a).left, v.layout().timeLeft);
}

TEST_F(EditViewTest, TheHandleStretchesTheNoteWithAndWithoutSnap) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    PixelRect r = v.noteRect(*a);
    QPoint handle(r.right, (r.top + r.bottom) / 2);
    press(handle);
    moveTo(handle + QPoint(36, 3));
    release(handle + QPoint(36, 3));
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 480, 60, 0, 100, 720}}))
        << "half a beat longer; the pitch stays";
    EXPECT_EQ(a->partner->tick, 1200);
    EXPECT_EQ(doc.history().undoCount(), 1u);

    options.editSnap = true;
    r = v.noteRect(*a);
    handle = QPoint(r.right, (r.top + r.bottom) / 2);
    press(handle);
    moveTo(handle + QPoint(40, 0));
    release(handle + QPoint(40, 0));
    EXPECT_EQ(a->tick + a->duration, 1480) << "the end lands on the 40-tick grid";
    EXPECT_EQ(a->partner->tick, 1480);
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 480, 60, 0, 100, 720}}));
}

TEST_F(EditViewTest, MouseWritingPutsTheGeometrysNoteOnTheEditTrackAndSoundsIt) {
    addNote(1, 72, 3840, 480);
    doc.mouseWrite = true;
    doc.editChannel = 3;
    doc.editVelocity = 77;
    CReedtabView& v = makeView();
    const ViewLayout& l = v.layout();
    const QPoint at(45 + 3 * 72, l.middleY + 3);
    const int key = v.pitchAtY(at.y() - l.textHeight / 2 + 1);
    press(at);
    EXPECT_EQ(doc.cursorTick, 1440) << "the edit cursor moves to the click";
    ASSERT_EQ(v.selectedNotes().size(), 1u) << "the new note is selected for stretching";
    EXPECT_TRUE(v.selectionHasHandle());
    moveTo(at + QPoint(72, 5));
    release(at + QPoint(72, 5));
    EXPECT_TRUE(notes() ==
                (std::vector<NoteRow>{{1, 1440, key, 3, 77, 480}, {1, 3840, 72, 0, 100, 480}}));
    EXPECT_EQ(v.selectedNotes().front()->partner->tick, 1920);
    EXPECT_EQ(v.selectedNotes().front()->isNote, 1);
    EXPECT_TRUE(player.sounded == (std::vector<ScriptedPlayer::Sound>{{3, key, 77}, {3, key, 0}}))
        << "the note sounds from the press to the release";
    EXPECT_EQ(doc.undoType(), UndoAddedNote);
    EXPECT_EQ(doc.history().undoCount(), 1u) << "writing and stretching are one step";

    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 3840, 72, 0, 100, 480}}));
    EXPECT_TRUE(v.selectedNotes().empty()) << "the frame went with its note";
}

// A click writes a note of the edit toolbar's value and length (here a quarter at 90%, 432
// ticks) at the snapped position: one undo step each.
TEST_F(EditViewTest, AClickWritesANoteOfTheChosenLengthAtTheSnappedPosition) {
    doc.mouseWrite = true;
    doc.soundingTicks = 432;
    options.editSnap = true;
    CReedtabView& v = makeView();
    const int y = v.layout().middleY;
    QTest::mouseClick(surface(), Qt::LeftButton, {}, QPoint(45 + 72 + 4, y));
    std::vector<NoteRow> written = notes();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(std::get<1>(written[0]), 520) << "4 pixels past the beat are 27 ticks: 40 snapped";
    EXPECT_EQ(std::get<5>(written[0]), 432);
    EXPECT_EQ(doc.cursorTick, 520);
    EXPECT_EQ(doc.history().undoCount(), 1u);
    EXPECT_EQ(doc.undoType(), UndoAddedNote);

    // An eighth at 50%, off the grid with snapping off; the hand shakes a little on the way.
    options.editSnap = false;
    doc.soundingTicks = 120;
    const QPoint at(45 + 5 * 72 + 4, y);
    press(at);
    moveTo(at + QPoint(QApplication::startDragDistance() - 1, 1));
    release(at + QPoint(QApplication::startDragDistance() - 1, 1));
    written = notes();
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(std::get<1>(written[1]), 2400 + 27);
    EXPECT_EQ(std::get<5>(written[1]), 120) << "a shaking hand is no drag";
    EXPECT_EQ(doc.history().undoCount(), 2u) << "one undo step a click";
    EXPECT_EQ(doc.undoType(), UndoAddedNote);

    ASSERT_TRUE(doc.undo());
    EXPECT_EQ(notes().size(), 1u) << "undo takes back the last click only";
    EXPECT_EQ(std::get<5>(notes()[0]), 432);
}

// A drag from the press gives the written note its length by where the pointer lets go, as
// before: shorter or longer than the chosen value.
TEST_F(EditViewTest, ADragFromTheClickSetsTheWrittenNotesLength) {
    doc.mouseWrite = true;
    doc.soundingTicks = 1728; // a whole note at 90%
    CReedtabView& v = makeView();
    const QPoint at(45 + 2 * 72, v.layout().middleY);
    press(at);
    moveTo(at + QPoint(20, 0));
    moveTo(at + QPoint(36, 2));
    release(at + QPoint(36, 2));
    ASSERT_EQ(notes().size(), 1u);
    EXPECT_EQ(std::get<1>(notes()[0]), 960);
    EXPECT_EQ(std::get<5>(notes()[0]), 240) << "half a beat dragged: an eighth, not the whole";
    EXPECT_EQ(doc.history().undoCount(), 1u) << "the drag adds no step of its own";
    EXPECT_EQ(doc.undoType(), UndoAddedNote);
}

TEST_F(EditViewTest, WithoutMouseWritingAClickBesideTheStaffOnlyMovesTheEditCursor) {
    addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    QTest::mouseClick(surface(), Qt::LeftButton, {}, QPoint(45 + 5 * 72, v.layout().staffTop));
    EXPECT_EQ(doc.cursorTick, 2400);
    EXPECT_EQ(notes().size(), 1u);
}

TEST_F(EditViewTest, TheRubberBandSelectsExactlyTheNotesInside) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    MidiEvent* b = addNote(1, 62, 960, 480);
    addNote(1, 64, 1440, 480); // starts where the band ends: only partly inside
    addNote(1, 48, 480, 480);  // below the band
    CReedtabView& v = makeView();
    const PixelRect ra = v.noteRect(*a);
    const PixelRect rb = v.noteRect(*b);
    const QPoint anchor(ra.left - 3, rb.top - 3);
    const QPoint corner(rb.right + 3, ra.bottom + 3);
    press(anchor);
    moveTo(anchor + QPoint(50, 20));
    moveTo(corner);
    const QImage during = v.grab().toImage();
    release(corner);
    EXPECT_EQ(v.selectedNotes(), (std::vector<MidiEvent*>{a, b}));
    EXPECT_FALSE(v.selectionHasHandle());
    const QImage after = paint();
    int bandPixels = 0;
    for (int y = anchor.y(); y <= corner.y(); ++y) {
        bandPixels += during.pixel(anchor.x(), y) != after.pixel(anchor.x(), y) ? 1 : 0;
    }
    EXPECT_GT(bandPixels, 3) << "the band is drawn while it is dragged, and gone after";

    press(corner);
    moveTo(anchor);
    release(anchor);
    EXPECT_EQ(v.selectedNotes(), (std::vector<MidiEvent*>{a, b})) << "dragged the other way";
    EXPECT_EQ(doc.undoType(), UndoNothing);
}

TEST_F(EditViewTest, TheBandScrollsWhenDraggedPastTheRightEdge) {
    addNote(1, 60, 480, 480);
    addNote(1, 60, 19200, 480);
    CReedtabView& v = makeView();
    const int width = v.viewport()->width();
    const QPoint anchor(300, v.layout().middleY);
    press(anchor);
    moveTo(QPoint(width + 10, anchor.y()));
    moveTo(QPoint(width + 11, anchor.y()));
    moveTo(QPoint(width + 11, anchor.y()));
    EXPECT_EQ(player.tick, 240) << "two quarter beats; standing still does not scroll";
    EXPECT_EQ(v.firstTick(), 240) << "the window moves with the play position";
    release(QPoint(width + 11, anchor.y()));
}

TEST_F(EditViewTest, DeleteRemovesTheSelectionInOneStepAndUndoBringsItBack) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    MidiEvent* b = addNote(1, 62, 960, 480);
    addNote(1, 64, 1440, 480);
    CReedtabView& v = makeView();
    press(middleOf(v.noteRect(*a)));
    release(middleOf(v.noteRect(*a)));
    QTest::mouseClick(surface(), Qt::LeftButton, Qt::ControlModifier, middleOf(v.noteRect(*b)));
    ASSERT_EQ(v.selectedNotes().size(), 2u);
    QTest::keyClick(&v, Qt::Key_Delete);
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 1440, 64, 0, 100, 480}}));
    EXPECT_TRUE(v.selectedNotes().empty());
    EXPECT_EQ(doc.history().undoCount(), 1u) << "two notes, one step";
    ASSERT_TRUE(doc.undo());
    EXPECT_TRUE(notes() == (std::vector<NoteRow>{{1, 480, 60, 0, 100, 480},
                                                 {1, 960, 62, 0, 100, 480},
                                                 {1, 1440, 64, 0, 100, 480}}));
    EXPECT_EQ(doc.undoType(), UndoNothing);
}

TEST_F(EditViewTest, FramesAreDrawnAndFollowTheirNotesThroughZoomAndScroll) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    press(middleOf(v.noteRect(*a)));
    release(middleOf(v.noteRect(*a)));
    QImage image = paint();
    const PixelRect r = v.noteRect(*a);
    EXPECT_EQ(QColor(image.pixel(r.left - 1, r.top + 2)), QColor(Qt::black)) << "the outline";
    EXPECT_EQ(QColor(image.pixel(r.right + 2, (r.top + r.bottom) / 2)), QColor(Qt::black))
        << "the handle";

    v.setZoomIndex(5);
    paint();
    EXPECT_EQ(v.selectionFrame(0), v.noteRect(*a));
    v.scrollVertically(VScroll::LineUp);
    paint();
    EXPECT_EQ(v.selectionFrame(0), v.noteRect(*a));
    song().tracks[1]->flags = 0;
    paint();
    EXPECT_TRUE(v.selectedNotes().empty()) << "a hidden track's notes leave the selection";
}

TEST_F(EditViewTest, TheCursorShowsWhatAPressWouldDo) {
    MidiEvent* a = addNote(1, 60, 480, 480);
    CReedtabView& v = makeView();
    const auto shapeAt = [&](QPoint at) {
        QMouseEvent hover(QEvent::MouseMove, at, v.viewport()->mapToGlobal(at), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(v.viewport(), &hover);
        return v.viewport()->cursor().shape();
    };
    const QPoint empty(600, v.layout().middleY);
    EXPECT_EQ(shapeAt(empty), Qt::ArrowCursor);
    doc.mouseWrite = true;
    EXPECT_EQ(shapeAt(empty), Qt::BitmapCursor) << "the note-writing pencil";
    EXPECT_EQ(shapeAt(QPoint(600, 5)), Qt::UpArrowCursor) << "the band above the staff";

    const PixelRect r = v.noteRect(*a);
    const int middle = (r.top + r.bottom) / 2;
    QTest::mouseClick(surface(), Qt::LeftButton, {}, QPoint(r.left + 5, middle));
    ASSERT_EQ(v.selectedNotes().size(), 1u);
    EXPECT_EQ(shapeAt(QPoint(r.right, middle)), Qt::SizeHorCursor) << "the handle";
    EXPECT_EQ(shapeAt(QPoint(r.left + 5, middle)), Qt::SizeAllCursor);
    player.playing = true;
    EXPECT_EQ(shapeAt(QPoint(r.left + 5, middle)), Qt::ArrowCursor) << "no editing while playing";
    player.playing = false;
    options.editMode = false;
    EXPECT_EQ(shapeAt(empty), Qt::ArrowCursor);
}

TEST_F(EditViewTest, EditModeDrawsTheInsertionLineAndLiftsSharps) {
    MidiEvent* sharp = addNote(1, 61, 480, 480);
    MidiEvent* flat = addNote(1, 63, 960, 480);
    doc.cursorTick = 2400;
    CReedtabView& v = makeView();
    const int x = 45 + 5 * 72;
    const auto redDots = [&](const QImage& image) {
        int dots = 0;
        for (int y = kProgressHeight; y <= v.layout().staffBottom; ++y) {
            dots += QColor(image.pixel(x, y)) == QColor(192, 0, 0) ? 1 : 0;
        }
        return dots;
    };
    EXPECT_GT(redDots(paint()), 20) << "the dotted insertion line at the edit cursor";
    const PixelRect lifted = v.noteRect(*sharp);
    const PixelRect lowered = v.noteRect(*flat);

    options.editMode = false;
    EXPECT_EQ(redDots(paint()), 0);
    const int half = v.layout().stepHeight / 2;
    EXPECT_EQ(v.noteRect(*sharp).top, lifted.top + half) << "C# shares C's step";
    EXPECT_EQ(v.noteRect(*flat).top, lowered.top - half) << "Eb shares E's step";
}

} // namespace
} // namespace reedtab
