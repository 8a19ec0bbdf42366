#pragma once

#include "playback/clock.h"
#include "playback/midistream.h"
#include "playback/outputdevice.h"
#include "playback/playbackparams.h"

#include <cstdint>
#include <memory>
#include <string>

namespace reedtab {

class MidiSong;

/// Message numbers the player posts to the main frame.
inline constexpr std::uint32_t WM_PLAYER_STOPPED = 32868;
inline constexpr std::uint32_t WM_PLAYER_POSITION = 32878;
inline constexpr std::uint32_t WM_PLAYER_TEMPO = 32880;
/// What the frame and the command line say when WM_PLAYER_STOPPED carries PlayerDeviceError.
inline constexpr const char* kDeviceLostText = "The MIDI output device went away: playing stopped.";
/// wParam of every WM_PLAYER_POSITION.
inline constexpr std::uintptr_t kPlayerPositionWParam = 970;
/// In a position value: set = the value is 0x800000 + a song tick; clear = a MergedEventList
/// index.
inline constexpr std::uint32_t kPositionTickFlag = 0x800000;

/// `StreamPlayer::state`.
enum class PlayerState : std::uint16_t {
    Closed = 0,    ///< no device open
    Idle = 1,      ///< stream open, not playing
    Playing = 2,   ///< packets queued, stream running
    Stopping = 3,  ///< stop sequence under way
    Suspended = 4, ///< playing, but refilling is held while the song is being changed
};

/// Result codes of the player.
enum PlayerResult : int {
    PlayerOk = 0,
    PlayerOpenFailed = 1,     ///< start: the device cannot be opened
    PlayerDeviceError = 2,    ///< openDevice: the device or stream cannot be opened
    PlayerAlreadyOpen = 4,    ///< openDevice: not Closed
    PlayerAlreadyPlaying = 5, ///< start while playing
    PlayerNoDevice = 6,       ///< init: no output device at all
    PlayerStartAfterEnd = 10, ///< start beyond the song's length outside edit mode
};

/// The window that receives the player's messages (the main frame; a queue in tests).
class PlayerWindow {
public:
    virtual ~PlayerWindow() = default;
    /// Queues a message for the GUI thread and returns at once. Called on the GUI thread and
    /// on the stream's timer thread. The GUI thread's handler of WM_PLAYER_POSITION must call
    /// `StreamPlayer::positionMessageHandled`.
    virtual void postMessage(std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) = 0;
    /// Handles one waiting posted message if there is one and the calling thread is the one
    /// that handles them; returns false otherwise (at once). The stop sequence calls it on
    /// the GUI thread and on the timer thread (end of song), so it must not block.
    virtual bool dispatchPendingMessage() = 0;
    /// True once the application is quitting: the stop sequence stops waiting then.
    virtual bool isQuitting() const = 0;
};

/// The one MIDI stream player of the process: plays the song on the output device in packets
/// of timed stream records, a thirty-second note at a time, and reports the position to the
/// window. What it plays by (loop, tempo, division, options, trainer) comes as one
/// `PlaybackParams` value from its owner (the transport); it reads no settings.
///
/// Threads: every operation is for the GUI thread unless said otherwise. The stream's timer
/// thread runs the packet refill, the position reports and the end-of-song stop; the fields
/// both threads touch are atomic, each fill reads the parameters once under a lock, and the
/// stop sequence waits (bounded) for the timer thread to let go of the song before `stop`
/// returns.
class StreamPlayer final : private MidiStreamClient {
public:
    static constexpr int kPacketCount = 4;
    static constexpr std::uint32_t kPacketBytes = 16384;

    /// `outputs` makes the devices (the built-in synth and the ports in the program); `clock`
    /// drives the stream (a ManualClock for tests and offline rendering, see `stream()`).
    StreamPlayer(OutputProvider& outputs, Clock& clock);
    ~StreamPlayer() override;
    StreamPlayer(const StreamPlayer&) = delete;
    StreamPlayer& operator=(const StreamPlayer&) = delete;

