#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstdint>
#include <string>

namespace {

constexpr int CONDITION_CARRY = 3;

}  // namespace

bool isOpeningBracket(int token)
{
    return token == '(' || token == '[';
}

bool isClosingBracket(int token)
{
    return token == ')' || token == ']';
}

bool fitsSignedByte(int32_t value)
{
    return value >= -128 && value <= 127;
}

void requireComma()
{
    if (asmState.curToken != ',')
        reportErrorAtToken("Comma expected");
    advanceToken();
}

void checkClosingBracket()
{
    if (!isClosingBracket(asmState.curToken))
        reportErrorAtToken("Closing brackets expected");
}

bool readByteOperand(ByteOperand& operand, unsigned forms)
{
    int token = asmState.curToken;
    if (token == TOKEN_INDEX_OPEN && (forms & WITH_INDEXED)) {
        operand.code = INDIRECT_HL_CODE;
        operand.prefix = asmState.tokenValue;
        operand.indexed = true;
        operand.displacement = readIndexDisplacement();
        return true;
    }
    if (isRegister8(token))
        operand.prefix = 0;
    else if (isIndexHalf(token) && (forms & WITH_INDEX_HALVES))
        operand.prefix = indexHalfPrefix(token);
    else
        return false;
    operand.code = asmState.tokenValue;
    operand.indexed = false;
    operand.displacement = 0;
    return true;
}

// Out of line, so that readByteOperand keeps no registers for it.
[[gnu::noinline]] int32_t readIndexDisplacement()
{
    advanceToken();
    int32_t displacement = isClosingBracket(asmState.curToken) ? 0 : evaluateExpression();
    if (!fitsSignedByte(displacement))
        reportWarning(WarningClass::RANGE, "Exceeded range of index");
    checkClosingBracket();
    return displacement;
}

int32_t readBracketedAddress()
{
    advanceToken();
    int32_t address = evaluateExpression();
    checkClosingBracket();
    return address;
}

int pairCode(int token, const int (&pairs)[4])
{
    const int* found = std::find(std::begin(pairs), std::end(pairs), token);
    return found == std::end(pairs) ? -1 : static_cast<int>(found - std::begin(pairs));
}

bool readPairOperand(PairOperand& operand, const int (&pairs)[4])
{
    int token = asmState.curToken;
    bool isIndex = isIndexRegister(token);
    operand.prefix = isIndex ? indexRegisterPrefix(token) : 0;
    operand.code = isIndex ? HL_PAIR_CODE : pairCode(token, pairs);
    return operand.code >= 0;
}

int conditionCode(int highestCode)
{
    int token = asmState.curToken;
    int code = -1;
    if (token == TOKEN_C)
        code = CONDITION_CARRY;
    else if (token >= TOKEN_NZ && token <= TOKEN_M)
        code = asmState.tokenValue;
    return code <= highestCode ? code : -1;
}

uint32_t readCheckedOperand(bool (*isValid)(uint32_t value), const char* message)
{
    advanceToken();
    if (!beginsExpression(asmState.curToken))
        reportErrorAtToken(message);
    // The expression ends only at the token after it, which may be the
    // marker of the next line or of the including file.
    SourcePosition instruction = currentSourcePosition();
    auto value = static_cast<uint32_t>(evaluateUpToLogicalOperator());
    if (!isValid(value))
        reportErrorAt(instruction, message);
    return value;
}

void emitOpcode(int prefix, int opcode)
{
    if (prefix)
        emitWord(prefix | opcode << 8);
    else
        emitByte(opcode);
}

void emitWithByteOperand(const ByteOperand& operand, int opcode)
{
    emitOpcode(operand.prefix, opcode);
    if (operand.indexed)
        emitByte(operand.displacement);
}

void emitBitGroup(const ByteOperand& operand, int opcode)
{
    if (operand.indexed) {
        emitWord(operand.prefix | PREFIX_CB << 8);
        emitByte(operand.displacement);
        emitByte(opcode);
    } else {
        emitWord(PREFIX_CB | opcode << 8);
    }
}

void missingTableRow(int mnemonic)
{
    std::string message = "Internal error: no encoding table row for token " + std::to_string(mnemonic);
    exitWithInternalError(message.c_str());
}
