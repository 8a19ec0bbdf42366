#include "app/statusposition.h"

#include "model/midisong.h"
#include "view/geometry/songwindow.h"

#include <algorithm>
#include <cmath>

namespace reedtab {

QString positionText(const MidiSong& song, std::int32_t tick) {
    tick = std::max(tick, 0);
    const std::int64_t index = song.barTable.indexAt(tick);
    std::int64_t bar = 0;
    std::int64_t barStart = 0;
    int denominatorPower = 2;
    if (index >= 0) {
        bar = index;
        barStart = song.barTable[static_cast<std::size_t>(index)].startTick;
        denominatorPower = barDenominatorPower(song, static_cast<int>(index));
    }
    const std::int64_t beat = beatTicks(song.division, denominatorPower);
    const std::int64_t intoBar = tick - barStart;
    const auto seconds = static_cast<std::int64_t>(std::floor(song.microsecondsAt(tick) / 1e6));
    return QStringLiteral("%1:%2:%3  %4:%5")
        .arg(bar + 1)
        .arg(intoBar / beat + 1)
        .arg(intoBar % beat, 3, 10, QLatin1Char('0'))
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace reedtab
