// The temporary file "orbant.tmp": the flattened source that the
// preprocessing rules write. This module opens it, buffers it, formats its
// markers, flushes it on every way out of the run and closes it.
#pragma once

#include <cstddef>

// Creates the file (emptied if it exists) and makes it tempFile; false after
// printing the open failure.
bool openTempFile(const char* name);
// Hands everything to the file and closes it; a failed write ends the run.
void closeTempFile();

void writeTempText(const char* text, std::size_t length);
// Byte 01, the number in decimal, byte 01.
void writeLineMarker(int lineNumber);
// Byte 02, the name, byte 02.
void writeFileMarker(const char* name);
