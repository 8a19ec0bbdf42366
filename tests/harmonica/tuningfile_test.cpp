#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "testhelpers.h"

#include <gtest/gtest.h>

#include <random>

namespace reedtab {
namespace {

using Row = std::array<int, 16>;

const char* const kStandard = "DIATONIC\n"
                              "NAME My Richter\n"
                              "BLOW C E G C E G C E G C\n"
                              "DRAW D G B D F A B D F A\n";

TEST(DiatonicFile, StandardRows) {
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning(kStandard, record), 0);
    EXPECT_EQ(record.name, "[Custom] My Richter");
    EXPECT_EQ(record.holes, 10);
    EXPECT_EQ(record.keyOffset, 0);
    EXPECT_EQ(record.blow, (Row{0, 4, 7, 12, 16, 19, 24, 28, 31, 36}));
    EXPECT_EQ(record.draw, (Row{2, 7, 11, 14, 17, 21, 23, 26, 29, 33}));
    EXPECT_EQ(record.valve, (std::array<bool, 16>{}));
}

TEST(DiatonicFile, SectionsInAnyOrderWithValvesAndCrLf) {
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning("junk words DIATONIC more\r\nNAME    Spaced  Name \r\n"
                                  "VALVE x X - o x\r\nDRAW D G\r\nBLOW C E G\r\n",
                                  record),
              0);
    EXPECT_EQ(record.name, "[Custom] Spaced  Name ");
    EXPECT_EQ(record.holes, 5) << "the valve row is the longest";
    EXPECT_EQ(record.blow, (Row{0, 4, 7}));
    EXPECT_EQ(record.draw, (Row{2, 7}));
    EXPECT_EQ(record.valve, (std::array<bool, 16>{true, true, false, false, true}));
}

TEST(DiatonicFile, NoteNamesAndOctaveInference) {
    DiatonicTuningRecord record;
    // Accidentals, suffixes ignored, unreadable words and Cb skipped, B# is 12; a note may lie
    // up to three half steps below the one before it.
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\nBLOW C4 Eb xyz Cb G# b F# Db B# A\n"
                                  "DRAW E Db E C G E\n",
                                  record),
              0);
    EXPECT_EQ(record.blow, (Row{0, 3, 8, 6, 13, 12, 9}));
    EXPECT_EQ(record.draw, (Row{4, 1, 4, 12, 19, 16}));
    EXPECT_EQ(record.holes, 7);
}

TEST(DiatonicFile, RowsStopAfterSixteenNotes) {
    const std::string row = "C D E F G A B C D E F G A B C D E F G A";
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\nBLOW " + row + "\nDRAW D\n", record), 0);
    EXPECT_EQ(record.holes, 16);
    EXPECT_EQ(record.blow[15], 26);
}

TEST(DiatonicFile, ShorterDrawRowGivesTheBlowCount) {
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\nBLOW C E G C E G C E G C\n"
                                  "DRAW D G B D F A B D\n",
                                  record),
              0);
    EXPECT_EQ(record.holes, 10);
    EXPECT_EQ(record.draw[8], 0);
}

TEST(DiatonicFile, RereadingClearsTheRowsOfTheOldFile) {
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning(kStandard, record), 0);
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME two\nBLOW C E\nDRAW D G\n", record), 0);
    EXPECT_EQ(record.holes, 2);
    EXPECT_EQ(record.blow, (Row{0, 4}));
}

TEST(DiatonicFile, Refusals) {
    const char* const refused[] = {
        "",
        "diatonic\nNAME n\nBLOW C\nDRAW D\n",
        "DIATONIC\nname n\nBLOW C\nDRAW D\n",
        "DIATONIC\nNAME n\nDRAW D\n",
        "DIATONIC\nNAME n\nBLOW C\n",
        "NAME n\nBLOW C\nDRAW D\nDIATONIC\n",
        "DIATONIC\nNAME n BLOW C DRAW D\n",
        "CHROMATIC\nNAME n\nBLOW C\nDRAW D\n",
        "DIATONICS\nNAME n\nBLOW C\nDRAW D\n",
    };
    for (const char* text : refused) {
        DiatonicTuningRecord record;
        EXPECT_EQ(parseDiatonicTuning(text, record), -1) << text;
        EXPECT_EQ(record.holes, 0) << text;
    }
}

