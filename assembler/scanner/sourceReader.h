// Block reads of source text for the scanner.
#pragma once

#include <cstdio>
#include <string>

// Reads up to maxSize bytes (at most 8192) from stream into buffer. A carriage
// return directly before a line feed is dropped, so that sources written with
// either line-end convention read the same on every platform. Returns the
// number of bytes stored; 0 at the end of the stream. A read error is fatal.
// Text set aside with setPendingText is delivered first.
int readSourceBlock(FILE* stream, char* buffer, int maxSize);
// Text to deliver before the stream's own bytes (already free of CR LF).
void setPendingText(std::string text);
