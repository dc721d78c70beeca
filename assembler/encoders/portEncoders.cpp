// IN and OUT of the Z80 and R800.
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

constexpr int INPUT_FROM_PORT = 0xDB;   // IN A,(n)
constexpr int OUTPUT_TO_PORT = 0xD3;    // OUT (n),A
constexpr int INPUT_THROUGH_C = 0x40;   // ED 40+8r
constexpr int OUTPUT_THROUGH_C = 0x41;  // ED 41+8r
constexpr int FLAGS_CODE = 6;           // IN F,(C) and IN (C)

// The message of a port operand that is neither "(C)" nor a port in brackets.
constexpr const char* NO_PORT = "";

bool isInputRegister(int token)
{
    return isPlainRegister8(token) || token == TOKEN_F;
}

void emitThroughC(int opcode)
{
    emitWord(PREFIX_ED | opcode << 8);
    advanceToken();
}

void encodePortInput()
{
    advanceToken();
    int destination = asmState.curToken;
    if (destination == TOKEN_INDIRECT_C) {
        emitThroughC(INPUT_THROUGH_C + 8 * FLAGS_CODE);
        return;
    }
    if (!isInputRegister(destination))
        reportErrorAtToken("No valid Register");
    int code = asmState.tokenValue;
    advanceToken();
    requireComma();
    if (destination == TOKEN_A && isOpeningBracket(asmState.curToken)) {
        int32_t port = readBracketedAddress();
        emitByte(INPUT_FROM_PORT);
        emitByte(port);
        advanceToken();
        return;
    }
    if (asmState.curToken != TOKEN_INDIRECT_C)
        reportError(NO_PORT);
    emitThroughC(INPUT_THROUGH_C + 8 * code);
}

void encodePortOutput()
{
    advanceToken();
    if (isOpeningBracket(asmState.curToken)) {
        int32_t port = readBracketedAddress();
        advanceToken();
        requireComma();
        if (asmState.curToken != TOKEN_A)
            reportErrorAtToken("No valid Register");
        emitByte(OUTPUT_TO_PORT);
        emitByte(port);
        advanceToken();
        return;
    }
    if (asmState.curToken != TOKEN_INDIRECT_C)
        reportError(NO_PORT);
    advanceToken();
    requireComma();
    if (!isPlainRegister8(asmState.curToken))
        reportErrorAtToken("No valid Register");
    emitThroughC(OUTPUT_THROUGH_C + 8 * asmState.tokenValue);
}

}  // namespace

void addPortRoutes(std::vector<EncoderRoute>& routes)
{
    routes.push_back({TOKEN_IN, encodePortInput});
    routes.push_back({TOKEN_OUT, encodePortOutput});
}
