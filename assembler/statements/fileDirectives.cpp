#include "fileDirectives.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSafety.h"
#include "../driver/base/fileSystem.h"
#include "../driver/base/inputLookup.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../driver/base/sourceFiles.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "dispatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

void requireFileNameToken()
{
    advanceToken();
    if (asmState.curToken != TOKEN_STRING)
        reportErrorAtToken("Filename expected");
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

struct IncludeRange {
    int64_t start = 0;
    std::optional<int64_t> length;  // none: to the end of the file
};

// The operands after the name: "," start [, length].
IncludeRange readIncludeRange()
{
    IncludeRange range;
    if (asmState.curToken != ',')
        return range;
    advanceToken();
    range.start = evaluateExpression();
    if (asmState.curToken == ',') {
        advanceToken();
        range.length = evaluateExpression();
    }
    return range;
}

// 64-bit arithmetic: start + length cannot overflow, whatever the operands.
void checkIncludeRange(int64_t start, int64_t length, int64_t fileSize)
{
    if (length < 0 || start < 0)
        reportError("Negative value not allowed");
    if (start > fileSize)
        reportError("Start position past end of file");
    if (start + length > fileSize)
        reportError("Include past end of file");
}

[[noreturn]] void failToRead(const char* name)
{
    std::fprintf(stderr, "Error while reading %s! %s\n", name, std::strerror(errno));
    exitWithError();
}

// Reads the file to its end, whatever size the system reports (a file under
// /proc reports none), and returns how long it is. The bytes from `start`
// on are kept, up to `keep` of them: no more than an output may take.
int64_t readToEnd(FILE* file, const char* name, int64_t start, int64_t keep, std::string& kept)
{
    static char block[65536];
    int64_t size = 0;
    while (std::size_t got = std::fread(block, 1, sizeof block, file)) {
        int64_t from = std::clamp<int64_t>(start - size, 0, static_cast<int64_t>(got));
        int64_t wanted = std::min<int64_t>(static_cast<int64_t>(got) - from, keep - static_cast<int64_t>(kept.size()));
        if (wanted > 0)
            kept.append(block + from, static_cast<std::size_t>(wanted));
        size += static_cast<int64_t>(got);
    }
    if (std::ferror(file))
        failToRead(name);
    return size;
}

}  // namespace

std::string stringTokenAsFileName()
{
    std::string name(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    requireUsableFileName(name);
    return name;
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
    std::string name = locateInput(stringTokenAsFileName());
    noteBinaryInput(name);
    // Opened and read in every pass: its length moves the address.
    FILE* file = openBinaryInput(name.c_str());
    advanceToken();
    IncludeRange range = readIncludeRange();
    int64_t keep = asmState.finalPass ? std::min(range.length.value_or(OUTPUT_SIZE_LIMIT), OUTPUT_SIZE_LIMIT) : 0;
    std::string bytes;
    int64_t fileSize = readToEnd(file, name.c_str(), range.start, keep, bytes);
    std::fclose(file);
    int64_t length = range.length.value_or(fileSize - range.start);
    checkIncludeRange(range.start, length, fileSize);
    if (asmState.finalPass) {
        requireOutputEndWithinLimit(asmState.outputPosition + length);
        const auto* kept = reinterpret_cast<const unsigned char*>(bytes.data());
        if (listingActive())
            listRun(kept, bytes.size(), length, asmState.outputPosition);
        std::fwrite(kept, 1, bytes.size(), asmState.outputFile);
    }
    advancePosition(static_cast<int32_t>(length));
}
