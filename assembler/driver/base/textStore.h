// Copies of short texts (full label names) packed into blocks that never
// move: a view of a kept text stays valid while the store lives, and one
// allocation serves thousands of names.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

class TextStore {
public:
    std::string_view keep(std::string_view text)
    {
        if (text.size() > left || !next)
            startBlock(text.size());
        const std::string_view kept(next, text.size());
        next = std::copy(text.begin(), text.end(), next);
        left -= text.size();
        return kept;
    }
    // A copy of first followed by second.
    std::string_view keepJoined(std::string_view first, std::string_view second)
    {
        const std::size_t size = first.size() + second.size();
        if (size > left || !next)
            startBlock(size);
        const std::string_view kept(next, size);
        next = std::copy(second.begin(), second.end(), std::copy(first.begin(), first.end(), next));
        left -= size;
        return kept;
    }
    void clear()
    {
        blocks.clear();
        next = nullptr;
        left = 0;
    }

private:
    static constexpr std::size_t BLOCK_SIZE = 65536;

    void startBlock(std::size_t atLeast)
    {
        left = std::max(BLOCK_SIZE, atLeast);
        next = blocks.emplace_back(std::make_unique_for_overwrite<char[]>(left)).get();
    }

    std::vector<std::unique_ptr<char[]>> blocks;
    char* next = nullptr;
    std::size_t left = 0;
};
