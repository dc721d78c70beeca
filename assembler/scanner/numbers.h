// Conversion of numeric literals; every notation wraps in 32 bits.
#pragma once

#include <cstdint>
#include <string_view>

int32_t convertDecimal(const char* text, int length);
int32_t convertHexadecimal(const char* text, int length);
int32_t convertBinary(const char* text, int length);
int32_t convertOctal(const char* text, int length);

// The value of text when the whole of it is one numeric literal in any
// notation the scanner accepts (12, 12D, 0CH, $C, 0XC, %1100, 1100B, 14O,
// 14Q); false otherwise. The scanner's own rules decide.
bool convertNumberLiteral(std::string_view text, int32_t& value);
