// Fixed-format diagnostics and the ways the assembler ends.
#pragma once

#include "AsmState.h"

#include <cstddef>

// Where the scanner stands in the source. Reading an operand to its end may
// cross a line or file marker; an error about the operand is reported at
// the position captured before.
struct SourcePosition {
    int lineNumber = 0;
    char sourceName[SOURCE_NAME_SIZE] = {};
};

SourcePosition currentSourcePosition();

// Prints "Syntax Error in line ..." with the message and ends the run.
[[noreturn]] void reportError(const char* message);
// The same, naming position instead of the current line.
[[noreturn]] void reportErrorAt(const SourcePosition& position, const char* message);
// Prints "Warning in line ..." in the final pass only.
void reportWarning(const char* message);
// Prints "Error in line %d (%s): Label '%s' <what>" for labelName and ends the run.
[[noreturn]] void reportLabelError(const char* what);
// Writes "Exiting...", closes every stream and ends with status 1.
[[noreturn]] void exitWithError();
// "Error while opening NAME! " or "... for writing! " followed by the system's text.
void printOpenFailure(const char* name, bool forWriting);
// A write to NAME failed (disk full and the like): message and exit status 1.
[[noreturn]] void exitWithWriteFailure(const char* name);

// "Out of memory!" and the error exit; also the handler of failed allocations.
[[noreturn]] void outOfMemory();
void* allocOrExit(std::size_t size);
void* reallocOrExit(void* block, std::size_t size);

[[noreturn]] void showUsage();
