// The keywords of the CPU modes, as data: each name with the modes that
// know it, its token and, for registers and conditions, its operand code.
// The table is built when the program is compiled; a name is found with one
// multiplication and a probe or two, from its letters read as one word.
#pragma once

#include "../driver/base/AsmState.h"
#include "tokens.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// What a keyword is in one mode: token 0 where the mode does not know it.
struct KeywordMeaning {
    uint16_t token = 0;
    int16_t value = 0;
    bool valued = false;  // the token sets tokenValue
};

namespace keywords {

// Every keyword is made of letters and has at most this many.
constexpr std::size_t LONGEST = 7;

enum Modes : uint8_t {
    Z80 = 1 << CPU_MODE_Z80,
    R800 = 1 << CPU_MODE_R800,
    GBZ80 = 1 << CPU_MODE_GBZ80,
    Z80_R800 = Z80 | R800,
    ALL = Z80 | R800 | GBZ80,
};

constexpr int NO_VALUE = -1;

struct Definition {
    const char* name;  // in upper case
    uint8_t modes;
    int token;
    int value = NO_VALUE;
};

// clang-format off
constexpr Definition DEFINITIONS[] = {
    // Mnemonics of every mode.
    {"ADD", ALL, TOKEN_ADD}, {"SUB", ALL, TOKEN_SUB}, {"CP", ALL, TOKEN_CP}, {"INC", ALL, TOKEN_INC},
    {"DEC", ALL, TOKEN_DEC}, {"POP", ALL, TOKEN_POP}, {"PUSH", ALL, TOKEN_PUSH}, {"JP", ALL, TOKEN_JP},
    {"JR", ALL, TOKEN_JR}, {"CALL", ALL, TOKEN_CALL}, {"RET", ALL, TOKEN_RET}, {"RST", ALL, TOKEN_RST},
    {"CPL", ALL, TOKEN_CPL}, {"DAA", ALL, TOKEN_DAA}, {"SCF", ALL, TOKEN_SCF}, {"CCF", ALL, TOKEN_CCF},
    {"NOP", ALL, TOKEN_NOP}, {"HALT", ALL, TOKEN_HALT}, {"DI", ALL, TOKEN_DI}, {"EI", ALL, TOKEN_EI},
    {"BIT", ALL, TOKEN_BIT}, {"SET", ALL, TOKEN_SET}, {"RES", ALL, TOKEN_RES}, {"RLCA", ALL, TOKEN_RLCA},
    {"RRCA", ALL, TOKEN_RRCA}, {"RLA", ALL, TOKEN_RLA}, {"RRA", ALL, TOKEN_RRA}, {"RLC", ALL, TOKEN_RLC},
    {"RRC", ALL, TOKEN_RRC}, {"RL", ALL, TOKEN_RL}, {"RR", ALL, TOKEN_RR}, {"SLA", ALL, TOKEN_SLA},
    {"SRA", ALL, TOKEN_SRA}, {"SRL", ALL, TOKEN_SRL},

    // Mnemonics of the Z80 and R800 modes.
    {"ADC", Z80_R800, TOKEN_ADC}, {"SBC", Z80_R800, TOKEN_SBC}, {"NEG", Z80_R800, TOKEN_NEG},
    {"EX", Z80_R800, TOKEN_EX}, {"EXX", Z80_R800, TOKEN_EXX}, {"IN", Z80_R800, TOKEN_IN},
    {"OUT", Z80_R800, TOKEN_OUT}, {"IM", Z80_R800, TOKEN_IM}, {"RETI", Z80_R800, TOKEN_RETI},
    {"RETN", Z80_R800, TOKEN_RETN}, {"RLD", Z80_R800, TOKEN_RLD}, {"RRD", Z80_R800, TOKEN_RRD},
    {"DJNZ", Z80_R800, TOKEN_DJNZ}, {"LD", Z80_R800, TOKEN_LD}, {"SLL", Z80_R800, TOKEN_SLI},
    {"SLI", Z80_R800, TOKEN_SLI}, {"LDI", Z80_R800, TOKEN_LDI}, {"CPI", Z80_R800, TOKEN_CPI},
    {"INI", Z80_R800, TOKEN_INI}, {"OUTI", Z80_R800, TOKEN_OUTI}, {"LDD", Z80_R800, TOKEN_LDD},
    {"CPD", Z80_R800, TOKEN_CPD}, {"IND", Z80_R800, TOKEN_IND}, {"OUTD", Z80_R800, TOKEN_OUTD},
    {"LDIR", Z80_R800, TOKEN_LDIR}, {"CPIR", Z80_R800, TOKEN_CPIR}, {"INIR", Z80_R800, TOKEN_INIR},
    {"OTIR", Z80_R800, TOKEN_OTIR}, {"LDDR", Z80_R800, TOKEN_LDDR}, {"CPDR", Z80_R800, TOKEN_CPDR},
    {"INDR", Z80_R800, TOKEN_INDR}, {"OTDR", Z80_R800, TOKEN_OTDR},

    // Mnemonics of the R800 mode.
    {"MULUB", R800, TOKEN_MULUB}, {"MULUW", R800, TOKEN_MULUW},

    // Mnemonics of the GBZ80 mode.
    {"LD", GBZ80, TOKEN_GB_LD}, {"LDD", GBZ80, TOKEN_GB_LDD}, {"LDI", GBZ80, TOKEN_GB_LDI},
    {"LDH", GBZ80, TOKEN_GB_LDH}, {"ADC", GBZ80, TOKEN_GB_ADC}, {"SBC", GBZ80, TOKEN_GB_SBC},
    {"IN", GBZ80, TOKEN_GB_IN}, {"OUT", GBZ80, TOKEN_GB_OUT}, {"RETI", GBZ80, TOKEN_GB_RETI},
    {"STOP", GBZ80, TOKEN_GB_STOP}, {"SWAP", GBZ80, TOKEN_GB_SWAP},

    // Registers of every mode.
    {"B", ALL, TOKEN_B, 0}, {"C", ALL, TOKEN_C, 1}, {"D", ALL, TOKEN_D, 2}, {"E", ALL, TOKEN_E, 3},
    {"H", ALL, TOKEN_H, 4}, {"L", ALL, TOKEN_L, 5}, {"A", ALL, TOKEN_A, 7}, {"BC", ALL, TOKEN_BC, 0},
    {"DE", ALL, TOKEN_DE, 1}, {"HL", ALL, TOKEN_HL, 2}, {"SP", ALL, TOKEN_SP, 3}, {"AF", ALL, TOKEN_AF, 3},

    // Registers of the Z80 and R800 modes.
    {"F", Z80_R800, TOKEN_F, 6}, {"IXH", Z80_R800, TOKEN_IXH, 4}, {"IXL", Z80_R800, TOKEN_IXL, 5},
    {"IYH", Z80_R800, TOKEN_IYH, 4}, {"IYL", Z80_R800, TOKEN_IYL, 5}, {"I", Z80_R800, TOKEN_I, 0},
    {"R", Z80_R800, TOKEN_R, 8}, {"IX", Z80_R800, TOKEN_IX, PREFIX_IX}, {"IY", Z80_R800, TOKEN_IY, PREFIX_IY},

    // Conditions ("C" is the register token).
    {"NZ", ALL, TOKEN_NZ, 0}, {"Z", ALL, TOKEN_Z, 1}, {"NC", ALL, TOKEN_NC, 2},
    {"PO", Z80_R800, TOKEN_PO, 4}, {"PE", Z80_R800, TOKEN_PE, 5}, {"P", Z80_R800, TOKEN_P, 6},
    {"M", Z80_R800, TOKEN_M, 7},

    // Operators written as words.
    {"AND", ALL, TOKEN_AND}, {"OR", ALL, TOKEN_OR}, {"XOR", ALL, TOKEN_XOR}, {"NOT", ALL, TOKEN_NOT},
    {"MOD", ALL, TOKEN_MOD},

    // Directives.
    {"DB", ALL, TOKEN_DB}, {"DC", ALL, TOKEN_DC}, {"DW", ALL, TOKEN_DW}, {"DS", ALL, TOKEN_DS},
    {"RB", ALL, TOKEN_RB}, {"RW", ALL, TOKEN_RW}, {"EQU", ALL, TOKEN_EQU}, {"ORG", ALL, TOKEN_ORG},
    {"FORG", ALL, TOKEN_FORG}, {"FNAME", ALL, TOKEN_FNAME}, {"PHASE", ALL, TOKEN_PHASE},
    {"DEPHASE", ALL, TOKEN_DEPHASE}, {"INCBIN", ALL, TOKEN_INCBIN}, {"IF", ALL, TOKEN_IF},
    {"IFDEF", ALL, TOKEN_IFDEF}, {"IFEXIST", ALL, TOKEN_IFEXIST}, {"ELSE", ALL, TOKEN_ELSE},
    {"ENDIF", ALL, TOKEN_ENDIF}, {"CPU", ALL, TOKEN_CPU},
};
// clang-format on

constexpr unsigned CASE_BIT = 0x20;

// A name of one to LONGEST bytes as the table keys it: the bytes in order
// from the lowest, each with its 20H bit set. That folds the case of letters;
// the other bytes of a name fold to bytes that are no letters, so that only
// a name that spells a keyword in some case gives that keyword's key.
constexpr uint64_t keyOf(const char* name, std::size_t length)
{
    uint64_t key = 0;
    for (std::size_t i = 0; i < length; ++i)
        key |= uint64_t{static_cast<unsigned char>(name[i]) | CASE_BIT} << (8 * i);
    return key;
}

constexpr std::size_t lengthOf(const char* name)
{
    std::size_t length = 0;
    while (name[length])
        ++length;
    return length;
}

constexpr unsigned SLOT_BITS = 9;
constexpr std::size_t SLOT_COUNT = std::size_t{1} << SLOT_BITS;
constexpr uint64_t MULTIPLIER = 0x9E3779B97F4A7C15u;

constexpr std::size_t firstSlot(uint64_t key)
{
    return static_cast<std::size_t>((key * MULTIPLIER) >> (64 - SLOT_BITS));
}

// Open addressing with linear probing; key 0 marks a free slot.
struct Slot {
    uint64_t key = 0;
    KeywordMeaning meanings[3];  // by CpuMode
};

struct Table {
    std::array<Slot, SLOT_COUNT> slots{};
};

constexpr Table buildTable()
{
    Table table;
    for (const Definition& definition : DEFINITIONS) {
        const uint64_t key = keyOf(definition.name, lengthOf(definition.name));
        std::size_t slot = firstSlot(key);
        while (table.slots[slot].key != 0 && table.slots[slot].key != key)
            slot = (slot + 1) % SLOT_COUNT;
        table.slots[slot].key = key;
        for (int mode = CPU_MODE_Z80; mode <= CPU_MODE_GBZ80; ++mode)
            if (definition.modes & (1 << mode)) {
                KeywordMeaning& meaning = table.slots[slot].meanings[mode];
                meaning.token = static_cast<uint16_t>(definition.token);
                meaning.valued = definition.value != NO_VALUE;
                meaning.value = static_cast<int16_t>(meaning.valued ? definition.value : 0);
            }
    }
    return table;
}

inline constexpr Table TABLE = buildTable();

}  // namespace keywords

