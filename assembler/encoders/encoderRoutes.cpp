#include "encoders.h"

#include "../statements/routes.h"
#include "../scanner/tokens.h"

namespace {

struct EncoderRoute {
    int mnemonic;
    StatementHandler encoder;
};

constexpr EncoderRoute ENCODER_ROUTES[] = {
    {TOKEN_LD, encodeLoad},
    {TOKEN_GB_LD, encodeGbLoad},
    {TOKEN_EX, encodeExchange},
    {TOKEN_PUSH, encodeStackTransfer},
    {TOKEN_POP, encodeStackTransfer},

    {TOKEN_INC, encodeIncrement},
    {TOKEN_DEC, encodeIncrement},
    {TOKEN_ADD, encodeAccumulatorOperation},
    {TOKEN_ADC, encodeAccumulatorOperation},
    {TOKEN_SUB, encodeAccumulatorOperation},
    {TOKEN_SBC, encodeAccumulatorOperation},
    {TOKEN_AND, encodeAccumulatorOperation},
    {TOKEN_XOR, encodeAccumulatorOperation},
    {TOKEN_OR, encodeAccumulatorOperation},
    {TOKEN_CP, encodeAccumulatorOperation},
    {TOKEN_GB_ADC, encodeAccumulatorOperation},
    {TOKEN_GB_SBC, encodeAccumulatorOperation},

    {TOKEN_RLC, encodeRotate},
    {TOKEN_RRC, encodeRotate},
    {TOKEN_RL, encodeRotate},
    {TOKEN_RR, encodeRotate},
    {TOKEN_SLA, encodeRotate},
    {TOKEN_SRA, encodeRotate},
    {TOKEN_SLI, encodeRotate},
    {TOKEN_SRL, encodeRotate},
    {TOKEN_GB_SWAP, encodeRotate},
    {TOKEN_BIT, encodeBitOperation},
    {TOKEN_SET, encodeBitOperation},
    {TOKEN_RES, encodeBitOperation},

    {TOKEN_JP, encodeAbsoluteJump},
    {TOKEN_CALL, encodeAbsoluteJump},
    {TOKEN_JR, encodeRelativeJump},
    {TOKEN_DJNZ, encodeRelativeJump},
    {TOKEN_RET, encodeReturn},
    {TOKEN_RST, encodeRestart},
    {TOKEN_IM, encodeInterruptMode},

    {TOKEN_IN, encodePortInput},
    {TOKEN_OUT, encodePortOutput},

    {TOKEN_MULUB, encodeMultiply},
    {TOKEN_MULUW, encodeMultiply},

    {TOKEN_GB_LDI, encodeLoadAndStep},
    {TOKEN_GB_LDD, encodeLoadAndStep},
    {TOKEN_GB_LDH, encodeHighPageTransfer},
    {TOKEN_GB_IN, encodeHighPageTransfer},
    {TOKEN_GB_OUT, encodeHighPageTransfer},
};

}  // namespace

void addEncoderRoutes(StatementHandler* table)
{
    for (const EncoderRoute& route : ENCODER_ROUTES)
        table[route.mnemonic] = route.encoder;
}
