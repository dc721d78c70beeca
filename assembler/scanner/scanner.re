/* Scanner of the assembler: a longest-match automaton with a condition per
 * CPU mode, for strings and character constants, and for the preprocessing
 * pass that writes the flattened text, and a second, small one that
 * tells which whole names are keywords. The tokens most lines are made of
 * are matched by hand before the automaton, as it would match them. It
 * scans whole texts held in memory, so a token of any length costs time in
 * proportion to its length. */

#include "scanner.h"

#include "flattenedText.h"
#include "includedTexts.h"
#include "keywords.h"
#include "numbers.h"
#include "plainText.h"
#include "scannerActions.h"
#include "sourceReader.h"
#include "tokenRecords.h"
#include "tokens.h"
#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/*!conditions:re2c*/

namespace {

constexpr const char* EMPTY_TEXT = "";

struct AutomatonState {
    ScanBuffer* buffer = nullptr;
    // Read whole when the first token is asked for, as the stream may still
    // change until then (an output of the same name emptied by the pass).
    FILE* pendingStream = nullptr;
    std::int64_t pendingStreamSize = -1;  // as reported when it was opened
    // A string, character constant or comment is scanned in a condition of its
    // own and then returns to the one it was entered from; none nests deeper.
    YYCONDTYPE condition = yycR800;
    YYCONDTYPE enclosingCondition = yycR800;
    bool nested = false;
    bool loneToken = false;  // scanning one token of a text apart: no includer to resume
};

AutomatonState automaton;

// The condition of each CpuMode, by its value: looked up for every token.
constexpr YYCONDTYPE CONDITION_OF_MODE[] = {yycZ80, yycR800, yycGBZ80, yycPREPROCESS};
static_assert(CPU_MODE_Z80 == 0 && CPU_MODE_R800 == 1 && CPU_MODE_GBZ80 == 2 && CPU_MODE_PREPROCESS == 3);

YYCONDTYPE conditionOf(CpuMode mode)
{
    return CONDITION_OF_MODE[mode];
}

// The CPU mode whose rules a CPU mode's condition holds.
CpuMode modeOfCondition(YYCONDTYPE condition)
{
    switch (condition) {
    case yycZ80: return CPU_MODE_Z80;
    case yycGBZ80: return CPU_MODE_GBZ80;
    default: return CPU_MODE_R800;
    }
}

void enter(YYCONDTYPE condition)
{
    automaton.enclosingCondition = automaton.condition;
    automaton.condition = condition;
    automaton.nested = true;
}

void leave()
{
    automaton.condition = automaton.enclosingCondition;
    automaton.nested = false;
}

ScanBuffer* emptyBuffer()
{
    auto* buffer = new ScanBuffer;
    buffer->start = buffer->cursor = buffer->limit = EMPTY_TEXT;
    return buffer;
}

void fillFromStream(ScanBuffer* buffer, FILE* stream, std::int64_t reportedSize)
{
    readSourceText(stream, reportedSize, buffer->text);
    buffer->start = buffer->cursor = buffer->text.bytes.get();
    buffer->limit = buffer->start + buffer->text.size;
}

void replaceBuffer(ScanBuffer* buffer)
{
    delete automaton.buffer;
    automaton.buffer = buffer;
}

// The current text is exhausted: true when scanning goes on in another one.
// Kept out of nextToken: inlined there, it cost the automaton registers
// (50M instructions more at 400k lines).
[[gnu::noinline]] bool resumeAfterEnd()
{
    if (automaton.pendingStream) {
        fillFromStream(automaton.buffer, automaton.pendingStream, automaton.pendingStreamSize);
        automaton.pendingStream = nullptr;
        return true;
    }
    return !automaton.loneToken && resumeIncluder();
}

// Every rule makes what it matched the token text, as the parsers and the
// actions read it from there.
void setTokenText(const char* start, const char* end)
{
    // Only string bodies, which are copied out first, are ever written to.
    asmState.tokenText = const_cast<char*>(start);
    asmState.tokenLength = static_cast<int>(end - start);
}

// The number that the decimal digits [digit, end) spell; at most nine of
// them, so that it fits. For the line marker's rule, which has matched only
// digits: convertDecimal, which tests each byte, costs a million
// instructions more per hundred thousand lines.
inline int digitsValue(const unsigned char* digit, const unsigned char* end)
{
    int value = 0;
    for (; digit != end; ++digit)
        value = value * 10 + (*digit - '0');
    return value;
}

// A token that carries a number: a register or condition code, or a literal's value.
inline int valued(int32_t value, int token)
{
    asmState.tokenValue = value;
    ruleActions.valueSet = true;
    return token;
}

int finishPreprocessedString(char quote, const char* unclosedMessage)
{
    leave();
    captureStringBody();
    if (readChar() == '\n')
        reportError(unclosedMessage);
    noteIncbinName();
    if (ruleActions.includeNamePending) {
        ruleActions.includeNamePending = false;
        return 1;
    }
    writeFlattenedText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    writeFlattenedText(&quote, 1);
    return 0;
}

int finishEmptyPreprocessedString(char quote)
{
    leave();
    asmState.tokenLength = 0;
    noteIncbinName();
    if (ruleActions.includeNamePending) {
        ruleActions.includeNamePending = false;
        return 1;
    }
    writeFlattenedText(&quote, 1);
    return 0;
}

// What a name, taken whole, is in the CPU mode of this call: the keyword's
// token (having set tokenValue where it carries one), or 0 for a name.
int keywordOf(const char* name, int length, CpuMode mode)
{
    const KeywordMeaning meaning = keywordIn(name, static_cast<std::size_t>(length), mode);
    return meaning.valued ? valued(meaning.value, meaning.token) : meaning.token;
}

bool isBlank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

// A line's text up to its comment or end, [text, end): each run of blanks
// becomes one blank, and the plain text between, from plain on, is kept as
// it stands (a line of blanks has none: plain is null). Nearly every line
// comes here: the appends are inline.
[[gnu::always_inline]] inline void appendLineText(const unsigned char* text, const unsigned char* plain,
                                                  const unsigned char* end)
{
    const bool blankBefore = (plain ? plain : end) != text;
    if (!plain) {
        if (blankBefore)
            appendFlattenedText(" ", 1);
        return;
    }
    const unsigned char* plainEnd = end;
    while (isBlank(plainEnd[-1]))
        --plainEnd;
    appendBlankedText(blankBefore, reinterpret_cast<const char*>(plain), static_cast<std::size_t>(plainEnd - plain),
                      plainEnd != end);
}

// The actions below stay out of the automaton's function: the positions they
// keep across calls would take registers that it saves for every token.

[[gnu::noinline]] void copyLineText(const unsigned char* text, const unsigned char* plain, const unsigned char* end)
{
    appendLineText(text, plain, end);
}

// A line's text as above, then its line end, [lineEnd, end): a marker for
// the line after it.
[[gnu::always_inline]] inline void appendLine(const unsigned char* text, const unsigned char* plain,
                                              const unsigned char* textEnd, const unsigned char* lineEnd,
                                              const unsigned char* end)
{
    appendLineText(text, plain, textEnd);
    asmState.lineNumber += static_cast<int>(end - lineEnd);
    writeLineMarker(asmState.lineNumber);
}

[[gnu::noinline]] void copyLine(const unsigned char* text, const unsigned char* plain, const unsigned char* textEnd,
                                const unsigned char* lineEnd, const unsigned char* end)
{
    appendLine(text, plain, textEnd, lineEnd, end);
}

// The label definition, name and colon, that is the token text: copied, and
// entered into the table.
void copyLabelDefinition()
{
    writeFlattenedText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    // Expanding macros registers the labels of the expanded text instead.
    if (ruleActions.labelsDeferred)
        return;
    scanLabelDefinition();
    registerLabelDefinition();
}

// A label definition, [tokenText, labelEnd), and the rest of its line as
// appendLine takes it.
[[gnu::always_inline]] inline void appendLabelLine(const unsigned char* labelEnd, const unsigned char* plain,
                                                   const unsigned char* textEnd, const unsigned char* end)
{
    asmState.tokenLength = static_cast<int>(labelEnd - reinterpret_cast<const unsigned char*>(asmState.tokenText));
    copyLabelDefinition();
    appendLine(labelEnd, plain, textEnd, textEnd, end);
}

[[gnu::noinline]] void copyLabelLine(const unsigned char* labelEnd, const unsigned char* plain,
                                     const unsigned char* textEnd, const unsigned char* end)
{
    appendLabelLine(labelEnd, plain, textEnd, end);
}

// "INCBIN", its blanks as one space, and the quote that opens its file name,
// whose file the run must not overwrite (the name is noted when it ends).
void copyIncbinOpening()
{
    constexpr std::size_t KEYWORD_LENGTH = 6;
    const char* text = asmState.tokenText;
    auto length = static_cast<std::size_t>(asmState.tokenLength);
    writeFlattenedText(text, KEYWORD_LENGTH);
    if (length > KEYWORD_LENGTH + 1)
        writeFlattenedText(" ", 1);
    writeFlattenedText(text + length - 1, 1);
    enter(text[length - 1] == '"' ? yycPREPROCESS_STRING : yycPREPROCESS_CHARACTER);
    ruleActions.incbinNamePending = true;
}

// What a byte may begin or go on in the rules of the CPU modes, for the
// quick path below.
enum ByteClass : uint8_t {
    NAME_START = 1,      // NAMESTART
    NAME_PART = 2,       // the rest of NAME
    DIGIT = 4,           // [0-9]
    HEX_DIGIT = 8,       // [0-9A-Fa-f]
    NUMBER_GOES_ON = 16, // a letter, digit or blank: a number rule may take it
    ALONE = 32,          // begins no rule but the one of a byte alone
    OPENER = 64,         // ( and [, which begin the bracketed operand forms
    PLAIN_TEXT = 128,    // what preprocessing copies as it stands: no blank, line end, NUL, ; { " ' :
};

constexpr std::array<uint8_t, 256> classifyBytes()
{
    std::array<uint8_t, 256> classes{};
    for (int byte = 0; byte < 256; ++byte) {
        const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
        const bool digit = byte >= '0' && byte <= '9';
        const bool nameSign = byte == '!' || byte == '#' || byte == '.' || byte == '?' || byte == '@' || byte == '_'
                              || byte == '~';
        const bool hexLetter = (byte >= 'A' && byte <= 'F') || (byte >= 'a' && byte <= 'f');
        // Bytes that begin a rule of their own or a longer match.
        const bool beginsRule = letter || digit || nameSign || byte == 0 || byte == 1 || byte == 2 || byte == ' '
                                || byte == '"' || byte == '\'' || byte == '$' || byte == '%' || byte == '&'
                                || byte == '(' || byte == '[' || byte == '<' || byte == '=' || byte == '>'
                                || byte == '|';
        uint8_t bits = 0;
        if (letter || nameSign)
            bits |= NAME_START | NAME_PART;
        if (digit)
            bits |= NAME_PART | DIGIT | HEX_DIGIT | NUMBER_GOES_ON;
        if (hexLetter)
            bits |= HEX_DIGIT;
        if (letter || byte == ' ')
            bits |= NUMBER_GOES_ON;
        if (!beginsRule)
            bits |= ALONE;
        if (byte == '(' || byte == '[')
            bits |= OPENER;
        if (isPlainTextByte(static_cast<unsigned char>(byte)))
            bits |= PLAIN_TEXT;
        classes[static_cast<std::size_t>(byte)] = bits;
    }
    return classes;
}
constexpr std::array<uint8_t, 256> BYTE_CLASSES = classifyBytes();

inline bool isOf(unsigned char byte, ByteClass byteClass)
{
    return (BYTE_CLASSES[byte] & byteClass) != 0;
}

// The meanings by CpuMode of the name [name, name + length) of a text that
// ends at limit; nullptr for a name that is no keyword of any mode.
inline const KeywordMeaning* keywordMeaningsAt(const unsigned char* name, std::size_t length,
                                               const unsigned char* limit)
{
    if (length > keywords::LONGEST)
        return nullptr;
    // The name's word is read whole where it ends before the text does.
    const uint64_t key = limit - name >= 8 ? keywordKeyAt(name, length)
                                           : keywords::keyOf(reinterpret_cast<const char*>(name), length);
    return keywordMeaningsOf(key);
}

constexpr int NOT_QUICK = -1;

// What a quick match needs besides its token and text.
enum class QuickKind : uint8_t {
    PLAIN,
    VALUED,       // a register, condition or number: value is its tokenValue
    LINE_MARKER,  // value is the line number; the closing byte follows end
    IDENTIFIER,
    LABEL_DEFINITION,  // the text ends with the colon
};

struct QuickMatch {
    int token = NOT_QUICK;
    const unsigned char* start = nullptr;  // the token's text, after the blanks before it
    const unsigned char* end = nullptr;
    int32_t value = 0;
    QuickKind kind = QuickKind::PLAIN;
};

bool isBracketBlank(unsigned char byte)
{
    return byte == ' ' || byte == '\t';
}

bool isLetter(unsigned char byte)
{
    return static_cast<unsigned>((byte | 0x20) - 'a') < 26;
}

// The bracketed operand form that opener (a "(" or "[") begins in mode, as
// its rules match it (blanks allowed inside, the closer the opener's own):
// (C), (BC), (DE), (HL), (SP), and (IX or (IY before a sign or the closer,
// which is not part of it; else the opener alone.
inline QuickMatch matchBracketedForm(const unsigned char* opener, CpuMode mode)
{
    QuickMatch match;
    match.start = opener;
    match.token = *opener;
    match.end = opener + 1;
    const unsigned char closer = *opener == '(' ? ')' : ']';
    const unsigned char* name = opener + 1;
    while (isBracketBlank(*name))
        ++name;
    // A register's name is one or two letters; the reads stop at the first
    // byte that is none, the NUL byte that ends the text included.
    std::size_t letters = 0;
    while (letters < 3 && isLetter(name[letters]))
        ++letters;
    if (letters == 0 || letters == 3)
        return match;
    const unsigned char* after = name + letters;
    while (isBracketBlank(*after))
        ++after;
    const bool closed = *after == closer;
    const bool z80 = mode != CPU_MODE_GBZ80;
    const unsigned pair = (name[0] | 0x20u) << 8 | (letters == 2 ? name[1] | 0x20u : 0);
    auto form = [&](int token, QuickKind kind, int32_t value) {
        match.token = token;
        match.kind = kind;
        match.value = value;
        match.end = after + 1;
        return match;
    };
    const bool index = z80 && (pair == ('i' << 8 | 'x') || pair == ('i' << 8 | 'y'));
    if (index && (closed || *after == '+' || *after == '-')) {
        // The sign or closer is scanned again.
        form(TOKEN_INDEX_OPEN, QuickKind::VALUED, pair == ('i' << 8 | 'x') ? PREFIX_IX : PREFIX_IY);
        match.end = after;
        return match;
    }
    if (!closed)
        return match;
    switch (pair) {
    case 'c' << 8: return form(TOKEN_INDIRECT_C, QuickKind::PLAIN, 0);
    case 'b' << 8 | 'c': return form(TOKEN_INDIRECT_BC, QuickKind::VALUED, 0);
    case 'd' << 8 | 'e': return form(TOKEN_INDIRECT_DE, QuickKind::VALUED, 16);
    case 'h' << 8 | 'l': return form(TOKEN_INDIRECT_HL, QuickKind::VALUED, 6);
    case 's' << 8 | 'p':
        if (z80)
            return form(TOKEN_INDIRECT_SP, QuickKind::PLAIN, 0);
        break;
    }
    return match;
}

// The rules of the tokens most of a program is made of, matched as the
// automaton matches them, without its way into its states and without a
// change to any state. The text ends in a NUL byte, which no loop below
// goes past.

// The end of the name that begins at name (a NAMESTART byte).
inline const unsigned char* nameEnd(const unsigned char* name)
{
    do
        ++name;
    while (isOf(*name, NAME_PART));
    return name;
}

// A line marker as preprocessing writes it at marker (a 01 byte): one to
// nine digits, then the closing 01 byte, whose place it returns with value
// set to the number; nullptr for any other marker.
inline const unsigned char* plainMarkerEnd(const unsigned char* marker, const unsigned char* limit, int32_t& value)
{
    const unsigned char* digit = marker + 1;
    if (limit - digit >= 8) {
        // Most markers have fewer than eight digits: those are read at once.
        constexpr uint64_t ONES = 0x0101010101010101u;
        uint64_t word = 0;
        std::memcpy(&word, digit, sizeof word);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        // A byte's top bit is set where it is no digit: below 30H (the
        // subtraction wraps), above 39H (the addition reaches 80H) or above
        // 7FH. Borrows and carries run up only from a byte that is no digit,
        // which leaves the first such byte as it is.
        const uint64_t nonDigits = ((word - 0x30 * ONES) | (word + 0x46 * ONES) | word) & (0x80 * ONES);
        if (nonDigits != 0) {
            const auto count = static_cast<unsigned>(std::countr_zero(nonDigits) / 8);
            if (count == 0 || digit[count] != '\x01')
                return nullptr;
            // The digits' values in the top bytes, the first lowest: pairs
            // of digits, then the pairs in one number.
            uint64_t digits = (word - 0x30 * ONES) << (8 * (8 - count));
            digits = digits * 10 + (digits >> 8);
            constexpr uint64_t PAIRS = 0x000000FF000000FFu;
            digits = ((digits & PAIRS) * (100 + (uint64_t{1000000} << 32))
                      + ((digits >> 16) & PAIRS) * (1 + (uint64_t{10000} << 32)))
                     >> 32;
            value = static_cast<int32_t>(digits);
            return digit + count;
        }
    }
    int32_t number = 0;
    for (unsigned digitValue; (digitValue = *digit - unsigned{'0'}) < 10 && digit - marker <= 9; ++digit)
        number = number * 10 + static_cast<int32_t>(digitValue);
    if (*digit != '\x01' || digit == marker + 1)
        return nullptr;
    value = number;
    return digit;
}

// A number at digit (a decimal digit) that no rule but the decimal one takes
// on, or an H-suffixed hexadecimal one: its end, with value set; nullptr
// for any other number.
inline const unsigned char* plainNumberEnd(const unsigned char* digit, int32_t& value)
{
    // Decimal digits wrap in 32 bits, as convertDecimal takes them.
    uint32_t decimal = 0;
    const unsigned char* end = digit;
    for (; isOf(*end, DIGIT); ++end)
        decimal = decimal * 10 + (*end - unsigned{'0'});
    if (!isOf(*end, NUMBER_GOES_ON)) {
        value = static_cast<int32_t>(decimal);
        return end;
    }
    while (isOf(*end, HEX_DIGIT))
        ++end;
    if ((*end | 0x20) != 'h')
        return nullptr;
    ++end;
    value = convertHexadecimal(reinterpret_cast<const char*>(digit), static_cast<int>(end - digit));
    return end;
}

// Names, keywords and label definitions, line markers, plain decimal and
// H-suffixed numbers, bytes alone and bracketed operand forms at `at` (in a
// CPU mode's own condition). NOT_QUICK for anything else, with start after
// the blanks, where the automaton goes on from.
[[gnu::always_inline]] inline QuickMatch matchQuick(const unsigned char* at, const unsigned char* limit,
                                                    CpuMode mode)
{
    QuickMatch match;
    const unsigned char* start = at;
    while (*start == ' ')
        ++start;
    match.start = start;
    const unsigned char first = *start;
    auto matched = [&](int token, QuickKind kind, const unsigned char* end) {
        match.token = token;
        match.kind = kind;
        match.end = end;
        return match;
    };
    if (isOf(first, NAME_START)) {
        const unsigned char* end = nameEnd(start);
        if (*end == ':')
            return matched(TOKEN_LABEL_DEFINITION, QuickKind::LABEL_DEFINITION, end + 1);
        // AF', the only keyword that goes on.
        if (*end == '\'' && end - start == 2)
            return match;
        const KeywordMeaning* meanings = keywordMeaningsAt(start, static_cast<std::size_t>(end - start), limit);
        if (meanings && meanings[mode].token != 0) {
            match.value = meanings[mode].value;
            return matched(meanings[mode].token, meanings[mode].valued ? QuickKind::VALUED : QuickKind::PLAIN, end);
        }
        return matched(TOKEN_IDENTIFIER, QuickKind::IDENTIFIER, end);
    }
    if (first == '\x01') {
        const unsigned char* closing = plainMarkerEnd(start, limit, match.value);
        return closing ? matched(TOKEN_END_OF_STATEMENT, QuickKind::LINE_MARKER, closing) : match;
    }
    if (isOf(first, DIGIT)) {
        const unsigned char* end = plainNumberEnd(start, match.value);
        return end ? matched(TOKEN_NUMBER, QuickKind::VALUED, end) : match;
    }
    if (isOf(first, ALONE))
        return matched(first, QuickKind::PLAIN, start + 1);
    if (isOf(first, OPENER))
        return matchBracketedForm(start, mode);
    return match;
}

// A quick match as the automaton's rules leave it: the token fields, the
// scan position, and for a marker or a name what its rule does. NOT_QUICK
// where there is none, with the scan after the blanks, as the rule of a
// blank leaves it for the automaton to go on from. Only in a CPU mode's own
// condition.
inline int quickToken()
{
    ScanBuffer* buffer = automaton.buffer;
    const auto* at = reinterpret_cast<const unsigned char*>(buffer->cursor);
    const QuickMatch match = matchQuick(at, reinterpret_cast<const unsigned char*>(buffer->limit), asmState.cpuMode);
    if (match.token == NOT_QUICK) {
        if (match.start != at) {
            buffer->cursor = reinterpret_cast<const char*>(match.start);
            setTokenText(reinterpret_cast<const char*>(match.start - 1), reinterpret_cast<const char*>(match.start));
        }
        return NOT_QUICK;
    }
    buffer->cursor = reinterpret_cast<const char*>(match.end);
    setTokenText(reinterpret_cast<const char*>(match.start), reinterpret_cast<const char*>(match.end));
    switch (match.kind) {
    case QuickKind::PLAIN: break;
    case QuickKind::VALUED: return valued(match.value, match.token);
    case QuickKind::LINE_MARKER:
        ++buffer->cursor;
        enterLine(match.value);
        break;
    case QuickKind::IDENTIFIER: scanIdentifier(); break;
    case QuickKind::LABEL_DEFINITION: scanLabelDefinition(); break;
    }
    return match.token;
}

// The record of a name token of a run, [name, name + length), as its rule
// composes the name: a local name joins the global label in force, which a
// global definition replaces. False, with nothing recorded, where the full
// name would be too long for a record: the one-token scan keeps its length
// aside.
[[gnu::noinline]] bool recordRunName(TokenRun& run, TokenRecord& record, const unsigned char* name,
                                     std::size_t length, bool definition)
{
    const std::string_view token(reinterpret_cast<const char*>(name), length);
    const bool local = token[0] == '.';
    const std::size_t fullLength = local ? run.scope.size() + length : length;
    if (fullLength >= LONG_LENGTH)
        return false;
    record.value = run.recordName(token, local ? run.scope : std::string_view(), definition && !local);
    record.textLength = static_cast<uint8_t>(fullLength);
    record.kindAndMode |= NAME;
    if (definition && !local)
        run.scope = token;
    return true;
}

// Preprocessing: the lines the automaton would take whole with the rules of
// a plain line, a label line and a comment line before another, and a
// label before what those take, handled as those rules handle them, from
// the scan position on; the scan stops where another rule would match.
// Nearly every line of a program is one of them: the automaton's way through
// its states costs several times as much.
void copyPlainLines()
{
    ScanBuffer* buffer = automaton.buffer;
    const auto* limit = reinterpret_cast<const unsigned char*>(buffer->limit);
    const auto* start = reinterpret_cast<const unsigned char*>(buffer->cursor);
    // As the automaton's match leaves them for its rule's action.
    auto matched = [&](const unsigned char* end) {
        buffer->cursor = reinterpret_cast<const char*>(end);
        setTokenText(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(end));
    };
    for (;;) {
        const unsigned char* labelEnd = nullptr;
        if (isOf(*start, NAME_START)) {
            const unsigned char* nameEnds = nameEnd(start);
            if (*nameEnds == ':')
                labelEnd = nameEnds + 1;
        }
        // Blanks, then plain text: words of plain bytes, a blank between
        // two; then blanks.
        const unsigned char* plain = labelEnd ? labelEnd : start;
        while (isBlank(*plain))
            ++plain;
        const unsigned char* plainStart = nullptr;
        const unsigned char* textEnd = plain;
        if (isOf(*plain, PLAIN_TEXT)) {
            plainStart = plain;
            textEnd = plainTextEnd(plain);
            while (isBlank(*textEnd))
                ++textEnd;
        }
        const unsigned char* lineEnd = textEnd;
        if (*lineEnd == ';' && !labelEnd) {
            const void* newline = std::memchr(lineEnd, '\n', static_cast<std::size_t>(limit - lineEnd));
            if (!newline)
                break;
            lineEnd = static_cast<const unsigned char*>(newline);
            // A comment line before another gives one marker for both.
            const unsigned char* next = lineEnd + 1;
            while (isBlank(*next))
                ++next;
            if (*next == ';') {
                // The second comment is scanned again.
                matched(next);
                appendLineText(start, plainStart, textEnd);
                ++asmState.lineNumber;
                start = next;
                continue;
            }
        }
        if (*lineEnd != '\n') {
            if (!labelEnd)
                break;
            // The label alone, and what follows it as a match of its own.
            matched(labelEnd);
            copyLabelDefinition();
            start = labelEnd;
            continue;
        }
        const unsigned char* end = lineEnd;
        while (*end == '\n')
            ++end;
        matched(end);
        // As the label line's rule and the plain line's take them.
        if (labelEnd)
            appendLabelLine(labelEnd, plainStart, textEnd, end);
        else
            appendLine(start, plainStart, textEnd, lineEnd, end);
        start = end;
    }
    buffer->cursor = reinterpret_cast<const char*>(start);
}

// The automaton: every rule, from the scan position on.
[[gnu::noinline]] int automatonToken();

}  // namespace

