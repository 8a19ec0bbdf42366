#pragma once

// The Qt bridge of the transport: the player posts its messages here (this is its message
// poster, a `PlayerWindow`) and they reach the transport on the user-interface thread as Qt
// events; the transport's news (it hears them as its `TransportListener`) and the live notes
// of the MIDI input and the tool windows leave as signals that the frame, the view and the tool
// windows connect to.
//
// Threads: `postMessage`, `sendNoteInput`, `dispatchPendingMessage` and `isQuitting` may be
// called on any thread; everything else, and every signal, is on the user-interface thread.

#include "playback/midiinput.h"
#include "playback/streamplayer.h"
#include "transport/transport.h"

#include <QEvent>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>

namespace reedtab {

class TransportHub : public QObject, public PlayerWindow, public NoteInputWindow {
    Q_OBJECT
public:
    /// Becomes the listener of `transport`, which must outlive the hub.
    explicit TransportHub(Transport& transport, QObject* parent = nullptr);
    ~TransportHub() override;

    /// Whether the song is playing (the tool windows refuse some commands then).
    bool isPlaying() const { return transport_.isPlaying(); }
    /// The transport itself, for a window that plays the song its own way (the Listen window).
    Transport& transport() { return transport_; }
    /// From now on the stop sequence stops waiting for reports, and notes are dropped.
    void setQuitting() { quitting_ = true; }

    // ---- PlayerWindow ----
    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    bool dispatchPendingMessage() override;
    bool isQuitting() const override { return quitting_.load(); }

    // ---- NoteInputWindow ----
    /// Queued to the user-interface thread in arrival order and returns at once: a blocking
    /// hand-over could deadlock while the frame closes the input device and waits for its
    /// thread. The frame echoes each note and, in edit mode, records it, in that same order.
    void sendNoteInput(const NoteInput& input) override;

signals:
    /// The playing song reached a position; emitted only while it plays.
    void positionReached(const reedtab::PositionReport& report);
    /// The tempo changed (microseconds per quarter of the song, before the tempo percentage).
    void tempoChanged(int microsPerQuarter);
    /// The player stopped by itself: at the end of the song (`result` PlayerOk) or because its
    /// device went away (PlayerDeviceError).
    void stopped(int result);
    /// Playing stopped at the transport's hold at `tick`; its `release` plays on.
    void held(std::int32_t tick);
    /// A live note from the MIDI input or a tool window.
    void noteInput(const reedtab::NoteInput& input);

protected:
    bool event(QEvent* event) override;

private:
    class News;

    Transport& transport_;
    std::unique_ptr<News> news_;
    std::atomic<int> postedPositions_{0};
    std::atomic<bool> quitting_{false};
};

/// A player or input message delivered as a Qt event whose type is the message number.
class PlayerMessageEvent : public QEvent {
public:
    PlayerMessageEvent(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), wParam(wParam), lParam(lParam) {}
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

} // namespace reedtab
