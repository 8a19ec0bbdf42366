#pragma once

// Judging a pass: the notes the player was expected to play against the pitches heard.

#include "listen/expectednotes.h"
#include "listen/pitchtracker.h"

#include <deque>
#include <optional>
#include <vector>

namespace reedtab {

/// Lowest and highest tolerance the judge takes (cents).
inline constexpr double kToleranceLow = 10.0;
inline constexpr double kToleranceHigh = 100.0;

struct JudgeOptions {
    /// A heard pitch within this many cents of the expected note is a hit (10..100).
    double toleranceCents = 30.0;
    /// Subtracted from the time of every heard frame (ms): the calibrated round trip of the
    /// devices plus the user's own offset, or 0 for a recording.
    double latencyMs = 0.0;
    /// Also subtracted from every heard frame: how late the tracker names a note after it
    /// starts (`PitchTracker::onsetDelayMs`), so that a note played on time is judged on time.
    double analysisDelayMs = 0.0;
    /// How early or late a heard start may lie around an expected one and still be taken for
    /// it (ms); half the distance to the neighbouring note when that is shorter.
    double earlyMs = 200.0;
    double lateMs = 250.0;
};

enum class Verdict { Hit, Wrong, Missed };

/// The text of a verdict: "hit", "wrong", "missed".
const char* verdictName(Verdict verdict);

/// One expected note, judged.
struct JudgedNote {
    ExpectedNote expected;
    Verdict verdict = Verdict::Missed;
    /// The note heard (a hit: the expected note); none when missed.
    std::optional<int> heard;
    /// The heard pitch against the expected note, in cents.
    std::optional<double> cents;
    /// The heard start against the expected one, in ms; positive: late.
    std::optional<double> timingMs;
};

/// The score of a pass.
struct PassScore {
    int expected = 0;
    int hits = 0;
    int wrongs = 0;
    int misses = 0;
    /// Heard notes that match no expected note.
    int extras = 0;
    /// Hits over expected notes, 0..1 (0 without expected notes).
    double accuracy = 0.0;
    /// Median of the hits' timing (ms); none without hits.
    std::optional<double> medianTimingMs;
    /// Interquartile range of the hits' timing (ms); none without hits.
    std::optional<double> timingSpreadMs;
};

/// The score of a list of judged notes and extras.
PassScore scorePass(const std::vector<JudgedNote>& judged, int extras);

/// Judges one pass on one clock: expected notes and heard frames carry times in ms on the same
/// clock (the frames before the latency and the analysis delay are taken off), and the judge
/// moves on as the frames' time does. So a recording is judged by feeding its frames and
/// `finish`ing, and a live pass by feeding the notes ahead of the position and the frames as
/// they are analysed, calling `advanceTo` as time passes.
///
/// Heard notes are made from the frames: a note starts at a confident frame after silence (three
/// frames or more without a pitch: an attack), or, without a break in the sound, where the pitch
/// jumps by more than 60 cents or drifts more than 75 cents from where the note began (a change of
/// hole, or a bend on its way). An expected note takes the heard note that starts nearest to it
/// within its window, together with the notes it runs on into without a break, up to the expected
/// note's length: when 3 frames or more of them sound as the expected note (within half a step),
/// their median is the heard pitch, a hit within the tolerance (so a bend counts once it reaches
/// its target, timed from its attack); otherwise, or outside the tolerance, wrong, with the pitch
/// the frames dwell on most; missed when no note starts in the window. Notes that start with an
/// attack and match nothing are extras. One thread.
class Judge {
public:
    explicit Judge(const JudgeOptions& options = {});

    const JudgeOptions& options() const { return options_; }

    /// Adds an expected note. Notes come in time order, each at least `lateMs` + 150 ms before
    /// the time `advanceTo` has reached, so that its window can still be judged whole.
    void expect(const ExpectedNote& note);
    /// Takes the next analysed frame; frames come in time order.
    void hear(const PitchFrame& frame);
    /// Judges every note whose window and settling time ended by `ms` (frames up to `ms` have
    /// been heard) and returns them in order.
    std::vector<JudgedNote> advanceTo(double ms);
    /// Judges every note still open, as if time had run on; the pass is over.
    std::vector<JudgedNote> finish();

    /// Every note judged so far, in order.
    const std::vector<JudgedNote>& judged() const { return judged_; }
    int extras() const { return extras_; }
    PassScore score() const { return scorePass(judged_, extras_); }
    /// The latest frame heard (its time with the delays taken off); none before the first.
    const std::optional<PitchFrame>& latest() const { return latest_; }

private:
    struct HeardNote {
        double onsetMs = 0.0;
        std::vector<double> times;
        std::vector<double> pitches; // fractional MIDI notes
        double anchor = 0.0;         // where the pitch began: the median of its first frames
        bool linked = false;         // runs on from the note before it without a break
        bool used = false;
    };

    void startNote(double ms, double pitch, bool linked);
    double windowStart(std::size_t index) const;
    double windowEnd(std::size_t index) const;
    double deadline(std::size_t index) const;
    JudgedNote judgeNext();
    void countExtrasBefore(double ms);

    JudgeOptions options_;
    std::vector<ExpectedNote> expected_;
    std::size_t next_ = 0; // first expected note not yet judged
    std::deque<HeardNote> heard_;
    bool open_ = false; // the last heard note may still grow
    int quiet_ = 0;     // frames without a pitch since the last one with
    std::vector<std::pair<double, double>> pending_; // frames of a jump not yet confirmed
    std::vector<JudgedNote> judged_;
    int extras_ = 0;
    std::optional<PitchFrame> latest_;
};

} // namespace reedtab
