#pragma once

// One edit of the document from start to end. Opening the scope stops the player (or, for a
// single insert while the song plays, suspends it), shows the wait cursor when asked and takes
// the undo snapshot when asked; `commit` records the undo step and the modified flag; closing
// the scope sends the notices of a committed edit, drops the snapshot of one that was not, and
// lets the player go on. Scopes opened inside another (an edit made of smaller edits) join the
// outer one: the player is stopped and restarted once and the notices go out once, at the end.
//
// Threads: the user-interface thread only.

#include "document/documentnotice.h"

namespace reedtab {

class CReedtabDoc;

class EditScope {
public:
    struct Options {
        /// Write the undo snapshot before the edit.
        bool snapshot = false;
        /// Show the wait cursor during the edit.
        bool waitCursor = false;
        /// Hold the player's refills instead of stopping it (one insert while playing).
        bool suspendOnly = false;
    };

    /// `notices`: the `DocumentChange` bits sent when the edit is committed.
    EditScope(CReedtabDoc& doc, unsigned notices, Options options);
    EditScope(CReedtabDoc& doc, unsigned notices) : EditScope(doc, notices, Options{}) {}
    ~EditScope();
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;

    /// The edit changed the song. Records one undo step of `undoType` (an `UndoType`;
    /// UndoNothing records none) and keeps the snapshot taken for it.
    void commit(int undoType);
    /// Puts the song back as the snapshot this scope took found it, for an edit the user
    /// called off once it had begun: no undo step, the last one stays, and the notices still
    /// go out since every event was replaced. False when this scope took no snapshot (the
    /// song then stays as the edit left it, and the caller commits it instead) or when the
    /// snapshot could not be read back.
    bool rollBack();
    /// Adds notices to those sent at the end.
    void notify(unsigned changes) { notices_ |= changes; }
    /// True when the player was playing when the outermost scope opened.
    bool wasPlaying() const { return wasPlaying_; }

private:
    CReedtabDoc& doc_;
    EditScope* outer_;
    unsigned notices_;
    Options options_;
    bool wasPlaying_ = false;
    bool committed_ = false;
    bool rolledBack_ = false;
    bool snapshotTaken_ = false;
};

} // namespace reedtab
