// Fingerings chosen for a phrase as an edit of the document, and a song made by an importer
// opened as a new document.

#include "documenttesting.h"

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "harmonica/fingeringoptimizer.h"

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

// C E G C E G at quarter notes, then after a rest the chord C E G, on track 1; a drum note on
// track 2.
void makeArpeggio(MidiSong& song) {
    beginSong(song, 3);
    addTimeSignature(song, 0, 0, 4, 4);
    int32_t tick = 0;
    for (const int key : {60, 64, 67, 60, 64, 67}) {
        addNote(song, 1, 0, key, tick, tick + 480);
        tick += 480;
    }
    tick += 480;
    for (const int key : {60, 64, 67}) {
        addNote(song, 1, 0, key, tick, tick + 960);
    }
    addNote(song, 2, 9, 36, 0, 100);
    finishSong(song, 4800);
}

struct FingeringsEdit : ::testing::Test {
    DocFixture f;
    Settings block;
    DiatonicLayout richter{block};
    void SetUp() override {
        MidiSong song;
        makeArpeggio(song);
        f.open(song);
    }
    // The track's note-ons that are not the preferred way on the Richter harp, as (tick, key).
    std::vector<std::pair<int32_t, int>> chosen() const {
        std::vector<std::pair<int32_t, int>> notes;
        for (const auto& e : f.doc.song.tracks[1]->events) {
            if (e->isNoteOn() && richter.alternativeOf(e->data1, e->fingering) != 0) {
                notes.emplace_back(e->tick, e->data1);
            }
        }
        return notes;
    }
};

TEST_F(FingeringsEdit, IsOneUndoStepSavedWithTheSong) {
    ASSERT_EQ(f.doc.optimizeFingeringsEdit(1, richter, {}), 3) << "every G becomes blow 3";
    const std::vector<std::pair<int32_t, int>> threes = {{960, 67}, {2400, 67}, {3360, 67}};
    EXPECT_EQ(chosen(), threes);
    EXPECT_EQ(f.doc.undoType(), UndoEdit);
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.optimizeFingeringsEdit(1, richter, {}), -1) << "nothing more to change";
    EXPECT_EQ(f.doc.undoType(), UndoEdit);
    EXPECT_EQ(f.doc.optimizeFingeringsEdit(7, richter, {}), -1) << "no such track";
    ASSERT_TRUE(f.doc.undo());
    EXPECT_TRUE(chosen().empty()) << "one step takes every choice back";

    f.doc.markBegin = 0;
    f.doc.markEnd = 1440;
    ASSERT_EQ(f.doc.optimizeFingeringsEdit(1, richter, {}), 1) << "only the marked G";
    const std::vector<std::pair<int32_t, int>> marked = {{960, 67}};
    EXPECT_EQ(chosen(), marked);

    ASSERT_TRUE(f.doc.saveDocumentAs(f.folder.file("optimized.mid")));
    MidiSong saved;
    ASSERT_EQ(saved.loadFile(f.folder.file("optimized.mid")), LoadOk);
    std::vector<uint16_t> fingerings;
    for (const auto& e : saved.tracks[1]->events) {
        if (e->isNoteOn()) {
            fingerings.push_back(e->fingering);
        }
    }
    ASSERT_EQ(fingerings.size(), 9u);
    EXPECT_EQ(fingerings[2], richter.fingeringFor(67, 1));
    EXPECT_EQ(fingerings[5], 0);
}

TEST_F(FingeringsEdit, KeepsAChoiceMadeOnTheOtherHarmonica) {
    ChromaticLayout chromatic(block);
    chromatic.build(48, 2); // a tenor chromatic: middle C is blow 4 or blow 5
    MidiEvent* c = f.doc.song.tracks[1]->events.front().get();
    ASSERT_TRUE(c->isNoteOn());
    const uint16_t chromaticChoice = chromatic.fingeringFor(60, 1);
    ASSERT_NE(chromaticChoice, 0);
    c->fingering = chromaticChoice;
    ASSERT_EQ(f.doc.optimizeFingeringsEdit(1, richter, {}), 3);
    EXPECT_EQ(c->fingering, chromaticChoice)
        << "blow 1 is the Richter's only way; the chromatic's choice stays for the chromatic";
}

TEST(ImportedSong, OpensAsANewModifiedDocumentWithoutAFile) {
    DocFixture f;
    MidiSong song;
    makeArpeggio(song);
    f.open(song);
    f.doc.markBegin = 100;
    const int replaced = f.ui.songReplacements;
    f.doc.newDocumentFrom([](MidiSong& fresh) {
        EXPECT_EQ(fresh.trackCount(), 0) << "the open song is gone first";
        makeArpeggio(fresh);
    });
    EXPECT_EQ(f.ui.songReplacements, replaced + 1);
    EXPECT_EQ(f.doc.pathName(), "");
    EXPECT_EQ(f.doc.title(), "Untitled");
    EXPECT_TRUE(f.doc.isModified());
    EXPECT_EQ(f.doc.markBegin, -1);
    EXPECT_FALSE(f.doc.undoEnabled());
    EXPECT_EQ(f.player.division, 480) << "the player takes the new song's timing";
    int notes = 0;
    for (const auto& e : f.doc.song.tracks[1]->events) {
        notes += e->isNote;
    }
    EXPECT_EQ(notes, 9) << "notes are marked for the view";
    f.ui.savePath = f.folder.file("imported.mid");
    EXPECT_TRUE(f.doc.saveDocument()) << "Save asks where";
    EXPECT_EQ(f.doc.pathName(), f.ui.savePath);
}

} // namespace
} // namespace reedtab::testing
