#include "practice/listensession.h"

#include <algorithm>
#include <cmath>

namespace reedtab {

namespace {

// How far ahead of the position the judge is told the notes to come: more than its windows
// reach, so each window is whole when the sound comes.
constexpr double kLookaheadMs = 1500.0;
// How long a pass that reached its end still hears: its last note's window, the analysis and
// the latency.
constexpr double kSettleMs = 600.0;
// Frames of one note in a row that make an attempt in wait mode: 3 name the note (as the judge
// wants), 8 (about 45 ms) make a wrong one, so that a bend on its way to the note is no
// mistake.
constexpr int kHeardFrames = 3;
constexpr int kWrongFrames = 8;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2.0;
}

} // namespace

struct ListenSession::Pass {
    int index = 0;
    std::unique_ptr<Judge> judge; // none in wait mode
    std::vector<JudgedNote> notes;
    // The clock's time (delays taken off) after which a closing pass takes no more frames, and
    // when it is finished.
    double endMs = 0.0;
    double closeAtMs = 0.0;

    PassScore score() const { return scorePass(notes, judge ? judge->extras() : 0); }
};

// What wait mode has heard of the note it waits for.
struct ListenSession::WaitState {
    // The note accepted last, ignored while it sounds on: a held note is not played again.
    std::optional<double> lingering;
    int runNote = -1; // nearest note of the frames in a row
    double runOnsetMs = 0.0;
    std::vector<double> runPitches;
    // The first wrong attempt at the note waited for.
    std::optional<int> wrongNote;
    std::optional<double> wrongCents;
    // The note was heard before playing got to it: judged when it holds there.
    std::optional<JudgedNote> early;
};

ListenSession::ListenSession(Transport& transport, const MidiSong& song,
                             const ListenSessionOptions& options)
    : transport_(transport), song_(song), options_(options), wait_(std::make_unique<WaitState>()) {
    ListenRange range = options.range;
    range.tempoPercent = 100;
    ExpectedTrack track = expectedNotes(song, range);
    track_ = track.track;
    expected_ = std::move(track.notes);
}

ListenSession::~ListenSession() = default;

std::size_t ListenSession::firstNoteAt(std::int32_t tick) const {
    return static_cast<std::size_t>(
        std::lower_bound(expected_.begin(), expected_.end(), tick,
                         [](const ExpectedNote& n, std::int32_t t) { return n.tick < t; }) -
        expected_.begin());
}

double ListenSession::delayMs() const {
    return options_.judge.latencyMs + options_.judge.analysisDelayMs;
}

PlayerResult ListenSession::start() {
    stop();
    const std::int32_t from = std::max(options_.range.from, 0);
    beginPass(firstNoteAt(from));
    active_ = true;
    if (options_.wait) {
        transport_.holdAt(waitIndex_ < expected_.size() ? expected_[waitIndex_].tick : -1);
    }
    const PlayerResult result = transport_.startAt(from, false);
    if (result != PlayerOk) {
        active_ = false;
        current_.reset();
        transport_.holdAt(-1);
    }
    return result;
}

void ListenSession::stop() {
    if (closing_) {
        finishClosing();
    }
    if (!active_) {
        return;
    }
    active_ = false;
    transport_.holdAt(-1);
    transport_.stop();
    endPass(false, 0.0);
}

void ListenSession::beginPass(std::size_t firstNote) {
    current_ = std::make_unique<Pass>();
    current_->index = passCount_++;
    if (!options_.wait) {
        current_->judge = std::make_unique<Judge>(options_.judge);
    }
    fed_ = firstNote;
    waitIndex_ = firstNote;
    tempoPercent_ = std::max(transport_.tempoPercent(), 1);
    anchorMs_.reset();
    waitingAt_.reset();
    *wait_ = WaitState{};
}

void ListenSession::endPass(bool complete, double nowMs) {
    if (!current_) {
        return;
    }
    std::unique_ptr<Pass> pass = std::move(current_);
    waitingAt_.reset();
    if (pass->judge && complete) {
        if (closing_) {
            finishClosing();
        }
        pass->endMs = nowMs - delayMs();
        pass->closeAtMs = nowMs + kSettleMs + delayMs();
        closing_ = std::move(pass);
        return;
    }
    // A pass stopped part way keeps what was judged: the notes ahead were never played.
    if (listener_ && (complete || !pass->notes.empty())) {
        listener_->passEnded(pass->index, pass->score(), complete);
    }
}

void ListenSession::finishClosing() {
    std::unique_ptr<Pass> pass = std::move(closing_);
    collect(*pass, pass->judge->finish());
    if (listener_) {
        listener_->passEnded(pass->index, pass->score(), true);
    }
}

void ListenSession::collect(Pass& pass, std::vector<JudgedNote> judged) {
    for (JudgedNote& note : judged) {
        pass.notes.push_back(note);
        if (listener_) {
            listener_->noteJudged(pass.index, note);
        }
    }
}

// ---- The transport's news ----

void ListenSession::positionReached(const PositionReport& report, double nowMs) {
    if (!active_) {
        return;
    }
    if (report.jumpedBack) {
        endPass(true, nowMs);
        beginPass(firstNoteAt(report.tick));
    }
    if (!current_) {
        return;
    }
    if (options_.range.to >= 0 && report.tick >= options_.range.to) {
        endPass(true, nowMs);
        return;
    }
    if (options_.wait) {
        return;
    }
    const double implied = nowMs - songMs(song_, report.tick, tempoPercent_);
    anchorMs_ = anchorMs_ ? std::min(*anchorMs_, implied) : implied;
    feedJudge(nowMs);
}

