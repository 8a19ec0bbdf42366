#include "playback/playbackparams.h"

#include "model/midisong.h"

#include <algorithm>

namespace reedtab {

PlaybackParams songParams(const MidiSong& song) {
    PlaybackParams params;
    params.division = std::max<int>(song.division, 1);
    params.baseTempo = song.tempoAt(0);
    return params;
}

} // namespace reedtab
