#include "fileDirectives.h"

#include "dispatcher.h"
#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"
#include "../driver/fileSystem.h"
#include "../driver/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokens.h"
#include "../scanner/tokenStream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void requireFileNameToken()
{
    advanceToken();
    if (asmState.curToken != TOKEN_STRING)
        reportError("Filename expected");
}

[[noreturn]] void failToOpen(const char* name)
{
    printOpenFailure(name, false);
    exitWithError();
}

FILE* openBinaryInput(const char* name)
{
    FILE* file = openForReading(name);
    if (!file)
        failToOpen(name);
    return file;
}

int64_t fileLength(FILE* file, const char* name)
{
    long length = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
    if (length < 0)
        failToOpen(name);
    return length;
}

struct IncludeRange {
    int64_t start;
    int64_t length;
};

// Without a range the whole file; with a start only, the rest of it.
IncludeRange readIncludeRange(int64_t fileSize)
{
    IncludeRange range{0, fileSize};
    if (asmState.curToken != ',')
        return range;
    advanceToken();
    range.start = evaluateExpression();
    if (asmState.curToken == ',') {
        advanceToken();
        range.length = evaluateExpression();
    } else {
        range.length = fileSize - range.start;
    }
    return range;
}

// 64-bit arithmetic: start + length cannot overflow, whatever the operands.
void checkIncludeRange(const IncludeRange& range, int64_t fileSize)
{
    if (range.length < 0 || range.start < 0)
        reportError("Negative value not allowed");
    if (range.start > fileSize)
        reportError("Start position past end of file");
    if (range.start + range.length > fileSize)
        reportError("Include past end of file");
}

void copyToOutput(FILE* file, const char* name, const IncludeRange& range)
{
    static char block[65536];
    if (std::fseek(file, static_cast<long>(range.start), SEEK_SET) != 0)
        failToOpen(name);
    for (int64_t left = range.length; left > 0;) {
        std::size_t chunk = static_cast<std::size_t>(std::min<int64_t>(left, sizeof block));
        // A file that shrank since its length was taken.
        if (std::fread(block, 1, chunk, file) != chunk) {
            std::fprintf(stderr, "Error while reading %s! %s\n", name,
                         std::ferror(file) ? std::strerror(errno) : "Unexpected end of file");
            exitWithError();
        }
        std::fwrite(block, 1, chunk, asmState.outputFile);
        left -= static_cast<int64_t>(chunk);
    }
}

}  // namespace

std::string stringTokenAsFileName()
{
    std::string name(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    if (name.size() >= SOURCE_NAME_SIZE || name.find('\0') != std::string::npos)
        reportError("Filename too long");
    return name;
}

void requireOutputEndWithinLimit(int64_t end)
{
    if (end > OUTPUT_SIZE_LIMIT)
        reportError("Output file would exceed 64 MiB");
}

void fnameDirective()
{
    requireFileNameToken();
    std::string name = stringTokenAsFileName();
    requireNotProtected(name.c_str());
    closeOutput();
    advanceToken();
    if (asmState.curToken != ',') {
        if (!openOutput(name.c_str()))
            exitWithError();
        asmState.outputPosition = 0;
        return;
    }
    if (!openOutputForUpdate(name.c_str()))
        exitWithError();
    forgDirective();  // moves past the "," and takes the position
    std::fflush(asmState.outputFile);
}

// Only the final pass touches the file; the position checks wait for it
// too, since earlier passes may compute the position from unresolved labels.
void forgDirective()
{
    advanceToken();
    int32_t position = evaluateExpression();
    asmState.outputPosition = position;
    if (!asmState.finalPass)
        return;
    if (position < 0)
        reportError("Negative value not allowed");
    requireOutputEndWithinLimit(position);
    moveOutputPosition(position);
}

void incbinDirective()
{
    requireFileNameToken();
    std::string name = stringTokenAsFileName();
    // Opened in every pass: its length moves the address.
    FILE* file = openBinaryInput(name.c_str());
    int64_t fileSize = fileLength(file, name.c_str());
    advanceToken();
    IncludeRange range = readIncludeRange(fileSize);
    checkIncludeRange(range, fileSize);
    if (asmState.finalPass) {
        requireOutputEndWithinLimit(asmState.outputPosition + range.length);
        copyToOutput(file, name.c_str(), range);
    }
    advancePosition(static_cast<int32_t>(range.length));
    std::fclose(file);
}
