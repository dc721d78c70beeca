#include "fileDirectives.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSafety.h"
#include "../driver/base/inputLookup.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../driver/base/sourceFiles.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "binaryInputs.h"
#include "dispatcher.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

namespace {

void requireFileNameToken()
{
    advanceToken();
    if (asmState.curToken != TOKEN_STRING)
        reportErrorAtToken("Filename expected");
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

std::string stringTokenText()
{
    return std::string(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
}

}  // namespace

std::string stringTokenAsFileName()
{
    std::string name = stringTokenText();
    requireFileNameWithoutNul(name);
    return name;
}

void fnameDirective()
{
    requireFileNameToken();
    // Its name is kept to 255 characters: a longer one is refused, not cut.
    std::string name = stringTokenText();
    requireUsableFileName(name);
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
    handOverOutput();
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
    std::string name = locateBinaryInput(stringTokenAsFileName());
    noteBinaryInput(name);
    // Read once, in the first pass that reaches it; its length moves the address in every pass.
    BinaryInput input = openBinaryInput(name);
    advanceToken();
    IncludeRange range = readIncludeRange();
    int64_t keep = asmState.finalPass ? std::min(range.length.value_or(OUTPUT_SIZE_LIMIT), OUTPUT_SIZE_LIMIT) : 0;
    BinaryInputBytes bytes = readBinaryInput(input, range.start, keep);
    int64_t length = range.length.value_or(bytes.fileSize - range.start);
    checkIncludeRange(range.start, length, bytes.fileSize);
    if (asmState.finalPass) {
        requireOutputEndWithinLimit(asmState.outputPosition + length);
        const auto* kept = reinterpret_cast<const unsigned char*>(bytes.kept.data());
        if (listingActive())
            listRun(kept, bytes.kept.size(), length, asmState.outputPosition);
        outputIncludedBytes(kept, bytes.kept.size());
    }
    advancePosition(static_cast<int32_t>(length));
}
