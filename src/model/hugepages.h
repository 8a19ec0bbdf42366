#pragma once

// Large arrays the reader fills at once (the file, each track's events, the merged list) are
// asked for in huge pages: a fresh 4 KB page costs a fault that takes longer than reading the
// events that fill it, so a large song would otherwise spend most of its first read in the
// kernel.

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

namespace reedtab {

/// Advises the kernel to back the whole pages inside `bytes` bytes at `begin` with huge pages;
/// nothing for blocks too small to hold one.
inline void adviseHugePages(const void* begin, size_t bytes) {
    constexpr uintptr_t hugePage = uintptr_t{2} << 20;
    constexpr uintptr_t page = 4096;
    if (bytes < hugePage)
        return;
    auto first = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
    auto last = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~(page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace reedtab
