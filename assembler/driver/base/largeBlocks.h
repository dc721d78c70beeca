// Memory for the big arrays a run fills from front to back and keeps (the
// token records, the flattened text): whole blocks from the system, on huge
// pages where it offers them, so that filling one takes a few page faults
// instead of one per small page. largeBlocksPosix.cpp and
// largeBlocksWindows.cpp each answer it; the build takes the target's.
#pragma once

#include <cstddef>
#include <utility>

// A block of at least size bytes, or nullptr when the system has none.
void* allocateLargeBlock(std::size_t size);
// The same, with every byte zero.
void* allocateZeroedLargeBlock(std::size_t size);
// Gives back a block from allocateLargeBlock, with the size asked for it.
void freeLargeBlock(void* block, std::size_t size);
// A block of at least newSize bytes that begins with the oldSize bytes of
// block (from allocateLargeBlock, with oldSize asked for it), which is given
// back; nullptr, with block kept, when the system has no memory. Where the
// system can, the pages move instead of being copied, and are not cleared
// again.
void* growLargeBlock(void* block, std::size_t oldSize, std::size_t newSize);

// The memory of an array that grows with the program, given back when the
// block goes: from LARGE_FROM bytes on a large block, where the rounding to
// a huge page wastes little of it and the array's pages, touched at random
// or one after another, cost a fault each 2 MiB instead of each 4 KiB; a
// smaller one from the heap. Ends the run when the system has no memory.
class ArrayBlock {
public:
    static constexpr std::size_t LARGE_FROM = std::size_t{4} << 20;
    enum class Bytes {
        UNSET,
        ZEROED
    };

    ArrayBlock() = default;
    explicit ArrayBlock(std::size_t size, Bytes bytes = Bytes::UNSET);
    ArrayBlock(ArrayBlock&& other) noexcept
        : block(std::exchange(other.block, nullptr)), size(std::exchange(other.size, 0))
    {
    }
    ArrayBlock& operator=(ArrayBlock&& other) noexcept
    {
        ArrayBlock old(std::move(*this));
        block = std::exchange(other.block, nullptr);
        size = std::exchange(other.size, 0);
        return *this;
    }
    ~ArrayBlock();

    void* get() const { return block; }

private:
    void* block = nullptr;
    std::size_t size = 0;
};
