#include "preprocess.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "output.h"
#include "passDriver.h"
#include "../scanner/scanner.h"
#include "../scanner/tokens.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

struct IncludeRecord {
    IncludeRecord* next;
    char savedName[SOURCE_NAME_SIZE];
    long savedPosition;      // where the including file's reading resumes
    std::string savedText;   // read from it but not yet scanned
    int savedLine;
};

namespace {

constexpr const char* TEMP_FILE_NAME = "orbant.tmp";
// Each open level keeps at most a scanner buffer's worth of text; real
// projects nest a few levels.
constexpr int MAX_INCLUDE_DEPTH = 16384;
constexpr std::size_t MAX_SOURCE_NAME_LENGTH = SOURCE_NAME_SIZE - 1;

int includeDepth = 0;
// How often each name is open on the include stack, current file included.
std::unordered_map<std::string, int> openNames;

void openMainSource()
{
    if (openSource())
        return;
    if (std::strlen(asmState.sourceName) > 251)
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
    auto entry = openNames.find(name);
    if (entry != openNames.end() && --entry->second == 0)
        openNames.erase(entry);
}

void checkIncludeName(const std::string& name)
{
    if (name.size() > MAX_SOURCE_NAME_LENGTH || name.find('\0') != std::string::npos)
        reportError("Filename too long");
    if (openNames.count(name) != 0)
        reportError(("Recursive INCLUDE of " + name).c_str());
    if (includeDepth >= MAX_INCLUDE_DEPTH)
        reportError("INCLUDE nested too deeply");
}

void includeFile()
{
    asmState.curToken = nextToken();
    if (asmState.curToken != TOKEN_STRING)
        reportError("Filename expected");
    std::string name(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    checkIncludeName(name);
    pushInclude();
    setSourceName(name.c_str());
    ++openNames[name];
    startFile();
    if (!openSource())
        exitWithError();
    switchToBuffer(createBuffer(asmState.inputFile, SCAN_BUFFER_SIZE));
}

// The flattened source is written a token at a time: collect it here and
// hand it to the file in large blocks, since a library call per token
// costs more than the scanning itself.
constexpr std::size_t TEMP_BUFFER_SIZE = 65536;
char tempBuffer[TEMP_BUFFER_SIZE];
std::size_t tempBuffered = 0;

bool writeTempBuffer()
{
    std::size_t length = tempBuffered;
    tempBuffered = 0;
    return length == 0 || std::fwrite(tempBuffer, 1, length, asmState.tempFile) == length;
}

void writeChecked(const void* bytes, std::size_t length)
{
    if (length > TEMP_BUFFER_SIZE - tempBuffered) {
        if (!writeTempBuffer())
            exitWithWriteFailure(TEMP_FILE_NAME);
        if (length > TEMP_BUFFER_SIZE) {
            if (std::fwrite(bytes, 1, length, asmState.tempFile) != length)
                exitWithWriteFailure(TEMP_FILE_NAME);
            return;
        }
    }
    std::memcpy(tempBuffer + tempBuffered, bytes, length);
    tempBuffered += length;
}

}  // namespace

void preprocessSource()
{
    asmState.includeStack = nullptr;
    openMainSource();
    ++openNames[asmState.sourceName];
    restartInput(asmState.inputFile);
    std::fputs("Preprocessing...\n", stdout);
    if (!openTemp(TEMP_FILE_NAME))
        exitWithError();
    asmState.tempFile = asmState.outputFile;
    asmState.outputFile = nullptr;
    // A failed read of the source ends the run through exit(): the text
    // collected so far still reaches the file, as it did when unbuffered.
    std::atexit(flushTempText);
    startFile();
    asmState.cpuMode = CPU_MODE_PREPROCESS;
    for (;;) {
        asmState.curToken = nextToken();
        if (asmState.curToken == TOKEN_INCLUDE)
            includeFile();
        else if (asmState.curToken == TOKEN_END_OF_INPUT)
            break;
    }
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
    if (!writeTempBuffer())
        exitWithWriteFailure(TEMP_FILE_NAME);
    FILE* temp = asmState.tempFile;
    asmState.tempFile = nullptr;
    if (std::fclose(temp) != 0)
        exitWithWriteFailure(TEMP_FILE_NAME);
    asmState.pass += 1;
}

void pushInclude()
{
    auto* record = new IncludeRecord;
    record->next = asmState.includeStack;
    std::memcpy(record->savedName, asmState.sourceName, SOURCE_NAME_SIZE);
    record->savedPosition = std::ftell(asmState.inputFile);
    record->savedText = releaseCurrentBuffer();
    record->savedLine = asmState.lineNumber;
    asmState.includeStack = record;
    ++includeDepth;
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
}

bool popInclude()
{
    IncludeRecord* record = asmState.includeStack;
    if (!record)
        return false;
    forgetOpenName(asmState.sourceName);
    std::fclose(asmState.inputFile);
    asmState.inputFile = nullptr;
    std::memcpy(asmState.sourceName, record->savedName, SOURCE_NAME_SIZE);
    if (!openSource())
        exitWithError();
    std::fseek(asmState.inputFile, record->savedPosition, SEEK_SET);
    resumeWithText(asmState.inputFile, std::move(record->savedText));
    asmState.lineNumber = record->savedLine;
    writeFileMarker(asmState.sourceName);
    asmState.includeStack = record->next;
    --includeDepth;
    delete record;
    return true;
}

bool atEndOfInput()
{
    if (asmState.pass != 0)
        return true;
    return !popInclude();
}

void writeTempText(const char* text, int length)
{
    writeChecked(text, static_cast<std::size_t>(length));
}

void flushTempText()
{
    if (asmState.tempFile)
        writeTempBuffer();
}

// One per source line: formatted by hand, a printf call would cost more than
// the line's scanning.
void writeLineMarker(int lineNumber)
{
    char marker[16];
    char* end = marker + sizeof marker;
    char* start = end;
    *--start = '\x01';
    auto number = static_cast<unsigned>(lineNumber);
    do {
        *--start = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    *--start = '\x01';
    writeChecked(start, static_cast<std::size_t>(end - start));
}

void writeFileMarker(const char* name)
{
    writeChecked("\x02", 1);
    writeChecked(name, std::strlen(name));
    writeChecked("\x02", 1);
}
