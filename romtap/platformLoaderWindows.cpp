#include "platformLoader.h"

#include <windows.h>

#include <vector>

namespace platform {

const char* readerLibraryName()
{
    return "MSXGr.dll";
}

LibraryHandle loadLibrary(const char* name)
{
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name));
}

EntryPoint findEntryPoint(LibraryHandle library, const char* name)
{
    return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(LibraryHandle library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

std::string libraryFilePath(LibraryHandle library, EntryPoint)
{
    // Grows the buffer until the whole path fits: a truncated one names another file.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<char> path(size);
        const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(library), path.data(), size);
        if (length == 0)
            return {};
        if (length < size)
            return std::string(path.data(), length);
    }
    return {};
}

}  // namespace platform
