#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace reedtab {

/// A bounded queue between exactly one producer thread and one consumer thread, without locks:
/// the audio callback hands captured blocks to the analysis through it. Its slots are made
/// once, by the constructor; `tryPush` and `tryPop` never allocate, block or wait, so the audio
/// thread may call them.
template <typename T>
class SpscQueue {
public:
    /// Room for `capacity` items (at least 1), rounded up to a power of two.
    explicit SpscQueue(std::size_t capacity)
        : mask_(roundUp(capacity) - 1), slots_(std::make_unique<T[]>(mask_ + 1)) {}
    SpscQueue(const SpscQueue&) = delete;
    SpscQueue& operator=(const SpscQueue&) = delete;

    /// Producer thread: copies `item` in; false (nothing changed) when the queue is full.
    bool tryPush(const T& item) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail - headCache_ > mask_) {
            headCache_ = head_.load(std::memory_order_acquire);
            if (tail - headCache_ > mask_) {
                return false;
            }
        }
        slots_[tail & mask_] = item;
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    /// Consumer thread: moves the oldest item into `item`; false when the queue is empty.
    bool tryPop(T& item) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head == tailCache_) {
            tailCache_ = tail_.load(std::memory_order_acquire);
            if (head == tailCache_) {
                return false;
            }
        }
        item = slots_[head & mask_];
        head_.store(head + 1, std::memory_order_release);
        return true;
    }

    std::size_t capacity() const { return mask_ + 1; }

private:
    static std::size_t roundUp(std::size_t n) {
        std::size_t size = 1;
        while (size < n) {
            size <<= 1;
        }
        return size;
    }

    // Producer and consumer each keep the other side's index they last saw on their own cache
    // line, so that they touch the shared line only when the queue looks full or empty.
    static constexpr std::size_t kLine = 64;
    const std::size_t mask_;
    std::unique_ptr<T[]> slots_;
    alignas(kLine) std::atomic<std::size_t> head_{0};
    std::size_t tailCache_ = 0;
    alignas(kLine) std::atomic<std::size_t> tail_{0};
    std::size_t headCache_ = 0;
};

} // namespace reedtab
