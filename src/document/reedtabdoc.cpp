#include "document/reedtabdoc.h"

#include "document/documentui.h"
#include "document/editscope.h"
#include "document/playercontrol.h"
#include "document/product.h"
#include "document/songedits.h"
#include "harmonica/notation.h"
#include "harmonica/tablaturetext.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>
#include <unistd.h>

namespace reedtab {

// Where an event sits in the song, to find its copy once the song is read back.
struct EventPlace {
    int track = -1;
    int index = -1;
    int kind = 0;
    int32_t tick = 0;
};

// What a roll-back restores besides the file: shown, selected, muted and the mixer's volume
// of each track, and where the last addition's events were.
struct CReedtabDoc::PendingState {
    std::vector<std::pair<uint16_t, uint8_t>> tracks;
    EventPlace added;
    bool endWasLast = false;
};

namespace {

constexpr const char* kUndoCaption = "Undo";
constexpr const char* kErrorReading = "Error reading file";
constexpr const char* kErrorWriting = "Error writing file";
constexpr int kMaxTracks = 128;

// A folder only this user can enter, with a name nobody can guess: the snapshot inside it can
// be neither replaced through a planted link nor clobbered by a second instance.
std::string makePrivateFolder() {
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    if (!base || !*base || !std::filesystem::is_directory(base, error)) {
        base = std::getenv("TMPDIR");
        if (!base || !*base || !std::filesystem::is_directory(base, error))
            base = "/tmp";
    }
    std::string pattern = std::string(base) + "/reedtab-undo-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

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

EventPlace placeOf(const MidiSong& song, const MidiEvent* event) {
    if (!event || !event->track)
        return {};
    return {song.trackIndexOf(event->track), event->track->indexOf(event), event->kind(),
            event->tick};
}

MidiEvent* eventAt(const MidiSong& song, const EventPlace& place) {
    const MidiTrack* track = song.track(place.track);
    if (!track || place.index < 0 || place.index >= static_cast<int>(track->size()))
        return nullptr;
    MidiEvent* event = track->at(static_cast<size_t>(place.index));
    return event->kind() == place.kind && event->tick == place.tick ? event : nullptr;
}

std::string formatStatus(int amount) {
    char text[64];
    std::snprintf(text, sizeof text, "transposed %d half steps", amount);
    return text;
}

} // namespace

const char* undoDescription(int type) {
    static constexpr const char* kDescriptions[] = {
        "",           "Transpose",        "Track properties",  "Added Note",
        "Added Text", "Inserted Silence", "Deleted Selection", "Edit"};
    if (type < 0 || type >= static_cast<int>(std::size(kDescriptions)))
        return "";
    return kDescriptions[type];
}

CReedtabDoc::CReedtabDoc(DocumentUi& ui, PlayerControl& player) : ui_(ui), player_(player) {}

CReedtabDoc::~CReedtabDoc() {
    if (!snapshotFolder_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(snapshotFolder_, error);
    }
}

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
    lastAddedEvent = nullptr;
    pendingNoteOns.clear();
    endBeforeAdding_ = nullptr;
}

void CReedtabDoc::rememberEndOfTrack(int trackIndex) {
    const MidiTrack* track = song.track(trackIndex);
    const MidiEvent* end = track ? track->last() : nullptr;
    endBeforeAdding_ = end && end->kind() == KindEndOfTrack ? end : nullptr;
    endTickBeforeAdding_ = endBeforeAdding_ ? end->tick : 0;
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
    bool wasPlaying = stopPlayback();
    ui_.beginProgress();
    resetContents();
    player_.setPosition(0);
    int result = song.loadFile(path, [this](int percent) { ui_.setProgress(percent); });
    if (result != LoadOk) {
        // An unreadable file must not become the target of a later Save.
        pathName_.clear();
        ui_.messageBox(kErrorReading, kProductName, MessageIcon::Exclamation);
    } else {
        pathName_ = path;
        if (song.truncated) {
            ui_.messageBox(MidiSong::truncationWarning, MidiSong::truncationCaption,
                           MessageIcon::Exclamation);
        }
        player_.setSongTiming(song.division, song.tempoAt(0));
        refreshNoteFlags();
    }
    setModified(false);
    notify({SongReplaced | EventsChanged | TracksChanged | MarksChanged | SelectionChanged});
    if (result == LoadOk)
        restartPlayback(wasPlaying);
    ui_.endProgress();
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
    undoCounts.fill(0);
    resetUndo();
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

void CReedtabDoc::recordUndo(bool set, int type) {
    if (type < 0 || type >= static_cast<int>(undoCounts.size()))
        return;
    if (set) {
        ++undoCounts[type];
        undoType = type;
        // A later edit supersedes the pending transposition: transposing back after it would
        // undo the wrong edit.
        if (type != UndoTranspose) {
            transposeAmount = 0;
            transposeSteps = 0;
            transposeClipped_ = false;
        }
    } else {
        undoCounts[type] = std::max(0, undoCounts[type] - 1);
    }
    bool any = std::any_of(undoCounts.begin(), undoCounts.end(), [](int c) { return c > 0; });
    if (!any)
        undoType = UndoNothing;
    setModified(any);
}

bool CReedtabDoc::ensureSnapshotFolder() {
    if (snapshotPath_.empty()) {
        snapshotFolder_ = makePrivateFolder();
        if (snapshotFolder_.empty())
            return false;
        snapshotPath_ = snapshotFolder_ + "/undo.mid";
    }
    return true;
}

int CReedtabDoc::saveUndoSnapshot() {
    undoFileValid = false;
    if (!ensureSnapshotFolder())
        return 1;
    // The writer records the path it wrote to; the song keeps naming the user's file.
    std::string userPath = song.path;
    int result = song.saveFile(snapshotPath_);
    song.path = userPath;
    if (result != SaveOk)
        return 1;
    undoFileValid = true;
    return 0;
}

int CReedtabDoc::writePendingSnapshot() {
    if (pendingSnapshot_ || !ensureSnapshotFolder())
        return 1;
    std::string userPath = song.path;
    int result = song.saveFile(snapshotPath_ + ".new");
    song.path = userPath;
    if (result != SaveOk)
        return 1;
    pendingSnapshot_ = true;
    // Taken with the snapshot for a roll-back: the edit may move tracks and events.
    auto state = std::make_unique<PendingState>();
    for (const auto& track : song.tracks)
        state->tracks.emplace_back(track->flags, track->volumePercent);
    state->added = placeOf(song, lastAddedEvent);
    state->endWasLast = lastAddedEvent && lastAddedEvent->track && endBeforeAdding_ &&
                        lastAddedEvent->track->last() == endBeforeAdding_;
    pendingState_ = std::move(state);
    return 0;
}

void CReedtabDoc::keepPendingSnapshot() {
    if (!pendingSnapshot_)
        return;
    pendingSnapshot_ = false;
    pendingState_.reset();
    std::error_code error;
    std::filesystem::rename(snapshotPath_ + ".new", snapshotPath_, error);
    undoFileValid = !error;
}

void CReedtabDoc::dropPendingSnapshot() {
    if (!pendingSnapshot_)
        return;
    pendingSnapshot_ = false;
    pendingState_.reset();
    std::error_code error;
    std::filesystem::remove(snapshotPath_ + ".new", error);
}

bool CReedtabDoc::restorePendingSnapshot() {
    if (!pendingSnapshot_)
        return false;
    std::string userPath = song.path;
    notify({SelectionChanged, nullptr});
    song.clear();
    forgetEventReferences();
    const bool read = song.loadFile(snapshotPath_ + ".new") == LoadOk;
    song.path = userPath;
    const PendingState& state = *pendingState_;
    for (size_t i = 0; i < state.tracks.size() && i < song.tracks.size(); ++i) {
        song.tracks[i]->flags = state.tracks[i].first;
        song.tracks[i]->volumePercent = state.tracks[i].second;
    }
    // The song read back is made of new events: the last addition's references move to the
    // events in the same places, so that the undo step from before the rolled-back edit
    // still works.
    lastAddedEvent = eventAt(song, state.added);
    if (lastAddedEvent && state.endWasLast)
        endBeforeAdding_ = lastAddedEvent->track->last();
    refreshNoteFlags();
    dropPendingSnapshot();
    return read;
}

int CReedtabDoc::restoreUndoSnapshot() {
    if (!undoFileValid)
        return 0;
    std::string userPath = song.path;
    notify({SelectionChanged, nullptr});
    song.clear();
    forgetEventReferences();
    int result = song.loadFile(snapshotPath_);
    song.path = userPath;
    refreshNoteFlags();
    undoFileValid = false;
    notify({EventsChanged | TracksChanged});
    return result == LoadOk ? 1 : 0;
}

void CReedtabDoc::resetUndo() {
    transposeAmount = 0;
    transposeSteps = 0;
    transposeClipped_ = false;
    ui_.setStatusText("");
    undoCounts.fill(0);
    lastAddedEvent = nullptr;
    undoPosition = 0;
    silenceLength = 0;
    undoType = UndoNothing;
    undoFileValid = false;
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
    resetUndo();
}

bool CReedtabDoc::undo() {
    EditScope scope(*this, EventsChanged | TracksChanged, {.waitCursor = true});
    bool done = false;
    switch (undoType) {
    case UndoTranspose:
        if (transposeAmount != 0 || transposeClipped_) {
            if (transposeClipped_ && undoFileValid) {
                // Some keys could not follow (they would have left 0..127): only the song as
                // it was brings them back.
                restoreUndoSnapshot();
            } else {
                for (int i = 0; i < song.trackCount() && i < kMaxTracks; ++i) {
                    if (transposedTracks[i])
                        transpose(song, -transposeAmount, i, transposeFrom, transposeTo);
                }
            }
            --transposeSteps;
            transposeAmount = 0;
            transposeClipped_ = false;
            ui_.setStatusText("");
            recordUndo(false, UndoTranspose);
            done = true;
        }
        break;
    case UndoAddedNote:
    case UndoAddedText:
        if (lastAddedEvent) {
            int type = undoType;
            MidiTrack* track = lastAddedEvent->track;
            deleteEventEdit(lastAddedEvent);
            // Only compared, never followed, until it is known to be the track's last event.
            if (track && track->last() == endBeforeAdding_ && endBeforeAdding_ &&
                endBeforeAdding_->tick > endTickBeforeAdding_) {
                song.moveEvent(track->last(), endTickBeforeAdding_);
                song.length = song.mergedEvents.empty() ? 0 : song.mergedEvents.back()->tick;
                song.rebuildBars();
            }
            cursorTick = undoPosition;
            lastAddedEvent = nullptr;
            recordUndo(false, type);
            done = true;
        }
        break;
    case UndoInsertedSilence:
        if (silenceLength > 0) {
            if (undoFileValid) {
                restoreUndoSnapshot();
            } else {
                removeSilenceAt(song, undoPosition, silenceLength);
                forgetEventReferences();
                refreshNoteFlags();
            }
            silenceLength = 0;
            recordUndo(false, UndoInsertedSilence);
            done = true;
        }
        break;
    default:
        recordUndo(false, UndoEdit);
        if (undoFileValid)
            done = restoreUndoSnapshot() == 1;
        break;
    }
    if (!done) {
        ui_.messageBox("Sorry, can't undo", kUndoCaption, MessageIcon::None);
        recordUndo(true, UndoEdit);
    } else {
        scope.commit(UndoNothing);
    }
    return done;
}

std::string CReedtabDoc::undoMenuText() const {
    std::string description = undoDescription(undoType);
    if (description.empty())
        return "Nothing to Undo\tCtrl+Z";
    return "Undo " + description + "\tCtrl+Z";
}

bool CReedtabDoc::undoEnabled() const {
    return *undoDescription(undoType) != '\0';
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
    int wouldSkip = 0;
    for (int i = 0; i < count; ++i) {
        if (touches(i))
            wouldSkip += countTransposeSkips(song, halfSteps, i, markBegin, markEnd);
    }
    // A transposition that leaves some keys behind cannot be undone by transposing back, so
    // it starts a step of its own with a snapshot unless the pending step already has one.
    bool extend = transposeAmount != 0 && markBegin == transposeFrom && markEnd == transposeTo &&
                  sameTracks && (wouldSkip == 0 || transposeClipped_);
    EditScope scope(*this, EventsChanged, {.snapshot = !extend && wouldSkip > 0});

    if (allTracks) {
        transpose(song, halfSteps, -1, markBegin, markEnd);
    } else {
        for (int i = 0; i < count; ++i) {
            if (touches(i))
                transpose(song, halfSteps, i, markBegin, markEnd);
        }
    }

    if (extend) {
        scope.commit(UndoNothing);
        transposeAmount = static_cast<int16_t>(transposeAmount + halfSteps);
        if (transposeAmount == 0 && transposeSteps == 1 && !transposeClipped_) {
            transposeSteps = 0;
            recordUndo(false, UndoTranspose);
            ui_.setStatusText("");
        } else {
            ui_.setStatusText(formatStatus(transposeAmount));
        }
    } else {
        for (int i = 0; i < kMaxTracks; ++i)
            transposedTracks[i] = i < count && touches(i);
        transposeFrom = markBegin;
        transposeTo = markEnd;
        transposeAmount = static_cast<int16_t>(halfSteps);
        ++transposeSteps;
        scope.commit(UndoTranspose);
        transposeClipped_ = wouldSkip > 0 && undoFileValid;
        ui_.setStatusText(formatStatus(transposeAmount));
    }
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
    EditScope scope(*this, EventsChanged | MarksChanged | SelectionChanged,
                    {.snapshot = true, .waitCursor = true});
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

int CReedtabDoc::cut() {
    if (song.tracks.empty() || (markBegin == -1 && markEnd == -1))
        return -1;
    EditScope scope(*this, EventsChanged | MarksChanged | SelectionChanged, {.snapshot = true});
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
    EditScope scope(*this, EventsChanged, {.snapshot = true});
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
    // Shifting back restores every tick but not always the order of events that end up on one
    // tick; the snapshot restores both.
    EditScope scope(*this, EventsChanged, {.snapshot = true});
    insertSilenceAt(song, cursorTick, length);
    forgetEventReferences();
    undoPosition = cursorTick;
    silenceLength = length;
    refreshNoteFlags();
    scope.commit(UndoInsertedSilence);
    return 0;
}

int CReedtabDoc::addEventEdit(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event) {
    if (!event || !song.track(trackIndex))
        return -1;
    EditScope scope(*this, EventsChanged, {.suspendOnly = true});
    MidiEvent* added = event.get();
    rememberEndOfTrack(trackIndex);
    int position = addEventHeld(tick, trackIndex, std::move(event));
    lastAddedEvent = added;
    undoPosition = tick;
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
    rememberEndOfTrack(trackIndex);
    TextEvent* added = song.addTextEvent(trackIndex, tick, text);
    if (!added)
        return 1;
    liftEndOfTrack(song, trackIndex);
    lastAddedEvent = added;
    undoPosition = cursorTick;
    scope.commit(UndoAddedText);
    return 0;
}

int CReedtabDoc::deleteEventEdit(MidiEvent* event) {
    // Without a snapshot of its own, Undo would find none or an earlier edit's.
    EditScope scope(*this, EventsChanged, {.snapshot = true});
    int result = removeEvent(event);
    if (result == 0)
        scope.commit(UndoEdit);
    return result;
}

int CReedtabDoc::deleteNotes(const std::vector<MidiEvent*>& notes) {
    EditScope scope(*this, EventsChanged, {.snapshot = true});
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
    if (lastAddedEvent == event || (partner && lastAddedEvent == partner))
        lastAddedEvent = nullptr;
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
    EditScope scope(*this, EventsChanged, {.snapshot = true});
    noteOn->fingering = fingering;
    scope.commit(UndoEdit);
    return 0;
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
    transposeSteps = 0;
    transposeClipped_ = false;
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::deleteTrackEdit(int trackIndex, bool withUndo) {
    if (!song.track(trackIndex) || song.trackCount() <= 1)
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged | SelectionChanged,
                    {.snapshot = withUndo});
    notify({SelectionChanged, nullptr});
    int result = song.deleteTrack(trackIndex);
    endAtLastEvent(song);
    forgetEventReferences();
    // Pending transposition flags and the edit track are by index. The first track is only
    // emptied; any other leaves the array and the tracks after it move down.
    transposeAmount = 0;
    transposeSteps = 0;
    transposeClipped_ = false;
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
    EditScope scope(*this, EventsChanged | TracksChanged, {.snapshot = withUndo});
    applyTrackVolume(song, trackIndex, markBegin, markEnd);
    scope.commit(withUndo ? UndoEdit : UndoNothing);
    return 0;
}

int CReedtabDoc::applyTempoScaleEdit(int percent) {
    if (song.tempoList.empty() || percent <= 0)
        return -1;
    EditScope scope(*this, EventsChanged, {.snapshot = true});
    applyTempoScale(song, percent);
    player_.setSongTiming(song.division, song.tempoAt(0));
    scope.commit(UndoEdit);
    return 0;
}

int CReedtabDoc::mapNotes(int channel, int fromKey, int toKey, int startPercent, int endPercent) {
    if (song.tracks.empty())
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged, {.snapshot = true});
    int changed = reedtab::mapNotes(song, channel, fromKey, toKey, startPercent, endPercent,
                                    markBegin, markEnd);
    refreshNoteFlags();
    scope.commit(UndoEdit);
    return changed;
}

void CReedtabDoc::moveSelectedNotes(const std::vector<MidiEvent*>& notes, int32_t tickOffset,
                                    int keyOffset, MidiEvent* resizedNote, int32_t newLength,
                                    bool takeSnapshot) {
    // The notes stay selected: their frames follow them on EventsChanged.
    EditScope scope(*this, EventsChanged, {.snapshot = takeSnapshot});
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
    scope.commit(takeSnapshot ? UndoEdit : UndoNothing);
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
    onEvent->isNote = ch != 9 || settings().showDrumsNotes ? 1 : 0;
    // One undo step for both events: undoing it deletes the note-off with its partner and
    // puts the end of track back where it stood before the note-on.
    rememberEndOfTrack(trackIndex);
    addEventHeld(tick, trackIndex, std::move(on));
    addEventHeld(tick + length, trackIndex, std::move(off));
    lastAddedEvent = offEvent;
    undoPosition = tick;
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
    const bool marked = ch != 9 || settings().showDrumsNotes;
    MidiEvent* result = nullptr;
    switch (entryType) {
    case EntryWholeNote: {
        // A note of no length would be dropped by the next pairing pass.
        const int32_t length = std::max<int32_t>(1, soundingTicks);
        result = addNoteEdit(trackIndex, cursorTick, ch, k, v, length)->partner;
        // Undoing the note brings the cursor back to where the note was entered.
        undoPosition = cursorTick;
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
    EditScope scope(*this, EventsChanged | TracksChanged, {.snapshot = true, .waitCursor = true});
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
    EditScope scope(*this, EventsChanged | TracksChanged);
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
    scope.commit(UndoNothing);
    return 0;
}

int CReedtabDoc::addNewTrack(int channel, const std::string& name) {
    if (song.tracks.empty() || !roomForTrack())
        return -1;
    EditScope scope(*this, EventsChanged | TracksChanged, {.snapshot = true});
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
