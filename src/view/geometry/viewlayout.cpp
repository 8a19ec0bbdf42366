#include "view/geometry/viewlayout.h"

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

struct PitchClassPlace {
    int step;
    Accidental accidental;
};

constexpr std::array<PitchClassPlace, 12> kPitchClassPlaces{{
    {0, Accidental::None},
    {0, Accidental::Sharp},
    {1, Accidental::None},
    {2, Accidental::Flat},
    {2, Accidental::None},
    {3, Accidental::None},
    {3, Accidental::Sharp},
    {4, Accidental::None},
    {5, Accidental::Flat},
    {5, Accidental::None},
    {6, Accidental::Flat},
    {6, Accidental::None},
}};

// Semitone above the octave's C of each half staff step; the odd half steps above E and B fall
// on F and on the next C's B.
constexpr std::array<int, 14> kSemitoneOfHalfStep{0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10, 11, 11};

int floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return static_cast<int>(q);
}

int floorMod(std::int64_t a, std::int64_t b) {
    return static_cast<int>(a - static_cast<std::int64_t>(floorDiv(a, b)) * b);
}

int safeDivision(int division) {
    return division > 0 ? division : kDefaultDivision;
}
int safePixelsPerBeat(int pixelsPerBeat) {
    return pixelsPerBeat > 0 ? pixelsPerBeat : 1;
}

} // namespace

bool ViewLayout::setLayoutSize(int newLeft, int newTop, int newRight, int newBottom) {
    if (newRight != -1) {
        right = newRight;
        width = newRight;
    }
    if (newBottom != -1) {
        staffBottom = newBottom - kTextLineHeight;
        bottom = newBottom;
    }
    if (newLeft != -1) {
        left = newLeft;
        timeLeft = std::min(newLeft + kClefAreaWidth, right);
    }
    if (newTop != -1) {
        top = newTop;
        staffTop = std::min(newTop + kTopBandHeight + markStripHeight, staffBottom);
    }
    if (textHeight == -1) {
        return false;
    }
    derive();
    return true;
}

void ViewLayout::setMeasuredTextHeight(int measuredHeight) {
    textHeight = std::max(0, (measuredHeight - 1) / 2 * 2);
    derive();
}

void ViewLayout::derive() {
    middleY = (staffBottom + staffTop) / 2;
    // A zero step height (no text height and no staff space) would divide by zero everywhere.
    stepHeight = std::max(1, textHeight / 2 + 2 * tabStaffSpace);
    visibleSteps = ((middleY - staffTop) / stepHeight) * 2;
}

int displayTranspose(int tabMode) {
    switch (tabMode) {
    case 3:
        return 2;
    case 4:
        return -3;
    default:
        return 0;
    }
}

int stepOfPitchClass(int pitchClass) {
    return kPitchClassPlaces[floorMod(pitchClass, 12)].step;
}

Accidental accidentalOfPitchClass(int pitchClass) {
    return kPitchClassPlaces[floorMod(pitchClass, 12)].accidental;
}

int staffStepOfNote(int note, int transpose) {
    const int shown = note + transpose;
    return stepOfPitchClass(floorMod(shown, 12)) + 7 * floorDiv(shown, 12);
}

Accidental accidentalOfNote(int note, int transpose) {
    return accidentalOfPitchClass(floorMod(note + transpose, 12));
}

int noteBarX(const ViewLayout& layout, const ViewScale& scale, std::int32_t tick) {
    const std::int64_t product =
        (static_cast<std::int64_t>(tick) - scale.firstTick) * scale.pixelsPerBeat;
    const double x =
        layout.timeLeft + static_cast<double>(product) / safeDivision(scale.division) + 0.5;
    return static_cast<int>(x);
}

int tickX(const ViewLayout& layout, const ViewScale& scale, std::int32_t tick) {
    const std::int64_t product =
        (static_cast<std::int64_t>(tick) - scale.firstTick) * scale.pixelsPerBeat;
    return layout.timeLeft + static_cast<int>(product / safeDivision(scale.division));
}

int stepY(const ViewLayout& layout, const ViewScale& scale, int step) {
    return layout.middleY - (step - scale.centreStep) * layout.stepHeight;
}

