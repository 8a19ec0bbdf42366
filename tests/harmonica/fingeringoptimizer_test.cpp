#include "harmonica/fingeringoptimizer.h"

#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace reedtab {
namespace {

constexpr int kQuarter = 480;

// Tablature of the alternatives chosen, as the note menu writes them.
std::string tab(const HarmonicaLayout& layout, const std::vector<PhraseNote>& notes,
                const std::vector<int>& chosen) {
    std::string text;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        NoteText note;
        EXPECT_EQ(layout.tabText(notes[i].key, chosen[i], note, true), 0);
        text += (i ? " " : "") + note.prefix + note.text;
    }
    return text;
}

// One note after the other, a quarter note each.
std::vector<PhraseNote> melody(std::initializer_list<int> keys) {
    std::vector<PhraseNote> notes;
    int32_t tick = 0;
    for (const int key : keys) {
        notes.push_back({tick, tick + kQuarter, key});
        tick += kQuarter;
    }
    return notes;
}

class FingeringTest : public ::testing::Test {
protected:
    Settings block;
    DiatonicLayout richter{block};
    ChromaticLayout chromatic{block};
};

TEST_F(FingeringTest, AnArpeggioStaysOnOneBreathWhereThePreferredWayWouldChange) {
    const auto notes = melody({60, 64, 67, 64, 60});
    const std::vector<int> chosen = bestAlternatives(richter, notes, {});
    EXPECT_EQ(tab(richter, notes, chosen), "+1 +2 +3 +2 +1");
    EXPECT_EQ(tab(richter, notes, std::vector<int>(notes.size(), 0)), "+1 +2 -2 +2 +1")
        << "the preferred way of G is draw 2";
}

TEST_F(FingeringTest, TheDrawRunKeepsThePreferredWay) {
    const auto notes = melody({62, 67, 71, 67, 69});
    EXPECT_EQ(tab(richter, notes, bestAlternatives(richter, notes, {})), "-1 -2 -3 -2 -3''");
}

TEST_F(FingeringTest, AChordKeepsToWaysThatSoundTogether) {
    // C E G at once: draw 2 cannot sound with blow 1 and 2.
    const std::vector<PhraseNote> chord = {{0, kQuarter, 67}, {0, kQuarter, 60}, {0, kQuarter, 64}};
    EXPECT_EQ(tab(richter, chord, bestAlternatives(richter, chord, {})), "+3 +1 +2");
    // A chord that no harmonica way plays together still gets each note its easiest way.
    const std::vector<PhraseNote> wide = {{0, kQuarter, 60}, {0, kQuarter, 71}};
    EXPECT_EQ(tab(richter, wide, bestAlternatives(richter, wide, {})), "+1 -3");
}

TEST_F(FingeringTest, ChromaticTakesTheNearerHoleAndTrillsWithTheSlide) {
    chromatic.build(60, 2);
    // G then C: blow 4, next to blow 3, rather than the preferred blow 5.
    const auto notes = melody({67, 72, 67, 72});
    EXPECT_EQ(tab(chromatic, notes, std::vector<int>(notes.size(), 0)), "+3 +5 +3 +5");
    EXPECT_EQ(tab(chromatic, notes, bestAlternatives(chromatic, notes, {})), "+3 +4 +3 +4");
    // B and C alternating: draw 4 with the slide pushed and let go, no change of breath.
    const auto trill = melody({71, 72, 71});
    EXPECT_EQ(tab(chromatic, trill, bestAlternatives(chromatic, trill, {})), "-4 -4< -4");
}

