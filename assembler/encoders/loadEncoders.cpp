// LD of the Z80 and the GBZ80, EX, PUSH and POP.
//
// Both LD instructions run one procedure; what differs between the two
// processors (absolute loads and stores, register-pair loads) is in a table
// per processor.
#include "encoders.h"
#include "operands.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"

#include <algorithm>
#include <cstdint>
#include <span>

namespace {

constexpr int LOAD_REGISTER_BASE = 0x40;   // 40+8r+r'
constexpr int LOAD_IMMEDIATE_BASE = 0x06;  // 06+8r n

// LD A,(BC), LD A,I and the other sources that only the accumulator takes.
struct AccumulatorSource {
    int source;
    uint8_t prefix;
    uint8_t opcode;
};

constexpr AccumulatorSource ACCUMULATOR_SOURCES[] = {
    {TOKEN_INDIRECT_BC, 0, 0x0A},
    {TOKEN_INDIRECT_DE, 0, 0x1A},
    {TOKEN_I, PREFIX_ED, 0x57},
    {TOKEN_R, PREFIX_ED, 0x5F},
};

// LD (BC),A, LD I,A and the other destinations whose only source is A.
struct AccumulatorStore {
    int destination;
    uint8_t prefix;
    uint8_t opcode;
    const char* wrongSourceMessage;
};

constexpr AccumulatorStore ACCUMULATOR_STORES[] = {
    {TOKEN_INDIRECT_BC, 0, 0x02, "No valid register"},
    {TOKEN_INDIRECT_DE, 0, 0x12, "No valid register"},
    {TOKEN_I, PREFIX_ED, 0x47, "No valid Register"},
    {TOKEN_R, PREFIX_ED, 0x4F, "No valid Register"},
};

// LD (nn),source.
struct AbsoluteStore {
    int source;
    uint8_t prefix;
    uint8_t opcode;
};

// LD pair,nn and, where the processor has it, LD pair,(nn).
struct PairLoad {
    int destination;
    uint8_t prefix;
    uint8_t immediateOpcode;
    uint8_t memoryPrefix;
    uint8_t memoryOpcode;  // 0: no memory form, a bracket starts an expression
};

// LD SP,HL and the other loads of one register pair from another.
struct PairTransfer {
    int destination;
    int source;
    uint8_t prefix;
    uint8_t opcode;
    bool takesStackOffset;  // GBZ80 SP+e: an offset byte follows
};

struct LoadSet {
    uint8_t absoluteLoadOpcode;  // LD A,(nn)
    std::span<const AbsoluteStore> absoluteStores;
    std::span<const PairLoad> pairLoads;
    std::span<const PairTransfer> pairTransfers;
};

constexpr AbsoluteStore Z80_ABSOLUTE_STORES[] = {
    {TOKEN_A, 0, 0x32},          {TOKEN_HL, 0, 0x22},         {TOKEN_IX, PREFIX_IX, 0x22}, {TOKEN_IY, PREFIX_IY, 0x22},
    {TOKEN_BC, PREFIX_ED, 0x43}, {TOKEN_DE, PREFIX_ED, 0x53}, {TOKEN_SP, PREFIX_ED, 0x73},
};

constexpr PairLoad Z80_PAIR_LOADS[] = {
    {TOKEN_BC, 0, 0x01, PREFIX_ED, 0x4B},
    {TOKEN_DE, 0, 0x11, PREFIX_ED, 0x5B},
    {TOKEN_HL, 0, 0x21, 0, 0x2A},
    {TOKEN_IX, PREFIX_IX, 0x21, PREFIX_IX, 0x2A},
    {TOKEN_IY, PREFIX_IY, 0x21, PREFIX_IY, 0x2A},
    {TOKEN_SP, 0, 0x31, PREFIX_ED, 0x7B},
};

constexpr PairTransfer Z80_PAIR_TRANSFERS[] = {
    {TOKEN_SP, TOKEN_HL, 0, 0xF9, false},
    {TOKEN_SP, TOKEN_IX, PREFIX_IX, 0xF9, false},
    {TOKEN_SP, TOKEN_IY, PREFIX_IY, 0xF9, false},
};

constexpr LoadSet Z80_LOADS = {0x3A, Z80_ABSOLUTE_STORES, Z80_PAIR_LOADS, Z80_PAIR_TRANSFERS};

constexpr AbsoluteStore GB_ABSOLUTE_STORES[] = {
    {TOKEN_A, 0, 0xEA},
    {TOKEN_SP, 0, 0x08},
};

constexpr PairLoad GB_PAIR_LOADS[] = {
    {TOKEN_BC, 0, 0x01, 0, 0},
    {TOKEN_DE, 0, 0x11, 0, 0},
    {TOKEN_HL, 0, 0x21, 0, 0},
    {TOKEN_SP, 0, 0x31, 0, 0},
};

constexpr PairTransfer GB_PAIR_TRANSFERS[] = {
    {TOKEN_SP, TOKEN_HL, 0, 0xF9, false},
    {TOKEN_HL, TOKEN_SP, 0, 0xF8, true},
    {TOKEN_SP, TOKEN_SP, 0, 0xE8, true},
};

constexpr LoadSet GB_LOADS = {0xFA, GB_ABSOLUTE_STORES, GB_PAIR_LOADS, GB_PAIR_TRANSFERS};

// The four kinds of 8-bit operand that LD moves between.
enum ByteKind {
    PLAIN_REGISTER,
    INDIRECT_HL,
    INDEX_HALF,
    INDEXED,
    NOT_A_BYTE_OPERAND
};

// By destination kind, then source kind, in the order of ByteKind.
constexpr bool LOAD_COMBINES[4][4] = {
    {true, true, true, true},     // to a register: from anything
    {true, false, false, false},  // to (HL): from a register
    {true, false, true, false},   // to an index half: from a register or a half
    {true, false, false, false},  // to (IX+d): from a register
};

ByteKind kindOf(const ByteOperand& operand)
{
    if (operand.indexed)
        return INDEXED;
    if (operand.prefix)
        return INDEX_HALF;
    return operand.code == INDIRECT_HL_CODE ? INDIRECT_HL : PLAIN_REGISTER;
}

ByteKind kindOfToken(int token)
{
    if (isPlainRegister8(token))
        return PLAIN_REGISTER;
    if (token == TOKEN_INDIRECT_HL)
        return INDIRECT_HL;
    if (isIndexHalf(token))
        return INDEX_HALF;
    return token == TOKEN_INDEX_OPEN ? INDEXED : NOT_A_BYTE_OPERAND;
}

bool isHOrL(int code)
{
    return code == 4 || code == 5;
}

// Whether LD target,source (source in curToken) is a register-to-register
// load. H and L are no sources for a half. LD H,IXH and the like keep their
// established bytes (DD 64 ...), which existing sources rely on, although the
// prefix makes them address the halves on both sides.
bool loadCombines(const ByteOperand& target)
{
    int source = asmState.curToken;
    ByteKind from = kindOfToken(source);
    if (from == NOT_A_BYTE_OPERAND)
        return false;
    ByteKind to = kindOf(target);
    if (!LOAD_COMBINES[to][from])
        return false;
    if (to == INDEX_HALF && from == INDEX_HALF)
        return indexHalfPrefix(source) == target.prefix;
    if (to == INDEX_HALF)
        return !isHOrL(asmState.tokenValue);
    return true;
}

// LD A,source where the source is one only the accumulator takes; false otherwise.
bool loadAccumulatorOnlyForm(const LoadSet& set)
{
    int source = asmState.curToken;
    if (isOpeningBracket(source)) {
        int32_t address = readBracketedAddress();
        emitByte(set.absoluteLoadOpcode);
        emitWord(address);
    } else if (const AccumulatorSource* row
               = findRow<AccumulatorSource>(ACCUMULATOR_SOURCES, [source](const AccumulatorSource& candidate) {
                     return candidate.source == source;
                 })) {
        emitOpcode(row->prefix, row->opcode);
    } else {
        return false;
    }
    advanceToken();
    return true;
}

// The comma has been read; curToken is the source.
void loadByte(const ByteOperand& target, const LoadSet& set)
{
    bool isAccumulator = target.prefix == 0 && target.code == ACCUMULATOR_CODE;
    if (isAccumulator && loadAccumulatorOnlyForm(set))
        return;
    if (loadCombines(target)) {
        ByteOperand source;
        readByteOperand(source, WITH_INDEX_HALVES | WITH_INDEXED);
        const ByteOperand& prefixed = target.prefix ? target : source;
        emitWithByteOperand(prefixed, LOAD_REGISTER_BASE + 8 * target.code + source.code);
        advanceToken();
        return;
    }
    emitWithByteOperand(target, LOAD_IMMEDIATE_BASE + 8 * target.code);
    emitByte(evaluateExpression());
}

void storeAccumulator(const AccumulatorStore& row)
{
    advanceToken();
    requireComma();
    if (asmState.curToken != TOKEN_A)
        reportErrorAtToken(row.wrongSourceMessage);
    emitOpcode(row.prefix, row.opcode);
    advanceToken();
}

void storeAbsolute(const LoadSet& set)
{
    int32_t address = readBracketedAddress();
    advanceToken();
    requireComma();
    int source = asmState.curToken;
    const AbsoluteStore* row = findRow<AbsoluteStore>(
        set.absoluteStores, [source](const AbsoluteStore& candidate) { return candidate.source == source; });
    if (!row)
        reportErrorAtToken("No valid register");
    emitOpcode(row->prefix, row->opcode);
    emitWord(address);
    advanceToken();
}

// GBZ80 SP+e: the opcode is out, curToken is SP; a missing offset is 0.
void emitStackOffset()
{
    advanceToken();
    bool hasOffset = asmState.curToken == '+' || asmState.curToken == '-';
    int32_t offset = hasOffset ? evaluateExpression() : 0;
    if (!fitsSignedByte(offset))
        reportWarning(WarningClass::RANGE, "Exceeded range of offset");
    emitByte(offset);
}

// The comma has been read; curToken is the source.
void loadPair(const PairLoad& target, const LoadSet& set)
{
    int source = asmState.curToken;
    const PairTransfer* transfer = findRow<PairTransfer>(set.pairTransfers, [&](const PairTransfer& candidate) {
        return candidate.destination == target.destination && candidate.source == source;
    });
    if (transfer) {
        emitOpcode(transfer->prefix, transfer->opcode);
        if (transfer->takesStackOffset)
            emitStackOffset();
        else
            advanceToken();
        return;
    }
    if (target.memoryOpcode != 0 && isOpeningBracket(source)) {
        int32_t address = readBracketedAddress();
        emitOpcode(target.memoryPrefix, target.memoryOpcode);
        emitWord(address);
        advanceToken();
        return;
    }
    emitOpcode(target.prefix, target.immediateOpcode);
    emitWord(evaluateExpression());
}

void load(const LoadSet& set)
{
    advanceToken();
    int destination = asmState.curToken;
    ByteOperand target;
    if (readByteOperand(target, WITH_INDEX_HALVES | WITH_INDEXED)) {
        advanceToken();
        requireComma();
        loadByte(target, set);
        return;
    }
    if (isOpeningBracket(destination)) {
        storeAbsolute(set);
        return;
    }
    auto named = [destination](const auto& candidate) { return candidate.destination == destination; };
    if (const AccumulatorStore* store = findRow<AccumulatorStore>(ACCUMULATOR_STORES, named)) {
        storeAccumulator(*store);
        return;
    }
    const PairLoad* pair = findRow<PairLoad>(set.pairLoads, named);
    if (!pair)
        reportErrorAtToken("Invalid register");
    advanceToken();
    requireComma();
    loadPair(*pair, set);
}

struct Exchange {
    int first;
    int second;
    uint8_t prefix;
    uint8_t opcode;
};

constexpr Exchange EXCHANGES[] = {
    {TOKEN_DE, TOKEN_HL, 0, 0xEB},
    {TOKEN_AF, TOKEN_AF_ALTERNATE, 0, 0x08},
    {TOKEN_INDIRECT_SP, TOKEN_HL, 0, 0xE3},
    {TOKEN_INDIRECT_SP, TOKEN_IX, PREFIX_IX, 0xE3},
    {TOKEN_INDIRECT_SP, TOKEN_IY, PREFIX_IY, 0xE3},
};

struct StackTransfer {
    int mnemonic;
    uint8_t base;  // base+16p; IX and IY take the place of HL
};

constexpr StackTransfer STACK_TRANSFERS[] = {
    {TOKEN_PUSH, 0xC5},
    {TOKEN_POP, 0xC1},
};

constexpr int STACK_PAIRS[4] = {TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_AF};

void transferOneStackOperand(const StackTransfer& operation)
{
    PairOperand pair;
    if (!readPairOperand(pair, STACK_PAIRS))
        reportErrorAtToken("No valid Register");
    emitOpcode(pair.prefix, operation.base + 16 * pair.code);
    advanceToken();
}

void encodeLoad()
{
    load(Z80_LOADS);
}

void encodeGbLoad()
{
    load(GB_LOADS);
}

void encodeExchange()
{
    advanceToken();
    int first = asmState.curToken;
    if (std::none_of(std::begin(EXCHANGES), std::end(EXCHANGES),
                     [first](const Exchange& row) { return row.first == first; }))
        reportErrorAtToken("No valid Register");
    advanceToken();
    requireComma();
    int second = asmState.curToken;
    const Exchange* row = findRow<Exchange>(EXCHANGES, [first, second](const Exchange& candidate) {
        return candidate.first == first && candidate.second == second;
    });
    if (!row)
        reportErrorAtToken("No valid Register");
    emitOpcode(row->prefix, row->opcode);
    advanceToken();
}

void encodeStackTransfer()
{
    const StackTransfer& operation = rowFor(STACK_TRANSFERS, asmState.curToken);
    do {
        advanceToken();
        transferOneStackOperand(operation);
    } while (asmState.curToken == ',');
}

}  // namespace

void addLoadRoutes(std::vector<EncoderRoute>& routes)
{
    addTableRoutes(routes, STACK_TRANSFERS, encodeStackTransfer);
    routes.push_back({TOKEN_LD, encodeLoad});
    routes.push_back({TOKEN_GB_LD, encodeGbLoad});
    routes.push_back({TOKEN_EX, encodeExchange});
}
