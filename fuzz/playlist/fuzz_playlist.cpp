#include "app/playlistmodel.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Parses arbitrary bytes as a playlist file; what parses must format and parse back to the same
// contents, and loading it must leave the current index inside the list.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto file = reedtab::parsePlaylistFile(text);
    if (!file) {
        return 0;
    }
    bool reformattable = true;
    for (const auto& path : file->paths) {
        if (path.find('\n') != std::string::npos || path.empty() ||
            static_cast<unsigned char>(path.front()) <= 13) {
            reformattable = false;
        }
    }
    if (reformattable) {
        auto again =
            reedtab::parsePlaylistFile(reedtab::formatPlaylistFile(file->savedIndex, file->paths));
        if (!again || again->paths != file->paths || again->savedIndex != file->savedIndex) {
            std::abort();
        }
    }
    reedtab::PlaylistModel list;
    if (list.load(*file) && (list.currentIndex() < 0 || list.currentIndex() >= list.count())) {
        std::abort();
    }
    list.move(0, list.count());
    list.remove(list.count() - 1);
    if (list.count() > 0 && (list.currentIndex() < 0 || list.currentIndex() >= list.count())) {
        std::abort();
    }
    return 0;
}
