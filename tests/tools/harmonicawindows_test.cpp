// The diatonic, chromatic and piano windows: their buttons for each tuning and key, the notes
// they send when played with the mouse and the computer keyboard, and the statistics.

#include "apptestsupport.h"
#include "toolsongs.h"

#include "document/reedtabdoc.h"
#include "harmonica/notation.h"
#include "settings/settings.h"
#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/pianowindow.h"
#include "tools/toolwindows.h"
#include "view/reedtabview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

using testing::TestProgram;

// The channel messages that reached the output: status, data1, data2.
std::vector<std::array<int, 3>> channelMessages(TestProgram& program) {
    std::vector<std::array<int, 3>> found;
    for (const RecordedMessage& message : program.output().messages()) {
        if (message.bytes.size() == 3 && (message.bytes[0] & 0xE0) == 0x80) {
            found.push_back({message.bytes[0], message.bytes[1], message.bytes[2]});
        }
    }
    return found;
}

class HarmonicaWindows : public ::testing::Test {
protected:
    void SetUp() override {
        diatonicLayout().build(60, 0);
        chromaticLayout().build(60, -1);
    }
    void TearDown() override {
        diatonicLayout().build(60, 0);
        chromaticLayout().build(60, -1);
    }
    template <typename Window>
    Window& open(int type) {
        ToolWindows& tools = program.frame().toolWindows();
        EXPECT_TRUE(tools.toggle(type));
        return *static_cast<Window*>(tools.window(type));
    }
    int visibleButtons(const CMonDiatonic& window) const {
        int count = 0;
        for (int h = 0; h < CMonDiatonic::kMaxHoles; ++h) {
            for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
                NoteButton* button = window.button(h, s);
                count += button && !button->isHidden();
            }
        }
        return count;
    }
    TestProgram program;
};

TEST_F(HarmonicaWindows, DiatonicButtonsSitAtTheirSlotsForNormalAndReversedHoles) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    // Richter in C: hole 1 blows C4 and draws D4, with the draw bent a half step.
    ASSERT_TRUE(window.button(0, kBlow));
    EXPECT_EQ(window.button(0, kBlow)->text(), QStringLiteral("C"));
    EXPECT_EQ(window.button(0, kBlow)->geometry(), QRect(195, 68, 20, 20));
    EXPECT_EQ(window.button(0, kDraw)->geometry(), QRect(195, 134, 20, 20));
    EXPECT_EQ(window.button(0, kBend1)->geometry(), QRect(195, 156, 20, 16));
    EXPECT_EQ(window.button(0, kBend1)->text(), QStringLiteral("C#"));
    EXPECT_EQ(window.button(0, kOver)->geometry(), QRect(195, 50, 20, 16));
    // Hole 10 is reversed: its blow bends go up and its overdraw below the draw row.
    const int x = 145 + 50 + 20 * 9;
    ASSERT_TRUE(window.button(9, kBend1));
    EXPECT_EQ(window.button(9, kBend1)->geometry(), QRect(x, 50, 20, 16));
    EXPECT_EQ(window.button(9, kBend2)->geometry(), QRect(x, 34, 20, 16));
    EXPECT_EQ(window.button(9, kOver)->geometry(), QRect(x, 156, 20, 16));
    EXPECT_EQ(window.button(9, kBlow)->text(), QStringLiteral("C"));
    // Bends shown, overblows not.
    EXPECT_FALSE(window.button(0, kBend1)->isHidden());
    EXPECT_TRUE(window.button(0, kOver)->isHidden());
    window.bendsCheck()->setChecked(false);
    for (int h = 0; h < 4; ++h) {
        for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
            if (NoteButton* button = window.button(h, s)) {
                EXPECT_EQ(!button->isHidden(), s == kBlow || s == kDraw) << h << "/" << s;
            }
        }
    }
    window.overblowsCheck()->setChecked(true);
    EXPECT_FALSE(window.button(0, kOver)->isHidden()) << "the overblow above the blow row";
}

