#include "conditionals.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/inputLookup.h"
#include "../driver/base/listing.h"
#include "../driver/base/sourceFiles.h"
#include "../expressions/evaluator.h"
#include "../expressions/labels.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "dispatcher.h"
#include "fileDirectives.h"

#include <cstddef>
#include <utility>
#include <vector>

namespace {

struct ConditionalState {
    // For each open assembled block, by level - 1: whether its else-part is
    // being assembled. A block's level is conditionalDepth just after it
    // opened; entries above the current depth are stale and rewritten on entry.
    std::vector<bool> inElsePart;
    // For each open block, assembled or skipped, by level - 1: the segment
    // and line of its opening keyword, for "IF without ENDIF".
    std::vector<std::pair<int, int>> openedAt;
};

ConditionalState conditionals;

void noteOpening(int segment, int line)
{
    auto index = static_cast<std::size_t>(asmState.conditionalDepth - 1);
    if (conditionals.openedAt.size() <= index)
        conditionals.openedAt.resize(index + 1);
    conditionals.openedAt[index] = {segment, line};
}

int openBlock()
{
    ++asmState.conditionalDepth;
    noteOpening(statementSegment(), statementLine());
    return asmState.conditionalDepth;
}

bool opensBlock(int token)
{
    return token == TOKEN_IF || token == TOKEN_IFDEF || token == TOKEN_IFEXIST;
}

void enterPart(int level, bool elsePart)
{
    auto index = static_cast<std::size_t>(level - 1);
    if (conditionals.inElsePart.size() <= index)
        conditionals.inElsePart.resize(index + 1);
    conditionals.inElsePart[index] = elsePart;
}

// Skips text from curToken on without assembling it, counting the blocks
// nested in it. Stops on the block's own "ENDIF" (already counted out) or,
// if asked, on its own "ELSE"; leaves that keyword in curToken.
int skipUnassembled(int level, bool stopAtOwnElse)
{
    if (listingActive())
        beginUnassembled();
    for (;; advanceToken()) {
        int token = asmState.curToken;
        if (opensBlock(token)) {
            ++asmState.conditionalDepth;
            noteOpening(readingSegmentIndex(), readingLine());
        } else if (token == TOKEN_ELSE) {
            if (stopAtOwnElse && asmState.conditionalDepth == level) {
                if (listingActive())
                    endUnassembled();
                return token;
            }
        } else if (token == TOKEN_ENDIF) {
            if (asmState.conditionalDepth-- == level) {
                if (listingActive())
                    endUnassembled();
                return token;
            }
        } else if (token == TOKEN_END_OF_INPUT) {
            reportUnclosedBlock();
        }
    }
}

// Entered on the first token after the condition's operand.
void startBlock(int level, bool condition)
{
    if (condition) {
        enterPart(level, false);
        return;
    }
    if (skipUnassembled(level, true) == TOKEN_ELSE)
        enterPart(level, true);
    advanceToken();
}

bool labelDefinedInThisPass()
{
    const LabelRecord* record = findTokenLabel();
    return record && record->definitionPass == asmState.pass;
}

bool labelOrFileExists()
{
    if (asmState.curToken == TOKEN_IDENTIFIER)
        return findTokenLabel() != nullptr;
    if (asmState.curToken == TOKEN_STRING)
        return inputExists(stringTokenAsFileName());
    reportErrorAtToken("Illegal operand for IFEXIST");
}

}  // namespace

void ifDirective()
{
    int level = openBlock();
    advanceToken();
    bool condition = evaluateExpression() != 0;
    startBlock(level, condition);
}

void ifdefDirective()
{
    int level = openBlock();
    advanceToken();
    if (asmState.curToken != TOKEN_IDENTIFIER)
        reportErrorAtToken("Illegal operand for IFDEF");
    bool condition = labelDefinedInThisPass();
    advanceToken();
    startBlock(level, condition);
}

void ifexistDirective()
{
    int level = openBlock();
    advanceToken();
    bool condition = labelOrFileExists();
    advanceToken();
    startBlock(level, condition);
}

void reportUnclosedBlock()
{
    const std::pair<int, int>& innermost
        = conditionals.openedAt[static_cast<std::size_t>(asmState.conditionalDepth - 1)];
    reportErrorNaming("IF without ENDIF", {}, {{definitionPlace(innermost.first, innermost.second), "IF opened here"}});
}

void elseDirective()
{
    int level = asmState.conditionalDepth;
    if (level == 0 || conditionals.inElsePart[static_cast<std::size_t>(level - 1)])
        reportError("ELSE without IF");
    advanceToken();
    skipUnassembled(level, false);
    advanceToken();
}

void endifDirective()
{
    if (asmState.conditionalDepth == 0)
        reportError("ENDIF without IF");
    --asmState.conditionalDepth;
    advanceToken();
}
