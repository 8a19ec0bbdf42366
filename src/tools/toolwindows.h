#pragma once

// The tool windows the program has, one registry entry each, and the main frame's list of open
// tool windows: opening and closing them by type, handing them the events a playing song
// passes, resetting them, and which were open at exit.
//
// Threads: the user-interface thread only.

#include "listen/judge.h"
#include "tools/monitor.h"
#include "transport/soundingnotes.h"
#include "ui/commands.h"

#include <QObject>

#include <span>
#include <vector>

namespace reedtab {

class CommandTable;
class CMonListen;
struct PositionReport;

/// One kind of tool window: everything the program needs to offer, open, feed and remember it.
struct ToolWindowKind {
    /// The window's `monitorIndex`, the n of its "Mon%d..." settings keys.
    int index;
    /// Its short name: the toolbar icon (":/app/icons/NAME.svg") and the screenshot mode's
    /// window name.
    const char* name;
    /// The command that opens and closes it, with its menu text, prompt and accelerator (the
    /// key bound, which may differ from the one the menu text shows; "" for none).
    int command;
    const char* menuText;
    const char* prompt;
    const char* accelerator;
    /// What it takes of the events the song passes.
    NoteDelivery delivery;
    /// Makes the window, owned by `owner` (not yet created).
    CMonitor* (*make)(const ToolContext& context, QWidget* owner);
};

/// Every kind of tool window, in the toolbar's order.
std::span<const ToolWindowKind> toolWindowKinds();
/// The kind of `index`, or null.
const ToolWindowKind* findToolWindowKind(int index);

class ToolWindows : public QObject {
    Q_OBJECT
public:
    /// `owner` is the main frame, the owner of every tool window.
    ToolWindows(const ToolContext& context, QWidget* owner);
    ~ToolWindows() override;

    /// Whether the program has a tool window of `type`.
    static bool available(int type);
    /// What a tool window of `type` takes of the events the song passes.
    static NoteDelivery deliveryOf(int type);
    /// Registers the toggle command of every kind of tool window.
    void registerCommands(CommandTable& table);
    /// What the windows opened from now on work with (the frame sets the hooks here).
    ToolContext& context() { return context_; }

    /// Closes the open window of `type`, or opens one. False when the type is not available
    /// or the window could not be made.
    bool toggle(int type);
    /// The open window of `type`, or null.
    CMonitor* window(int type) const;
    bool isOpen(int type) const { return window(type) != nullptr; }
    /// The open windows, in opening order.
    const std::vector<CMonitor*>& monitors() const { return monitors_; }

    /// `refresh`(flag) on every open window.
    void refreshAll(int flag);
    /// The events a position report passed, in song order, to every window as its kind takes
    /// them (`deliveryOf`, SoundingNotes::newsFor).
    void deliver(const PositionReport& report);
    /// Resets every window and holds down the notes that sound at `tick` (by the same rules as
    /// `deliver`), and shows the words and the event reached there, as if the song had played
    /// up to there.
    void showSounding(int tick);
    /// The harmonica layouts were changed from outside their windows (the harp finder): every
    /// open window takes them up.
    void followLayouts();
    /// The lyrics window takes the lyrics font and colours of the settings.
    void applyLyricsSettings();
    /// Every window takes the colours of the settings.
    void applyColours();
    /// Closes every window; each saves its placement.
    void closeAll();
    /// Passes the keys typed on `source` (the staff) to the diatonic window when it is open,
    /// else to the piano window; keys the window does not play stay with `source`.
    void watchKeys(QWidget* source);
    /// Writes "Mon%dOn" for every kind: 1 for the kinds open now.
    void saveOpenWindows(SettingsStore& store) const;
    /// The toggle commands of the kinds whose "Mon%dOn" is set, to be run once the frame shows.
    static std::vector<int> windowsOpenAtExit(const SettingsStore& store);

signals:
    /// A tool window changed a harmonica layout.
    void layoutChanged();
    /// The Listen window judged notes of its pass, or began a new one: the staff marks them.
    void judgedChanged(const std::vector<reedtab::JudgedNote>& notes, int track);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// The Listen window's judged notes go to the staff, its heard note to every window.
    void followListen(CMonListen* listen);
    ToolContext context_;
    QWidget* owner_;
    std::vector<CMonitor*> monitors_;
};

} // namespace reedtab
