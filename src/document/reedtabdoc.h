#pragma once

// The open song as a document: new, open, save, reload support, undo and redo, the clip of Cut,
// Copy and Paste, and every edit of the song. It reaches the user only through `DocumentUi` and the
// player only through `PlayerControl`, so every edit runs headless in tests and in reedtab-cli.
//
// Threads: the user-interface thread only. Every edit stops the player first (or suspends it
// around a single insert while playing), so the player's thread never sees a song mid-change.

#include "document/documentnotice.h"
#include "document/undohistory.h"
#include "model/midisong.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {

class DocumentUi;
class EditScope;
class HarmonicaLayout;
class PlayerControl;
struct FingeringOptions;

/// The kinds of undoable edit: the name of an undo step.
enum UndoType : int {
    UndoNothing = 0,
    UndoTranspose = 1,
    UndoTrackProperties = 2,
    UndoAddedNote = 3,
    UndoAddedText = 4,
    UndoInsertedSilence = 5,
    UndoDeletedSelection = 6,
    UndoEdit = 7,
    UndoPaste = 8,
};

/// The description of an undo type as the Undo and Redo menus show it; "" for 0 and
/// out-of-range types.
const char* undoDescription(int type);

/// How `addNoteFromEntry` reads its arguments.
enum NoteEntryType : int {
    EntryWholeNote = 0,   ///< a note-on and its note-off one note length later
    EntryKeyReleased = 1, ///< the note-off of a held key
    EntryKeyPressed = 2,  ///< the note-on of a key that is held down
    EntryProgram = 5,     ///< a program change, program = key
    EntryPitchWheel = 7,  ///< a pitch-wheel event, data1 = key, data2 = value
};

class CReedtabDoc {
public:
    /// `ui` and `player` must outlive the document.
    CReedtabDoc(DocumentUi& ui, PlayerControl& player);
    ~CReedtabDoc();
    CReedtabDoc(const CReedtabDoc&) = delete;
    CReedtabDoc& operator=(const CReedtabDoc&) = delete;

    // ---- Fields (read by the view, the frame and the dialogs; set by the edit toolbar) ----

    /// The one song, owned for the document's whole life.
    MidiSong song;
    /// The selection marks in ticks; -1 = not set.
    int32_t markBegin = -1;
    int32_t markEnd = -1;
    /// The edit cursor (step-entry position) in ticks.
    int32_t cursorTick = 0;
    /// Track index that receives new events (0 = none chosen), their channel 0..15, and the
    /// velocity of mouse-written notes.
    int16_t editTrack = 0;
    int16_t editChannel = 0;
    int16_t editVelocity = 100;
    /// How long a step-entered note sounds and the silence after it (ticks); the edit toolbar
    /// computes them from the note value.
    int32_t soundingTicks = 0;
    int32_t gapTicks = 0;
    /// Whether a click on empty staff writes a note.
    bool mouseWrite = false;

    /// The marks in force when the pending transposition began.
    int32_t transposeFrom = -1;
    int32_t transposeTo = -1;
    /// Half steps transposed since then.
    int16_t transposeAmount = 0;
    /// Which tracks that transposition touched.
    std::array<bool, 128> transposedTracks{};
    /// Note-ons entered from held keys whose note-off has not arrived yet (not owned).
    std::vector<MidiEvent*> pendingNoteOns;

    // ---- Lifecycle ----

    /// New document: stops playback, empties everything, play position 0, refreshes the frame.
    void newDocument();
    /// Opens `path` with progress. The file is read aside and takes the open song's place only
    /// once it was read: on failure the open song, its file, marks, undo history and modified
    /// flag stay as they were, and "Error reading file" names the file and the reason. Returns
    /// the reader's result code (0 read).
    int openDocument(const std::string& path);
    /// Opens a song recovered after the program ended with unsaved changes: reads `recovered`
    /// as Open does, then makes `originalPath` ("" for a song never saved) the document's file
    /// and marks the song modified, so that Save writes it there. Returns the reader's result.
    int openRecovered(const std::string& recovered, const std::string& originalPath);
    /// New document holding the song `build` makes in the emptied song (an imported file): no
    /// file yet and modified, so that closing it asks where to save it. The caller asks to
    /// save the open song first, as for New.
    void newDocumentFrom(const std::function<void(MidiSong&)>& build);
    /// Saves to the user's file (`pathName`); false after the "Error writing file" box.
    bool saveDocument();
    /// Save As: saves to `path`, which becomes the document's file on success.
    bool saveDocumentAs(const std::string& path);
    /// Before closing or replacing the document: asks to save a modified song. False when the
    /// user cancelled or the save failed.
    bool askToSave();
    /// The user's file the document was read from or saved to ("" for a new document). Undo
    /// and redo never change it.
    const std::string& pathName() const { return pathName_; }
    /// The name shown in the "save changes" question: the file name, or "Untitled".
    std::string title() const;
    /// The Reload command is enabled when the song has at least one track.
    bool canReload() const;

