#include "dispatcher.h"

#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"
#include "../driver/listing.h"
#include "../driver/sourceFiles.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "routes.h"

void runStatements()
{
    advanceToken();
    continueStatements();
}

void continueStatements()
{
    for (;;) {
        int token = asmState.curToken;
        // Messages name the line a statement starts on, even those raised at
        // its end, when the scanner has already read the next line's number.
        if (token != TOKEN_END_OF_STATEMENT) {
            markStatementStart();
            if (listingActive())
                listStatementStart();
        }
        if ((token == TOKEN_ELSE || token == TOKEN_ENDIF) && asmState.conditionalDepth == 0)
            reportError(token == TOKEN_ELSE ? "ELSE without IF" : "ENDIF without IF");
        StatementHandler handler = handlerFor(token);
        if (!handler)
            reportError("Illegal Text");
        handler();
        if (asmState.curToken == TOKEN_END_OF_INPUT)
            break;
    }
    // Assembled conditional blocks run in this same loop, so a block still
    // open at the end of the input shows here.
    if (asmState.conditionalDepth != 0)
        reportError("IF without ENDIF");
}

void endStatement()
{
    if (asmState.addressLimit != 0 && asmState.address > asmState.addressLimit) {
        reportWarning("Assembly Position exceeded specified address");
        asmState.addressLimit = 0;
    }
    asmState.statementAddress = wrappingAdd(asmState.address, asmState.phaseOffset);
    asmState.statementOutputPosition = asmState.outputPosition;
}
