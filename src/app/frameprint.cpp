// The frame's printing, print preview, PDF export and options sheet.

#include "app/mainframe.h"

#include "app/options.h"
#include "document/reedtabdoc.h"
#include "settings/settings.h"
#include "tools/toolwindows.h"
#include "transport/transport.h"
#include "view/reedtabview.h"
#include "view/songprinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStatusBar>

#include <functional>

namespace reedtab {

namespace {

// How long a print run goes before its progress shows.
constexpr int kProgressDelayMs = 500;

QString pagesText(int pages) {
    return pages == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(pages);
}

// The progress of a print run: a dialog that shows once the run lasts, blocking the program's
// windows so that nothing changes the song under the pages, with a Cancel that stops the run
// after the page being drawn. Until it shows, only events other than input are let through.
class PrintProgressDialog {
public:
    PrintProgressDialog(QWidget* parent, const QString& text)
        : dialog_(text, QStringLiteral("Cancel"), 0, 1, parent) {
        dialog_.setWindowTitle(QStringLiteral("Reedtab Midi"));
        dialog_.setWindowModality(Qt::ApplicationModal);
        dialog_.setMinimumDuration(kProgressDelayMs);
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
        dialog_.setValue(0);
    }

    // `stopping` runs when the user cancelled, before the run ends.
    PrintProgress progress(std::function<void()> stopping = {}) {
        return [this, stopping = std::move(stopping)](int done, int total) {
            dialog_.setMaximum(total);
            dialog_.setValue(done);
            if (!dialog_.isVisible()) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
            if (dialog_.wasCanceled() && stopping) {
                stopping();
            }
            return !dialog_.wasCanceled();
        };
    }

    bool cancelled() const { return dialog_.wasCanceled(); }

private:
    QProgressDialog dialog_;
};

} // namespace

QPrinter& CMainFrame::printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    return *printer_;
}

SongPrintJob CMainFrame::printJob() {
    SongPrintJob job = printJobFor(doc_->song, settings(), view_->painter());
    job.path = doc_->pathName();
    job.markBegin = doc_->markBegin;
    job.markEnd = doc_->markEnd;
    job.screenCentreStep = view_->centreStep();
    return job;
}

void CMainFrame::printCommand() {
    if (transport_->isPlaying()) {
        beep();
        return;
    }
    const SongPrintJob job = printJob();
    QPrinter& target = printer();
    QPrintDialog dialog(&target, this);
    const int pageCount = printJobPages(job).pageCount;
    dialog.setMinMax(1, pageCount);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const bool range = target.printRange() == QPrinter::PageRange;
    const int fromPage = range ? target.fromPage() : 1;
    const int toPage = range ? target.toPage() : 0;
    PrintProgressDialog progress(this, QStringLiteral("Printing..."));
    const int printed = printSong(target, view_->painter(), job, fromPage, toPage,
                                  progress.progress([&target] { target.abort(); }));
    const QString file = target.outputFileName();
    if (printed < 0) {
        messageBox("Cannot print on " + target.printerName().toStdString(), "Reedtab Midi",
                   MessageIcon::Error);
    } else if (progress.cancelled()) {
        if (!file.isEmpty()) {
            QFile::remove(file);
        }
        statusBar()->showMessage(
            QStringLiteral("Printing cancelled after %1").arg(pagesText(printed)));
    } else if (!file.isEmpty()) {
        statusBar()->showMessage(QStringLiteral("Printed %1 to %2").arg(pagesText(printed), file));
    } else {
        statusBar()->showMessage(
            QStringLiteral("Printed %1 on %2").arg(pagesText(printed), target.printerName()));
    }
}

void CMainFrame::printPreviewCommand() {
    if (transport_->isPlaying()) {
        beep();
        return;
    }
    const SongPrintJob job = printJob();
    QPrintPreviewDialog preview(&printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this, &job, &preview](QPrinter* target) {
                PrintProgressDialog progress(&preview, QStringLiteral("Preparing the preview..."));
                printSong(*target, view_->painter(), job, 1, 0, progress.progress());
            });
    preview.exec();
}

void CMainFrame::printSetupCommand() {
    QPageSetupDialog dialog(&printer(), this);
    dialog.exec();
}

int CMainFrame::exportPdfCommand() {
    if (transport_->isPlaying()) {
        beep();
        return -1;
    }
    QString suggested = QString::fromStdString(doc_->pathName());
    if (!suggested.isEmpty()) {
        suggested = QFileInfo(suggested).dir().filePath(QFileInfo(suggested).completeBaseName() +
                                                        QStringLiteral(".pdf"));
    }
    QString path;
    if (savePathSink) {
        path = QString::fromStdString(savePathSink("Export PDF", suggested.toStdString()));
    } else {
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Export PDF"), suggested,
                                            QStringLiteral("PDF Files (*.pdf)"));
    }
    if (path.isEmpty()) {
        return -1;
    }
    // The pages go to a file beside the chosen one that takes its name only when they are all
    // written: a cancelled or failed export leaves what was there before.
    QSaveFile file(path);
    int pages = -1;
    PrintProgressDialog progress(this, QStringLiteral("Exporting PDF..."));
    if (file.open(QIODevice::WriteOnly)) {
        QPdfWriter pdf(&file);
        pdf.setPageLayout(printer().pageLayout());
        pdf.setCreator(QStringLiteral("Reedtab Midi"));
        pdf.setTitle(QFileInfo(QString::fromStdString(doc_->pathName())).fileName());
        pages = printSong(pdf, view_->painter(), printJob(), 1, 0, progress.progress());
    }
    if (progress.cancelled()) {
        file.cancelWriting();
        statusBar()->showMessage(QStringLiteral("PDF export cancelled"));
        return -1;
    }
    if (pages < 0 || !file.commit()) {
        messageBox("Cannot write the PDF file " + path.toStdString(), "Reedtab Midi",
                   MessageIcon::Error);
        return -1;
    }
    statusBar()->showMessage(
        QStringLiteral("Exported %1 to %2").arg(pagesText(pages), QDir::toNativeSeparators(path)));
    return pages;
}

void CMainFrame::optionsCommand() {
    CProperties sheet(*this, outputDevices_, inputDevices_);
    sheet.exec();
}

void CMainFrame::displayOptionsChanged() {
    view_->refreshFonts();
    tools_->applyColours();
    refreshLayoutText();
    updateCommandStates();
}

} // namespace reedtab