    // ---- Notices ----

    /// `listener` hears every notice from now on; returns the id that `unsubscribe` takes.
    int subscribe(DocumentListener listener);
    void unsubscribe(int id);
    /// Sends `notice` to every listener, in the order they subscribed.
    void notify(const DocumentNotice& notice);

    /// The framework's modified flag: set by every edit, cleared by a save and by undoing or
    /// redoing back to the state that was saved.
    bool isModified() const { return modified_; }
    void setModified(bool modified);

    // ---- Undo and redo ----

    /// True while an edit scope is open.
    bool editing() const { return openScope_ != nullptr; }
    /// Forgets every undo and redo step.
    void resetUndo();
    void resetContents();
    /// Undo and Redo commands: one step back or forward. False after the "Sorry, can't undo"
    /// (or redo) box.
    bool undo();
    bool redo();
    /// The `UndoType` of the step Undo or Redo would take; UndoNothing when there is none.
    int undoType() const { return history_.undoType(); }
    int redoType() const { return history_.redoType(); }
    /// "Undo %s\tCtrl+Z" or "Nothing to Undo\tCtrl+Z"; "Redo %s\tCtrl+Y" or
    /// "Nothing to Redo\tCtrl+Y".
    std::string undoMenuText() const;
    std::string redoMenuText() const;
    bool undoEnabled() const;
    bool redoEnabled() const;
    /// The steps, for their counts and size.
    const UndoHistory& history() const { return history_; }

    // ---- Cut, Copy and Paste ----

    /// Copies to the clip the selected `notes` (note-ons, each with its note-off) when there
    /// are any, else what Cut takes out of the marked range: the tracks selected for editing,
    /// the parts of notes inside the range, and every other event there except controllers,
    /// programs, tempos, signatures, names and ends of track. Returns 0; -1, with the clip as
    /// it was, when there is nothing to copy.
    int copySelection(const std::vector<MidiEvent*>& notes = {});
    /// There is something to copy: the song has tracks and a mark is set or notes are selected.
    bool canCopy(bool notesSelected) const;
    /// Pastes the clip at `tick`: each event on the track of the same index it was copied
    /// from, at its distance from the start of what was copied (scaled to this song's
    /// division); tracks the song does not have are left out and counted in `*skippedTracks`.
    /// Later events stay where they are; notes are paired again. One "Paste" step. Returns the
    /// number of events pasted (0, and no step, when every track of the clip was left out);
    /// -1 when refused (no clip, no tracks, a tick below 0 or past the last one a song can
    /// hold).
    int paste(int32_t tick, int* skippedTracks = nullptr);
    /// There is a clip and a song to paste it into.
    bool canPaste() const;
    /// The clip: a Standard MIDI File of the copied events, one track chunk for each track
    /// index up to the last one copied from, starting at tick 0. It outlives the song it was
    /// copied from. "" before the first copy.
    const std::string& clip() const { return clip_; }

    // ---- Edits ----

    /// Transposes every track (`allTracks`) or every shown track over the marks by `halfSteps`
    /// and extends or starts the pending transposition. Returns -1 when refused (0 half steps,
    /// no tracks), else 0.
    int transposeCommand(int halfSteps, bool allTracks);
    /// Mark Beginning / Mark Ending from the bar:beat:tick entry (bar and beat from 1). Return
    /// -1 without tracks.
    int markBeginning(int bar, int beat, int tick);
    int markEnding(int bar, int beat, int tick);
    /// The same with a tick.
    int markBeginningAt(int32_t tick);
    int markEndingAt(int32_t tick);
    /// Crop to the marks; -1 when the song has no tracks or no mark is set.
    int crop();
    /// Cut: copies (`copySelection`), then deletes the selected `notes` when there are any,
    /// else the marked range from the tracks selected for editing; one "Deleted Selection"
    /// step. -1 when refused (no tracks, no mark and no notes).
    int cut(const std::vector<MidiEvent*>& notes = {});
    /// Delete: removes `selectedNote` when the view has one selected, else the marked range
    /// with the gap closed. -1 when there is nothing to delete.
    int deleteSelection(MidiEvent* selectedNote = nullptr);
    /// Inserts silence at `cursorTick` of `bars` bars (of the bar there), `beats` quarters and
    /// `ticks` ticks. -1 when refused (no tracks, playing, no positive length).
    int insertSilence(int bars, int beats, int ticks);

