// The former block reader of source text: the flex reference reads its input
// through it, and readSourceText is compared with it.
#pragma once

#include <cstdio>
#include <string>

// Reads up to maxSize bytes (at most 8192) from stream into buffer. A carriage
// return directly before a line feed is dropped, and a Ctrl-Z ends the text.
// Returns the number of bytes stored; 0 at the end of the stream. Text set
// aside with setPendingText is delivered first.
int readSourceBlock(FILE* stream, char* buffer, int maxSize);
// Text to deliver before the stream's own bytes (already free of CR LF).
void setPendingText(std::string text);
// The rest of stream read in blocks.
std::string readInBlocks(FILE* stream);
