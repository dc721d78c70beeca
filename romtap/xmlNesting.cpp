#include "xmlNesting.h"

#include <cstring>

namespace {

// Past the first occurrence of terminator, or at the end of the text.
const char* skipPast(const char* text, const char* terminator)
{
    const char* found = std::strstr(text, terminator);
    return found != nullptr ? found + std::strlen(terminator) : text + std::strlen(text);
}

bool isBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

const char* skipBlanks(const char* text)
{
    while (isBlank(*text))
        ++text;
    return text;
}

// The characters the parser takes into an element's name: quotes are among
// them, so a quote there opens no quoted text.
bool inElementName(char character)
{
    return character != '\0' && !isBlank(character) && character != '/' && character != '>' && character != '?';
}

bool inAttributeName(char character)
{
    return inElementName(character) && character != '!' && character != '<' && character != '=';
}

enum class StartTag {
    OPENS,
    CLOSES_ITSELF,
    STOPS_THE_PARSER  // malformed: the parser reads no further
};

// From just after "<", past the start tag, read as the parser reads it: a
// name, then attributes (name, "=", a quoted value), then ">" or "/>".
const char* readStartTag(const char* text, StartTag& tag)
{
    tag = StartTag::STOPS_THE_PARSER;
    const char* name = text;
    while (inElementName(*text))
        ++text;
    if (text == name)
        return text;
    for (text = skipBlanks(text); inAttributeName(*text); text = skipBlanks(text)) {
        while (inAttributeName(*text))
            ++text;
        text = skipBlanks(text);
        if (*text != '=')
            return text;
        text = skipBlanks(text + 1);
        const char quote = *text;
        if (quote != '"' && quote != '\'')
            return text;
        const char* end = std::strchr(text + 1, quote);
        if (end == nullptr)
            return text;
        text = end + 1;
    }
    if (text[0] == '>') {
        tag = StartTag::OPENS;
        return text + 1;
    }
    if (text[0] == '/' && text[1] == '>') {
        tag = StartTag::CLOSES_ITSELF;
        return text + 2;
    }
    return text;
}

bool startsDoctype(const char* text)
{
    return std::strncmp(text, "<!DOCTYPE", 9) == 0 && text[9] != '\0' && std::strchr(" \t\r\n", text[9]) != nullptr;
}

// Past the ">" of a document type, skipping its bracketed internal subset.
const char* skipDoctype(const char* text)
{
    int brackets = 0;
    for (; *text != '\0'; ++text) {
        if (*text == '[')
            ++brackets;
        else if (*text == ']' && brackets > 0)
            --brackets;
        else if (*text == '>' && brackets == 0)
            return text + 1;
    }
    return text;
}

}  // namespace

std::size_t deepestNesting(const char* text)
{
    std::size_t depth = 0;
    std::size_t deepest = 0;
    while ((text = std::strchr(text, '<')) != nullptr) {
        if (std::strncmp(text, "<!--", 4) == 0) {
            text = skipPast(text + 4, "-->");
        } else if (std::strncmp(text, "<![CDATA[", 9) == 0) {
            text = skipPast(text + 9, "]]>");
        } else if (text[1] == '?') {
            text = skipPast(text + 2, "?>");
        } else if (startsDoctype(text)) {
            text = skipDoctype(text + 10);
        } else if (text[1] == '!') {
            text = skipPast(text + 2, ">");
        } else if (text[1] == '/') {
            depth -= depth > 0 ? 1 : 0;
            text = skipPast(text + 2, ">");
        } else {
            StartTag tag;
            text = readStartTag(text + 1, tag);
            if (tag == StartTag::STOPS_THE_PARSER)
                break;
            if (tag == StartTag::OPENS && ++depth > deepest)
                deepest = depth;
        }
    }
    return deepest;
}
