// The preprocessing pass: flattens the main source and its includes into
// "orbant.tmp" and registers every label definition.
#pragma once

#include <cstdio>

void preprocessSource();
void pushInclude();
bool popInclude();
// Called by the scanner whenever its input is exhausted; true: stop.
bool atEndOfInput();

// Writers of the temporary file, used by the scanner's preprocessing rules.
void writeTempText(const char* text, int length);
void writeLineMarker(int lineNumber);
void writeFileMarker(const char* name);
// Hands the text written so far to the temporary file, if it is open; a
// failure is left to the caller's own close. Every way out of the run calls it.
void flushTempText();
