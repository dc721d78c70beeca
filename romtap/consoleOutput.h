// How a run of romtap ends, and what it says when it fails. Everything but
// "invalid option" goes to standard output.
#pragma once

// Prints the text and a line end, status 1.
[[noreturn]] void dieWithMessage(const char* text);

// For failures in the middle of the "Dumping ROM" progress line.
[[noreturn]] void dieOnNewLine(const char* prefix, const char* text);

// Ends with status, or with 1 when standard output could not be written:
// a listing or checksum nobody can read is no success.
[[noreturn]] void endRun(int status);
