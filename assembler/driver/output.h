// Output files, the emit operations and the symbol file.
#pragma once

#include <cstdint>

// Each stores its stream in outputFile; false after printing the failure.
bool openTemp(const char* name);
bool openOutput(const char* name);
bool openOutputForUpdate(const char* name);
// Closes outputFile; a failed write (a full disk) ends the run with status 1.
void closeOutput();

void emitByte(int32_t value);
void emitWord(int32_t value);
// Emits the current string token.
void emitText();

void writeSymbolFile();
