#include "platformLoader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <vector>

namespace platform {

#if defined(_WIN32)

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

#else

const char* readerLibraryName()
{
#if defined(__APPLE__)
    return "libMSXGr.dylib";
#else
    return "libMSXGr.so";
#endif
}

LibraryHandle loadLibrary(const char* name)
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

EntryPoint findEntryPoint(LibraryHandle library, const char* name)
{
    return reinterpret_cast<EntryPoint>(dlsym(library, name));
}

void unloadLibrary(LibraryHandle library)
{
    dlclose(library);
}

std::string libraryFilePath(LibraryHandle, EntryPoint member)
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(member), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

#endif

}  // namespace platform
