// The GBZ80's own transfers: LDI and LDD through HL, and LDH, IN and OUT
// on the high page FF00..FFFF.
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

struct LoadAndStep {
    int mnemonic;
    uint8_t storeOpcode;  // (HL),A
    uint8_t loadOpcode;   // A,(HL)
};

constexpr LoadAndStep LOADS_AND_STEPS[] = {
    {TOKEN_GB_LDI, 0x22, 0x2A},
    {TOKEN_GB_LDD, 0x32, 0x3A},
};

struct HighPageTransfer {
    int mnemonic;
    bool stores;  // takes (n),A and (C),A
    bool loads;   // takes A,(n) and A,(C)
    const char* illegalAddressMessage;
};

constexpr HighPageTransfer HIGH_PAGE_TRANSFERS[] = {
    {TOKEN_GB_LDH, true, true, "Illegal address for LDH"},
    {TOKEN_GB_IN, false, true, "Illegal address for IN"},
    {TOKEN_GB_OUT, true, false, "Illegal address for OUT"},
};

constexpr int STORE_TO_ADDRESS = 0xE0;   // (n),A
constexpr int STORE_THROUGH_C = 0xE2;    // (C),A
constexpr int LOAD_FROM_ADDRESS = 0xF0;  // A,(n)
constexpr int LOAD_THROUGH_C = 0xF2;     // A,(C)

constexpr uint32_t HIGH_PAGE_GAP_START = 0x100;
constexpr uint32_t HIGH_PAGE_GAP_LENGTH = 0xFF00 - 0x100;

void requireRegister(int token)
{
    if (asmState.curToken != token)
        reportErrorAtToken("No valid register");
}

// Addresses 100..FEFF lie outside both the zero page and the high page;
// values beyond 16 bits are left to the low byte.
void emitHighPageAddress(int opcode, int32_t address, const HighPageTransfer& transfer)
{
    if (static_cast<uint32_t>(address) - HIGH_PAGE_GAP_START < HIGH_PAGE_GAP_LENGTH)
        reportError(transfer.illegalAddressMessage);
    emitByte(opcode);
    emitByte(address & 0xFF);
}

// curToken is "(", "[" or "(C)".
void storeToHighPage(const HighPageTransfer& transfer)
{
    bool throughC = asmState.curToken == TOKEN_INDIRECT_C;
    int32_t address = throughC ? 0 : readBracketedAddress();
    advanceToken();
    requireComma();
    requireRegister(TOKEN_A);
    if (throughC)
        emitByte(STORE_THROUGH_C);
    else
        emitHighPageAddress(STORE_TO_ADDRESS, address, transfer);
    advanceToken();
}

// curToken is "A".
void loadFromHighPage(const HighPageTransfer& transfer)
{
    advanceToken();
    requireComma();
    if (isOpeningBracket(asmState.curToken)) {
        int32_t address = readBracketedAddress();
        emitHighPageAddress(LOAD_FROM_ADDRESS, address, transfer);
    } else {
        requireRegister(TOKEN_INDIRECT_C);
        emitByte(LOAD_THROUGH_C);
    }
    advanceToken();
}

void encodeLoadAndStep()
{
    const LoadAndStep& operation = rowFor(LOADS_AND_STEPS, asmState.curToken);
    advanceToken();
    int first = asmState.curToken;
    if (first != TOKEN_A && first != TOKEN_INDIRECT_HL)
        reportErrorAtToken("No valid register");
    advanceToken();
    requireComma();
    bool loads = first == TOKEN_A;
    requireRegister(loads ? TOKEN_INDIRECT_HL : TOKEN_A);
    emitByte(loads ? operation.loadOpcode : operation.storeOpcode);
    advanceToken();
}

void encodeHighPageTransfer()
{
    const HighPageTransfer& transfer = rowFor(HIGH_PAGE_TRANSFERS, asmState.curToken);
    advanceToken();
    int first = asmState.curToken;
    if (transfer.stores && (isOpeningBracket(first) || first == TOKEN_INDIRECT_C))
        storeToHighPage(transfer);
    else if (transfer.loads && first == TOKEN_A)
        loadFromHighPage(transfer);
    else
        reportErrorAtToken("No valid register");
}

}  // namespace

void addGbz80Routes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, LOADS_AND_STEPS, encodeLoadAndStep);
    addTableRoutes(routes, HIGH_PAGE_TRANSFERS, encodeHighPageTransfer);
}
