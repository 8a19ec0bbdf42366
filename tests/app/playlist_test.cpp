#include "app/playlist.h"
#include "app/playlistmodel.h"
#include "apptestsupport.h"
#include "settings/settings.h"

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

class FakeHost : public PlaylistHost {
public:
    PlaylistModel& playlist() override { return model; }
    bool openFile(const QString& path) override {
        opened.push_back(path.toStdString());
        const bool ok = !failing.contains(path);
        if (!model.fromPlaylist) {
            model.replace({path.toStdString()});
        }
        model.fromPlaylist = false;
        model.refreshSelection = false;
        return ok;
    }
    bool newDocument() override { return allowNew; }
    void repaintMainWindow() override { ++repaints; }
    SettingsStore& store() override { return memory; }
    void playlistWindowClosed() override { closed = true; }

    PlaylistModel model;
    MemorySettingsStore memory;
    std::vector<std::string> opened;
    QStringList failing;
    bool allowNew = true;
    int repaints = 0;
    bool closed = false;
};

class PlayListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        host.model.replace({"/s/0.mid", "/s/1.mid", "/s/2.mid", "/s/3.mid", "/s/4.mid"});
        window = new CPlayList(host);
        window->resize(500, 300);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    void TearDown() override { delete window.data(); }

    QStringList lines() const {
        QStringList out;
        for (int i = 0; i < window->listBox()->count(); ++i) {
            out << window->listBox()->item(i)->text();
        }
        return out;
    }

    QPoint centreOf(int row) const {
        return window->listBox()->visualItemRect(window->listBox()->item(row)).center();
    }

    void drag(int from, QPoint to) {
        QWidget* viewport = window->listBox()->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, centreOf(from));
        QMouseEvent move(QEvent::MouseMove, QPointF(to), viewport->mapToGlobal(QPointF(to)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    }

    FakeHost host;
    QPointer<CPlayList> window;
};

TEST_F(PlayListWindow, ShowsEveryEntryAndSelectsTheCurrentOne) {
    host.model.setCurrentIndex(3);
    window->refresh(true);
    EXPECT_EQ(window->windowTitle(), "Reedtab Midi PlayList");
    EXPECT_EQ(lines(), (QStringList{"/s/0.mid", "/s/1.mid", "/s/2.mid", "/s/3.mid", "/s/4.mid"}));
    EXPECT_EQ(window->listBox()->currentRow(), 3);
}

TEST_F(PlayListWindow, DraggingTheCurrentLineToTheTopMakesItCurrentAtZero) {
    host.model.setCurrentIndex(4);
    window->refresh(true);
    drag(4, centreOf(0));
    EXPECT_EQ(lines().front(), "/s/4.mid");
    EXPECT_EQ(host.model.entries().front(), "/s/4.mid");
    EXPECT_EQ(host.model.currentIndex(), 0);
    EXPECT_EQ(window->listBox()->currentRow(), 0);
}

TEST_F(PlayListWindow, DraggingLineZeroOntoLineFourPutsItAtThree) {
    host.model.setCurrentIndex(2);
    window->refresh(true);
    drag(0, centreOf(4));
    EXPECT_EQ(lines(), (QStringList{"/s/1.mid", "/s/2.mid", "/s/3.mid", "/s/0.mid", "/s/4.mid"}));
    EXPECT_EQ(host.model.currentIndex(), 1);
}

TEST_F(PlayListWindow, DroppingOnTheNextLineDoesNothing) {
    drag(1, centreOf(2));
    EXPECT_EQ(lines(), (QStringList{"/s/0.mid", "/s/1.mid", "/s/2.mid", "/s/3.mid", "/s/4.mid"}));
    EXPECT_TRUE(host.opened.empty());
}

TEST_F(PlayListWindow, DeleteKeyRemovesTheFocusedLine) {
    host.model.setCurrentIndex(3);
    window->refresh(true);
    window->listBox()->setCurrentRow(1);
    window->listBox()->setFocus();
    QTest::keyClick(window->listBox(), Qt::Key_Delete);
    EXPECT_EQ(lines(), (QStringList{"/s/0.mid", "/s/2.mid", "/s/3.mid", "/s/4.mid"}));
    EXPECT_EQ(host.model.currentIndex(), 2);
    EXPECT_EQ(host.model.currentEntry(), "/s/3.mid");
}

