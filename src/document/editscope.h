#pragma once

// One edit of the document from start to end. Opening the scope stops the player (or, for a
// single insert while the song plays, suspends it), shows the wait cursor when asked and lets
// the undo history take the song as it is before the edit; `commit` says the edit changed the
// song and names its undo step; closing the scope records that step, sends the notices of a
// committed edit and lets the player go on. Scopes opened inside another (an edit made of
// smaller edits) join the outer one: the player is stopped and restarted once, one undo step is
// recorded and the notices go out once, at the end.
//
// Threads: the user-interface thread only.

#include "document/documentnotice.h"

namespace reedtab {

class CReedtabDoc;

class EditScope {
public:
    struct Options {
        /// Show the wait cursor during the edit.
        bool waitCursor = false;
        /// Hold the player's refills instead of stopping it (one insert while playing).
        bool suspendOnly = false;
        /// The edit is no step of the undo history: a move through it (undo, redo), or the
        /// start of a song's history. It records no step.
        bool outsideHistory = false;
    };

    /// `notices`: the `DocumentChange` bits sent when the edit is committed.
    EditScope(CReedtabDoc& doc, unsigned notices, Options options);
    EditScope(CReedtabDoc& doc, unsigned notices) : EditScope(doc, notices, Options{}) {}
    ~EditScope();
    EditScope(const EditScope&) = delete;
    EditScope& operator=(const EditScope&) = delete;

    /// The edit changed the song; `undoType` (an `UndoType`) names its undo step. With
    /// UndoNothing the change records no step of its own: it becomes part of the last step,
    /// or of the step an enclosing scope names. An enclosing scope's own name wins over the
    /// one of a scope inside it.
    void commit(int undoType);
    /// Puts the song back as it was when the outermost scope opened, for an edit the user
    /// called off once it had begun: no undo step, the last one stays, and the notices still
    /// go out since every event was replaced. False when the song could not be read back
    /// (the song then stays as the edit left it, and the caller commits it instead).
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
    int stepType_ = 0;
    bool wasPlaying_ = false;
    bool committed_ = false;
    bool rolledBack_ = false;
};

} // namespace reedtab
