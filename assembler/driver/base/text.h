// Letter case as the source language knows it: only A to Z and a to z
// have a case, whatever the platform's locale says.
#pragma once

#include <string_view>

constexpr unsigned char asciiUpper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

constexpr bool equalIgnoringCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (asciiUpper(static_cast<unsigned char>(left[i])) != asciiUpper(static_cast<unsigned char>(right[i])))
            return false;
    return true;
}

// The order of names as letter case leaves them: upper-cased, byte by byte.
constexpr bool lessIgnoringCase(std::string_view left, std::string_view right)
{
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char l = asciiUpper(static_cast<unsigned char>(left[i]));
        const unsigned char r = asciiUpper(static_cast<unsigned char>(right[i]));
        if (l != r)
            return l < r;
    }
    return left.size() < right.size();
}

// Letters, digits and the other characters that names may hold.
constexpr bool isNameCharacter(char c)
{
    const unsigned char upper = asciiUpper(static_cast<unsigned char>(c));
    return (upper >= 'A' && upper <= 'Z') || (c >= '0' && c <= '9') || c == '!' || c == '#' || c == '.' || c == '?'
           || c == '@' || c == '_' || c == '~';
}
