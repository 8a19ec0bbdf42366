#include "tools/toolwindows.h"

#include "document/reedtabdoc.h"
#include "model/midievent.h"
#include "model/miditrack.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/eventswindow.h"
#include "tools/lyricswindow.h"
#include "tools/mixerwindow.h"
#include "tools/pianowindow.h"
#include "ui/transporthub.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>

namespace reedtab {

namespace {

constexpr int kDrumChannel = 9;

} // namespace

ToolWindows::ToolWindows(const ToolContext& context, QWidget* owner)
    : context_(context), owner_(owner) {}

ToolWindows::~ToolWindows() {
    const std::vector<CMonitor*> open = monitors_;
    monitors_.clear();
    for (CMonitor* window : open) {
        disconnect(window, nullptr, this, nullptr);
        delete window;
    }
}

bool ToolWindows::available(int type) {
    return type >= kMonitorMixer && type <= kMonitorEvents;
}

CMonitor* ToolWindows::make(int type) {
    switch (type) {
    case kMonitorMixer:
        return new CMonMixer(context_, owner_);
    case kMonitorLyrics:
        return new CMonLyrics(context_, owner_);
    case kMonitorEvents:
        return new CMonEvents(context_, owner_);
    case kMonitorPiano:
        return new CMonPiano(context_, owner_);
    case kMonitorDiatonic:
        return new CMonDiatonic(context_, owner_);
    case kMonitorChromatic:
        return new CMonChromatic(context_, owner_);
    default:
        return nullptr;
    }
}

bool ToolWindows::toggle(int type) {
    if (CMonitor* open = window(type)) {
        open->close();
        return true;
    }
    CMonitor* created = make(type);
    if (!created) {
        return false;
    }
    connect(created, &CMonitor::monitorClosed, this, [this](CMonitor* gone) {
        monitors_.erase(std::remove(monitors_.begin(), monitors_.end(), gone), monitors_.end());
    });
    connect(created, &CMonitor::layoutChanged, this, &ToolWindows::layoutChanged);
    if (created->create() != 0) {
        delete created;
        return false;
    }
    monitors_.push_back(created);
    return true;
}

CMonitor* ToolWindows::window(int type) const {
    const auto found = std::find_if(monitors_.begin(), monitors_.end(),
                                    [type](CMonitor* m) { return m->monitorIndex() == type; });
    return found == monitors_.end() ? nullptr : *found;
}

void ToolWindows::refreshAll(int flag) {
    for (CMonitor* window : monitors_) {
        window->refresh(flag);
    }
}

void ToolWindows::deliver(const PositionReport& report) {
    if (monitors_.empty()) {
        return;
    }
    const MergedEventList& events = context_.doc.song.mergedEvents;
    const int end = std::min(report.endEvent, static_cast<int>(events.size()));
    for (int index = std::max(0, report.firstEvent); index < end; ++index) {
        const MidiEvent& event = *events[static_cast<std::size_t>(index)];
        const bool on = event.isNoteOn();
        pass(event, index, on, !on && event.isNoteOff(), false);
    }
}

void ToolWindows::pass(const MidiEvent& event, int index, bool on, bool off, bool notesOnly) {
    const int kind = event.kind();
    const bool heard =
        event.track && (event.track->flags & TrackShown) != 0 && event.channel() != kDrumChannel;
    for (CMonitor* window : monitors_) {
        const int type = window->monitorIndex();
        if ((on || off) && (heard || type == kMonitorMixer)) {
            if (on) {
                window->noteOn(event.data1, index, -1);
            } else {
                window->noteOff(event.data1, index, -1);
            }
        }
        if (notesOnly) {
            continue;
        }
        if (type == kMonitorLyrics && (kind == KindLyric || kind == KindText)) {
            window->onTextEvent(index);
        } else if (type == kMonitorEvents) {
            window->onEvent(index);
        }
    }
}

void ToolWindows::showSounding(int tick) {
    refreshAll(0);
    const MergedEventList& events = context_.doc.song.mergedEvents;
    const int end = events.lowerBound(tick + 1);
    for (int index = 0; index < end; ++index) {
        const MidiEvent& event = *events[static_cast<std::size_t>(index)];
        if (event.isNoteOn() && event.tick + std::max(1, event.duration) > tick) {
            pass(event, index, true, false, true);
        }
    }
    // The words and the event reached last, as playing up to here would have left them.
    if (end == 0) {
        return;
    }
    if (CMonitor* list = window(kMonitorEvents)) {
        list->onEvent(end - 1);
    }
    if (CMonitor* lyrics = window(kMonitorLyrics)) {
        for (int index = end - 1; index >= 0; --index) {
            const int kind = events[static_cast<std::size_t>(index)]->kind();
            if (kind == KindLyric || kind == KindText) {
                lyrics->onTextEvent(index);
                break;
            }
        }
    }
}

void ToolWindows::followLayouts() {
    for (CMonitor* window : monitors_) {
        window->followLayouts();
    }
}

void ToolWindows::applyLyricsSettings() {
    if (auto* lyrics = static_cast<CMonLyrics*>(window(kMonitorLyrics))) {
        lyrics->applyLyricsSettings();
    }
}

void ToolWindows::watchKeys(QWidget* source) {
    source->installEventFilter(this);
}

bool ToolWindows::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    CMonitor* player = window(kMonitorDiatonic);
    if (!player) {
        player = window(kMonitorPiano);
    }
    // Space starts and stops the song; the modifiers make the frame's own keys.
    if (!player || (event->type() == QEvent::KeyPress && key->key() == Qt::Key_Space) ||
        (key->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
        return false;
    }
    key->accept();
    QApplication::sendEvent(player, key);
    return key->isAccepted();
}

void ToolWindows::saveOpenWindows(SettingsStore& store) const {
    for (int type = kMonitorNone; type <= kMonitorEvents; ++type) {
        store.writeInt(kWindowSection, "Mon" + std::to_string(type) + "On", isOpen(type) ? 1 : 0);
    }
}

void ToolWindows::closeAll() {
    const std::vector<CMonitor*> open = monitors_;
    for (CMonitor* window : open) {
        window->close();
    }
}

} // namespace reedtab
