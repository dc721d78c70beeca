#include "diagnostics.h"

#include "AsmState.h"
#include "fileSystem.h"
#include "sourceFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct DiagnosticsState {
    std::vector<void (*)()> exitHooks;  // run on every way out, in order
    int warningsPrinted = 0;            // for --warnings-as-errors
    bool gnuForm = false;               // --diagnostics=gnu
};

DiagnosticsState diagnostics;

// "FILE:LINE: KIND: TEXT", the form editors and build tools read.
void printGnuMessage(const char* kind, const std::string& text)
{
    MessagePosition position = messagePosition();
    std::fprintf(stderr, "%s:%d: %s: %s\n", position.file.c_str(), position.line, kind, text.c_str());
    for (const MessageNote& note : position.notes)
        std::fprintf(stderr, "%s:%d: note: %s\n", note.file.c_str(), note.line, note.text.c_str());
}

void runExitHooks()
{
    for (auto hook : diagnostics.exitHooks)
        hook();
}

void closeStream(FILE*& stream)
{
    if (stream) {
        std::fclose(stream);
        stream = nullptr;
    }
}

}  // namespace

SourcePosition currentSourcePosition()
{
    SourcePosition position;
    position.lineNumber = asmState.lineNumber;
    std::memcpy(position.sourceName, asmState.sourceName, SOURCE_NAME_SIZE);
    return position;
}

void reportError(const char* message)
{
    reportErrorAt(currentSourcePosition(), message);
}

void setGnuDiagnostics(bool enabled)
{
    diagnostics.gnuForm = enabled;
}

void reportErrorAt(const SourcePosition& position, const char* message)
{
    if (diagnostics.gnuForm) {
        printGnuMessage("error", message);
        exitWithError();
    }
    std::fprintf(stderr, "Syntax Error in line %d (%s): %s\n", position.lineNumber, position.sourceName, message);
    exitWithError();
}

void reportWarning(const char* message)
{
    if (!asmState.finalPass)
        return;
    ++diagnostics.warningsPrinted;
    if (diagnostics.gnuForm)
        printGnuMessage("warning", message);
    else
        std::fprintf(stderr, "Warning in line %d (%s): %s\n", asmState.lineNumber, asmState.sourceName, message);
}

void reportLabelError(const char* what)
{
    if (diagnostics.gnuForm) {
        printGnuMessage("error", "Label '" + std::string(asmState.labelName) + "' " + what);
        exitWithError();
    }
    std::fprintf(stderr, "Error in line %d (%s): Label '%s' %s\n", asmState.lineNumber, asmState.sourceName,
                 std::string(asmState.labelName).c_str(), what);
    exitWithError();
}

int printedWarningCount()
{
    return diagnostics.warningsPrinted;
}

void exitWithError()
{
    std::fputs("Exiting...", stderr);
    runExitHooks();
    closeStream(asmState.inputFile);
    closeStream(asmState.tempFile);
    closeStream(asmState.outputFile);
    std::exit(1);
}

void exitWithInternalError(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    runExitHooks();
    std::exit(2);
}

void registerExitHook(void (*hook)())
{
    for (auto known : diagnostics.exitHooks)
        if (known == hook)
            return;
    diagnostics.exitHooks.push_back(hook);
}

void printFileFailure(const std::string& text)
{
    if (diagnostics.gnuForm && messagePosition().inStatement)
        printGnuMessage("error", text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void printOpenFailure(const char* name, bool forWriting)
{
    printFileFailure(std::string("Error while opening ") + name + (forWriting ? " for writing! " : "! ")
                     + openFailureReason());
}

void exitWithWriteFailure(const char* name)
{
    std::fprintf(stderr, "Error while writing %s! %s\n", name, std::strerror(errno));
    exitWithError();
}

void outOfMemory()
{
    std::fputs("Out of memory!\n", stderr);
    exitWithError();
}

void printUsage()
{
    std::fputs("orbant v0.41 - multi-pass cross-assembler for Z80, R800 and GBZ80\n"
               "Written by the orbant developers\n"
               "https://orbant.example.org/\n"
               "\n"
               "Usage: orbant filename[.asm] [output]\n",
               stdout);
}

void showUsage()
{
    printUsage();
    std::exit(0);
}
