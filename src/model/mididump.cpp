// The text dump of a song: one line per event with its position.

#include "model/midisong.h"

#include <cstdio>
#include <vector>

namespace reedtab {

namespace {
constexpr size_t descriptionCapacity = 8192;

template <class... Args>
void appendf(std::string& out, const char* fmt, Args... args) {
    char line[descriptionCapacity + 64];
    int n = std::snprintf(line, sizeof line, fmt, args...);
    if (n > 0)
        out.append(line, std::min(static_cast<size_t>(n), sizeof line - 1));
}
} // namespace

std::string MidiSong::dumpText() const {
    std::string out;
    if (tracks.empty())
        return out;
    appendf(out, "Format %d, division %d, %d tracks\n", format, division,
            static_cast<int>(tracks.size()));
    appendf(out, "(%d corrected %d overlapped (*) %d unfinished)\n", correctedCount,
            overlappedCount, unfinishedCount);
    std::vector<char> description(descriptionCapacity);
    for (size_t t = 0; t < tracks.size(); ++t) {
        appendf(out, "\nTrack %d:\n", static_cast<int>(t));
        for (const auto& e : tracks[t]->events) {
            e->describe(description.data(), description.size());
            BarBeatTick position = tickToBarBeatTick(e->tick);
            appendf(out, "%c%03d:%02d:%03d %-65s\n", e->overlapMark ? '*' : ' ', position.bar,
                    position.beat, position.tick, description.data());
        }
    }
    appendf(out, "\nMessages Count : %ld\n", static_cast<long>(mergedEvents.size()));
    return out;
}

int MidiSong::writeDump(const std::string& target) const {
    if (loading)
        return -1;
    std::FILE* file = std::fopen(target.c_str(), "wb");
    if (!file)
        return -1;
    std::string text = dumpText();
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fclose(file) == 0 && ok;
    return ok ? 0 : -1;
}

} // namespace reedtab
