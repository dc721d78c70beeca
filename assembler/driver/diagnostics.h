// Fixed-format diagnostics and the ways the assembler ends.
#pragma once

#include "AsmState.h"

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
// Writes "Exiting...", runs the exit hooks, closes every stream and ends
// with status 1.
[[noreturn]] void exitWithError();
// An internal failure of the scanner: the message and a line end, the exit
// hooks, status 2.
[[noreturn]] void exitWithInternalError(const char* message);
// Work that must be done on every error exit, such as handing text still
// buffered to its file. A hook is run once however often it is registered.
void registerExitHook(void (*hook)());
// "Error while opening NAME! " or "... for writing! " followed by why
// (openFailureReason).
void printOpenFailure(const char* name, bool forWriting);
// A write to NAME failed (disk full and the like): message and exit status 1.
[[noreturn]] void exitWithWriteFailure(const char* name);

// "Out of memory!" and the error exit: the handler of failed allocations.
[[noreturn]] void outOfMemory();

[[noreturn]] void showUsage();
