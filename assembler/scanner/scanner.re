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
#include "numbers.h"
#include "scannerActions.h"
#include "sourceReader.h"
#include "tokens.h"
#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"

#include <array>
#include <cstdint>
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

// The keyword that a whole name spells in the mode of condition, or 0. The
// automaton matches names whole and asks this second, small one, which
// keeps the first from growing a state for every prefix of every keyword.
// A keyword is made of letters, and the name ends before a character that
// is none: the match stops there at the latest.
int keywordOf(const char* name, int length, YYCONDTYPE condition)
{
    const auto* cursor = reinterpret_cast<const unsigned char*>(name);
    const auto* end = cursor + length;
    const auto* marker = cursor;
    auto whole = [&](int token) { return cursor == end ? token : 0; };
    auto wholeValued = [&](int32_t value, int token) { return cursor == end ? valued(value, token) : 0; };
/*!re2c
    re2c:define:YYCTYPE = "unsigned char";
    re2c:define:YYCURSOR = cursor;
    re2c:define:YYMARKER = marker;
    re2c:define:YYGETCONDITION = "condition";
    re2c:define:YYGETCONDITION:naked = 1;
    re2c:yyfill:enable = 0;
    re2c:eof = -1;
    re2c:flags:case-insensitive = 1;

    // Mnemonics of every mode.
    <Z80, R800, GBZ80> "ADD"  { return whole(TOKEN_ADD); }
    <Z80, R800, GBZ80> "SUB"  { return whole(TOKEN_SUB); }
    <Z80, R800, GBZ80> "CP"   { return whole(TOKEN_CP); }
    <Z80, R800, GBZ80> "INC"  { return whole(TOKEN_INC); }
    <Z80, R800, GBZ80> "DEC"  { return whole(TOKEN_DEC); }
    <Z80, R800, GBZ80> "POP"  { return whole(TOKEN_POP); }
    <Z80, R800, GBZ80> "PUSH"  { return whole(TOKEN_PUSH); }
    <Z80, R800, GBZ80> "JP"   { return whole(TOKEN_JP); }
    <Z80, R800, GBZ80> "JR"   { return whole(TOKEN_JR); }
    <Z80, R800, GBZ80> "CALL"  { return whole(TOKEN_CALL); }
    <Z80, R800, GBZ80> "RET"  { return whole(TOKEN_RET); }
    <Z80, R800, GBZ80> "RST"  { return whole(TOKEN_RST); }
    <Z80, R800, GBZ80> "CPL"  { return whole(TOKEN_CPL); }
    <Z80, R800, GBZ80> "DAA"  { return whole(TOKEN_DAA); }
    <Z80, R800, GBZ80> "SCF"  { return whole(TOKEN_SCF); }
    <Z80, R800, GBZ80> "CCF"  { return whole(TOKEN_CCF); }
    <Z80, R800, GBZ80> "NOP"  { return whole(TOKEN_NOP); }
    <Z80, R800, GBZ80> "HALT"  { return whole(TOKEN_HALT); }
    <Z80, R800, GBZ80> "DI"   { return whole(TOKEN_DI); }
    <Z80, R800, GBZ80> "EI"   { return whole(TOKEN_EI); }
    <Z80, R800, GBZ80> "BIT"  { return whole(TOKEN_BIT); }
    <Z80, R800, GBZ80> "SET"  { return whole(TOKEN_SET); }
    <Z80, R800, GBZ80> "RES"  { return whole(TOKEN_RES); }
    <Z80, R800, GBZ80> "RLCA"  { return whole(TOKEN_RLCA); }
    <Z80, R800, GBZ80> "RRCA"  { return whole(TOKEN_RRCA); }
    <Z80, R800, GBZ80> "RLA"  { return whole(TOKEN_RLA); }
    <Z80, R800, GBZ80> "RRA"  { return whole(TOKEN_RRA); }
    <Z80, R800, GBZ80> "RLC"  { return whole(TOKEN_RLC); }
    <Z80, R800, GBZ80> "RRC"  { return whole(TOKEN_RRC); }
    <Z80, R800, GBZ80> "RL"   { return whole(TOKEN_RL); }
    <Z80, R800, GBZ80> "RR"   { return whole(TOKEN_RR); }
    <Z80, R800, GBZ80> "SLA"  { return whole(TOKEN_SLA); }
    <Z80, R800, GBZ80> "SRA"  { return whole(TOKEN_SRA); }
    <Z80, R800, GBZ80> "SRL"  { return whole(TOKEN_SRL); }

    // Mnemonics of the Z80 and R800 modes.
    <Z80, R800> "ADC"  { return whole(TOKEN_ADC); }
    <Z80, R800> "SBC"  { return whole(TOKEN_SBC); }
    <Z80, R800> "NEG"  { return whole(TOKEN_NEG); }
    <Z80, R800> "EX"   { return whole(TOKEN_EX); }
    <Z80, R800> "EXX"  { return whole(TOKEN_EXX); }
    <Z80, R800> "IN"   { return whole(TOKEN_IN); }
    <Z80, R800> "OUT"  { return whole(TOKEN_OUT); }
    <Z80, R800> "IM"   { return whole(TOKEN_IM); }
    <Z80, R800> "RETI"  { return whole(TOKEN_RETI); }
    <Z80, R800> "RETN"  { return whole(TOKEN_RETN); }
    <Z80, R800> "RLD"  { return whole(TOKEN_RLD); }
    <Z80, R800> "RRD"  { return whole(TOKEN_RRD); }
    <Z80, R800> "DJNZ"  { return whole(TOKEN_DJNZ); }
    <Z80, R800> "LD"   { return whole(TOKEN_LD); }
    <Z80, R800> "SLL"  { return whole(TOKEN_SLI); }
    <Z80, R800> "SLI"  { return whole(TOKEN_SLI); }
    <Z80, R800> "LDI"  { return whole(TOKEN_LDI); }
    <Z80, R800> "CPI"  { return whole(TOKEN_CPI); }
    <Z80, R800> "INI"  { return whole(TOKEN_INI); }
    <Z80, R800> "OUTI"  { return whole(TOKEN_OUTI); }
    <Z80, R800> "LDD"  { return whole(TOKEN_LDD); }
    <Z80, R800> "CPD"  { return whole(TOKEN_CPD); }
    <Z80, R800> "IND"  { return whole(TOKEN_IND); }
    <Z80, R800> "OUTD"  { return whole(TOKEN_OUTD); }
    <Z80, R800> "LDIR"  { return whole(TOKEN_LDIR); }
    <Z80, R800> "CPIR"  { return whole(TOKEN_CPIR); }
    <Z80, R800> "INIR"  { return whole(TOKEN_INIR); }
    <Z80, R800> "OTIR"  { return whole(TOKEN_OTIR); }
    <Z80, R800> "LDDR"  { return whole(TOKEN_LDDR); }
    <Z80, R800> "CPDR"  { return whole(TOKEN_CPDR); }
    <Z80, R800> "INDR"  { return whole(TOKEN_INDR); }
    <Z80, R800> "OTDR"  { return whole(TOKEN_OTDR); }

    // Mnemonics of the R800 mode.
    <R800> "MULUB"  { return whole(TOKEN_MULUB); }
    <R800> "MULUW"  { return whole(TOKEN_MULUW); }

    // Mnemonics of the GBZ80 mode.
    <GBZ80> "LD"   { return whole(TOKEN_GB_LD); }
    <GBZ80> "LDD"  { return whole(TOKEN_GB_LDD); }
    <GBZ80> "LDI"  { return whole(TOKEN_GB_LDI); }
    <GBZ80> "LDH"  { return whole(TOKEN_GB_LDH); }
    <GBZ80> "ADC"  { return whole(TOKEN_GB_ADC); }
    <GBZ80> "SBC"  { return whole(TOKEN_GB_SBC); }
    <GBZ80> "IN"   { return whole(TOKEN_GB_IN); }
    <GBZ80> "OUT"  { return whole(TOKEN_GB_OUT); }
    <GBZ80> "RETI"  { return whole(TOKEN_GB_RETI); }
    <GBZ80> "STOP"  { return whole(TOKEN_GB_STOP); }
    <GBZ80> "SWAP"  { return whole(TOKEN_GB_SWAP); }

    // Registers of every mode.
    <Z80, R800, GBZ80> "B"    { return wholeValued(0, TOKEN_B); }
    <Z80, R800, GBZ80> "C"    { return wholeValued(1, TOKEN_C); }
    <Z80, R800, GBZ80> "D"    { return wholeValued(2, TOKEN_D); }
    <Z80, R800, GBZ80> "E"    { return wholeValued(3, TOKEN_E); }
    <Z80, R800, GBZ80> "H"    { return wholeValued(4, TOKEN_H); }
    <Z80, R800, GBZ80> "L"    { return wholeValued(5, TOKEN_L); }
    <Z80, R800, GBZ80> "A"    { return wholeValued(7, TOKEN_A); }
    <Z80, R800, GBZ80> "BC"   { return wholeValued(0, TOKEN_BC); }
    <Z80, R800, GBZ80> "DE"   { return wholeValued(1, TOKEN_DE); }
    <Z80, R800, GBZ80> "HL"   { return wholeValued(2, TOKEN_HL); }
    <Z80, R800, GBZ80> "SP"   { return wholeValued(3, TOKEN_SP); }
    <Z80, R800, GBZ80> "AF"   { return wholeValued(3, TOKEN_AF); }

    // Registers of the Z80 and R800 modes.
    <Z80, R800> "F"    { return wholeValued(6, TOKEN_F); }
    <Z80, R800> "IXH"  { return wholeValued(4, TOKEN_IXH); }
    <Z80, R800> "IXL"  { return wholeValued(5, TOKEN_IXL); }
    <Z80, R800> "IYH"  { return wholeValued(4, TOKEN_IYH); }
    <Z80, R800> "IYL"  { return wholeValued(5, TOKEN_IYL); }
    <Z80, R800> "I"    { return wholeValued(0, TOKEN_I); }
    <Z80, R800> "R"    { return wholeValued(8, TOKEN_R); }
    <Z80, R800> "IX"   { return wholeValued(PREFIX_IX, TOKEN_IX); }
    <Z80, R800> "IY"   { return wholeValued(PREFIX_IY, TOKEN_IY); }

    // Conditions ("C" is the register token).
    <Z80, R800, GBZ80> "NZ"   { return wholeValued(0, TOKEN_NZ); }
    <Z80, R800, GBZ80> "Z"    { return wholeValued(1, TOKEN_Z); }
    <Z80, R800, GBZ80> "NC"   { return wholeValued(2, TOKEN_NC); }
    <Z80, R800> "PO"   { return wholeValued(4, TOKEN_PO); }
    <Z80, R800> "PE"   { return wholeValued(5, TOKEN_PE); }
    <Z80, R800> "P"    { return wholeValued(6, TOKEN_P); }
    <Z80, R800> "M"    { return wholeValued(7, TOKEN_M); }

    // Operators written as words.
    <Z80, R800, GBZ80> "AND"  { return whole(TOKEN_AND); }
    <Z80, R800, GBZ80> "OR"   { return whole(TOKEN_OR); }
    <Z80, R800, GBZ80> "XOR"  { return whole(TOKEN_XOR); }
    <Z80, R800, GBZ80> "NOT"  { return whole(TOKEN_NOT); }
    <Z80, R800, GBZ80> "MOD"  { return whole(TOKEN_MOD); }

    // Directives.
    <Z80, R800, GBZ80> "DB"   { return whole(TOKEN_DB); }
    <Z80, R800, GBZ80> "DC"   { return whole(TOKEN_DC); }
    <Z80, R800, GBZ80> "DW"   { return whole(TOKEN_DW); }
    <Z80, R800, GBZ80> "DS"   { return whole(TOKEN_DS); }
    <Z80, R800, GBZ80> "RB"   { return whole(TOKEN_RB); }
    <Z80, R800, GBZ80> "RW"   { return whole(TOKEN_RW); }
    <Z80, R800, GBZ80> "EQU"  { return whole(TOKEN_EQU); }
    <Z80, R800, GBZ80> "ORG"  { return whole(TOKEN_ORG); }
    <Z80, R800, GBZ80> "FORG"  { return whole(TOKEN_FORG); }
    <Z80, R800, GBZ80> "FNAME"  { return whole(TOKEN_FNAME); }
    <Z80, R800, GBZ80> "PHASE"  { return whole(TOKEN_PHASE); }
    <Z80, R800, GBZ80> "DEPHASE"  { return whole(TOKEN_DEPHASE); }
    <Z80, R800, GBZ80> "INCBIN"  { return whole(TOKEN_INCBIN); }
    <Z80, R800, GBZ80> "IF"   { return whole(TOKEN_IF); }
    <Z80, R800, GBZ80> "IFDEF"  { return whole(TOKEN_IFDEF); }
    <Z80, R800, GBZ80> "IFEXIST"  { return whole(TOKEN_IFEXIST); }
    <Z80, R800, GBZ80> "ELSE"  { return whole(TOKEN_ELSE); }
    <Z80, R800, GBZ80> "ENDIF"  { return whole(TOKEN_ENDIF); }
    <Z80, R800, GBZ80> "CPU"  { return whole(TOKEN_CPU); }

    // Only the CPU modes scan names.
    <STRING, CHARACTER, PREPROCESS, PREPROCESS_STRING, PREPROCESS_CHARACTER, BRACE_COMMENT> * { return 0; }
    <*> * { return 0; }
*/
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
    if ((plain ? plain : end) != text)
        appendFlattenedText(" ", 1);
    if (!plain)
        return;
    const unsigned char* plainEnd = end;
    while (isBlank(plainEnd[-1]))
        --plainEnd;
    appendFlattenedText(reinterpret_cast<const char*>(plain), static_cast<std::size_t>(plainEnd - plain));
    if (plainEnd != end)
        appendFlattenedText(" ", 1);
}

