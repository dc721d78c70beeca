// INC, DEC and the accumulator operations with their 16-bit forms.
#include "encoders.h"
#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <cstdint>

namespace {

struct Increment {
    int mnemonic;
    uint8_t byteBase;  // base+8r; halves and (IX+d) behind their prefix
    uint8_t pairBase;  // base+16p; IX and IY take the place of HL
};

constexpr Increment INCREMENTS[] = {
    {TOKEN_INC, 0x04, 0x03},
    {TOKEN_DEC, 0x05, 0x0B},
};

struct AccumulatorOperation {
    int mnemonic;
    uint8_t registerBase;     // k+r
    uint8_t immediateOpcode;  // i n
};

// The GBZ80 ADC and SBC are tokens of their own with the same opcodes; in
// that mode index operands are no tokens, so no index form can arise.
constexpr AccumulatorOperation ACCUMULATOR_OPERATIONS[] = {
    {TOKEN_ADD, 0x80, 0xC6},    {TOKEN_ADC, 0x88, 0xCE},    {TOKEN_SUB, 0x90, 0xD6}, {TOKEN_SBC, 0x98, 0xDE},
    {TOKEN_AND, 0xA0, 0xE6},    {TOKEN_XOR, 0xA8, 0xEE},    {TOKEN_OR, 0xB0, 0xF6},  {TOKEN_CP, 0xB8, 0xFE},
    {TOKEN_GB_ADC, 0x88, 0xCE}, {TOKEN_GB_SBC, 0x98, 0xDE},
};

// ADD HL,p and the other 16-bit forms, chosen by mnemonic and first operand.
struct WideForm {
    int mnemonic;
    int first;
    uint8_t prefix;
    uint8_t base;  // base+16p
    int pairs[4];  // the second operands, by code
};

constexpr WideForm WIDE_FORMS[] = {
    {TOKEN_ADD, TOKEN_HL, 0, 0x09, {TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_SP}},
    {TOKEN_ADD, TOKEN_IX, PREFIX_IX, 0x09, {TOKEN_BC, TOKEN_DE, TOKEN_IX, TOKEN_SP}},
    {TOKEN_ADD, TOKEN_IY, PREFIX_IY, 0x09, {TOKEN_BC, TOKEN_DE, TOKEN_IY, TOKEN_SP}},
    {TOKEN_ADC, TOKEN_HL, PREFIX_ED, 0x4A, {TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_SP}},
    {TOKEN_SBC, TOKEN_HL, PREFIX_ED, 0x42, {TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_SP}},
};

const WideForm* findWideForm(int mnemonic, int first)
{
    return findRow<WideForm>(WIDE_FORMS,
                             [=](const WideForm& form) { return form.mnemonic == mnemonic && form.first == first; });
}

// The first operand has been read; curToken is the comma.
void encodeWideForm(const WideForm& form)
{
    requireComma();
    int code = pairCode(asmState.curToken, form.pairs);
    if (code < 0)
        reportErrorAtToken("No valid Register");
    emitOpcode(form.prefix, form.base + 16 * code);
    advanceToken();
}

// curToken is the source; A is implied as destination.
void encodeAccumulatorSource(const AccumulatorOperation& operation)
{
    ByteOperand source;
    if (readByteOperand(source, WITH_INDEX_HALVES | WITH_INDEXED)) {
        emitWithByteOperand(source, operation.registerBase + source.code);
        advanceToken();
        return;
    }
    emitByte(operation.immediateOpcode);
    emitByte(evaluateExpression());
}

void encodeIncrement()
{
    const Increment& operation = rowFor(INCREMENTS, asmState.curToken);
    advanceToken();
    ByteOperand operand;
    if (readByteOperand(operand, WITH_INDEX_HALVES | WITH_INDEXED)) {
        emitWithByteOperand(operand, operation.byteBase + 8 * operand.code);
        advanceToken();
        return;
    }
    PairOperand pair;
    if (!readPairOperand(pair, WORD_PAIRS))
        reportErrorAtToken("No valid Register");
    emitOpcode(pair.prefix, operation.pairBase + 16 * pair.code);
    advanceToken();
}

void encodeAccumulatorOperation()
{
    const AccumulatorOperation& operation = rowFor(ACCUMULATOR_OPERATIONS, asmState.curToken);
    advanceToken();
    if (const WideForm* form = findWideForm(operation.mnemonic, asmState.curToken)) {
        advanceToken();
        encodeWideForm(*form);
        return;
    }
    if (asmState.curToken == TOKEN_A) {
        advanceToken();
        if (asmState.curToken != ',') {
            emitByte(operation.registerBase + ACCUMULATOR_CODE);
            return;
        }
        advanceToken();
    }
    encodeAccumulatorSource(operation);
}

}  // namespace

void addArithmeticRoutes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, INCREMENTS, encodeIncrement);
    addTableRoutes(routes, ACCUMULATOR_OPERATIONS, encodeAccumulatorOperation);
}
