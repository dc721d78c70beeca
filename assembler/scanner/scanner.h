// The scanner: turns source text into tokens (assembling passes) or into the
// flattened temporary file (preprocessing pass).
#pragma once

#include <cstdio>

struct yy_buffer_state;
using ScanBuffer = yy_buffer_state;

constexpr int SCAN_BUFFER_SIZE = 16384;

// Returns the next token code and sets tokenText, tokenLength, tokenValue.
int nextToken();
// Next raw input character (0..255), or -1 at the end of the input.
int readChar();

ScanBuffer* createBuffer(FILE* stream, int size);
ScanBuffer* currentBuffer();
// Makes buffer current again, reading on from stream behind its buffered text.
void resumeBuffer(ScanBuffer* buffer, FILE* stream);
void switchToBuffer(ScanBuffer* buffer);
void deleteBuffer(ScanBuffer* buffer);
// Empties the current buffer and reads stream from its next unread byte.
void restartInput(FILE* stream);
