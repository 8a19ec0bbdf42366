#include "harmonica/chromaticlayout.h"

#include "harmonica/internal/tuningtext.h"

#include <algorithm>
#include <vector>

namespace reedtab {

namespace {

using Hole = std::array<int, 4>;

// Constant-initialised, so the tables are ready for callers from other static initialisers.
constexpr std::array<Hole, 12> kTwelveHole = {{
    {0, 1, 2, 3},
    {4, 5, 5, 6},
    {7, 8, 9, 10},
    {12, 13, 11, 12},
    {12, 13, 14, 15},
    {16, 17, 17, 18},
    {19, 20, 21, 22},
    {24, 25, 23, 24},
    {24, 25, 26, 27},
    {28, 29, 29, 30},
    {31, 32, 33, 34},
    {36, 37, 35, 38},
}};

std::vector<Hole> twelveHole() {
    return {kTwelveHole.begin(), kTwelveHole.end()};
}

std::vector<Hole> lowOctaveThenTwelve(std::vector<Hole> low) {
    low.insert(low.end(), kTwelveHole.begin(), kTwelveHole.end());
    return low;
}

ChromaticTuningRecord tuning(const char* name, int holes, int firstHoleOffset,
                             const std::vector<Hole>& table) {
    ChromaticTuningRecord record{name, holes, firstHoleOffset, {}};
    for (int i = 0; i < holes; ++i) {
        record.notes[static_cast<std::size_t>(i)] = table[static_cast<std::size_t>(i)];
    }
    return record;
}

// Lower rank is preferred: draw, blow, draw with slide, blow with slide.
constexpr int kColumnRank[4] = {1, 3, 0, 2};

constexpr std::array<const char*, 5> kOctaveNames = {"-2", "Tenor", "Std", "High", "+2"};

constexpr int kDefaultTuning = 2;

} // namespace

const std::array<ChromaticTuningRecord, 8>& builtInChromaticTunings() {
    static const std::array<ChromaticTuningRecord, 8> tunings = {
        tuning("16 Hole Chromatic (std 64)", 16, -4,
               lowOctaveThenTwelve(
                   {{-12, -11, -10, -9}, {-8, -7, -7, -6}, {-5, -4, -3, -2}, {0, 1, -1, 0}})),
        tuning("14 Hole Chromatic (std 56)", 14, -2,
               lowOctaveThenTwelve({{-5, -4, -3, -2}, {0, 1, -1, 0}})),
        tuning("12 Hole Chromatic (std 48)", 12, 0, twelveHole()),
        tuning("10 Hole Chromatic (std 40)", 10, 0, twelveHole()),
        tuning(" 8 Hole Chromatic (std 32)", 8, 0, twelveHole()),
        tuning("Koch/Slide (ritcher tuned)", 10, 0,
               {{0, 1, 2, 3},
                {4, 5, 7, 8},
                {7, 8, 11, 12},
                {12, 13, 14, 15},
                {16, 17, 17, 18},
                {19, 20, 21, 22},
                {24, 25, 23, 24},
                {28, 29, 26, 27},
                {31, 32, 29, 30},
                {36, 37, 33, 34}}),
        tuning("Irish Tuning (custom)", 12, 0,
               {{0, -1, 2, 1},
                {4, 3, 5, 4},
                {7, 6, 9, 8},
                {12, 11, 11, 10},
                {12, 11, 14, 13},
                {16, 15, 17, 16},
                {19, 18, 21, 20},
                {24, 23, 23, 22},
                {24, 23, 26, 25},
                {28, 27, 29, 28},
                {31, 30, 33, 32},
                {36, 35, 35, 34}}),
        tuning("Whole Tone (custom)", 12, 0,
               {{0, 1, 1, 2},
                {2, 3, 3, 4},
                {4, 5, 5, 6},
                {6, 7, 7, 8},
                {8, 9, 9, 10},
                {10, 11, 11, 0},
                {12, 13, 13, 14},
                {14, 15, 15, 16},
                {16, 17, 17, 18},
                {18, 19, 19, 20},
                {20, 21, 21, 22},
                {22, 23, 23, 12}}),
    };
    return tunings;
}

int parseChromaticTuning(std::string_view text, ChromaticTuningRecord& custom) {
    const internal::TuningText file(text);
    const auto chromatic = file.findWord({}, "CHROMATIC");
    if (!chromatic) {
        return -1;
    }
    const auto name = file.findWord(*chromatic, "NAME");
    if (!name) {
        return -1;
    }
    custom.name = internal::nameText(file.restOfLine(*name), 34) + " ...";

    struct RowKey {
        const char* keyword;
        int column;
    };
    static constexpr RowKey kRows[] = {{"BLOW_SLIDE_IN", kBlowIn},
                                       {"BLOW_SLIDE_OUT", kBlowOut},
                                       {"DRAW_SLIDE_IN", kDrawIn},
                                       {"DRAW_SLIDE_OUT", kDrawOut}};
    const auto rows = internal::TuningText::nextLine(*name);
    int holes = 0;
    for (const RowKey& row : kRows) {
        const auto at = file.findWord(rows, row.keyword);
        if (!at) {
            return -1;
        }
        std::array<int, 16> notes{};
        holes = std::max(holes, internal::readNoteRow(file.restOfLine(*at), 3, notes));
        for (std::size_t i = 0; i < notes.size(); ++i) {
            custom.notes[i][static_cast<std::size_t>(row.column)] = notes[i];
        }
    }
    custom.holes = holes;
    custom.firstHoleOffset = 0;
    return 0;
}

ChromaticLayout::ChromaticLayout(const Settings& settings) : HarmonicaLayout(settings) {
    custom_.name = "[Custom]";
    build(60, -1);
}

const ChromaticTuningRecord* ChromaticLayout::tuningAt(int index) const {
    return listEntry(builtInChromaticTunings(), custom_, index);
}

const ChromaticTuningRecord& ChromaticLayout::tuning() const {
    return *tuningAt(tuningIndex_);
}

std::string ChromaticLayout::tuningName(int index) const {
    const ChromaticTuningRecord* record = tuningAt(index);
    return record ? record->name : std::string();
}

void ChromaticLayout::build(int key, int tuningIndex) {
    tuningIndex_ = tuningAt(tuningIndex) ? tuningIndex : kDefaultTuning;
    key_ = key;
    const ChromaticTuningRecord& record = tuning();
    holes_ = record.holes;
    clearNoteMap();
    for (int row = 0; row < holes_; ++row) {
        for (int column = 0; column < 4; ++column) {
            const int note = std::max(
                0, record.notes[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] +
                       key_);
            if (note > 127) {
                continue;
            }
            auto& list = noteMap_[static_cast<std::size_t>(note)];
            const auto at = std::find_if(list.begin(), list.end(), [&](std::uint16_t code) {
                return kColumnRank[(code >> 8) & 3] >= kColumnRank[column];
            });
            list.insert(at, chromaticCode(row, record.firstHoleOffset, column));
        }
    }
}

void ChromaticLayout::createBrushes() {
    setBrushes({settings_.colorDimmed, settings_.colorBlowChro, settings_.colorDrawChro,
                settings_.colorBlowSlide, settings_.colorDrawSlide});
}

int ChromaticLayout::loadTuningText(std::string_view text) {
    return parseChromaticTuning(text, custom_);
}

int ChromaticLayout::noteAt(int hole, int column) const {
    if (hole < 0 || hole >= holes_ || column < 0 || column > 3) {
        return -1;
    }
    const int note =
        tuning().notes[static_cast<std::size_t>(hole)][static_cast<std::size_t>(column)] + key_;
    return std::min(note, 128);
}

std::string ChromaticLayout::layoutTitle() const {
    return withOctave(tuning().name + " Key of " + keyName(key_), (key_ - 36) / 12, kOctaveNames);
}

int ChromaticLayout::positionOf(int note, int& row, int& column, int alternative) const {
    const auto& list = noteMap(note);
    if (alternative < 0 || static_cast<std::size_t>(alternative) >= list.size()) {
        return -1;
    }
    const std::uint16_t code = list[static_cast<std::size_t>(alternative)];
    row = (code & 0xFF) - tuning().firstHoleOffset - 64;
    column = (code >> 8) & 0x0F;
    return 0;
}

int ChromaticLayout::tabText(int note, int alternative, NoteText& out, bool plainSymbols) const {
    out.lowOctave = false;
    out.brush = dimmedBrush();
    const auto& list = noteMap(note);
    if (alternative < 0 || static_cast<std::size_t>(alternative) >= list.size()) {
        return -1;
    }
    const std::uint16_t code = list[static_cast<std::size_t>(alternative)];
    const Playing playing = playingOf(code);
    const char blowSymbol = plainSymbols ? '+' : settings_.cblowSym;
    const char drawSymbol = plainSymbols ? '-' : settings_.cdrawSym;
    out.prefix = std::string(1, playing.blow ? blowSymbol : drawSymbol);
    out.lowOctave = playing.lowOctave;
    out.text = std::to_string(playing.hole);
    if (playing.slide) {
        out.text += settings_.cslideSym;
    }
    static constexpr int kBrushOfColumn[4] = {1, 3, 2, 4};
    out.brush = brush(kBrushOfColumn[(code >> 8) & 3]);
    return 0;
}

Playing ChromaticLayout::playingOf(std::uint16_t code) const {
    const int hole = (code & 0xFF) - 64;
    const int column = (code >> 8) & 3;
    Playing playing;
    playing.lowOctave = hole < 0;
    playing.hole = hole < 0 ? hole + 5 : hole + 1;
    playing.place = hole - tuning().firstHoleOffset;
    playing.blow = column == kBlowOut || column == kBlowIn;
    playing.slide = column == kBlowIn || column == kDrawIn;
    return playing;
}

std::string ChromaticLayout::tuningFileText() const {
    const ChromaticTuningRecord& record = tuning();
    std::string name = record.name;
    // The reader names a loaded tuning "NAME ...": a custom tuning keeps its own name.
    if (tuningIndex_ == customIndex() && name.ends_with(" ...")) {
        name.resize(name.size() - 4);
    }
    std::string text = "CHROMATIC\nNAME " + name + "\n";
    static constexpr std::pair<const char*, int> kRows[] = {{"BLOW_SLIDE_OUT", kBlowOut},
                                                            {"BLOW_SLIDE_IN", kBlowIn},
                                                            {"DRAW_SLIDE_OUT", kDrawOut},
                                                            {"DRAW_SLIDE_IN", kDrawIn}};
    for (const auto& [keyword, column] : kRows) {
        std::array<int, 16> row{};
        for (std::size_t h = 0; h < row.size(); ++h) {
            row[h] = record.notes[h][static_cast<std::size_t>(column)];
        }
        text += std::string(keyword) + " " + internal::noteRowText(row, record.holes) + "\n";
    }
    return text;
}

ChromaticLayout& chromaticLayout() {
    static ChromaticLayout layout;
    return layout;
}

} // namespace reedtab
