#pragma once

// The mixer: the song's tracks in a list, and beside each listed track a volume slider, a level
// meter, a play box and a display box. Its context menu mutes, solos, shows, hides, deletes
// and bakes the volume of the selected tracks. It changes the tracks' flags and
// `volumePercent`, which the player and the view read, through the document's track-state
// operations, whose TracksChanged notice tells the other windows.

#include "tools/monitor.h"

#include <QCheckBox>
#include <QListWidget>

#include <array>
#include <memory>
#include <vector>

class QMenu;
class QSlider;
class QTimer;

namespace reedtab {

class MidiTrack;

/// The list of tracks: owner-drawn items, several selected at once.
class CMyListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CMyListBox(QWidget* parent);

signals:
    /// A key the list does not use itself.
    void keyTyped(QKeyEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

/// A play or display box of a mixer row: reports double clicks, taking the focus, and the
/// modifier keys held when it was clicked.
class MixerBox : public QCheckBox {
    Q_OBJECT
public:
    MixerBox(const QString& text, QWidget* parent);
    /// The modifier keys of the click `clicked` reports.
    Qt::KeyboardModifiers clickModifiers() const { return clickModifiers_; }

signals:
    void doubleClicked();
    void focused();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    Qt::KeyboardModifiers clickModifiers_;
};

class CMonMixer : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kRows = 128;
    static constexpr int kRowHeight = 13;
    static constexpr int kDefaultTracksOnList = 12;

    /// The context menu's commands.
    enum MenuCommand : int {
        kMuteSelection = 2010,
        kSoloSelected = 2011,
        kResetVolumes = 2012,
        kHideSelection = 2013,
        kShowSelectionOnly = 2014,
        kShowAll = 2015,
        kInvertSelection = 2017,
        kTrackProperties = 2018,
        kDeleteTracks = 2019,
        kApplyVolume = 2020,
        kClearSelection = 2021,
        kShowTrackOnly = 2022,
    };

    CMonMixer(const ToolContext& context, QWidget* owner);
    ~CMonMixer() override;

    int monitorIndex() const override { return kMonitorMixer; }
    void refresh(int flag) override;
    void noteOn(int note, int eventIndex, int code) override;
    void noteOff(int note, int eventIndex, int code) override;
    void savePlacement() override;
    void restorePlacement(int width, int height, bool force) override;
    void applyColours() override;

    /// The list text of track `index`: "%02d%c%s" of index, mark and name, then "| Ch" and
    /// " %d" for each channel (1-based) when it uses any.
    static QString trackText(const MidiTrack& track, int index);
    /// The colour of meter brush `index` 0..7, green through yellow to red.
    static QColor meterColour(int index);
    /// The brush a meter is filled with: 0..7 by the level, -1 grey (a muted track at rest).
    static int meterBrush(const MidiTrack& track);

    CMyListBox* trackList() const { return list_; }
    QSlider* slider(int row) const { return rows_[static_cast<std::size_t>(row)].slider; }
    MixerBox* playBox(int row) const { return rows_[static_cast<std::size_t>(row)].play; }
    MixerBox* displayBox(int row) const { return rows_[static_cast<std::size_t>(row)].display; }
    /// The cell of row `row`'s meter in the window.
    static QRect meterRect(int row);
    int visibleRows() const { return visibleRows_; }
    int maxTracksOnList() const { return maxTracksOnList_; }

    // ---- What the rows' controls do (row r stands for the track at list top + r) ----
    void displayClicked(int row, Qt::KeyboardModifiers modifiers);
    void displayDoubleClicked(int row);
    void playClicked(int row, Qt::KeyboardModifiers modifiers);
    void playDoubleClicked(int row);
    /// A box of the row took the focus: the shift-range anchors move to it.
    void rowFocused(int row);
    void volumeMoved(int row, int value);

    /// The context menu, its items enabled as the song and the selection allow; each item's
    /// data is its `MenuCommand`.
    /// `track` is the track whose row the menu was opened on (-1 for none): "Show this Track
    /// only" shows it alone.
    std::unique_ptr<QMenu> makeContextMenu(int track = -1);
    void runCommand(int id, int track = -1);
    /// The track whose row is at height `y` of the window; -1 for none.
    int trackAtY(int y) const;
    /// The meters' timer: held levels rise, free ones fall, changed cells are drawn.
    void meterTick();

protected:
    int onCreateContent() override;
    void onDestroyContent() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Row {
        QSlider* slider = nullptr;
        MixerBox* play = nullptr;
        MixerBox* display = nullptr;
    };

    std::vector<std::unique_ptr<MidiTrack>>& tracks() const;
    int trackCount() const;
    int topIndex() const;
    /// The track row `row` stands for, or null.
    MidiTrack* trackOfRow(int row) const;
    std::vector<int> selectedTracks() const;
    bool loading() const;

    void createRow(int r);
    void fillList();
    /// The window height between the rows `maxTracksOnList` asks for and the song's tracks.
    void holdHeight();
    void layoutRows();
    void updateRows();
    void listSelectionChanged();
    void listKey(QKeyEvent* event);
    bool hasFlag(int trackIndex, std::uint16_t bit) const;
    /// Whether the track lies between the two shift-range anchors (both set).
    bool betweenAnchors(int trackIndex) const;
    /// Sets or clears `bit` on every track as `on(index)` says, through the document.
    template <typename F>
    void setFlag(std::uint16_t bit, F on);
    /// Runs `change`, the mixer's own changes of the tracks' state through the document, whose
    /// notices tell the view and every tool window; the mixer keeps its list and redraws its
    /// rows.
    template <typename F>
    void changeTracks(F change);
    void setSelection(const std::vector<bool>& selected);
    void deleteSelected();
    void applyVolumes();
    void updateMeter(int trackIndex);

    CMyListBox* list_ = nullptr;
    std::array<Row, kRows> rows_{};
    // The brush each meter cell was last drawn with (-2 none yet), so that the timer draws only
    // the cells that change.
    std::array<int, kRows> drawnBrush_{};
    QTimer* timer_ = nullptr;
    int visibleRows_ = 0;
    int maxTracksOnList_ = kDefaultTracksOnList;
    int lastAnchor_ = -1;
    int previousAnchor_ = -1;
    // The height the mixer gave itself; any other comes from the user's drag.
    int heldHeight_ = -1;
    // Set while the mixer's own notice goes round, so that its refresh keeps the list as it is.
    bool notifying_ = false;
    bool filling_ = false;
};

} // namespace reedtab
