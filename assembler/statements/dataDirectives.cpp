#include "dataDirectives.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "dispatcher.h"

#include <cstdint>

namespace {

// A string is taken as text only when it is the operand's first token.
bool operandIsString()
{
    return asmState.curToken == TOKEN_STRING;
}

// Runs handleOperand for each operand of a ","-separated list; each is
// entered on the operand's first token and leaves the token after it.
void forEachOperand(void (*handleOperand)())
{
    do {
        advanceToken();
        handleOperand();
    } while (asmState.curToken == ',');
}

void byteOperand()
{
    if (operandIsString()) {
        emitText();
        advanceToken();
    } else {
        emitByte(evaluateExpression());
    }
}

// The last character carries bit 7, so that the end of each string can be
// found without a terminator.
void markedStringOperand()
{
    if (!operandIsString())
        reportErrorAtToken("String expected");
    // An empty string has no byte to carry the mark; emitting nothing would
    // silently drop an entry from a table of such strings.
    if (asmState.tokenLength == 0)
        reportError("Empty string not allowed");
    asmState.tokenText[asmState.tokenLength - 1] |= static_cast<char>(0x80);
    emitText();
    advanceToken();
}

void wordOperand()
{
    if (!operandIsString()) {
        emitWord(evaluateExpression());
        return;
    }
    emitText();
    if (asmState.tokenLength % 2 != 0)
        emitByte(0);
    advanceToken();
}

// A positive count of reserved units moves the address only: the output
// image does not contain reserved space.
void reserve(int32_t unitSize)
{
    advanceToken();
    int32_t count = evaluateExpression();
    if (count > 0)
        asmState.address = wrappingAdd(
            asmState.address, static_cast<int32_t>(static_cast<uint32_t>(count) * static_cast<uint32_t>(unitSize)));
}

}  // namespace

void dbDirective()
{
    forEachOperand(byteOperand);
}

void dcDirective()
{
    forEachOperand(markedStringOperand);
}

void dwDirective()
{
    forEachOperand(wordOperand);
}

void dsDirective()
{
    advanceToken();
    int32_t count = evaluateExpression();
    int32_t fill = 0;
    if (asmState.curToken == ',') {
        advanceToken();
        fill = evaluateExpression();
    }
    if (count <= 0)
        return;
    emitFill(fill, count);
}

void rbDirective()
{
    reserve(1);
}

void rwDirective()
{
    reserve(2);
}
