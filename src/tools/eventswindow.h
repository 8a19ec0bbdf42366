#pragma once

// The MIDI events window: every event of the song's merged list, one described line each, and
// while the song plays the event just reached at the top, selected. The list holds only the
// number of events; a line's text is made when it is drawn.

#include "tools/monitor.h"

#include <QListView>

namespace reedtab {

class MidiSong;
class EventLines;

/// The list of events: fixed-height lines drawn from the song on demand.
class CEventsListBox : public QListView {
    Q_OBJECT
public:
    explicit CEventsListBox(QWidget* parent);

signals:
    /// A character typed in the list.
    void keyTyped(QKeyEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
};

class CMonEvents : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kLineHeight = 13;
    static constexpr int kLowestHeight = 65;

    CMonEvents(const ToolContext& context, QWidget* owner);
    ~CMonEvents() override;

    int monitorIndex() const override { return kMonitorEvents; }
    void refresh(int flag) override;
    void onEvent(int eventIndex) override;
    void applyColours() override;

    /// Line `index`: "%03d:%02d:%03d T%02d %s" of the event's position, its track and its
    /// description.
    static QString lineText(const MidiSong& song, int index);

    CEventsListBox* list() const { return list_; }
    /// The number of lines the list holds.
    int lineCount() const;
    /// The line at the top of the list.
    int topLine() const;

protected:
    int onCreateContent() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    /// Shows the last event reached; several reached at once scroll the list once.
    void showReached();

    CEventsListBox* list_ = nullptr;
    EventLines* lines_ = nullptr;
    int reached_ = -1;
    bool showPending_ = false;
};

} // namespace reedtab
