#include "listen/expectednotes.h"

#include "harmonica/harpfinder.h"
#include "model/midiconstants.h"
#include "model/midievent.h"
#include "model/miditrack.h"

#include <algorithm>
#include <cstdio>

namespace reedtab {

void ExpectedTrack::placeFirstAt(double ms) {
    if (notes.empty()) {
        return;
    }
    const double shift = ms - notes.front().ms;
    for (ExpectedNote& note : notes) {
        note.ms += shift;
    }
}

double songMs(const MidiSong& song, int32_t tick, int tempoPercent) {
    return song.microsecondsAt(tick) / 1000.0 * 100.0 / std::max(tempoPercent, 1);
}

ExpectedTrack expectedNotes(const MidiSong& song, const ListenRange& range) {
    ExpectedTrack result;
    result.track = range.track >= 0 ? range.track : melodyTrack(song);
    const MidiTrack* track = song.track(result.track);
    if (!track) {
        result.track = -1;
        return result;
    }
    for (const auto& event : track->events) {
        if (!event->isNoteOn() || event->channel() == kDrumChannel ||
            (range.from >= 0 && event->tick < range.from) ||
            (range.to >= 0 && event->tick >= range.to)) {
            continue;
        }
        ExpectedNote note;
        note.tick = event->tick;
        note.ms = songMs(song, event->tick, range.tempoPercent);
        note.durationMs = songMs(song, event->tick + event->duration, range.tempoPercent) - note.ms;
        note.note = event->data1;
        note.fingering = event->fingering;
        if (!result.notes.empty() && result.notes.back().tick == note.tick) {
            if (note.note > result.notes.back().note) {
                result.notes.back() = note;
            }
            continue;
        }
        result.notes.push_back(note);
    }
    return result;
}

std::string notesHash(const MidiSong& song) {
    // FNV-1a over the fields that make a note; stable across runs and builds.
    std::uint64_t hash = 14695981039346656037ull;
    auto add = [&hash](std::int64_t value) {
        for (int i = 0; i < 8; ++i) {
            hash ^= static_cast<std::uint8_t>(value >> (8 * i));
            hash *= 1099511628211ull;
        }
    };
    for (int index = 0; index < song.trackCount(); ++index) {
        for (const auto& event : song.track(index)->events) {
            if (!event->isNoteOn()) {
                continue;
            }
            add(index);
            add(event->channel());
            add(event->data1);
            add(event->tick);
            add(event->duration);
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace reedtab
