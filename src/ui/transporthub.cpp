#include "ui/transporthub.h"

#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

namespace reedtab {

TransportHub::TransportHub(StreamPlayer& player, CReedtabDoc& doc, QObject* parent)
    : QObject(parent), player_(player), doc_(doc) {}

TransportHub::~TransportHub() {
    quitting_ = true;
}

void TransportHub::postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == WM_PLAYER_POSITION)
        ++postedPositions_;
    QCoreApplication::postEvent(this, new PlayerMessageEvent(message, wParam, lParam));
}

void TransportHub::sendNoteInput(const NoteInput& input) {
    if (!quitting_)
        postMessage(WM_NOTE_INPUT, input.wParam, static_cast<std::intptr_t>(input.lParam));
}

bool TransportHub::dispatchPendingMessage() {
    if (QThread::currentThread() != thread() || postedPositions_.load() == 0)
        return false;
    // Only position reports: an end-of-song message handled inside a stop would start the
    // next song from within that stop.
    QCoreApplication::sendPostedEvents(this, static_cast<int>(WM_PLAYER_POSITION));
    return true;
}

bool TransportHub::event(QEvent* event) {
    const auto type = static_cast<std::uint32_t>(event->type());
    if (type != WM_PLAYER_POSITION && type != WM_PLAYER_TEMPO && type != WM_PLAYER_STOPPED &&
        type != WM_NOTE_INPUT)
        return QObject::event(event);
    const auto* message = static_cast<PlayerMessageEvent*>(event);
    if (type == WM_PLAYER_POSITION) {
        --postedPositions_;
        handlePosition(message->wParam, message->lParam);
    } else if (type == WM_PLAYER_TEMPO) {
        emit tempoChanged(static_cast<int>(message->lParam));
    } else if (type == WM_PLAYER_STOPPED) {
        emit stopped(static_cast<int>(message->wParam));
    } else {
        emit noteInput(NoteInput{static_cast<std::uint32_t>(message->wParam),
                                 static_cast<std::uint32_t>(message->lParam)});
    }
    return true;
}

void TransportHub::handlePosition(std::uintptr_t wParam, std::intptr_t value) {
    if (wParam != kPlayerPositionWParam)
        return;
    Settings& block = settings();
    const MidiSong& song = doc_.song;
    player_.setPlayTick(std::max(0, static_cast<int>(player_.streamTicks()) - player_.offset()));
    // Marks and the loop switch changed during play take effect from the next report; a
    // trainer keeps the loop it was started on.
    if (!player_.trainer().active()) {
        block.loopEnd = doc_.markEnd;
        block.loopStart = (doc_.markBegin >= 0 && block.playLoop) ? doc_.markBegin : -1;
    }

    const bool counted = player_.positionMessageHandled();
    if (!player_.isPlaying()) {
        player_.setShownEventIndex(-1);
        return;
    }
    PositionReport report;
    int e = player_.lastShownTick();
    if (counted) {
        const auto v = static_cast<std::uint32_t>(value);
        report.tickMarker = (v & kPositionTickFlag) != 0;
        if (report.tickMarker) {
            e = static_cast<int>(v & ~kPositionTickFlag);
        } else {
            e = v < song.mergedEvents.size() ? song.mergedEvents[v]->tick : player_.lastShownTick();
        }
        if (player_.lastShownTick() > e) {
            player_.setShownEventIndex(song.mergedEvents.lowerBound(e));
            report.jumpedBack = true;
            // The pass starts again under the tempo in force at the loop start, not the one
            // the loop's end left behind.
            const int tempo = song.tempoAt(e);
            player_.setBaseTempo(tempo);
            postMessage(WM_PLAYER_TEMPO, 0, tempo);
        }
    }
    int index = std::max(0, player_.shownEventIndex());
    report.firstEvent = index;
    if (counted && !report.tickMarker) {
        const int count = song.mergedEvents.count();
        for (; index < count; ++index) {
            const MidiEvent& passed = *song.mergedEvents[static_cast<size_t>(index)];
            if (passed.tick > e)
                break;
            if (passed.kind() == KindTempo) {
                player_.setBaseTempo(passed.value());
                postMessage(WM_PLAYER_TEMPO, 0, passed.value());
            }
        }
        player_.setShownEventIndex(index);
    }
    report.endEvent = index;
    report.tick = e;
    player_.setLastShownTick(e);
    emit positionReached(report);
}

} // namespace reedtab