    /// Remembers the song and the window (neither owned); state Closed. Returns 0, 1 when the
    /// packet block cannot be allocated, 6 when there is no output device.
    [[nodiscard]] PlayerResult init(MidiSong* song, PlayerWindow* window);
    /// Stops, closes the device and frees the packet block.
    void shutdown();
    /// The output device `openDevice` opens: -1 the mapper, else an index into the output list
    /// without it.
    void setOutputDevice(int index);
    /// The device chosen, -1 after `openDevice` found the chosen one gone.
    int outputDevice() const;
    /// Opens the stream on the chosen device (falling back to the mapper when that index no
    /// longer exists). Returns 0, 2 or 4.
    [[nodiscard]] PlayerResult openDevice();
    /// Closes the stream and waits (bounded) until it reports the close.
    void closeDevice();

    PlayerState state() const;
    bool isPlaying() const;
    /// False while the chosen output is still being made (the built-in synthesizer reading
    /// its SoundFont); `start` would wait for it.
    bool deviceReady() const;
    /// Starts playing at `tick` (-1 = 0), with `countIn` clicks of a bar plus one beat first.
    /// Returns 0 (also when there is nothing to play), 1, 5 or 10.
    [[nodiscard]] PlayerResult start(int tick, bool countIn);
    /// Stops; with `notify` posts WM_PLAYER_STOPPED when done, its wParam PlayerDeviceError
    /// when the device failed while playing (the port went away), else 0. Also runs on the
    /// timer thread at the end of the song and when the device fails; the next `start` then
    /// opens the device again.
    void stop(bool notify);
    /// Moves to `tick` (restarting without count-in when playing); -1 only reads. Returns the
    /// fill position in ticks.
    int seek(int tick);
    /// The stream's position in ticks while playing, else 0. Any thread.
    std::uint32_t streamTicks() const;
    /// Playing -> Suspended and back, around an insert into the song during playback.
    void suspend();
    void resume();

    /// What the player plays by from now on. A new tempo percentage (or trainer) sounds at
    /// once; the other values take effect from the next packet. Not while playing: a different
    /// trainer.
    void setParams(const PlaybackParams& params);
    PlaybackParams params() const;
    /// The tempo percentage playing now: the one set, or the one the trainer reached. Any
    /// thread.
    int tempoPercent() const;
    /// Passes of the loop completed since the trainer was set. Any thread.
    int trainerPass() const;

    /// Controllers, programs and pitch wheels of all sixteen channels back to their defaults.
    void resetChannels();
    /// All sound off and all controllers off on all sixteen channels.
    void silenceAll();
    /// Expression 0..127 for a channel (outside 0..15: all of them). Any thread.
    void setChannelExpression(int channel, int value);
    int channelExpression(int channel) const;

    /// Immediate short message status | channel | data1 << 8 | data2 << 16. Any thread.
    void sendShort(int status, int channel, int data1, int data2);
    void noteOn(int channel, int key, int velocity);
    void noteOff(int channel, int key, int velocity);
    void programChange(int channel, int program);
    void pitchWheel(int channel, int lsb, int msb);
    /// The single byte 0xFC (MIDI stop).
    void sendStop();

    /// Position bookkeeping shared with the main frame, all in song ticks or event indices.
    int playTick() const;
    void setPlayTick(int tick);
    int lastShownTick() const;
    void setLastShownTick(int tick);
    /// -1 when nothing is shown.
    int shownEventIndex() const;
    void setShownEventIndex(int index);
    /// MergedEventList index of the next event to go into a packet. While suspended the
    /// document moves it (and shownEventIndex) on by one after inserting an event before it.
    int eventCursor() const;
    void setEventCursor(int index);
    int fillTick() const;
    /// Stream ticks minus song ticks: the song tick now sounding is streamTicks() - offset().
    int offset() const;
    int pendingPositionMessages() const;
    /// Called by the window's WM_PLAYER_POSITION handler: counts one message as handled.
    /// Returns false when none was pending (the message is then ignored by the frame).
    bool positionMessageHandled();

    /// The stream, for driving a ManualClock (`stream().advanceTo`) and reading its state.
    MidiStream& stream();
    /// The last error text of preparing or queueing a packet (the debug output), "" if none.
    std::string lastDebugText() const;

private:
    struct Impl;

    void packetDone(StreamHeader& header) override;
    void markerReached(std::uint32_t eventWord) override;
    void streamClosed() override;
    void deviceFailed() override;

    std::unique_ptr<Impl> impl_;
};

} // namespace reedtab
