#include "oneLine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

bool isControl(char character)
{
    const auto code = static_cast<unsigned char>(character);
    return code < 0x20 || code == 0x7F;
}

std::string escaped(char character)
{
    switch (character) {
    case '\\': return "\\\\";
    case '"': return "\\\"";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
    }
    if (!isControl(character))
        return std::string(1, character);
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(character));
    return hex;
}

}  // namespace

std::string oneLine(std::string_view text)
{
    std::string line;
    for (char character : text) {
        const bool blank = std::isspace(static_cast<unsigned char>(character)) != 0;
        if (!blank)
            line += character;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    if (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

std::string quotedWhereNeeded(std::string_view text)
{
    if (std::none_of(text.begin(), text.end(), isControl) && (text.empty() || text.front() != '"'))
        return std::string(text);
    std::string quoted = "\"";
    for (char character : text)
        quoted += escaped(character);
    return quoted + "\"";
}
