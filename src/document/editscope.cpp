#include "document/editscope.h"

#include "document/documentui.h"
#include "document/reedtabdoc.h"

namespace reedtab {

EditScope::EditScope(CReedtabDoc& doc, unsigned notices, Options options)
    : doc_(doc), outer_(doc.openScope_), notices_(notices), options_(options) {
    doc_.openScope_ = this;
    if (!outer_ && !options_.suspendOnly)
        wasPlaying_ = doc_.stopPlayback();
    else if (outer_)
        wasPlaying_ = outer_->wasPlaying_;
    if (options_.waitCursor)
        doc_.ui_.setWaitCursor(true);
    if (options_.snapshot)
        snapshotTaken_ = doc_.writePendingSnapshot() == 0;
}

EditScope::~EditScope() {
    if (snapshotTaken_) {
        if (committed_)
            doc_.keepPendingSnapshot();
        else
            doc_.dropPendingSnapshot();
    }
    if (options_.waitCursor)
        doc_.ui_.setWaitCursor(false);
    doc_.openScope_ = outer_;
    if (outer_) {
        if (committed_) {
            outer_->notices_ |= notices_;
            outer_->committed_ = true;
        }
        return;
    }
    if ((committed_ || rolledBack_) && notices_ != 0)
        doc_.notify(DocumentNotice{notices_, nullptr});
    if (!options_.suspendOnly)
        doc_.restartPlayback(wasPlaying_);
}

bool EditScope::rollBack() {
    if (!snapshotTaken_)
        return false;
    snapshotTaken_ = false;
    committed_ = false;
    rolledBack_ = true;
    notices_ |= EventsChanged | TracksChanged | SelectionChanged;
    return doc_.restorePendingSnapshot();
}

void EditScope::commit(int undoType) {
    committed_ = true;
    if (snapshotTaken_)
        doc_.keepPendingSnapshot();
    if (undoType != UndoNothing)
        doc_.recordUndo(true, undoType);
}

} // namespace reedtab
