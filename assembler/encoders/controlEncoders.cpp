// Jumps, calls, returns, restarts and the interrupt mode.
#include "encoders.h"
#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../expressions/labelReads.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstdint>

namespace {

constexpr int ANY_CONDITION = 7;        // NZ, Z, NC, C, PO, PE, P, M
constexpr int CARRY_AND_ZERO_ONLY = 3;  // NZ, Z, NC, C
constexpr int NO_CONDITION = -1;

struct AbsoluteJump {
    int mnemonic;
    uint8_t conditionalBase;  // base+8cc nn nn
    uint8_t opcode;           // opcode nn nn
    uint8_t indirectOpcode;   // JP (HL) and JP (IX); 0: no such form
};

constexpr AbsoluteJump ABSOLUTE_JUMPS[] = {
    {TOKEN_JP, 0xC2, 0xC3, 0xE9},
    {TOKEN_CALL, 0xC4, 0xCD, 0},
};

struct RelativeJump {
    int mnemonic;
    int highestCondition;
    uint8_t conditionalBase;  // base+8cc e
    uint8_t opcode;           // opcode e
};

constexpr RelativeJump RELATIVE_JUMPS[] = {
    {TOKEN_JR, CARRY_AND_ZERO_ONLY, 0x20, 0x18},
    {TOKEN_DJNZ, NO_CONDITION, 0, 0x10},
};

constexpr int RETURN_OPCODE = 0xC9;
constexpr int CONDITIONAL_RETURN_BASE = 0xC0;  // base+8cc
constexpr int RESTART_BASE = 0xC7;             // base+v
constexpr uint32_t RESTART_ADDRESS_BITS = 0x38;

constexpr uint8_t INTERRUPT_MODE_OPCODES[] = {0x46, 0x56, 0x5E};  // behind ED

bool isRestartAddress(uint32_t address)
{
    return (address & ~RESTART_ADDRESS_BITS) == 0;
}

bool isInterruptMode(uint32_t mode)
{
    return mode < std::size(INTERRUPT_MODE_OPCODES);
}

// Offsets count from the logical address after the instruction, where the
// target (a label or "$") lives too, so PHASE does not disturb them.
void emitRelativeJump(int opcode)
{
    notePositionRead(wrappingAdd(asmState.address, asmState.phaseOffset));
    emitByte(opcode);
    int32_t target = evaluateExpression();
    int32_t logicalAddress = wrappingAdd(asmState.address, asmState.phaseOffset);
    int32_t offset = wrappingSubtract(wrappingSubtract(target, logicalAddress), 1);
    if (!fitsSignedByte(offset))
        reportWarning(WarningClass::RANGE, "Exceeded range of displacement");
    emitByte(offset);
}

// JP (HL), JP (IX), JP (IY); false when curToken is none of them.
bool jumpIndirectly(int opcode)
{
    int token = asmState.curToken;
    if (token == TOKEN_INDIRECT_HL) {
        emitByte(opcode);
    } else if (token == TOKEN_INDEX_OPEN) {
        int prefix = asmState.tokenValue;
        advanceToken();
        checkClosingBracket();
        emitOpcode(prefix, opcode);
    } else {
        return false;
    }
    advanceToken();
    return true;
}

void encodeAbsoluteJump()
{
    const AbsoluteJump& jump = rowFor(ABSOLUTE_JUMPS, asmState.curToken);
    advanceToken();
    if (jump.indirectOpcode && jumpIndirectly(jump.indirectOpcode))
        return;
    int condition = conditionCode(ANY_CONDITION);
    int opcode = jump.opcode;
    if (condition >= 0) {
        opcode = jump.conditionalBase + 8 * condition;
        advanceToken();
        requireComma();
    }
    emitByte(opcode);
    emitWord(evaluateExpression());
}

void encodeRelativeJump()
{
    const RelativeJump& jump = rowFor(RELATIVE_JUMPS, asmState.curToken);
    advanceToken();
    int condition = conditionCode(jump.highestCondition);
    if (condition < 0) {
        emitRelativeJump(jump.opcode);
        return;
    }
    advanceToken();
    requireComma();
    emitRelativeJump(jump.conditionalBase + 8 * condition);
}

void encodeReturn()
{
    advanceToken();
    int condition = conditionCode(ANY_CONDITION);
    if (condition < 0) {
        emitByte(RETURN_OPCODE);
        return;
    }
    emitByte(CONDITIONAL_RETURN_BASE + 8 * condition);
    advanceToken();
}

void encodeRestart()
{
    uint32_t address = readCheckedOperand(isRestartAddress, "No valid RST address");
    emitByte(RESTART_BASE + static_cast<int>(address));
}

void encodeInterruptMode()
{
    uint32_t mode = readCheckedOperand(isInterruptMode, "No valid interrupt mode");
    emitWord(PREFIX_ED | INTERRUPT_MODE_OPCODES[mode] << 8);
}

}  // namespace

void addControlRoutes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, ABSOLUTE_JUMPS, encodeAbsoluteJump);
    for (const RelativeJump& jump : RELATIVE_JUMPS)
        routes.push_back({jump.mnemonic, encodeRelativeJump});
    routes.push_back({TOKEN_RET, encodeReturn});
    routes.push_back({TOKEN_RST, encodeRestart});
    routes.push_back({TOKEN_IM, encodeInterruptMode});
}