int nextToken()
{
    // The CPU directive and the driver set cpuMode directly; a string or
    // comment left open by the previous call stays in force.
    if (!automaton.nested) {
        automaton.condition = conditionOf(asmState.cpuMode);
        if (asmState.cpuMode != CPU_MODE_PREPROCESS) {
            const int token = quickToken();
            if (token != NOT_QUICK)
                return token;
        }
    }
    return automatonToken();
}

std::size_t scanTokenRun(TokenRun& run)
{
    const auto* text = reinterpret_cast<const unsigned char*>(automaton.buffer->start);
    const auto* limit = reinterpret_cast<const unsigned char*>(automaton.buffer->limit);
    const unsigned char* at = text + run.from;
    const auto mode = static_cast<uint8_t>(run.mode);
    TokenRecord* record = run.records;
    TokenRecord* const recordsEnd = record + run.room;
    // Each token's rule sets its record's fields and where the scan goes on;
    // a token that needs more than its record (a length or distance kept
    // aside, a rule with more to do) ends the run before it.
    for (; record != recordsEnd; ++record) {
        // Blanks between tokens are single in the flattened text, but for
        // a few the preprocessing rules leave.
        const unsigned char* start = at + (*at == ' ');
        if (*start == ' ') {
            while (*start == ' ')
                ++start;
            if (static_cast<std::size_t>(start - at) >= FAR_SCAN_START)
                break;
        }
        const auto distance = static_cast<unsigned>(start - at);
        const unsigned char first = *start;
        record->textOffset = static_cast<uint32_t>(start - text);
        record->kindAndMode = mode;
        auto take = [&](int token, const unsigned char* textEnd) {
            record->tokenAndScanDistance = static_cast<uint16_t>(token | distance << TOKEN_BITS);
            record->textLength = static_cast<uint8_t>(textEnd - start);
        };
        auto takeValued = [&](int token, const unsigned char* textEnd, int32_t value) {
            take(token, textEnd);
            record->value = value;
            record->kindAndMode |= SETS_VALUE;
        };
        const uint8_t classes = BYTE_CLASSES[first];
        if (classes & NAME_START) {
            const unsigned char* end = nameEnd(start);
            const auto length = static_cast<std::size_t>(end - start);
            if (*end == ':') {
                take(TOKEN_LABEL_DEFINITION, end);
                if (!recordRunName(run, *record, start, length, true))
                    break;
                at = end + 1;
                continue;
            }
            if (*end == '\'' && length == 2)
                break;
            // The slack after the text lets the name's word be read whole.
            const KeywordMeaning* meanings
                = length <= keywords::LONGEST ? keywordMeaningsOf(keywordKeyAt(start, length)) : nullptr;
            if (meanings && meanings[mode].token != 0) {
                const KeywordMeaning& keyword = meanings[mode];
                if (keyword.valued)
                    takeValued(keyword.token, end, keyword.value);
                else
                    take(keyword.token, end);
            } else {
                take(TOKEN_IDENTIFIER, end);
                if (!recordRunName(run, *record, start, length, false))
                    break;
            }
            at = end;
        } else if (first == '\x01') {
            const unsigned char* closing = plainMarkerEnd(start, limit + SCANNED_TEXT_SLACK, record->value);
            if (!closing)
                break;
            take(TOKEN_END_OF_STATEMENT, closing);
            record->kindAndMode |= LINE_MARKER;
            at = closing + 1;
        } else if (classes & DIGIT) {
            int32_t value = 0;
            const unsigned char* end = plainNumberEnd(start, value);
            if (!end || end - start >= LONG_LENGTH)
                break;
            takeValued(TOKEN_NUMBER, end, value);
            at = end;
        } else if (classes & ALONE) {
            take(first, start + 1);
            at = start + 1;
        } else if (classes & OPENER) {
            const QuickMatch match = matchBracketedForm(start, run.mode);
            if (match.end - start >= LONG_LENGTH)
                break;
            if (match.kind == QuickKind::VALUED)
                takeValued(match.token, match.end, match.value);
            else
                take(match.token, match.end);
            at = match.end;
        } else {
            break;
        }
    }
    run.from = static_cast<std::size_t>(at - text);
    return static_cast<std::size_t>(record - run.records);
}

