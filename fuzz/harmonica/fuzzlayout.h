#pragma once

// What both tuning-file fuzz targets do: read arbitrary bytes as a tuning file and, when the
// reader accepts them, build the record into a layout at several keys and notate every note,
// so that an accepted record is also safe to play from.

#include "harmonica/harmonicalayout.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace reedtab::fuzzing {

template <typename Layout>
void readAndPlay(Layout& layout, const std::uint8_t* data, std::size_t size, std::size_t maxName) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (layout.loadTuningText(text) != 0) {
        return;
    }
    const int custom = layout.customIndex();
    if (layout.tuningName(custom).size() > maxName) {
        std::abort();
    }
    for (int key : {0, 60, 127}) {
        layout.init(key, custom);
        if (layout.holes() < 0 || layout.holes() > 16) {
            std::abort();
        }
        for (int note = 0; note <= 127; ++note) {
            NoteText out;
            int k = 0;
            while (layout.tabText(note, k, out, false) == 0) {
                ++k;
            }
            if (static_cast<std::size_t>(k) != layout.noteMap(note).size()) {
                std::abort();
            }
        }
    }
}

} // namespace reedtab::fuzzing
