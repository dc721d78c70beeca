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
// emit is captured here as well, as bytes or as one fill run (DS).
constexpr std::size_t CAPTURED_BYTES = 255;
struct EmitCapture {
    bool active = false;
    // A value outside its emit operation's range (which warns in the final
    // pass), more bytes than fit, or a fill run with other bytes.
    bool spoiled = false;
    std::size_t byteCount = 0;
    int32_t fillCount = 0;
    unsigned char fillByte = 0;
    unsigned char bytes[CAPTURED_BYTES];
};
extern EmitCapture emitCapture;

// Captures value as width (1 or 2) bytes if it lies in the range of the emit
// operation of that width.
inline void captureValue(int32_t value, int32_t width, int32_t lowest, int32_t highest)
{
    EmitCapture& capture = emitCapture;
    if (value < lowest || value > highest || capture.fillCount > 0 || capture.byteCount + 2 > CAPTURED_BYTES) {
        capture.spoiled = true;
        return;
    }
    capture.bytes[capture.byteCount] = static_cast<unsigned char>(value);
    capture.bytes[capture.byteCount + 1] = static_cast<unsigned char>(value >> 8);
    capture.byteCount += static_cast<std::size_t>(width);
}

// The final pass's part of emitByte and emitWord: checks that the bytes stay
// within OUTPUT_SIZE_LIMIT and their value in range, writes and lists them.
void outputByte(int32_t value);
void outputWord(int32_t value);
// Inline, since the passes before the final one only count the bytes.
inline void emitByte(int32_t value)
{
    if (asmState.finalPass)
        outputByte(value);
    else if (emitCapture.active)
        captureValue(value, 1, -128, 255);
    advancePosition(1);
}
inline void emitWord(int32_t value)
{
    if (asmState.finalPass)
        outputWord(value);
    else if (emitCapture.active)
        captureValue(value, 2, -32768, 65535);
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
// Final pass: the bytes of a binary include, written as they are.
void outputIncludedBytes(const unsigned char* bytes, std::size_t count);
// Hands the bytes gathered for outputFile to its stream, before the stream
// is used otherwise.
void handOverOutput();
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
