#include "playback/outputdevice.h"

namespace reedtab {

std::size_t shortMessageLength(std::uint32_t packed) {
    const std::uint8_t status = packed & 0xFF;
    if (status < 0x80) {
        return 3; // running status is never used here; treat as a full message
    }
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        switch (status) {
        case 0xF1:
        case 0xF3:
            return 2;
        case 0xF2:
            return 3;
        default:
            return 1;
        }
    default:
        return 3;
    }
}

void RecordingOutput::setTickSource(std::function<std::int64_t()> source) {
    std::lock_guard lock(mutex_);
    tickSource_ = std::move(source);
}

void RecordingOutput::setListener(std::function<void(const RecordedMessage&)> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void RecordingOutput::setKeep(bool keep) {
    std::lock_guard lock(mutex_);
    keep_ = keep;
}

int RecordingOutput::open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    return DeviceOk;
}

void RecordingOutput::close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

int RecordingOutput::shortMessage(std::uint32_t packed) {
    std::vector<std::uint8_t> bytes;
    const auto length = shortMessageLength(packed);
    for (std::size_t i = 0; i < length; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(packed >> (8 * i)));
    }
    record(std::move(bytes));
    return DeviceOk;
}

int RecordingOutput::longMessage(const std::uint8_t* bytes, std::size_t length) {
    record(std::vector<std::uint8_t>(bytes, bytes + length));
    return DeviceOk;
}

int RecordingOutput::reset() {
    std::lock_guard lock(mutex_);
    ++resets_;
    return DeviceOk;
}

void RecordingOutput::record(std::vector<std::uint8_t> bytes) {
    // The tick source usually asks the stream for its position, so it is called unlocked.
    std::function<std::int64_t()> source;
    {
        std::lock_guard lock(mutex_);
        source = tickSource_;
    }
    RecordedMessage message{clock_.now(), source ? source() : -1, std::move(bytes)};
    std::lock_guard lock(mutex_);
    if (listener_) {
        listener_(message);
    }
    if (keep_) {
        messages_.push_back(std::move(message));
    }
}

std::vector<RecordedMessage> RecordingOutput::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void RecordingOutput::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    resets_ = 0;
}

int RecordingOutput::resetCount() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

bool RecordingOutput::isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

} // namespace reedtab
