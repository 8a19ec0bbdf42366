#include "tools/toolwindows.h"

#include "document/reedtabdoc.h"
#include "settings/settings.h"
#include "settings/settingsstore.h"
#include "tools/listenwindow.h"
#include "tools/lyricswindow.h"
#include "transport/positionfollower.h"
#include "transport/soundingnotes.h"
#include "ui/commandtable.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

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
    return findToolWindowKind(type) != nullptr;
}

void ToolWindows::registerCommands(CommandTable& table) {
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        const int type = kind.index;
        QAction* toggle = table.add(
            kind.command, QString::fromLatin1(kind.menuText), QString::fromLatin1(kind.prompt),
            true, [this, type] { this->toggle(type); }, {}, [this, type] { return isOpen(type); });
        if (!toggle) {
            continue;
        }
        toggle->setShortcut(QKeySequence::fromString(QString::fromLatin1(kind.accelerator),
                                                     QKeySequence::PortableText));
        // The tool window just opened is the active one; its accelerator closes it again.
        toggle->setShortcutContext(Qt::ApplicationShortcut);
    }
}

void ToolWindows::followListen(CMonListen* listen) {
    connect(listen, &CMonListen::judgedChanged, this,
            [this, listen] { emit judgedChanged(listen->passNotes(), listen->judgedTrack()); });
    connect(listen, &CMonListen::heardChanged, this, [this](int note) {
        for (CMonitor* window : monitors_) {
            window->heardNote(note);
        }
    });
    connect(listen, &CMonitor::monitorClosed, this, [this] { emit judgedChanged({}, -1); });
}

bool ToolWindows::toggle(int type) {
    if (CMonitor* open = window(type)) {
        open->close();
        return true;
    }
    const ToolWindowKind* kind = findToolWindowKind(type);
    if (!kind) {
        return false;
    }
    CMonitor* created = kind->make(context_, owner_);
    connect(created, &CMonitor::monitorClosed, this, [this](CMonitor* gone) {
        monitors_.erase(std::remove(monitors_.begin(), monitors_.end(), gone), monitors_.end());
    });
    connect(created, &CMonitor::layoutChanged, this, &ToolWindows::layoutChanged);
    if (auto* listen = qobject_cast<CMonListen*>(created)) {
        followListen(listen);
    }
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
    const ToolWindowKind* kind = findToolWindowKind(type);
    return kind ? kind->delivery : NoteDelivery{};
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

namespace {

std::string openKey(int index) {
    return "Mon" + std::to_string(index) + "On";
}

} // namespace

void ToolWindows::saveOpenWindows(SettingsStore& store) const {
    // Index 0 is no window; its key stays so that the settings file reads as it always has.
    store.writeInt(kWindowSection, openKey(kMonitorNone), 0);
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        store.writeInt(kWindowSection, openKey(kind.index), isOpen(kind.index) ? 1 : 0);
    }
}

std::vector<int> ToolWindows::windowsOpenAtExit(const SettingsStore& store) {
    std::vector<int> commands;
    for (const ToolWindowKind& kind : toolWindowKinds()) {
        if (store.readInt(kWindowSection, openKey(kind.index)).value_or(0) != 0) {
            commands.push_back(kind.command);
        }
    }
    return commands;
}

void ToolWindows::closeAll() {
    const std::vector<CMonitor*> open = monitors_;
    for (CMonitor* window : open) {
        window->close();
    }
}

} // namespace reedtab
