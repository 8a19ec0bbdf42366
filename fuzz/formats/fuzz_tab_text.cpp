// Arbitrary bytes as a text tablature: read on a diatonic and on a chromatic harmonica in
// every style; an accepted text must give notes of the harmonica and a song that holds them.
#include "formats/tabtext.h"
#include "harmonica/chromaticlayout.h"
#include "harmonica/diatoniclayout.h"
#include "model/midisong.h"

#include <cstdlib>

namespace {

void readOn(reedtab::HarmonicaLayout& layout, std::string_view text, reedtab::TabStyle style) {
    reedtab::TabReadError error;
    const auto chords =
        reedtab::readTabText(text, layout, {.style = style, .beatsPerBar = 3}, error);
    if (!chords) {
        if (error.line < 1 || error.column < 1 || error.message.empty()) {
            std::abort();
        }
        return;
    }
    std::size_t notes = 0;
    int beat = -1;
    for (const reedtab::TabChord& chord : *chords) {
        if (chord.beat <= beat || chord.notes.empty()) {
            std::abort();
        }
        beat = chord.beat;
        for (const reedtab::TabNote& note : chord.notes) {
            if (note.key < 0 || note.key > 127 ||
                note.alternative >= static_cast<int>(layout.noteMap(note.key).size())) {
                std::abort();
            }
        }
        notes += chord.notes.size();
    }
    reedtab::MidiSong song;
    reedtab::tabSong(*chords, layout, {}, song);
    std::size_t sounded = 0;
    for (const auto& event : song.track(0)->events) {
        sounded += event->isNoteOn() && event->duration > 0 ? 1 : 0;
    }
    // A chord that names one key twice sounds it once.
    if (sounded == 0 || sounded > notes) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const reedtab::Settings block;
    static reedtab::DiatonicLayout diatonic(block);
    static reedtab::ChromaticLayout chromatic(block);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    diatonic.build(60, 0);
    chromatic.build(60, 2);
    const reedtab::TabHeader header = reedtab::readTabHeader(text);
    reedtab::selectHarp(diatonic, header.harp);
    for (const auto style : {reedtab::TabStyle::Auto, reedtab::TabStyle::DrawDefault}) {
        readOn(diatonic, text, style);
        readOn(chromatic, text, style);
    }
    return 0;
}
