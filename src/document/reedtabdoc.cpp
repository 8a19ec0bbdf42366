#include "document/reedtabdoc.h"

#include "document/documentui.h"
#include "document/editscope.h"
#include "document/playercontrol.h"
#include "document/product.h"
#include "document/songclip.h"
#include "document/songedits.h"
#include "harmonica/notation.h"
#include "harmonica/tablaturetext.h"
#include "model/midiconstants.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>

namespace reedtab {

namespace {

constexpr const char* kErrorReading = "Error reading file";
constexpr const char* kErrorWriting = "Error writing file";
constexpr int kMaxTracks = 128;

int32_t latestTick(const MidiSong& song) {
    int32_t latest = song.length;
    for (const auto& track : song.tracks)
        for (const auto& event : track->events)
            latest = std::max(latest, event->tick);
    return latest;
}

// A deletion may take the song's last event: the song then ends with the one before.
void endAtLastEvent(MidiSong& song) {
    const int32_t last = song.mergedEvents.empty() ? 0 : song.mergedEvents.back()->tick;
    if (last != song.length) {
        song.length = last;
        song.rebuildBars();
    }
}

std::string formatStatus(int amount) {
    char text[64];
    std::snprintf(text, sizeof text, "transposed %d half steps", amount);
    return text;
}

// "Error reading file", the file and why, for a file that could not be read.
std::string readErrorText(const std::string& path, int result, const std::string& detail) {
    std::string text = std::string(kErrorReading) + " \"" + path + "\":\n" + loadResultText(result);
    if (!detail.empty())
        text += " (" + detail + ")";
    return text + ".";
}

} // namespace

const char* undoDescription(int type) {
    static constexpr const char* kDescriptions[] = {
        "",           "Transpose",        "Track properties",  "Added Note",
        "Added Text", "Inserted Silence", "Deleted Selection", "Edit",
        "Paste"};
    if (type < 0 || type >= static_cast<int>(std::size(kDescriptions)))
        return "";
    return kDescriptions[type];
}

CReedtabDoc::CReedtabDoc(DocumentUi& ui, PlayerControl& player) : ui_(ui), player_(player) {}

CReedtabDoc::~CReedtabDoc() = default;

// ---- Lifecycle ----

bool CReedtabDoc::stopPlayback() {
    bool wasPlaying = player_.isPlaying();
    if (wasPlaying)
        player_.stop();
    return wasPlaying;
}

void CReedtabDoc::restartPlayback(bool wasPlaying) {
    if (wasPlaying)
        player_.restart();
}

int CReedtabDoc::subscribe(DocumentListener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void CReedtabDoc::unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void CReedtabDoc::notify(const DocumentNotice& notice) {
    // A listener may subscribe or leave while it hears the notice.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners)
        listener(notice);
}

void CReedtabDoc::setModified(bool modified) {
    if (modified == modified_)
        return;
    modified_ = modified;
    ui_.modifiedChanged(modified);
}

void CReedtabDoc::refreshNoteFlags() {
    markNotes(song, settings().showDrumsNotes);
}

void CReedtabDoc::forgetEventReferences() {
    pendingNoteOns.clear();
}

void CReedtabDoc::newDocument() {
    stopPlayback();
    resetContents();
    pathName_.clear();
    setModified(false);
    player_.setPosition(0);
    notify({SongReplaced | EventsChanged | TracksChanged | MarksChanged | SelectionChanged});
}

int CReedtabDoc::openDocument(const std::string& path) {
    const bool wasPlaying = stopPlayback();
    ui_.beginProgress();
    MidiSong read;
    const int result = read.loadFile(path, [this](int percent) { ui_.setProgress(percent); });
    ui_.endProgress();
    if (result != LoadOk) {
        ui_.messageBox(readErrorText(path, result, read.errorText), kProductName,
                       MessageIcon::Exclamation);
        restartPlayback(wasPlaying);
        return result;
    }
    // The open song goes first, so that no more than two songs are ever held.
    resetContents();
    song.swap(read);
    pathName_ = path;
    player_.setPosition(0);
    if (song.truncated)
        ui_.messageBox(MidiSong::truncationWarning, MidiSong::truncationCaption,
                       MessageIcon::Exclamation);
    player_.setSongTiming(song.division, song.tempoAt(0));
    refreshNoteFlags();
    setModified(false);
    notify({SongReplaced | EventsChanged | TracksChanged | MarksChanged | SelectionChanged});
    restartPlayback(wasPlaying);
    return result;
}

int CReedtabDoc::openRecovered(const std::string& recovered, const std::string& originalPath) {
    const int result = openDocument(recovered);
    if (result == LoadOk) {
        pathName_ = originalPath;
        song.path = originalPath;
        setModified(true);
    }
    return result;
}

void CReedtabDoc::newDocumentFrom(const std::function<void(MidiSong&)>& build) {
    stopPlayback();
    resetContents();
    pathName_.clear();
    player_.setPosition(0);
    build(song);
    player_.setSongTiming(song.division, song.tempoAt(0));
    refreshNoteFlags();
    setModified(true);
    notify({SongReplaced | EventsChanged | TracksChanged | MarksChanged | SelectionChanged});
}

bool CReedtabDoc::saveDocument() {
    if (pathName_.empty()) {
        std::string path = ui_.askSavePath(title());
        if (path.empty())
            return false;
        return saveDocumentAs(path);
    }
    return saveDocumentAs(pathName_);
}

bool CReedtabDoc::saveDocumentAs(const std::string& path) {
    stopPlayback();
    if (song.saveFile(path) != SaveOk) {
        ui_.messageBox(kErrorWriting, kProductName, MessageIcon::Exclamation);
        return false;
    }
    pathName_ = path;
    history_.markSaved();
    setModified(false);
    return true;
}

std::string CReedtabDoc::title() const {
    if (pathName_.empty())
        return "Untitled";
    return std::filesystem::path(pathName_).filename().string();
}

bool CReedtabDoc::askToSave() {
    if (!modified_)
        return true;
    bool wasPlaying = stopPlayback();
    Answer answer = ui_.askYesNoCancel("Save changes to " + title() + "?", kProductName);
    if (answer == Answer::Cancel)
        return false;
    if (answer == Answer::Yes && !saveDocument())
        return false;
    restartPlayback(wasPlaying);
    return true;
}

bool CReedtabDoc::canReload() const {
    return !song.tracks.empty();
}

// ---- Undo ----

void CReedtabDoc::recordStep(int type) {
    if (type == UndoNothing) {
        const size_t steps = history_.undoCount();
        history_.amend(UndoEdit, song, cursorTick);
        // The pending transposition came back to where it began: its step is gone.
        if (history_.undoCount() < steps)
            transposeAmount = 0;
    } else {
        history_.record(type, song, cursorTick);
        // A later edit supersedes the pending transposition: a further transposition starts
        // a step of its own.
        if (type != UndoTranspose)
            transposeAmount = 0;
    }
    setModified(!history_.atSavedState());
}

bool CReedtabDoc::restoreBeforeEdit() {
    notify({SelectionChanged, nullptr});
    forgetEventReferences();
    const bool read = history_.restore(song, cursorTick);
    refreshNoteFlags();
    return read;
}

void CReedtabDoc::resetUndo() {
    transposeAmount = 0;
    ui_.setStatusText("");
    history_.clear(!modified_);
}

void CReedtabDoc::resetContents() {
    song.clear();
    pendingNoteOns.clear();
    markBegin = -1;
    markEnd = -1;
    cursorTick = 0;
    editTrack = 0;
    editChannel = 0;
    editVelocity = 100;
    setModified(false);
    resetUndo();
}

bool CReedtabDoc::undo() {
    return moveInHistory(true);
}

bool CReedtabDoc::redo() {
    return moveInHistory(false);
}

bool CReedtabDoc::moveInHistory(bool back) {
    if (back ? history_.undoCount() == 0 : history_.redoCount() == 0) {
        ui_.messageBox(back ? "Sorry, can't undo" : "Sorry, can't redo", back ? "Undo" : "Redo",
                       MessageIcon::None);
        return false;
    }
    EditScope scope(*this, EventsChanged | TracksChanged | SelectionChanged,
                    {.waitCursor = true, .outsideHistory = true});
    // Every event is replaced: the view lets go of its selection while the notes still exist.
    notify({SelectionChanged, nullptr});
    forgetEventReferences();
    const bool moved = back ? history_.undo(song, cursorTick) : history_.redo(song, cursorTick);
    if (!moved) {
        ui_.messageBox(back ? "Sorry, can't undo" : "Sorry, can't redo", back ? "Undo" : "Redo",
                       MessageIcon::None);
        return false;
    }
    refreshNoteFlags();
    if (!song.track(editTrack))
        editTrack = 0;
    player_.setSongTiming(song.division, song.tempoAt(0));
    transposeAmount = 0;
    ui_.setStatusText("");
    setModified(!history_.atSavedState());
    scope.commit(UndoNothing);
    return true;
}

std::string CReedtabDoc::undoMenuText() const {
    std::string description = undoDescription(undoType());
    if (description.empty())
        return "Nothing to Undo\tCtrl+Z";
    return "Undo " + description + "\tCtrl+Z";
}

std::string CReedtabDoc::redoMenuText() const {
    std::string description = undoDescription(redoType());
    if (description.empty())
        return "Nothing to Redo\tCtrl+Y";
    return "Redo " + description + "\tCtrl+Y";
}

bool CReedtabDoc::undoEnabled() const {
    return *undoDescription(undoType()) != '\0';
}

bool CReedtabDoc::redoEnabled() const {
    return *undoDescription(redoType()) != '\0';
}

// ---- Cut, Copy and Paste ----

int CReedtabDoc::copySelection(const std::vector<MidiEvent*>& notes) {
    std::string copied;
    if (!notes.empty())
        copied = copyNotes(song, notes);
    else if (markBegin != -1 || markEnd != -1)
        copied = copyRange(song, markBegin, markEnd);
    if (copied.empty())
        return -1;
    clip_ = std::move(copied);
    return 0;
}

bool CReedtabDoc::canCopy(bool notesSelected) const {
    return !song.tracks.empty() && (notesSelected || markBegin != -1 || markEnd != -1);
}

int CReedtabDoc::paste(int32_t tick, int* skippedTracks) {
    if (!canPaste() || tick < 0)
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    const int pasted = pasteClip(song, clip_, tick, skippedTracks);
    if (pasted <= 0)
        return pasted;
    forgetEventReferences();
    refreshNoteFlags();
    scope.commit(UndoPaste);
    return pasted;
}

bool CReedtabDoc::canPaste() const {
    return !clip_.empty() && !song.tracks.empty();
}

// ---- Edits ----

int CReedtabDoc::transposeCommand(int halfSteps, bool allTracks) {
    if (halfSteps == 0)
        return -1;
    if (song.tracks.empty() || song.loading) {
        ui_.beep();
        return -1;
    }
    const int count = std::min(song.trackCount(), kMaxTracks);
    auto touches = [&](int i) { return allTracks || isTrackShown(song, i); };

    bool sameTracks = true;
    for (int i = 0; i < count; ++i)
        sameTracks = sameTracks && transposedTracks[i] == touches(i);
    // Transpositions in a row over the same marks and tracks are one step; a step that ends at
    // the saved song is left as it is.
    const bool extend = transposeAmount != 0 && markBegin == transposeFrom &&
                        markEnd == transposeTo && sameTracks && undoType() == UndoTranspose &&
                        history_.canAmend();
    {
        EditScope scope(*this, EventsChanged);
        if (allTracks) {
            transpose(song, halfSteps, -1, markBegin, markEnd);
        } else {
            for (int i = 0; i < count; ++i) {
                if (touches(i))
                    transpose(song, halfSteps, i, markBegin, markEnd);
            }
        }
        if (extend) {
            transposeAmount = static_cast<int16_t>(transposeAmount + halfSteps);
            scope.commit(UndoNothing);
        } else {
            for (int i = 0; i < kMaxTracks; ++i)
                transposedTracks[i] = i < count && touches(i);
            transposeFrom = markBegin;
            transposeTo = markEnd;
            transposeAmount = static_cast<int16_t>(halfSteps);
            scope.commit(UndoTranspose);
        }
    }
    ui_.setStatusText(transposeAmount != 0 ? formatStatus(transposeAmount) : "");
    return 0;
}

int CReedtabDoc::markBeginningAt(int32_t tick) {
    if (song.tracks.empty())
        return -1;
    markBegin = tick;
    if (markEnd != -1 && markBegin >= markEnd)
        markEnd = -1;
    notify({MarksChanged});
    return 0;
}

int CReedtabDoc::markEndingAt(int32_t tick) {
    if (song.tracks.empty())
        return -1;
    markEnd = tick;
    if (markBegin == -1 || markBegin >= markEnd)
        markBegin = 0;
    notify({MarksChanged});
    return 0;
}

int CReedtabDoc::markBeginning(int bar, int beat, int tick) {
    if (song.tracks.empty())
        return -1;
    return markBeginningAt(song.barBeatTickToTick(bar, beat, tick));
}

int CReedtabDoc::markEnding(int bar, int beat, int tick) {
    if (song.tracks.empty())
        return -1;
    return markEndingAt(song.barBeatTickToTick(bar, beat, tick));
}

int CReedtabDoc::crop() {
    if (song.tracks.empty() || (markBegin == -1 && markEnd == -1))
        return -1;
    EditScope scope(*this, EventsChanged | MarksChanged | SelectionChanged, {.waitCursor = true});
    cropRange(song, markBegin, markEnd);
    forgetEventReferences();
    player_.setPosition(0);
    markBegin = -1;
    markEnd = -1;
    cursorTick = 0;
    refreshNoteFlags();
    scope.commit(UndoEdit);
    return 0;
}

int CReedtabDoc::cut(const std::vector<MidiEvent*>& notes) {
    if (song.tracks.empty() || (notes.empty() && markBegin == -1 && markEnd == -1))
        return -1;
    copySelection(notes);
    if (!notes.empty()) {
        EditScope scope(*this, EventsChanged);
        if (deleteNotes(notes) != 0)
            return -1;
        scope.commit(UndoDeletedSelection);
        return 0;
    }
    EditScope scope(*this, EventsChanged | MarksChanged | SelectionChanged);
    deleteRange(song, markBegin, markEnd, false);
    forgetEventReferences();
    markBegin = -1;
    markEnd = -1;
    refreshNoteFlags();
    scope.commit(UndoDeletedSelection);
    return 0;
}

int CReedtabDoc::deleteSelection(MidiEvent* selectedNote) {
    if (!selectedNote && (song.tracks.empty() || (markBegin == -1 && markEnd == -1)))
        return -1;
    EditScope scope(*this, EventsChanged);
    if (selectedNote) {
        if (deleteEventEdit(selectedNote) != 0)
            return -1;
        scope.commit(UndoNothing);
    } else {
        deleteRange(song, markBegin, markEnd, true);
        forgetEventReferences();
        refreshNoteFlags();
        scope.notify(SelectionChanged);
        scope.commit(UndoDeletedSelection);
    }
    return 0;
}

int CReedtabDoc::insertSilence(int bars, int beats, int ticks) {
    if (song.tracks.empty())
        return -1;
    int32_t length = silenceLengthAt(song, cursorTick, bars, beats, ticks);
    // Ticks are 32-bit: silence that would move any event past the last one is refused, not
    // wrapped. Signatures and names may lie beyond the song's length.
    if (length <= 0 || int64_t{latestTick(song)} + length > std::numeric_limits<int32_t>::max())
        return -1;
    EditScope scope(*this, EventsChanged);
    insertSilenceAt(song, cursorTick, length);
    forgetEventReferences();
    refreshNoteFlags();
    scope.commit(UndoInsertedSilence);
    return 0;
}

int CReedtabDoc::addEventEdit(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event) {
    if (!event || !song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged, {.suspendOnly = true});
    int position = addEventHeld(tick, trackIndex, std::move(event));
    scope.commit(UndoAddedNote);
    return position;
}

int CReedtabDoc::addEventHeld(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event) {
    bool playing = player_.isPlaying();
    if (playing)
        player_.suspend();
    int position = song.addEvent(tick, trackIndex, std::move(event));
    liftEndOfTrack(song, trackIndex);
    if (playing)
        player_.resume(position);
    return position;
}

int CReedtabDoc::addTextEdit(int trackIndex, int32_t tick, const std::string& text) {
    if (!song.track(trackIndex))
        return 1;
    EditScope scope(*this, EventsChanged);
    if (!song.addTextEvent(trackIndex, tick, text))
        return 1;
    liftEndOfTrack(song, trackIndex);
    scope.commit(UndoAddedText);
    return 0;
}

int CReedtabDoc::deleteEventEdit(MidiEvent* event) {
    EditScope scope(*this, EventsChanged);
    int result = removeEvent(event);
    if (result == 0)
        scope.commit(UndoEdit);
    return result;
}

int CReedtabDoc::deleteNotes(const std::vector<MidiEvent*>& notes) {
    EditScope scope(*this, EventsChanged);
    bool deleted = false;
    for (MidiEvent* note : notes) {
        if (removeEvent(note) == 0)
            deleted = true;
    }
    if (!deleted)
        return -1;
    scope.commit(UndoEdit);
    return 0;
}

int CReedtabDoc::removeEvent(MidiEvent* event) {
    if (!event)
        return -1;
    EditScope scope(*this, EventsChanged);
    notify({SelectionChanged, event});
    MidiEvent* partner = event->partner;
    if (partner)
        notify({SelectionChanged, partner});
    std::erase_if(pendingNoteOns,
                  [&](const MidiEvent* e) { return e == event || (partner && e == partner); });
    int result = song.deleteEvent(event);
    endAtLastEvent(song);
    if (result == 0)
        scope.commit(UndoNothing);
    return result;
}

int CReedtabDoc::chooseFingering(MidiEvent* noteOn, std::uint16_t fingering) {
    if (!noteOn || !noteOn->isNoteOn() || fingering == noteOn->fingering)
        return -1;
    EditScope scope(*this, EventsChanged);
    noteOn->fingering = fingering;
    scope.commit(UndoEdit);
    return 0;
}

int CReedtabDoc::optimizeFingeringsEdit(int trackIndex, const HarmonicaLayout& layout,
                                        const FingeringOptions& options) {
    if (!song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged, {.waitCursor = true});
    const int changed = optimizeFingerings(song, trackIndex, markBegin, markEnd, layout, options);
    if (changed <= 0)
        return -1;
    scope.commit(UndoEdit);
    return changed;
}

int CReedtabDoc::insertEvent(int trackIndex, int32_t tick, std::unique_ptr<MidiEvent> event) {
    if (!event || !song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged);
    int position = song.addEvent(tick, trackIndex, std::move(event));
    liftEndOfTrack(song, trackIndex);
    scope.commit(UndoNothing);
    return position;
}

int CReedtabDoc::setEventValue(MidiEvent* event, int value) {
    if (!event)
        return -1;
    EditScope scope(*this, EventsChanged);
    event->setValue(value);
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::setTrackChannel(int trackIndex, int channel) {
    MidiTrack* track = song.track(trackIndex);
    if (!track || channel < 0 || channel > 15)
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    for (const auto& event : track->events) {
        if (event->kind() & KindFamilyChannel)
            event->status = static_cast<uint16_t>((event->status & 0xF0) | channel);
    }
    track->channels.assign(1, static_cast<uint8_t>(channel));
    // Drums are drawn or not by their channel.
    refreshNoteFlags();
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::renameTrack(int trackIndex, const std::string& name) {
    if (!song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    song.setTrackName(trackIndex, name);
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::moveTrack(int from, int to) {
    if (!song.track(from) || !song.track(to))
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    song.moveTrack(from, to);
    if (editTrack == from)
        editTrack = static_cast<int16_t>(to);
    else if (from < to && editTrack > from && editTrack <= to)
        --editTrack;
    else if (to < from && editTrack >= to && editTrack < from)
        ++editTrack;
    // The pending transposition names its tracks by place.
    transposeAmount = 0;
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::deleteTrackEdit(int trackIndex, bool withUndo) {
    if (!song.track(trackIndex) || song.trackCount() <= 1)
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged | SelectionChanged);
    notify({SelectionChanged, nullptr});
    int result = song.deleteTrack(trackIndex);
    endAtLastEvent(song);
    forgetEventReferences();
    // Pending transposition flags and the edit track are by index. The first track is only
    // emptied; any other leaves the array and the tracks after it move down.
    transposeAmount = 0;
    if (result == 0 && trackIndex > 0) {
        if (editTrack == trackIndex)
            editTrack = 0;
        else if (editTrack > trackIndex)
            --editTrack;
    }
    if (result == 0)
        scope.commit(withUndo ? UndoEdit : UndoNothing);
    return result;
}

void CReedtabDoc::setNoteValue(MidiEvent* event, int value, int which) {
    if (!event)
        return;
    auto byte = static_cast<uint16_t>(value & 0x7F);
    if (which == 0) {
        if (event->data1 != byte)
            event->fingering = 0; // chosen for the old pitch
        event->data1 = byte;
        if (event->partner)
            event->partner->data1 = byte;
    } else if (which == 1) {
        event->data2 = byte;
    }
}

void CReedtabDoc::replaceEventData(MidiEvent* event, uint32_t length, const void* data) {
    if (event)
        event->setData(data, length);
}

int CReedtabDoc::applyTrackVolumeEdit(int trackIndex, bool withUndo) {
    if (!song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    applyTrackVolume(song, trackIndex, markBegin, markEnd);
    scope.commit(withUndo ? UndoEdit : UndoNothing);
    return 0;
}

int CReedtabDoc::applyTempoScaleEdit(int percent) {
    if (song.tempoList.empty() || percent <= 0)
        return -1;
    EditScope scope(*this, EventsChanged);
    applyTempoScale(song, percent);
    player_.setSongTiming(song.division, song.tempoAt(0));
    scope.commit(UndoEdit);
    return 0;
}

int CReedtabDoc::mapNotes(int channel, int fromKey, int toKey, int startPercent, int endPercent) {
    if (song.tracks.empty())
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    int changed = reedtab::mapNotes(song, channel, fromKey, toKey, startPercent, endPercent,
                                    markBegin, markEnd);
    refreshNoteFlags();
    scope.commit(UndoEdit);
    return changed;
}

void CReedtabDoc::moveSelectedNotes(const std::vector<MidiEvent*>& notes, int32_t tickOffset,
                                    int keyOffset, MidiEvent* resizedNote, int32_t newLength,
                                    bool ownStep) {
    // The notes stay selected: their frames follow them on EventsChanged.
    EditScope scope(*this, EventsChanged);
    std::vector<int> touchedTracks;
    for (MidiEvent* on : notes) {
        if (!on || !on->partner || !on->track)
            continue;
        MidiEvent* off = on->partner;
        int trackIndex = song.trackIndexOf(on->track);
        if (trackIndex < 0)
            continue;
        // A note end dragged before its start would leave a note-off ahead of its note-on.
        bool resize = on == resizedNote && newLength > 0;
        // Ticks are 32-bit: a move or a stretch stops where the note-off reaches the last tick.
        constexpr int64_t lastTick = std::numeric_limits<int32_t>::max();
        if (tickOffset != 0) {
            auto length = static_cast<int32_t>(
                std::min<int64_t>(resize ? newLength : on->duration, lastTick));
            auto onTick = static_cast<int32_t>(
                std::clamp<int64_t>(int64_t{on->tick} + tickOffset, 0, lastTick - length));
            std::unique_ptr<MidiEvent> ownedOn = song.unlinkEvent(on);
            std::unique_ptr<MidiEvent> ownedOff = song.unlinkEvent(off);
            song.addEvent(onTick, trackIndex, std::move(ownedOn));
            song.addEvent(onTick + length, trackIndex, std::move(ownedOff));
            on->duration = length;
        } else if (resize) {
            auto length = static_cast<int32_t>(std::min<int64_t>(newLength, lastTick - on->tick));
            song.moveEvent(off, on->tick + length);
            on->duration = length;
        }
        if (keyOffset != 0) {
            // Keys stop at the ends of the MIDI range instead of wrapping round.
            setNoteValue(on, std::clamp(on->data1 + keyOffset, 0, 127), 0);
        }
        touchedTracks.push_back(trackIndex);
    }
    for (int trackIndex : touchedTracks)
        liftEndOfTrack(song, trackIndex);
    // The moved note may have been the song's last event, or may now be.
    endAtLastEvent(song);
    scope.commit(ownStep ? UndoEdit : UndoNothing);
}

MidiEvent* CReedtabDoc::addNoteEdit(int trackIndex, int32_t tick, int channel, int key,
                                    int velocity, int32_t length) {
    if (!song.track(trackIndex) || length < 1)
        return nullptr;
    EditScope scope(*this, EventsChanged, {.suspendOnly = true});
    const auto ch = static_cast<uint8_t>(channel & 0x0F);
    const auto k = static_cast<uint8_t>(key & 0x7F);
    auto on =
        makeChannelEvent(static_cast<uint8_t>(0x90 | ch), k, static_cast<uint8_t>(velocity & 0x7F));
    auto off = makeChannelEvent(static_cast<uint8_t>(0x80 | ch), k, 0);
    MidiEvent* onEvent = on.get();
    MidiEvent* offEvent = off.get();
    onEvent->duration = length;
    onEvent->partner = offEvent;
    offEvent->partner = onEvent;
    onEvent->isNote = ch != kDrumChannel || settings().showDrumsNotes ? 1 : 0;
    addEventHeld(tick, trackIndex, std::move(on));
    addEventHeld(tick + length, trackIndex, std::move(off));
    scope.commit(UndoAddedNote);
    return onEvent;
}

MidiEvent* CReedtabDoc::addNoteFromEntry(int key, int value, int channel, int entryType) {
    if (!song.track(editTrack))
        return nullptr;
    EditScope scope(*this, EventsChanged, {.suspendOnly = true});
    const int trackIndex = editTrack;
    const auto ch = static_cast<uint8_t>(channel & 0x0F);
    const auto k = static_cast<uint8_t>(key & 0x7F);
    const auto v = static_cast<uint8_t>(value & 0x7F);
    const bool marked = ch != kDrumChannel || settings().showDrumsNotes;
    MidiEvent* result = nullptr;
    switch (entryType) {
    case EntryWholeNote: {
        // A note of no length would be dropped by the next pairing pass.
        const int32_t length = std::max<int32_t>(1, soundingTicks);
        result = addNoteEdit(trackIndex, cursorTick, ch, k, v, length)->partner;
        // Undoing the note brings the cursor back to where the note was entered.
        cursorTick += length + gapTicks;
        break;
    }
    case EntryKeyPressed: {
        auto on = makeChannelEvent(static_cast<uint8_t>(0x90 | ch), k, v);
        MidiEvent* onEvent = on.get();
        onEvent->isNote = marked ? 1 : 0;
        addEventEdit(cursorTick, trackIndex, std::move(on));
        pendingNoteOns.push_back(onEvent);
        result = onEvent;
        break;
    }
    case EntryKeyReleased: {
        auto off = makeChannelEvent(static_cast<uint8_t>(0x80 | ch), k, 0);
        MidiEvent* offEvent = off.get();
        MidiTrack* track = song.track(trackIndex);
        auto match =
            std::find_if(pendingNoteOns.rbegin(), pendingNoteOns.rend(), [&](const MidiEvent* on) {
                return on->channel() == ch && on->data1 == k && on->track == track;
            });
        addEventEdit(cursorTick, trackIndex, std::move(off));
        if (match != pendingNoteOns.rend()) {
            MidiEvent* on = *match;
            on->duration = offEvent->tick - on->tick;
            on->partner = offEvent;
            offEvent->partner = on;
            pendingNoteOns.erase(std::next(match).base());
        }
        result = offEvent;
        break;
    }
    case EntryProgram: {
        auto program = makeChannelEvent(static_cast<uint8_t>(0xC0 | ch), k, 0);
        result = program.get();
        addEventEdit(cursorTick, trackIndex, std::move(program));
        break;
    }
    case EntryPitchWheel: {
        auto bend = makeChannelEvent(static_cast<uint8_t>(0xE0 | ch), k, v);
        result = bend.get();
        addEventEdit(cursorTick, trackIndex, std::move(bend));
        break;
    }
    default:
        return nullptr;
    }
    scope.commit(UndoNothing);
    return result;
}

int CReedtabDoc::tablatureToTextTrack() {
    if (song.tracks.empty() || !roomForTrack())
        return -1;
    if (!ui_.askYesNo("This command will create a new track with a text event for every "
                      "displayed note\nDo you want to continue?",
                      "Tablature to Text Track"))
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged, {.waitCursor = true});
    // Taken before the new track exists, so the tablature never reads its own track.
    const SongTablature tablature = tablatureText(song, notation(), markBegin, markEnd);

    const std::string name = std::string("Tablature by ") + kProductName;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    const int index = song.trackCount() - 1;
    song.tracks.back()->index = index;
    song.tracks.back()->name = name;
    addEventEdit(0, index, makeTrackNameEvent(name));
    song.addTextEvent(index, 0, "@T" + name);
    std::string title;
    notation().tabTitle(false, title);
    song.addTextEvent(index, 0, "@T" + title);

    int32_t endTick = std::max<int32_t>(0, tablature.endTick);
    for (const TrackTablature& track : tablature.tracks) {
        for (const TablatureGroup& group : track.groups) {
            song.addTextEvent(index, group.tick, group.text);
            // The end of track must not come before a group of an earlier track.
            endTick = std::max(endTick, group.tick);
        }
    }
    if (markEnd != -1)
        endTick = markEnd;
    song.addTextEvent(index, endTick, std::string("/") + kProductWebAddress);
    song.addEvent(endTick, index, makeEndOfTrackEvent());

    scope.commit(UndoEdit);
    return 0;
}

bool CReedtabDoc::roomForTrack() {
    if (song.trackCount() < kMaxTracks)
        return true;
    ui_.messageBox("Maximun number of tracks reached", "Cannot create track",
                   MessageIcon::Exclamation);
    return false;
}

int CReedtabDoc::makeSongSkeleton() {
    if (!song.tracks.empty())
        return -1;
    constexpr int kSkeletonDivision = 192;
    constexpr double kSkeletonBpm = 120.0;
    EditScope scope(*this, EventsChanged | TracksChanged, {.outsideHistory = true});
    song.format = 1;
    song.division = kSkeletonDivision;
    song.tracks.push_back(std::make_unique<MidiTrack>());
    // The end of track goes in first: every later event of its tick is put before it.
    song.addEvent(0, 0, makeEndOfTrackEvent());
    auto signature = makeTimeSignatureEvent(4, 4, 24, 8);
    song.timeSignatureList.push_back(signature.get());
    song.addEvent(0, 0, std::move(signature));
    song.addEvent(0, 0, makeKeySignatureEvent(0, false));
    song.addEvent(0, 0, makeTempoEventFromBpm(kSkeletonBpm));
    song.rebuildBars();
    player_.setSongTiming(song.division, song.tempoAt(0));
    resetUndo();
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::addNewTrack(int channel, const std::string& name) {
    if (song.tracks.empty() || !roomForTrack())
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged);
    song.tracks.push_back(std::make_unique<MidiTrack>());
    const int index = song.trackCount() - 1;
    MidiTrack& track = *song.tracks.back();
    track.index = index;
    track.addChannel(channel & 0x0F);
    song.addEvent(0, index, makeEndOfTrackEvent());
    if (!name.empty()) {
        track.name = name;
        song.addEvent(0, index, makeTrackNameEvent(name));
    }
    editTrack = static_cast<int16_t>(index);
    editChannel = static_cast<int16_t>(channel & 0x0F);
    scope.commit(UndoEdit);
    return index;
}

} // namespace reedtab
