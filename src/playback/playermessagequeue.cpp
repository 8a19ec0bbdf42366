#include "playback/playermessagequeue.h"

namespace reedtab {

PlayerMessageQueue::PlayerMessageQueue(StreamPlayer* player)
    : player_(player), owner_(std::this_thread::get_id()) {}

void PlayerMessageQueue::setHandler(std::function<void(const PlayerMessage&)> handler) {
    handler_ = std::move(handler);
}

void PlayerMessageQueue::postMessage(std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    std::lock_guard lock(mutex_);
    queue_.push_back({message, wParam, lParam});
}

bool PlayerMessageQueue::dispatchPendingMessage() {
    if (std::this_thread::get_id() != owner_) {
        return false;
    }
    PlayerMessage message;
    {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) {
            return false;
        }
        message = queue_.front();
        queue_.pop_front();
    }
    if (message.message == WM_PLAYER_POSITION && player_) {
        player_->positionMessageHandled();
    }
    if (handler_) {
        handler_(message);
    }
    return true;
}

void PlayerMessageQueue::dispatchAll() {
    while (dispatchPendingMessage()) {
    }
}

std::size_t PlayerMessageQueue::waiting() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

} // namespace reedtab