namespace {

int automatonToken()
{
    for (;;) {
        if (automaton.condition == yycPREPROCESS)
            copyPlainLines();
        // The automaton reads bytes: a plain char would compare negative.
        const auto* start = reinterpret_cast<const unsigned char*>(automaton.buffer->cursor);
        const auto* cursor = start;
        const auto* limit = reinterpret_cast<const unsigned char*>(automaton.buffer->limit);
        const auto* marker = start;
        // Ends the match: the rule's action may read on or switch buffers.
        auto matched = [&] {
            automaton.buffer->cursor = reinterpret_cast<const char*>(cursor);
            setTokenText(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(cursor));
        };
        // A string body: copied out, as the closing quote is read past it.
        auto stringToken = [&] {
            matched();
            leave();
            captureStringBody();
            readChar();
            return TOKEN_STRING;
        };
        auto emptyStringToken = [&] {
            matched();
            leave();
            asmState.tokenLength = 0;
            return TOKEN_STRING;
        };
        // Gives back the last character matched, to be scanned again.
        auto giveBackOne = [&] {
            --automaton.buffer->cursor;
            --asmState.tokenLength;
        };
        auto indexOpener = [&](int prefix) {
            matched();
            giveBackOne();
            return valued(prefix, TOKEN_INDEX_OPEN);
        };
        auto token = [&](int code) {
            matched();
            return code;
        };
        const unsigned char* labelEnd = nullptr;
        const unsigned char* plainStart = nullptr;
        const unsigned char* textEnd = nullptr;
        const unsigned char* lineEnd = nullptr;
        /*!stags:re2c format = "const unsigned char* @@ = nullptr;\n"; */
/*!re2c
    re2c:define:YYCTYPE = "unsigned char";
    re2c:define:YYCURSOR = cursor;
    re2c:define:YYMARKER = marker;
    re2c:define:YYLIMIT = limit;
    re2c:tags = 1;
    re2c:define:YYGETCONDITION = "automaton.condition";
    re2c:define:YYGETCONDITION:naked = 1;
    re2c:yyfill:enable = 0;
    re2c:eof = 0;
    re2c:flags:case-insensitive = 1;
    re2c:cond:prefix = yyc_;

    NAMESTART = [A-Za-z!#.?@_~];
    NAME = NAMESTART [A-Za-z0-9!#.?@_~]*;
    BLANKS = [ \t]*;

    // The alternate register pair of the Z80 and R800 modes.
    <Z80, R800> "AF'"           { return token(TOKEN_AF_ALTERNATE); }

    // Bracketed operand forms; the closer must match the opener.
    <Z80, R800, GBZ80> "(" BLANKS "C" BLANKS ")"    { return token(TOKEN_INDIRECT_C); }
    <Z80, R800, GBZ80> "[" BLANKS "C" BLANKS "]"    { return token(TOKEN_INDIRECT_C); }
    <Z80, R800, GBZ80> "(" BLANKS "BC" BLANKS ")"   { return token(valued(0, TOKEN_INDIRECT_BC)); }
    <Z80, R800, GBZ80> "[" BLANKS "BC" BLANKS "]"   { return token(valued(0, TOKEN_INDIRECT_BC)); }
    <Z80, R800, GBZ80> "(" BLANKS "DE" BLANKS ")"   { return token(valued(16, TOKEN_INDIRECT_DE)); }
    <Z80, R800, GBZ80> "[" BLANKS "DE" BLANKS "]"   { return token(valued(16, TOKEN_INDIRECT_DE)); }
    <Z80, R800, GBZ80> "(" BLANKS "HL" BLANKS ")"   { return token(valued(6, TOKEN_INDIRECT_HL)); }
    <Z80, R800, GBZ80> "[" BLANKS "HL" BLANKS "]"   { return token(valued(6, TOKEN_INDIRECT_HL)); }
    <Z80, R800> "(" BLANKS "SP" BLANKS ")"          { return token(TOKEN_INDIRECT_SP); }
    <Z80, R800> "[" BLANKS "SP" BLANKS "]"          { return token(TOKEN_INDIRECT_SP); }
    // Index openers: the sign or closer that follows is scanned again.
    <Z80, R800> "(" BLANKS "IX" BLANKS [-+)]        { return indexOpener(PREFIX_IX); }
    <Z80, R800> "[" BLANKS "IX" BLANKS [-+\]]       { return indexOpener(PREFIX_IX); }
    <Z80, R800> "(" BLANKS "IY" BLANKS [-+)]        { return indexOpener(PREFIX_IY); }
    <Z80, R800> "[" BLANKS "IY" BLANKS [-+\]]       { return indexOpener(PREFIX_IY); }

    // Operators written with two characters.
    <Z80, R800, GBZ80> "<<"     { return token(TOKEN_SHIFT_LEFT); }
    <Z80, R800, GBZ80> ">>"     { return token(TOKEN_SHIFT_RIGHT); }
    <Z80, R800, GBZ80> "<>" | "><"  { return token(TOKEN_NOT_EQUAL); }
    <Z80, R800, GBZ80> "<=" | "=<"  { return token(TOKEN_LESS_EQUAL); }
    <Z80, R800, GBZ80> ">=" | "=>"  { return token(TOKEN_GREATER_EQUAL); }

    // Position symbols.
    <Z80, R800, GBZ80> "$"      { return token(TOKEN_DOLLAR); }
    <Z80, R800, GBZ80> "$$"     { return token(TOKEN_DOUBLE_DOLLAR); }

    // Names.
    <Z80, R800, GBZ80> NAME ":" { matched(); scanLabelDefinition(); return TOKEN_LABEL_DEFINITION; }
    // A name the mode knows as a keyword is that keyword; a longer one is a name.
    <Z80, R800, GBZ80> NAME {
        matched();
        int keyword = keywordOf(asmState.tokenText, asmState.tokenLength, modeOfCondition(automaton.condition));
        if (keyword != 0)
            return keyword;
        scanIdentifier();
        return TOKEN_IDENTIFIER;
    }
    <Z80, R800, GBZ80> "&" NAME {
        matched();
        ++asmState.tokenText;
        --asmState.tokenLength;
        scanIdentifier();
        return TOKEN_IDENTIFIER;
    }

    // Numbers.
    <Z80, R800, GBZ80> [0-9]+ "D"? {
        matched();
        return valued(convertDecimal(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
    }
    <Z80, R800, GBZ80> "$" [0-9A-Fa-f]+ | [0-9] [0-9A-Fa-f]* "H" | "0X" [0-9A-Fa-f]+ {
        matched();
        return valued(convertHexadecimal(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
    }
    <Z80, R800, GBZ80> "%" [01 ]* [01] | [01] [01 ]* "B" {
        matched();
        return valued(convertBinary(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
    }
    <Z80, R800, GBZ80> [0-7]+ [OoQq] {
        matched();
        return valued(convertOctal(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
    }

    // Strings and character constants.
    <Z80, R800, GBZ80> "'"      { matched(); enter(yycCHARACTER); continue; }
    <Z80, R800, GBZ80> "\""     { matched(); enter(yycSTRING); continue; }
    <STRING> [^"]+              { return stringToken(); }
    <CHARACTER> [^']+           { return stringToken(); }
    // An empty string or constant is a string token of length 0.
    <STRING> "\""              { return emptyStringToken(); }
    <CHARACTER> "'"             { return emptyStringToken(); }

    // Markers of the flattened text, statement separator, blanks. A marker
    // as preprocessing writes it is read whole; the closing 01 byte is not
    // part of the token text.
    <Z80, R800, GBZ80> "\x01" [0-9]{1,9} "\x01" {
        matched();
        --asmState.tokenLength;
        enterLine(digitsValue(start + 1, cursor - 1));
        return TOKEN_END_OF_STATEMENT;
    }
    <Z80, R800, GBZ80> "\x01" [^\x01]* {
        matched();
        scanLineMarker();
        readChar();
        return TOKEN_END_OF_STATEMENT;
    }
    <Z80, R800, GBZ80> "|"      { return token(TOKEN_END_OF_STATEMENT); }
    <Z80, R800, GBZ80> "\x02" [^\x02]* { matched(); scanFileMarker(); readChar(); continue; }
    // A blank between tokens: the next match starts after it in the same
    // condition, without the loop's way round (the labels are the
    // conditions' own, after the prefix set above).
    <Z80> " "                   { matched(); start = cursor; goto yyc_Z80; }
    <R800> " "                  { matched(); start = cursor; goto yyc_R800; }
    <GBZ80> " "                 { matched(); start = cursor; goto yyc_GBZ80; }
    // A NUL byte is not the end of the text: give it a token of its own.
    <Z80, R800, GBZ80> "\x00"   { return token(TOKEN_STRAY_NUL); }
    <Z80, R800, GBZ80> [^]      { return token(static_cast<unsigned char>(*start)); }

    // Preprocessing pass: the source becomes the flattened text.
    // Most lines are plain text with blanks, maybe a comment: one match each.
    // Plain text holds nothing that a rule below gives a meaning (label
    // colons, quotes, comments, braces, blank runs, NUL bytes), so it is
    // copied as it stands.
    PLAIN = [^\x00\n\t ;{"':]+ (" " [^\x00\n\t ;{"':]+)*;
    <PREPROCESS> [ \t]* (@plainStart PLAIN [ \t]*)? @textEnd (";" [^\n]*)? @lineEnd "\n"+ {
        matched();
        copyLine(start, plainStart, textEnd, lineEnd, cursor);
        continue;
    }
    // A label and the rest of its line as above, unless that holds a comment,
    // which may join the comment lines below it: then the label is matched
    // alone, by the rule further down.
    <PREPROCESS> NAME ":" @labelEnd [ \t]* (@plainStart PLAIN [ \t]*)? @textEnd "\n"+ {
        matched();
        copyLabelLine(labelEnd, plainStart, textEnd, cursor);
        continue;
    }
    // Comment lines in a row give one marker: the next comment is scanned again.
    <PREPROCESS> [ \t]* (@plainStart PLAIN [ \t]*)? @textEnd ";" [^\n]* "\n" [ \t]* ";" {
        matched();
        copyLineText(start, plainStart, textEnd);
        ++asmState.lineNumber;
        giveBackOne();
        continue;
    }
    <PREPROCESS> [ \t]+         { matched(); writeFlattenedText(" ", 1); continue; }
    <PREPROCESS> ";" [^\n]*     { matched(); continue; }
    <PREPROCESS> "{" {
        matched();
        ruleActions.commentDepth = 1;
        enter(yycBRACE_COMMENT);
        continue;
    }
    <PREPROCESS> "INCLUDE" [ \t]* "\"" {
        matched();
        enter(yycPREPROCESS_STRING);
        ruleActions.includeNamePending = true;
        return TOKEN_INCLUDE;
    }
    <PREPROCESS> "INCLUDE" [ \t]* "'" {
        matched();
        enter(yycPREPROCESS_CHARACTER);
        ruleActions.includeNamePending = true;
        return TOKEN_INCLUDE;
    }
    <PREPROCESS> "INCBIN" [ \t]* ["'] { matched(); copyIncbinOpening(); continue; }
    <PREPROCESS> "\"" { matched(); enter(yycPREPROCESS_STRING); writeFlattenedText(asmState.tokenText, 1); continue; }
    <PREPROCESS> "'"  { matched(); enter(yycPREPROCESS_CHARACTER); writeFlattenedText(asmState.tokenText, 1); continue; }
    <PREPROCESS> NAME ":"       { matched(); copyLabelDefinition(); continue; }
    <PREPROCESS> "AF'" | NAME | "&" NAME | [0-9]+ {
        matched();
        writeFlattenedText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
        continue;
    }
    <PREPROCESS> [^\n]          { matched(); writeFlattenedText(asmState.tokenText, 1); continue; }

    <PREPROCESS_STRING> [^"\n]+ {
        matched();
        if (finishPreprocessedString('"', "Closing double qoute expected"))
            return TOKEN_STRING;
        continue;
    }
    <PREPROCESS_CHARACTER> [^'\n]+ {
        matched();
        if (finishPreprocessedString('\'', "Closing single qoute expected"))
            return TOKEN_STRING;
        continue;
    }
    <PREPROCESS_STRING> "\"" {
        matched();
        if (finishEmptyPreprocessedString('"'))
            return TOKEN_STRING;
        continue;
    }
    <PREPROCESS_CHARACTER> "'" {
        matched();
        if (finishEmptyPreprocessedString('\''))
            return TOKEN_STRING;
        continue;
    }
    <PREPROCESS_STRING> "\n"    { matched(); reportError("Closing double qoute expected"); }
    <PREPROCESS_CHARACTER> "\n" { matched(); reportError("Closing single qoute expected"); }

    <BRACE_COMMENT> "{"         { matched(); ++ruleActions.commentDepth; continue; }
    <BRACE_COMMENT> "}" {
        matched();
        if (--ruleActions.commentDepth == 0)
            leave();
        continue;
    }
    <BRACE_COMMENT> "\n"        { matched(); ++asmState.lineNumber; continue; }
    <BRACE_COMMENT> [^{}\n]+    { matched(); continue; }

    // The end of a text ends every condition, unless another text follows.
    <*> $ {
        if (resumeAfterEnd())
            continue;
        return TOKEN_END_OF_INPUT;
    }
    // Nothing is left over.
    <*> * { return token(static_cast<unsigned char>(*start)); }
*/
    }
}

}  // namespace

