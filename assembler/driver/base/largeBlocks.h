// Memory for the big arrays a run fills from front to back and keeps (the
// token records, the flattened text): whole blocks from the system, on huge
// pages where it offers them, so that filling one takes a few page faults
// instead of one per small page. largeBlocksPosix.cpp and
// largeBlocksWindows.cpp each answer it; the build takes the target's.
#pragma once

#include <cstddef>

// A block of at least size bytes, or nullptr when the system has none.
void* allocateLargeBlock(std::size_t size);
// Gives back a block from allocateLargeBlock, with the size asked for it.
void freeLargeBlock(void* block, std::size_t size);
// A block of at least newSize bytes that begins with the oldSize bytes of
// block (from allocateLargeBlock, with oldSize asked for it), which is given
// back; nullptr, with block kept, when the system has no memory. Where the
// system can, the pages move instead of being copied, and are not cleared
// again.
void* growLargeBlock(void* block, std::size_t oldSize, std::size_t newSize);
