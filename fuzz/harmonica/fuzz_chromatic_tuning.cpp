// Reads arbitrary bytes as a chromatic tuning file; whatever the reader accepts is then built
// into a layout and notated, so an accepted record is also safe to play from.
#include "harmonica/chromaticlayout.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace reedtab;
    static const Settings block;
    static ChromaticLayout layout(block);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (layout.loadTuningText(text) != 0) {
        return 0;
    }
    const int custom = layout.customIndex();
    if (layout.tuningName(custom).size() > 39) {
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
    return 0;
}
