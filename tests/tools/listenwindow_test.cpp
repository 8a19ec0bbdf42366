// The Listen window in a whole program: a recording made by the test judged against the
// example song (the staff's marks, the heard hole in the diatonic window, the score), and
// listening to a recording in place of the microphone, which mutes the judged track while the
// song plays and gives it back.

#include "apptestsupport.h"

#include "../support/reedsignals.h"
#include "../support/testfolder.h"

#include "document/reedtabdoc.h"
#include "listen/expectednotes.h"
#include "listen/scorestore.h"
#include "model/miditrack.h"
#include "tools/diatonicwindow.h"
#include "tools/listendisplay.h"
#include "tools/listenwindow.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "view/reedtabview.h"
#include "view/songpainter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace reedtab::testing {
namespace {

const QString kSong = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid");
constexpr int kMelody = 1;

std::filesystem::path scratch() {
    const auto dir =
        std::filesystem::path(REEDTAB_BINARY_DIR) / "test-scratch" / "listenwindow" / testFolder();
    std::filesystem::create_directories(dir);
    return dir;
}

// The melody played on a reed from the song's start, note `wrong` a half step high and note
// `left` left out.
QString recordMelody(const MidiSong& song, std::size_t wrong, std::size_t left) {
    ListenRange range;
    range.track = kMelody;
    const ExpectedTrack expected = expectedNotes(song, range);
    ReedSignal signal(44100);
    for (std::size_t i = 0; i < expected.notes.size(); ++i) {
        const ExpectedNote& note = expected.notes[i];
        signal.silence(std::max(0.0, note.ms - signal.ms()));
        if (i == left) {
            continue;
        }
        ReedTone tone;
        tone.hz = noteHz(note.note + (i == wrong ? 1 : 0));
        tone.ms = std::max(60.0, note.durationMs - 30.0);
        signal.tone(tone);
    }
    const std::string path = (scratch() / "take.wav").string();
    EXPECT_TRUE(writeWav(path, signal.samples(), signal.rate()));
    return QString::fromStdString(path);
}

CMonListen* openListen(TestProgram& program) {
    ToolWindows& tools = program.frame().toolWindows();
    if (!tools.isOpen(kMonitorListen) && !tools.toggle(kMonitorListen)) {
        return nullptr;
    }
    auto* listen = static_cast<CMonListen*>(tools.window(kMonitorListen));
    listen->setScorePath((scratch() / "scores.txt").string());
    return listen;
}

TEST(ListenWindow, ListsTheTracksWithNotesAndTakesItsControlsFromTheSettings) {
    auto store = std::make_unique<MemorySettingsStore>();
    store->writeInt(kSettingsSection, "listenTolerance", 45);
    store->writeInt(kSettingsSection, "listenWait", 1);
    TestProgram program(std::move(store));
    ASSERT_TRUE(program.app().openFile(kSong));
    CMonListen* listen = openListen(program);
    ASSERT_NE(listen, nullptr);
    EXPECT_EQ(listen->windowTitle(), QStringLiteral("Reedtab Midi Listen"));
    QStringList tracks;
    for (int i = 0; i < listen->trackList()->count(); ++i) {
        tracks << listen->trackList()->itemText(i);
    }
    EXPECT_EQ(tracks, (QStringList{"Melody track", "Track 1: Melody", "Track 2: Bass"}))
        << "the drums are never expected";
    EXPECT_EQ(listen->toleranceBox()->value(), 45);
    EXPECT_TRUE(listen->waitBox()->isChecked());
    EXPECT_EQ(listen->inputList()->itemText(listen->inputList()->count() - 1),
              QStringLiteral("Recording..."));
    listen->toleranceBox()->setValue(20);
    EXPECT_EQ(program.store().readInt(kSettingsSection, "listenTolerance"), 20)
        << "a control's change is kept";
}

TEST(ListenWindow, ARecordingIsJudgedAndTheStaffAndTheHarmonicaShowIt) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(kSong));
    CMainFrame& frame = program.frame();
    const MidiSong& song = frame.document().song;
    const QString take = recordMelody(song, 4, 7);
    auto* diatonic = [&] {
        ToolWindows& tools = frame.toolWindows();
        EXPECT_TRUE(tools.toggle(kMonitorDiatonic));
        return static_cast<CMonDiatonic*>(tools.window(kMonitorDiatonic));
    }();
    ASSERT_NE(diatonic, nullptr);
    CMonListen* listen = openListen(program);
    ASSERT_NE(listen, nullptr);

    // Up to the middle of the tenth note.
    ListenRange range;
    range.track = kMelody;
    const ExpectedTrack expected = expectedNotes(song, range);
    ASSERT_GT(expected.notes.size(), 12u);
    const ExpectedNote& tenth = expected.notes[9];
    const int tick = tenth.tick + 120;
    ASSERT_TRUE(listen->showRecording(take, tick));

    const auto& judged = listen->passNotes();
    ASSERT_EQ(judged.size(), 10u) << "every note before the tick";
    EXPECT_EQ(listen->judgedTrack(), kMelody);
    for (std::size_t i = 0; i < judged.size(); ++i) {
        const Verdict wanted = i == 4 ? Verdict::Wrong : i == 7 ? Verdict::Missed : Verdict::Hit;
        EXPECT_EQ(judged[i].verdict, wanted) << "note " << i;
    }
    EXPECT_EQ(judged[4].heard, judged[4].expected.note + 1);
    const ListenShown& shown = listen->display()->shown();
    EXPECT_EQ(shown.score.hits, 8);
    EXPECT_EQ(shown.score.wrongs, 1);
    EXPECT_EQ(shown.score.misses, 1);
    ASSERT_TRUE(shown.heard) << "the tenth note sounds at the tick";
    EXPECT_EQ(shown.heard->note, tenth.note);
    EXPECT_LE(shown.span.low, tenth.note);
    EXPECT_GE(shown.span.high, tenth.note);
    EXPECT_FALSE(shown.expected.isEmpty());

    // The staff marks every judged note of the melody track.
    const auto& marks = frame.view().judgedMarks();
    ASSERT_EQ(marks.size(), judged.size());
    int missed = 0;
    for (const JudgedMark& mark : marks) {
        EXPECT_EQ(mark.track, kMelody);
        missed += mark.verdict == JudgedVerdict::Missed ? 1 : 0;
    }
    EXPECT_EQ(missed, 1);

    // The diatonic window frames the heard hole in the heard colour.
    EXPECT_EQ(listen->heardNote(), tenth.note);
    int framed = 0;
    for (int hole = 0; hole < 10; ++hole) {
        for (int slot = 0; slot < 6; ++slot) {
            if (NoteButton* b = diatonic->button(hole, slot); b && b->heard().isValid()) {
                ++framed;
                EXPECT_EQ(b->heard(), toQColor(settings().colorHeard));
            }
        }
    }
    EXPECT_EQ(framed, 1);

    // Closing the window takes the marks away.
    frame.toolWindows().toggle(kMonitorListen);
    EXPECT_TRUE(frame.view().judgedMarks().empty());
}