// The actions below stay out of the automaton's function: the positions they
// keep across calls would take registers that it saves for every token.

[[gnu::noinline]] void copyLineText(const unsigned char* text, const unsigned char* plain, const unsigned char* end)
{
    appendLineText(text, plain, end);
}

// A line's text as above, then its line end, [lineEnd, end): a marker for
// the line after it.
[[gnu::noinline]] void copyLine(const unsigned char* text, const unsigned char* plain, const unsigned char* textEnd,
                                const unsigned char* lineEnd, const unsigned char* end)
{
    appendLineText(text, plain, textEnd);
    asmState.lineNumber += static_cast<int>(end - lineEnd);
    writeLineMarker(asmState.lineNumber);
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
// copyLine takes it.
[[gnu::noinline]] void copyLabelLine(const unsigned char* labelEnd, const unsigned char* plain,
                                     const unsigned char* textEnd, const unsigned char* end)
{
    asmState.tokenLength = static_cast<int>(labelEnd - reinterpret_cast<const unsigned char*>(asmState.tokenText));
    copyLabelDefinition();
    copyLine(labelEnd, plain, textEnd, textEnd, end);
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
        classes[static_cast<std::size_t>(byte)] = bits;
    }
    return classes;
}
constexpr std::array<uint8_t, 256> BYTE_CLASSES = classifyBytes();

