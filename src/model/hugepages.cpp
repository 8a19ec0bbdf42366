#include "model/hugepages.h"

#include <algorithm>
#include <mutex>

namespace reedtab {

void* mapHugePages(size_t bytes) {
    // Larger by one huge page, then the unaligned ends are given back, leaves one aligned block.
    void* mapped = mmap(nullptr, bytes + kHugePageBytes, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto begin = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t aligned = (begin + kHugePageBytes - 1) & ~(uintptr_t{kHugePageBytes} - 1);
    if (aligned > begin)
        munmap(mapped, aligned - begin);
    uintptr_t end = begin + bytes + kHugePageBytes;
    if (aligned + bytes < end)
        munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
    adviseHugePages(reinterpret_cast<void*>(aligned), bytes);
    return reinterpret_cast<void*>(aligned);
}

namespace {

// The block's mapping size sits in front of the array; the array's own alignment needs no more
// than this.
constexpr size_t headerBytes = alignof(std::max_align_t);

size_t& mappingBytesOf(void* mapping) {
    return *static_cast<size_t*>(mapping);
}

// Freed blocks kept for reuse, a song's worth at most: a few arrays of a few megabytes each.
class BlockCache {
public:
    void* take(size_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        // The smallest kept block that is large enough, unless it would waste more than half.
        size_t best = count_;
        for (size_t i = 0; i < count_; ++i) {
            size_t have = mappingBytesOf(blocks_[i]);
            if (have >= bytes && have / 2 <= bytes &&
                (best == count_ || have < mappingBytesOf(blocks_[best])))
                best = i;
        }
        if (best == count_)
            return nullptr;
        void* found = blocks_[best];
        kept_ -= mappingBytesOf(found);
        blocks_[best] = blocks_[--count_];
        return found;
    }

    bool keep(void* mapping) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t bytes = mappingBytesOf(mapping);
        if (count_ == std::size(blocks_) || kept_ + bytes > maxKeptBytes)
            return false;
        blocks_[count_++] = mapping;
        kept_ += bytes;
        return true;
    }

private:
    static constexpr size_t maxKeptBytes = size_t{32} << 20;
    std::mutex mutex_;
    void* blocks_[4] = {};
    size_t count_ = 0;
    size_t kept_ = 0;
};

BlockCache& cache() {
    // Never destroyed: arrays of songs that outlive the statics may still come back to it.
    static BlockCache* blocks = new BlockCache;
    return *blocks;
}

} // namespace

void* allocateHugeBlock(size_t bytes) {
    size_t mappingBytes = (bytes + headerBytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    void* mapping = cache().take(mappingBytes);
    if (!mapping) {
        mapping = mapHugePages(mappingBytes);
        if (!mapping)
            return nullptr;
        mappingBytesOf(mapping) = mappingBytes;
    }
    return static_cast<std::byte*>(mapping) + headerBytes;
}

void releaseHugeBlock(void* block) {
    void* mapping = static_cast<std::byte*>(block) - headerBytes;
    if (!cache().keep(mapping))
        munmap(mapping, mappingBytesOf(mapping));
}

} // namespace reedtab