bool isKeywordOfAnyMode(std::string_view name)
{
    for (CpuMode mode : {CPU_MODE_Z80, CPU_MODE_R800, CPU_MODE_GBZ80})
        if (keywordIn(name.data(), name.size(), mode).token != 0)
            return true;
    return false;
}

int readChar()
{
    for (;;) {
        ScanBuffer* buffer = automaton.buffer;
        if (buffer->cursor < buffer->limit)
            return static_cast<unsigned char>(*buffer->cursor++);
        if (!resumeAfterEnd())
            return -1;
    }
}

ScanBuffer* createBuffer(FILE* stream, std::int64_t reportedSize)
{
    ScanBuffer* buffer = emptyBuffer();
    fillFromStream(buffer, stream, reportedSize);
    return buffer;
}

ScanBuffer* currentBuffer()
{
    return automaton.buffer;
}

void switchToBuffer(ScanBuffer* buffer)
{
    automaton.buffer = buffer;
}

void ScanBufferDeleter::operator()(ScanBuffer* buffer) const
{
    delete buffer;
}

void deleteBuffer(ScanBuffer* buffer)
{
    if (automaton.buffer == buffer)
        automaton.buffer = nullptr;
    delete buffer;
}

void restartInput(FILE* stream, std::int64_t reportedSize)
{
    // Each pass reads its text into the memory of the last, which is
    // already mapped.
    if (automaton.buffer)
        automaton.buffer->start = automaton.buffer->cursor = automaton.buffer->limit = EMPTY_TEXT;
    else
        automaton.buffer = emptyBuffer();
    automaton.pendingStream = stream;
    automaton.pendingStreamSize = reportedSize;
    // A string or comment left open at the end of the previous input must not
    // carry its condition into the next pass.
    automaton.nested = false;
}

