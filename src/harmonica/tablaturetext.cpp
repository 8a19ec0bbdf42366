#include "harmonica/tablaturetext.h"

#include "model/midisong.h"

namespace reedtab {

SongTablature tablatureText(const MidiSong& song, const Notation& notation, int32_t fromTick,
                            int32_t toTick) {
    SongTablature result;
    for (int t = 0; t < song.trackCount(); ++t) {
        const MidiTrack& track = *song.track(t);
        if ((track.flags & TrackShown) == 0) {
            continue;
        }
        TrackTablature tab{t, {}};
        int previousBar = -1;
        for (const auto& event : track.events) {
            if (!event->isNote || !event->isNoteOn()) {
                continue;
            }
            if ((fromTick != -1 && event->tick < fromTick) ||
                (toTick != -1 && event->tick >= toTick)) {
                continue;
            }
            if (tab.groups.empty() || tab.groups.back().tick != event->tick) {
                tab.groups.push_back({event->tick, {}});
            }
            NoteText text;
            notation.notateChosen(event->data1, event->fingering, true, text);
            const int bar = song.tickToBarBeatTick(event->tick).bar;
            std::string& group = tab.groups.back().text;
            if (bar != previousBar) {
                group += '/';
            }
            group += text.prefix + text.text;
            previousBar = bar;
            result.endTick = event->partner ? event->partner->tick : event->tick;
        }
        if (!tab.groups.empty()) {
            for (TablatureGroup& group : tab.groups) {
                group.text += ' ';
            }
            result.tracks.push_back(std::move(tab));
        }
    }
    return result;
}

} // namespace reedtab
