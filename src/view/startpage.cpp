#include "view/startpage.h"

#include "document/reedtabdoc.h"

#include <QAbstractScrollArea>
#include <QCommandLinkButton>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace reedtab {

CStartPage::CStartPage(QAbstractScrollArea& view, CReedtabDoc& doc, const QStringList& examples,
                       const QStringList& recentFiles)
    : QWidget(view.viewport()), doc_(doc) {
    setObjectName(QStringLiteral("startPage"));
    setAutoFillBackground(true);
    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    auto* panel = new QWidget(scroll);
    auto* centre = new QHBoxLayout(panel);
    auto* column = new QVBoxLayout;
    centre->addStretch(1);
    centre->addLayout(column, 3);
    centre->addStretch(1);

    auto* title = new QLabel(QStringLiteral("Reedtab Midi"), panel);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    title->setFont(big);
    column->addWidget(title);
    column->addWidget(new QLabel(
        QStringLiteral("Open a MIDI or karaoke song to see it as harmonica tablature and play "
                       "along. F1 opens the manual."),
        panel));
    auto* open = new QPushButton(QStringLiteral("Open a song..."), panel);
    open->setObjectName(QStringLiteral("openSong"));
    open->setDefault(true);
    connect(open, &QPushButton::clicked, this, &CStartPage::openDialogRequested);
    column->addWidget(open, 0, Qt::AlignLeft);

    songs_ = column;
    addSongs(QStringLiteral("Example songs"), examples, false);
    addSongs(QStringLiteral("Recent files"), recentFiles, true);
    column->addStretch(1);
    scroll->setWidget(panel);

    view.viewport()->installEventFilter(this);
    setGeometry(view.viewport()->rect());
    listener_ = doc_.subscribe([this](const DocumentNotice&) {
        if (!doc_.song.tracks.empty()) {
            hide();
            deleteLater();
        }
    });
    show();
}

CStartPage::~CStartPage() {
    doc_.unsubscribe(listener_);
}

void CStartPage::addSongs(const QString& heading, const QStringList& paths, bool withFolder) {
    if (paths.isEmpty()) {
        return;
    }
    auto* label = new QLabel(QStringLiteral("<b>%1</b>").arg(heading));
    label->setContentsMargins(0, 12, 0, 0);
    songs_->addWidget(label);
    for (const QString& path : paths) {
        const QFileInfo info(path);
        auto* link = new QCommandLinkButton(
            info.fileName(), withFolder ? QDir::toNativeSeparators(info.path()) : QString());
        link->setToolTip(path);
        connect(link, &QCommandLinkButton::clicked, this,
                [this, path] { emit openRequested(path); });
        songs_->addWidget(link);
        links_ << path;
    }
}

bool CStartPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == parent()) {
        setGeometry(static_cast<QWidget*>(watched)->rect());
    }
    return QWidget::eventFilter(watched, event);
}

QStringList exampleSongs() {
    const QStringList folders = {
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/reedtab/examples"),
        QStringLiteral(REEDTAB_SOURCE_EXAMPLES),
    };
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QStringList songs = dir.entryList({QStringLiteral("*.mid"), QStringLiteral("*.kar")},
                                                QDir::Files, QDir::Name);
        if (!songs.isEmpty()) {
            QStringList paths;
            for (const QString& song : songs) {
                paths << QDir::cleanPath(dir.absoluteFilePath(song));
            }
            return paths;
        }
    }
    return {};
}

} // namespace reedtab
