#include "harmonica/harpfinder.h"
#include "model/miditrack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace reedtab {
namespace {

constexpr int kRichter = 0;
constexpr int kQuarter = 480;

// A song at division 480 whose tracks hold the given melodies, one quarter note each, on the
// given channels; track 0 holds only the key signature, when one is given.
class Song {
public:
    Song() {
        song.division = kQuarter;
        song.tracks.push_back(std::make_unique<MidiTrack>());
    }
    int addTrack(const std::vector<int>& keys, int channel) {
        song.tracks.push_back(std::make_unique<MidiTrack>());
        const int index = song.trackCount() - 1;
        int tick = 0;
        for (int key : keys) {
            song.addEvent(tick, index,
                          makeChannelEvent(static_cast<uint8_t>(0x90 | channel),
                                           static_cast<uint8_t>(key), 100));
            tick += kQuarter;
        }
        return index;
    }
    void addSignature(int32_t tick, int sharpsFlats, bool minor) {
        song.addEvent(tick, 0, makeKeySignatureEvent(sharpsFlats, minor));
    }
    MidiSong song;
};

const std::vector<int> kCMajorC4 = {60, 62, 64, 65, 67, 69, 71, 72};
const std::vector<int> kCMajorC5 = {72, 74, 76, 77, 79, 81, 83, 84};

int difficulty(const HarpCandidate& c) {
    return c.use.unavailable + c.use.overs + c.use.bends;
}

const HarpCandidate* find(const FinderResult& result, int tuning, int key, bool chromatic) {
    for (const HarpCandidate& c : result.candidates) {
        if (c.tuningIndex == tuning && c.key == key && c.chromatic == chromatic) {
            return &c;
        }
    }
    return nullptr;
}

TEST(HarpFinderKeys, PositionsAndSignatures) {
    EXPECT_EQ(harpPosition(0, 0), 1);  // C song on a C harp
    EXPECT_EQ(harpPosition(0, 7), 2);  // G song on a C harp: cross harp
    EXPECT_EQ(harpPosition(0, 2), 3);  // D (Dorian) on a C harp
    EXPECT_EQ(harpPosition(0, 9), 4);  // A minor on a C harp
    EXPECT_EQ(harpPosition(0, 5), 12); // F song on a C harp
    EXPECT_EQ(harpPosition(7, 2), 2);  // D song on a G harp
    EXPECT_EQ(harpPosition(10, 3), 12);

    EXPECT_EQ(keyOfSignature(0, false).name(), "C major");
    EXPECT_EQ(keyOfSignature(2, false).name(), "D major");
    EXPECT_EQ(keyOfSignature(-3, false).name(), "Eb major");
    EXPECT_EQ(keyOfSignature(-3, true).name(), "C minor");
    EXPECT_EQ(keyOfSignature(0, true).name(), "A minor");
    EXPECT_EQ(keyOfSignature(7, false).name(), "Db major"); // C# spelt with its flat name
    EXPECT_TRUE(keyOfSignature(1, true).fromSignature);
}

TEST(HarpFinderKeys, EstimatesMajorAndMinorFromWeights) {
    // A tune that dwells on the tonic triad of the scale, in every transposition.
    const std::array<double, 12> major = {8, 0, 3, 0, 5, 2, 0, 6, 0, 2, 0, 2};
    const std::array<double, 12> minor = {8, 0, 3, 5, 0, 2, 0, 6, 3, 0, 1, 2};
    for (int tonic = 0; tonic < 12; ++tonic) {
        std::array<double, 12> m{};
        std::array<double, 12> n{};
        for (int k = 0; k < 12; ++k) {
            m[static_cast<std::size_t>((k + tonic) % 12)] = major[static_cast<std::size_t>(k)];
            n[static_cast<std::size_t>((k + tonic) % 12)] = minor[static_cast<std::size_t>(k)];
        }
        const SongKey a = estimateKey(m);
        const SongKey b = estimateKey(n);
        EXPECT_EQ(std::tuple(a.tonic, a.minor), std::tuple(tonic, false)) << tonic;
        EXPECT_EQ(std::tuple(b.tonic, b.minor), std::tuple(tonic, true)) << tonic;
        EXPECT_FALSE(a.fromSignature);
    }
    EXPECT_EQ(estimateKey({}).name(), "C major");
}

TEST(HarpFinder, NoteUseFollowsTheFirstAlternative) {
    Settings block;
    DiatonicLayout diatonic(block);
    diatonic.init(60, kRichter);
    EXPECT_EQ(diatonicUse(diatonic, 60), NoteUse::Blow);
    EXPECT_EQ(diatonicUse(diatonic, 62), NoteUse::Draw);
    EXPECT_EQ(diatonicUse(diatonic, 65), NoteUse::Bend);     // -2''
    EXPECT_EQ(diatonicUse(diatonic, 63), NoteUse::Overblow); // +1o
    EXPECT_EQ(diatonicUse(diatonic, 85), NoteUse::Overdraw); // -7o
    EXPECT_EQ(diatonicUse(diatonic, 40), NoteUse::Unavailable);
    ChromaticLayout chromatic(block);
    chromatic.init(60, chromatic.tuningIndex());
    EXPECT_EQ(chromaticUse(chromatic, 60), NoteUse::Blow);
    EXPECT_EQ(chromaticUse(chromatic, 61), NoteUse::Blow); // slide in
    EXPECT_EQ(chromaticUse(chromatic, 62), NoteUse::Draw);
    EXPECT_EQ(chromaticUse(chromatic, 20), NoteUse::Unavailable);
}

TEST(HarpFinder, MelodyTrackLeavesDrumsOut) {
    Song s;
    const int melody = s.addTrack(kCMajorC5, 0);
    s.addTrack(std::vector<int>(40, 38), 9);
    EXPECT_EQ(melodyTrack(s.song), melody);
    const FinderResult result = findHarps(s.song, {}, {});
    EXPECT_EQ(result.track, melody);
    EXPECT_EQ(result.notes, 8);
    MidiSong empty;
    EXPECT_EQ(melodyTrack(empty), -1);
    EXPECT_EQ(findHarps(empty, {}, {}).notes, 0);
}

TEST(HarpFinder, CMajorTuneRanksTheCRichterFirstAndMovesItUpAnOctave) {
    Song s;
    s.addTrack(kCMajorC4, 0);
    s.addSignature(0, 0, false);
    const FinderResult result = findHarps(s.song, {}, {});
    EXPECT_TRUE(result.key.fromSignature);
    EXPECT_EQ(result.key.name(), "C major");
    ASSERT_FALSE(result.candidates.empty());
    const HarpCandidate& best = result.candidates.front();
    EXPECT_EQ(best.use.unavailable + best.use.overs + best.use.bends, 0);
    // Played where written, F4 and A4 need bends on the C harp; an octave up all is plain.
    const HarpCandidate* richter = find(result, kRichter, 60, false);
    ASSERT_NE(richter, nullptr);
    EXPECT_EQ(richter->shift, 12);
    EXPECT_EQ(richter->keyName, "C");
    EXPECT_EQ(richter->position, 1);
    EXPECT_EQ(std::tuple(richter->use.blow, richter->use.draw), std::tuple(4, 4));

    // A tune that is plain in all three octaves is not moved: no move wins the tie.
    Song high;
    high.addTrack({72, 74, 76, 79}, 0);
    const FinderResult highResult = findHarps(high.song, {}, {});
    const HarpCandidate* unmoved = find(highResult, kRichter, 60, false);
    ASSERT_NE(unmoved, nullptr);
    EXPECT_EQ(unmoved->shift, 0);

    // A C tune on a G harp is played in 12th position.
    const HarpCandidate* g = find(result, kRichter, composeDiatonicKey(0, 2, 0), false);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->keyName, "G");
    EXPECT_EQ(g->position, 12);
}

