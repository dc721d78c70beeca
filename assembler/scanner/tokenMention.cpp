#include "tokenMention.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/text.h"
#include "scannerActions.h"
#include "tokens.h"

namespace {

// A string's text is a copy of its body: the quotes stand around the body
// where it was scanned. An empty string has no body: its token text is its
// closing quote, the opening one just before it.
TokenMention stringMention()
{
    if (asmState.tokenLength == 0) {
        const char* closing = asmState.tokenText;
        return {std::string(2, closing[0]), closing - 1};
    }
    const char* body = ruleActions.stringBodySource;
    if (!body)
        return {};
    const char quote = body[-1];
    return {quote + std::string(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength)) + quote, body - 1};
}

}  // namespace

// A local name's token text is the name as written, though tokenLength
// counts the full name: the name ends where its characters do.
TokenMention nameTokenMention()
{
    const char* end = asmState.tokenText;
    while (isNameCharacter(*end))
        ++end;
    const char* start = asmState.tokenText;
    return {std::string(start, end), start};
}

TokenMention currentTokenMention()
{
    if (!asmState.tokenText)
        return {};
    switch (asmState.curToken) {
    case TOKEN_END_OF_INPUT:
    case TOKEN_END_OF_STATEMENT: return {};
    case TOKEN_STRING: return stringMention();
    case TOKEN_IDENTIFIER:
    case TOKEN_LABEL_DEFINITION: return nameTokenMention();
    default:
        return {std::string(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength)), asmState.tokenText};
    }
}

void reportErrorAtToken(const char* message)
{
    reportErrorNaming(message, currentTokenMention());
}
