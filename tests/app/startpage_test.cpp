#include "view/startpage.h"

#include "apptestsupport.h"
#include "document/reedtabdoc.h"
#include "view/reedtabview.h"

#include <QCommandLinkButton>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace reedtab::testing {
namespace {

CStartPage* startPage(TestProgram& program) {
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return program.frame().view().findChild<CStartPage*>();
}

QCommandLinkButton* linkTo(CStartPage& page, const QString& path) {
    for (auto* link : page.findChildren<QCommandLinkButton*>()) {
        if (link->toolTip() == path) {
            return link;
        }
    }
    return nullptr;
}

TEST(StartPage, ExamplesAndRecentFilesOneClickAwayUntilASongIsOpen) {
    TestProgram program;
    const QString recent = corpusFile("choral-karaoke/test.mid");
    program.app().addRecentFile(recent);
    program.app().showStartPage();
    CStartPage* page = startPage(program);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->isVisible());
    EXPECT_EQ(page->geometry(), program.frame().view().viewport()->rect()) << "covers the staff";

    const QStringList examples = exampleSongs();
    ASSERT_EQ(examples.size(), 3);
    for (const char* name : {"amazing-grace.kar", "oh-susanna.mid", "saints.mid"}) {
        EXPECT_TRUE(examples.filter(QLatin1String(name)).size() == 1) << name;
    }
    EXPECT_EQ(page->songLinks(), examples + QStringList{recent});

    // The application's file dialog would wait for a user; the spy hears the request alone.
    QObject::disconnect(page, &CStartPage::openDialogRequested, nullptr, nullptr);
    QSignalSpy openDialog(page, &CStartPage::openDialogRequested);
    auto* open = page->findChild<QPushButton*>(QStringLiteral("openSong"));
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->text(), "Open a song...");
    open->click();
    EXPECT_EQ(openDialog.count(), 1);

    QCommandLinkButton* link = linkTo(*page, recent);
    ASSERT_NE(link, nullptr);
    link->click();
    EXPECT_EQ(program.frame().document().pathName(), recent.toStdString());
    EXPECT_EQ(startPage(program), nullptr) << "gone once the song is open";
}

TEST(StartPage, StaysForAnEmptySongAndGoesWithABegunOne) {
    TestProgram program;
    program.app().showStartPage();
    ASSERT_NE(startPage(program), nullptr);

    // A song that does not read leaves the page for another choice.
    program.app().openFile(corpusFile("jazz-soft/test-empty-file.mid"));
    program.app().newDocument();
    EXPECT_NE(startPage(program), nullptr);

    // What edit mode does first on an empty song: the song's first track.
    ASSERT_EQ(program.frame().document().makeSongSkeleton(), 0);
    EXPECT_EQ(startPage(program), nullptr) << "a song begun on the staff";
}

} // namespace
} // namespace reedtab::testing
