#include "ui/transporthub.h"

#include <QCoreApplication>
#include <QThread>

namespace reedtab {

// The transport's news, emitted as the hub's signals.
class TransportHub::News final : public TransportListener {
public:
    explicit News(TransportHub& hub) : hub_(hub) {}

    void positionReached(const PositionReport& report) override {
        emit hub_.positionReached(report);
    }
    void tempoChanged(int microsPerQuarter) override { emit hub_.tempoChanged(microsPerQuarter); }
    void songEnded(int result) override { emit hub_.stopped(result); }
    void held(std::int32_t tick) override { emit hub_.held(tick); }

private:
    TransportHub& hub_;
};

TransportHub::TransportHub(Transport& transport, QObject* parent)
    : QObject(parent), transport_(transport), news_(std::make_unique<News>(*this)) {
    transport_.setListener(news_.get());
}

TransportHub::~TransportHub() {
    quitting_ = true;
    transport_.setListener(nullptr);
}

void TransportHub::postMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == WM_PLAYER_POSITION)
        ++postedPositions_;
    QCoreApplication::postEvent(this, new PlayerMessageEvent(message, wParam, lParam));
}

void TransportHub::sendNoteInput(const NoteInput& input) {
    if (!quitting_)
        postMessage(WM_NOTE_INPUT, input.wParam, static_cast<std::intptr_t>(input.lParam));
}

bool TransportHub::dispatchPendingMessage() {
    if (QThread::currentThread() != thread() || postedPositions_.load() == 0)
        return false;
    // Only position reports: an end-of-song message handled inside a stop would start the
    // next song from within that stop.
    QCoreApplication::sendPostedEvents(this, static_cast<int>(WM_PLAYER_POSITION));
    return true;
}

bool TransportHub::event(QEvent* event) {
    const auto type = static_cast<std::uint32_t>(event->type());
    if (type != WM_PLAYER_POSITION && type != WM_PLAYER_TEMPO && type != WM_PLAYER_STOPPED &&
        type != WM_NOTE_INPUT)
        return QObject::event(event);
    const auto* message = static_cast<PlayerMessageEvent*>(event);
    if (type == WM_NOTE_INPUT) {
        emit noteInput(NoteInput{static_cast<std::uint32_t>(message->wParam),
                                 static_cast<std::uint32_t>(message->lParam)});
        return true;
    }
    if (type == WM_PLAYER_POSITION)
        --postedPositions_;
    transport_.handleMessage({type, message->wParam, message->lParam});
    return true;
}

} // namespace reedtab
