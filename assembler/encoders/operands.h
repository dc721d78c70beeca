// Operand reading and emission shared by the instruction encoders.
//
// Every reader starts at the operand in curToken and, when it succeeds,
// leaves curToken on the operand's last token. Encoders emit before they
// move past it, so that a warning names the line of the instruction.
#pragma once

#include "../scanner/tokens.h"
#include "encoders.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

// Operand codes that opcodes are built from.
constexpr int INDIRECT_HL_CODE = 6;  // (HL), and (IX+d) in its place
constexpr int ACCUMULATOR_CODE = 7;
constexpr int HL_PAIR_CODE = 2;  // HL, and IX or IY in its place
constexpr int WORD_PAIRS[4] = {TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_SP};

// An 8-bit operand as the opcode sees it. Index halves and (IX+d) reuse the
// codes of H, L and (HL) behind the prefix of their index register.
struct ByteOperand {
    int code = 0;          // B 0 ... L 5, (HL) and (IX+d) 6, A 7
    int prefix = 0;        // 0, DD or FD
    bool indexed = false;  // (IX+d): a displacement byte follows the opcode
    int32_t displacement = 0;
};

// What an encoder admits besides the registers and (HL).
enum ByteOperandForms : unsigned {
    WITH_INDEX_HALVES = 1,
    WITH_INDEXED = 2,
};

// A register pair as the opcode sees it: IX and IY take the code of HL.
struct PairOperand {
    int code = 0;
    int prefix = 0;  // 0, DD or FD
};

constexpr int PREFIX_ED = 0xED;
constexpr int PREFIX_CB = 0xCB;

bool isOpeningBracket(int token);
bool isClosingBracket(int token);
bool fitsSignedByte(int32_t value);

// curToken must be ","; moves past it.
void requireComma();
// curToken must be ")" or "]".
void checkClosingBracket();

// Reads the register, index half or indexed operand in curToken that forms
// allows; false, with curToken untouched, for anything else.
bool readByteOperand(ByteOperand& operand, unsigned forms);
// At "(IX" or "(IY": the displacement (0 when the closer follows at once),
// warned about when it does not fit a signed byte; ends on the closer.
int32_t readIndexDisplacement();
// At "(" or "[" of an address or port operand: the value; ends on the closer.
int32_t readBracketedAddress();

// Code 0..3 of token within a set of four register pairs, or -1.
int pairCode(int token, const int (&pairs)[4]);
// One of pairs in curToken, or IX or IY in the place of HL; false otherwise.
bool readPairOperand(PairOperand& operand, const int (&pairs)[4]);
// Condition code of curToken ("C" is condition 3), or -1 when it is no
// condition or its code is above highestCode.
int conditionCode(int highestCode);
// At the mnemonic of RST, IM, BIT, SET or RES: reads the operand after it, an
// expression that a top-level AND, OR or XOR ends, and leaves curToken on the
// token after it. The value, taken unsigned, must pass isValid in every
// pass, else message names the instruction's line; an operand that is no
// expression (a register, the end of the statement) gets message at once.
uint32_t readCheckedOperand(bool (*isValid)(uint32_t value), const char* message);

// An opcode behind an optional prefix (0: none); two bytes go out as one word.
void emitOpcode(int prefix, int opcode);
// Prefix, opcode and, for (IX+d), the displacement byte.
void emitWithByteOperand(const ByteOperand& operand, int opcode);
// The CB group: CB op, or x CB d op for (IX+d).
void emitBitGroup(const ByteOperand& operand, int opcode);

// The first row that matches, or nullptr.
template <typename Row, typename Predicate>
const Row* findRow(std::span<const Row> rows, Predicate matches)
{
    auto found = std::find_if(rows.begin(), rows.end(), matches);
    return found == rows.end() ? nullptr : &*found;
}

// Routes an encoder for every mnemonic of its table (see encoders.h).
template <typename Row, std::size_t Count>
void addTableRoutes(std::vector<EncoderRoute>& routes, const Row (&rows)[Count], Encoder encode)
{
    for (const Row& row : rows)
        routes.push_back({row.mnemonic, encode});
}

// Ends the run with an internal error: an encoder was reached for a
// mnemonic its table lacks, which addTableRoutes rules out.
[[noreturn]] void missingTableRow(int mnemonic);

// The row of an encoder's per-mnemonic table.
template <typename Row, std::size_t Count>
const Row& rowFor(const Row (&rows)[Count], int mnemonic)
{
    auto matches = [mnemonic](const Row& row) { return row.mnemonic == mnemonic; };
    auto found = std::find_if(std::begin(rows), std::end(rows), matches);
    if (found == std::end(rows))
        missingTableRow(mnemonic);
    return *found;
}
