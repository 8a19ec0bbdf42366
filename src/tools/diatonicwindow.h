#pragma once

// The diatonic harmonica window: a harmonica of the process-wide diatonic layout's tuning and
// key with one button per playable note of every hole, held down while its notes sound; an
// options panel chooses tuning, key and octave and counts how the song's notes fall on the
// harmonica.

#include "harmonica/harmonicalayout.h"
#include "tools/monitor.h"

#include <QFont>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;

namespace reedtab {

class DiatonicLayout;
class MidiSong;

/// How the sounding notes of the shown tracks between the marks fall on a diatonic harmonica,
/// by their preferred alternative.
struct DiatonicStatistics {
    int blow = 0;
    int draw = 0;
    int bends = 0; ///< bends and valved bends
    int overblows = 0;
    int overdraws = 0;
    int unavailable = 0;
};

/// Counts the note-ons of the tracks shown in the view from `markBegin` (when not -1) to
/// before `markEnd` (when not -1).
DiatonicStatistics countDiatonicNotes(const MidiSong& song, int markBegin, int markEnd,
                                      const DiatonicLayout& layout);

class CMonDiatonic : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kMaxHoles = 16;
    static constexpr int kSlots = 7;
    /// Control ids.
    static constexpr int kTuningList = 33568;
    static constexpr int kKeyList = 33569;
    static constexpr int kOverblowsCheck = 33570;
    static constexpr int kBendsCheck = 33571;
    static constexpr int kOctaveList = 33573;
    static constexpr int kNextFifth = 33574;
    static constexpr int kPreviousFifth = 33575;
    static constexpr int kPanelToggle = 33576;
    static constexpr int kFirstStatistic = 33577;
    static constexpr int kStatsCheck = 33583;
    static constexpr int kFirstHoleButton = 33588;

    CMonDiatonic(const ToolContext& context, QWidget* owner);
    ~CMonDiatonic() override;

    int monitorIndex() const override { return kMonitorDiatonic; }
    void refresh(int flag) override;
    void noteOn(int note, int eventIndex, int code) override;
    void noteOff(int note, int eventIndex, int code) override;
    void followLayouts() override;
    void heardNote(int note) override;
    void savePlacement() override;
    void restorePlacement(int width, int height, bool force) override;

    /// The button of a hole (0-based) and slot, or null where the tuning has none.
    NoteButton* button(int hole, int slot) const;
    int pressCount(int hole, int slot) const;
    /// The statistics texts, "Blow notes: 12" ... in their order.
    QLabel* statistic(int index) const { return stats_[static_cast<std::size_t>(index)]; }
    bool optionsVisible() const { return optVisible_; }
    int panelOffset() const { return panelOffset_; }
    /// The controls, for the keyboard-free tests and the screenshot.
    QComboBox* tuningList() const { return tuningList_; }
    QComboBox* keyList() const { return keyList_; }
    QComboBox* octaveList() const { return octaveList_; }
    QCheckBox* bendsCheck() const { return bends_; }
    QCheckBox* overblowsCheck() const { return overblows_; }
    QCheckBox* statsCheck() const { return showStats_; }
    /// The controls' commands: a tuning, key or octave chosen, a fifth up or down, the panel.
    void tuningSelected();
    void keySelected();
    void stepFifth(bool up);
    void togglePanel();
    /// Where the user's tuning file comes from when "[Custom]" is chosen (a file dialog by
    /// default).
    TuningFilePicker pickTuningFile;

protected:
    int onCreateContent() override;
    void onDestroyContent() override;
    void onButton(int id, int code) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void layoutChangedHere();
    void buildButtons();
    void showButtons();
    void showPanel();
    void selectKeyAndOctave();
    void updateStatistics();
    /// Presses or releases the button of a note as `noteOn` and `noteOff` describe it.
    void hold(int note, int eventIndex, int code, bool down);
    void press(int hole, int slot);
    void release(int hole, int slot);
    void releaseHeldKeys();
    int windowWidth() const;

    DiatonicLayout& layout_;
    std::array<std::array<NoteButton*, kSlots>, kMaxHoles> buttons_{};
    std::array<std::array<int, kSlots>, kMaxHoles> pressCount_{};
    int key_ = 0;
    int tuningIndex_ = 0;
    bool optVisible_ = true;
    int panelOffset_ = 145;
    HeldKeys heldKeys_;
    HeldNotes sounding_;
    QFont listFont_;
    QFont smallFont_;

    QComboBox* tuningList_ = nullptr;
    QComboBox* keyList_ = nullptr;
    QComboBox* octaveList_ = nullptr;
    QPushButton* previousFifth_ = nullptr;
    QPushButton* nextFifth_ = nullptr;
    QPushButton* panelToggle_ = nullptr;
    QCheckBox* bends_ = nullptr;
    QCheckBox* overblows_ = nullptr;
    QCheckBox* showStats_ = nullptr;
    std::array<QLabel*, 6> stats_{};
    // The button framed as heard, and its note (-1: none); framed anew on buttons built anew.
    QPointer<NoteButton> heard_;
    int heardNote_ = -1;
};

} // namespace reedtab