TEST_F(PlayListWindow, DoubleClickOpensTheLineAndAFailureRestoresTheIndex) {
    host.model.setCurrentIndex(1);
    window->refresh(true);
    QTest::mouseClick(window->listBox()->viewport(), Qt::LeftButton, {}, centreOf(3));
    QTest::mouseDClick(window->listBox()->viewport(), Qt::LeftButton, {}, centreOf(3));
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened.back(), "/s/3.mid");
    EXPECT_EQ(host.model.currentIndex(), 3);
    EXPECT_EQ(host.model.count(), 5) << "an open from the playlist keeps the list";

    host.failing << "/s/0.mid";
    window->openLine(0);
    EXPECT_EQ(host.opened.back(), "/s/0.mid");
    EXPECT_EQ(host.model.currentIndex(), 3);
    EXPECT_EQ(window->listBox()->currentRow(), 3);
}

TEST_F(PlayListWindow, EnterOpensTheSelectedLine) {
    window->listBox()->setCurrentRow(2);
    QTest::keyClick(window->listBox(), Qt::Key_Return);
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened.back(), "/s/2.mid");
    window->listBox()->setCurrentRow(1);
    QTest::keyClick(window->listBox(), Qt::Key_Enter);
    ASSERT_EQ(host.opened.size(), 2u);
    EXPECT_EQ(host.opened.back(), "/s/1.mid");
    EXPECT_TRUE(window->isVisible());
}

TEST_F(PlayListWindow, SaveThenLoadIntoAnEmptyListOpensTheSavedIndex) {
    QTemporaryDir dir;
    const QString path = dir.filePath("three.lst");
    host.model.replace({"/s/a.mid", "/s/b.mid", "/s/c.mid"});
    host.model.setCurrentIndex(1);
    window->refresh(false);
    ASSERT_TRUE(window->savePlaylist(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("REEDTAB_PLAYLIST 1\n/s/a.mid\n/s/b.mid\n/s/c.mid\n"));

    host.model.clear();
    window->refresh(false);
    ASSERT_TRUE(window->loadPlaylist(path));
    EXPECT_EQ(host.opened, std::vector<std::string>{"/s/b.mid"});
    EXPECT_EQ(host.model.count(), 3);
    EXPECT_EQ(host.model.currentIndex(), 1);

    ASSERT_TRUE(window->loadPlaylist(path));
    EXPECT_EQ(host.model.count(), 6) << "loading into a filled list appends";
    EXPECT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(window->listBox()->count(), 6);
}

TEST_F(PlayListWindow, SavingAnEmptyListOrLoadingAForeignFileChangesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.lst");
    host.model.clear();
    window->refresh(false);
    EXPECT_FALSE(window->savePlaylist(path));
    EXPECT_FALSE(QFile::exists(path));

    QFile foreign(dir.filePath("foreign.lst"));
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly));
    foreign.write("/s/a.mid\n/s/b.mid\n");
    foreign.close();
    EXPECT_FALSE(window->loadPlaylist(foreign.fileName()));
    EXPECT_TRUE(host.model.empty());
    EXPECT_TRUE(host.opened.empty());
}

TEST_F(PlayListWindow, AddIntoEmptyListOpensTheFirstFileElseAppends) {
    host.model.clear();
    window->refresh(false);
    window->addFiles({"/n/x.mid", "/n/y.mid"});
    EXPECT_EQ(host.opened, std::vector<std::string>{"/n/x.mid"});
    EXPECT_EQ(host.model.count(), 2);
    window->addFiles({"/n/z.mid"});
    EXPECT_EQ(host.model.count(), 3);
    EXPECT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(window->listBox()->count(), 3);
}

TEST_F(PlayListWindow, ClearNeedsTheNewDocument) {
    host.allowNew = false;
    window->clearList();
    EXPECT_EQ(host.model.count(), 5);
    host.allowNew = true;
    window->clearList();
    EXPECT_TRUE(host.model.empty());
    EXPECT_EQ(window->listBox()->count(), 0);
    EXPECT_EQ(host.repaints, 1);
}

TEST_F(PlayListWindow, PositionIsSavedOnCloseAndPulledBackOnScreen) {
    window->setGeometry(40, 50, 600, 220);
    window->close();
    QApplication::processEvents();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(host.closed);
    const auto x1 = host.memory.readInt(kWindowSection, "List.x1");
    const auto x2 = host.memory.readInt(kWindowSection, "List.x2");
    ASSERT_TRUE(x1 && x2);
    EXPECT_EQ(*x1, 40);
    EXPECT_EQ(*x2 - *x1, 600);

    host.memory.writeInt(kWindowSection, "List.x1", 100000);
    host.memory.writeInt(kWindowSection, "List.x2", 100600);
    window = new CPlayList(host);
    const QSize screen = QApplication::primaryScreen()->size();
    EXPECT_LE(window->geometry().left(), screen.width() - 32);
    EXPECT_EQ(window->geometry().width(), 600);
}

} // namespace
} // namespace reedtab
