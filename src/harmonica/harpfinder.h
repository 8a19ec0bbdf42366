#pragma once

// Which harmonica plays a song's melody best: every built-in tuning in every key of its usual
// octave, ranked by how many notes need bends, overblows or cannot be played at all; and which
// track of a song is its melody.

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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
    /// When not empty, only these harps ("My harps"): a candidate counts when its tuning's name
    /// and the pitch class of the key it is named after match one of them.
    std::vector<OwnedHarp> harps;
};

struct HarpCandidate {
    std::string tuning; ///< the built-in tuning's name
    int tuningIndex = 0;
    bool chromatic = false;
    int key = 0;         ///< MIDI note of the layout key (what the harmonica windows set)
    std::string keyName; ///< the key the harp is named after
    int keyClass = 0;    ///< its pitch class, C = 0
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

/// The track that carries the tune, the one a player wants to play; only tracks with note-ons
/// off channel 10 are considered, and -1 comes back when there is none. In this order:
/// 1. A track whose name holds one of the words melody, lead, vocal, voice, tune or solo (or
///    its plural with "s"), matched as whole words in any case (words are runs of letters, so
///    "Melody2" and "Lead_Vocal" count but "Leader" does not). The earlier word of that list
///    wins, then the track with more notes.
/// 2. The track the words sit beside. The words are the lyric events of the track with the
///    most of them, else (karaoke files) the text events of the track with the most, "@" tags
///    and empty texts left out; fewer than 8 are no words. Each track's note onsets are
///    matched with the words' ticks within a 32nd note: recall is the share of words with an
///    onset, precision the share of the track's onsets between the first and the last word
///    that have a word; a track matches when the harmonic mean of the two is 0.5 or more. The
///    track holding the words wins when it matches, else the best match.
/// 3. The highest monophonic track among those with at least a quarter of the notes of the
///    busiest track. A note is alone when no other note of its track sounds with it for more
///    than a 64th note; a track is monophonic when 75 % of its notes are alone. Monophonic
///    tracks rank before the others, then the higher median pitch, then more notes, then the
///    lower index.
int melodyTrack(const MidiSong& song);

/// The tunings the finder ranks, by name: the built-in diatonic tunings, then the built-in
/// chromatic ones, each in its list order.
std::vector<std::string> finderTunings();
/// The pitch class of a key name: a letter A..G in either case, then nothing, "b" or "#"
/// ("Cb" is B, "E#" is F); nullopt for anything else.
std::optional<int> keyOfName(std::string_view name);
/// A harp written as "NAME@KEY": NAME one of `finderTunings` (blanks around it and the case of
/// its letters do not matter), KEY as `keyOfName` reads it. Nullopt, with a one-line reason in
/// `error`, when it is not such a harp.
std::optional<OwnedHarp> parseHarp(std::string_view text, std::string& error);

/// Ranks every candidate harp for the notes of the range: fewest unavailable notes, then
/// fewest overblows and overdraws, then fewest bends; on equal counts the plain "Major Diatonic
/// (Richter)" before every other tuning, then positions 1, 2, 3, 12 and 4 in that order before
/// the others, which follow by position. Each harp takes the octave move (0, -12, 12) that
/// suits it best by the counts, the smaller move on a tie.
FinderResult findHarps(const MidiSong& song, const FinderRange& range,
                       const FinderOptions& options);

} // namespace reedtab