TEST(HarpFinder, RankingOrderAndFilters) {
    Song s;
    s.addTrack({60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 20}, 0);
    const FinderResult all = findHarps(s.song, {}, {});
    ASSERT_FALSE(all.candidates.empty());
    for (std::size_t k = 1; k < all.candidates.size(); ++k) {
        const HarpUse& a = all.candidates[k - 1].use;
        const HarpUse& b = all.candidates[k].use;
        EXPECT_LE(std::tuple(a.unavailable, a.overs, a.bends),
                  std::tuple(b.unavailable, b.overs, b.bends))
            << k;
    }
    // Note 20 is on no harp; the chromatic scale needs no bend on a chromatic.
    const HarpCandidate& best = all.candidates.front();
    EXPECT_TRUE(best.chromatic);
    EXPECT_EQ(best.use.unavailable, 1);
    EXPECT_EQ(best.use.bends + best.use.overs, 0);
    EXPECT_EQ(best.use.blow + best.use.draw + best.use.unavailable, 14);
    EXPECT_EQ(all.candidates.size(), (17u + 8u) * 12u);

    FinderOptions strict;
    strict.noBends = true;
    strict.noOvers = true;
    strict.chromatic = false;
    for (const HarpCandidate& c : findHarps(s.song, {}, strict).candidates) {
        EXPECT_FALSE(c.chromatic);
        EXPECT_EQ(c.use.bends + c.use.overs, 0) << c.tuning << " " << c.keyName;
    }
    FinderOptions chromaticOnly;
    chromaticOnly.diatonic = false;
    EXPECT_EQ(findHarps(s.song, {}, chromaticOnly).candidates.size(), 8u * 12u);
}

