// Opening files; the one place that knows about the platform's file API.
#pragma once

#include <cstdio>

// Every file is opened in binary mode: line ends are handled by the source
// reader, so that all platforms read and write the same bytes.
FILE* openForReading(const char* name);
FILE* openForWriting(const char* name);       // created or emptied
FILE* openForUpdate(const char* name);        // existing, read and write
// True also where several files match the name only without regard to case.
bool fileExists(const char* name);
// Why the last open failed: the system's text, or which files matched a name
// that differs from several of them only in letter case.
const char* openFailureReason();

// Opens the null device on whichever of descriptors 0, 1 and 2 is closed, so
// that no file opened later takes one of them and receives console text.
// False when that fails. Called before anything else.
bool openStandardStreams();
