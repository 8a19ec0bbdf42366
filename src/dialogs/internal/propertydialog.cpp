#include "dialogs/internal/propertydialog.h"

#include "document/documentnotice.h"
#include "document/documentui.h"
#include "document/editscope.h"
#include "document/reedtabdoc.h"

#include <QCloseEvent>

#include <algorithm>

namespace reedtab {

CPropertyDialog::CPropertyDialog(CReedtabDoc& doc, DocumentUi& ui, int undoType, QWidget* parent)
    : QDialog(parent), doc_(doc), ui_(ui), undoType_(undoType) {
    scope_ = std::make_unique<EditScope>(doc_, EventsChanged | TracksChanged);
}

CPropertyDialog::~CPropertyDialog() {
    finish(false);
}

void CPropertyDialog::done(int result) {
    finish(result == QDialog::Accepted);
    QDialog::done(result);
}

// The lists already show every change made, so a user closing the window may well expect to
// keep them, or to drop them as from a dialog that was called off: only the user knows.
void CPropertyDialog::closeEvent(QCloseEvent* event) {
    if (!changed_ && !pendingChanges()) {
        QDialog::closeEvent(event);
        return;
    }
    switch (ui_.askYesNoCancel("Keep the changes?", windowTitle().toStdString())) {
    case Answer::Yes:
        accept();
        event->accept();
        break;
    case Answer::No:
        reject();
        event->accept();
        break;
    case Answer::Cancel:
        event->ignore();
        break;
    }
}

int CPropertyDialog::barCount() const {
    return std::max(1, static_cast<int>(doc_.song.barTable.size()));
}

QString CPropertyDialog::positionText(int32_t tick) const {
    return QString::fromStdString(formatBarBeatTick(doc_.song.tickToBarBeatTick(tick)));
}

void CPropertyDialog::finish(bool keep) {
    if (!scope_)
        return;
    // Changes that could not be put back stay, as one undo step like those kept by OK.
    if (changed_ && (keep || !scope_->rollBack()))
        scope_->commit(undoType_);
    scope_.reset();
}

} // namespace reedtab
