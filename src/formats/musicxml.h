#pragma once

// MusicXML out: a partwise MusicXML 4.0 score of a song's tracks, for notation programs.

#include <string>
#include <vector>

namespace reedtab {

class HarmonicaLayout;
class MidiSong;

struct MusicXmlOptions {
    /// The tracks to write, one part each; empty: every shown track with notes. Notes on the
    /// drum channel are left out.
    std::vector<int> tracks;
    /// The part that takes the tablature; -1: the melody track the harp finder picks. The
    /// karaoke words go to the part with the most notes that start with a syllable.
    int melodyTrack = -1;
    /// When set, the tablature of this harmonica under every note of the melody part as a
    /// lyric line of its own.
    const HarmonicaLayout* tablature = nullptr;
};

/// The tracks a score has by default: the shown tracks with notes off the drum channel.
std::vector<int> musicXmlTracks(const MidiSong& song);

/// The score of the song's `isNote` notes: `divisions` is the song's division, a measure for
/// every bar up to the end of the last note, notes split and tied at bar lines, rests filling
/// the gaps, notes that start and end together as chords and overlapping notes in voices of
/// their own; key and time signatures and tempo changes where the song has them; each part
/// named after its track with its General MIDI program. A bar that a time signature cuts short
/// is written as an implicit measure.
std::string writeMusicXml(const MidiSong& song, const MusicXmlOptions& options);

} // namespace reedtab
