#pragma once

// The chromatic harmonica window: a slide chromatic of the process-wide chromatic layout with
// four buttons per hole (blow and draw, slide out and in), held down while their notes sound;
// three lists choose the tuning, key and octave.

#include "harmonica/harmonicalayout.h"
#include "tools/monitor.h"

#include <QFont>

#include <array>

class QComboBox;

namespace reedtab {

class ChromaticLayout;

class CMonChromatic : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kMaxHoles = 16;
    static constexpr int kColumns = 4;
    static constexpr int kTuningList = 33668;
    static constexpr int kKeyList = 33669;
    static constexpr int kOctaveList = 33670;
    static constexpr int kFirstHoleButton = 33678;

    CMonChromatic(const ToolContext& context, QWidget* owner);
    ~CMonChromatic() override;

    int monitorIndex() const override { return kMonitorChromatic; }
    void refresh(int flag) override;
    void noteOn(int note, int eventIndex, int code) override;
    void noteOff(int note, int eventIndex, int code) override;
    void followLayouts() override;
    void heardNote(int note) override;

    /// The button of a row and column, or null beyond the tuning's holes.
    NoteButton* button(int row, int column) const;
    int pressCount(int row, int column) const;
    QComboBox* tuningList() const { return tuningList_; }
    QComboBox* keyList() const { return keyList_; }
    QComboBox* octaveList() const { return octaveList_; }
    void tuningSelected();
    void keySelected();
    /// Where the user's tuning file comes from when "[Custom]" is chosen.
    TuningFilePicker pickTuningFile;

protected:
    int onCreateContent() override;
    void onButton(int id, int code) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutChangedHere();
    void buildButtons();
    void selectKeyAndOctave();
    /// Presses or releases the button of a note as `noteOn` and `noteOff` describe it.
    void hold(int note, int eventIndex, int code, bool down);
    /// The button a note (played as its event's chosen fingering says) or a code stands for;
    /// false when there is none.
    bool target(int note, int eventIndex, int code, int& row, int& column) const;

    ChromaticLayout& layout_;
    std::array<std::array<NoteButton*, kColumns>, kMaxHoles> buttons_{};
    std::array<std::array<int, kColumns>, kMaxHoles> pressCount_{};
    HeldNotes sounding_;
    int key_ = 0;
    int tuningIndex_ = 0;
    QFont listFont_;
    QFont smallFont_;
    QComboBox* tuningList_ = nullptr;
    QComboBox* keyList_ = nullptr;
    QComboBox* octaveList_ = nullptr;
    // The button framed as heard, and its note (-1: none); framed anew on buttons built anew.
    QPointer<NoteButton> heard_;
    int heardNote_ = -1;
};

} // namespace reedtab