TEST(DiatonicFile, FailureKeepsWhatWasReadButNotTheHoleCount) {
    DiatonicTuningRecord record;
    record.holes = 10;
    record.draw[0] = 99;
    EXPECT_EQ(parseDiatonicTuning("DIATONIC\nNAME half\nBLOW C E\n", record), -1);
    EXPECT_EQ(record.name, "[Custom] half");
    EXPECT_EQ(record.blow[1], 4);
    EXPECT_EQ(record.draw[0], 99);
    EXPECT_EQ(record.holes, 10);
}

TEST(DiatonicFile, NameLimits) {
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME " + std::string(100, 'n') + "\nBLOW C\nDRAW D\n",
                                  record),
              0);
    EXPECT_EQ(record.name, "[Custom] " + std::string(54, 'n')) << "cut to 63 characters";
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME\nBLOW C\nDRAW D\n", record), 0);
    EXPECT_EQ(record.name, "[Custom] ");
    const char withNul[] = "DIATONIC\nNAME a\0b\nBLOW C\nDRAW D\n";
    ASSERT_EQ(parseDiatonicTuning(std::string(withNul, sizeof withNul - 1), record), 0);
    EXPECT_EQ(record.name, "[Custom] a");
}

TEST(DiatonicFile, LongLinesAreCutAt259Characters) {
    // Padding puts the last two notes beyond character 259 of the line.
    const std::string blow = "BLOW C E" + std::string(252, ' ') + "G C";
    ASSERT_GT(blow.size(), 259u);
    DiatonicTuningRecord record;
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\n" + blow + "\nDRAW D\n", record), 0);
    EXPECT_EQ(record.holes, 2);
    // A keyword beyond the cut is not found.
    const std::string hidden = std::string(259, 'x') + " DRAW D";
    EXPECT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\nBLOW C\n" + hidden + "\n", record), -1);
}

TEST(ChromaticFile, AllFourRows) {
    ChromaticTuningRecord record;
    ASSERT_EQ(parseChromaticTuning("CHROMATIC\nNAME Solo\n"
                                   "DRAW_SLIDE_OUT D F A B\n"
                                   "BLOW_SLIDE_OUT C E G C\n"
                                   "DRAW_SLIDE_IN Eb F# Bb C\n"
                                   "BLOW_SLIDE_IN C# F G# C# D\n",
                                   record),
              0);
    EXPECT_EQ(record.name, "Solo ...");
    EXPECT_EQ(record.holes, 5);
    EXPECT_EQ(record.firstHoleOffset, 0);
    EXPECT_EQ(record.notes[0], (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(record.notes[1], (std::array<int, 4>{4, 5, 5, 6}));
    EXPECT_EQ(record.notes[2], (std::array<int, 4>{7, 8, 9, 10}));
    EXPECT_EQ(record.notes[3], (std::array<int, 4>{12, 13, 11, 12}));
    EXPECT_EQ(record.notes[4], (std::array<int, 4>{0, 14, 0, 0}));
}

TEST(ChromaticFile, OctaveStepIsTwoHalfStepsDown) {
    ChromaticTuningRecord record;
    const std::string rows = "BLOW_SLIDE_OUT E C#\nBLOW_SLIDE_IN E D C#\nDRAW_SLIDE_IN C\n"
                             "DRAW_SLIDE_OUT C\n";
    ASSERT_EQ(parseChromaticTuning("CHROMATIC\nNAME n\n" + rows, record), 0);
    EXPECT_EQ(record.notes[1][kBlowOut], 13) << "three half steps down moves up an octave";
    EXPECT_EQ(record.notes[1][kBlowIn], 2);
    EXPECT_EQ(record.notes[2][kBlowIn], 1);
    DiatonicTuningRecord diatonic;
    ASSERT_EQ(parseDiatonicTuning("DIATONIC\nNAME n\nBLOW E C#\nDRAW C\n", diatonic), 0);
    EXPECT_EQ(diatonic.blow[1], 1) << "the diatonic form allows three half steps down";
}

TEST(ChromaticFile, MissingDrawSlideOutIsRefused) {
    ChromaticTuningRecord record;
    EXPECT_EQ(parseChromaticTuning("CHROMATIC\nNAME n\nBLOW_SLIDE_IN C\nBLOW_SLIDE_OUT C\n"
                                   "DRAW_SLIDE_IN C\n",
                                   record),
              -1);
    EXPECT_EQ(record.holes, 0);
    EXPECT_EQ(record.name, "n ...");
    EXPECT_EQ(parseChromaticTuning("DIATONIC\nNAME n\nBLOW C\nDRAW D\n", record), -1);
    EXPECT_EQ(parseChromaticTuning("chromatic\nNAME n\n", record), -1);
}

TEST(ChromaticFile, NameIsCutTo34Characters) {
    ChromaticTuningRecord record;
    ASSERT_EQ(parseChromaticTuning("CHROMATIC\nNAME " + std::string(50, 'c') +
                                       "\nBLOW_SLIDE_IN C\nBLOW_SLIDE_OUT C\nDRAW_SLIDE_IN C\n"
                                       "DRAW_SLIDE_OUT C\n",
                                   record),
              0);
    EXPECT_EQ(record.name, std::string(34, 'c') + " ...");
}

TEST(TuningFiles, GarbageIsRefusedWithoutHarm) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 2000), '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        DiatonicTuningRecord diatonic;
        ChromaticTuningRecord chromatic;
        EXPECT_EQ(parseDiatonicTuning(bytes, diatonic), -1);
        EXPECT_EQ(parseChromaticTuning(bytes, chromatic), -1);
    }
    // Keywords among binary bytes still count as words.
    DiatonicTuningRecord record;
    const char bytes[] = "\x01\xff DIATONIC\x00\nNAME \x80\x81\nBLOW C \xfe E\nDRAW D\n";
    const std::string mixed(bytes, sizeof bytes - 1);
    EXPECT_EQ(parseDiatonicTuning(mixed, record), -1) << "DIATONIC followed by a NUL byte";
}

