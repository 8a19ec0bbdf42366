#pragma once

// The transport's commands: Play, Stop, Rewind, the player switches (metronome, count-in, loop,
// MIDI clock, program filter) and the speed trainer, the space and Home keys, and what happens
// at the end of a song (edit mode waits at the edit cursor, the playlist plays its next song,
// Loop plays the song again). It drives the `Transport`; the frame shows the result.
//
// Threads: the user-interface thread.

#include "playback/streamplayer.h"

#include <QObject>

#include <functional>

namespace reedtab {

class CMainFrame;
class CReedtabDoc;
class CommandTable;
class OutputProvider;
class SettingsStore;
class Transport;
template <typename T>
class Shared;

class TransportController : public QObject {
    Q_OBJECT
public:
    /// `outputs` says whether the output plays where someone hears it.
    TransportController(Transport& transport, CReedtabDoc& doc, SettingsStore& store,
                        OutputProvider& outputs, CMainFrame& frame);
    ~TransportController() override;

    void registerCommands(CommandTable& table);

    /// Starts playing, once the built-in synthesizer has read its SoundFont (the status bar
    /// says so while Play waits; Stop or a newer Play cancels the wait). The first play of a
    /// session on an output nobody hears says so.
    void startPlaying(bool countIn, bool fromCursor);
    /// Starts the player at `tick` (ticks); a refusal other than "already playing" or "after
    /// the end" shows "Cannot start playing!".
    void startAt(int tick, bool countIn);
    void playCommand();
    void stopCommand();
    void rewindCommand();
    void spaceKey();
    /// Loops the marks (the whole song unless both are set) with the tempo following `plan`,
    /// playing from the loop start; Stop or the end of play ends the training.
    void startTrainer(const SpeedTrainer& plan);
    /// "Speed Trainer", then training with its plan.
    void speedTrainerCommand();
    /// The player stopped by itself (the end of the song, a lost device).
    void onPlayerStopped();

    /// At the end of a song (not in edit mode): plays the playlist's next song and returns true,
    /// or returns false when the playlist has none, and the song plays again if Loop is on.
    std::function<bool()> playNextSong;

private:
    void toggleSetting(Shared<bool>& setting);
    void reportStart(PlayerResult result);

    Transport& transport_;
    CReedtabDoc& doc_;
    SettingsStore& store_;
    OutputProvider& outputs_;
    CMainFrame& frame_;
    // Numbers the plays that wait for the synthesizer, so that Stop can cancel a waiting one.
    int playRequests_ = 0;
    // The user has been told this session that the output plays where nobody hears it.
    bool silenceTold_ = false;
};

} // namespace reedtab