// The key of a name of one to keywords::LONGEST bytes at name, where the
// eight bytes from name on may be read (they lie before the text's end).
inline uint64_t keywordKeyAt(const unsigned char* name, std::size_t length)
{
    uint64_t word = 0;
    std::memcpy(&word, name, sizeof word);
    if constexpr (std::endian::native == std::endian::big)
        word = __builtin_bswap64(word);
    constexpr uint64_t CASE_BITS = 0x2020202020202020u;
    return (word | CASE_BITS) & (~uint64_t{0} >> (64 - 8 * length));
}

// The meanings of the keyword that key spells, by CpuMode; nullptr for
// a name that is no keyword of any mode.
inline const KeywordMeaning* keywordMeaningsOf(uint64_t key)
{
    std::size_t slot = keywords::firstSlot(key);
    for (;;) {
        const keywords::Slot& entry = keywords::TABLE.slots[slot];
        if (entry.key == key)
            return entry.meanings;
        if (entry.key == 0)
            return nullptr;
        slot = (slot + 1) % keywords::SLOT_COUNT;
    }
}

// What name, taken whole, is in mode (a CPU mode); token 0 for no keyword.
inline KeywordMeaning keywordIn(const char* name, std::size_t length, CpuMode mode)
{
    if (length == 0 || length > keywords::LONGEST)
        return {};
    const KeywordMeaning* meanings = keywordMeaningsOf(keywords::keyOf(name, length));
    return meanings ? meanings[mode] : KeywordMeaning{};
}
