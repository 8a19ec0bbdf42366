#pragma once

#include "playback/streamplayer.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace reedtab {

/// One message the player posted.
struct PlayerMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

/// A PlayerWindow without a window system: posted messages wait in a queue until the owner
/// thread (the one that made the queue, standing in for the GUI thread) dispatches them. A
/// dispatched WM_PLAYER_POSITION is counted as handled with the player before the handler runs.
class PlayerMessageQueue final : public PlayerWindow {
public:
    explicit PlayerMessageQueue(StreamPlayer* player = nullptr);

    void setPlayer(StreamPlayer* player) { player_ = player; }
    /// Runs on the owner thread for every dispatched message.
    void setHandler(std::function<void(const PlayerMessage&)> handler);
    void setQuitting(bool quitting) { quitting_.store(quitting); }

    void postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override;
    /// Dispatches one message; false when none waits or the caller is not the owner thread.
    bool dispatchPendingMessage() override;
    bool isQuitting() const override { return quitting_.load(); }

    /// Dispatches until the queue is empty (owner thread).
    void dispatchAll();
    std::size_t waiting() const;

private:
    StreamPlayer* player_;
    std::thread::id owner_;
    std::function<void(const PlayerMessage&)> handler_;
    mutable std::mutex mutex_;
    std::deque<PlayerMessage> queue_;
    std::atomic<bool> quitting_{false};
};

} // namespace reedtab
