#include "dispatcher.h"

#include "routes.h"
#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"
#include "../scanner/scanner.h"
#include "../scanner/tokens.h"

void advanceToken()
{
    asmState.curToken = nextToken();
}

void runStatements()
{
    advanceToken();
    continueStatements();
}

void continueStatements()
{
    for (;;) {
        int token = asmState.curToken;
        if (token == TOKEN_ELSE || token == TOKEN_ENDIF) {
            if (asmState.conditionalDepth != 0)
                return;
            reportError(token == TOKEN_ELSE ? "ELSE without IF" : "ENDIF without IF");
        }
        StatementHandler handler = handlerFor(token);
        if (!handler)
            reportError("Illegal Text");
        handler();
        if (asmState.curToken == TOKEN_END_OF_INPUT)
            return;
    }
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
