#include "oneLine.h"

#include <cctype>

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
