#include "xmlNesting.h"

#include <cstring>

namespace {

// Past the first occurrence of terminator, or at the end of the text.
const char* skipPast(const char* text, const char* terminator)
{
    const char* found = std::strstr(text, terminator);
    return found != nullptr ? found + std::strlen(terminator) : text + std::strlen(text);
}

// From just after "<name", past the closing ">"; sets selfClosing for "/>".
const char* skipStartTag(const char* text, bool& selfClosing)
{
    char quote = '\0';
    for (; *text != '\0'; ++text) {
        if (quote != '\0') {
            if (*text == quote)
                quote = '\0';
        } else if (*text == '"' || *text == '\'') {
            quote = *text;
        } else if (*text == '>') {
            selfClosing = text[-1] == '/';
            return text + 1;
        }
    }
    selfClosing = true;  // unterminated: nothing nests inside it
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
            bool selfClosing = false;
            text = skipStartTag(text + 1, selfClosing);
            if (!selfClosing && ++depth > deepest)
                deepest = depth;
        }
    }
    return deepest;
}
