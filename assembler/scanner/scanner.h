// The scanner: turns source text into tokens (assembling passes) or into the
// flattened text (preprocessing pass). It scans whole texts held in
// memory: a source file read whole, or a text handed over by the caller.
#pragma once

#include "../driver/base/AsmState.h"
#include "sourceReader.h"
#include "tokenRecords.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

// A text being scanned and where the scan stands in it.
struct ScanBuffer {
    SourceText text;  // the buffer's own copy, unless it scans borrowed text
    const char* start = nullptr;
    const char* cursor = nullptr;
    const char* limit = nullptr;  // *limit is a NUL byte
};

// Frees a scan buffer, for owners of one that is not current.
struct ScanBufferDeleter {
    void operator()(ScanBuffer* buffer) const;
};

// Returns the next token code and sets tokenText, tokenLength, tokenValue.
int nextToken();
// Bytes after the NUL byte that ends a text whose tokens scanTokenRun scans:
// it reads a word at once where a short name or a marker may end.
constexpr std::size_t SCANNED_TEXT_SLACK = 16;
// Records the tokens of the current text from run.from on, in run.mode, as
// far as each needs nothing but its record to be delivered as nextToken
// would give it (see TokenRun): at most run.room of them, ending before
// the first that needs more or the end of the text. Changes no state but
// the run's; returns how many it recorded. The text has SCANNED_TEXT_SLACK
// bytes after its end.
std::size_t scanTokenRun(TokenRun& run);
// Whether name, taken whole, is a keyword of the Z80, R800 or GBZ80 mode.
bool isKeywordOfAnyMode(std::string_view name);
// Next raw input character (0..255), or -1 at the end of the input.
int readChar();

// Reads the rest of stream, of reportedSize, as source text (see
// readSourceText) into a new buffer, which keeps its text until deleted.
ScanBuffer* createBuffer(FILE* stream, std::int64_t reportedSize);
ScanBuffer* currentBuffer();
// The buffer keeps its scan position while another one is current.
void switchToBuffer(ScanBuffer* buffer);
void deleteBuffer(ScanBuffer* buffer);
// Scans stream, of reportedSize (see readSourceText), from its next unread
// byte, read whole when the first token is asked for; a string or comment
// left open ends.
void restartInput(FILE* stream, std::int64_t reportedSize);
// Scans text[0, length) where it lies: text[length] must be a NUL byte, and
// the text must stay unchanged while it is scanned.
void restartWithText(const char* text, std::size_t length);

// The current text's first byte: scan positions count from it.
const char* scannedText();
// Offset into the current text of the next byte to scan; setting it resumes
// scanning there in the CPU mode's own condition (at a token's start).
std::size_t scanPosition();
void setScanPosition(std::size_t offset);

// The first token of text as the rules of mode scan it, read without
// disturbing a scan under way: the scanner's state and the token fields are
// put back after.
struct LoneToken {
    int token = 0;
    int32_t value = 0;       // tokenValue as the scan left it
    bool wholeText = false;  // the token is the whole of text
};
LoneToken scanLoneToken(std::string_view text, CpuMode mode);
