#include "dispatcher.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/listing.h"
#include "../driver/base/sourceFiles.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "conditionals.h"
#include "decodedStatements.h"
#include "routes.h"

void runStatements()
{
    advanceToken();
    continueStatements();
}

namespace {

StatementHandler handlerFor(const StatementHandler* handlers, int token)
{
    return static_cast<unsigned>(token) < TOKEN_COUNT ? handlers[token] : refuseStatement;
}

void runStatement(const StatementHandler* handlers, int token)
{
    // Messages name the line a statement starts on, even those raised at
    // its end, when the scanner has already read the next line's number.
    markStatementStart();
    if (listingActive())
        listStatementStart();
    runDecodable(handlerFor(handlers, token), token);
}

}  // namespace

void continueStatements()
{
    // Fetched once per pass, not once per statement.
    const StatementHandler* handlers = statementHandlers();
    for (;;) {
        int token = asmState.curToken;
        // Every line ends in this token, so it is handled here, not routed.
        if (token == TOKEN_END_OF_STATEMENT) {
            endStatement();
            advanceToken();
        } else {
            runStatement(handlers, token);
        }
        if (asmState.curToken == TOKEN_END_OF_INPUT)
            break;
    }
    // Assembled conditional blocks run in this same loop, so a block still
    // open at the end of the input shows here.
    if (asmState.conditionalDepth != 0)
        reportUnclosedBlock();
}

void endStatement()
{
    if (asmState.addressLimit != 0 && asmState.address > asmState.addressLimit) {
        reportWarning(WarningClass::ORG_LIMIT, "Assembly Position exceeded specified address");
        asmState.addressLimit = 0;
    }
    asmState.statementAddress = wrappingAdd(asmState.address, asmState.phaseOffset);
    asmState.statementOutputPosition = asmState.outputPosition;
}
