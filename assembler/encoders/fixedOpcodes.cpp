#include "fixedOpcodes.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/output.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

namespace {

constexpr FixedOpcode FIXED_OPCODES[] = {
    {TOKEN_NOP, 1, {0x00}},        {TOKEN_RLCA, 1, {0x07}},       {TOKEN_RRCA, 1, {0x0F}},
    {TOKEN_RLA, 1, {0x17}},        {TOKEN_RRA, 1, {0x1F}},        {TOKEN_DAA, 1, {0x27}},
    {TOKEN_CPL, 1, {0x2F}},        {TOKEN_SCF, 1, {0x37}},        {TOKEN_CCF, 1, {0x3F}},
    {TOKEN_HALT, 1, {0x76}},       {TOKEN_DI, 1, {0xF3}},         {TOKEN_EI, 1, {0xFB}},
    {TOKEN_EXX, 1, {0xD9}},        {TOKEN_NEG, 2, {0xED, 0x44}},  {TOKEN_RETN, 2, {0xED, 0x45}},
    {TOKEN_RETI, 2, {0xED, 0x4D}}, {TOKEN_RRD, 2, {0xED, 0x67}},  {TOKEN_RLD, 2, {0xED, 0x6F}},
    {TOKEN_LDI, 2, {0xED, 0xA0}},  {TOKEN_CPI, 2, {0xED, 0xA1}},  {TOKEN_INI, 2, {0xED, 0xA2}},
    {TOKEN_OUTI, 2, {0xED, 0xA3}}, {TOKEN_LDD, 2, {0xED, 0xA8}},  {TOKEN_CPD, 2, {0xED, 0xA9}},
    {TOKEN_IND, 2, {0xED, 0xAA}},  {TOKEN_OUTD, 2, {0xED, 0xAB}}, {TOKEN_LDIR, 2, {0xED, 0xB0}},
    {TOKEN_CPIR, 2, {0xED, 0xB1}}, {TOKEN_INIR, 2, {0xED, 0xB2}}, {TOKEN_OTIR, 2, {0xED, 0xB3}},
    {TOKEN_LDDR, 2, {0xED, 0xB8}}, {TOKEN_CPDR, 2, {0xED, 0xB9}}, {TOKEN_INDR, 2, {0xED, 0xBA}},
    {TOKEN_OTDR, 2, {0xED, 0xBB}}, {TOKEN_GB_RETI, 1, {0xD9}},    {TOKEN_GB_STOP, 2, {0x10, 0x00}},
};

}  // namespace

const FixedOpcode* findFixedOpcode(int token)
{
    // Indexed by token once, since every instruction statement asks.
    static const auto* const byToken = [] {
        static const FixedOpcode* table[TOKEN_COUNT] = {};
        for (const FixedOpcode& entry : FIXED_OPCODES)
            table[entry.token] = &entry;
        return table;
    }();
    return token >= 0 && token < TOKEN_COUNT ? byToken[token] : nullptr;
}

void emitFixedOpcode()
{
    const FixedOpcode* opcode = findFixedOpcode(asmState.curToken);
    if (opcode->length == 1)
        emitByte(opcode->bytes[0]);
    else
        emitWord(opcode->bytes[0] | (opcode->bytes[1] << 8));
    advanceToken();
}
