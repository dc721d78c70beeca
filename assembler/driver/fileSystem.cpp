#include "fileSystem.h"

FILE* openForReading(const char* name)
{
    return std::fopen(name, "rb");
}

FILE* openForWriting(const char* name)
{
    return std::fopen(name, "wb");
}

FILE* openForUpdate(const char* name)
{
    return std::fopen(name, "r+b");
}

bool fileExists(const char* name)
{
    FILE* file = openForReading(name);
    if (!file)
        return false;
    std::fclose(file);
    return true;
}
