#include "gnuSyntax.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string trim(const std::string& text)
{
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool isNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || std::string("!#.?@_~$%'").find(c) != std::string::npos;
}

bool allOf(const std::string& digits, const char* allowed)
{
    return !digits.empty() && digits.find_first_not_of(allowed) == std::string::npos;
}

// An orbant number literal in upper case; false when word is none.
bool numberValue(const std::string& word, int64_t& value)
{
    auto parse = [&value](const std::string& digits, int base) {
        value = static_cast<int64_t>(std::stoull(digits, nullptr, base));
        return true;
    };
    const char* hex = "0123456789ABCDEF";
    std::size_t last = word.size() - 1;
    if (word.size() > 1 && word[0] == '$' && allOf(word.substr(1), hex))
        return parse(word.substr(1), 16);
    if (word.size() > 1 && word[0] == '%' && allOf(word.substr(1), "01"))
        return parse(word.substr(1), 2);
    if (word.empty() || !std::isdigit(static_cast<unsigned char>(word[0])))
        return false;
    if (word.size() > 2 && word.compare(0, 2, "0X") == 0 && allOf(word.substr(2), hex))
        return parse(word.substr(2), 16);
    if (word[last] == 'H' && allOf(word.substr(0, last), hex))
        return parse(word.substr(0, last), 16);
    if (word[last] == 'B' && allOf(word.substr(0, last), "01"))
        return parse(word.substr(0, last), 2);
    if ((word[last] == 'O' || word[last] == 'Q') && allOf(word.substr(0, last), "01234567"))
        return parse(word.substr(0, last), 8);
    if (word[last] == 'D' && allOf(word.substr(0, last), "0123456789"))
        return parse(word.substr(0, last), 10);
    if (allOf(word, "0123456789"))
        return parse(word, 10);
    return false;
}

// orbant values are 32-bit two's complement; GNU as computes wider.
std::string gnuNumber(int64_t value)
{
    auto wrapped = static_cast<int32_t>(static_cast<uint32_t>(value));
    char text[16];
    if (wrapped < 0)
        std::snprintf(text, sizeof text, "%d", wrapped);
    else
        std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(wrapped));
    return text;
}

bool isCharacterConstant(const std::string& text, std::size_t at)
{
    return text[at] == '\'' && at + 2 < text.size() && text[at + 2] == '\'';
}

// GNU spelling of a word operator; nullptr for any other word.
const char* symbolicOperator(const std::string& upperCaseWord)
{
    if (upperCaseWord == "AND")
        return "&";
    if (upperCaseWord == "OR")
        return "|";
    if (upperCaseWord == "XOR")
        return "^";
    return nullptr;
}

// Square brackets become parentheses, number literals GNU notation, and the
// word operators AND, OR and XOR after the first word (the mnemonic, which
// may be one of them) the symbols of GNU as; character constants are kept
// as they are.
std::string rewriteTokens(const std::string& statement)
{
    std::string result;
    bool firstWord = true;
    for (std::size_t i = 0; i < statement.size();) {
        char c = statement[i];
        if (isCharacterConstant(statement, i)) {
            result += statement.substr(i, 3);
            i += 3;
        } else if (isNameCharacter(c) && c != '\'') {
            std::size_t end = i;
            while (end < statement.size() && isNameCharacter(statement[end]) && statement[end] != '\'')
                ++end;
            std::string word = statement.substr(i, end - i);
            std::string upper = word;
            std::transform(upper.begin(), upper.end(), upper.begin(),
                           [](unsigned char ch) { return std::toupper(ch); });
            int64_t value = 0;
            const char* symbol = firstWord ? nullptr : symbolicOperator(upper);
            result += symbol ? symbol : numberValue(upper, value) ? gnuNumber(value) : word;
            firstWord = false;
            i = end;
        } else {
            result += c == '[' ? '(' : c == ']' ? ')' : c;
            ++i;
        }
    }
    return result;
}

