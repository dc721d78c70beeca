// The CB group: rotates and shifts, SWAP, and BIT, SET, RES.
#include "encoders.h"
#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstdint>

namespace {

struct BitGroupOperation {
    int mnemonic;
    uint8_t base;
};

// base+r. The GBZ80 SWAP sits where the Z80 has SLI.
constexpr BitGroupOperation ROTATES[] = {
    {TOKEN_RLC, 0x00}, {TOKEN_RRC, 0x08}, {TOKEN_RL, 0x10},  {TOKEN_RR, 0x18},      {TOKEN_SLA, 0x20},
    {TOKEN_SRA, 0x28}, {TOKEN_SLI, 0x30}, {TOKEN_SRL, 0x38}, {TOKEN_GB_SWAP, 0x30},
};

// base+8b+r.
constexpr BitGroupOperation BIT_OPERATIONS[] = {
    {TOKEN_BIT, 0x40},
    {TOKEN_SET, 0xC0},
    {TOKEN_RES, 0x80},
};

constexpr uint32_t HIGHEST_BIT = 7;

bool isBitNumber(uint32_t bit)
{
    return bit <= HIGHEST_BIT;
}

// curToken is the operand: a register, (HL) or (IX+d).
void encodeBitGroupOperand(int opcodeBase)
{
    ByteOperand operand;
    if (!readByteOperand(operand, WITH_INDEXED))
        reportErrorAtToken("No valid Register");
    emitBitGroup(operand, opcodeBase + operand.code);
    advanceToken();
}

void encodeRotate()
{
    const BitGroupOperation& operation = rowFor(ROTATES, asmState.curToken);
    advanceToken();
    encodeBitGroupOperand(operation.base);
}

void encodeBitOperation()
{
    const BitGroupOperation& operation = rowFor(BIT_OPERATIONS, asmState.curToken);
    uint32_t bit = readCheckedOperand(isBitNumber, "No valid bit number");
    requireComma();
    encodeBitGroupOperand(operation.base + 8 * static_cast<int>(bit));
}

}  // namespace

void addBitGroupRoutes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, ROTATES, encodeRotate);
    addTableRoutes(routes, BIT_OPERATIONS, encodeBitOperation);
}