TEST(HarpFinder, TiesGoToThePlainRichterInTheUsualPositions) {
    // One C5 in C major: every harp whose scale holds C plays it as a plain blow or draw, in
    // some octave. On the Richter that is C (1st), F (2nd), Bb (3rd), G (12th), Eb (4th),
    // Ab (5th) and Db (6th), and every chromatic.
    Song s;
    s.addTrack({72}, 0);
    s.addSignature(0, 0, false);
    const FinderResult result = findHarps(s.song, {}, {});
    std::vector<std::tuple<std::string, std::string, int>> first;
    for (std::size_t k = 0; k < 8; ++k) {
        const HarpCandidate& c = result.candidates[k];
        EXPECT_EQ(c.use.bends + c.use.overs + c.use.unavailable, 0) << k;
        first.emplace_back(c.tuning, c.keyName, c.position);
    }
    const std::string richter = "Major Diatonic (Richter)";
    const std::vector<std::tuple<std::string, std::string, int>> expected = {
        {richter, "C", 1},  {richter, "F", 2},  {richter, "Bb", 3}, {richter, "G", 12},
        {richter, "Eb", 4}, {richter, "Ab", 5}, {richter, "Db", 6}};
    EXPECT_EQ(std::vector(first.begin(), first.begin() + 7), expected);
    // Then the other tunings on a tie, in the same order of positions.
    EXPECT_NE(std::get<0>(first[7]), richter);
    EXPECT_EQ(std::get<2>(first[7]), 1);

    // A melody that the Richter in 2nd position and a chromatic in 8th both play plainly:
    // the Richter comes first, and so does every plain Richter before every other tuning.
    Song g;
    g.addTrack({67, 71, 74, 79, 74, 71}, 0);
    g.addSignature(0, 1, false);
    const FinderResult cross = findHarps(g.song, {}, {});
    const auto place = [&cross](auto wanted) {
        const auto& c = cross.candidates;
        return std::find_if(c.begin(), c.end(), wanted) - c.begin();
    };
    const auto richterC = place([&](const HarpCandidate& c) {
        return c.tuningIndex == kRichter && !c.chromatic && c.keyName == "C";
    });
    const auto eighth = place([](const HarpCandidate& c) { return c.position == 8; });
    const auto otherFirst = place([&](const HarpCandidate& c) {
        return c.position == 1 && (c.chromatic || c.tuningIndex != kRichter);
    });
    ASSERT_LT(richterC, static_cast<std::ptrdiff_t>(cross.candidates.size()));
    EXPECT_EQ(cross.candidates[static_cast<std::size_t>(richterC)].position, 2);
    EXPECT_EQ(difficulty(cross.candidates[static_cast<std::size_t>(richterC)]), 0);
    ASSERT_LT(eighth, static_cast<std::ptrdiff_t>(cross.candidates.size()));
    EXPECT_EQ(difficulty(cross.candidates[static_cast<std::size_t>(eighth)]), 0);
    EXPECT_LT(richterC, eighth);
    EXPECT_LT(richterC, otherFirst) << "a plain Richter before another tuning in 1st";
    for (std::size_t k = 1; k < cross.candidates.size(); ++k) {
        const HarpCandidate& a = cross.candidates[k - 1];
        const HarpCandidate& b = cross.candidates[k];
        if (difficulty(a) == difficulty(b) && a.tuning != b.tuning) {
            EXPECT_FALSE(b.tuning == richter && !b.chromatic) << k << " " << a.tuning;
        }
    }
}

