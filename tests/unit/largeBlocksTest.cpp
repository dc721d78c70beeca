#include "driver/base/largeBlocks.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

unsigned char patternAt(std::size_t offset)
{
    return static_cast<unsigned char>((offset * 7 + offset / 4093) & 0xFF);
}

void fill(unsigned char* block, std::size_t from, std::size_t to)
{
    for (std::size_t offset = from; offset < to; ++offset)
        block[offset] = patternAt(offset);
}

// The first offset in [0, size) whose byte is not the pattern's, or size.
std::size_t firstDifference(const unsigned char* block, std::size_t size)
{
    for (std::size_t offset = 0; offset < size; ++offset)
        if (block[offset] != patternAt(offset))
            return offset;
    return size;
}

// Grown block by block as the flattened text grows: each growth keeps all
// that was written, and the room after it takes new text.
TEST(LargeBlocks, GrowingKeepsEveryByteWritten)
{
    constexpr std::size_t MIB = std::size_t{1} << 20;
    std::size_t size = 2 * MIB;
    auto* block = static_cast<unsigned char*>(allocateLargeBlock(size));
    ASSERT_NE(nullptr, block);
    fill(block, 0, size);
    for (std::size_t grown = 4 * MIB; grown <= 16 * MIB; grown *= 2) {
        block = static_cast<unsigned char*>(growLargeBlock(block, size, grown));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(size, firstDifference(block, size)) << "after growing to " << grown;
        fill(block, size, grown);
        size = grown;
    }
    EXPECT_EQ(size, firstDifference(block, size));
    freeLargeBlock(block, size);
}

// A size that is no multiple of any page: its bytes, and only they, are kept.
TEST(LargeBlocks, GrowingABlockOfAnOddSize)
{
    constexpr std::size_t OLD_SIZE = 100'003;
    constexpr std::size_t NEW_SIZE = 5'000'011;
    auto* block = static_cast<unsigned char*>(allocateLargeBlock(OLD_SIZE));
    ASSERT_NE(nullptr, block);
    fill(block, 0, OLD_SIZE);
    block = static_cast<unsigned char*>(growLargeBlock(block, OLD_SIZE, NEW_SIZE));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(OLD_SIZE, firstDifference(block, OLD_SIZE));
    fill(block, OLD_SIZE, NEW_SIZE);
    EXPECT_EQ(NEW_SIZE, firstDifference(block, NEW_SIZE));
    freeLargeBlock(block, NEW_SIZE);
}

// Both kinds of array block, the heap's and the large one: zeroed where
// asked (the label index relies on it), whole, and kept by a move.
TEST(LargeBlocks, ArrayBlocksOfEitherKind)
{
    for (std::size_t size :
         {std::size_t{4096}, ArrayBlock::LARGE_FROM - 1, ArrayBlock::LARGE_FROM, 3 * ArrayBlock::LARGE_FROM + 5}) {
        ArrayBlock zeroed(size, ArrayBlock::Bytes::ZEROED);
        const auto* bytes = static_cast<const unsigned char*>(zeroed.get());
        ASSERT_NE(nullptr, bytes);
        std::size_t nonZero = 0;
        for (std::size_t offset = 0; offset < size; offset += 1021)
            nonZero += bytes[offset] != 0;
        EXPECT_EQ(0u, nonZero + bytes[size - 1]) << size << " bytes";

        ArrayBlock block(size);
        fill(static_cast<unsigned char*>(block.get()), 0, size);
        ArrayBlock moved(std::move(block));
        EXPECT_EQ(nullptr, block.get());
        EXPECT_EQ(size, firstDifference(static_cast<const unsigned char*>(moved.get()), size)) << size << " bytes";
        block = std::move(moved);
        EXPECT_EQ(size, firstDifference(static_cast<const unsigned char*>(block.get()), size)) << size << " bytes";
    }
}

}  // namespace
