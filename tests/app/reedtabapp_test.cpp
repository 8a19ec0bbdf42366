#include "apptestsupport.h"

#include "app/statusposition.h"

#include "app/screenshot.h"
#include "app/transportcontroller.h"
#include "dialogs/aboutdlg.h"
#include "document/reedtabdoc.h"
#include "tools/monitor.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "ui/commands.h"
#include "view/reedtabview.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

using testing::corpusFile;
using testing::TestProgram;

QString openedName(TestProgram& program) {
    return QFileInfo(QString::fromStdString(program.frame().document().pathName())).fileName();
}

QStringList threeSongs() {
    return {corpusFile("choral-karaoke/twinkle.kar"),
            corpusFile("choral-karaoke/mozart_aveverum.mid"),
            corpusFile("choral-karaoke/lindaamiga.mid")};
}

TEST(AppOpen, OneFileByPathLeavesAPlaylistOfThatFile) {
    TestProgram program;
    program.app().openFiles(threeSongs());
    ASSERT_EQ(program.app().playlist().count(), 3);
    ASSERT_TRUE(program.app().openFile(corpusFile("choral-karaoke/test.mid")));
    ASSERT_EQ(program.app().playlist().count(), 1);
    EXPECT_EQ(program.app().playlist().currentEntry(),
              corpusFile("choral-karaoke/test.mid").toStdString());
}

TEST(AppOpen, OpenWithThreeFilesThenNextAndPreviousWrap) {
    TestProgram program;
    CReedtabApp& app = program.app();
    app.openFiles(threeSongs());
    EXPECT_EQ(openedName(program), "twinkle.kar");
    app.nextCommand();
    EXPECT_EQ(openedName(program), "mozart_aveverum.mid");
    EXPECT_EQ(app.playlist().count(), 3);
    app.previousCommand();
    app.previousCommand();
    EXPECT_EQ(openedName(program), "lindaamiga.mid");
    EXPECT_EQ(app.playlist().currentIndex(), 2);
    app.nextCommand();
    EXPECT_EQ(app.playlist().currentIndex(), 0);
}

TEST(AppOpen, NextOntoAMissingFileRestoresTheIndex) {
    TestProgram program;
    CReedtabApp& app = program.app();
    app.openFiles({corpusFile("choral-karaoke/twinkle.kar"), QStringLiteral("/nowhere/x.mid")});
    app.nextCommand();
    EXPECT_EQ(app.playlist().currentIndex(), 0);
    EXPECT_EQ(app.playlist().count(), 2) << "the entry that failed stays where it is";
    EXPECT_EQ(openedName(program), "twinkle.kar");
    ASSERT_EQ(program.messages.size(), 1u);
    EXPECT_EQ(program.messages[0].text.rfind("Error reading file \"/nowhere/x.mid\"", 0), 0u)
        << program.messages[0].text;
}

TEST(AppOpen, ABadFileOverAnEditedSongKeepsTheSongAndThePlaylist) {
    TestProgram program;
    CReedtabApp& app = program.app();
    app.openFiles(threeSongs());
    CReedtabDoc& doc = program.frame().document();
    program.frame().transposeCommand(1, true);
    const int events = static_cast<int>(doc.song.mergedEvents.size());
    program.answer = Answer::No;
    EXPECT_FALSE(app.openFile(QStringLiteral("/nowhere/x.mid")));
    EXPECT_FALSE(
        app.openFiles({QStringLiteral("/nowhere/y.mid"), corpusFile("mma/bill-bailey.mid")}));
    EXPECT_EQ(openedName(program), "twinkle.kar");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(static_cast<int>(doc.song.mergedEvents.size()), events);
    EXPECT_EQ(doc.undoMenuText(), "Undo Transpose\tCtrl+Z");
    EXPECT_EQ(app.playlist().entries(), [] {
        std::vector<std::string> paths;
        for (const QString& path : threeSongs())
            paths.push_back(path.toStdString());
        return paths;
    }()) << "neither the playlist nor its current entry moves";
    EXPECT_EQ(app.playlist().currentIndex(), 0);
    EXPECT_FALSE(app.recentFiles().contains(QStringLiteral("/nowhere/x.mid")));
}

TEST(AppOpen, PreviousWithOneEntryRewinds) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(corpusFile("choral-karaoke/twinkle.kar")));
    program.frame().player().seek(1500);
    program.app().previousCommand();
    EXPECT_EQ(program.frame().player().playTick(), 0);
    EXPECT_EQ(openedName(program), "twinkle.kar");
}

