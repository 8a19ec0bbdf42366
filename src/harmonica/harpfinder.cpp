#include "harmonica/harpfinder.h"
#include "model/midiconstants.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <tuple>

namespace reedtab {

namespace {

constexpr std::array<int, 3> kShifts = {0, -12, 12};
// The harp most players own and learn on; it wins every tie.
constexpr std::string_view kPlainRichter = "Major Diatonic (Richter)";
// The positions players use most, in the order they are offered on a tie.
constexpr std::array<int, 5> kFavouredPositions = {1, 2, 3, 12, 4};

// Krumhansl–Kessler probe-tone ratings, tonic first.
constexpr std::array<double, 12> kMajorProfile = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09,
                                                  2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
constexpr std::array<double, 12> kMinorProfile = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53,
                                                  2.54, 4.75, 3.98, 2.69, 3.34, 3.17};

bool inRange(const MidiEvent& event, const FinderRange& range) {
    return (range.from < 0 || event.tick >= range.from) && (range.to < 0 || event.tick < range.to);
}

bool melodyNote(const MidiEvent& event) {
    return event.isNoteOn() && event.channel() != kDrumChannel;
}

double correlation(const std::array<double, 12>& weights, const std::array<double, 12>& profile,
                   int tonic) {
    double meanW = 0;
    double meanP = 0;
    for (int k = 0; k < 12; ++k) {
        meanW += weights[static_cast<std::size_t>(k)];
        meanP += profile[static_cast<std::size_t>(k)];
    }
    meanW /= 12;
    meanP /= 12;
    double product = 0;
    double sumW = 0;
    double sumP = 0;
    for (int k = 0; k < 12; ++k) {
        const double w = weights[static_cast<std::size_t>((tonic + k) % 12)] - meanW;
        const double p = profile[static_cast<std::size_t>(k)] - meanP;
        product += w * p;
        sumW += w * w;
        sumP += p * p;
    }
    return sumW > 0 ? product / std::sqrt(sumW * sumP) : 0;
}

// The key signature in force at `tick` (the last one at or before it), or null.
const KeySignatureEvent* signatureAt(const MidiSong& song, int32_t tick) {
    const KeySignatureEvent* found = nullptr;
    for (const auto& track : song.tracks) {
        for (const auto& event : track->events) {
            if (event->tick > tick) {
                break;
            }
            if (event->kind() == KindKeySignature && (!found || event->tick >= found->tick)) {
                found = static_cast<const KeySignatureEvent*>(event.get());
            }
        }
    }
    return found;
}

// Counts of a harp for the notes histogram moved by `shift`.
template <typename Layout, typename Classify>
HarpUse countUse(const Layout& layout, Classify classify, const std::array<int, 128>& histogram,
                 int shift) {
    HarpUse use;
    for (int note = 0; note < 128; ++note) {
        const int count = histogram[static_cast<std::size_t>(note)];
        if (count == 0) {
            continue;
        }
        const int moved = note + shift;
        use.add(moved < 0 || moved > 127 ? NoteUse::Unavailable : classify(layout, moved), count);
    }
    return use;
}

auto difficulty(const HarpUse& use) {
    return std::tuple(use.unavailable, use.overs, use.bends);
}

template <typename Layout, typename Classify>
void bestShift(const Layout& layout, Classify classify, const std::array<int, 128>& histogram,
               HarpCandidate& candidate) {
    bool first = true;
    for (int shift : kShifts) {
        const HarpUse use = countUse(layout, classify, histogram, shift);
        if (first || difficulty(use) < difficulty(candidate.use)) {
            candidate.use = use;
            candidate.shift = shift;
            first = false;
        }
    }
}

bool allowed(const HarpCandidate& candidate, const FinderOptions& options) {
    const HarpUse& use = candidate.use;
    if ((options.noBends && use.bends > 0) || (options.noOvers && use.overs > 0)) {
        return false;
    }
    return options.harps.empty() ||
           std::any_of(options.harps.begin(), options.harps.end(), [&](const OwnedHarp& harp) {
               return harp.key == candidate.keyClass && harp.tuning == candidate.tuning;
           });
}

int positionRank(int position) {
    const auto found = std::find(kFavouredPositions.begin(), kFavouredPositions.end(), position);
    return found != kFavouredPositions.end()
               ? static_cast<int>(found - kFavouredPositions.begin())
               : static_cast<int>(kFavouredPositions.size()) + position;
}

auto rank(const HarpCandidate& candidate) {
    const bool plain = !candidate.chromatic && candidate.tuning == kPlainRichter;
    return std::tuple_cat(difficulty(candidate.use),
                          std::tuple(plain ? 0 : 1, positionRank(candidate.position)));
}

std::string lowerTrimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    std::string out;
    for (char c : text) {
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace

NoteUse diatonicUse(const DiatonicLayout& layout, int note) {
    DiatonicPositionInfo info;
    if (layout.positionOf(note, info) != 0) {
        return NoteUse::Unavailable;
    }
    if (info.technique == kBlow) {
        return NoteUse::Blow;
    }
    if (info.technique == kDraw) {
        return NoteUse::Draw;
    }
    if ((info.technique >= kBend1 && info.technique <= kBend3) || info.valve) {
        return NoteUse::Bend;
    }
    return info.reversed ? NoteUse::Overdraw : NoteUse::Overblow;
}

NoteUse chromaticUse(const ChromaticLayout& layout, int note) {
    int row = 0;
    int column = 0;
    if (layout.positionOf(note, row, column) != 0) {
        return NoteUse::Unavailable;
    }
    return column == kBlowOut || column == kBlowIn ? NoteUse::Blow : NoteUse::Draw;
}

void HarpUse::add(NoteUse use, int count) {
    switch (use) {
    case NoteUse::Blow:
        blow += count;
        break;
    case NoteUse::Draw:
        draw += count;
        break;
    case NoteUse::Bend:
        bends += count;
        break;
    case NoteUse::Overblow:
    case NoteUse::Overdraw:
        overs += count;
        break;
    case NoteUse::Unavailable:
        unavailable += count;
        break;
    }
}

std::string SongKey::name() const {
    return HarmonicaLayout::keyName(tonic) + (minor ? " minor" : " major");
}

SongKey keyOfSignature(int sharpsFlats, bool minor) {
    // Each sharp moves the major tonic up a fifth; the minor tonic is a minor third below it.
    const int major = ((7 * sharpsFlats) % 12 + 12) % 12;
    return {minor ? (major + 9) % 12 : major, minor, true};
}

SongKey estimateKey(const std::array<double, 12>& weights) {
    SongKey best;
    double bestScore = -2;
    for (int tonic = 0; tonic < 12; ++tonic) {
        for (bool minor : {false, true}) {
            const double score = correlation(weights, minor ? kMinorProfile : kMajorProfile, tonic);
            if (score > bestScore) {
                bestScore = score;
                best = {tonic, minor, false};
            }
        }
    }
    return best;
}

int harpPosition(int harpKey, int songKey) {
    return 1 + ((7 * (songKey - harpKey)) % 12 + 12) % 12;
}

std::vector<std::string> finderTunings() {
    std::vector<std::string> names;
    for (const DiatonicTuningRecord& tuning : builtInDiatonicTunings()) {
        names.push_back(tuning.name);
    }
    for (const ChromaticTuningRecord& tuning : builtInChromaticTunings()) {
        names.push_back(tuning.name);
    }
    return names;
}

std::optional<int> keyOfName(std::string_view name) {
    static constexpr std::string_view kLetters = "CDEFGAB";
    static constexpr std::array<int, 7> kClasses = {0, 2, 4, 5, 7, 9, 11};
    if (name.empty() || name.size() > 2) {
        return std::nullopt;
    }
    const auto letter =
        kLetters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))));
    if (letter == std::string_view::npos) {
        return std::nullopt;
    }
    int key = kClasses[letter];
    if (name.size() == 2) {
        if (name[1] != 'b' && name[1] != '#') {
            return std::nullopt;
        }
        key += name[1] == '#' ? 1 : -1;
    }
    return (key + 12) % 12;
}

