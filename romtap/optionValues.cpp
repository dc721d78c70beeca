#include "optionValues.h"

#include "consoleOutput.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Larger than every option's range, small enough never to overflow.
constexpr long long OUT_OF_REACH = 1LL << 40;

bool isHexOption(char option)
{
    return option == 'b' || option == 's' || option == 'm';
}

int digitValue(char digit, int base)
{
    int value = base;
    if (digit >= '0' && digit <= '9')
        value = digit - '0';
    else if (digit >= 'A' && digit <= 'F')
        value = digit - 'A' + 10;
    else if (digit >= 'a' && digit <= 'f')
        value = digit - 'a' + 10;
    return value < base ? value : -1;
}

// Empty when the text is not a run of at least one digit.
std::optional<long long> digitsValue(std::string_view digits, int base)
{
    if (digits.empty())
        return std::nullopt;
    long long value = 0;
    for (char digit : digits) {
        const int next = digitValue(digit, base);
        if (next < 0)
            return std::nullopt;
        value = value >= OUT_OF_REACH ? OUT_OF_REACH : value * base + next;
    }
    return value;
}

// One notation mark at most: a prefix or a suffix, not both.
std::string_view hexDigits(std::string_view text)
{
    if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X")
        return text.substr(2);
    if (text.substr(0, 1) == "$")
        return text.substr(1);
    if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
        return text.substr(0, text.size() - 1);
    return text;
}

[[noreturn]] void dieWithInvalidValue(const char* kind, const char* text, char option)
{
    dieOnCommandLine(std::string("invalid ") + kind + " value '" + text + "' for -" + option);
}

std::string inNotation(long long value, char option)
{
    char text[32];
    std::snprintf(text, sizeof text, isHexOption(option) ? "%llX" : "%lld", value);
    return text;
}

}  // namespace

long long readHexValue(const char* text, char option)
{
    const std::optional<long long> value = digitsValue(hexDigits(text), 16);
    if (!value)
        dieWithInvalidValue("hexadecimal", text, option);
    return *value;
}

long long readDecimalValue(const char* text, char option)
{
    const std::string_view whole = text;
    const bool negative = whole.substr(0, 1) == "-";
    const std::optional<long long> value = digitsValue(whole.substr(negative ? 1 : 0), 10);
    if (!value)
        dieWithInvalidValue("decimal", text, option);
    return negative ? -*value : *value;
}

void requireRange(long long value, long long low, long long high, char option)
{
    if (value < low || value > high)
        dieOnCommandLine(std::string("-") + option + " must be from " + inNotation(low, option) + " to "
                         + inNotation(high, option));
}
