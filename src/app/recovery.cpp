#include "app/recovery.h"

#include "app/mainframe.h"
#include "document/reedtabdoc.h"

#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTemporaryFile>

#include <chrono>

namespace reedtab {

namespace {

std::int64_t secondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

CRecovery::CRecovery(CMainFrame& frame, const std::string& folder, int seconds)
    : frame_(frame), store_(folder) {
    timer_.setInterval(std::chrono::seconds(seconds));
    connect(&timer_, &QTimer::timeout, this, &CRecovery::autosave);
    // The frame marks its window modified exactly when the document's flag changes, whatever
    // changed it (an edit, undo, save, a new or newly opened song).
    frame_.installEventFilter(this);
    if (seconds > 0) {
        modifiedChanged(frame_.document().isModified());
    }
}

CRecovery::~CRecovery() {
    frame_.removeEventFilter(this);
}

bool CRecovery::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &frame_ && event->type() == QEvent::ModifiedChange) {
        modifiedChanged(frame_.isWindowModified());
    }
    return QObject::eventFilter(watched, event);
}

void CRecovery::modifiedChanged(bool modified) {
    if (!modified) {
        timer_.stop();
        store_.discard();
    } else if (timer_.interval() > 0 && !timer_.isActive()) {
        timer_.start();
    }
}

bool CRecovery::autosave() {
    CReedtabDoc& doc = frame_.document();
    if (!doc.isModified()) {
        store_.discard();
        return false;
    }
    const std::string bytes = doc.song.fileBytes();
    // A song with nothing to write (no tracks left) keeps the last file written.
    return !bytes.empty() && store_.write(doc.pathName(), bytes, secondsNow()) == RecoveryOk;
}

bool CRecovery::askRestore(const RecoveredSong& song) {
    const QString name = song.originalPath().empty()
                             ? QStringLiteral("Untitled")
                             : QFileInfo(QString::fromStdString(song.originalPath())).fileName();
    const QString time =
        QLocale().toString(QDateTime::fromSecsSinceEpoch(song.savedAt()), QLocale::ShortFormat);
    const QString text = QStringLiteral("Restore unsaved changes to %1 from %2?").arg(name, time);
    const QString caption = QStringLiteral("Reedtab Midi");
    if (frame_.questionSink) {
        return frame_.questionSink(text.toStdString(), caption.toStdString(), false) == Answer::Yes;
    }
    return QMessageBox::question(&frame_, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool CRecovery::offerRecovered() {
    for (const auto& song : store_.takeOrphans()) {
        if (!askRestore(*song)) {
            song->remove();
            continue;
        }
        CReedtabDoc& doc = frame_.document();
        if (!doc.askToSave()) {
            return false;
        }
        // The reader takes a file: the song goes through a private temporary one.
        QTemporaryFile file;
        const QByteArray bytes = QByteArray::fromStdString(song->songBytes());
        const bool staged = file.open() && file.write(bytes) == bytes.size() && file.flush();
        if (!staged ||
            doc.openRecovered(file.fileName().toStdString(), song->originalPath()) != 0) {
            return false;
        }
        frame_.refreshFrame();
        // Kept again as this program's before the old file goes.
        autosave();
        song->remove();
        return true;
    }
    return false;
}

} // namespace reedtab
