#include "tools/toolwindows.h"

#include "document/reedtabdoc.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/eventswindow.h"
#include "tools/listenwindow.h"
#include "tools/lyricswindow.h"
#include "tools/mixerwindow.h"
#include "tools/pianowindow.h"
#include "transport/positionfollower.h"
#include "transport/soundingnotes.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>

namespace reedtab {

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
    return type >= kMonitorMixer && type <= kMonitorListen;
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
    case kMonitorListen:
        return makeListen();
    default:
        return nullptr;
    }
}

CMonitor* ToolWindows::makeListen() {
    auto* listen = new CMonListen(context_, owner_);
    connect(listen, &CMonListen::judgedChanged, this,
            [this, listen] { emit judgedChanged(listen->passNotes(), listen->judgedTrack()); });
    connect(listen, &CMonListen::heardChanged, this, [this](int note) {
        for (CMonitor* window : monitors_) {
            window->heardNote(note);
        }
    });
    connect(listen, &CMonitor::monitorClosed, this, [this] { emit judgedChanged({}, -1); });
    return listen;
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

NoteDelivery ToolWindows::deliveryOf(int type) {
    switch (type) {
    case kMonitorMixer:
        return {.everyNote = true};
    case kMonitorLyrics:
        return {.words = true};
    case kMonitorEvents:
        return {.everyEvent = true};
    default:
        return {};
    }
}

void ToolWindows::deliver(const PositionReport& report) {
    if (monitors_.empty()) {
        return;
    }
    const MergedEventList& events = context_.doc.song.mergedEvents;
    const SoundingNotes rules(context_.doc.song);
    const int end = std::min(report.endEvent, static_cast<int>(events.size()));
    for (int index = std::max(0, report.firstEvent); index < end; ++index) {
        const int key = events[static_cast<std::size_t>(index)]->data1;
        for (CMonitor* window : monitors_) {
            const EventNews news = rules.newsFor(index, deliveryOf(window->monitorIndex()));
            if (news.noteOn) {
                window->noteOn(key, index, -1);
            } else if (news.noteOff) {
                window->noteOff(key, index, -1);
            }
            if (news.words) {
                window->onTextEvent(index);
            } else if (news.event) {
                window->onEvent(index);
            }
        }
    }
}

void ToolWindows::showSounding(int tick) {
    refreshAll(0);
    const MergedEventList& events = context_.doc.song.mergedEvents;
    const SoundingNotes rules(context_.doc.song);
    for (CMonitor* window : monitors_) {
        const SoundingState state = rules.at(tick, deliveryOf(window->monitorIndex()));
        for (const int index : state.notes) {
            window->noteOn(events[static_cast<std::size_t>(index)]->data1, index, -1);
        }
        // The words and the event reached last, as playing up to here would have left them.
        if (state.lastEvent >= 0) {
            window->onEvent(state.lastEvent);
        }
        if (state.lastWords >= 0) {
            window->onTextEvent(state.lastWords);
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

void ToolWindows::applyColours() {
    for (CMonitor* window : monitors_) {
        window->applyColours();
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
