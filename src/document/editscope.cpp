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
    if (!outer_ && !options_.outsideHistory)
        doc_.history_.prepare(doc_.song, doc_.cursorTick);
}

EditScope::~EditScope() {
    if (options_.waitCursor)
        doc_.ui_.setWaitCursor(false);
    doc_.openScope_ = outer_;
    if (outer_) {
        if (committed_) {
            outer_->notices_ |= notices_;
            outer_->committed_ = true;
            if (outer_->stepType_ == UndoNothing)
                outer_->stepType_ = stepType_;
        }
        return;
    }
    if (committed_ && !options_.outsideHistory)
        doc_.recordStep(stepType_);
    if ((committed_ || rolledBack_) && notices_ != 0)
        doc_.notify(DocumentNotice{notices_, nullptr});
    if (!options_.suspendOnly)
        doc_.restartPlayback(wasPlaying_);
}

bool EditScope::rollBack() {
    committed_ = false;
    rolledBack_ = true;
    notices_ |= EventsChanged | TracksChanged | SelectionChanged;
    return doc_.restoreBeforeEdit();
}

void EditScope::commit(int undoType) {
    committed_ = true;
    if (undoType != UndoNothing)
        stepType_ = undoType;
}

} // namespace reedtab