TEST(TuningFiles, LoadingFromDisk) {
    testing::TempFile diatonicFile("d.tun", kStandard);
    DiatonicLayout diatonic;
    ASSERT_EQ(diatonic.loadTuningFile(diatonicFile.path()), 0);
    EXPECT_EQ(diatonic.customTuningPath(), diatonicFile.path());
    diatonic.build(60, diatonic.customIndex());
    EXPECT_EQ(diatonic.layoutTitle(), "[Custom] My Richter Key of C");
    EXPECT_EQ(diatonic.noteMap(68).size(), 2u);

    EXPECT_EQ(diatonic.loadTuningFile("/nonexistent/file.tun"), -1);
    EXPECT_EQ(diatonic.loadTuningFile(std::filesystem::temp_directory_path().string()), -1)
        << "a folder";
    testing::TempFile broken("broken.tun", "DIATONIC\nNAME b\n");
    EXPECT_EQ(diatonic.loadTuningFile(broken.path()), -1);
    EXPECT_EQ(diatonic.customTuningPath(), diatonicFile.path()) << "kept after a failure";

    testing::TempFile chromaticFile("c.tun", "CHROMATIC\nNAME c\nBLOW_SLIDE_IN C#\n"
                                             "BLOW_SLIDE_OUT C\nDRAW_SLIDE_IN Eb\n"
                                             "DRAW_SLIDE_OUT D\n");
    ChromaticLayout chromatic;
    ASSERT_EQ(chromatic.loadTuningFile(chromaticFile.path()), 0);
    chromatic.build(60, chromatic.customIndex());
    EXPECT_EQ(chromatic.holeCount(), 1);
    EXPECT_EQ(chromatic.noteAt(0, kDrawIn), 63);
    EXPECT_EQ(chromatic.loadTuningFile(diatonicFile.path()), -1);
}

TEST(TuningFiles, HugeFileIsReadOnlyAtItsStart) {
    // The keywords lie beyond the first megabyte: the file is refused, not read whole.
    std::string text(2 << 20, '\n');
    text += kStandard;
    testing::TempFile file("huge.tun", text);
    DiatonicLayout layout;
    EXPECT_EQ(layout.loadTuningFile(file.path()), -1);
    testing::TempFile early("early.tun", std::string(kStandard) + std::string(2 << 20, 'x'));
    EXPECT_EQ(layout.loadTuningFile(early.path()), 0);
}

} // namespace
} // namespace reedtab
