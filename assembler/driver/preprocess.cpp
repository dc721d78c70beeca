#include "preprocess.h"

#include "../scanner/flattenedText.h"
#include "../scanner/includedTexts.h"
#include "../scanner/scanner.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "base/AsmState.h"
#include "base/diagnostics.h"
#include "base/fileSafety.h"
#include "base/fileSystem.h"
#include "base/inputLookup.h"
#include "base/listing.h"
#include "base/sourceFiles.h"
#include "commandLine.h"
#include "macroExpander.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Each open level keeps its file's text; real projects nest a few levels.
constexpr std::size_t MAX_INCLUDE_DEPTH = 16384;
constexpr std::size_t MAX_SOURCE_NAME_LENGTH = SOURCE_NAME_SIZE - 1;
// A main source name this long gets no ".asm" retry: the extended name
// would not fit.
constexpr std::size_t MAX_RETRY_NAME_LENGTH = MAX_SOURCE_NAME_LENGTH - 4;

struct PreprocessState {
    // The flattened file, as every include is checked against it: its file
    // stays the same while the source is read. Where it was not there once
    // opened, it is written beside its name and put in place at the end: no
    // include can read it while it grows.
    FileIdentity flattenedFileIdentity;
    // The size the system reported when inputFile was opened: the reader
    // takes it rather than asking again.
    std::int64_t inputFileSize = -1;
    FileIdentity mainSourceIdentity;
};

PreprocessState preprocessing;

// Opens the main source for reading into inputFile, which no output may
// overwrite from here on; false after printing the failure.
bool openSource()
{
    OpenedFile opened;
    asmState.inputFile = openForReading(asmState.sourceName, &opened);
    if (!asmState.inputFile) {
        printOpenFailure(asmState.sourceName, false);
        return false;
    }
    protectInput(asmState.sourceName, opened.identity);
    preprocessing.inputFileSize = opened.size;
    preprocessing.mainSourceIdentity = opened.identity;
    return true;
}

// The scanner has read the file whole by the time it is closed: the main file
// when its first token was scanned.
void closeSource()
{
    if (asmState.inputFile)
        std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
}

void openMainSource()
{
    if (openSource())
        return;
    if (std::strlen(asmState.sourceName) > MAX_RETRY_NAME_LENGTH)
        exitWithError();
    std::strcat(asmState.sourceName, ".asm");
    std::fprintf(stderr, "Trying %s...\n", asmState.sourceName);
    if (!openSource())
        exitWithError();
}

const std::string& flattenedFileName()
{
    return commandLine().flattenedFileName;
}

RefusalWording flattenedFileRefusal()
{
    return flattenedFileName() == DEFAULT_TEMP_FILE_NAME ? RefusalWording::NAMING_BOTH
                                                         : RefusalWording::AS_OPEN_FAILURE;
}

void startFile(const std::string& openedPath)
{
    noteFileStart(asmState.sourceName, openedPath);
    keepListingText(openedPath);
    writeFileMarker(asmState.sourceName);
    asmState.lineNumber = 1;
    writeLineMarker(1);
}

void checkIncludeName(const std::string& name)
{
    requireUsableFileName(name);
    if (includeDepth() >= MAX_INCLUDE_DEPTH)
        reportError("INCLUDE nested too deeply");
}

// An included file as it opened, or why it did not.
struct IncludedFile {
    FILE* stream = nullptr;
    FileIdentity identity;   // from its handle, else from its name
    std::int64_t size = -1;  // as the handle reported it
    std::string failure;     // why it did not open, kept for the message
};

IncludedFile openIncludedFile(const std::string& path)
{
    IncludedFile included;
    OpenedFile opened;
    included.stream = openForReading(path.c_str(), &opened);
    if (included.stream) {
        included.identity = opened.identity;
        included.size = opened.size;
    } else {
        included.failure = openFailureReason();
        included.identity = identifyFile(path.c_str());
    }
    return included;
}

// A file open already would include itself without end, and the flattened
// file grows while it would be read: it never ends either.
bool includesItself(const FileIdentity& included)
{
    return isFileOpen(included) || isSameFile(included, preprocessing.flattenedFileIdentity);
}

void includeFile()
{
    advanceToken();
    if (asmState.curToken != TOKEN_STRING)
        reportError("Filename expected");
    std::string name(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    checkIncludeName(name);
    std::string path = locateInput(name);
    IncludedFile included = openIncludedFile(path);
    if (includesItself(included.identity)) {
        if (included.stream)
            std::fclose(included.stream);
        reportError(("Recursive INCLUDE of " + name).c_str());
    }
    markIncludeDirective();
    closeSource();
    setIncluderAside(name, included.identity);
    startFile(path);
    if (!included.stream) {
        printOpenFailure(asmState.sourceName, false, included.failure);
        exitWithError();
    }
    asmState.inputFile = included.stream;
    protectInput(path, included.identity);
    clearStatementStart();
    scanIncludedText(asmState.inputFile, included.size);
    closeSource();
}

}  // namespace

void preprocessSource()
{
    openMainSource();
    startIncludedTexts(preprocessing.mainSourceIdentity);
    restartInput(asmState.inputFile, preprocessing.inputFileSize);
    std::fputs("Preprocessing...\n", stdout);
    requireNotProtected(flattenedFileName(), flattenedFileRefusal());
    if (!openFlattenedFile(flattenedFileName().c_str()))
        exitWithError();
    preprocessing.flattenedFileIdentity = identifyFile(flattenedFileName().c_str());
    if (commandLine().macros)
        prepareMacroExpansion();
    startFile(asmState.sourceName);
    asmState.cpuMode = CPU_MODE_PREPROCESS;
    for (;;) {
        advanceToken();
        if (asmState.curToken == TOKEN_INCLUDE)
            includeFile();
        else if (asmState.curToken == TOKEN_END_OF_INPUT)
            break;
    }
    closeSource();
    if (commandLine().macros)
        expandMacros();
    // Now that every INCBIN is known: the file they name stays as it was.
    if (const ProtectedFile* input = protectedFileAt(flattenedFileName())) {
        abandonFlattenedFile();
        printRefusal(flattenedFileName(), *input, flattenedFileRefusal());
        exitWithError();
    }
    closeFlattenedFile();
    protectFile(flattenedFileName(), FileRole::FLATTENED_SOURCE);
    asmState.pass += 1;
}
