#pragma once

// Large arrays the reader fills at once (the file, each track's events, the merged list) are
// asked for in huge pages: a fresh 4 KB page costs a fault that takes longer than reading the
// events that fill it, so a large song would otherwise spend most of its first read in the
// kernel.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <sys/mman.h>
#include <vector>

// Sanitizers must see every allocation: under them the event pool and the huge-page blocks give
// way to the general allocator.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REEDTAB_POOLED_MEMORY 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define REEDTAB_POOLED_MEMORY 0
#endif
#endif
#ifndef REEDTAB_POOLED_MEMORY
#define REEDTAB_POOLED_MEMORY 1
#endif

namespace reedtab {

inline constexpr size_t kHugePageBytes = size_t{2} << 20;

/// Advises the kernel to back the whole pages inside `bytes` bytes at `begin` with huge pages;
/// nothing for blocks too small to hold one.
inline void adviseHugePages(const void* begin, size_t bytes) {
    constexpr uintptr_t page = 4096;
    if (bytes < kHugePageBytes)
        return;
    auto first = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

/// Maps in at once the whole pages inside `bytes` bytes at `begin`, which an array is about
/// to fill: one call costs far less than a fault for each page. Nothing on a kernel that
/// cannot (before Linux 5.14).
inline void prefaultPages(void* begin, size_t bytes) {
    constexpr uintptr_t page = 4096;
    auto first = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
#ifdef MADV_POPULATE_WRITE
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)first;
    (void)last;
#endif
}

/// A fresh zeroed mapping of `bytes` (a multiple of `kHugePageBytes`) that starts on a huge
/// page and is advised to use them, so that every page of it is a huge one; null when the
/// system has no memory left. Give it back with `munmap(block, bytes)`.
void* mapHugePages(size_t bytes);

/// Large blocks for `HugePageAllocator`: each is a mapping of its own in huge pages that
/// records its size in its first bytes. A few freed ones are kept for the next large arrays,
/// so that a song read after another reuses pages instead of faulting in fresh ones.
void* allocateHugeBlock(size_t bytes);
void releaseHugeBlock(void* block);

/// An allocator for arrays that may grow to megabytes: a block of at least a huge page comes
/// from `allocateHugeBlock`; a smaller one from the general allocator as usual.
template <typename T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <typename U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / 2 / sizeof(T))
            throw std::bad_array_new_length();
        if (!REEDTAB_POOLED_MEMORY || n * sizeof(T) < kHugePageBytes)
            return static_cast<T*>(::operator new(n * sizeof(T)));
        void* block = allocateHugeBlock(n * sizeof(T));
        if (!block)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    void deallocate(T* block, size_t n) {
        if (!REEDTAB_POOLED_MEMORY || n * sizeof(T) < kHugePageBytes)
            ::operator delete(block);
        else
            releaseHugeBlock(block);
    }

    template <typename U>
    bool operator==(const HugePageAllocator<U>&) const {
        return true;
    }
};

/// An array of event references that may hold a whole song.
class MidiEvent;
using EventRefs = std::vector<MidiEvent*, HugePageAllocator<MidiEvent*>>;

} // namespace reedtab
