#pragma once

// Playing along while the program listens: the transport plays the song, the player plays the
// chosen track, and every expected note is judged as the sound comes. Without waiting the song
// keeps its tempo and each pass (start to end, or one pass of a loop) is judged and scored; in
// wait mode the transport holds at each expected note, the accompaniment waiting with it, and
// plays on once the note is heard (a pitch from the microphone or a note from a MIDI input).
//
// Threads: everything on the transport's thread. The frames come from the thread that polls the
// `PitchListener`; its owner hands them over (in reedtab-cli the same thread polls both).

#include "listen/expectednotes.h"
#include "listen/judge.h"
#include "transport/transport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace reedtab {

struct ListenSessionOptions {
    /// The track (-1: the melody track) and the range of ticks to judge; the tempo is the
    /// transport's at the start of each pass.
    ListenRange range;
    JudgeOptions judge;
    /// Hold at each expected note until it is heard.
    bool wait = false;
};

/// What a session tells its owner, on the transport's thread.
class ListenSessionListener {
public:
    virtual ~ListenSessionListener() = default;
    /// An expected note of the current pass was judged (`pass` counts from 0).
    virtual void noteJudged(int pass, const JudgedNote& note) = 0;
    /// A pass ended: `complete` when it ran to the end of the range, the song or the loop,
    /// false when it was stopped part way.
    virtual void passEnded(int pass, const PassScore& score, bool complete) = 0;
    /// Wait mode: playing held at `note` (none: it plays on).
    virtual void waitingFor(const std::optional<ExpectedNote>&) {}
};

class ListenSession {
public:
    /// `transport` and `song` must outlive the session. The owner forwards the transport's
    /// news (`positionReached`, `held`, `songEnded`) to it.
    ListenSession(Transport& transport, const MidiSong& song, const ListenSessionOptions& options);
    ~ListenSession();
    ListenSession(const ListenSession&) = delete;
    ListenSession& operator=(const ListenSession&) = delete;

    void setListener(ListenSessionListener* listener) { listener_ = listener; }
    const ListenSessionOptions& options() const { return options_; }
    /// The track judged; -1 when the song has none.
    int track() const { return track_; }
    /// The expected notes of the range, timed from the song's start at 100 %.
    const std::vector<ExpectedNote>& expected() const { return expected_; }

    /// Plays from the range's start (or the song's) with a fresh pass. The transport's result.
    PlayerResult start();
    /// Stops playing; a pass with judged notes ends incomplete.
    void stop();
    bool active() const { return active_; }

    // ---- The transport's news, forwarded by the owner ----

    void positionReached(const PositionReport& report, double nowMs);
    void held(std::int32_t tick, double nowMs);
    void songEnded(double nowMs);

    // ---- What was heard ----

    /// Frames in time order, on the clock of `nowMs` (before the delays are taken off).
    void hear(const std::vector<PitchFrame>& frames);
    /// A note-on from a MIDI input at `nowMs`; only wait mode listens to it.
    void noteInput(int key, double nowMs);
    /// Lets judging catch up with time when no frames come (a silent input); a pass whose end
    /// was reached is closed once the sound of its last note has had time to arrive.
    void advanceTo(double nowMs);

    /// The pass under way (counting from 0, and on over the session's starts), its notes judged
    /// so far and their score.
    int pass() const;
    const std::vector<JudgedNote>& passNotes() const;
    PassScore score() const;
    /// A pass that reached its end is still being judged.
    bool closing() const { return closing_ != nullptr; }
    /// Wait mode: the note playing waits for (or will wait for next).
    std::optional<ExpectedNote> nextExpected() const;
    bool waiting() const { return waitingAt_.has_value(); }

private:
    struct Pass;
    struct WaitState;

    double delayMs() const;
    std::size_t firstNoteAt(std::int32_t tick) const;
    void beginPass(std::size_t firstNote);
    void endPass(bool complete, double nowMs);
    void finishClosing();
    void collect(Pass& pass, std::vector<JudgedNote> judged);
    void feedJudge(double nowMs);
    void hearWaiting(const PitchFrame& frame);
    void accept(double onsetMs, int heard, double cents);
    void judgedWaiting(const JudgedNote& note);

    Transport& transport_;
    const MidiSong& song_;
    ListenSessionOptions options_;
    ListenSessionListener* listener_ = nullptr;
    int track_ = -1;
    std::vector<ExpectedNote> expected_;
    bool active_ = false;
    int passCount_ = 0;

    // The pass under way; one that reached its end keeps judging (at tempo) until the sound of
    // its end has arrived.
    std::unique_ptr<Pass> current_;
    std::unique_ptr<Pass> closing_;

    // Playing at tempo: the next note to tell the judge, the pass's tempo percentage, and the
    // clock's time of song tick 0 in this pass: the earliest any report implies (reports reach
    // this thread late, never early).
    std::size_t fed_ = 0;
    int tempoPercent_ = 100;
    std::optional<double> anchorMs_;

    // Wait mode: the note waited for, since when playing holds there, what was heard of it.
    std::size_t waitIndex_ = 0;
    std::optional<double> waitingAt_;
    std::unique_ptr<WaitState> wait_;
};

} // namespace reedtab