inline bool isOf(unsigned char byte, ByteClass byteClass)
{
    return (BYTE_CLASSES[byte] & byteClass) != 0;
}

constexpr int NOT_QUICK = -1;

// The tokens most of a program is made of, matched as the automaton matches
// them, without its way into its states: names, keywords and label
// definitions, line markers, plain decimal and H-suffixed numbers, bytes
// alone. NOT_QUICK for anything else, with the scan where the automaton goes
// on from. Only in a CPU mode's own condition.
inline int quickToken()
{
    ScanBuffer* buffer = automaton.buffer;
    const auto* start = reinterpret_cast<const unsigned char*>(buffer->cursor);
    // The text ends in a NUL byte, which no loop below goes past.
    if (*start == ' ') {
        do
            ++start;
        while (*start == ' ');
        // As the rule of a blank leaves it, for the automaton to go on from.
        buffer->cursor = reinterpret_cast<const char*>(start);
        setTokenText(reinterpret_cast<const char*>(start - 1), reinterpret_cast<const char*>(start));
    }
    const auto* end = start;
    auto matched = [&] {
        buffer->cursor = reinterpret_cast<const char*>(end);
        setTokenText(reinterpret_cast<const char*>(start), reinterpret_cast<const char*>(end));
    };
    const unsigned char first = *start;
    if (isOf(first, NAME_START)) {
        do
            ++end;
        while (isOf(*end, NAME_PART));
        if (*end == ':') {
            ++end;
            matched();
            scanLabelDefinition();
            return TOKEN_LABEL_DEFINITION;
        }
        // AF', the only keyword that goes on.
        if (*end == '\'' && end - start == 2)
            return NOT_QUICK;
        matched();
        if (int keyword = keywordOf(asmState.tokenText, asmState.tokenLength, automaton.condition))
            return keyword;
        scanIdentifier();
        return TOKEN_IDENTIFIER;
    }
    if (first == '\x01') {
        // A marker as preprocessing writes it: one to nine digits.
        int value = 0;
        for (++end; isOf(*end, DIGIT) && end - start <= 9; ++end)
            value = value * 10 + (*end - '0');
        if (*end != '\x01' || end - start == 1)
            return NOT_QUICK;
        matched();
        ++buffer->cursor;
        enterLine(value);
        return TOKEN_END_OF_STATEMENT;
    }
    if (isOf(first, DIGIT)) {
        while (isOf(*end, DIGIT))
            ++end;
        if (!isOf(*end, NUMBER_GOES_ON)) {
            matched();
            return valued(convertDecimal(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
        }
        while (isOf(*end, HEX_DIGIT))
            ++end;
        if ((*end | 0x20) != 'h')
            return NOT_QUICK;
        ++end;
        matched();
        return valued(convertHexadecimal(asmState.tokenText, asmState.tokenLength), TOKEN_NUMBER);
    }
    if (isOf(first, ALONE)) {
        ++end;
        matched();
        return first;
    }
    return NOT_QUICK;
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

namespace {

int automatonToken()
{
    for (;;) {
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
        int keyword = keywordOf(asmState.tokenText, asmState.tokenLength, automaton.condition);
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
    const int32_t savedValue = asmState.tokenValue;
    const bool savedValueSet = ruleActions.valueSet;
    const auto length = static_cast<int>(name.size());
    bool keyword = keywordOf(name.data(), length, yycZ80) != 0 || keywordOf(name.data(), length, yycR800) != 0
                   || keywordOf(name.data(), length, yycGBZ80) != 0;
    asmState.tokenValue = savedValue;
    ruleActions.valueSet = savedValueSet;
    return keyword;
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
