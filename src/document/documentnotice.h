#pragma once

// What changed in the document, told to every window that subscribed (the view, the frame, the
// tool windows). A notice is sent once an edit is complete, except the one that names a note
// about to be deleted, which comes before the note goes.
//
// Threads: notices are sent on the user-interface thread, like every edit.

#include <functional>

namespace reedtab {

class MidiEvent;

/// The parts of the document a notice is about; one notice may name several.
enum DocumentChange : unsigned {
    /// A new or newly read song: every event reference is void, edit mode ends.
    SongReplaced = 1u << 0,
    /// Events were added, moved, deleted or changed (the song length may have changed).
    EventsChanged = 1u << 1,
    /// Tracks were added, deleted or renamed, or their flags changed.
    TracksChanged = 1u << 2,
    /// The begin or end mark moved.
    MarksChanged = 1u << 3,
    /// The note selection changed: see `DocumentNotice::leavingNote`.
    SelectionChanged = 1u << 4,
};

struct DocumentNotice {
    /// `DocumentChange` bits.
    unsigned changes = 0;
    /// With SelectionChanged: the note that leaves the selection because it is about to be
    /// deleted (still valid during the notice); null when the whole selection is dropped.
    const MidiEvent* leavingNote = nullptr;

    bool has(DocumentChange change) const { return (changes & change) != 0; }
};

using DocumentListener = std::function<void(const DocumentNotice&)>;

} // namespace reedtab
