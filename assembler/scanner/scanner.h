// The scanner: turns source text into tokens (assembling passes) or into the
// flattened temporary file (preprocessing pass).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct yy_buffer_state;
using ScanBuffer = yy_buffer_state;

constexpr int SCAN_BUFFER_SIZE = 16384;

// Returns the next token code and sets tokenText, tokenLength, tokenValue.
int nextToken();
// Next raw input character (0..255), or -1 at the end of the input.
int readChar();

// Called whenever the current input is exhausted: true when the hook made
// another input current and scanning goes on (an include returning to its
// parent); without a hook, or when it answers false, the input has ended.
void setEndOfInputHook(bool (*resumeAfterEnd)());

ScanBuffer* createBuffer(FILE* stream, int size);
void switchToBuffer(ScanBuffer* buffer);
// Deletes the current buffer and returns the text it held that was not yet
// scanned: an including file keeps only that while its include is read.
std::string releaseCurrentBuffer();
// Replaces the current buffer by a new one on stream that first delivers text.
void resumeWithText(FILE* stream, std::string text);
// Empties the current buffer and reads stream from its next unread byte.
void restartInput(FILE* stream);

// A text scanned in place must be followed by this many NUL bytes, which
// mark its end and are not part of it.
constexpr std::size_t SCAN_END_MARK_COUNT = 2;
// Scans text[0] to text[length - 1] from its first byte, without copying it:
// tokens point into it, so it must stay in place while it is scanned.
void scanInPlace(char* text, std::size_t length);
