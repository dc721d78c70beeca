#include "macroText.h"

#include "base/diagnostics.h"
#include "base/text.h"

#include <array>

namespace {

constexpr bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Names are most of what the expansion reads: a table tells their characters.
enum CharacterClass : unsigned char {
    OTHER,
    NAME_START,
    NAME_ONLY_AFTER_START  // a digit
};

constexpr auto CHARACTER_CLASSES = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        auto character = static_cast<char>(c);
        if (isLetter(character) || std::string_view("!#.?@_~").find(character) != std::string_view::npos)
            classes[static_cast<std::size_t>(c)] = NAME_START;
        else if (isDigit(character))
            classes[static_cast<std::size_t>(c)] = NAME_ONLY_AFTER_START;
    }
    return classes;
}();

bool isNameStart(char c)
{
    return CHARACTER_CLASSES[static_cast<unsigned char>(c)] == NAME_START;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

// Past the string or character constant whose quote is at text[at]; the
// flattened text holds each one closed on its line.
std::size_t afterString(std::string_view text, std::size_t at)
{
    std::size_t closing = text.find(text[at], at + 1);
    return closing == std::string_view::npos ? text.size() : closing + 1;
}

// A name, or "AF'" as a word: its quote opens no character constant.
std::size_t wordLengthAt(std::string_view text, std::size_t at)
{
    std::size_t length = nameLengthAt(text, at);
    if (length == 2 && at + 2 < text.size() && text[at + 2] == '\'' && equalIgnoringCase(text.substr(at, 2), "AF"))
        return 3;
    return length;
}

std::size_t skipBlanks(std::string_view text, std::size_t at)
{
    while (at < text.size() && text[at] == ' ')
        ++at;
    return at;
}

std::string_view trimmed(std::string_view text)
{
    std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

// "<" at text[at]: past its matching ">", the text between them in `inside`.
std::size_t afterBracketed(std::string_view text, std::size_t at, std::string_view& inside)
{
    int depth = 0;
    for (std::size_t i = at; i < text.size();) {
        char c = text[i];
        if (isQuote(c)) {
            i = afterString(text, i);
            continue;
        }
        if (c == '<')
            ++depth;
        else if (c == '>' && --depth == 0) {
            inside = text.substr(at + 1, i - at - 1);
            return i + 1;
        }
        std::size_t word = wordLengthAt(text, i);
        i += word != 0 ? word : 1;
    }
    reportError("Closing > expected");
}

// One plain argument from `at`: past its text, which ends before a "," or
// "|" outside parentheses and strings.
std::size_t afterPlainArgument(std::string_view text, std::size_t at)
{
    int depth = 0;
    std::size_t i = at;
    while (i < text.size()) {
        char c = text[i];
        if (isQuote(c)) {
            i = afterString(text, i);
            continue;
        }
        if (depth == 0 && (c == ',' || c == '|'))
            break;
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        std::size_t word = wordLengthAt(text, i);
        i += word != 0 ? word : 1;
    }
    return i;
}

}  // namespace

std::size_t nameLengthAt(std::string_view text, std::size_t at)
{
    if (at >= text.size() || !isNameStart(text[at]))
        return 0;
    std::size_t end = at + 1;
    while (end < text.size() && isNameCharacter(text[end]))
        ++end;
    return end - at;
}

StatementHead headOf(std::string_view statement)
{
    StatementHead head;
    std::size_t at = skipBlanks(statement, 0);
    std::size_t length = nameLengthAt(statement, at);
    if (length != 0 && at + length < statement.size() && statement[at + length] == ':') {
        head.label = statement.substr(at, length);
        at = skipBlanks(statement, at + length + 1);
    }
    head.afterLabel = at;
    length = nameLengthAt(statement, at);
    head.first = statement.substr(at, length);
    head.afterFirst = at + length;
    head.afterSecond = head.afterFirst;
    if (length == 0 || head.afterFirst >= statement.size() || statement[head.afterFirst] != ' ')
        return head;
    at = head.afterFirst + 1;
    length = nameLengthAt(statement, at);
    if (at + length < statement.size() && statement[at + length] == ':')
        return head;
    head.second = statement.substr(at, length);
    head.afterSecond = at + length;
    return head;
}

std::size_t statementEnd(std::string_view text, std::size_t from)
{
    for (std::size_t i = from; i < text.size();) {
        char c = text[i];
        if (c == '|')
            return i;
        if (isQuote(c)) {
            i = afterString(text, i);
            continue;
        }
        std::size_t word = wordLengthAt(text, i);
        i += word != 0 ? word : 1;
    }
    return text.size();
}

std::size_t readArguments(std::string_view text, std::size_t from, std::vector<std::string>& arguments)
{
    arguments.clear();
    std::size_t at = skipBlanks(text, from);
    if (at >= text.size() || text[at] == '|')
        return at;
    for (;;) {
        at = skipBlanks(text, at);
        if (at < text.size() && text[at] == '<') {
            std::string_view inside;
            at = skipBlanks(text, afterBracketed(text, at, inside));
            arguments.emplace_back(inside);
            if (at < text.size() && text[at] != ',' && text[at] != '|')
                reportError("Comma expected after >");
        } else {
            std::size_t end = afterPlainArgument(text, at);
            arguments.emplace_back(trimmed(text.substr(at, end - at)));
            at = end;
        }
        if (at >= text.size() || text[at] != ',')
            return at;
        ++at;
    }
}

std::vector<std::string_view> labelDefinitionsIn(std::string_view text)
{
    std::vector<std::string_view> labels;
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        if (isQuote(c)) {
            i = afterString(text, i);
        } else if (isDigit(c)) {
            while (i < text.size() && isDigit(text[i]))
                ++i;
        } else if (c == '&' && nameLengthAt(text, i + 1) != 0) {
            i += 1 + nameLengthAt(text, i + 1);
        } else if (std::size_t word = wordLengthAt(text, i); word != 0) {
            if (i + word < text.size() && text[i + word] == ':' && text[i + word - 1] != '\'')
                labels.push_back(text.substr(i, word));
            i += word;
        } else {
            ++i;
        }
    }
    return labels;
}

std::string replaceNames(std::string_view text, const NameReplacements& replacements)
{
    std::string replaced;
    replaced.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char c = text[i];
        std::size_t end = i + 1;
        if (isQuote(c)) {
            end = afterString(text, i);
        } else if (isDigit(c) || c == '$' || c == '%') {
            // A number's digits and suffix are no name (0AH, $FF).
            while (end < text.size() && (isLetter(text[end]) || isDigit(text[end])))
                ++end;
        } else if (std::size_t word = wordLengthAt(text, i); word != 0) {
            end = i + word;
            if (const std::string* replacement = replacements.replacementOf(text.substr(i, word))) {
                replaced += *replacement;
                i = end;
                continue;
            }
        }
        replaced.append(text.substr(i, end - i));
        i = end;
    }
    return replaced;
}

std::string upperCased(std::string_view name)
{
    std::string upper(name);
    for (char& c : upper)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
    return upper;
}
