// The screenshot mode's tool windows: --window on the command line, and one picture per window
// with the notes of the moment held, written to the build folder for a person to look at.

#include "apptestsupport.h"

#include "app/screenshot.h"
#include "tools/diatonicwindow.h"
#include "tools/pianowindow.h"
#include "tools/toolwindows.h"

#include <QFile>
#include <QImage>

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
    for (const QStringList& bad : {QStringList{"--screenshot", "o.png", "--window", "mixer"},
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

} // namespace
} // namespace reedtab
