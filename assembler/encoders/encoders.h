// The instruction encoders, one per mnemonic family. Each is a statement
// handler: entered with its mnemonic in curToken, it reads its operands,
// emits the instruction and leaves the first token after it in curToken.
// The statement loop reaches them through the routes each family exports.
#pragma once

#include <vector>

using Encoder = void (*)();

// A mnemonic and the encoder that assembles the statements it begins.
struct EncoderRoute {
    int mnemonic;
    Encoder encode;
};

// Each family's routes. A family whose encoders look their mnemonic up in a
// table routes exactly the mnemonics of the table's rows, so the lookup
// always finds its row.
void addLoadRoutes(std::vector<EncoderRoute>& routes);        // LD, EX, PUSH, POP; LD of the GBZ80
void addArithmeticRoutes(std::vector<EncoderRoute>& routes);  // INC, DEC, ADD, ADC, SUB, SBC, AND, XOR, OR, CP
void addBitGroupRoutes(std::vector<EncoderRoute>& routes);    // rotates, shifts, SWAP, BIT, SET, RES
void addControlRoutes(std::vector<EncoderRoute>& routes);     // JP, CALL, JR, DJNZ, RET, RST, IM
void addPortRoutes(std::vector<EncoderRoute>& routes);        // IN, OUT of the Z80 and R800
void addMultiplyRoutes(std::vector<EncoderRoute>& routes);    // MULUB, MULUW
void addGbz80Routes(std::vector<EncoderRoute>& routes);       // LDI, LDD, LDH, IN, OUT of the GBZ80
