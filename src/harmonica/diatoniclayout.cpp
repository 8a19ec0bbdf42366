#include "harmonica/diatoniclayout.h"

#include "harmonica/internal/tuningtext.h"

#include <algorithm>

namespace reedtab {

namespace {

using Row = std::array<int, 16>;

DiatonicTuningRecord tuning(const char* name, int holes, int keyOffset, Row blow, Row draw,
                            bool valved = false) {
    DiatonicTuningRecord record{name, holes, keyOffset, blow, draw, {}};
    for (int h = 0; h < holes && valved; ++h) {
        record.valve[static_cast<std::size_t>(h)] = true;
    }
    return record;
}

constexpr Row kRichterBlow = {0, 4, 7, 12, 16, 19, 24, 28, 31, 36};
constexpr Row kRichterDraw = {2, 7, 11, 14, 17, 21, 23, 26, 29, 33};

int techniqueOf(std::uint16_t code) {
    return (code >> 8) & 0x0F;
}

constexpr std::array<const char*, 5> kOctaveNames = {"-2", "Low", "Std", "High", "+2"};

} // namespace

const std::array<DiatonicTuningRecord, 17>& builtInDiatonicTunings() {
    // Users' settings keep a tuning by its name and the tuning list by its order, so new
    // tunings go at the end.
    static const std::array<DiatonicTuningRecord, 17> tunings = {
        tuning("Major Diatonic (Richter)", 10, 0, kRichterBlow, kRichterDraw),
        tuning("Country Tuning (Hohner)", 10, 0, kRichterBlow,
               {2, 7, 11, 14, 18, 21, 23, 26, 29, 33}),
        tuning("Harmonic Minor (Hohner)", 10, 0, {0, 3, 7, 12, 15, 19, 24, 27, 31, 36},
               {2, 7, 11, 14, 17, 20, 23, 26, 29, 32}),
        tuning("Natural Minor (Hohner)", 10, 0, {0, 3, 7, 12, 15, 19, 24, 27, 31, 36},
               {2, 7, 10, 14, 17, 21, 22, 26, 29, 33}),
        tuning("Melody Maker (Lee Oskar)", 10, 7, {0, 4, 9, 12, 16, 19, 24, 28, 31, 36},
               {2, 7, 11, 14, 18, 21, 23, 26, 30, 33}),
        tuning("Solo Tuning (Hohner)", 12, 0, {0, 4, 7, 12, 12, 16, 19, 24, 24, 28, 31, 36},
               {2, 5, 9, 11, 14, 17, 21, 23, 26, 29, 33, 35}),
        tuning("Steve Baker Special (SBS)", 14, 0,
               {-12, -8, -5, 0, 4, 7, 12, 16, 19, 24, 28, 31, 36, 40},
               {-10, -5, -1, 2, 7, 11, 14, 17, 21, 23, 26, 29, 33, 35}),
        tuning("Hohner 365", 14, 0, {-12, -8, -5, 0, 4, 7, 12, 16, 19, 24, 28, 31, 36, 40},
               {-10, -5, -1, 2, 5, 9, 11, 14, 17, 21, 23, 26, 29, 33}),
        tuning("Valved Major Diatonic", 10, 0, kRichterBlow, kRichterDraw, true),
        tuning("Augmented Spanish (custom)", 10, 0, {0, 4, 8, 12, 16, 20, 24, 28, 32, 36},
               {3, 7, 11, 15, 19, 23, 27, 31, 35, 39}),
        tuning("Temptation Tuning (custom)", 10, 0, {0, 3, 7, 10, 12, 15, 19, 22, 24, 27},
               {2, 6, 9, 11, 14, 18, 21, 23, 26, 30}),
        tuning("Diminished Tuning (custom)", 10, 0, {0, 3, 6, 9, 12, 15, 18, 21, 24, 27},
               {2, 5, 8, 11, 14, 17, 20, 23, 26, 29}),
        tuning("Four Key Tuning (custom)", 10, 0, {0, 2, 5, 7, 9, 12, 14, 17, 19, 21},
               {1, 4, 6, 8, 11, 13, 16, 18, 20, 23}),
        tuning("Paddy Richter", 10, 0, {0, 4, 9, 12, 16, 19, 24, 28, 31, 36}, kRichterDraw),
        tuning("PowerDraw", 10, 0, {0, 4, 7, 12, 16, 19, 21, 24, 28, 33},
               {2, 7, 11, 14, 17, 21, 23, 26, 31, 36}),
        tuning("PowerBender", 10, 0, {0, 4, 7, 12, 14, 17, 21, 24, 28, 33},
               {2, 7, 11, 14, 16, 19, 23, 26, 31, 36}),
        tuning("Easy 3rd", 10, 0, kRichterBlow, {2, 5, 9, 14, 17, 21, 23, 26, 29, 33}),
    };
    return tunings;
}

int parseDiatonicTuning(std::string_view text, DiatonicTuningRecord& custom) {
    const internal::TuningText file(text);
    const auto diatonic = file.findWord({}, "DIATONIC");
    if (!diatonic) {
        return -1;
    }
    const auto name = file.findWord(*diatonic, "NAME");
    if (!name) {
        return -1;
    }
    custom.name = ("[Custom] " + internal::nameText(file.restOfLine(*name), 58)).substr(0, 63);
    custom.valve.fill(false);

    const auto rows = internal::TuningText::nextLine(*name);
    const auto blow = file.findWord(rows, "BLOW");
    if (!blow) {
        return -1;
    }
    const int blowCount = internal::readNoteRow(file.restOfLine(*blow), 4, custom.blow);
    const auto draw = file.findWord(rows, "DRAW");
    if (!draw) {
        return -1;
    }
    const int drawCount = internal::readNoteRow(file.restOfLine(*draw), 4, custom.draw);
    int valveCount = 0;
    if (const auto valve = file.findWord(rows, "VALVE")) {
        for (const std::string_view word : internal::wordsOf(file.restOfLine(*valve))) {
            if (valveCount == 16) {
                break;
            }
            custom.valve[static_cast<std::size_t>(valveCount++)] = word == "x" || word == "X";
        }
    }
    custom.holes = std::max({blowCount, drawCount, valveCount});
    custom.keyOffset = 0;
    return 0;
}

DiatonicLayout::DiatonicLayout(const Settings& settings) : HarmonicaLayout(settings) {
    custom_.name = "[Custom]";
    build(60, -1);
}

void DiatonicLayout::clear() {
    HarmonicaLayout::clear();
    for (auto& hole : slots_) {
        hole.fill(std::nullopt);
    }
}

const DiatonicTuningRecord* DiatonicLayout::tuningAt(int index) const {
    return listEntry(builtInDiatonicTunings(), custom_, index);
}

const DiatonicTuningRecord& DiatonicLayout::tuning() const {
    return *tuningAt(tuningIndex_);
}

std::string DiatonicLayout::tuningName(int index) const {
    const DiatonicTuningRecord* record = tuningAt(index);
    return record ? record->name : std::string();
}

void DiatonicLayout::build(int key, int tuningIndex) {
    tuningIndex_ = tuningAt(tuningIndex) ? tuningIndex : 0;
    key_ = key;
    const DiatonicTuningRecord& record = tuning();
    holes_ = record.holes;

    for (auto& hole : slots_) {
        hole.fill(std::nullopt);
    }
    for (int h = 0; h < holes_; ++h) {
        const auto i = static_cast<std::size_t>(h);
        const int blow = record.blow[i];
        const int draw = record.draw[i];
        const bool reversed = draw <= blow;
        const int high = reversed ? blow : draw;
        const int low = reversed ? draw : blow;
        auto& slots = slots_[i];
        slots[kBlow] = ReedPosition{blow, kBlow, reversed, h};
        slots[kDraw] = ReedPosition{draw, kDraw, reversed, h};
        slots[kOver] = ReedPosition{record.valve[i] ? low - 1 : high + 1, kOver, reversed, h};
        for (int k = 1; k <= std::min(3, high - low - 1); ++k) {
            slots[static_cast<std::size_t>(kBlow + k)] =
                ReedPosition{high - k, kBend1 + k - 1, reversed, h};
        }
    }

    clearNoteMap();
    for (int h = 0; h < holes_; ++h) {
        for (const auto& position : slots_[static_cast<std::size_t>(h)]) {
            if (!position) {
                continue;
            }
            const int note = std::max(0, position->note + key_);
            if (note > 127) {
                continue;
            }
            auto& list = noteMap_[static_cast<std::size_t>(note)];
            const auto at = std::find_if(list.begin(), list.end(), [&](std::uint16_t code) {
                const int t = techniqueOf(code);
                return t > position->technique || t == kOver;
            });
            list.insert(at, positionCode(h, position->technique, position->reversed));
        }
    }
}

void DiatonicLayout::createBrushes() {
    setBrushes({settings_.colorDimmed, settings_.colorBlow, settings_.colorDraw,
                settings_.colorBend, settings_.colorOver});
}

int DiatonicLayout::loadTuningText(std::string_view text) {
    return parseDiatonicTuning(text, custom_);
}

std::string DiatonicLayout::layoutTitle() const {
    // The octave comes from the key without the offset.
    return withOctave(tuning().name + " Key of " + keyName(harpKey()), (key_ - 31) / 12,
                      kOctaveNames);
}

int DiatonicLayout::positionOf(int note, DiatonicPositionInfo& info, int alternative) const {
    const auto& list = noteMap(note);
    if (alternative < 0 || static_cast<std::size_t>(alternative) >= list.size()) {
        return -1;
    }
    const std::uint16_t code = list[static_cast<std::size_t>(alternative)];
    info.hole = code & 0xFF;
    info.technique = techniqueOf(code);
    info.reversed = (code >> 12) != 0;
    info.valve = tuning().valve[static_cast<std::size_t>(info.hole)];
    return 0;
}

const ReedPosition* DiatonicLayout::positionAt(int hole, int slot) const {
    if (hole < 0 || hole >= 16 || slot < 0 || slot >= 7) {
        return nullptr;
    }
    const auto& position = slots_[static_cast<std::size_t>(hole)][static_cast<std::size_t>(slot)];
    return position ? &*position : nullptr;
}

int DiatonicLayout::tabText(int note, int alternative, NoteText& out, bool plainSymbols) const {
    out.lowOctave = false;
    out.brush = dimmedBrush();
    const auto& list = noteMap(note);
    if (alternative < 0 || static_cast<std::size_t>(alternative) >= list.size()) {
        return -1;
    }
    const Playing playing = playingOf(list[static_cast<std::size_t>(alternative)]);
    const char blowSymbol = plainSymbols ? '+' : settings_.dblowSym;
    const char drawSymbol = plainSymbols ? '-' : settings_.ddrawSym;
    out.prefix = std::string(1, playing.blow ? blowSymbol : drawSymbol);
    out.brush = playing.blow ? blowBrush() : drawBrush();
    out.text = std::to_string(playing.hole);
    if (playing.bend > 0) {
        out.text.append(static_cast<std::size_t>(playing.bend), settings_.dbendSym);
        out.brush = bendBrush();
    } else if (playing.over) {
        out.text += settings_.doverSym;
        out.brush = overBrush();
    }
    return 0;
}

Playing DiatonicLayout::playingOf(std::uint16_t code) const {
    const int hole = code & 0xFF;
    const int technique = techniqueOf(code);
    const bool reversed = (code >> 12) != 0;
    const bool valved =
        technique == kOver && hole < 16 && tuning().valve[static_cast<std::size_t>(hole)];
    Playing playing;
    playing.hole = hole + 1;
    playing.place = hole;
    // A bend lowers the higher reed; an over sounds above the higher reed, played on the lower
    // one; a valved bend lowers the lower reed.
    playing.blow = technique == kBlow || (technique >= kBend1 && reversed) ||
                   (technique == kOver && !reversed);
    playing.bend = technique >= kBend1 ? technique - kBend1 + 1 : valved ? 1 : 0;
    playing.valved = valved;
    playing.over = technique == kOver && !valved;
    return playing;
}

std::string DiatonicLayout::tuningFileText() const {
    const DiatonicTuningRecord& record = tuning();
    std::string name = record.name;
    // The reader names a loaded tuning "[Custom] NAME": a custom tuning keeps its own name.
    if (tuningIndex_ == customIndex() && name.starts_with("[Custom] ")) {
        name.erase(0, 9);
    }
    std::string text = "DIATONIC\nNAME " + name + "\nBLOW " +
                       internal::noteRowText(record.blow, record.holes) + "\nDRAW " +
                       internal::noteRowText(record.draw, record.holes) + "\n";
    if (std::find(record.valve.begin(), record.valve.end(), true) != record.valve.end()) {
        text += "VALVE";
        for (int h = 0; h < record.holes; ++h) {
            text += record.valve[static_cast<std::size_t>(h)] ? " x" : " -";
        }
        text += "\n";
    }
    return text;
}

DiatonicLayout& diatonicLayout() {
    static DiatonicLayout layout;
    return layout;
}

} // namespace reedtab
