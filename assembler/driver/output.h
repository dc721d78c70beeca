// Output files and the emit operations.
#pragma once

#include <cstdint>

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

// In the final pass each emit first checks that its bytes stay within
// OUTPUT_SIZE_LIMIT.
void emitByte(int32_t value);
void emitWord(int32_t value);
// Emits count (> 0) bytes of value; out of range it warns once, not per byte.
void emitFill(int32_t value, int32_t count);
// Emits the current string token.
void emitText();

// Final pass: moves the write position of outputFile to position (>= 0),
// appending 00 bytes when it lies past the end of the file.
void moveOutputPosition(int32_t position);