TEST_F(HarmonicaWindows, ChangingTuningKeyAndOctaveRebuildsTheButtonsAndRelabelsTheView) {
    settings().tabMode = kDiatonicTab;
    program.frame().refreshLayoutText();
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    const int richter = visibleButtons(window);
    const QString before = program.frame().layoutText()->text();

    window.tuningList()->setCurrentIndex(6);
    window.tuningSelected();
    ASSERT_EQ(diatonicLayout().holes(), 14) << "Steve Baker Special";
    EXPECT_EQ(window.width(), 20 * 14 + 10 + 145 + 75 - 8) << "whole-window widths less the frame";
    EXPECT_TRUE(window.button(13, kBlow));
    EXPECT_NE(visibleButtons(window), richter);
    EXPECT_NE(program.frame().layoutText()->text(), before);

    window.tuningList()->setCurrentIndex(8);
    window.tuningSelected();
    EXPECT_EQ(window.width(), 430 - 8);
    EXPECT_FALSE(window.button(13, kBlow));
    window.overblowsCheck()->setChecked(true);
    EXPECT_TRUE(window.button(0, kOver) && !window.button(0, kOver)->isHidden())
        << "a valved bend in every hole";

    window.tuningList()->setCurrentIndex(0);
    window.tuningSelected();
    // G is key-name index 0: a fifth up is D in the same octave, a fifth down C.
    window.keyList()->setCurrentIndex(0);
    window.keySelected();
    const int octave = window.octaveList()->currentIndex();
    window.stepFifth(true);
    EXPECT_EQ(window.keyList()->currentText(), QStringLiteral("D"));
    EXPECT_EQ(window.octaveList()->currentIndex(), octave);
    EXPECT_EQ(diatonicLayout().key() % 12, 2);
    EXPECT_EQ(window.button(0, kBlow)->text(), QStringLiteral("D"));
    EXPECT_TRUE(program.frame().layoutText()->text().contains(QStringLiteral("Key of D")))
        << program.frame().layoutText()->text().toStdString();
    window.keyList()->setCurrentIndex(11);
    window.stepFifth(true);
    EXPECT_EQ(window.keyList()->currentText(), QStringLiteral("Db"));
    window.keyList()->setCurrentIndex(0);
    window.stepFifth(false);
    EXPECT_EQ(window.keyList()->currentText(), QStringLiteral("C"));

    const int key = diatonicLayout().key();
    window.octaveList()->setCurrentIndex(window.octaveList()->currentIndex() + 1);
    window.keySelected();
    EXPECT_EQ(diatonicLayout().key(), key + 12);
    settings().tabMode = kNotesC;
}

TEST_F(HarmonicaWindows, ACustomTuningThatDoesNotLoadKeepsThePreviousOne) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    window.pickTuningFile = [] { return std::string("/nonexistent/none.tun"); };
    window.tuningList()->setCurrentIndex(diatonicLayout().customIndex());
    window.tuningSelected();
    EXPECT_EQ(window.tuningList()->currentIndex(), 0);
    EXPECT_EQ(diatonicLayout().tuningIndex(), 0);
}

TEST_F(HarmonicaWindows, ThePanelShrinksAndExpandsAndIsRemembered) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    window.togglePanel();
    EXPECT_FALSE(window.optionsVisible());
    EXPECT_EQ(window.width(), 20 * 10 + 10 + 5 + 75 - 8);
    EXPECT_EQ(window.button(0, kBlow)->x(), 5 + 50);
    EXPECT_TRUE(window.tuningList()->isHidden());
    window.close();
    EXPECT_EQ(program.store().readInt(kWindowSection, "Mon3.optVisible"), 0);
}

TEST_F(HarmonicaWindows, AChordOnOneButtonHoldsItUntilItsLastNoteEnds) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    for (int i = 0; i < 3; ++i) {
        window.noteOn(60, i, -1);
    }
    EXPECT_TRUE(window.button(0, kBlow)->isDown());
    window.noteOff(60, 3, -1);
    window.noteOff(60, 4, -1);
    EXPECT_TRUE(window.button(0, kBlow)->isDown());
    window.noteOff(60, 5, -1);
    EXPECT_FALSE(window.button(0, kBlow)->isDown());
    window.noteOff(60, 6, -1);
    EXPECT_EQ(window.pressCount(0, kBlow), 0) << "never below zero";
    window.noteOn(200, 0, -1);
    window.noteOn(20, 0, -1);
    for (int h = 0; h < 10; ++h) {
        for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
            EXPECT_EQ(window.pressCount(h, s), 0);
        }
    }
}

