#pragma once

// The clip of Cut, Copy and Paste: copied events held as a Standard MIDI File of format 1, one
// track chunk for each track index up to the last one copied from (so that each event goes
// back onto the track of its index), the copied stretch starting at tick 0, in the division of
// the song it came from. A plain value: it outlives that song and is what other programs get
// on the system clipboard.
//
// Threads: the user-interface thread, with the player stopped for a paste.

#include <cstdint>
#include <string>
#include <vector>

namespace reedtab {

class MidiEvent;
class MidiSong;

/// What Cut takes out of a..b (-1 = open) of the tracks selected for editing: the part inside
/// the range of every note that sounds there, and every other event there except controllers,
/// programs, tempos, signatures, names and ends of track. "" when that is nothing.
std::string copyRange(const MidiSong& song, int32_t a, int32_t b);

/// The notes (note-ons of the song, each with its note-off) from the earliest one on. "" when
/// none of them is a paired note-on.
std::string copyNotes(const MidiSong& song, const std::vector<MidiEvent*>& notes);

/// Puts the clip's events into the song at `at` plus their distance from the clip's start
/// (scaled from the clip's division to the song's), each on the track of the index it has in
/// the clip; tracks the song does not have are left out and counted in `*skippedTracks`. Later
/// events stay where they are; notes are paired again. Returns the number of events pasted;
/// -1, with the song untouched, for a clip that does not read or that would reach past the
/// last tick a song can hold.
int pasteClip(MidiSong& song, const std::string& clip, int32_t at, int* skippedTracks = nullptr);

} // namespace reedtab
