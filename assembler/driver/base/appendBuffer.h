// An array filled from front to back a few elements at a time, in room
// reserved ahead: an append of up to QUICK elements is one copy of fixed
// size, which costs less than a copy of the elements' own count.
#pragma once

#include "largeBlocks.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

template <typename Element, std::size_t QUICK>
class AppendBuffer {
    static_assert(std::is_trivially_copyable_v<Element>);

public:
    const Element* data() const { return elements(); }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    Element& back() { return elements()[count - 1]; }
    Element& operator[](std::size_t index) { return elements()[index]; }
    void clear() { count = 0; }
    void reserve(std::size_t wanted)
    {
        if (wanted <= capacity)
            return;
        ArrayBlock grown(wanted * sizeof(Element));
        if (count != 0)
            std::memcpy(grown.get(), elements(), count * sizeof(Element));
        block = std::move(grown);
        capacity = wanted;
    }
    // Appends items[0, added); where added is at most QUICK, QUICK items
    // from items on may be read.
    void append(const Element* items, std::size_t added)
    {
        if (added > QUICK || capacity - count < QUICK)
            return appendSlowly(items, added);
        std::memcpy(elements() + count, items, QUICK * sizeof(Element));
        count += added;
    }
    void push_back(const Element& item)
    {
        if (count == capacity)
            return appendSlowly(&item, 1);
        elements()[count++] = item;
    }

private:
    [[gnu::noinline]] void appendSlowly(const Element* items, std::size_t added)
    {
        if (capacity - count < added + QUICK)
            reserve(std::max({count + added + QUICK, 2 * capacity, std::size_t{64}}));
        std::memcpy(elements() + count, items, added * sizeof(Element));
        count += added;
    }

    Element* elements() const { return static_cast<Element*>(block.get()); }

    ArrayBlock block;
    std::size_t count = 0;
    std::size_t capacity = 0;
};