TEST_F(HarmonicaWindows, APlayedNoteWithAChosenFingeringPressesThatHole) {
    MidiSong& song = program.frame().document().song;
    testing::buildSong(song, 2, {{1, 0, 67, 0, 100}, {1, 0, 67, 200, 300}}, 1000);
    auto& diatonic = open<CMonDiatonic>(kMonitorDiatonic);
    auto& chromatic = open<CMonChromatic>(kMonitorChromatic);
    MidiEvent* chosen = song.mergedEvents[0];
    ASSERT_TRUE(chosen->isNoteOn());
    chosen->fingering = diatonicLayout().fingeringFor(67, 1); // blow 3 instead of draw 2
    const int off = song.mergedEvents.indexOf(chosen->partner);
    diatonic.noteOn(67, 0, -1);
    EXPECT_TRUE(diatonic.button(2, kBlow)->isDown());
    EXPECT_FALSE(diatonic.button(1, kDraw)->isDown());
    diatonic.noteOff(67, off, -1);
    EXPECT_FALSE(diatonic.button(2, kBlow)->isDown()) << "the note-off finds its note's choice";
    const int other = song.mergedEvents.indexOf(song.tracks[1]->events[2].get());
    diatonic.noteOn(67, other, -1);
    EXPECT_TRUE(diatonic.button(1, kDraw)->isDown()) << "a note without a choice: preferred";

    // A diatonic choice does not move the chromatic's button.
    int row = 0;
    int column = 0;
    ASSERT_EQ(chromaticLayout().positionOf(67, row, column), 0);
    chromatic.noteOn(67, 0, -1);
    EXPECT_EQ(chromatic.pressCount(row, column), 1);
}

TEST_F(HarmonicaWindows, PressingAHoleSendsTheNoteOnAndOffOnChannelOne) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    program.output().clear();
    QTest::mousePress(window.button(0, kDraw), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(window.button(0, kDraw)->isDown());
    QTest::mouseRelease(window.button(0, kDraw), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(window.button(0, kDraw)->isDown());
    const auto sent = channelMessages(program);
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[0], (std::array<int, 3>{0x90, 62, 120}));
    EXPECT_EQ(sent[1][0] & 0xF0, 0x80);
    EXPECT_EQ(sent[1][1], 62);
}

TEST_F(HarmonicaWindows, ComputerKeysPlayBlowAndDrawNotes) {
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    program.output().clear();
    QTest::keyPress(&window, Qt::Key_Q);
    QTest::keyPress(&window, Qt::Key_1);
    QApplication::processEvents();
    EXPECT_TRUE(window.button(0, kDraw)->isDown());
    EXPECT_TRUE(window.button(0, kBlow)->isDown());
    QTest::keyRelease(&window, Qt::Key_Q);
    QTest::keyRelease(&window, Qt::Key_1);
    QApplication::processEvents();
    EXPECT_FALSE(window.button(0, kDraw)->isDown());
    const auto sent = channelMessages(program);
    ASSERT_EQ(sent.size(), 4U);
    EXPECT_EQ(sent[0], (std::array<int, 3>{0x90, 62, 120}));
    EXPECT_EQ(sent[1], (std::array<int, 3>{0x90, 60, 120}));
    EXPECT_EQ(sent[2][1], 62);
    EXPECT_EQ(sent[2][0] & 0xF0, 0x80);
    // In edit mode the note goes out on the document's edit channel.
    settings().editMode = true;
    program.frame().document().editChannel = 5;
    program.output().clear();
    QTest::keyClick(&window, Qt::Key_W);
    QApplication::processEvents();
    settings().editMode = false;
    const auto edited = channelMessages(program);
    ASSERT_EQ(edited.size(), 2U);
    EXPECT_EQ(edited[0], (std::array<int, 3>{0x95, 67, 120}));
}

TEST_F(HarmonicaWindows, KeysTypedOnTheStaffPlayTheDiatonicElseThePiano) {
    auto& piano = open<CMonPiano>(kMonitorPiano);
    QWidget& staff = program.frame().view();
    QTest::keyPress(&staff, Qt::Key_Z);
    EXPECT_TRUE(piano.key(48)->isDown());
    QTest::keyRelease(&staff, Qt::Key_Z);
    EXPECT_FALSE(piano.key(48)->isDown());

    auto& diatonic = open<CMonDiatonic>(kMonitorDiatonic);
    QTest::keyPress(&staff, Qt::Key_Q);
    EXPECT_TRUE(diatonic.button(0, kDraw)->isDown());
    EXPECT_FALSE(piano.key(60)->isDown()) << "the diatonic window comes first";
    QTest::keyRelease(&staff, Qt::Key_Q);
    EXPECT_FALSE(diatonic.button(0, kDraw)->isDown());
}

