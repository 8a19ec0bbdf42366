#include "listen/judge.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace reedtab {

namespace {

// A pitch moving further than this from one frame to the next is another note; glides move
// less (a bend of a whole step takes some 50 ms, ten frames or more).
constexpr double kJumpCents = 60.0;
// A pitch gliding further than this from where its note began starts another, linked to it;
// vibrato swings less.
constexpr double kDriftCents = 75.0;
// Frames without a pitch, up to this many in a row, inside a note do not end it (a dropped
// frame or two). Counted in frames, not ms: a live clock that corrects itself between two
// frames is no break in the sound.
constexpr int kGapFrames = 2;
// Frames a jump must hold before it counts as a new note: a single stray frame (an octave
// error in an attack) does not split a note.
constexpr std::size_t kConfirmFrames = 2;
// Frames a heard note needs to count at all (its first ones also fix where it began), and
// frames that must sound as the expected note for it to have been reached.
constexpr std::size_t kMinFrames = 3;
constexpr std::size_t kReachFrames = 3;
// How long after its window a note is judged: the pitch of a note that started late in its
// window has settled by then, and a bend has reached its target.
constexpr double kSettleMs = 150.0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// The `q` quantile (0..1) of sorted values, interpolated between neighbours.
double quantile(const std::vector<double>& sorted, double q) {
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] +
           (sorted[above] - sorted[below]) * (position - static_cast<double>(below));
}

} // namespace

const char* verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Hit:
        return "hit";
    case Verdict::Wrong:
        return "wrong";
    case Verdict::Missed:
        break;
    }
    return "missed";
}

PassScore scorePass(const std::vector<JudgedNote>& judged, int extras) {
    PassScore score;
    score.expected = static_cast<int>(judged.size());
    score.extras = extras;
    std::vector<double> timings;
    for (const JudgedNote& note : judged) {
        switch (note.verdict) {
        case Verdict::Hit:
            ++score.hits;
            timings.push_back(*note.timingMs);
            break;
        case Verdict::Wrong:
            ++score.wrongs;
            break;
        case Verdict::Missed:
            ++score.misses;
            break;
        }
    }
    if (score.expected > 0) {
        score.accuracy = static_cast<double>(score.hits) / score.expected;
    }
    if (!timings.empty()) {
        std::sort(timings.begin(), timings.end());
        score.medianTimingMs = quantile(timings, 0.5);
        score.timingSpreadMs = quantile(timings, 0.75) - quantile(timings, 0.25);
    }
    return score;
}

Judge::Judge(const JudgeOptions& options) : options_(options) {
    options_.toleranceCents = std::clamp(options.toleranceCents, kToleranceLow, kToleranceHigh);
}

void Judge::expect(const ExpectedNote& note) {
    expected_.push_back(note);
}

void Judge::startNote(double ms, double pitch, bool linked) {
    HeardNote note;
    note.onsetMs = ms;
    note.times.push_back(ms);
    note.pitches.push_back(pitch);
    note.anchor = pitch;
    note.linked = linked;
    heard_.push_back(std::move(note));
    open_ = true;
}

void Judge::hear(const PitchFrame& frame) {
    const double t = frame.ms - options_.latencyMs - options_.analysisDelayMs;
    latest_ = frame;
    latest_->ms = t;
    if (!frame.hasPitch()) {
        if (++quiet_ > kGapFrames) {
            open_ = false;
            pending_.clear();
        }
        return;
    }
    quiet_ = 0;
    const double p = frame.pitch();
    if (!open_) {
        startNote(t, p, false);
        return;
    }
    HeardNote& current = heard_.back();
    if (std::fabs(p - current.pitches.back()) * 100.0 <= kJumpCents) {
        pending_.clear();
        if (current.pitches.size() >= kMinFrames &&
            std::fabs(p - current.anchor) * 100.0 > kDriftCents) {
            startNote(t, p, true);
            return;
        }
        current.times.push_back(t);
        current.pitches.push_back(p);
        if (current.pitches.size() == kMinFrames) {
            current.anchor = median(current.pitches);
        }
        return;
    }
    if (!pending_.empty() && std::fabs(p - pending_.back().second) * 100.0 > kJumpCents) {
        pending_.clear();
    }
    pending_.emplace_back(t, p);
    if (pending_.size() >= kConfirmFrames) {
        const auto frames = std::move(pending_);
        pending_.clear();
        startNote(frames.front().first, frames.front().second, true);
        HeardNote& note = heard_.back();
        for (std::size_t i = 1; i < frames.size(); ++i) {
            note.times.push_back(frames[i].first);
            note.pitches.push_back(frames[i].second);
        }
        if (note.pitches.size() >= kMinFrames) {
            note.anchor = median(note.pitches);
        }
    }
}

double Judge::windowStart(std::size_t index) const {
    const double t = expected_[index].ms;
    const double reach = index > 0 ? std::min(options_.earlyMs, (t - expected_[index - 1].ms) / 2.0)
                                   : options_.earlyMs;
    return t - reach;
}

double Judge::windowEnd(std::size_t index) const {
    const double t = expected_[index].ms;
    const double reach = index + 1 < expected_.size()
                             ? std::min(options_.lateMs, (expected_[index + 1].ms - t) / 2.0)
                             : options_.lateMs;
    return t + reach;
}

double Judge::deadline(std::size_t index) const {
    return windowEnd(index) + kSettleMs;
}

