#include "diagnostics.h"
#include "largeBlocks.h"

#include <cstdlib>

ArrayBlock::ArrayBlock(std::size_t size, Bytes bytes) : size(size)
{
    const bool zeroed = bytes == Bytes::ZEROED;
    if (size >= LARGE_FROM)
        block = zeroed ? allocateZeroedLargeBlock(size) : allocateLargeBlock(size);
    else
        block = zeroed ? std::calloc(1, size) : std::malloc(size);
    if (!block && size != 0)
        outOfMemory();
}

ArrayBlock::~ArrayBlock()
{
    if (size >= LARGE_FROM)
        freeLargeBlock(block, size);
    else
        std::free(block);
}
