#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace reedtab {

/// A live note for the main frame (MIDI input, tool windows), queued to it in arrival order.
inline constexpr std::uint32_t WM_NOTE_INPUT = 32881;
/// The tick field of a WM_NOTE_INPUT lParam that means "now".
inline constexpr std::uint32_t kNoteInputNow = 0x1FFFFFF;

/// The action in bits 29..31 of a WM_NOTE_INPUT lParam.
enum NoteInputAction : std::uint32_t {
    NoteInputTestNote = 0, ///< a short test note: note-on, 50 ms, note-off
    NoteInputNoteOff = 1,
    NoteInputNoteOn = 2,
    NoteInputProgram = 5,
    NoteInputPitchWheel = 7, ///< data1 = low 7 bits, data2 = high 7 bits
};

/// The two parameters of a WM_NOTE_INPUT message.
struct NoteInput {
    std::uint32_t wParam = 0; ///< data1 in bits 0..7, data2 in bits 8..15
    std::uint32_t lParam = 0; ///< action << 29 | channel << 25 | tick (kNoteInputNow)

    std::uint32_t data1() const { return wParam & 0xFF; }
    std::uint32_t data2() const { return wParam >> 8 & 0xFF; }
    std::uint32_t action() const { return lParam >> 29; }
    std::uint32_t channel() const { return lParam >> 25 & 0x0F; }
    std::uint32_t tick() const { return lParam & 0x1FFFFFF; }

    friend bool operator==(const NoteInput&, const NoteInput&) = default;
};

/// Packs the parameters; channel and tick are cut to their bit fields.
NoteInput makeNoteInput(std::uint32_t action, std::uint32_t channel, std::uint32_t data1,
                        std::uint32_t data2, std::uint32_t tick = kNoteInputNow);

/// The WM_NOTE_INPUT of one incoming MIDI message, or nothing for messages that are ignored
/// (system messages, aftertouch, controllers, channel pressure, incomplete messages).
std::optional<NoteInput> convertInputMessage(const std::uint8_t* bytes, std::size_t length);

/// The main frame's side of the live notes. Called on the MIDI input thread, one message at a
/// time, in arrival order. It queues the note to the user-interface thread, keeping that order,
/// and returns at once: it must never wait for that thread, because the frame closes the input
/// device there and closing waits for the input thread, so a blocking hand-over deadlocks.
class NoteInputWindow {
public:
    virtual ~NoteInputWindow() = default;
    virtual void sendNoteInput(const NoteInput& input) = 0;
};

/// A MIDI input device (an RtMidi input port).
class MidiInput {
public:
    MidiInput();
    ~MidiInput();
    MidiInput(const MidiInput&) = delete;
    MidiInput& operator=(const MidiInput&) = delete;

    /// Opens input `index` of the system's input list and starts passing its notes to
    /// `window`. Returns 0, or -1 when `index` is -1 (no input chosen) or the input cannot be
    /// opened. GUI thread.
    int openInput(int index, NoteInputWindow* window);
    /// Closes the device; no message reaches the window afterwards. GUI thread.
    void closeInput();
    bool isOpen() const;

    /// One incoming message, as the device callback delivers it (input thread). Converts it and
    /// hands it to the window, which queues it for the user-interface thread; ignored without a
    /// window.
    void deliver(const std::uint8_t* bytes, std::size_t length);
    /// The window for `deliver` without opening a device (tests, other sources of notes).
    void setWindow(NoteInputWindow* window);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace reedtab
