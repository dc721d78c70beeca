#include "symbolFile.h"

#include <cstdio>
#include <sstream>

std::map<std::string, uint32_t> symbolValues(const std::string& symbolFile)
{
    std::map<std::string, uint32_t> values;
    std::istringstream stream(symbolFile);
    for (std::string line; std::getline(stream, line);) {
        char name[256];
        unsigned value = 0;
        if (std::sscanf(line.c_str(), "%255[^:]: equ %xh", name, &value) == 2)
            values[name] = value;
    }
    return values;
}
