#include "settings/settings.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Reads arbitrary bytes as the program's settings file. Whatever it holds, the settings block
// keeps its fields in range, the player's harps well formed and each once, and those harps
// come back the same through the store.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reedtab::MemorySettingsStore store;
    reedtab::readIniText(std::string_view(reinterpret_cast<const char*>(data), size), store);
    reedtab::Settings block;
    reedtab::loadSettings(store, block);
    if (block.tabMode < 0 || block.tabMode > 4 || block.printBeatsPerLine < 1 ||
        block.printBeatsPerLine > 48 || block.fontTab.faceName.size() > 31 ||
        block.autosaveSeconds < 0 || block.autosaveSeconds > 86400) {
        std::abort();
    }
    const auto& harps = block.myHarps;
    if (harps.size() > reedtab::kMaxOwnedHarps) {
        std::abort();
    }
    for (auto it = harps.begin(); it != harps.end(); ++it) {
        if (it->key < 0 || it->key > 11 || it->tuning.empty() || it->tuning.size() > 63 ||
            std::find(harps.begin(), it, *it) != it) {
            std::abort();
        }
    }
    reedtab::MemorySettingsStore again;
    reedtab::saveSettings(again, reedtab::kSaveHarps, block);
    reedtab::Settings back;
    reedtab::loadSettings(again, back);
    if (back.myHarps != harps) {
        std::abort();
    }
    return 0;
}