JudgedNote Judge::judgeNext() {
    const std::size_t index = next_++;
    const ExpectedNote& expected = expected_[index];
    const double from = windowStart(index);
    const double to = windowEnd(index);
    const double limit = deadline(index);
    const double tolerance = options_.toleranceCents;

    // A candidate: a heard note starting in the window, with the notes it runs on into, up to
    // the expected note's length (the judge does not wait longer than the deadline).
    struct Candidate {
        std::size_t first = 0;
        std::size_t last = 0; // the last heard note that starts in the window
        std::vector<double> times;
        std::vector<double> pitches;
        std::vector<std::size_t> owner; // which heard note each frame belongs to
    };
    auto gather = [&](std::size_t first) {
        Candidate c;
        c.first = first;
        c.last = first;
        const double horizon =
            std::min(heard_[first].onsetMs + std::max(expected.durationMs, kSettleMs), limit);
        for (std::size_t k = first; k < heard_.size() && heard_[k].onsetMs <= horizon; ++k) {
            if (k > first && (!heard_[k].linked || heard_[k].used)) {
                break;
            }
            if (heard_[k].onsetMs <= to) {
                c.last = k;
            }
            const HeardNote& note = heard_[k];
            for (std::size_t i = 0; i < note.times.size() && note.times[i] <= horizon; ++i) {
                c.times.push_back(note.times[i]);
                c.pitches.push_back(note.pitches[i]);
                c.owner.push_back(k);
            }
        }
        return c;
    };

    JudgedNote result;
    result.expected = expected;
    std::optional<Candidate> hit;
    double hitCents = 0.0;
    std::size_t hitLast = 0;
    std::optional<Candidate> nearest;
    auto distance = [&](const Candidate& c) {
        return std::fabs(heard_[c.first].onsetMs - expected.ms);
    };
    for (std::size_t k = 0; k < heard_.size(); ++k) {
        const HeardNote& note = heard_[k];
        if (note.used || note.times.size() < kMinFrames || note.onsetMs < from ||
            note.onsetMs > to) {
            continue;
        }
        Candidate c = gather(k);
        // The frames that sound as the expected note (within half a step of it); with enough
        // of them the note was reached, and their median says how well.
        std::vector<double> cents;
        std::size_t lastReached = k;
        for (std::size_t i = 0; i < c.times.size(); ++i) {
            const double off = (c.pitches[i] - expected.note) * 100.0;
            if (std::fabs(off) <= 50.0) {
                cents.push_back(off);
                lastReached = c.owner[i];
            }
        }
        if (cents.size() >= kReachFrames) {
            const double centsOff = median(std::move(cents));
            if (std::fabs(centsOff) <= tolerance && (!hit || distance(c) < distance(*hit))) {
                hitCents = centsOff;
                hitLast = lastReached;
                hit = c;
            }
        }
        if (!nearest || distance(c) < distance(*nearest)) {
            nearest = std::move(c);
        }
    }
    if (hit) {
        for (std::size_t k = hit->first; k <= std::max(hit->last, hitLast); ++k) {
            heard_[k].used = true;
        }
        result.verdict = Verdict::Hit;
        result.heard = expected.note;
        result.cents = hitCents;
        result.timingMs = heard_[hit->first].onsetMs - expected.ms;
    } else if (nearest) {
        for (std::size_t k = nearest->first; k <= nearest->last; ++k) {
            heard_[k].used = true;
        }
        // The note the pitch dwells on most (the expected one itself when it was reached but
        // missed the tolerance), and how far that lies from the expected one.
        std::map<int, std::vector<double>> byNote;
        for (double p : nearest->pitches) {
            byNote[static_cast<int>(std::lround(p))].push_back((p - expected.note) * 100.0);
        }
        auto most =
            std::max_element(byNote.begin(), byNote.end(), [](const auto& a, const auto& b) {
                return a.second.size() < b.second.size();
            });
        result.verdict = Verdict::Wrong;
        result.heard = most->first;
        result.cents = median(most->second);
        result.timingMs = heard_[nearest->first].onsetMs - expected.ms;
    }
    return result;
}

void Judge::countExtrasBefore(double ms) {
    if (expected_.empty()) {
        return;
    }
    const double passStart = windowStart(0);
    for (HeardNote& note : heard_) {
        if (note.onsetMs >= ms) {
            break;
        }
        if (!note.used && !note.linked && note.times.size() >= kMinFrames &&
            note.onsetMs >= passStart) {
            ++extras_;
        }
        note.used = true;
    }
    // Notes that can no longer be taken are dropped, except the one that may still grow.
    while (!heard_.empty() && heard_.front().used && (heard_.size() > 1 || !open_)) {
        heard_.pop_front();
    }
}

std::vector<JudgedNote> Judge::advanceTo(double ms) {
    std::vector<JudgedNote> fresh;
    while (next_ < expected_.size() && deadline(next_) <= ms) {
        fresh.push_back(judgeNext());
        judged_.push_back(fresh.back());
    }
    if (next_ < expected_.size()) {
        countExtrasBefore(windowStart(next_));
    }
    return fresh;
}

std::vector<JudgedNote> Judge::finish() {
    std::vector<JudgedNote> fresh = advanceTo(std::numeric_limits<double>::infinity());
    if (!expected_.empty()) {
        countExtrasBefore(windowEnd(expected_.size() - 1));
    }
    open_ = false;
    pending_.clear();
    return fresh;
}

} // namespace reedtab
