#include "platform_loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace platform {

#if defined(_WIN32)

const char *readerLibraryName() { return "MSXGr.dll"; }

LibraryHandle loadLibrary(const char *name) { return reinterpret_cast<LibraryHandle>(LoadLibraryA(name)); }

EntryPoint findEntryPoint(LibraryHandle library, const char *name) {
    return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

#else

const char *readerLibraryName() {
#if defined(__APPLE__)
    return "libMSXGr.dylib";
#else
    return "libMSXGr.so";
#endif
}

LibraryHandle loadLibrary(const char *name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }

EntryPoint findEntryPoint(LibraryHandle library, const char *name) {
    return reinterpret_cast<EntryPoint>(dlsym(library, name));
}

void unloadLibrary(LibraryHandle library) { dlclose(library); }

#endif

}  // namespace platform
