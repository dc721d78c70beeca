// Fixed-format diagnostics and the ways the assembler ends.
#pragma once

#include "AsmState.h"

#include <string>

// Where the scanner stands in the source. Reading an operand to its end may
// cross a line or file marker; an error about the operand is reported at
// the position captured before.
struct SourcePosition {
    int lineNumber = 0;
    char sourceName[SOURCE_NAME_SIZE] = {};
};

SourcePosition currentSourcePosition();

// Messages that name a line take the form "FILE:LINE: error: TEXT" (and
// "warning"), naming the statement's own line and the file as opened.
void setGnuDiagnostics(bool enabled);
// Prints "Syntax Error in line ..." with the message and ends the run.
[[noreturn]] void reportError(const char* message);
// The same, naming position instead of the current line.
[[noreturn]] void reportErrorAt(const SourcePosition& position, const char* message);
// Prints "Warning in line ..." in the final pass only.
void reportWarning(const char* message);
// How many warnings reportWarning has printed in this run.
int printedWarningCount();
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
// A file that could not be read or written: the text alone, or in the GNU
// form where it belongs to a statement.
void printFileFailure(const std::string& text);
// "Error while opening NAME! " or "... for writing! " followed by why
// (openFailureReason).
void printOpenFailure(const char* name, bool forWriting);
// "Error while writing NAME! " followed by the system's text for errno.
void printWriteFailure(const char* name);
// A write to NAME failed (disk full and the like): message and exit status 1.
[[noreturn]] void exitWithWriteFailure(const char* name);

// "Out of memory!" and the error exit: the handler of failed allocations.
[[noreturn]] void outOfMemory();

// The banner and the usage line on standard output.
void printUsage();
// printUsage and status 0.
[[noreturn]] void showUsage();