std::optional<OwnedHarp> parseHarp(std::string_view text, std::string& error) {
    const auto at = text.rfind('@');
    if (at == std::string_view::npos) {
        error = "\"" + std::string(text) + "\" is not NAME@KEY";
        return std::nullopt;
    }
    const std::string_view keyText = text.substr(at + 1);
    const auto key = keyOfName(keyText);
    if (!key) {
        error = "\"" + std::string(keyText) + "\" is not a key (C, Bb, F# ...)";
        return std::nullopt;
    }
    const std::string wanted = lowerTrimmed(text.substr(0, at));
    for (const std::string& name : finderTunings()) {
        if (lowerTrimmed(name) == wanted) {
            return OwnedHarp{name, *key};
        }
    }
    error = "unknown tuning \"" + std::string(text.substr(0, at)) +
            "\" (reedtab-cli notes --help lists them)";
    return std::nullopt;
}

FinderResult findHarps(const MidiSong& song, const FinderRange& range,
                       const FinderOptions& options) {
    FinderResult result;
    result.track = range.track >= 0 ? range.track : melodyTrack(song);
    std::array<int, 128> histogram{};
    std::array<double, 12> weights{};
    if (const MidiTrack* track = song.track(result.track)) {
        for (const auto& event : track->events) {
            if (!melodyNote(*event) || !inRange(*event, range) || event->data1 > 127) {
                continue;
            }
            ++histogram[event->data1];
            weights[event->data1 % 12] += std::max(event->duration, 1);
            ++result.notes;
        }
    }
    const KeySignatureEvent* signature = signatureAt(song, std::max(range.from, 0));
    result.key = signature ? keyOfSignature(signature->sharpsFlats(), signature->isMinor())
                           : estimateKey(weights);

    Settings block;
    if (options.diatonic) {
        DiatonicLayout layout(block);
        const auto& tunings = builtInDiatonicTunings();
        for (int t = 0; t < static_cast<int>(tunings.size()); ++t) {
            const DiatonicTuningRecord& tuning = tunings[static_cast<std::size_t>(t)];
            for (int name = 0; name < 12; ++name) {
                HarpCandidate candidate;
                candidate.tuning = tuning.name;
                candidate.tuningIndex = t;
                candidate.key = composeDiatonicKey(name, 2, tuning.keyOffset);
                const int harpKey = (candidate.key + tuning.keyOffset) % 12;
                candidate.keyName = HarmonicaLayout::keyName(harpKey);
                candidate.keyClass = harpKey;
                candidate.position = harpPosition(harpKey, result.key.tonic);
                layout.build(candidate.key, t);
                bestShift(layout, diatonicUse, histogram, candidate);
                if (allowed(candidate, options)) {
                    result.candidates.push_back(std::move(candidate));
                }
            }
        }
    }
    if (options.chromatic) {
        ChromaticLayout layout(block);
        const auto& tunings = builtInChromaticTunings();
        for (int t = 0; t < static_cast<int>(tunings.size()); ++t) {
            for (int name = 0; name < 12; ++name) {
                HarpCandidate candidate;
                candidate.tuning = tunings[static_cast<std::size_t>(t)].name;
                candidate.tuningIndex = t;
                candidate.chromatic = true;
                candidate.key = composeChromaticKey(name, 2);
                candidate.keyClass = candidate.key % 12;
                candidate.keyName = HarmonicaLayout::keyName(candidate.keyClass);
                candidate.position = harpPosition(candidate.keyClass, result.key.tonic);
                layout.build(candidate.key, t);
                bestShift(layout, chromaticUse, histogram, candidate);
                if (allowed(candidate, options)) {
                    result.candidates.push_back(std::move(candidate));
                }
            }
        }
    }
    std::stable_sort(
        result.candidates.begin(), result.candidates.end(),
        [](const HarpCandidate& a, const HarpCandidate& b) { return rank(a) < rank(b); });
    return result;
}

} // namespace reedtab
