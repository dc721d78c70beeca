// The flattened source: the text that the preprocessing rules produce. It is
// kept in memory for the whole run, and every pass scans it there, so that
// nothing another run writes can change what this run assembles. The file
// "orbant.tmp" gets a copy as the text grows. This module builds the text,
// formats its markers, writes the file, flushes it on every way out of the
// run and closes it.
#pragma once

#include <cstddef>

// Starts the text and the file, whose stream becomes tempFile; false after
// printing the open failure. Where the name allows, the file is private to
// the run until it is closed, also by an error exit: only then does it take
// the name, whole.
bool openTempFile(const char* name);
// Hands everything to the file, closes it and puts it in place; a failed
// write ends the run.
void closeTempFile();
// Closes the file without putting it in place: the name keeps what it had
// (unless the file was written under its name directly).
void abandonTempFile();

void writeTempText(const char* text, std::size_t length);
// Byte 01, the number in decimal, byte 01.
void writeLineMarker(int lineNumber);
// Byte 02, the name, byte 02.
void writeFileMarker(const char* name);

// Makes the scanner read the whole flattened source from its first byte.
void scanFlattenedSource();
