// The frame's printing, print preview, PDF export and options sheet.

#include "app/mainframe.h"

#include "app/options.h"
#include "app/reedtabapp.h"
#include "document/reedtabdoc.h"
#include "settings/settings.h"
#include "transport/transport.h"
#include "view/reedtabview.h"
#include "view/songprinter.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace reedtab {

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
    dialog.setMinMax(1, printJobPages(job).pageCount);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const bool range = target.printRange() == QPrinter::PageRange;
    printSong(target, view_->painter(), job, range ? target.fromPage() : 1,
              range ? target.toPage() : 0);
}

void CMainFrame::printPreviewCommand() {
    if (transport_->isPlaying()) {
        beep();
        return;
    }
    const SongPrintJob job = printJob();
    QPrintPreviewDialog preview(&printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this, &job](QPrinter* target) { printSong(*target, view_->painter(), job); });
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
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(path);
    pdf.setPageLayout(printer().pageLayout());
    pdf.setCreator(QStringLiteral("Reedtab Midi"));
    const int pages = printSong(pdf, view_->painter(), printJob());
    if (pages < 0) {
        messageBox("Cannot write the PDF file " + path.toStdString(), "Reedtab Midi",
                   MessageIcon::Error);
    }
    return pages;
}

void CMainFrame::optionsCommand() {
    CProperties sheet(*this, app_.outputDevices(), app_.inputDevices());
    sheet.exec();
}

void CMainFrame::displayOptionsChanged() {
    view_->refreshFonts();
    refreshLayoutText();
    updateCommandStates();
}

} // namespace reedtab
