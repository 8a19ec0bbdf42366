#include "app/manual.h"

#include "apptestsupport.h"
#include "dialogs/mapnotesdlg.h"
#include "dialogs/speedtrainerdlg.h"
#include "tools/monitor.h"
#include "tools/toolwindows.h"
#include "ui/commands.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

QString resourceText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList manualPages() {
    return QDir(QStringLiteral(":/manual")).entryList({QStringLiteral("*.md")}, QDir::Files);
}

// Whether "page.md#anchor" names a built-in page and, with an anchor, one of its headings.
bool pageExists(const QString& target) {
    const QString page = target.section(QLatin1Char('#'), 0, 0);
    const QString anchor = target.section(QLatin1Char('#'), 1);
    const QString text = resourceText(QStringLiteral(":/manual/") + page);
    if (text.isEmpty()) {
        return false;
    }
    if (anchor.isEmpty()) {
        return true;
    }
    static const QRegularExpression heading(QStringLiteral("^#+ (.+)$"),
                                            QRegularExpression::MultilineOption);
    for (const auto& match : heading.globalMatch(text)) {
        if (headingAnchor(match.captured(1)) == anchor) {
            return true;
        }
    }
    return false;
}

TEST(Manual, HeadingAnchorsAreTheWebPagesOwn) {
    EXPECT_EQ(headingAnchor("Tempo, loop and trainer"), "tempo-loop-and-trainer");
    EXPECT_EQ(headingAnchor("Which Harp?"), "which-harp");
    EXPECT_EQ(headingAnchor("MIDI events"), "midi-events");
    EXPECT_EQ(headingAnchor("reedtab-cli"), "reedtab-cli");
}

TEST(Manual, EveryPageIsBuiltInReachableAndItsLinksAndPicturesResolve) {
    const QStringList pages = manualPages();
    for (const char* page :
         {"index.md", "opening.md", "playing.md", "tablature.md", "harps.md", "toolwindows.md",
          "editing.md", "printing.md", "playlists.md", "commandline.md"}) {
        EXPECT_TRUE(pages.contains(QLatin1String(page))) << page;
    }
    const QString index = resourceText(QStringLiteral(":/manual/index.md"));
    static const QRegularExpression link(QStringLiteral("(!?)\\[[^\\]]*\\]\\(([^)\\s]+)\\)"));
    int checked = 0;
    for (const QString& page : pages) {
        if (page != QLatin1String("index.md")) {
            EXPECT_TRUE(index.contains(QStringLiteral("](%1)").arg(page)))
                << page.toStdString() << " unlisted";
        }
        const QString text = resourceText(QStringLiteral(":/manual/") + page);
        int pictures = 0;
        for (const auto& match : link.globalMatch(text)) {
            const QString target = match.captured(2);
            if (target.startsWith(QLatin1String("http"))) {
                continue;
            }
            ++checked;
            if (match.captured(1) == QLatin1String("!")) {
                ++pictures;
                EXPECT_TRUE(QFile::exists(QDir::cleanPath(QStringLiteral(":/manual/") + target)))
                    << page.toStdString() << ": picture " << target.toStdString();
            } else {
                const QString resolved =
                    target.startsWith(QLatin1Char('#')) ? page + target : target;
                EXPECT_TRUE(pageExists(resolved))
                    << page.toStdString() << ": link " << target.toStdString();
            }
        }
        const bool textOnly = page == QLatin1String("printing.md") ||
                              page == QLatin1String("playlists.md") ||
                              page == QLatin1String("commandline.md");
        EXPECT_TRUE(textOnly || pictures > 0) << page.toStdString() << " shows no picture";
    }
    EXPECT_GT(checked, 20) << "links and pictures found in the pages";
}

TEST(Manual, HelpTopicsOpensTheContentsInTheProgram) {
    TestProgram program;
    program.frame().action(ID_HELP_TOPICS)->trigger();
    auto* manual = program.frame().findChild<CManual*>();
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isVisible());
    EXPECT_EQ(manual->currentPage(), "index.md");
    EXPECT_TRUE(manual->browser()->toPlainText().contains("Reedtab Midi manual"));
    EXPECT_TRUE(manual->windowTitle().startsWith("Reedtab Midi manual"));

    // A link to another page, followed as a click would.
    manual->browser()->setSource(QUrl(QStringLiteral("playing.md#speed-trainer")));
    QApplication::processEvents();
    EXPECT_TRUE(manual->windowTitle().startsWith("Playing and practising"));
    EXPECT_EQ(manual->currentPage(), "playing.md#speed-trainer");
    EXPECT_TRUE(manual->browser()->toPlainText().contains("Speed trainer"));
    EXPECT_GT(manual->browser()->verticalScrollBar()->value(), 0) << "scrolled to the heading";
}

TEST(Manual, F1InAToolWindowOpensItsPage) {
    TestProgram program;
    ToolWindows& tools = program.frame().toolWindows();
    const std::pair<int, const char*> windows[] = {
        {kMonitorDiatonic, "toolwindows.md#diatonic-harmonica"},
        {kMonitorChromatic, "toolwindows.md#chromatic-harmonica"},
        {kMonitorPiano, "toolwindows.md#piano-keyboard"},
        {kMonitorMixer, "toolwindows.md#mixer"},
        {kMonitorLyrics, "toolwindows.md#lyrics"},
        {kMonitorEvents, "toolwindows.md#midi-events"},
        {kMonitorListen, "toolwindows.md#listen"},
    };
    for (const auto& [type, page] : windows) {
        ASSERT_TRUE(tools.toggle(type));
        CMonitor* window = tools.window(type);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(manualPageFor(window), page);
        EXPECT_TRUE(pageExists(QString::fromLatin1(page))) << page;
        QTest::keyClick(window, Qt::Key_F1);
        auto* manual = program.frame().findChild<CManual*>();
        ASSERT_NE(manual, nullptr);
        EXPECT_TRUE(manual->isVisible());
        EXPECT_EQ(manual->currentPage(), page);
        QApplication::processEvents();
        if (type == kMonitorListen) {
            EXPECT_GT(manual->browser()->verticalScrollBar()->value(), 0)
                << "scrolled down to the last heading";
        }
    }
    // The main window's own F1 gives the contents.
    QTest::keyClick(&program.frame(), Qt::Key_F1);
    EXPECT_EQ(program.frame().findChild<CManual*>()->currentPage(), "index.md");
}

TEST(Manual, F1InADialogOpensItsPageBesideIt) {
    TestProgram program;
    program.app().playlistCommand();
    EXPECT_EQ(manualPageFor(program.app().playlistWindow()), "playlists.md");

    CMapNotesDialog mapNotes(&program.frame());
    EXPECT_EQ(manualPageFor(&mapNotes), "editing.md#map-notes");
    EXPECT_TRUE(pageExists(manualPageFor(&mapNotes)));
    // A small entry dialog opened from a dialog takes that dialog's page.
    QDialog entry(&mapNotes);
    EXPECT_EQ(manualPageFor(&entry), "editing.md#map-notes");

    CSpeedTrainerDlg trainer(&program.frame());
    trainer.open();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::activeModalWidget(), &trainer);
    QTest::keyClick(&trainer, Qt::Key_F1);
    // The program's manual window would take no input beside a modal dialog: this one is the
    // dialog's own.
    auto* manual = trainer.findChild<CManual*>();
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isVisible());
    EXPECT_EQ(manual->currentPage(), "playing.md#speed-trainer");
    EXPECT_TRUE(pageExists(manual->currentPage()));
    trainer.reject();
}

} // namespace
} // namespace reedtab::testing
