// The frame's PDF export as the user meets it: the status bar says where the pages went, and
// a cancelled export leaves the file that was there before.

#include "apptestsupport.h"

#include "settings/settings.h"
#include "ui/commands.h"
#include "ui/commandtable.h"
#include "view/songprinter.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace reedtab {
namespace {

using testing::TestProgram;

class FrameExport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            program.app().openFile(QStringLiteral(REEDTAB_SOURCE_DIR "/examples/saints.mid")));
        settings().printBeatsPerLine = 4;
        pages = printJobPages(program.frame().printJob()).pageCount;
        ASSERT_GT(pages, 2);
        pdf = folder.filePath(QStringLiteral("saints.pdf"));
        program.frame().savePathSink = [this](const std::string&, const std::string&) {
            return pdf.toStdString();
        };
    }

    QByteArray written() const {
        QFile file(pdf);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TestProgram program;
    QTemporaryDir folder;
    QString pdf;
    int pages = 0;
};

TEST_F(FrameExport, TheStatusBarSaysWhereThePagesWent) {
    CMainFrame& frame = program.frame();
    ASSERT_TRUE(frame.commands().run(ID_FILE_EXPORT_PDF));
    EXPECT_TRUE(written().startsWith("%PDF"));
    EXPECT_EQ(
        frame.paneText(0),
        QStringLiteral("Exported %1 pages to %2").arg(pages).arg(QDir::toNativeSeparators(pdf)));
}

TEST_F(FrameExport, CancellingKeepsTheFileThatWasThere) {
    {
        QFile earlier(pdf);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier pages");
    }
    CMainFrame& frame = program.frame();
    // Cancel is pressed as soon as the run lets events through, after its first page.
    int progressDialogs = 0;
    QTimer::singleShot(0, &frame, [&] {
        for (QProgressDialog* dialog : frame.findChildren<QProgressDialog*>()) {
            ++progressDialogs;
            dialog->cancel();
        }
    });
    EXPECT_EQ(frame.exportPdfCommand(), -1);
    EXPECT_EQ(progressDialogs, 1);
    EXPECT_EQ(written(), QByteArray("earlier pages"));
    EXPECT_EQ(frame.paneText(0), QStringLiteral("PDF export cancelled"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("saints.pdf")})
        << "nothing of the cancelled run is left beside it";

    EXPECT_EQ(frame.exportPdfCommand(), pages) << "the next export runs to its end";
    EXPECT_TRUE(written().startsWith("%PDF"));
}

TEST_F(FrameExport, AFolderThatCannotBeWrittenIsSaid) {
    pdf = folder.filePath(QStringLiteral("no/such/folder/saints.pdf"));
    EXPECT_EQ(program.frame().exportPdfCommand(), -1);
    ASSERT_EQ(program.messages.size(), 1u);
    EXPECT_EQ(program.messages[0].text, "Cannot write the PDF file " + pdf.toStdString());
}

} // namespace
} // namespace reedtab
