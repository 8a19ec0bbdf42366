#pragma once

// The in-memory song: tracks that own their events, the merged list of all playable events,
// the tempo and time-signature lists, the bar table and the bar:beat:tick conversions, and the
// file operations (read, write, dump).
//
// All times are absolute ticks in the song's division (ticks per quarter note); tempos are
// microseconds per quarter note.
//
// Threads: every operation runs on the user-interface thread. While the song plays, the
// player's callback thread may read `mergedEvents`, the events in it, the tracks' `flags` and
// `volumePercent`, and call `tempoAt` and `timeSignatureAt`; every edit stops the player
// first, so the song never changes under it.

#include "model/hugepages.h"
#include "model/midievent.h"
#include "model/miditrack.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace reedtab {

/// The merged list: references to every event of every track whose kind is a channel or
/// system-exclusive event, an end of track, a text, a lyric or a tempo, in non-decreasing tick
/// order. The events belong to their tracks.
class MergedEventList {
public:
    /// True for the kinds that belong in the list.
    static bool belongs(int kind);

    size_t size() const { return entries_.size(); }
    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    MidiEvent* operator[](size_t i) const { return entries_[i]; }
    MidiEvent* at(size_t i) const { return entries_[i]; }
    MidiEvent* back() const { return entries_.back(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

    /// Inserts after every entry of the same or a smaller tick and returns the position; -1
    /// (and nothing inserted) for a kind that does not belong. A caller inserting in forward
    /// time order pays nearly constant cost per call (a cached cursor).
    int insert(MidiEvent* event);
    /// Removes the entry that refers to `event`; nothing when it is not in the list. Searches
    /// outwards from a cached cursor, so removals in time order are cheap.
    void remove(const MidiEvent* event);
    /// Position of `event`, or -1.
    int indexOf(const MidiEvent* event) const;
    /// First position whose tick is at least `tick` (size() when none).
    int lowerBound(int32_t tick) const;
    void clear();

    /// Appends without an order check (kinds that do not belong are ignored); follow with
    /// `sortByTick`.
    void appendUnsorted(MidiEvent* event);
    /// Stable sort by tick: among equal ticks the order stays as it was.
    void sortByTick();
    /// Replaces the whole list with `events`, which the caller guarantees to be in tick order
    /// and of kinds that belong (the reader builds it so).
    void assign(EventRefs events);
    /// Removes every entry whose event satisfies `drop` (keeps the order).
    void removeIf(const std::function<bool(const MidiEvent*)>& drop);

private:
    EventRefs entries_;
    size_t insertCursor_ = 0;
    size_t removeCursor_ = 0;
};

/// One bar of the bar table.
struct BarEntry {
    int32_t startTick = 0;          ///< tick where the bar starts
    int16_t timeSignatureIndex = 0; ///< index into the time-signature list of its signature
};

/// The song's bars in order, read as an array of `BarEntry`. It is held as runs of equal bars,
/// one per stretch of a time signature, so that its memory and the cost of building it follow
/// the song's time signatures and not its length: a tiny file whose last event lies at tick
/// two billion costs no more than any other. Reading a bar costs a binary search over the runs.
///
/// To draw the bars between two ticks, start at `indexAt(firstTick)` (0 when it is -1) and read
/// `operator[]` upwards while the start lies at or before the last tick.
class BarTable {
public:
    /// Number of bars.
    size_t size() const { return bars_; }
    bool empty() const { return bars_ == 0; }
    /// Bar `bar` (0-based, below `size()`).
    BarEntry operator[](size_t bar) const;
    /// Index of the last bar that starts at or before `tick` (bars cut short by a time
    /// signature read from a later track may start out of order), or -1 when none does.
    int64_t indexAt(int32_t tick) const;
    void clear();
    /// Appends `count` bars of `barLength` ticks from `startTick` under time signature
    /// `timeSignatureIndex`, and returns the tick after them.
    int64_t append(int32_t startTick, int32_t barLength, int64_t count, int16_t timeSignatureIndex);
    /// Number of runs, what the table costs.
    size_t runCount() const { return runs_.size(); }

private:
    struct Run {
        int64_t firstBar;
        int32_t startTick;
        int32_t barLength;
        int16_t timeSignatureIndex;
    };
    size_t runOf(size_t bar) const;

    std::vector<Run> runs_;
    // For each run, the smallest start from it to the end: never decreasing, so the last run
    // whose suffix minimum is at most t is the last one holding a bar that starts at or before
    // t, and lookups stay a binary search.
    std::vector<int32_t> suffixMin_;
    size_t bars_ = 0;
};

/// A position as bar, beat (always quarter notes) and tick within the beat, all counted from
/// 1 except the tick; `result` is 0, or -1 with everything 0 for a tick outside the song.
struct BarBeatTick {
    int bar = 0;
    int beat = 0;
    int tick = 0;
    int result = 0;
};

/// Formats a position as "%03d:%02d:%03d" (bar, beat, tick).
std::string formatBarBeatTick(const BarBeatTick& position);

/// A time signature as numerator and denominator.
struct TimeSignature {
    int numerator = 4;
    int denominator = 4;
};

/// Result codes of `MidiSong::loadFile`.
enum LoadResult : int {
    LoadOk = 0,
    LoadCannotOpen = 1,
    LoadBadTrack = 3,
    LoadBadHeader = 4,
};
/// What a `LoadResult` means, in a few words for a message ("cannot open the file", "not a
/// Standard MIDI File (bad header)", "bad track data"); "" for `LoadOk`.
const char* loadResultText(int result);

/// Result codes of `MidiSong::saveFile`.
enum SaveResult : int {
    SaveOk = 0,
    SaveFailed = 1, ///< cannot create, or a write failed
    SaveNoTracks = 5,
};

/// Receives the percentage (0..100) of the file read so far.
using LoadProgress = std::function<void(int percent)>;

class MidiSong {
public:
    /// The text and caption of the warning shown after reading a truncated file (the window
    /// shows them in a message box, reedtab-cli prints the text on stderr).
    static constexpr const char* truncationWarning =
        "Warning:\nMidi file looks truncated\nLoading as much as possible";
    static constexpr const char* truncationCaption = "File Warning!";
    /// Capacity of `pairingReport` in characters.
    static constexpr size_t pairingReportCapacity = 4096;

    MidiSong();
    MidiSong(const MidiSong&) = delete;
    MidiSong& operator=(const MidiSong&) = delete;
    ~MidiSong();

    /// The file the song was read from or last written to.
    std::string path;
    /// Name of the last key signature read ("Eb", "Cm" ...); "C" after clear.
    std::string keyName = "C";
    /// Totals of the pairing pass over all tracks.
    int32_t discardedCount = 0;
    int32_t correctedCount = 0;
    int32_t unfinishedCount = 0;
    int32_t overlappedCount = 0;
    /// Messages of the pairing pass (at most `pairingReportCapacity` characters).
    std::string pairingReport;
    /// Set while a file is being read; the dump and the writer refuse to run then.
    bool loading = false;
    /// Song length in ticks: the tick of the last event of the merged list.
    int32_t length = 0;
    /// Index of the track being read (reader only).
    int16_t currentTrack = 0;
    /// The last reader error message; empty after clear.
    std::string errorText;
    /// Standard MIDI File format: always 1 once a file has been read.
    int16_t format = 0;
    /// Ticks per quarter note.
    int16_t division = 0;
    /// Every playable event of every track, in tick order.
    MergedEventList mergedEvents;
    /// The tracks, owned.
    std::vector<std::unique_ptr<MidiTrack>> tracks;
    /// The song's tempo events (owned by their tracks).
    std::vector<TempoEvent*> tempoList;
    /// The song's time signatures (owned by their tracks), the one at tick 0 first.
    std::vector<TimeSignatureEvent*> timeSignatureList;
    /// Start tick and time signature of every bar up to `length`.
    BarTable barTable;
    /// Set by `loadFile` when the file ended early (where a delta time or a track header was
    /// expected) and the song holds what was read up to there; the caller shows
    /// `truncationWarning`. Cleared by `clear`.
    bool truncated = false;

    /// Frees all tracks and events, empties every list, `errorText` empty, `keyName` "C",
    /// format, division, length and counters 0, `loading` and `truncated` cleared.
    void clear();
    /// Exchanges everything the two songs hold, so that a song read aside can take the place of
    /// this one without copying an event. Neither song may be playing.
    void swap(MidiSong& other);

    /// Reads a Standard MIDI File (format 0 or 1, metrical division). Returns `LoadOk` (check
    /// `truncated`), `LoadCannotOpen` (`errorText` says why), `LoadBadTrack` (`errorText` may
    /// say why) or `LoadBadHeader`; on failure the song is empty. A file cut short anywhere
    /// after its header keeps every message before the cut and sets `truncated`. `progress`, when
    /// given, is called with the percentage read whenever it changes and once at the end, on the
    /// calling thread.
    [[nodiscard]] LoadResult loadFile(const std::string& path, const LoadProgress& progress = {});
    /// Reads a Standard MIDI File held in memory (`size` bytes), as `loadFile` does, but
    /// leaves `path` unchanged.
    [[nodiscard]] LoadResult loadMemory(const void* bytes, size_t size,
                                        const LoadProgress& progress = {});

    /// Writes the song as a Standard MIDI File to `path` (the song's `path` when empty; a given
    /// path becomes the song's `path`). The file is written beside the target and renamed over
    /// it only when every byte was written, so a failed save leaves an existing file intact.
    /// Returns `SaveOk`, `SaveFailed` or `SaveNoTracks` (nothing written).
    [[nodiscard]] SaveResult saveFile(const std::string& path = {});
    /// The bytes `saveFile` would write; empty when it would write nothing (no tracks, or
    /// while loading).
    std::string fileBytes() const;

    /// Writes the text dump of the song to `path`. Returns -1 while `loading` or when the file
    /// cannot be written, else 0.
    int writeDump(const std::string& path) const;
    /// The text `writeDump` writes.
    std::string dumpText() const;

    /// Runs `pairNotes` on every track into the song's counters and `pairingReport`.
    void repairAllTracks();
    /// Runs `pairNotes` on one track and adds what it found to the song's counters and
    /// `pairingReport` (`repairAllTracks` is a reset and this for each track in order).
    void repairTrack(MidiTrack& track);

    /// Microseconds per quarter note in force at `tick` (a change takes effect just after its
    /// own tick); 500000 without tempo events.
    int32_t tempoAt(int32_t tick) const;
    /// Microseconds from tick 0 to `tick`, each stretch at the tempo set before it (a tempo of
    /// 0 or less leaves the one before in force).
    double microsecondsAt(int32_t tick) const;
    /// The time signature governing `tick`; 4/4 without any.
    TimeSignature timeSignatureAt(int32_t tick) const;

    /// Bar, beat, tick-in-beat of an absolute tick; result -1 (all 0) outside 0..length.
    BarBeatTick tickToBarBeatTick(int32_t tick) const;
    /// The absolute tick of a position (bar and beat from 1); 0 for a bar past the table,
    /// limited to length - 1.
    int32_t barBeatTickToTick(int bar, int beat, int tick) const;
    /// Rebuilds `barTable` from the time-signature list up to `length`.
    void rebuildBars();

    /// Puts `event` at `tick` into track `trackIndex` in track order, into the merged list and
    /// (a tempo) the tempo list, raises `length`, records a new channel. Returns the position
    /// in the merged list (-1 for a kind outside it), or -1 and frees the event for a bad
    /// track index. A time signature is not entered into `timeSignatureList`: its creator does.
    int addEvent(int32_t tick, int trackIndex, std::unique_ptr<MidiEvent> event);
    /// Takes `event` out of its track, the merged list and the tempo list and hands it back
    /// (null when it is in no track). A time signature stays in `timeSignatureList`, so it must
    /// be re-added or deleted with `deleteEvent`, never simply dropped.
    std::unique_ptr<MidiEvent> unlinkEvent(MidiEvent* event);
    /// Removes `event` from every list and frees it, with its partner. -1 for null or for an
    /// event of no track of this song, else 0.
    int deleteEvent(MidiEvent* event);
    /// Moves `event` to `newTick`, keeping its track and the merged list in order.
    void moveEvent(MidiEvent* event, int32_t newTick);
    /// Adds `delta` ticks to merged-list events at or after `fromTick` (except the note-off of
    /// a note that starts earlier, and tick-0 events other than channel, text and lyric
    /// events). Does not re-sort: re-pair afterwards.
    void shiftEventsLater(int32_t fromTick, int32_t delta);
    /// Subtracts `delta` ticks from merged-list events at or after `fromTick`. Does not
    /// re-sort: re-pair afterwards.
    void shiftEventsEarlier(int32_t fromTick, int32_t delta);
    /// Adds a text event as the editor makes it (zero counted in `dataLength`); null for a bad
    /// track index.
    TextEvent* addTextEvent(int trackIndex, int32_t tick, const std::string& text);
    /// Renames a track and its first track-name event (adding one at tick 0 when none).
    void setTrackName(int trackIndex, const std::string& name);
    /// Index of `track` in `tracks`, or -1.
    int trackIndexOf(const MidiTrack* track) const;
    /// Lowest channel no track uses, never 9; 15 when all others are used.
    int findFreeChannel() const;
    /// Takes track `from` out of the track list and puts it back at `to`; the tracks between
    /// close up. Every event stays in its track; on equal ticks the merged list then lists the
    /// earlier track first, as reading the saved song back would. -1 for an index outside the
    /// list, else 0.
    int moveTrack(int from, int to);
    /// Removes track `trackIndex` (the first track is only emptied of its playable events and
    /// reset). -1 when the song has at most one track or the index is bad, else 0.
    int deleteTrack(int trackIndex);

    /// The track at `index`, or null for a bad index.
    MidiTrack* track(int index) const;
    /// Number of tracks.
    int trackCount() const { return static_cast<int>(tracks.size()); }

private:
    void insertTempo(TempoEvent* tempo);
    void removeFromIndexLists(const MidiEvent* event);

    // Lookup hint for tempoAt: only a hint, validated on use, so relaxed atomics suffice when
    // the player thread and the window both ask.
    mutable std::atomic<size_t> tempoCursor_{0};
};

} // namespace reedtab
