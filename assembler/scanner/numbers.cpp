#include "numbers.h"

#include "scanner.h"
#include "tokens.h"

namespace {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isOneOf(char c, const char* skipped)
{
    for (; *skipped; ++skipped)
        if (c == *skipped)
            return true;
    return false;
}

// Accumulates every character not in `skipped` as a digit of `base`.
int32_t convert(const char* text, int length, uint32_t base, const char* skipped)
{
    uint32_t value = 0;
    for (int i = 0; i < length; ++i) {
        if (isOneOf(text[i], skipped))
            continue;
        value = value * base + static_cast<uint32_t>(hexDigitValue(text[i]));
    }
    return static_cast<int32_t>(value);
}

}  // namespace

int32_t convertDecimal(const char* text, int length)
{
    uint32_t value = 0;
    for (int i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(value);
}

int32_t convertHexadecimal(const char* text, int length)
{
    return convert(text, length, 16, "$xXhH");
}

int32_t convertBinary(const char* text, int length)
{
    return convert(text, length, 2, "% bB");
}

int32_t convertOctal(const char* text, int length)
{
    return convert(text, length, 8, "oOqQ");
}

bool convertNumberLiteral(std::string_view text, int32_t& value)
{
    const LoneToken literal = scanLoneToken(text, CPU_MODE_Z80);
    if (literal.token != TOKEN_NUMBER || !literal.wholeText)
        return false;
    value = literal.value;
    return true;
}