TEST(AppOpen, ReloadReadsTheCurrentEntryAgainAndDropsEdits) {
    TestProgram program;
    CReedtabApp& app = program.app();
    ASSERT_TRUE(app.openFile(corpusFile("choral-karaoke/twinkle.kar")));
    program.frame().transposeCommand(1, true);
    ASSERT_TRUE(program.frame().document().isModified());
    program.answer = Answer::No;
    program.frame().action(ID_FILE_RELOAD)->trigger();
    EXPECT_FALSE(program.frame().document().isModified());
    EXPECT_EQ(app.playlist().count(), 1);
}

TEST(AppOpen, CancellingTheSaveQuestionKeepsTheChangedSong) {
    TestProgram program;
    CReedtabApp& app = program.app();
    ASSERT_TRUE(app.openFile(corpusFile("choral-karaoke/twinkle.kar")));
    program.frame().transposeCommand(1, true);
    program.answer = Answer::Cancel;
    EXPECT_FALSE(app.openFile(corpusFile("choral-karaoke/test.mid")));
    EXPECT_EQ(openedName(program), "twinkle.kar");
    EXPECT_TRUE(program.frame().document().isModified());
}

TEST(AppRecentFiles, KeepsEightNewestFirstInTheStore) {
    TestProgram program;
    CReedtabApp& app = program.app();
    const QStringList files = QDir(corpusFile("mma")).entryList({"*.mid"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(app.openFile(corpusFile("mma/") + files[i]));
    }
    ASSERT_EQ(app.recentFiles().size(), 8);
    EXPECT_EQ(QFileInfo(app.recentFiles().front()).fileName(), files[9]);
    EXPECT_EQ(QFileInfo(app.recentFiles().back()).fileName(), files[2]);
    EXPECT_EQ(program.store().readString("Recent File List", "File1"),
              app.recentFiles().front().toStdString());
    app.openRecentFile(7);
    EXPECT_EQ(openedName(program), files[2]);
    EXPECT_EQ(QFileInfo(app.recentFiles().front()).fileName(), files[2]);
}

TEST(AppStartUp, ReadsSettingsAndDevicesFromTheStore) {
    auto store = std::make_unique<MemorySettingsStore>();
    store->writeInt(kSettingsSection, "tabMode", 2);
    store->writeInt(kSettingsSection, "playLoop", 1);
    store->writeString(kSettingsSection, "midiOutDeviceStr", "Gone Synth");
    TestProgram program(std::move(store));
    EXPECT_EQ(settings().tabMode, 2);
    EXPECT_TRUE(settings().playLoop.load());
    EXPECT_EQ(settings().outputDeviceIndex.load(), -1);
    EXPECT_EQ(program.frame().tabTypeSelector()->currentIndex(), 2);
    EXPECT_TRUE(program.frame().action(ID_PLAY_LOOP)->isChecked());
}

TEST(AppStartUp, TheSynthesizerReadsTheCommandLinesSoundFontOrElseTheSettingsOne) {
    const auto storeWithFont = [] {
        auto store = std::make_unique<MemorySettingsStore>();
        store->writeString(kSettingsSection, "soundFont", "/fonts/set.sf2");
        return store;
    };
    {
        TestProgram program(storeWithFont());
        EXPECT_EQ(program.outputs().preparedSoundFont, "/fonts/set.sf2");
    }
    TestProgram program(storeWithFont(), {kMidiMapperName}, {}, QStringLiteral("/fonts/given.sf2"));
    EXPECT_EQ(program.outputs().preparedSoundFont, "/fonts/given.sf2");
}

TEST(AppPlaylistWindow, CommandOpensOneWindowThatFollowsOpens) {
    TestProgram program;
    CReedtabApp& app = program.app();
    app.openFiles(threeSongs());
    app.playlistCommand();
    CPlayList* window = app.playlistWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->listBox()->count(), 3);
    EXPECT_EQ(window->listBox()->currentRow(), 0);
    app.playlistCommand();
    EXPECT_EQ(app.playlistWindow(), window);
    app.nextCommand();
    EXPECT_EQ(window->listBox()->currentRow(), 1);
    ASSERT_TRUE(app.openFile(corpusFile("choral-karaoke/test.mid")));
    EXPECT_EQ(window->listBox()->count(), 1);
}

// Ending the program while a song plays, with tool windows open: the player stops and lets its
// output go, and nothing the application built is used after it went (which the sanitizer
// builds of this test check).
TEST(AppShutDown, EndingWhilePlayingWithToolWindowsOpenStopsThePlayerAndClosesTheOutput) {
    TestProgram program;
    ASSERT_TRUE(program.app().openFile(corpusFile("choral-karaoke/twinkle.kar")));
    ToolWindows& tools = program.frame().toolWindows();
    ASSERT_TRUE(tools.toggle(kMonitorDiatonic));
    ASSERT_TRUE(tools.toggle(kMonitorLyrics));
    program.app().transportCommands().playCommand();
    program.play(300);
    ASSERT_TRUE(program.frame().transport().isPlaying());
    ASSERT_TRUE(program.output().isOpen());

    program.quit();
    EXPECT_FALSE(program.output().isOpen());
}

