#pragma once

// The song operations behind the document's edits. Each works on the song alone (no undo, no
// user interface) and leaves the song consistent: tracks and the merged list in tick order,
// the end of track last, notes re-paired where events moved, `length` and the bar table up to
// date.
//
// Ticks are absolute; a tick bound of -1 means "open" on that side. Threads: the
// user-interface thread, with the player stopped.

#include <cstdint>

namespace reedtab {

class HarmonicaLayout;
class MidiSong;
struct FingeringOptions;

/// Tracks the view draws (flag bit 0) and tracks selected for editing (bit 0 or bit 1).
bool isTrackShown(const MidiSong& song, int trackIndex);
bool isTrackEditable(const MidiSong& song, int trackIndex);

/// True when `tick` lies in a..b, either bound -1 for open.
bool inTickRange(int32_t tick, int32_t a, int32_t b);
/// The kinds a deleted range keeps: controllers, programs, tempos, time and key signatures,
/// track names and ends of track.
bool keptByDelete(int kind);

/// Sets `isNote` on every event: 1 for a note-on with velocity > 0 and duration > 0 on a
/// channel other than index 9 (on index 9 too when `includeDrums`), else 0.
void markNotes(MidiSong& song, bool includeDrums);

/// Transposes the `isNote` events of track `trackIndex` (every track for -1) that lie wholly
/// inside from..to by `halfSteps`, with their partners; a key that would leave 0..127 is left
/// alone and counted in `*skipped` when given. -1 while loading, without tracks or for a bad
/// track index, else 0.
int transpose(MidiSong& song, int halfSteps, int trackIndex, int32_t from, int32_t to,
              int* skipped = nullptr);

/// Number of notes `transpose` would leave alone because their key would leave 0..127.
int countTransposeSkips(const MidiSong& song, int halfSteps, int trackIndex, int32_t from,
                        int32_t to);

/// Keeps only a..b of every track: notes sounding into the range, the last tempo, time
/// signature and value of the tracked controllers before it; the range then starts at tick 0.
/// Returns -1 without tracks, else 0.
int cropRange(MidiSong& song, int32_t a, int32_t b);

/// Deletes the events of a..b (every track with `closeGap`, else the tracks selected for
/// editing), keeping controllers, programs, tempos, signatures and names and cutting notes
/// that cross a bound; `closeGap` then moves every later event b - a ticks earlier.
/// Returns -1 without tracks, else 0.
int deleteRange(MidiSong& song, int32_t a, int32_t b, bool closeGap);

/// Inserts `length` ticks of silence at `at`: every event at or after it moves later, except
/// the note-off of a note that starts before it and non-playing events at tick 0.
void insertSilenceAt(MidiSong& song, int32_t at, int32_t length);
/// Exactly reverses `insertSilenceAt(song, at, length)`.
void removeSilenceAt(MidiSong& song, int32_t at, int32_t length);

/// The silence length in ticks of `bars` bars of the bar at `tick`, `beats` quarter notes and
/// `ticks` ticks.
int32_t silenceLengthAt(const MidiSong& song, int32_t tick, int bars, int beats, int ticks);

/// Bakes the track's `volumePercent` into the velocities of its note-ons at from..to (the end
/// exclusive), limited to 1..127, then sets `volumePercent` to 100. -1 for a bad index.
int applyTrackVolume(MidiSong& song, int trackIndex, int32_t from, int32_t to);

/// Bakes a playback tempo of `percent` into every tempo event (value x 100 / percent, limited
/// to 1..0xFFFFFF microseconds per quarter). -1 for a percentage <= 0 or without tempo events.
int applyTempoScale(MidiSong& song, int percent);

/// Map notes over from..to of the tracks selected for editing: note-ons on `channel` (-1 any)
/// with key `fromKey` (-1 any) get key `toKey` (-1 untouched) with their note-offs; velocities
/// scale by a constant percentage or one ramping from `startPercent` at `from` to
/// `endPercent` at `to` (-1 = not given), limited to 1..127. Returns the number of notes
/// changed.
int mapNotes(MidiSong& song, int channel, int fromKey, int toKey, int startPercent, int endPercent,
             int32_t from, int32_t to);

/// Gives the notes of track `trackIndex` (its `isNote` note-ons starting at from..to, the end
/// exclusive) the fingerings of the least costly way of playing them on `layout`
/// (`bestAlternatives`; a silence of a beat makes a rest). A note whose best way is the
/// preferred one keeps a choice made on another harmonica. Returns the number of notes whose
/// fingering changed, -1 for a bad track index.
int optimizeFingerings(MidiSong& song, int trackIndex, int32_t from, int32_t to,
                       const HarmonicaLayout& layout, const FingeringOptions& options);

/// Puts every track and the merged, tempo and time-signature lists back in tick order, keeps
/// each track's end of track last, re-pairs the notes, and brings `length` and the bar table
/// up to date. For use after ticks were changed in place.
void restoreSongOrder(MidiSong& song);

/// Keeps the end-of-track event of track `trackIndex` at or after every other event of the
/// track (an event added past it is otherwise left behind it).
void liftEndOfTrack(MidiSong& song, int trackIndex);

} // namespace reedtab