TEST_F(FingeringTest, AvoidingBendsAndOverblows) {
    // E, Ab, E: the overblow of hole 2 stays on the hole and the breath; the three-step bend of
    // hole 3 moves and changes breath twice.
    const auto notes = melody({64, 68, 64});
    FingeringOptions options;
    EXPECT_EQ(tab(richter, notes, bestAlternatives(richter, notes, options)), "+2 +2o +2");
    options.avoidOverblows = true;
    EXPECT_EQ(tab(richter, notes, bestAlternatives(richter, notes, options)), "+2 -3''' +2");
    options.avoidBends = true;
    EXPECT_EQ(tab(richter, notes, bestAlternatives(richter, notes, options)), "+2 +2o +2")
        << "both avoided: the least effort again";
    options.avoidOverblows = false;
    // A note only a bend plays is still played by it.
    const auto bent = melody({61, 70});
    EXPECT_EQ(tab(richter, bent, bestAlternatives(richter, bent, options)), "-1' -3'");
}

TEST_F(FingeringTest, NotesTheHarpLacksAreLeftOutAndTheRestStillChosen) {
    const auto notes = melody({60, 40, 64, 67, 130});
    const std::vector<int> chosen = bestAlternatives(richter, notes, {});
    EXPECT_EQ(chosen[1], -1);
    EXPECT_EQ(chosen[4], -1);
    EXPECT_EQ(chosen[3], 1) << "+3 after +2";
}

TEST_F(FingeringTest, TheOrderTheNotesComeInDoesNotMatter) {
    auto notes = melody({60, 64, 67, 71, 72, 67, 64});
    const std::vector<int> inOrder = bestAlternatives(richter, notes, {});
    std::vector<std::size_t> order(notes.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = order.size() - 1 - i;
    }
    std::vector<PhraseNote> reversed;
    for (const std::size_t i : order) {
        reversed.push_back(notes[i]);
    }
    const std::vector<int> chosen = bestAlternatives(richter, reversed, {});
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(chosen[i], inOrder[order[i]]) << i;
    }
}

// What a test accepts as sounding together, written from how a player holds a chord.
bool together(const std::vector<Playing>& ways) {
    std::vector<int> places;
    for (const Playing& p : ways) {
        if (p.blow != ways[0].blow || p.slide != ways[0].slide || p.bend != 0 || p.over) {
            return false;
        }
        places.push_back(p.place);
    }
    std::sort(places.begin(), places.end());
    return std::unique(places.begin(), places.end()) == places.end() &&
           places.back() - places.front() < 4;
}

// The least cost over every assignment the chord rule allows, by trying them all.
double exhaustiveBest(const HarmonicaLayout& layout, const std::vector<PhraseNote>& notes,
                      const FingeringOptions& options) {
    std::vector<int> sizes;
    for (const PhraseNote& note : notes) {
        sizes.push_back(static_cast<int>(layout.noteMap(note.key).size()));
    }
    // The notes of each chord, and whether the chord can sound together at all.
    std::vector<std::vector<std::size_t>> chords;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (sizes[i] == 0) {
            continue;
        }
        auto same = std::find_if(chords.begin(), chords.end(), [&](const auto& chord) {
            return notes[chord[0]].tick == notes[i].tick;
        });
        if (same == chords.end()) {
            chords.push_back({i});
        } else {
            same->push_back(i);
        }
    }
    std::vector<int> assignment(notes.size(), -1);
    auto playingOf = [&](std::size_t i, int k) {
        return layout.playingOf(layout.noteMap(notes[i].key)[static_cast<std::size_t>(k)]);
    };
    std::vector<bool> canSoundTogether;
    for (const auto& chord : chords) {
        bool any = false;
        if (chord.size() > 1) {
            std::vector<int> k(chord.size(), 0);
            for (bool more = true; more && !any;) {
                std::vector<Playing> ways;
                for (std::size_t n = 0; n < chord.size(); ++n) {
                    ways.push_back(playingOf(chord[n], k[n]));
                }
                any = together(ways);
                more = false;
                for (std::size_t n = 0; n < chord.size() && !more; ++n) {
                    more = ++k[n] < sizes[chord[n]];
                    if (!more) {
                        k[n] = 0;
                    }
                }
            }
        }
        canSoundTogether.push_back(any);
    }
    auto allowed = [&] {
        for (std::size_t c = 0; c < chords.size(); ++c) {
            const auto& chord = chords[c];
            if (chord.size() < 2) {
                continue;
            }
            std::vector<Playing> ways;
            for (const std::size_t n : chord) {
                ways.push_back(playingOf(n, assignment[n]));
            }
            if (canSoundTogether[c] ? !together(ways) : false) {
                return false;
            }
            if (!canSoundTogether[c]) {
                // Each note its own least costly way, the first of equals.
                for (const std::size_t n : chord) {
                    for (int k = 0; k < sizes[n]; ++k) {
                        const double here = techniqueCost(playingOf(n, k), k, options);
                        const double chosen =
                            techniqueCost(playingOf(n, assignment[n]), assignment[n], options);
                        if (here < chosen || (here == chosen && k < assignment[n])) {
                            return false;
                        }
                    }
                }
            }
        }
        return true;
    };
    double best = std::numeric_limits<double>::infinity();
    std::vector<std::size_t> playable;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (sizes[i] > 0) {
            playable.push_back(i);
            assignment[i] = 0;
        }
    }
    for (bool more = true; more;) {
        if (allowed()) {
            best = std::min(best, phraseCost(layout, notes, assignment, options));
        }
        more = false;
        for (std::size_t n = 0; n < playable.size() && !more; ++n) {
            more = ++assignment[playable[n]] < sizes[playable[n]];
            if (!more) {
                assignment[playable[n]] = 0;
            }
        }
    }
    return best;
}