    /// Adds `event` at `tick` to the track; records "Added Note". Returns the merged-list
    /// position or -1 for a bad track index (the event is then dropped).
    int addEventEdit(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event);
    /// Adds a text event; records "Added Text". Non-zero when no event could be made.
    int addTextEdit(int trackIndex, int32_t tick, const std::string& text);
    /// Deletes `event` and its partner; records "Edit". -1 for no event.
    int deleteEventEdit(MidiEvent* event);
    /// Makes a note-on use the way of playing it that `fingering` chooses (the harmonica's
    /// `fingeringFor`; 0: the preferred one again) wherever it is shown, played or printed, and
    /// in the saved file; one undo step. -1 when `noteOn` is no note-on or nothing changes.
    int chooseFingering(MidiEvent* noteOn, std::uint16_t fingering);
    /// Gives the notes of track `trackIndex` over the marks the fingerings of the least costly
    /// way of playing them on `layout` (`optimizeFingerings` of songedits.h), as one "Edit"
    /// step. Returns the number of notes whose fingering changed; -1 for a bad track index or
    /// when none changed (no step then).
    int optimizeFingeringsEdit(int trackIndex, const HarmonicaLayout& layout,
                               const FingeringOptions& options);
    /// Deletes the notes (note-ons, each with its note-off) as one "Edit" step: the view's
    /// Delete key on its selection. -1 when none could be deleted.
    int deleteNotes(const std::vector<MidiEvent*>& notes);
    /// Deletes a track: an "Edit" step when `withUndo`, else part of the enclosing edit's step.
    /// -1 when refused.
    int deleteTrackEdit(int trackIndex, bool withUndo);
    /// which 0: the key (the partner follows); which 1: the velocity.
    void setNoteValue(MidiEvent* event, int value, int which);
    /// Replaces the payload of `event` with `length` bytes.
    void replaceEventData(MidiEvent* event, uint32_t length, const void* data);
    /// Bakes the track's `volumePercent` into its velocities over the marks: an "Edit" step
    /// when `withUndo`, else part of the enclosing edit's step. -1 for a bad index.
    int applyTrackVolumeEdit(int trackIndex, bool withUndo);
    /// Bakes the playback tempo `percent` into the tempo events. -1 when there is nothing to do.
    int applyTempoScaleEdit(int percent);
    /// Map notes over the marks (-1 = any / untouched, as in the dialog); an "Edit" step.
    int mapNotes(int channel, int fromKey, int toKey, int startPercent, int endPercent);
    /// Moves the selected notes (note-ons) by `tickOffset` and `keyOffset`; `resizedNote`, when
    /// set, gets `newLength`. With `ownStep` the move is an "Edit" step; without, it joins the
    /// last step (the stretch of a note just written is part of writing it).
    void moveSelectedNotes(const std::vector<MidiEvent*>& notes, int32_t tickOffset, int keyOffset,
                           MidiEvent* resizedNote, int32_t newLength, bool ownStep);
    /// Adds a note of `length` ticks (at least 1) at `tick` to the track: a note-on with
    /// `velocity` and its note-off, paired, recorded as one "Added Note". Returns the note-on,
    /// or null for a bad track index.
    MidiEvent* addNoteEdit(int trackIndex, int32_t tick, int channel, int key, int velocity,
                           int32_t length);
    /// A note, key, program or bend from the keyboard or a tool window, at `cursorTick` in
    /// `editTrack` (`NoteEntryType`). Returns the added event, or null when nothing was added.
    MidiEvent* addNoteFromEntry(int key, int value, int channel, int entryType);
    /// Adds the displayed tablature (shown tracks, over the marks, in the current notation) as
    /// a new track of text events. -1 when refused or declined.
    int tablatureToTextTrack();

