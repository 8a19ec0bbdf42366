#include "transport/transport.h"

#include "model/midisong.h"

#include <algorithm>

namespace reedtab {

// The document's side: its edits stop playing and start it again at the play position, and a
// single insert while playing only holds the player's refills.
class Transport::DocumentPlayer final : public PlayerControl {
public:
    explicit DocumentPlayer(Transport& transport) : transport_(transport) {}

    bool isPlaying() const override { return transport_.isPlaying(); }
    // An edit's stop is no Stop of the user's: a trainer goes on when playing restarts.
    void stop() override { transport_.player_.stop(false); }
    void restart() override {
        // Playback goes on after an edit as far as the device lets it: a start that fails
        // leaves the player stopped, and the transport shows it so.
        static_cast<void>(transport_.startAt(transport_.playTick(), false));
    }
    void setPosition(int32_t tick) override { transport_.seek(tick); }
    void setSongTiming(int division, int32_t microsPerQuarter) override {
        transport_.setSongTiming(division, microsPerQuarter);
        transport_.player_.resetChannels();
    }
    void suspend() override { transport_.player_.suspend(); }
    void resume(int mergedIndex) override {
        StreamPlayer& player = transport_.player_;
        // The event went into the merged list ahead of the player's cursors: they move on with
        // the entries they pointed at.
        if (mergedIndex >= 0) {
            if (player.eventCursor() >= mergedIndex) {
                player.setEventCursor(player.eventCursor() + 1);
            }
            if (player.shownEventIndex() >= mergedIndex) {
                player.setShownEventIndex(player.shownEventIndex() + 1);
            }
        }
        player.resume();
    }

private:
    Transport& transport_;
};

Transport::Transport(StreamPlayer& player)
    : player_(player), documentPlayer_(std::make_unique<DocumentPlayer>(*this)) {}

Transport::~Transport() = default;

PlayerResult Transport::init(MidiSong& song, PlayerWindow& poster) {
    song_ = &song;
    follower_ = std::make_unique<PositionFollower>(song);
    applyParams();
    return player_.init(&song, &poster);
}

PlayerControl& Transport::playerControl() {
    return *documentPlayer_;
}

PlayerResult Transport::openOutput(int index) {
    player_.closeDevice();
    player_.setOutputDevice(index);
    return player_.openDevice();
}

LoopMarks Transport::marks() const {
    return marks_ ? marks_() : LoopMarks{};
}

LoopMarks Transport::playedLoop() const {
    LoopMarks loop = trainerLoop_;
    if (!training()) {
        const LoopMarks marked = marks();
        loop = {marked.begin >= 0 && params_.options.loop ? marked.begin : -1, marked.end};
    }
    // A hold is a stop mark without a way back.
    if (holdTick_ >= 0 && (loop.end == -1 || holdTick_ < loop.end)) {
        loop = {-1, holdTick_};
    }
    return loop;
}

void Transport::applyParams() {
    const LoopMarks loop = playedLoop();
    params_.loopBegin = loop.begin;
    params_.loopEnd = loop.end;
    params_.trainer = trainer_;
    if (!applied_ || !(*applied_ == params_)) {
        player_.setParams(params_);
        applied_ = params_;
    }
}

void Transport::setOptions(const PlaybackOptions& options) {
    params_.options = options;
    applyParams();
}

void Transport::setSongTiming(int division, std::int32_t microsPerQuarter) {
    params_.division = std::max(division, 1);
    params_.baseTempo = microsPerQuarter;
    applyParams();
}

std::int32_t Transport::soundingTick() const {
    return std::max(0, static_cast<int>(player_.streamTicks()) - player_.offset());
}

// ---- Starting and stopping ----

PlayerResult Transport::play(bool countIn, bool fromCursor, std::int32_t editCursor) {
    if (isPlaying()) {
        return PlayerAlreadyPlaying;
    }
    if (!song_ || song_->mergedEvents.empty()) {
        return PlayerOk;
    }
    std::int32_t tick = playTick();
    const LoopMarks marked = marks();
    if (marked.begin >= 0 && !fromCursor) {
        tick = marked.begin;
    } else if (params_.options.editMode && editCursor >= 0) {
        tick = editCursor;
    }
    return startAt(tick, countIn);
}

PlayerResult Transport::startAt(std::int32_t tick, bool countIn) {
    heldAt_.reset();
    applyParams();
    return player_.start(tick, countIn);
}

bool Transport::countsInFromCursor() const {
    const std::int32_t tick = playTick();
    const LoopMarks marked = marks();
    return params_.options.countIn && (tick == 0 || (marked.begin >= 0 && tick == marked.begin));
}

void Transport::stop() {
    heldAt_.reset();
    player_.stop(false);
    endTrainer();
}

std::int32_t Transport::seek(std::int32_t tick) {
    // A restart there plays the loop the marks make now.
    applyParams();
    return player_.seek(tick);
}

std::int32_t Transport::rewind() {
    const LoopMarks marked = marks();
    const std::int32_t tick = marked.begin >= 0 ? marked.begin : 0;
    seek(tick);
    return tick;
}

// ---- Tempo ----

int Transport::setTempoPercent(int percent) {
    percent = std::max(percent, 1);
    if (percent == params_.tempoPercent && percent != tempoPercent()) {
        // The trainer moved the percentage on since it was set: the player hears the one
        // sounding first, so that the one asked for is new to it and sounds.
        params_.tempoPercent = tempoPercent();
        applyParams();
    }
    params_.tempoPercent = percent;
    applyParams();
    return beatsPerMinute();
}

int Transport::beatsPerMinute() const {
    const int base = std::max(params_.baseTempo, 1);
    return static_cast<int>(static_cast<std::int64_t>(tempoPercent()) * 600000 / base);
}

void Transport::followSongTempo() {
    if (song_) {
        params_.baseTempo = song_->tempoAt(playTick());
        applyParams();
    }
}

// ---- The speed trainer ----

PlayerResult Transport::startTrainer(const SpeedTrainer& plan) {
    if (!plan.valid() || !song_ || song_->mergedEvents.empty() || isPlaying()) {
        return PlayerOk;
    }
    const LoopMarks marked = marks();
    const bool bothMarks = marked.begin >= 0 && marked.end > marked.begin;
    trainerLoop_ = bothMarks ? marked : LoopMarks{0, wholeSongLoopEnd(*song_)};
    trainer_ = plan;
    params_.tempoPercent = plan.start;
    return startAt(trainerLoop_.begin, params_.options.countIn);
}

void Transport::endTrainer() {
    if (!training()) {
        return;
    }
    params_.tempoPercent = player_.tempoPercent();
    trainer_ = {};
    applyParams();
}

// ---- Holding ----

void Transport::holdAt(std::int32_t tick) {
    holdTick_ = tick < 0 ? -1 : tick;
    applyParams();
}

PlayerResult Transport::release() {
    if (!heldAt_) {
        return PlayerOk;
    }
    const std::int32_t tick = *heldAt_;
    return startAt(tick, false);
}

// ---- The player's messages ----

void Transport::handleMessage(const PlayerMessage& message) {
    switch (message.message) {
    case WM_PLAYER_POSITION:
        if (message.wParam == kPlayerPositionWParam) {
            followPosition(static_cast<std::uint32_t>(message.lParam));
        }
        break;
    case WM_PLAYER_TEMPO:
        // The player tells the tempo in force where it started.
        params_.baseTempo = static_cast<int>(message.lParam);
        applyParams();
        if (listener_) {
            listener_->tempoChanged(params_.baseTempo);
        }
        break;
    case WM_PLAYER_STOPPED:
        playerStopped(static_cast<int>(message.wParam));
        break;
    default:
        break;
    }
}

void Transport::followPosition(std::uint32_t value) {
    player_.setPlayTick(soundingTick());
    // Marks and the loop switch changed during play take effect from the next report.
    applyParams();
    const bool counted = player_.positionMessageHandled();
    if (!isPlaying()) {
        player_.setShownEventIndex(-1);
        return;
    }
    FollowState state{player_.lastShownTick(), player_.shownEventIndex(), params_.baseTempo};
    const int shownBefore = state.shownEventIndex;
    const PositionReport report = follower_->follow(value, counted, state);
    if (state.shownEventIndex != shownBefore) {
        player_.setShownEventIndex(state.shownEventIndex);
    }
    player_.setLastShownTick(report.tick);
    if (report.tempoChanged) {
        params_.baseTempo = report.tempo;
        applyParams();
        if (listener_) {
            listener_->tempoChanged(report.tempo);
        }
    }
    if (listener_) {
        listener_->positionReached(report);
    }
}

void Transport::playerStopped(int result) {
    // Playing stopped at the hold when it got there: the fill went no further than the hold.
    if (holdTick_ >= 0 && result == PlayerOk && player_.fillTick() >= holdTick_) {
        heldAt_ = holdTick_;
        holdTick_ = -1;
        applyParams();
        if (listener_) {
            listener_->held(*heldAt_);
        }
        return;
    }
    endTrainer();
    if (listener_) {
        listener_->songEnded(result);
    }
}

} // namespace reedtab
