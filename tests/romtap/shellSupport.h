// Small helpers shared by the tests that run romtap through the shell.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string shellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char character : text)
        quoted += character == '\'' ? std::string("'\\''") : std::string(1, character);
    return quoted + "'";
}

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
