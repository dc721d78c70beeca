#include "largeBlocks.h"

#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace {

// The huge page size of x86-64 and of most 64-bit ARM systems: a block that
// starts and ends on it can be backed by huge pages only.
constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;

std::size_t roundUp(std::size_t size)
{
    return (size + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
}

// Maps a huge page more than asked and gives back the unaligned ends.
void* mapAligned(std::size_t size)
{
    const std::size_t mapped = size + HUGE_PAGE;
    void* start = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return nullptr;
    char* const first = static_cast<char*>(start);
    const auto address = reinterpret_cast<std::uintptr_t>(first);
    char* const aligned = first + ((HUGE_PAGE - address % HUGE_PAGE) % HUGE_PAGE);
    if (aligned != first)
        munmap(first, static_cast<std::size_t>(aligned - first));
    const std::size_t after = mapped - static_cast<std::size_t>(aligned - first) - size;
    if (after != 0)
        munmap(aligned + size, after);
    return aligned;
}

}  // namespace

void* allocateLargeBlock(std::size_t size)
{
    const std::size_t rounded = roundUp(size);
    void* block = mapAligned(rounded);
#ifdef MADV_HUGEPAGE
    // Only advice: a system without huge pages keeps small ones.
    if (block)
        madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

// Anonymous memory comes zeroed from the system.
void* allocateZeroedLargeBlock(std::size_t size)
{
    return allocateLargeBlock(size);
}

void freeLargeBlock(void* block, std::size_t size)
{
    if (block)
        munmap(block, roundUp(size));
}

void* growLargeBlock(void* block, std::size_t oldSize, std::size_t newSize)
{
    void* grown = allocateLargeBlock(newSize);
    if (!grown)
        return nullptr;
#ifdef MREMAP_FIXED
    // The old pages take the place of the new block's first ones: a text that
    // doubles to 8 MiB clears 8 MiB instead of 14, and copies nothing.
    const std::size_t moved = roundUp(oldSize);
    if (mremap(block, moved, moved, MREMAP_MAYMOVE | MREMAP_FIXED, grown) != MAP_FAILED)
        return grown;
#endif
    std::memcpy(grown, block, oldSize);
    freeLargeBlock(block, oldSize);
    return grown;
}
