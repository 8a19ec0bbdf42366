#include "listen/heardname.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace reedtab {

namespace {

const char* diatonicTechnique(const DiatonicPositionInfo& info) {
    switch (info.technique) {
    case kDraw:
        return "draw";
    case kBlow:
        return "blow";
    case kBend1:
        return "bent one half step";
    case kBend2:
        return "bent one whole step";
    case kBend3:
        return "bent one and a half steps";
    default:
        break;
    }
    // The over of a hole whose draw reed is the higher one is played blowing.
    return info.valve ? "valved bend" : info.reversed ? "overdraw" : "overblow";
}

const char* chromaticTechnique(int column) {
    switch (column) {
    case kBlowOut:
        return "blow";
    case kBlowIn:
        return "blow with the slide in";
    case kDrawOut:
        return "draw";
    default:
        break;
    }
    return "draw with the slide in";
}

} // namespace

std::string centsText(double cents) {
    const long rounded = std::lround(std::fabs(cents));
    if (rounded == 0) {
        return "in tune";
    }
    char text[48];
    std::snprintf(text, sizeof text, "%ld cent%s %s", rounded, rounded == 1 ? "" : "s",
                  cents < 0 ? "flat" : "sharp");
    return text;
}

std::string HeardName::describe() const {
    std::string text = hole.empty() ? tab : hole;
    if (!technique.empty()) {
        text += ", " + technique;
    }
    return text + ", " + centsText(cents);
}

std::string HeardNamer::tab(int note, std::uint16_t fingering) const {
    NoteText text;
    notation_.notateChosen(note, fingering, true, text);
    return text.prefix + text.text;
}

HeardName HeardNamer::name(int note, double cents, std::uint16_t fingering) const {
    HeardName result;
    result.note = note;
    result.cents = cents;
    NoteText text;
    const int alternative = notation_.alternativeOf(note, fingering);
    const bool playable = notation_.notate(note, alternative, true, text) == 0;
    result.tab = text.prefix + text.text;
    const int mode = settings_.tabMode;
    if (mode != kDiatonicTab && mode != kChromaticTab) {
        return result;
    }
    if (!playable) {
        result.technique = "not on the harmonica";
        return result;
    }
    if (mode == kDiatonicTab) {
        DiatonicPositionInfo info;
        diatonic_.positionOf(note, info, alternative);
        result.hole = text.prefix + std::to_string(info.hole + 1);
        result.technique = diatonicTechnique(info);
        return result;
    }
    int row = 0;
    int column = 0;
    chromatic_.positionOf(note, row, column, alternative);
    // The label without the slide mark, keeping a low-octave hole's own mark.
    std::string hole = text.text;
    if ((column == kBlowIn || column == kDrawIn) && !hole.empty()) {
        hole.pop_back();
    }
    result.hole = text.prefix + hole;
    result.technique = chromaticTechnique(column);
    return result;
}

HoleSpan HeardNamer::span(int note, std::uint16_t fingering) const {
    const HoleSpan alone{note, note, note};
    DiatonicPositionInfo info;
    if (settings_.tabMode != kDiatonicTab ||
        diatonic_.positionOf(note, info, notation_.alternativeOf(note, fingering)) != 0) {
        return alone;
    }
    const auto at = [&](int slot) {
        const ReedPosition* position = diatonic_.positionAt(info.hole, slot);
        return position ? diatonic_.key() + position->note : -1;
    };
    const int higher = std::max(at(kBlow), at(kDraw));
    if (info.technique == kOver) {
        return {std::min(higher, note), std::max(higher, note), higher};
    }
    if (note != higher && info.technique < kBend1) {
        return alone;
    }
    for (const int slot : {kBend3, kBend2, kBend1}) {
        if (const int deepest = at(slot); deepest >= 0) {
            return {deepest, higher, higher};
        }
    }
    return alone;
}

} // namespace reedtab
