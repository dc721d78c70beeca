#include "diagnostics.h"

#include "AsmState.h"
#include "fileSystem.h"
#include "sourceExcerpt.h"
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
    WarningActions warningActions{};    // -W words; every class warns by default
    bool errorWarningPrinted = false;   // a warning of a class set to error
    bool gnuForm = false;               // --diagnostics=gnu
};

DiagnosticsState diagnostics;

// "FILE:LINE: KIND: TEXT", the form editors and build tools read, then the
// line as written with a caret under the token pointed at (or the
// statement), then the notes.
void printGnuMessage(const char* kind, const std::string& text, const TokenMention& pointedAt = {},
                     const std::vector<DiagnosticNote>& notes = {})
{
    MessagePosition position = messagePosition();
    std::fprintf(stderr, "%s:%d: %s: %s\n", position.file.c_str(), position.line, kind, text.c_str());
    const char* at = pointedAt.at ? pointedAt.at : (position.inStatement ? statementText() : nullptr);
    // Written whole: a source line may hold NUL bytes.
    const std::string excerpt = sourceExcerpt(position.file, position.line, at, pointedAt.text);
    std::fwrite(excerpt.data(), 1, excerpt.size(), stderr);
    for (const DiagnosticNote& note : notes)
        std::fprintf(stderr, "%s: note: %s\n", note.place.c_str(), note.text.c_str());
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

void reportErrorNaming(const char* message, const TokenMention& token, const std::vector<DiagnosticNote>& notes)
{
    if (diagnostics.gnuForm) {
        printGnuMessage("error", token.text.empty() ? message : message + (" '" + token.text + "'"), token, notes);
        exitWithError();
    }
    reportError(message);
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

void setWarningActions(const WarningActions& actions)
{
    diagnostics.warningActions = actions;
}

void reportWarning(WarningClass warningClass, const char* message)
{
    ++asmState.stateDependences;
    if (!asmState.finalPass)
        return;
    WarningAction action = diagnostics.warningActions[static_cast<std::size_t>(warningClass)];
    if (action == WarningAction::IGNORE)
        return;
    if (action == WarningAction::ERROR)
        diagnostics.errorWarningPrinted = true;
    if (diagnostics.gnuForm)
        printGnuMessage("warning", message);
    else
        std::fprintf(stderr, "Warning in line %d (%s): %s\n", asmState.lineNumber, asmState.sourceName, message);
}

void reportLabelError(const char* what, const TokenMention& token, std::string_view suggestion)
{
    if (diagnostics.gnuForm) {
        std::string text = "Label '" + std::string(asmState.labelName) + "' " + what;
        if (!suggestion.empty())
            text += "; did you mean '" + std::string(suggestion) + "'?";
        printGnuMessage("error", text, token);
        exitWithError();
    }
    std::fprintf(stderr, "Error in line %d (%s): Label '%s' %s\n", asmState.lineNumber, asmState.sourceName,
                 std::string(asmState.labelName).c_str(), what);
    exitWithError();
}

bool errorWarningPrinted()
{
    return diagnostics.errorWarningPrinted;
}

void exitWithError()
{
    // Build tools read the next line from the start of a line of its own.
    std::fputs(diagnostics.gnuForm ? "Exiting...\n" : "Exiting...", stderr);
    runExitHooks();
    closeStream(asmState.inputFile);
    closeStream(asmState.flattenedFile);
    closeStream(asmState.outputFile);
    removeLeftPrivateFiles();
    std::exit(1);
}

void exitWithInternalError(const char* message)
{
    std::fprintf(stderr, "%s\n", message);
    runExitHooks();
    removeLeftPrivateFiles();
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
    printOpenFailure(name, forWriting, openFailureReason());
}

void printOpenFailure(const char* name, bool forWriting, const std::string& reason)
{
    printFileFailure(std::string("Error while opening ") + name + (forWriting ? " for writing! " : "! ") + reason);
}

void printWriteFailure(const char* name)
{
    std::fprintf(stderr, "Error while writing %s! %s\n", name, std::strerror(errno));
}

void exitWithWriteFailure(const char* name)
{
    printWriteFailure(name);
    exitWithError();
}

void requireFileNameWithoutNul(std::string_view name)
{
    if (name.find('\0') != std::string_view::npos)
        reportError("Filename contains a NUL byte");
}

void requireUsableFileName(std::string_view name)
{
    if (name.size() >= SOURCE_NAME_SIZE)
        reportError("Filename too long");
    requireFileNameWithoutNul(name);
}

void outOfMemory()
{
    std::fputs("Out of memory!\n", stderr);
    exitWithError();
}

void printUsage()
{
    std::fputs(ORBANT_VERSION_TEXT, stdout);
    std::fputs(" - multi-pass cross-assembler for Z80, R800 and GBZ80\n"
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
