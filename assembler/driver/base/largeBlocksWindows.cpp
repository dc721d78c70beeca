#include "largeBlocks.h"

#include <cstdlib>

// Large pages need a privilege few accounts hold: a plain allocation.
void* allocateLargeBlock(std::size_t size)
{
    return std::malloc(size);
}

void* allocateZeroedLargeBlock(std::size_t size)
{
    return std::calloc(1, size);
}

void freeLargeBlock(void* block, std::size_t)
{
    std::free(block);
}

void* growLargeBlock(void* block, std::size_t, std::size_t newSize)
{
    return std::realloc(block, newSize);
}
