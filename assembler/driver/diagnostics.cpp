#include "diagnostics.h"

#include "AsmState.h"
#include "fileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<void (*)()> exitHooks;

void runExitHooks()
{
    for (auto hook : exitHooks)
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

void reportErrorAt(const SourcePosition& position, const char* message)
{
    std::fprintf(stderr, "Syntax Error in line %d (%s): %s\n", position.lineNumber, position.sourceName, message);
    exitWithError();
}

void reportWarning(const char* message)
{
    if (asmState.finalPass)
        std::fprintf(stderr, "Warning in line %d (%s): %s\n", asmState.lineNumber, asmState.sourceName,
                     message);
}

void reportLabelError(const char* what)
{
    std::fprintf(stderr, "Error in line %d (%s): Label '%s' %s\n", asmState.lineNumber, asmState.sourceName,
                 asmState.labelName.c_str(), what);
    exitWithError();
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
    for (auto known : exitHooks)
        if (known == hook)
            return;
    exitHooks.push_back(hook);
}

void printOpenFailure(const char* name, bool forWriting)
{
    const char* reason = openFailureReason();
    std::fprintf(stderr, forWriting ? "Error while opening %s for writing! %s\n" : "Error while opening %s! %s\n",
                 name, reason);
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

void showUsage()
{
    std::fputs("orbant v0.41 - multi-pass cross-assembler for Z80, R800 and GBZ80\n"
               "Written by the orbant developers\n"
               "https://orbant.example.org/\n"
               "\n"
               "Usage: orbant filename[.asm] [output]\n",
               stdout);
    std::exit(0);
}
