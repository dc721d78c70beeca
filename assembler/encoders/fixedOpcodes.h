// Instructions without operands: one table of their bytes.
#pragma once

#include <cstdint>

struct FixedOpcode {
    int token;
    uint8_t length;    // 1 or 2
    uint8_t bytes[2];  // in output order
};

// nullptr when the token is no fixed-opcode instruction.
const FixedOpcode* findFixedOpcode(int token);
// Emits the instruction's bytes and fetches the next token.
void emitFixedOpcode();
