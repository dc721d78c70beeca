#include "tokenStream.h"

#include "scanner.h"
#include "../driver/AsmState.h"

void advanceToken()
{
    asmState.curToken = nextToken();
}
