#include "scanner/numbers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

int32_t decimal(const char* text)
{
    return convertDecimal(text, static_cast<int>(std::strlen(text)));
}
int32_t hexadecimal(const char* text)
{
    return convertHexadecimal(text, static_cast<int>(std::strlen(text)));
}
int32_t binary(const char* text)
{
    return convertBinary(text, static_cast<int>(std::strlen(text)));
}
int32_t octal(const char* text)
{
    return convertOctal(text, static_cast<int>(std::strlen(text)));
}

TEST(Numbers, EveryNotationOf255)
{
    EXPECT_EQ(255, decimal("255"));
    EXPECT_EQ(255, decimal("255D"));
    EXPECT_EQ(255, decimal("255d"));
    EXPECT_EQ(255, hexadecimal("0FFH"));
    EXPECT_EQ(255, hexadecimal("0ffh"));
    EXPECT_EQ(255, hexadecimal("$FF"));
    EXPECT_EQ(255, hexadecimal("0XFF"));
    EXPECT_EQ(255, hexadecimal("0xff"));
    EXPECT_EQ(255, binary("11111111B"));
    EXPECT_EQ(255, binary("%1111 1111"));
    EXPECT_EQ(255, octal("377O"));
    EXPECT_EQ(255, octal("377q"));
}

TEST(Numbers, WrapInThirtyTwoBits)
{
    EXPECT_EQ(static_cast<int32_t>(0x80000000u), decimal("2147483648"));
    EXPECT_EQ(0, decimal("4294967296"));
    EXPECT_EQ(-1, hexadecimal("0FFFFFFFFH"));
    EXPECT_EQ(0x23456789, hexadecimal("$123456789"));
    EXPECT_EQ(1, binary("1 0000 0000 0000 0000 0000 0000 0000 0001B"));
}

TEST(Numbers, SmallValues)
{
    EXPECT_EQ(0, binary("0B"));
    EXPECT_EQ(5, binary("%101"));
    EXPECT_EQ(8, octal("10O"));
    EXPECT_EQ(0xDE, hexadecimal("0DEH"));
}

}  // namespace

// Whole-text literals, as -D VALUE takes them: every notation the scanner
// reads, and nothing that is only part of one.
struct LiteralCase {
    const char* text;
    bool accepted;
    int32_t value;
};

TEST(Numbers, WholeLiterals)
{
    const LiteralCase cases[] = {
        {"255", true, 255},  {"255D", true, 255},       {"0FFH", true, 255},      {"$ff", true, 255},
        {"0xFF", true, 255}, {"%1111 1111", true, 255}, {"11111111b", true, 255}, {"377O", true, 255},
        {"377Q", true, 255}, {"1BH", true, 27},         {"101B", true, 5},        {"12D", true, 12},
        {"", false, 0},      {"FFH", false, 0},         {"$", false, 0},          {"0x", false, 0},
        {"%", false, 0},     {"% 1", true, 1},          {"1 B", true, 1},         {"%1 ", false, 0},
        {" 1B", false, 0},   {"19O", false, 0},         {"12G", false, 0},        {"-1", false, 0},
        {"1 2", false, 0},   {"0FFH ", false, 0},
    };
    for (const LiteralCase& literal : cases) {
        int32_t value = -7;
        EXPECT_EQ(literal.accepted, convertNumberLiteral(literal.text, value)) << literal.text;
        if (literal.accepted)
            EXPECT_EQ(literal.value, value) << literal.text;
        else
            EXPECT_EQ(-7, value) << literal.text;
    }
}
