// What the portable part of the file system (fileSystem.cpp) asks of the
// platform: fileSystemPosix.cpp and fileSystemWindows.cpp each answer it, and
// the build takes the one of the target. Only these three files include it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>

struct OpenedFile;

namespace platform {

// Why the last open failed, where the system's error number does not say.
struct LastOpen {
    // Which names matched when several did; empty otherwise.
    std::string ambiguity;
    // Whether it refused a file for being neither a regular file nor a folder.
    bool refusedKind = false;
};

extern LastOpen lastOpen;

// The private files on disk, for the interruption handler, which may read
// them at any moment: each name is copied once, into a slot published and
// withdrawn as a whole. The copies are never freed (a run makes a few), since
// on Windows the handler runs beside the main thread; they stay reachable
// from here to the end of the run. A run has at most two at once: the
// flattened source and one file written whole.
constexpr std::size_t PRIVATE_FILE_SLOTS = 4;
static_assert(std::atomic<const char*>::is_always_lock_free);

extern std::atomic<const char*> privateFiles[PRIVATE_FILE_SLOTS];

// A private file put in place is no longer the run's to remove.
void forgetPrivateFile(const char* name);

// Portable helpers the platform files use.
// Refuses the file being opened for its kind: nullptr, errno EINVAL.
FILE* refuseKind();
// The name the file opens under: as written, or as the fallback for names
// written on Windows finds it.
std::string existingSpelling(const char* name);

// Opens name with openAsWritten; where the system does not find it, under
// the name the fallback for names written on Windows finds.
using OpenAsWritten = FILE* (*)(const char* name, OpenedFile& opened);
FILE* openExisting(const char* name, OpenAsWritten openAsWritten, OpenedFile& opened);
// Opens a regular file for reading without ever waiting (a FIFO or device is
// refused) and tells what its handle says of it.
FILE* openToRead(const char* name, OpenedFile& opened);
// Whether name exists as written.
bool existsAsWritten(const std::string& name);
// Creates or empties name for writing.
FILE* createFile(const char* name);
// The name a name written on Windows stands for here; false when none.
bool findByWindowsSpelling(const std::string& name, std::string& found);

// Standard descriptor 0, 1 or 2 is closed; open the null device on it.
bool isClosed(int descriptor);
bool openNullDeviceOn(int descriptor);

// A new file, made only if absent, with the permissions of replaced where
// the system has them; its descriptor, or -1 with errno set.
int createExclusively(const char* name, const char* replaced);
int processId();
// A write stream on descriptor, which is closed when that fails.
FILE* streamOnDescriptor(int descriptor);

// A full name as the platform compares file names.
std::string comparableName(std::string fullName);

}  // namespace platform