TEST(AppAbout, ShowsVersionBuildDateAndWebAddress) {
    testing::application();
    CAboutDlg about(QString::fromLatin1(kVersionText), QStringLiteral("2026-12-09"));
    EXPECT_EQ(about.windowTitle(), "About Reedtab Midi");
    const QStringList lines = about.lines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "Reedtab Midi Version 3.1");
    EXPECT_EQ(lines[1], "Release Built on 2026-12-09");
    QString requested;
    QObject::connect(&about, &CAboutDlg::webPageRequested,
                     [&](const QString& url) { requested = url; });
    for (auto* button : about.findChildren<QPushButton*>()) {
        if (button->text().startsWith("https://")) {
            button->click();
        }
    }
    EXPECT_EQ(requested, "https://reedtab.example/midi");
}

TEST(CommandLine, ReadsFileAndScreenshotOptions) {
    ScreenshotRequest request;
    QString error;
    EXPECT_EQ(parseCommandLine({"song.mid"}, request, error), CommandLineMode::Run);
    EXPECT_EQ(request.file, "song.mid");
    EXPECT_TRUE(request.soundFont.isEmpty());

    ScreenshotRequest withFont;
    EXPECT_EQ(parseCommandLine({"--soundfont", "/f/piano.sf2", "song.mid"}, withFont, error),
              CommandLineMode::Run);
    EXPECT_EQ(withFont.soundFont, "/f/piano.sf2");
    EXPECT_EQ(withFont.file, "song.mid");

    ScreenshotRequest shot;
    EXPECT_EQ(parseCommandLine(
                  {"--screenshot", "out.png", "--size", "800x500", "--at", "960", "song.mid"}, shot,
                  error),
              CommandLineMode::Screenshot);
    EXPECT_EQ(shot.output, "out.png");
    EXPECT_EQ(shot.size, QSize(800, 500));
    EXPECT_EQ(shot.tick, 960);
    EXPECT_EQ(shot.file, "song.mid");

    for (const QStringList& bad :
         {QStringList{"--screenshot"}, QStringList{"--screenshot", "o.png", "--size", "80x"},
          QStringList{"--screenshot", "o.png", "--at", "-4"}, QStringList{"a.mid", "b.mid"},
          QStringList{"--bogus"}, QStringList{"--at", "5", "a.mid"},
          QStringList{"a.mid", "--soundfont"}}) {
        ScreenshotRequest r;
        EXPECT_EQ(parseCommandLine(bad, r, error), CommandLineMode::Invalid)
            << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

// Renders the main window on two songs, one in diatonic and one in chromatic tablature, into
// the build folder for a person to look at, and checks that the pictures hold a drawn staff.
TEST(Screenshot, MainWindowOnTwoSongsInDiatonicAndChromaticTab) {
    const struct {
        const char* song;
        int tabMode;
        const char* name;
    } shots[] = {{"choral-karaoke/twinkle.kar", 1, "screenshot-diatonic.png"},
                 {"choral-karaoke/mozart_aveverum.mid", 2, "screenshot-chromatic.png"}};
    for (const auto& shot : shots) {
        auto store = std::make_unique<MemorySettingsStore>();
        store->writeInt(kSettingsSection, "tabMode", shot.tabMode);
        TestProgram program(std::move(store));
        ScreenshotRequest request;
        request.file = corpusFile(shot.song);
        request.output = QString::fromLatin1(REEDTAB_BINARY_DIR) + "/" + shot.name;
        request.size = QSize(1280, 720);
        request.tick = 960;
        QFile::remove(request.output);
        QString error;
        ASSERT_TRUE(takeScreenshot(program.app(), request, error)) << error.toStdString();
        const QImage image(request.output);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(1280, 720));
        EXPECT_EQ(program.frame().paneText(3), positionText(program.frame().document().song, 960));
        int colours = 0;
        QSet<QRgb> seen;
        for (int y = 0; y < image.height(); y += 7) {
            for (int x = 0; x < image.width(); x += 7) {
                seen.insert(image.pixel(x, y));
            }
        }
        colours = static_cast<int>(seen.size());
        EXPECT_GT(colours, 8) << shot.name << " looks blank";
    }
}

TEST(Screenshot, MissingSongIsAnError) {
    TestProgram program;
    ScreenshotRequest request;
    request.file = QStringLiteral("/nowhere/missing.mid");
    request.output = QString::fromLatin1(REEDTAB_BINARY_DIR) + "/never.png";
    QString error;
    EXPECT_FALSE(takeScreenshot(program.app(), request, error));
    EXPECT_TRUE(error.contains("missing.mid"));
    EXPECT_FALSE(QFile::exists(request.output));
}

} // namespace
} // namespace reedtab
