#include "app/dumpwindow.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace reedtab {

DumpWindow::DumpWindow(QWidget* owner) : QWidget(owner, Qt::Window), text_(new QPlainTextEdit) {
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont face = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // The columns of the dump line up only in a fixed-width face, whatever the system gives.
    face.setStyleHint(QFont::TypeWriter);
    face.setFixedPitch(true);
    text_->setFont(face);
    auto* save = new QPushButton(QStringLiteral("Save &As..."));
    connect(save, &QPushButton::clicked, this, &DumpWindow::saveAs);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(text_);
    resize(800, 600);
}

void DumpWindow::showDump(const QString& title, const QString& text, const QString& path) {
    setWindowTitle(title);
    text_->setPlainText(text);
    path_ = path;
    show();
    raise();
}

bool DumpWindow::saveTo(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    file.write(text_->toPlainText().toUtf8());
    return file.commit();
}

void DumpWindow::saveAs() {
    const QString path = askPath
                             ? askPath(path_)
                             : QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), path_,
                                                            QStringLiteral("Text Files (*.txt)"));
    if (path.isEmpty() || saveTo(path)) {
        return;
    }
    const QString message = QStringLiteral("Cannot write the file %1").arg(path);
    if (tell) {
        tell(message);
    } else {
        QMessageBox::warning(this, QStringLiteral("Reedtab Midi"), message);
    }
}

} // namespace reedtab