// Operands split at commas outside brackets and character constants.
std::vector<std::string> splitOperands(const std::string& text)
{
    std::vector<std::string> operands(1);
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (isCharacterConstant(text, i)) {
            operands.back() += text.substr(i, 3);
            i += 2;
            continue;
        }
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        if (depth == 0 && c == ',')
            operands.emplace_back();
        else
            operands.back() += c;
    }
    for (std::string& operand : operands)
        operand = trim(operand);
    if (operands.size() == 1 && operands[0].empty())
        operands.clear();
    return operands;
}

std::string join(const std::string& mnemonic, const std::vector<std::string>& operands)
{
    std::string line = " " + mnemonic;
    for (std::size_t i = 0; i < operands.size(); ++i)
        line += (i == 0 ? " " : ",") + operands[i];
    return line;
}

bool isOneOf(const std::string& word, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&word](const char* candidate) { return word == candidate; });
}

// The offset of "sp", "sp+e" or "sp-e" ("0" for "sp"); nothing for other operands.
std::optional<std::string> stackOffset(const std::string& operand)
{
    std::string lower = lowerCase(operand);
    if (lower == "sp")
        return std::string("0");
    if (lower.size() < 3 || lower.compare(0, 2, "sp") != 0 || (lower[2] != '+' && lower[2] != '-'))
        return std::nullopt;
    std::size_t start = lower[2] == '-' ? 2 : 3;  // a minus stays as the offset's sign
    return lower.substr(start);
}

std::vector<std::string> translateStatement(const std::string& mode, const std::string& statement)
{
    std::string text = trim(rewriteTokens(statement));
    std::size_t blank = text.find(' ');
    std::string mnemonic = lowerCase(text.substr(0, blank));
    // GNU as takes a label definition only at the start of the line.
    if (mnemonic.back() == ':')
        return {text};
    std::vector<std::string> operands = splitOperands(blank == std::string::npos ? "" : text.substr(blank + 1));
    std::string first = operands.empty() ? "" : lowerCase(operands[0]);

    // The accumulator: GNU as writes it for ADD, ADC and SBC (and for SUB of
    // the GBZ80) and omits it for the other operations.
    bool writesAccumulator = isOneOf(mnemonic, {"add", "adc", "sbc"}) || (mode == "gbz80" && mnemonic == "sub");
    if (writesAccumulator && operands.size() == 1)
        operands.insert(operands.begin(), "a");
    if (!writesAccumulator && isOneOf(mnemonic, {"sub", "and", "xor", "or", "cp"}) && operands.size() == 2
        && first == "a")
        operands.erase(operands.begin());

    if (isOneOf(mnemonic, {"push", "pop"}) && operands.size() > 1) {
        std::vector<std::string> lines;
        for (const std::string& operand : operands)
            lines.push_back(join(mnemonic, {operand}));
        return lines;
    }
    if (mode == "gbz80") {
        if (isOneOf(mnemonic, {"in", "out"}))
            mnemonic = "ldh";
        std::optional<std::string> offset;
        if (mnemonic == "ld" && operands.size() == 2)
            offset = stackOffset(operands[1]);
        if (offset && first == "hl")
            return {join("ldhl", {"sp", *offset})};
        if (offset && first == "sp")
            return {join("add", {"sp", *offset})};
    }
    return {join(mnemonic, operands)};
}

}  // namespace

std::string gnuArchitecture(const std::string& mode)
{
    if (mode == "gbz80")
        return "gbz80";
    if (mode == "r800")
        return "r800";
    return "z80+full";
}

std::vector<std::string> toGnuSyntax(const std::string& mode, const std::string& line)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t bar = line.find('|', start);
        std::string statement = trim(line.substr(start, bar == std::string::npos ? bar : bar - start));
        if (!statement.empty())
            for (const std::string& translated : translateStatement(lowerCase(mode), statement))
                lines.push_back(translated);
        if (bar == std::string::npos)
            return lines;
        start = bar + 1;
    }
}
