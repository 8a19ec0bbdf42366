#pragma once

// The piano keyboard window: 88 keys (MIDI notes 21 to 108) that go down while their notes
// sound and play notes from the mouse and the computer keyboard.

#include "tools/monitor.h"

#include <array>

namespace reedtab {

/// A piano key drawn from the artwork, up or down.
class PianoKey : public NoteButton {
    Q_OBJECT
public:
    PianoKey(int id, bool black, CMonitor* window);
    bool isBlack() const { return black_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool black_;
};

class CMonPiano : public CMonitor {
    Q_OBJECT
public:
    static constexpr int kKeys = 88;
    static constexpr int kLowestNote = 21;
    static constexpr int kFirstKeyId = 1000;
    /// The channel the piano plays on outside edit mode.
    static constexpr int kChannel = 1;

    CMonPiano(const ToolContext& context, QWidget* owner);
    ~CMonPiano() override;

    int monitorIndex() const override { return kMonitorPiano; }
    void refresh(int flag) override;
    void noteOn(int note, int eventIndex, int code) override;
    void noteOff(int note, int eventIndex, int code) override;

    /// The key of a MIDI note, or null outside 21..108.
    PianoKey* key(int note) const;
    int pressCount(int note) const;
    /// The note a computer key sounds, or -1 (exposed for the tests of the map).
    static int noteOfKey(const QKeyEvent& event);

protected:
    int onCreateContent() override;
    void onDestroyContent() override;
    void onButton(int id, int code) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void releaseHeldKeys();

    std::array<PianoKey*, kKeys> keys_{};
    std::array<int, kKeys> pressCount_{};
    HeldKeys heldKeys_;
};

} // namespace reedtab
