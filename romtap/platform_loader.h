// Run-time loading of the reader's driver library: the only place that
// knows the platform's dynamic loader.
#pragma once

namespace platform {

using LibraryHandle = void *;
// Generic function pointer type; cast to the entry point's real type.
using EntryPoint = void (*)();

// The bare file name handed to the loader, which applies its usual search.
const char *readerLibraryName();

LibraryHandle loadLibrary(const char *name);         // nullptr on failure
EntryPoint findEntryPoint(LibraryHandle library, const char *name);  // nullptr if absent
void unloadLibrary(LibraryHandle library);

}  // namespace platform
