#include "numbers.h"

#include "../driver/text.h"

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

char upper(char c)
{
    return static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
}

bool allOf(std::string_view text, const char* digits)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (!isOneOf(upper(c), digits))
            return false;
    return true;
}

constexpr const char* DECIMAL_DIGITS = "0123456789";
constexpr const char* HEX_DIGITS = "0123456789ABCDEF";
constexpr const char* OCTAL_DIGITS = "01234567";

bool endsWithOneOf(std::string_view text, const char* suffixes)
{
    return !text.empty() && isOneOf(upper(text.back()), suffixes);
}

bool startsWithDigit(std::string_view text)
{
    return !text.empty() && text.front() >= '0' && text.front() <= '9';
}

// Binary digits may be grouped with blanks: after "%" the last character is
// a digit, before "B" the first one.
bool isBinaryBody(std::string_view body, bool digitFirst)
{
    return allOf(body, "01 ") && (digitFirst ? body.front() : body.back()) != ' ';
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
    int length = static_cast<int>(text.size());
    std::string_view body = text.substr(0, text.empty() ? 0 : text.size() - 1);
    std::string_view afterFirst = text.empty() ? text : text.substr(1);
    if (allOf(text, DECIMAL_DIGITS) || (endsWithOneOf(text, "D") && allOf(body, DECIMAL_DIGITS)))
        value = convertDecimal(text.data(), length);
    else if ((text.size() > 1 && text.front() == '$' && allOf(afterFirst, HEX_DIGITS))
             || (endsWithOneOf(text, "H") && startsWithDigit(text) && allOf(body, HEX_DIGITS))
             || (text.size() > 2 && text[0] == '0' && upper(text[1]) == 'X' && allOf(text.substr(2), HEX_DIGITS)))
        value = convertHexadecimal(text.data(), length);
    else if ((text.size() > 1 && text.front() == '%' && isBinaryBody(afterFirst, false))
             || (endsWithOneOf(text, "B") && isBinaryBody(body, true)))
        value = convertBinary(text.data(), length);
    else if (endsWithOneOf(text, "OQ") && allOf(body, OCTAL_DIGITS))
        value = convertOctal(text.data(), length);
    else
        return false;
    return true;
}
