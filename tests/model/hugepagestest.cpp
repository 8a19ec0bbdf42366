// The large-array memory: blocks in huge pages that keep their size, reuse of freed ones, and
// vectors that move between small and large storage as they grow and shrink.

#include "model/hugepages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

namespace reedtab {
namespace {

TEST(HugeBlocks, AFreedBlockIsReusedOnlyForARequestItFitsWithoutMuchWaste) {
    constexpr size_t mb = size_t{1} << 20;
    auto* first = static_cast<uint8_t*>(allocateHugeBlock(5 * mb));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first) % alignof(std::max_align_t), 0u);
    std::memset(first, 0xA5, 5 * mb);
    releaseHugeBlock(first);

    // 5 MB took a 6 MB mapping: a 4.5 MB request fits it, a 1 MB one would waste most of it.
    auto* small = static_cast<uint8_t*>(allocateHugeBlock(1 * mb));
    EXPECT_NE(small, first);
    auto* again = static_cast<uint8_t*>(allocateHugeBlock(4 * mb + mb / 2));
    EXPECT_EQ(again, first);
    // The whole of the reused block is still there to write.
    std::memset(again, 0x5A, 4 * mb + mb / 2);
    auto* larger = static_cast<uint8_t*>(allocateHugeBlock(7 * mb));
    EXPECT_NE(larger, first);
    std::memset(larger, 1, 7 * mb);
    releaseHugeBlock(small);
    releaseHugeBlock(again);
    releaseHugeBlock(larger);
}

TEST(HugePageVectors, KeepTheirContentsAcrossSmallAndLargeStorage) {
    // Growing crosses from the general allocator to a block of its own, shrinking back; each
    // storage must go back to where it came from.
    std::vector<uint64_t, HugePageAllocator<uint64_t>> values;
    for (uint64_t i = 0; i < 1000000; ++i)
        values.push_back(i * 3);
    ASSERT_GE(values.capacity() * sizeof(uint64_t), kHugePageBytes);
    EXPECT_EQ(std::accumulate(values.begin(), values.end(), uint64_t{0}),
              uint64_t{3} * 999999 * 1000000 / 2);
    values.resize(100);
    values.shrink_to_fit();
    EXPECT_LT(values.capacity() * sizeof(uint64_t), kHugePageBytes);
    EXPECT_EQ(values[99], 297u);
    std::vector<uint64_t, HugePageAllocator<uint64_t>> copy(500000, 7);
    copy = values;
    EXPECT_EQ(copy, values);
}

} // namespace
} // namespace reedtab
