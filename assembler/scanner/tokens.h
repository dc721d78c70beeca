// Token codes returned by nextToken(). 0 is the end of input, 1..255 are
// single characters, everything above is a named token.
#pragma once

// The codes are grouped as the scanner's rules are, several to a line.
// clang-format off
enum Token : int {
    TOKEN_END_OF_INPUT = 0,

    TOKEN_END_OF_STATEMENT = 256,
    TOKEN_NUMBER,
    TOKEN_STRING,
    TOKEN_IDENTIFIER,
    TOKEN_LABEL_DEFINITION,
    TOKEN_INCLUDE,
    TOKEN_STRAY_NUL,  // a NUL byte in the text; no statement accepts it

    // Mnemonics of every mode.
    TOKEN_ADD, TOKEN_SUB, TOKEN_CP, TOKEN_INC, TOKEN_DEC, TOKEN_POP, TOKEN_PUSH,
    TOKEN_JP, TOKEN_JR, TOKEN_CALL, TOKEN_RET, TOKEN_RST, TOKEN_CPL, TOKEN_DAA,
    TOKEN_SCF, TOKEN_CCF, TOKEN_NOP, TOKEN_HALT, TOKEN_DI, TOKEN_EI, TOKEN_BIT,
    TOKEN_SET, TOKEN_RES, TOKEN_RLCA, TOKEN_RRCA, TOKEN_RLA, TOKEN_RRA, TOKEN_RLC,
    TOKEN_RRC, TOKEN_RL, TOKEN_RR, TOKEN_SLA, TOKEN_SRA, TOKEN_SRL,

    // Mnemonics of the Z80 and R800 modes.
    TOKEN_ADC, TOKEN_SBC, TOKEN_NEG, TOKEN_EX, TOKEN_EXX, TOKEN_IN, TOKEN_OUT,
    TOKEN_IM, TOKEN_RETI, TOKEN_RETN, TOKEN_RLD, TOKEN_RRD, TOKEN_DJNZ, TOKEN_LD,
    TOKEN_SLI, TOKEN_LDI, TOKEN_CPI, TOKEN_INI, TOKEN_OUTI, TOKEN_LDD, TOKEN_CPD,
    TOKEN_IND, TOKEN_OUTD, TOKEN_LDIR, TOKEN_CPIR, TOKEN_INIR, TOKEN_OTIR,
    TOKEN_LDDR, TOKEN_CPDR, TOKEN_INDR, TOKEN_OTDR,

    // Mnemonics of the R800 mode.
    TOKEN_MULUB, TOKEN_MULUW,

    // Mnemonics of the GBZ80 mode: tokens of their own even where the Z80
    // spelling is the same, so that they reach the GBZ80 encoders.
    TOKEN_GB_LD, TOKEN_GB_LDD, TOKEN_GB_LDI, TOKEN_GB_LDH, TOKEN_GB_ADC,
    TOKEN_GB_SBC, TOKEN_GB_IN, TOKEN_GB_OUT, TOKEN_GB_RETI, TOKEN_GB_STOP,
    TOKEN_GB_SWAP,

    // Registers (tokenValue holds the operand code).
    TOKEN_B, TOKEN_C, TOKEN_D, TOKEN_E, TOKEN_H, TOKEN_L, TOKEN_A,
    TOKEN_BC, TOKEN_DE, TOKEN_HL, TOKEN_SP, TOKEN_AF, TOKEN_F,
    TOKEN_IXH, TOKEN_IXL, TOKEN_IYH, TOKEN_IYL, TOKEN_I, TOKEN_R,
    TOKEN_IX, TOKEN_IY, TOKEN_AF_ALTERNATE,

    // Conditions other than C (tokenValue holds the condition code).
    TOKEN_NZ, TOKEN_Z, TOKEN_NC, TOKEN_PO, TOKEN_PE, TOKEN_P, TOKEN_M,

    // Bracketed operand forms.
    TOKEN_INDIRECT_C,    // (C)
    TOKEN_INDIRECT_BC,   // (BC), value 0
    TOKEN_INDIRECT_DE,   // (DE), value 16
    TOKEN_INDIRECT_HL,   // (HL), value 6
    TOKEN_INDIRECT_SP,   // (SP)
    TOKEN_INDEX_OPEN,    // (IX or (IY, value DD or FD

    // Operators.
    TOKEN_AND, TOKEN_OR, TOKEN_XOR, TOKEN_NOT, TOKEN_MOD,
    TOKEN_SHIFT_LEFT, TOKEN_SHIFT_RIGHT, TOKEN_NOT_EQUAL, TOKEN_LESS_EQUAL,
    TOKEN_GREATER_EQUAL,

    // Position symbols.
    TOKEN_DOLLAR, TOKEN_DOUBLE_DOLLAR,

    // Directives.
    TOKEN_DB, TOKEN_DC, TOKEN_DW, TOKEN_DS, TOKEN_RB, TOKEN_RW, TOKEN_EQU,
    TOKEN_ORG, TOKEN_FORG, TOKEN_FNAME, TOKEN_PHASE, TOKEN_DEPHASE, TOKEN_INCBIN,
    TOKEN_IF, TOKEN_IFDEF, TOKEN_IFEXIST, TOKEN_ELSE, TOKEN_ENDIF, TOKEN_CPU,

    TOKEN_COUNT
};
// clang-format on

// "(IX" and "(IY" carry the prefix byte of their index register.
constexpr int PREFIX_IX = 0xDD;
constexpr int PREFIX_IY = 0xFD;

// Registers B, C, D, E, H, L, A (the 8-bit register set without (HL)).
inline bool isPlainRegister8(int token)
{
    return token >= TOKEN_B && token <= TOKEN_A;
}
// The set written r: B, C, D, E, H, L, (HL), A.
inline bool isRegister8(int token)
{
    return isPlainRegister8(token) || token == TOKEN_INDIRECT_HL;
}
inline bool isIndexHalf(int token)
{
    return token >= TOKEN_IXH && token <= TOKEN_IYL;
}
inline bool isIndexRegister(int token)
{
    return token == TOKEN_IX || token == TOKEN_IY;
}
inline int indexHalfPrefix(int token)
{
    return token <= TOKEN_IXL ? PREFIX_IX : PREFIX_IY;
}
inline int indexRegisterPrefix(int token)
{
    return token == TOKEN_IX ? PREFIX_IX : PREFIX_IY;
}
