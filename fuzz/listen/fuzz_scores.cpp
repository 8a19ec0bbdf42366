#include "listen/scorestore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// Reads arbitrary bytes as lines of the score file. A line that reads back must write as a line
// that reads back, and after that first rounding of its numbers it must write the same again.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto pass = reedtab::parseScoreLine(line);
        if (!pass) {
            continue;
        }
        const std::string once = reedtab::formatScoreLine(*pass);
        const auto again = reedtab::parseScoreLine(once);
        if (!again || reedtab::formatScoreLine(*again) != once ||
            again->songPath != pass->songPath || again->notesHash != pass->notesHash ||
            again->score.expected != pass->score.expected) {
            std::abort();
        }
    }
    return 0;
}
