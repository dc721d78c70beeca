// MULUB and MULUW, the multiplies of the R800.
#include "encoders.h"
#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstdint>

namespace {

int byteRegisterCode(int token)
{
    return isPlainRegister8(token) ? asmState.tokenValue : -1;
}

int wordRegisterCode(int token)
{
    return pairCode(token, WORD_PAIRS);
}

struct Multiply {
    int mnemonic;
    int first;                     // the only first operand
    int (*sourceCode)(int token);  // -1 for no valid source
    uint8_t base;                  // ED base+stride*code
    uint8_t stride;
};

constexpr Multiply MULTIPLIES[] = {
    {TOKEN_MULUB, TOKEN_A, byteRegisterCode, 0xC1, 8},
    {TOKEN_MULUW, TOKEN_HL, wordRegisterCode, 0xC3, 16},
};

void encodeMultiply()
{
    const Multiply& multiply = rowFor(MULTIPLIES, asmState.curToken);
    advanceToken();
    if (asmState.curToken != multiply.first)
        reportErrorAtToken("No valid Register");
    advanceToken();
    requireComma();
    int code = multiply.sourceCode(asmState.curToken);
    if (code < 0)
        reportErrorAtToken("No valid Register");
    emitWord(PREFIX_ED | (multiply.base + multiply.stride * code) << 8);
    advanceToken();
}

}  // namespace

void addMultiplyRoutes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, MULTIPLIES, encodeMultiply);
}