TEST_F(FingeringTest, ShortRandomPhrasesMatchAnExhaustiveSearch) {
    std::mt19937 random(20251);
    DiatonicLayout solo(block);
    solo.build(60, 5); // Solo Tuning: many notes on two holes
    DiatonicLayout valved(block);
    valved.build(55, 8);
    DiatonicLayout powerDraw(block);
    powerDraw.build(60, 14);
    ChromaticLayout sixteen(block);
    sixteen.build(60, 0);
    const std::vector<const HarmonicaLayout*> layouts = {&richter,   &solo,      &valved,
                                                         &powerDraw, &chromatic, &sixteen};
    int phrases = 0;
    for (const HarmonicaLayout* layout : layouts) {
        // Notes with several ways make the choice; a few with one way or none come in too.
        std::vector<int> many;
        std::vector<int> others;
        for (int key = 30; key <= 110; ++key) {
            (layout->noteMap(key).size() > 1 ? many : others).push_back(key);
        }
        ASSERT_FALSE(many.empty());
        for (int round = 0; round < 60; ++round) {
            std::vector<PhraseNote> notes;
            int32_t tick = 0;
            const int groups = 2 + static_cast<int>(random() % 5);
            for (int g = 0; g < groups; ++g) {
                const int size = random() % 4 == 0 ? 2 + static_cast<int>(random() % 2) : 1;
                const int32_t length = kQuarter / 2 * (1 + static_cast<int>(random() % 3));
                for (int n = 0; n < size; ++n) {
                    const auto& pool = random() % 5 == 0 ? others : many;
                    notes.push_back({tick, tick + length, pool[random() % pool.size()]});
                }
                tick += length + (random() % 4 == 0 ? 2 * kQuarter : 0);
            }
            FingeringOptions options;
            options.avoidBends = random() % 3 == 0;
            options.avoidOverblows = random() % 3 == 0;
            options.restTicks = random() % 2 == 0 ? kQuarter : 0;
            const std::vector<int> chosen = bestAlternatives(*layout, notes, options);
            const double expected = exhaustiveBest(*layout, notes, options);
            EXPECT_NEAR(phraseCost(*layout, notes, chosen, options), expected, 1e-9)
                << "layout " << layout->layoutTitle() << " round " << round;
            ++phrases;
        }
    }
    EXPECT_EQ(phrases, 360);
}

} // namespace
} // namespace reedtab
