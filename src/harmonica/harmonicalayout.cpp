#include "harmonica/harmonicalayout.h"

#include "harmonica/internal/tuningtext.h"

namespace reedtab {

const std::string& HarmonicaLayout::keyName(int pitchClass) {
    static const std::array<std::string, 12> names = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                      "F#", "G",  "Ab", "A",  "Bb", "B"};
    return names[static_cast<std::size_t>(((pitchClass % 12) + 12) % 12)];
}

int HarmonicaLayout::init(int key, int tuningIndex) {
    brushes_.reset();
    build(key, tuningIndex);
    createBrushes();
    return 0;
}

void HarmonicaLayout::clear() {
    clearNoteMap();
    brushes_.reset();
}

int HarmonicaLayout::getInfo(int& key, int& holes, int& tuningIndex) const {
    key = key_;
    holes = holes_;
    tuningIndex = tuningIndex_;
    return 0;
}

int HarmonicaLayout::chooseTuningFile(const TuningFilePicker& pick) {
    const std::string path = pick ? pick() : std::string();
    if (path.empty()) {
        return -1;
    }
    return loadTuningFile(path);
}

int HarmonicaLayout::loadTuningFile(const std::string& path) {
    std::string text;
    if (!internal::readTuningFile(path, text) || loadTuningText(text) != 0) {
        return -1;
    }
    customTuningPath_ = path;
    return 0;
}

int HarmonicaLayout::noteAt(int, int) const {
    return -1;
}

int HarmonicaLayout::holeCount() const {
    return 0;
}

const std::vector<std::uint16_t>& HarmonicaLayout::noteMap(int note) const {
    static const std::vector<std::uint16_t> none;
    if (note < 0 || note > 127) {
        return none;
    }
    return noteMap_[static_cast<std::size_t>(note)];
}

std::uint16_t HarmonicaLayout::fingeringFor(int note, int alternative) const {
    const auto& list = noteMap(note);
    if (alternative <= 0 || static_cast<std::size_t>(alternative) >= list.size()) {
        return 0;
    }
    return static_cast<std::uint16_t>(fingeringKind() |
                                      list[static_cast<std::size_t>(alternative)]);
}

int HarmonicaLayout::alternativeOf(int note, std::uint16_t fingering) const {
    if (fingering == 0) {
        return 0;
    }
    const auto& list = noteMap(note);
    for (std::size_t k = 1; k < list.size(); ++k) {
        if ((fingeringKind() | list[k]) == fingering) {
            return static_cast<int>(k);
        }
    }
    return 0;
}

std::string HarmonicaLayout::withOctave(std::string text, int octave,
                                        const std::array<const char*, 5>& names) {
    if (octave == 2) {
        return text;
    }
    const char* name = octave >= 0 && octave <= 4 ? names[static_cast<std::size_t>(octave)] : "?";
    return text + " (" + name + ")";
}

void HarmonicaLayout::clearNoteMap() {
    for (auto& list : noteMap_) {
        list.clear();
    }
}

void HarmonicaLayout::setBrushes(std::array<Rgb, 5> colours) {
    brushes_ = colours;
}

std::optional<Rgb> HarmonicaLayout::brush(int slot) const {
    if (!brushes_) {
        return std::nullopt;
    }
    return (*brushes_)[static_cast<std::size_t>(slot)];
}

} // namespace reedtab
