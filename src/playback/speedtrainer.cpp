#include "playback/speedtrainer.h"

#include "model/midisong.h"

#include <limits>

namespace reedtab {

int32_t wholeSongLoopEnd(const MidiSong& song) {
    const int32_t last = std::max(song.length - 1, 0);
    const int64_t bar = song.barTable.indexAt(last);
    const int32_t start = bar >= 0 ? song.barTable[static_cast<size_t>(bar)].startTick : 0;
    const TimeSignature signature = song.timeSignatureAt(start);
    const int64_t barLength = int64_t{std::max<int>(song.division, 1)} * 4 *
                              std::max(signature.numerator, 1) / std::max(signature.denominator, 1);
    const int64_t end = std::max<int64_t>(start + std::max<int64_t>(barLength, 1), song.length);
    return static_cast<int32_t>(std::min<int64_t>(end, std::numeric_limits<int32_t>::max()));
}

} // namespace reedtab