PixelRect noteRect(const ViewLayout& layout, const ViewScale& scale, int note, std::int32_t tick,
                   std::int32_t duration) {
    PixelRect r;
    r.left = noteBarX(layout, scale, tick);
    const std::int64_t end = static_cast<std::int64_t>(tick) + duration;
    r.right =
        noteBarX(layout, scale,
                 static_cast<std::int32_t>(std::clamp<std::int64_t>(end, INT32_MIN, INT32_MAX)));
    if (r.right <= r.left + 1) {
        r.right = r.left + 1;
    }
    r.top = stepY(layout, scale, staffStepOfNote(note, scale.transpose)) - layout.textHeight / 2;
    if (scale.offsetAccidentals) {
        switch (accidentalOfNote(note, scale.transpose)) {
        case Accidental::Sharp:
            r.top -= layout.stepHeight / 2;
            break;
        case Accidental::Flat:
            r.top += layout.stepHeight / 2;
            break;
        case Accidental::None:
            break;
        }
    }
    r.bottom = r.top + layout.textHeight + 1;
    return r;
}

int pitchAtY(const ViewLayout& layout, const ViewScale& scale, int y) {
    const int numerator =
        2 * layout.middleY - 2 * y - layout.textHeight + layout.stepHeight / 2 - 1;
    const double halfSteps = static_cast<double>(numerator) / std::max(1, layout.stepHeight) +
                             2 * scale.centreStep + 0.5;
    const int h = static_cast<int>(halfSteps);
    const int note = kSemitoneOfHalfStep[floorMod(h, 14)] + floorDiv(h, 14) * 12 - scale.transpose;
    // A point far above or below the staff must still name a playable MIDI note.
    return std::clamp(note, 0, 127);
}

std::int32_t tickAtX(const ViewLayout& layout, const ViewScale& scale, int x) {
    const double ticks = static_cast<double>(x - layout.timeLeft) * safeDivision(scale.division) /
                             safePixelsPerBeat(scale.pixelsPerBeat) +
                         0.5;
    // Left of timeLeft (a note dragged back to tick 0 of a scrolled window) the nearest tick
    // is the floor, not the truncation towards timeLeft.
    return static_cast<std::int32_t>(std::floor(ticks)) + scale.firstTick;
}

std::int32_t snapToTwelfth(std::int32_t tick, int division) {
    const int d = safeDivision(division);
    const int r = floorMod(tick, d);
    const double g = d / 12.0;
    return tick - r + static_cast<std::int32_t>(static_cast<int>((r + g / 2) / g) * g);
}

std::int32_t clickTick(const ViewLayout& layout, const ViewScale& scale, int x, bool snap) {
    const int ppb = safePixelsPerBeat(scale.pixelsPerBeat);
    const std::int64_t dx = std::max(x, layout.timeLeft) - layout.timeLeft;
    const auto tick = static_cast<std::int32_t>(
        (dx * safeDivision(scale.division) + ppb / 2) / ppb + scale.firstTick);
    return snap ? snapToTwelfth(tick, scale.division) : tick;
}

int visibleTicksFor(const ViewLayout& layout, int pixelsPerBeat, int division) {
    const int beats = (layout.right - layout.timeLeft) / safePixelsPerBeat(pixelsPerBeat);
    return (beats < 1 ? 1 : beats + 1) * safeDivision(division);
}

std::int32_t followFirstTick(std::int32_t firstTick, int visibleTicks, std::int32_t tick,
                             int division, bool running) {
    const int d = safeDivision(division);
    const std::int64_t lastTick = static_cast<std::int64_t>(firstTick) + visibleTicks;
    const std::int64_t limit = running ? lastTick - 2 * d : lastTick - 1;
    if (tick < firstTick || tick > limit) {
        return floorDiv(tick, d) * d;
    }
    return firstTick;
}

// View windows narrower than four beats would give a negative page and scroll the wrong way.
std::int32_t scrollPageTicks(int visibleTicks, int division) {
    const int d = safeDivision(division);
    return std::max(0, visibleTicks / (4 * d) - 1) * 4 * d;
}

std::int32_t wheelStepTicks(int visibleTicks, int division) {
    const int d = safeDivision(division);
    return std::max(0, visibleTicks / (4 * d) - 1) * d;
}

int clampCentreStep(int step) {
    return std::clamp(step, kMinCentreStep, kMaxCentreStep);
}

std::uint32_t trackColour(int k, std::uint32_t colour1, std::uint32_t colour2) {
    int w = floorMod(20 * k, 256);
    if (w > 128) {
        w = 256 - w;
    }
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int c1 = static_cast<int>((colour1 >> shift) & 0xFF);
        const int c2 = static_cast<int>((colour2 >> shift) & 0xFF);
        const int c = c1 * (128 - w) / 128 + c2 * w / 128;
        result |= static_cast<std::uint32_t>(c) << shift;
    }
    return result;
}

} // namespace reedtab