void restartWithText(const char* text, std::size_t length)
{
    ScanBuffer* buffer = emptyBuffer();
    buffer->start = buffer->cursor = text;
    buffer->limit = text + length;
    replaceBuffer(buffer);
    automaton.pendingStream = nullptr;
    automaton.nested = false;
}

const char* scannedText()
{
    return automaton.buffer->start;
}

LoneToken scanLoneToken(std::string_view text, CpuMode mode)
{
    const std::string copy(text);  // ends in the NUL byte the rules need
    ScanBuffer buffer;
    buffer.start = buffer.cursor = copy.c_str();
    buffer.limit = buffer.start + copy.size();
    // The scanner's state and the token fields are put back after.
    const AutomatonState savedAutomaton = automaton;
    const CpuMode savedMode = asmState.cpuMode;
    char* const savedText = asmState.tokenText;
    const int savedLength = asmState.tokenLength;
    const int32_t savedValue = asmState.tokenValue;
    automaton = AutomatonState{};
    automaton.buffer = &buffer;
    automaton.loneToken = true;
    asmState.cpuMode = mode;
    LoneToken found;
    found.token = nextToken();
    found.value = asmState.tokenValue;
    found.wholeText = asmState.tokenText == buffer.start && buffer.cursor == buffer.limit;
    automaton = savedAutomaton;
    asmState.cpuMode = savedMode;
    asmState.tokenText = savedText;
    asmState.tokenLength = savedLength;
    asmState.tokenValue = savedValue;
    return found;
}

std::size_t scanPosition()
{
    return static_cast<std::size_t>(automaton.buffer->cursor - automaton.buffer->start);
}

void setScanPosition(std::size_t offset)
{
    automaton.buffer->cursor = automaton.buffer->start + offset;
    automaton.nested = false;
}
