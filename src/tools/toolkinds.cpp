// The registry of tool windows: a new kind of window is one entry here.

#include "tools/chromaticwindow.h"
#include "tools/diatonicwindow.h"
#include "tools/eventswindow.h"
#include "tools/listenwindow.h"
#include "tools/lyricswindow.h"
#include "tools/mixerwindow.h"
#include "tools/pianowindow.h"
#include "tools/toolwindows.h"

#include <array>

namespace reedtab {

namespace {

template <typename Window>
CMonitor* makeWindow(const ToolContext& context, QWidget* owner) {
    return new Window(context, owner);
}

const std::array kKinds{
    ToolWindowKind{kMonitorMixer,
                   "mixer",
                   ID_VIEW_MIXER,
                   "&Mixer\tAlt+M",
                   "View mixer window",
                   "Alt+M",
                   {.everyNote = true},
                   makeWindow<CMonMixer>},
    ToolWindowKind{kMonitorPiano,
                   "piano",
                   ID_VIEW_PIANO,
                   "Piano &Keyboard\tAlt+K",
                   "View real time piano",
                   "Alt+K",
                   {},
                   makeWindow<CMonPiano>},
    ToolWindowKind{kMonitorDiatonic,
                   "diatonic",
                   ID_VIEW_DIATONIC,
                   "&Diatonic Harmonica\tAlt+H",
                   "View diatonic harmonica",
                   "Alt+H",
                   {},
                   makeWindow<CMonDiatonic>},
    ToolWindowKind{kMonitorChromatic,
                   "chromatic",
                   ID_VIEW_CHROMATIC,
                   "&Chromatic Harmonica\tAlt+C",
                   "View chromatic harmonica",
                   "Alt+C",
                   {},
                   makeWindow<CMonChromatic>},
    ToolWindowKind{kMonitorLyrics,
                   "lyrics",
                   ID_VIEW_LYRICS,
                   "L&yrics\tAlt+T",
                   "View Lyrics window",
                   "Alt+T",
                   {.words = true},
                   makeWindow<CMonLyrics>},
    ToolWindowKind{kMonitorEvents,
                   "events",
                   ID_VIEW_EVENTS,
                   "MIDI &Events\tAlt+E",
                   "View MIDI events",
                   "Alt+E",
                   {.everyEvent = true},
                   makeWindow<CMonEvents>},
    ToolWindowKind{kMonitorListen,
                   "listen",
                   ID_VIEW_LISTEN,
                   "Li&sten",
                   "Listen to your playing and judge it",
                   "",
                   {},
                   makeWindow<CMonListen>},
};

} // namespace

std::span<const ToolWindowKind> toolWindowKinds() {
    return kKinds;
}

const ToolWindowKind* findToolWindowKind(int index) {
    for (const ToolWindowKind& kind : kKinds) {
        if (kind.index == index) {
            return &kind;
        }
    }
    return nullptr;
}

} // namespace reedtab