    /// The first track of an empty song, so that edit mode has a song to write into: format 1,
    /// division 192, 4/4, C major, 120 bpm. The player takes its timing. -1 when the song has
    /// tracks already. Not undoable: the song it starts is where its history begins.
    int makeSongSkeleton();
    /// False, after the "Maximun number of tracks reached" box, when the song has 128 tracks.
    bool roomForTrack();
    /// Appends a track on `channel` (0..15), named `name` with a track-name event unless it is
    /// empty, and makes it the edit track on that channel; undoable as "Edit". Returns its
    /// index, or -1 when refused (no first track, 128 tracks).
    int addNewTrack(int channel, const std::string& name);

    // ---- Edits of the property dialogs ----
    // Each stops the player and sends its notices like any edit but records no undo step of
    // its own: a property dialog makes them inside one EditScope of its own, which records
    // one step for all of them or rolls them all back.

    /// Adds `event` at `tick` to the track. Returns the merged-list position (-1 for a kind
    /// outside that list), or -1 for a bad track index (the event is then dropped).
    int insertEvent(int trackIndex, int32_t tick, std::unique_ptr<MidiEvent> event);
    /// Deletes `event` with its partner. -1 for no event or one of no track of the song.
    int removeEvent(MidiEvent* event);
    /// Sets the main value of `event` (`MidiEvent::setValue`: microseconds per quarter for a
    /// tempo). -1 for no event.
    int setEventValue(MidiEvent* event, int value);
    /// Puts every channel event of the track on `channel` (0..15), which becomes the track's
    /// only channel. -1 for a bad track index or channel.
    int setTrackChannel(int trackIndex, int channel);
    /// Renames the track and its track-name event. -1 for a bad track index.
    int renameTrack(int trackIndex, const std::string& name);
    /// Moves track `from` to place `to` of the track list; the edit track follows the tracks.
    /// -1 for an index outside the list.
    int moveTrack(int from, int to);

    // ---- Track state ----
    // Mute, solo, shown, selected and volume change only here: the mixer, the view's note menu
    // and the frame call these. They are no edits: the events stay, no undo step is recorded
    // and the song plays on (the player reads the flags and volumes as atomics). A flag change
    // sends one TracksChanged notice when it changed something; a volume sends none, since only
    // the mixer shows it and a notice would reset every tool window while the song plays.

    /// Sets (`on`) or clears the bits of `flags` (TrackShown, TrackSelected, TrackMuted) on the
    /// track at `trackIndex`. -1 for a bad index or other bits.
    int setTrackFlag(int trackIndex, std::uint16_t flags, bool on);
    /// The bits of `flags` become set on every track whose index `on` marks and cleared on the
    /// others (the tracks past the end of `on` too). -1 for other bits.
    int setTrackFlags(std::uint16_t flags, const std::vector<bool>& on);
    /// Shows the track at `trackIndex` alone (hidden tracks stay unselected as they were). -1
    /// for a bad index.
    int showTrackOnly(int trackIndex);
    /// Shows every track again.
    void showAllTracks();
    /// The track's volume percentage, 0..255 (clamped; the mixer's slider gives 0..200). -1
    /// for a bad index.
    int setTrackVolume(int trackIndex, int percent);

private:
    friend class EditScope;

    bool stopPlayback();
    void restartPlayback(bool wasPlaying);
    void forgetEventReferences();
    void refreshNoteFlags();
    // Adds an event, holding the player's refills around it while the song plays.
    int addEventHeld(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event);

    // ---- Undo history (its own block: the edits reach it only through EditScope) ----

    // A committed edit: a step of `type`, or with UndoNothing a change that joins the last step.
    void recordStep(int type);
    // The song as it was before the open edit (an edit rolled back); false when it could not
    // be read back.
    bool restoreBeforeEdit();
    // Undo (back) or redo.
    bool moveInHistory(bool back);

    DocumentUi& ui_;
    PlayerControl& player_;
    std::string pathName_;
    bool modified_ = false;
    EditScope* openScope_ = nullptr;
    int nextListenerId_ = 1;
    std::vector<std::pair<int, DocumentListener>> listeners_;
    UndoHistory history_;
    // Cut, Copy and Paste: the events copied last, kept across songs.
    std::string clip_;
};

} // namespace reedtab