TEST(ListenWindow, ListeningMutesTheJudgedTrackWhileTheSongPlaysAndGivesItBack) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(kSong));
    CMainFrame& frame = program.frame();
    MidiSong& song = frame.document().song;
    const QString take = recordMelody(song, 100, 100);
    CMonListen* listen = openListen(program);
    ASSERT_NE(listen, nullptr);
    listen->trackList()->setCurrentIndex(listen->trackList()->findData(kMelody));
    QComboBox* inputs = listen->inputList();
    inputs->insertItem(0, QStringLiteral("take.wav"), QStringLiteral("file:") + take);
    inputs->setCurrentIndex(0);

    ASSERT_TRUE(listen->startListening());
    EXPECT_TRUE(listen->listening());
    EXPECT_NE(song.track(kMelody)->flags & TrackMuted, 0) << "the player's track is silent";
    EXPECT_EQ(song.track(2)->flags & TrackMuted, 0);
    QTRY_VERIFY_WITH_TIMEOUT(frame.transport().isPlaying(), 5000);
    listen->stopListening();
    EXPECT_FALSE(listen->listening());
    EXPECT_FALSE(frame.transport().isPlaying());
    EXPECT_EQ(song.track(kMelody)->flags & TrackMuted, 0) << "given back";

    // A track the user had muted stays muted.
    frame.document().setTrackFlag(kMelody, TrackMuted, true);
    ASSERT_TRUE(listen->startListening());
    listen->stopListening();
    EXPECT_NE(song.track(kMelody)->flags & TrackMuted, 0);
}

} // namespace
} // namespace reedtab::testing
