#include "conditionals.h"

#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"
#include "../driver/listing.h"
#include "../driver/sourceFiles.h"
#include "../expressions/evaluator.h"
#include "../expressions/labels.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "dispatcher.h"
#include "fileDirectives.h"

#include <cstddef>
#include <vector>

namespace {

struct ConditionalState {
    // For each open assembled block, by level - 1: whether its else-part is
    // being assembled. A block's level is conditionalDepth just after it
    // opened; entries above the current depth are stale and rewritten on entry.
    std::vector<bool> inElsePart;
};

ConditionalState conditionals;

int openBlock()
{
    return ++asmState.conditionalDepth;
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
            reportError("IF without ENDIF");
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
    reportError("Illegal operand for IFEXIST");
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
        reportError("Illegal operand for IFDEF");
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
