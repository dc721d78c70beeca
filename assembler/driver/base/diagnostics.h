// Fixed-format diagnostics and the ways the assembler ends.
#pragma once

#include "AsmState.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where the scanner stands in the source. Reading an operand to its end may
// cross a line or file marker; an error about the operand is reported at
// the position captured before.
struct SourcePosition {
    int lineNumber = 0;
    char sourceName[SOURCE_NAME_SIZE] = {};
};

SourcePosition currentSourcePosition();

// Messages that name a line take the form "FILE:LINE: error: TEXT" (and
// "warning"), naming the statement's own line and the file as opened; the
// line follows as written, a caret under the statement or the token named,
// and notes.
void setGnuDiagnostics(bool enabled);

// A token that a message names, as written, and where it was scanned
// (nullptr: the place is unknown). An empty text names nothing.
struct TokenMention {
    std::string text;
    const char* at = nullptr;
};
// A note after a message in the GNU form: "PLACE: note: TEXT", PLACE being
// "FILE:LINE" or "<command-line>".
struct DiagnosticNote {
    std::string place;
    std::string text;
};

// Prints "Syntax Error in line ..." with the message and ends the run.
[[noreturn]] void reportError(const char* message);
// The same; the GNU form names the token after the text ("TEXT 'NAME'"),
// points at it and adds the notes.
[[noreturn]] void reportErrorNaming(const char* message, const TokenMention& token,
                                    const std::vector<DiagnosticNote>& notes = {});
// The same, naming position instead of the current line.
[[noreturn]] void reportErrorAt(const SourcePosition& position, const char* message);
// Every warning belongs to one class, which the command line can silence
// or make an error of.
enum class WarningClass {
    RANGE,          // a value or distance that does not fit its operand
    ORG_LIMIT,      // code past the last address an ORG allows
    LABEL_CHANGED,  // a label whose value moved in the final pass; the last class
};
constexpr std::size_t WARNING_CLASS_COUNT = static_cast<std::size_t>(WarningClass::LABEL_CHANGED) + 1;

enum class WarningAction {
    WARN,    // printed; the status stays 0
    ERROR,   // printed; the completed run ends with status 1
    IGNORE,  // neither printed nor counted
};
using WarningActions = std::array<WarningAction, WARNING_CLASS_COUNT>;

void setWarningActions(const WarningActions& actions);
// Prints "Warning in line ..." in the final pass only, unless its class is
// ignored.
void reportWarning(WarningClass warningClass, const char* message);
// Whether a warning of a class set to error was printed in this run.
bool errorWarningPrinted();
// Prints "Error in line %d (%s): Label '%s' <what>" for labelName and ends
// the run. The GNU form points at the label's token and adds
// "; did you mean 'SUGGESTION'?" where a suggestion is given.
[[noreturn]] void reportLabelError(const char* what, const TokenMention& token, std::string_view suggestion = {});
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
// The same with the reason given, as it was when the open failed.
void printOpenFailure(const char* name, bool forWriting, const std::string& reason);
// "Error while writing NAME! " followed by the system's text for errno.
void printWriteFailure(const char* name);
// A write to NAME failed (disk full and the like): message and exit status 1.
[[noreturn]] void exitWithWriteFailure(const char* name);

// "Out of memory!" and the error exit: the handler of failed allocations.
[[noreturn]] void outOfMemory();

// Refuses, through reportError, a file name that the system would cut short
// at a NUL byte.
void requireFileNameWithoutNul(std::string_view name);
// The same, and first a name that sourceName cannot hold: a name that would
// be cut must not open another file.
void requireUsableFileName(std::string_view name);

// The banner and the usage line on standard output.
void printUsage();
// printUsage and status 0.
[[noreturn]] void showUsage();
