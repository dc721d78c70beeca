// Run-time loading of the reader's driver library: the only place that
// knows the platform's dynamic loader.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;
// Generic function pointer type; cast to the entry point's real type.
using EntryPoint = void (*)();

// The bare file name handed to the loader, which applies its usual search.
const char* readerLibraryName();

LibraryHandle loadLibrary(const char* name);                         // nullptr on failure
EntryPoint findEntryPoint(LibraryHandle library, const char* name);  // nullptr if absent
void unloadLibrary(LibraryHandle library);

// The file the loader took the library from ("" if it cannot tell); member
// is any entry point of it, which locates it where the loader maps by address.
std::string libraryFilePath(LibraryHandle library, EntryPoint member);

}  // namespace platform
