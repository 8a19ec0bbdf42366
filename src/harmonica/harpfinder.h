#pragma once

// Which harmonica plays a song's melody best: every built-in tuning in every key of its usual
// octave, ranked by how many notes need bends, overblows or cannot be played at all.

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reedtab {

/// How a note is played by its preferred alternative.
enum class NoteUse { Blow, Draw, Bend, Overblow, Overdraw, Unavailable };

/// A diatonic note by its first alternative; valved bends count as bends.
NoteUse diatonicUse(const DiatonicLayout& layout, int note);
/// A chromatic note by its first alternative: slide in or out, blow or draw.
NoteUse chromaticUse(const ChromaticLayout& layout, int note);

/// Counts of the notes of a song on one harmonica.
struct HarpUse {
    int blow = 0;
    int draw = 0;
    int bends = 0; ///< bends and valved bends
    int overs = 0; ///< overblows and overdraws
    int unavailable = 0;
    void add(NoteUse use, int count);
};

/// The key a song is in.
struct SongKey {
    int tonic = 0; ///< pitch class 0..11, C = 0
    bool minor = false;
    bool fromSignature = false; ///< false when estimated from the notes
    /// "C major", "A minor" ...
    std::string name() const;
};

/// The key of a major or minor key signature with `sharpsFlats` (-7..7).
SongKey keyOfSignature(int sharpsFlats, bool minor);
/// The key whose Krumhansl–Schmuckler profile correlates best with `weights` (the sounding
/// time of each pitch class); C major when every weight is 0.
SongKey estimateKey(const std::array<double, 12>& weights);
/// The position of a harp in key `harpKey` for a song in key `songKey` (pitch classes):
/// 1 + (7 × (song − harp)) mod 12, so a song a fifth above the harp is 2nd position.
int harpPosition(int harpKey, int songKey);

/// What the finder looks at: one track, from `from` (when not -1) to before `to` (when not -1).
struct FinderRange {
    int track = -1; ///< -1: `melodyTrack`
    int32_t from = -1;
    int32_t to = -1;
};

struct FinderOptions {
    bool diatonic = true;
    bool chromatic = true;
    bool noBends = false; ///< leave out harps that need bends
    bool noOvers = false; ///< leave out harps that need overblows or overdraws
};

struct HarpCandidate {
    std::string tuning; ///< the built-in tuning's name
    int tuningIndex = 0;
    bool chromatic = false;
    int key = 0;         ///< MIDI note of the layout key (what the harmonica windows set)
    std::string keyName; ///< the key the harp is named after
    int position = 1;
    int shift = 0; ///< half steps the song was moved: -12, 0 or 12
    HarpUse use;
};

struct FinderResult {
    int track = -1;
    SongKey key;
    int notes = 0;                         ///< note-ons counted
    std::vector<HarpCandidate> candidates; ///< best first
};

/// The track with the most note-ons outside channel 10; -1 when no track has any.
int melodyTrack(const MidiSong& song);
/// Ranks every candidate harp for the notes of the range: fewest unavailable notes, then
/// fewest overblows and overdraws, then fewest bends, then the lower position. Each harp takes
/// the octave move (0, -12, 12) that suits it best by the same order, the smaller move on a tie.
FinderResult findHarps(const MidiSong& song, const FinderRange& range,
                       const FinderOptions& options);

} // namespace reedtab
