#include "dialogs/aboutdlg.h"

#include "document/product.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace reedtab {

CAboutDlg::CAboutDlg(const QString& version, const QString& buildDate, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Reedtab Midi"));
    auto* layout = new QVBoxLayout(this);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/app/reedtab.svg")).pixmap(48, 48));
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    const QString texts[] = {
        QStringLiteral("Reedtab Midi %1").arg(version),
        QStringLiteral("Release Built on %1").arg(buildDate),
        QStringLiteral("Copyright (C) Reedtab Software"),
        QStringLiteral("Harmonica tablature for every MIDI file."),
    };
    for (const auto& text : texts) {
        auto* line = new QLabel(text, this);
        line->setObjectName(QStringLiteral("aboutLine"));
        layout->addWidget(line);
    }

    const QString url = QString::fromLatin1(kProductWebAddress);
    auto* web = new QPushButton(url, this);
    web->setAutoDefault(false);
    connect(web, &QPushButton::clicked, this, [this, url] { emit webPageRequested(url); });
    layout->addWidget(web);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QStringList CAboutDlg::lines() const {
    QStringList out;
    for (const auto* line : findChildren<QLabel*>(QStringLiteral("aboutLine"))) {
        out << line->text();
    }
    return out;
}

} // namespace reedtab