TEST_F(HarmonicaWindows, NineComputerKeysAtMostAndLosingTheFocusLetsThemGo) {
    auto& window = open<CMonPiano>(kMonitorPiano);
    const Qt::Key keys[] = {Qt::Key_Z, Qt::Key_X, Qt::Key_C, Qt::Key_V, Qt::Key_B,
                            Qt::Key_N, Qt::Key_M, Qt::Key_Q, Qt::Key_W, Qt::Key_E};
    for (Qt::Key key : keys) {
        QTest::keyPress(&window, key);
    }
    EXPECT_TRUE(window.key(62)->isDown()) << "the ninth key";
    EXPECT_FALSE(window.key(64)->isDown()) << "a tenth is not taken";
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(&window, &out);
    for (int note = 21; note <= 108; ++note) {
        EXPECT_FALSE(window.key(note)->isDown()) << note;
    }
}

TEST_F(HarmonicaWindows, PianoKeysFromTheMouseAndTheKeyboardOnChannelTwo) {
    auto& window = open<CMonPiano>(kMonitorPiano);
    EXPECT_EQ(window.size(), QSize(745 - 8, 115 - 27));
    // 52 white keys from x 4, 14 pixels each; the black keys above them.
    EXPECT_EQ(window.key(21)->geometry(), QRect(4, 10, 14, 75));
    EXPECT_EQ(window.key(22)->geometry(), QRect(11, 10, 12, 45));
    EXPECT_EQ(window.key(108)->geometry().right() + 1, 732);
    EXPECT_FALSE(window.key(20));
    EXPECT_FALSE(window.key(109));
    window.noteOn(20, 0, -1);
    window.noteOn(109, 0, -1);

    program.output().clear();
    QTest::mousePress(window.key(61), Qt::LeftButton);
    QTest::mouseRelease(window.key(61), Qt::LeftButton);
    // Q and comma both sound middle C; the key stays down until both are up.
    QTest::keyPress(&window, Qt::Key_Q);
    QTest::keyPress(&window, Qt::Key_Comma);
    QTest::keyRelease(&window, Qt::Key_Q);
    EXPECT_TRUE(window.key(60)->isDown());
    QTest::keyRelease(&window, Qt::Key_Comma);
    EXPECT_FALSE(window.key(60)->isDown());
    QTest::keyClick(&window, Qt::Key_A);
    QApplication::processEvents();
    const auto sent = channelMessages(program);
    ASSERT_EQ(sent.size(), 6U);
    EXPECT_EQ(sent[0], (std::array<int, 3>{0x91, 61, 120}));
    EXPECT_EQ(sent[1][0], 0x81);
    EXPECT_EQ(sent[2], (std::array<int, 3>{0x91, 60, 120}));
    EXPECT_EQ(sent[3], (std::array<int, 3>{0x91, 60, 120}));
    EXPECT_EQ(sent[5][0], 0x81);
}