void ListenSession::feedJudge(double nowMs) {
    const double scale = 100.0 / tempoPercent_;
    while (fed_ < expected_.size()) {
        ExpectedNote note = expected_[fed_];
        note.ms = *anchorMs_ + note.ms * scale;
        if (note.ms > nowMs + kLookaheadMs) {
            break;
        }
        note.durationMs *= scale;
        current_->judge->expect(note);
        ++fed_;
    }
}

void ListenSession::held(std::int32_t tick, double nowMs) {
    if (!active_ || !options_.wait || !current_ || waitIndex_ >= expected_.size() ||
        expected_[waitIndex_].tick != tick) {
        return;
    }
    waitingAt_ = nowMs;
    if (wait_->early) {
        JudgedNote note = *wait_->early;
        wait_->early.reset();
        note.timingMs = *note.timingMs - nowMs;
        judgedWaiting(note);
        return;
    }
    if (listener_) {
        listener_->waitingFor(expected_[waitIndex_]);
    }
}

void ListenSession::songEnded(double nowMs) {
    if (!active_) {
        return;
    }
    active_ = false;
    transport_.holdAt(-1);
    endPass(true, nowMs);
}

// ---- What was heard ----

void ListenSession::hear(const std::vector<PitchFrame>& frames) {
    for (const PitchFrame& frame : frames) {
        if (options_.wait) {
            hearWaiting(frame);
            continue;
        }
        if (current_) {
            current_->judge->hear(frame);
        }
        if (closing_ && frame.ms - delayMs() <= closing_->endMs) {
            closing_->judge->hear(frame);
        }
    }
    if (frames.empty()) {
        return;
    }
    const double last = frames.back().ms;
    if (current_ && current_->judge) {
        collect(*current_, current_->judge->advanceTo(last));
    }
    advanceTo(last);
}

void ListenSession::advanceTo(double nowMs) {
    if (closing_ && nowMs >= closing_->closeAtMs) {
        finishClosing();
    }
}

void ListenSession::noteInput(int key, double nowMs) {
    if (!active_ || !options_.wait || !current_ || waitIndex_ >= expected_.size() || wait_->early) {
        return;
    }
    const int expected = expected_[waitIndex_].note;
    if (key == expected) {
        accept(nowMs, key, 0.0);
    } else if (!wait_->wrongNote) {
        wait_->wrongNote = key;
        wait_->wrongCents = (key - expected) * 100.0;
    }
}

void ListenSession::hearWaiting(const PitchFrame& frame) {
    WaitState& w = *wait_;
    if (!active_ || !current_ || waitIndex_ >= expected_.size() || w.early) {
        return;
    }
    if (!frame.hasPitch()) {
        w.lingering.reset();
        w.runNote = -1;
        return;
    }
    const double pitch = frame.pitch();
    if (w.lingering && std::fabs(pitch - *w.lingering) < 0.5) {
        return;
    }
    w.lingering.reset();
    const double ms = frame.ms - delayMs();
    if (frame.note != w.runNote) {
        w.runNote = frame.note;
        w.runOnsetMs = ms;
        w.runPitches.clear();
    }
    w.runPitches.push_back(pitch);
    const std::size_t run = w.runPitches.size();
    if (run < kHeardFrames) {
        return;
    }
    const int expected = expected_[waitIndex_].note;
    // The latest frames: a bend counts once it reaches the note.
    const std::vector<double> recent(w.runPitches.end() - kHeardFrames, w.runPitches.end());
    const double cents = (median(recent) - expected) * 100.0;
    if (std::fabs(cents) <= options_.judge.toleranceCents) {
        accept(w.runOnsetMs, expected, cents);
    } else if (run == kWrongFrames && !w.wrongNote) {
        w.wrongNote = w.runNote;
        w.wrongCents = (median(w.runPitches) - expected) * 100.0;
    }
}

void ListenSession::accept(double onsetMs, int heard, double cents) {
    WaitState& w = *wait_;
    JudgedNote note;
    note.expected = expected_[waitIndex_];
    note.verdict = w.wrongNote ? Verdict::Wrong : Verdict::Hit;
    note.heard = w.wrongNote ? *w.wrongNote : heard;
    note.cents = w.wrongNote ? *w.wrongCents : cents;
    w.lingering = heard + cents / 100.0;
    w.runNote = -1;
    w.runPitches.clear();
    w.wrongNote.reset();
    w.wrongCents.reset();
    if (!waitingAt_) {
        // Heard before the accompaniment stopped there: timed once it does.
        note.timingMs = onsetMs;
        w.early = note;
        return;
    }
    note.timingMs = onsetMs - *waitingAt_;
    judgedWaiting(note);
}

void ListenSession::judgedWaiting(const JudgedNote& note) {
    current_->notes.push_back(note);
    if (listener_) {
        listener_->noteJudged(current_->index, note);
    }
    ++waitIndex_;
    waitingAt_.reset();
    const bool more = waitIndex_ < expected_.size() &&
                      (options_.range.to < 0 || expected_[waitIndex_].tick < options_.range.to);
    transport_.holdAt(more ? expected_[waitIndex_].tick : -1);
    if (listener_) {
        listener_->waitingFor(std::nullopt);
    }
    if (transport_.heldAt()) {
        transport_.release();
    }
}

int ListenSession::pass() const {
    return current_ ? current_->index : passCount_;
}

PassScore ListenSession::score() const {
    return current_ ? current_->score() : PassScore{};
}

const std::vector<JudgedNote>& ListenSession::passNotes() const {
    static const std::vector<JudgedNote> none;
    return current_ ? current_->notes : none;
}

std::optional<ExpectedNote> ListenSession::nextExpected() const {
    if (!current_ || waitIndex_ >= expected_.size()) {
        return std::nullopt;
    }
    return expected_[waitIndex_];
}

} // namespace reedtab
