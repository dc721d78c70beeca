// Conversion of numeric literals; every notation wraps in 32 bits.
#pragma once

#include <cstdint>

int32_t convertDecimal(const char* text, int length);
int32_t convertHexadecimal(const char* text, int length);
int32_t convertBinary(const char* text, int length);
int32_t convertOctal(const char* text, int length);
