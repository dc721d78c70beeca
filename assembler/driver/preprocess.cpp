#include "preprocess.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"
#include "output.h"
#include "../scanner/scanner.h"
#include "../scanner/tempFile.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstring>
#include <string>
#include <unordered_map>

namespace {

constexpr const char* TEMP_FILE_NAME = "orbant.tmp";
// Each open level keeps at most a scanner buffer's worth of text; real
// projects nest a few levels.
constexpr std::size_t MAX_INCLUDE_DEPTH = 16384;
constexpr std::size_t MAX_SOURCE_NAME_LENGTH = SOURCE_NAME_SIZE - 1;
// A main source name this long gets no ".asm" retry: the extended name
// would not fit.
constexpr std::size_t MAX_RETRY_NAME_LENGTH = MAX_SOURCE_NAME_LENGTH - 4;

struct PreprocessState {
    // How often each name is open on the include stack, current file included.
    std::unordered_map<std::string, int> openNames;
    FileIdentity flattenedFile;  // what TEMP_FILE_NAME stands for
};

PreprocessState preprocessing;

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

void startFile()
{
    writeFileMarker(asmState.sourceName);
    asmState.lineNumber = 1;
    writeLineMarker(1);
}

void forgetOpenName(const char* name)
{
    auto entry = preprocessing.openNames.find(name);
    if (entry != preprocessing.openNames.end() && --entry->second == 0)
        preprocessing.openNames.erase(entry);
}

void checkIncludeName(const std::string& name)
{
    if (name.size() > MAX_SOURCE_NAME_LENGTH || name.find('\0') != std::string::npos)
        reportError("Filename too long");
    if (preprocessing.openNames.count(name) != 0)
        reportError(("Recursive INCLUDE of " + name).c_str());
    if (asmState.includeStack.size() >= MAX_INCLUDE_DEPTH)
        reportError("INCLUDE nested too deeply");
    // The flattened file grows while it would be read: it never ends.
    if (isSameFile(identifyFile(name.c_str()), preprocessing.flattenedFile))
        reportError(("Recursive INCLUDE of " + name).c_str());
}

// Sets the including file aside: only its unscanned text is kept, and the
// file itself is closed while the included one is read.
void pushInclude()
{
    IncludeRecord record;
    record.savedName = asmState.sourceName;
    record.savedPosition = std::ftell(asmState.inputFile);
    record.savedText = releaseCurrentBuffer();
    record.savedLine = asmState.lineNumber;
    asmState.includeStack.push_back(std::move(record));
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
}

// Back to the including file, reading on where it was set aside; false when
// the main file has ended.
bool popInclude()
{
    if (asmState.includeStack.empty())
        return false;
    IncludeRecord& record = asmState.includeStack.back();
    forgetOpenName(asmState.sourceName);
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
    setSourceName(record.savedName.c_str());
    if (!openSource())
        exitWithError();
    std::fseek(asmState.inputFile, record.savedPosition, SEEK_SET);
    resumeWithText(asmState.inputFile, std::move(record.savedText));
    asmState.lineNumber = record.savedLine;
    writeFileMarker(asmState.sourceName);
    asmState.includeStack.pop_back();
    return true;
}

void includeFile()
{
    advanceToken();
    if (asmState.curToken != TOKEN_STRING)
        reportError("Filename expected");
    std::string name(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    checkIncludeName(name);
    pushInclude();
    setSourceName(name.c_str());
    ++preprocessing.openNames[name];
    startFile();
    if (!openSource())
        exitWithError();
    protectFile(asmState.sourceName, INPUT_ROLE);
    switchToBuffer(createBuffer(asmState.inputFile, SCAN_BUFFER_SIZE));
}

}  // namespace

bool openSource()
{
    asmState.inputFile = openForReading(asmState.sourceName);
    if (asmState.inputFile)
        return true;
    printOpenFailure(asmState.sourceName, false);
    return false;
}

void preprocessSource()
{
    asmState.includeStack.clear();
    openMainSource();
    ++preprocessing.openNames[asmState.sourceName];
    protectFile(asmState.sourceName, INPUT_ROLE);
    restartInput(asmState.inputFile);
    std::fputs("Preprocessing...\n", stdout);
    requireNotProtected(TEMP_FILE_NAME);
    if (!openTempFile(TEMP_FILE_NAME))
        exitWithError();
    // Taken once open: a link or device named so exists by now.
    preprocessing.flattenedFile = identifyFile(TEMP_FILE_NAME);
    startFile();
    asmState.cpuMode = CPU_MODE_PREPROCESS;
    setEndOfInputHook(popInclude);
    for (;;) {
        advanceToken();
        if (asmState.curToken == TOKEN_INCLUDE)
            includeFile();
        else if (asmState.curToken == TOKEN_END_OF_INPUT)
            break;
    }
    setEndOfInputHook(nullptr);
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
    // Now that every INCBIN is known: the file they name stays as it was.
    if (const ProtectedFile* input = protectedFileAt(TEMP_FILE_NAME)) {
        abandonTempFile();
        refuseOverwriting(TEMP_FILE_NAME, *input);
    }
    closeTempFile();
    protectFile(TEMP_FILE_NAME, FLATTENED_SOURCE_ROLE);
    asmState.pass += 1;
}