TEST(HarpFinder, OnlyTheHarpsThePlayerOwns) {
    Song s;
    s.addTrack(kCMajorC5, 0);
    s.addSignature(0, 0, false);
    FinderOptions mine;
    mine.harps = {{"Major Diatonic (Richter)", 0},
                  {"Major Diatonic (Richter)", 9},
                  {"Melody Maker (Lee Oskar)", 7},
                  {"12 Hole Chromatic (std 48)", 10},
                  {"No Such Tuning", 0}};
    const FinderResult result = findHarps(s.song, {}, mine);
    std::vector<std::tuple<std::string, std::string, bool>> found;
    for (const HarpCandidate& c : result.candidates) {
        found.emplace_back(c.tuning, c.keyName, c.chromatic);
    }
    // The Melody Maker is named after G, a fifth above its layout key; it bends for the F.
    const std::vector<std::tuple<std::string, std::string, bool>> expected = {
        {"Major Diatonic (Richter)", "C", false},
        {"12 Hole Chromatic (std 48)", "Bb", true},
        {"Melody Maker (Lee Oskar)", "G", false},
        {"Major Diatonic (Richter)", "A", false}};
    EXPECT_EQ(found, expected);
    mine.diatonic = false;
    EXPECT_EQ(findHarps(s.song, {}, mine).candidates.size(), 1u);
}

TEST(HarpFinder, HarpsWrittenAsNameAtKey) {
    EXPECT_EQ(keyOfName("C"), 0);
    EXPECT_EQ(keyOfName("Bb"), 10);
    EXPECT_EQ(keyOfName("F#"), 6);
    EXPECT_EQ(keyOfName("a"), 9);
    EXPECT_EQ(keyOfName("Cb"), 11);
    EXPECT_EQ(keyOfName("E#"), 5);
    for (const char* bad : {"", "H", "C##", "Bbb", "C4", "Cx", " C", "do"}) {
        EXPECT_EQ(keyOfName(bad), std::nullopt) << bad;
    }
    std::string error;
    const auto harp = parseHarp("  hohner 365 @Bb", error);
    ASSERT_TRUE(harp) << error;
    EXPECT_EQ(*harp, (OwnedHarp{"Hohner 365", 10}));
    EXPECT_EQ(parseHarp("8 Hole Chromatic (std 32)@D", error),
              (OwnedHarp{" 8 Hole Chromatic (std 32)", 2}));
    EXPECT_EQ(parseHarp("Koch/Slide (ritcher tuned)@F#", error),
              (OwnedHarp{"Koch/Slide (ritcher tuned)", 6}));
    for (const char* bad : {"Major Diatonic (Richter)", "Major Diatonic (Richter)@H",
                            "Major Diatonic@C", "@C", "[Custom]@C"}) {
        error.clear();
        EXPECT_EQ(parseHarp(bad, error), std::nullopt) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    const std::vector<std::string> tunings = finderTunings();
    const std::size_t diatonic = builtInDiatonicTunings().size();
    ASSERT_EQ(tunings.size(), diatonic + builtInChromaticTunings().size());
    EXPECT_EQ(tunings.front(), "Major Diatonic (Richter)");
    EXPECT_EQ(tunings[diatonic], "16 Hole Chromatic (std 64)");
}

TEST(HarpFinder, RangeTrackAndSignatureAtTheRangeStart) {
    Song s;
    const int first = s.addTrack(kCMajorC5, 0);
    s.addTrack({60, 62}, 1);
    s.addSignature(0, 0, false);
    s.addSignature(4 * kQuarter, 2, false);
    FinderRange range;
    range.track = first;
    range.from = 2 * kQuarter;
    range.to = 5 * kQuarter;
    FinderResult result = findHarps(s.song, range, {});
    EXPECT_EQ(result.notes, 3);
    EXPECT_EQ(result.key.name(), "C major");
    range.from = 4 * kQuarter;
    range.to = -1;
    result = findHarps(s.song, range, {});
    EXPECT_EQ(result.notes, 4);
    EXPECT_EQ(result.key.name(), "D major");
    range.track = 2;
    range.from = -1;
    EXPECT_EQ(findHarps(s.song, range, {}).notes, 2);
}

} // namespace
} // namespace reedtab
