// Output files and the emit operations.
#pragma once

#include "AsmState.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// No output file grows past this: far beyond any cartridge, and a guard
// against a stray huge count or position filling the disk.
constexpr int64_t OUTPUT_SIZE_LIMIT = int64_t{64} << 20;
// Ends the run when a write would reach past OUTPUT_SIZE_LIMIT.
void requireOutputEndWithinLimit(int64_t end);

// Each stores its stream in outputFile; false after printing the failure.
bool openOutput(const char* name);
bool openOutputForUpdate(const char* name);
// Closes outputFile; a failed write (a full disk) ends the run with status 1.
void closeOutput();

// A pass before the final one may keep what a statement emits, for later
// passes to emit again without reading the statement: while it does, each
// emit is told to it as well.
struct EmitRecorder {
    void (*value)(int32_t value, int32_t width);  // emitByte (width 1), emitWord (2)
    void (*text)();                               // emitText: the current string token
    void (*fill)(int32_t value, int32_t count);
};
extern const EmitRecorder* emitRecorder;

// The final pass's part of emitByte and emitWord: checks that the bytes stay
// within OUTPUT_SIZE_LIMIT and their value in range, writes and lists them.
void outputByte(int32_t value);
void outputWord(int32_t value);
// Inline, since the passes before the final one only count the bytes.
inline void emitByte(int32_t value)
{
    if (asmState.finalPass)
        outputByte(value);
    else if (emitRecorder)
        emitRecorder->value(value, 1);
    advancePosition(1);
}
inline void emitWord(int32_t value)
{
    if (asmState.finalPass)
        outputWord(value);
    else if (emitRecorder)
        emitRecorder->value(value, 2);
    advancePosition(2);
}

// In the final pass these, too, first check that their bytes stay within
// OUTPUT_SIZE_LIMIT.
// Emits count (> 0) bytes of value; out of range it warns once, not per byte.
void emitFill(int32_t value, int32_t count);
// Emits the current string token.
void emitText();
// The final pass's part of emitKeptBytes.
void outputKeptBytes(const unsigned char* bytes, std::size_t count);
// Emits count bytes kept from an earlier pass, which raised no message and
// whose end stays within OUTPUT_SIZE_LIMIT.
inline void emitKeptBytes(const unsigned char* bytes, std::size_t count)
{
    if (asmState.finalPass)
        outputKeptBytes(bytes, count);
    advancePosition(static_cast<int32_t>(count));
}

// Final pass: moves the write position of outputFile to position (>= 0),
// appending 00 bytes when it lies past the end of the file.
void moveOutputPosition(int32_t position);
