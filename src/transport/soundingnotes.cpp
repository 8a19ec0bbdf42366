#include "transport/soundingnotes.h"

#include "model/midiconstants.h"
#include "model/midievent.h"
#include "model/midisong.h"
#include "model/miditrack.h"

#include <algorithm>

namespace reedtab {

namespace {

// The note news of a window that does not take every note: shown tracks off the drum channel.
bool heard(const MidiEvent& event) {
    return event.track && (event.track->flags.load() & TrackShown) != 0 &&
           event.channel() != kDrumChannel;
}

bool isWords(const MidiEvent& event) {
    const int kind = event.kind();
    return kind == KindLyric || kind == KindText;
}

} // namespace

EventNews SoundingNotes::newsFor(int index, const NoteDelivery& delivery) const {
    const MidiEvent& event = *song_.mergedEvents[static_cast<std::size_t>(index)];
    EventNews news;
    const bool on = event.isNoteOn();
    const bool off = !on && event.isNoteOff();
    if ((on || off) && (delivery.everyNote || heard(event))) {
        news.noteOn = on;
        news.noteOff = off;
    }
    news.words = delivery.words && isWords(event);
    news.event = delivery.everyEvent;
    return news;
}

SoundingState SoundingNotes::at(std::int32_t tick, const NoteDelivery& delivery) const {
    const MergedEventList& events = song_.mergedEvents;
    const int end = events.lowerBound(tick + 1);
    SoundingState state;
    for (int index = 0; index < end; ++index) {
        const MidiEvent& event = *events[static_cast<std::size_t>(index)];
        if (event.isNoteOn() && event.tick + std::max(1, event.duration) > tick &&
            (delivery.everyNote || heard(event))) {
            state.notes.push_back(index);
        }
    }
    if (end == 0) {
        return state;
    }
    if (delivery.everyEvent) {
        state.lastEvent = end - 1;
    }
    if (delivery.words) {
        for (int index = end - 1; index >= 0; --index) {
            if (isWords(*events[static_cast<std::size_t>(index)])) {
                state.lastWords = index;
                break;
            }
        }
    }
    return state;
}

} // namespace reedtab