TEST_F(HarmonicaWindows, ChromaticButtonsNumbersAndWidthFollowTheTuning) {
    auto& window = open<CMonChromatic>(kMonitorChromatic);
    ASSERT_EQ(chromaticLayout().holeCount(), 12);
    EXPECT_EQ(window.button(0, kBlowOut)->geometry(), QRect(45, 56, 20, 20));
    EXPECT_EQ(window.button(0, kBlowIn)->geometry(), QRect(45, 40, 20, 16));
    EXPECT_EQ(window.button(11, kDrawIn)->geometry(), QRect(265, 153, 20, 16));
    EXPECT_EQ(window.button(0, kBlowOut)->text(), QStringLiteral("C"));
    EXPECT_EQ(window.button(0, kBlowIn)->text(), QStringLiteral("C#"));
    EXPECT_FALSE(window.button(12, kBlowOut));
    int sixteen = -1;
    int eight = -1;
    for (int i = 0; i < chromaticLayout().tuningCount(); ++i) {
        const std::string name = chromaticLayout().tuningName(i);
        if (name.rfind("16 Hole", 0) == 0)
            sixteen = i;
        if (name.rfind(" 8 Hole", 0) == 0)
            eight = i;
    }
    ASSERT_GE(sixteen, 0);
    ASSERT_GE(eight, 0);
    window.tuningList()->setCurrentIndex(sixteen);
    window.tuningSelected();
    EXPECT_EQ(window.width(), 440 - 8);
    EXPECT_TRUE(window.button(15, kDrawIn));
    window.tuningList()->setCurrentIndex(eight);
    window.tuningSelected();
    EXPECT_EQ(window.width(), 310 - 8);
    EXPECT_FALSE(window.button(8, kBlowOut));

    window.keyList()->setCurrentIndex(2);
    window.keySelected();
    EXPECT_EQ(chromaticLayout().key() % 12, 2);
    EXPECT_EQ(window.button(0, kBlowOut)->text(), QStringLiteral("D"));

    program.output().clear();
    QTest::mousePress(window.button(0, kDrawOut), Qt::LeftButton);
    EXPECT_TRUE(window.button(0, kDrawOut)->isDown());
    QTest::mouseRelease(window.button(0, kDrawOut), Qt::LeftButton);
    QApplication::processEvents();
    const auto sent = channelMessages(program);
    ASSERT_EQ(sent.size(), 2U);
    EXPECT_EQ(sent[0], (std::array<int, 3>{0x90, chromaticLayout().noteAt(0, kDrawOut), 120}));
}

TEST(DiatonicStatisticsCount, NotesFallOnTheirPreferredTechniqueBetweenTheMarks) {
    DiatonicLayout richter;
    richter.build(60, 0);
    MidiSong song;
    // Blow C, draw D, bent C#, overblow Eb on hole 1; hole 10's overdraw (C#7); below the
    // harmonica; a note after the end mark; a hidden track's note.
    testing::buildSong(song, 3,
                       {{1, 0, 60, 0, 50},
                        {1, 0, 62, 100, 150},
                        {1, 0, 61, 200, 250},
                        {1, 0, 63, 300, 350},
                        {1, 0, 97, 400, 450},
                        {1, 0, 40, 500, 550},
                        {1, 0, 60, 1000, 1050},
                        {2, 0, 62, 0, 50}},
                       2000);
    song.tracks[2]->flags &= static_cast<std::uint16_t>(~TrackShown);
    DiatonicPositionInfo info;
    ASSERT_EQ(richter.positionOf(97, info), 0);
    ASSERT_EQ(info.technique, kOver);
    ASSERT_TRUE(info.reversed);

    const DiatonicStatistics counts = countDiatonicNotes(song, -1, 1000, richter);
    EXPECT_EQ(counts.blow, 1);
    EXPECT_EQ(counts.draw, 1);
    EXPECT_EQ(counts.bends, 1);
    EXPECT_EQ(counts.overblows, 1);
    EXPECT_EQ(counts.overdraws, 1);
    EXPECT_EQ(counts.unavailable, 1);
    EXPECT_EQ(countDiatonicNotes(song, 1000, -1, richter).blow, 1);
    EXPECT_EQ(countDiatonicNotes(song, 100, 300, richter).draw, 1);
    EXPECT_EQ(countDiatonicNotes(song, 100, 300, richter).blow, 0);
}

TEST_F(HarmonicaWindows, TheStatisticsTextsShowTheSongsCounts) {
    ASSERT_TRUE(
        program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid")));
    auto& window = open<CMonDiatonic>(kMonitorDiatonic);
    EXPECT_TRUE(window.statistic(0)->isHidden());
    window.statsCheck()->setChecked(true);
    const CReedtabDoc& doc = program.frame().document();
    const DiatonicStatistics counts =
        countDiatonicNotes(doc.song, doc.markBegin, doc.markEnd, diatonicLayout());
    ASSERT_GT(counts.blow + counts.draw, 0);
    EXPECT_FALSE(window.statistic(0)->isHidden());
    EXPECT_EQ(window.statistic(0)->text(), QStringLiteral("Blow notes: %1").arg(counts.blow));
    EXPECT_EQ(window.statistic(1)->text(), QStringLiteral("Draw notes: %1").arg(counts.draw));
    EXPECT_EQ(window.statistic(5)->text(),
              QStringLiteral("Unavailable: %1").arg(counts.unavailable));
}

} // namespace
} // namespace reedtab
