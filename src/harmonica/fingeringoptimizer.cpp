#include "harmonica/fingeringoptimizer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

namespace reedtab {

namespace {

// Beyond this many combinations a chord is not searched: no harmonica chord has that many
// notes with several ways each, so such a chord is a piano's and plays each note its own way.
constexpr std::size_t kMaxCombinations = 4096;

// The notes that start at one tick and that the harmonica plays, lowest first.
struct Group {
    std::vector<std::size_t> notes;
    bool afterRest = false;
};

// One way of playing a group: an alternative for each of its notes, with what it costs and
// where it leaves the mouth.
struct Way {
    std::vector<int> alternatives;
    double cost = 0.0;
    double centre = 0.0;
    bool blow = true;
    bool slide = false;
};

std::vector<Group> groupsOf(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                            int32_t restTicks) {
    std::vector<std::size_t> order(notes.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return notes[a].tick != notes[b].tick ? notes[a].tick < notes[b].tick
                                              : notes[a].key < notes[b].key;
    });
    std::vector<Group> groups;
    int32_t heardUntil = std::numeric_limits<int32_t>::min();
    for (std::size_t i = 0; i < order.size();) {
        const int32_t tick = notes[order[i]].tick;
        Group group;
        group.afterRest = restTicks > 0 && heardUntil != std::numeric_limits<int32_t>::min() &&
                          static_cast<int64_t>(tick) - heardUntil >= restTicks;
        for (; i < order.size() && notes[order[i]].tick == tick; ++i) {
            const PhraseNote& note = notes[order[i]];
            heardUntil = std::max(heardUntil, note.end);
            if (!layout.noteMap(note.key).empty()) {
                group.notes.push_back(order[i]);
            }
        }
        if (!group.notes.empty()) {
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

Playing playingAt(const HarmonicaLayout& layout, int key, int alternative) {
    return layout.playingOf(layout.noteMap(key)[static_cast<std::size_t>(alternative)]);
}

Way wayOf(const HarmonicaLayout& layout, std::span<const PhraseNote> notes, const Group& group,
          std::vector<int> alternatives, const FingeringOptions& options) {
    Way way;
    int low = std::numeric_limits<int>::max();
    int high = std::numeric_limits<int>::min();
    for (std::size_t i = 0; i < group.notes.size(); ++i) {
        const Playing playing = playingAt(layout, notes[group.notes[i]].key, alternatives[i]);
        way.cost += techniqueCost(playing, alternatives[i], options);
        low = std::min(low, playing.place);
        high = std::max(high, playing.place);
        // The top note is the melody a player follows.
        way.blow = playing.blow;
        way.slide = playing.slide;
    }
    way.centre = (low + high) / 2.0;
    way.alternatives = std::move(alternatives);
    return way;
}

double moveCost(const Way& from, const Way& to, bool afterRest, const FingeringWeights& w) {
    const double move = w.holeMove * std::abs(to.centre - from.centre) +
                        (from.blow != to.blow ? w.breathChange : 0.0) +
                        (from.slide != to.slide ? w.slideChange : 0.0);
    return afterRest ? move * w.afterRest : move;
}

// Every combination of a chord's alternatives, the first note's changing fastest; empty when
// there are more than kMaxCombinations.
std::vector<std::vector<int>> combinations(const HarmonicaLayout& layout,
                                           std::span<const PhraseNote> notes, const Group& group) {
    std::size_t count = 1;
    for (const std::size_t n : group.notes) {
        count *= layout.noteMap(notes[n].key).size();
        if (count > kMaxCombinations) {
            return {};
        }
    }
    std::vector<std::vector<int>> all;
    std::vector<int> current(group.notes.size(), 0);
    for (std::size_t c = 0; c < count; ++c) {
        all.push_back(current);
        for (std::size_t i = 0; i < current.size(); ++i) {
            const auto size = static_cast<int>(layout.noteMap(notes[group.notes[i]].key).size());
            if (++current[i] < size) {
                break;
            }
            current[i] = 0;
        }
    }
    return all;
}

std::vector<Way> waysOf(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                        const Group& group, const FingeringOptions& options) {
    std::vector<Way> ways;
    if (group.notes.size() == 1) {
        const auto count = static_cast<int>(layout.noteMap(notes[group.notes[0]].key).size());
        for (int k = 0; k < count; ++k) {
            ways.push_back(wayOf(layout, notes, group, {k}, options));
        }
        return ways;
    }
    for (std::vector<int>& alternatives : combinations(layout, notes, group)) {
        std::vector<Playing> playings;
        for (std::size_t i = 0; i < alternatives.size(); ++i) {
            playings.push_back(playingAt(layout, notes[group.notes[i]].key, alternatives[i]));
        }
        if (soundTogether(playings)) {
            ways.push_back(wayOf(layout, notes, group, std::move(alternatives), options));
        }
    }
    if (!ways.empty()) {
        return ways;
    }
    std::vector<int> cheapest;
    for (const std::size_t n : group.notes) {
        const auto count = static_cast<int>(layout.noteMap(notes[n].key).size());
        int best = 0;
        for (int k = 1; k < count; ++k) {
            if (techniqueCost(playingAt(layout, notes[n].key, k), k, options) <
                techniqueCost(playingAt(layout, notes[n].key, best), best, options)) {
                best = k;
            }
        }
        cheapest.push_back(best);
    }
    ways.push_back(wayOf(layout, notes, group, std::move(cheapest), options));
    return ways;
}

} // namespace

double techniqueCost(const Playing& playing, int alternative, const FingeringOptions& options) {
    const FingeringWeights& w = options.weights;
    double cost = alternative > 0 ? w.otherThanPreferred : 0.0;
    if (playing.bend > 0) {
        cost += playing.valved ? w.valvedBend
                               : w.bend[static_cast<std::size_t>(std::min(playing.bend, 3) - 1)];
        cost += options.avoidBends ? w.avoided : 0.0;
    }
    if (playing.over) {
        cost += w.over + (options.avoidOverblows ? w.avoided : 0.0);
    }
    if (playing.slide) {
        cost += w.slideIn;
    }
    return cost;
}

bool soundTogether(std::span<const Playing> playings) {
    if (playings.size() < 2) {
        return false;
    }
    int low = std::numeric_limits<int>::max();
    int high = std::numeric_limits<int>::min();
    std::vector<int> places;
    for (const Playing& p : playings) {
        if (p.blow != playings[0].blow || p.slide != playings[0].slide || p.bend > 0 || p.over) {
            return false;
        }
        low = std::min(low, p.place);
        high = std::max(high, p.place);
        places.push_back(p.place);
    }
    std::sort(places.begin(), places.end());
    // Four neighbouring holes: the mouth's width with the tongue blocking the middle ones.
    return std::adjacent_find(places.begin(), places.end()) == places.end() && high - low <= 3;
}

std::vector<int> bestAlternatives(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                                  const FingeringOptions& options) {
    std::vector<int> result(notes.size(), -1);
    const std::vector<Group> groups = groupsOf(layout, notes, options.restTicks);
    if (groups.empty()) {
        return result;
    }
    std::vector<std::vector<Way>> ways;
    ways.reserve(groups.size());
    for (const Group& group : groups) {
        ways.push_back(waysOf(layout, notes, group, options));
    }
    // total[w]: the least cost of the phrase up to this group ending with way w; from[g][w]:
    // the way of group g - 1 that it came from.
    std::vector<double> total;
    for (const Way& way : ways[0]) {
        total.push_back(way.cost);
    }
    std::vector<std::vector<std::size_t>> from(groups.size());
    for (std::size_t g = 1; g < groups.size(); ++g) {
        std::vector<double> next;
        for (const Way& way : ways[g]) {
            double best = std::numeric_limits<double>::infinity();
            std::size_t bestFrom = 0;
            for (std::size_t p = 0; p < ways[g - 1].size(); ++p) {
                const double cost =
                    total[p] + moveCost(ways[g - 1][p], way, groups[g].afterRest, options.weights);
                if (cost < best) {
                    best = cost;
                    bestFrom = p;
                }
            }
            next.push_back(best + way.cost);
            from[g].push_back(bestFrom);
        }
        total = std::move(next);
    }
    std::size_t way =
        static_cast<std::size_t>(std::min_element(total.begin(), total.end()) - total.begin());
    for (std::size_t g = groups.size(); g-- > 0;) {
        const Way& chosen = ways[g][way];
        for (std::size_t i = 0; i < groups[g].notes.size(); ++i) {
            result[groups[g].notes[i]] = chosen.alternatives[i];
        }
        if (g > 0) {
            way = from[g][way];
        }
    }
    return result;
}

double phraseCost(const HarmonicaLayout& layout, std::span<const PhraseNote> notes,
                  std::span<const int> alternatives, const FingeringOptions& options) {
    double cost = 0.0;
    std::optional<Way> previous;
    for (const Group& group : groupsOf(layout, notes, options.restTicks)) {
        std::vector<int> chosen;
        for (const std::size_t n : group.notes) {
            chosen.push_back(std::max(0, alternatives[n]));
        }
        Way way = wayOf(layout, notes, group, std::move(chosen), options);
        cost += way.cost;
        if (previous) {
            cost += moveCost(*previous, way, group.afterRest, options.weights);
        }
        previous = std::move(way);
    }
    return cost;
}

} // namespace reedtab
