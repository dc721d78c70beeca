// The instruction encoders, one per mnemonic family. Each is a statement
// handler: entered with its mnemonic in curToken, it reads its operands,
// emits the instruction and leaves the first token after it in curToken.
#pragma once

// Loads and exchanges
void encodeLoad();            // LD of the Z80 and R800
void encodeGbLoad();          // LD of the GBZ80
void encodeExchange();        // EX
void encodeStackTransfer();   // PUSH, POP

// Arithmetic and logic
void encodeIncrement();            // INC, DEC
void encodeAccumulatorOperation(); // ADD, ADC, SUB, SBC, AND, XOR, OR, CP

// Rotates, shifts and bits
void encodeRotate();          // RLC, RRC, RL, RR, SLA, SRA, SLI, SRL, SWAP
void encodeBitOperation();    // BIT, SET, RES

// Control flow
void encodeAbsoluteJump();    // JP, CALL
void encodeRelativeJump();    // JR, DJNZ
void encodeReturn();          // RET
void encodeRestart();         // RST
void encodeInterruptMode();   // IM

// Ports of the Z80 and R800
void encodePortInput();       // IN
void encodePortOutput();      // OUT

// R800 multiplies
void encodeMultiply();        // MULUB, MULUW

// GBZ80 loads through HL and the high page
void encodeLoadAndStep();     // LDI, LDD
void encodeHighPageTransfer(); // LDH, IN, OUT
