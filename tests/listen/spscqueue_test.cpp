// The queue between the audio callback and the analysis: order, bounds, and two threads at once
// (run under ThreadSanitizer by scripts/test).

#include "listen/spscqueue.h"

#include <gtest/gtest.h>

#include <thread>

namespace reedtab {
namespace {

TEST(SpscQueue, KeepsOrderAndRefusesWhenFullOrEmpty) {
    SpscQueue<int> queue(3);
    EXPECT_EQ(queue.capacity(), 4u) << "rounded up to a power of two";
    int item = 0;
    EXPECT_FALSE(queue.tryPop(item));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(queue.tryPush(i));
    }
    EXPECT_FALSE(queue.tryPush(99)) << "full";
    // Around the end of the slots several times: order holds across the wrap.
    for (int round = 0; round < 10; ++round) {
        ASSERT_TRUE(queue.tryPop(item));
        EXPECT_EQ(item, round);
        ASSERT_TRUE(queue.tryPush(round + 4));
        EXPECT_FALSE(queue.tryPush(-1));
    }
    for (int expected = 10; expected < 14; ++expected) {
        ASSERT_TRUE(queue.tryPop(item));
        EXPECT_EQ(item, expected);
    }
    EXPECT_FALSE(queue.tryPop(item));
}

struct Numbered {
    std::uint64_t sequence = 0;
    std::uint64_t payload[7] = {};
};

TEST(SpscQueue, ProducerAndConsumerThreadsLoseAndReorderNothing) {
    // A small queue, so that both the full and the empty paths are taken many times.
    SpscQueue<Numbered> queue(8);
    constexpr std::uint64_t kCount = 200000;
    std::thread producer([&] {
        Numbered item;
        for (std::uint64_t i = 0; i < kCount;) {
            item.sequence = i;
            for (auto& word : item.payload) {
                word = i * 31 + 7;
            }
            if (queue.tryPush(item)) {
                ++i;
            } else {
                std::this_thread::yield();
            }
        }
    });
    std::uint64_t next = 0;
    bool intact = true;
    Numbered item;
    while (next < kCount) {
        if (!queue.tryPop(item)) {
            std::this_thread::yield();
            continue;
        }
        intact = intact && item.sequence == next;
        for (auto word : item.payload) {
            intact = intact && word == next * 31 + 7;
        }
        ++next;
    }
    producer.join();
    EXPECT_TRUE(intact) << "every item arrives whole, once, in order";
    EXPECT_FALSE(queue.tryPop(item));
}

} // namespace
} // namespace reedtab
