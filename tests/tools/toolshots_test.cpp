// The screenshot mode's tool windows: --window on the command line, and one picture per window
// with the notes of the moment held, written to the build folder for a person to look at.

#include "apptestsupport.h"

#include "app/screenshot.h"
#include "document/reedtabdoc.h"
#include "model/midisong.h"
#include "model/miditrack.h"
#include "tools/diatonicwindow.h"
#include "tools/eventswindow.h"
#include "tools/lyricswindow.h"
#include "tools/mixerwindow.h"
#include "tools/pianowindow.h"
#include "tools/toolwindows.h"

#include <QFile>
#include <QImage>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

using testing::TestProgram;

TEST(ToolShots, WindowOptionsAreReadAndChecked) {
    ScreenshotRequest shot;
    QString error;
    ASSERT_EQ(parseCommandLine({"--screenshot", "out/o.png", "--window", "diatonic", "--window",
                                "piano", "s.mid"},
                               shot, error),
              CommandLineMode::Screenshot);
    EXPECT_EQ(shot.windows, (QStringList{"diatonic", "piano"}));
    EXPECT_EQ(toolWindowShotPath(shot.output, "piano"), "out/o-piano.png");
    for (const QStringList& bad : {QStringList{"--screenshot", "o.png", "--window", "organ"},
                                   QStringList{"--screenshot", "o.png", "--window"},
                                   QStringList{"--window", "piano", "s.mid"}}) {
        ScreenshotRequest r;
        EXPECT_EQ(parseCommandLine(bad, r, error), CommandLineMode::Invalid)
            << bad.join(' ').toStdString();
    }
}

TEST(ToolShots, EachWindowIsWrittenWithTheSoundingNotesHeld) {
    TestProgram program;
    ScreenshotRequest request;
    request.file = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/oh-susanna.mid");
    request.output = QStringLiteral(REEDTAB_BINARY_DIR "/screenshot-tools.png");
    // Bar 2, beat 1: melody and bass sound together.
    request.tick = 1920;
    request.windows = {"diatonic", "chromatic", "piano"};
    for (const QString& name : request.windows) {
        QFile::remove(toolWindowShotPath(request.output, name));
    }
    QString error;
    ASSERT_TRUE(takeScreenshot(program.app(), request, error)) << error.toStdString();
    ToolWindows& tools = program.frame().toolWindows();
    for (const QString& name : request.windows) {
        const QImage image(toolWindowShotPath(request.output, name));
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        EXPECT_EQ(image.size(), tools
                                    .window(name == "piano"      ? kMonitorPiano
                                            : name == "diatonic" ? kMonitorDiatonic
                                                                 : kMonitorChromatic)
                                    ->size());
    }
    auto* piano = static_cast<CMonPiano*>(tools.window(kMonitorPiano));
    std::vector<int> held;
    for (int note = 21; note <= 108; ++note) {
        if (piano->key(note)->isDown()) {
            held.push_back(note);
        }
    }
    ASSERT_GE(held.size(), 2U) << "a melody note and a bass note";
    // A held white key is drawn in another colour than a key at rest.
    const QImage image(toolWindowShotPath(request.output, "piano"));
    for (int note : held) {
        const QRect key = piano->key(note)->geometry();
        const QPoint probe(key.center().x(), key.bottom() - 12);
        int rest = note + 1;
        while (piano->key(rest)->isDown() || piano->key(rest)->isBlack()) {
            ++rest;
        }
        const QPoint restProbe(piano->key(rest)->geometry().center().x(), probe.y());
        EXPECT_NE(image.pixel(probe), image.pixel(restProbe)) << note;
    }
    auto* diatonic = static_cast<CMonDiatonic*>(tools.window(kMonitorDiatonic));
    int buttonsDown = 0;
    for (int h = 0; h < CMonDiatonic::kMaxHoles; ++h) {
        for (int s = 0; s < CMonDiatonic::kSlots; ++s) {
            buttonsDown += diatonic->pressCount(h, s) > 0;
        }
    }
    EXPECT_GE(buttonsDown, 1);
}

TEST(ToolShots, TheMixerLyricsAndEventsOfAPlayingKaraokeSong) {
    TestProgram program;
    ScreenshotRequest request;
    request.file = QStringLiteral(REEDTAB_SOURCE_DIR "/examples/amazing-grace.kar");
    request.output = QStringLiteral(REEDTAB_BINARY_DIR "/screenshot-karaoke.png");
    // Nine beats in (division 480): "sweet" is being sung over the organ.
    request.tick = 4500;
    request.windows = {"mixer", "lyrics", "events"};
    QString error;
    ASSERT_TRUE(takeScreenshot(program.app(), request, error)) << error.toStdString();
    ToolWindows& tools = program.frame().toolWindows();
    for (const QString& name : request.windows) {
        EXPECT_FALSE(QImage(toolWindowShotPath(request.output, name)).isNull())
            << name.toStdString();
    }
    const MidiSong& song = program.frame().document().song;
    const int end = song.mergedEvents.lowerBound(request.tick + 1);
    auto* events = static_cast<CMonEvents*>(tools.window(kMonitorEvents));
    EXPECT_EQ(events->topLine(), end - 1);
    auto* lyrics = static_cast<CMonLyrics*>(tools.window(kMonitorLyrics));
    EXPECT_EQ(lyrics->textBox()->textCursor().selectedText(), QStringLiteral("sweet"));
    // The melody and the organ sound there: their meters are lit.
    auto* mixer = static_cast<CMonMixer*>(tools.window(kMonitorMixer));
    int lit = 0;
    for (const auto& track : song.tracks) {
        lit += track->meterLevel != 0;
    }
    EXPECT_GE(lit, 2);
    EXPECT_EQ(mixer->trackList()->count(), song.trackCount());
}

} // namespace
} // namespace reedtab
