#include "platformLoader.h"

#include <dlfcn.h>

namespace platform {

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

}  // namespace platform
