/* Scanner of the assembler: a longest-match automaton with a condition per
 * CPU mode, for strings and character constants, and for the preprocessing
 * pass that writes the flattened temporary file. It scans whole texts held in
 * memory, so a token of any length costs time in proportion to its length. */

#include "scanner.h"

#include "numbers.h"
#include "scannerActions.h"
#include "sourceReader.h"
#include "tempFile.h"
#include "tokens.h"
#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"

#include <cstdint>
#include <string>
#include <string_view>

/*!conditions:re2c*/

struct ScanBuffer {
    SourceText text;  // the buffer's own copy, unless it scans borrowed text
    const char* start = nullptr;
    const char* cursor = nullptr;
    const char* limit = nullptr;  // *limit is a NUL byte
};

namespace {

constexpr const char* EMPTY_TEXT = "";

struct ScanState {
    ScanBuffer* buffer = nullptr;
    // Read whole when the first token is asked for, as the stream may still
    // change until then (an output of the same name emptied by the pass).
    FILE* pendingStream = nullptr;
    // A string, character constant or comment is scanned in a condition of its
    // own and then returns to the one it was entered from; none nests deeper.
    YYCONDTYPE condition = yycR800;
    YYCONDTYPE enclosingCondition = yycR800;
    bool nested = false;
};

ScanState scan;

YYCONDTYPE conditionOf(CpuMode mode)
{
    switch (mode) {
    case CPU_MODE_Z80: return yycZ80;
    case CPU_MODE_GBZ80: return yycGBZ80;
    case CPU_MODE_PREPROCESS: return yycPREPROCESS;
    case CPU_MODE_R800: break;
    }
    return yycR800;
}

void enter(YYCONDTYPE condition)
{
    scan.enclosingCondition = scan.condition;
    scan.condition = condition;
    scan.nested = true;
}

void leave()
{
    scan.condition = scan.enclosingCondition;
    scan.nested = false;
}

ScanBuffer* emptyBuffer()
{
    auto* buffer = new ScanBuffer;
    buffer->start = buffer->cursor = buffer->limit = EMPTY_TEXT;
    return buffer;
}

void fillFromStream(ScanBuffer* buffer, FILE* stream)
{
    readSourceText(stream, buffer->text);
    buffer->start = buffer->cursor = buffer->text.bytes.get();
    buffer->limit = buffer->start + buffer->text.size;
}

void replaceBuffer(ScanBuffer* buffer)
{
    delete scan.buffer;
    scan.buffer = buffer;
}

// The current text is exhausted: true when scanning goes on in another one.
bool resumeAfterEnd()
{
    if (scan.pendingStream) {
        fillFromStream(scan.buffer, scan.pendingStream);
        scan.pendingStream = nullptr;
        return true;
    }
    return scanning.resumeAfterEnd && scanning.resumeAfterEnd();
}

// Every rule makes what it matched the token text, as the parsers and the
// actions read it from there.
void setTokenText(const char* start, const char* end)
{
    // Only string bodies, which are copied out first, are ever written to.
    asmState.tokenText = const_cast<char*>(start);
    asmState.tokenLength = static_cast<int>(end - start);
}

// A token that carries a number: a register or condition code, or a literal's value.
inline int valued(int32_t value, int token)
{
    asmState.tokenValue = value;
    scanning.valueSet = true;
    return token;
}

int finishPreprocessedString(char quote, const char* unclosedMessage)
{
    leave();
    captureStringBody();
    if (readChar() == '\n')
        reportError(unclosedMessage);
    noteIncbinName();
    if (scanning.includeNamePending) {
        scanning.includeNamePending = false;
        return 1;
    }
    writeTempText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    writeTempText(&quote, 1);
    return 0;
}

int finishEmptyPreprocessedString(char quote)
{
    leave();
    asmState.tokenLength = 0;
    noteIncbinName();
    if (scanning.includeNamePending) {
        scanning.includeNamePending = false;
        return 1;
    }
    writeTempText(&quote, 1);
    return 0;
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
        appendTempText(" ", 1);
    if (!plain)
        return;
    const unsigned char* plainEnd = end;
    while (isBlank(plainEnd[-1]))
        --plainEnd;
    appendTempText(reinterpret_cast<const char*>(plain), static_cast<std::size_t>(plainEnd - plain));
    if (plainEnd != end)
        appendTempText(" ", 1);
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
    writeTempText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
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
    writeTempText(text, KEYWORD_LENGTH);
    if (length > KEYWORD_LENGTH + 1)
        writeTempText(" ", 1);
    writeTempText(text + length - 1, 1);
    enter(text[length - 1] == '"' ? yycPREPROCESS_STRING : yycPREPROCESS_CHARACTER);
    scanning.incbinNamePending = true;
}

}  // namespace

int nextToken()
{
    // The CPU directive and the driver set cpuMode directly; a string or
    // comment left open by the previous call stays in force.
    if (!scan.nested)
        scan.condition = conditionOf(asmState.cpuMode);
    for (;;) {
        // The automaton reads bytes: a plain char would compare negative.
        const auto* start = reinterpret_cast<const unsigned char*>(scan.buffer->cursor);
        const auto* cursor = start;
        const auto* limit = reinterpret_cast<const unsigned char*>(scan.buffer->limit);
        const auto* marker = start;
        // Ends the match: the rule's action may read on or switch buffers.
        auto matched = [&] {
            scan.buffer->cursor = reinterpret_cast<const char*>(cursor);
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
            --scan.buffer->cursor;
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
    re2c:define:YYGETCONDITION = "scan.condition";
    re2c:define:YYGETCONDITION:naked = 1;
    re2c:yyfill:enable = 0;
    re2c:eof = 0;
    re2c:flags:case-insensitive = 1;

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

    // Keywords: a name the mode knows as one is that keyword, as these rules
    // come before the name rules; a longer name is a name.
    // Mnemonics of every mode.
    <Z80, R800, GBZ80> "ADD"  { return token(TOKEN_ADD); }
    <Z80, R800, GBZ80> "SUB"  { return token(TOKEN_SUB); }
    <Z80, R800, GBZ80> "CP"   { return token(TOKEN_CP); }
    <Z80, R800, GBZ80> "INC"  { return token(TOKEN_INC); }
    <Z80, R800, GBZ80> "DEC"  { return token(TOKEN_DEC); }
    <Z80, R800, GBZ80> "POP"  { return token(TOKEN_POP); }
    <Z80, R800, GBZ80> "PUSH"  { return token(TOKEN_PUSH); }
    <Z80, R800, GBZ80> "JP"   { return token(TOKEN_JP); }
    <Z80, R800, GBZ80> "JR"   { return token(TOKEN_JR); }
    <Z80, R800, GBZ80> "CALL"  { return token(TOKEN_CALL); }
    <Z80, R800, GBZ80> "RET"  { return token(TOKEN_RET); }
    <Z80, R800, GBZ80> "RST"  { return token(TOKEN_RST); }
    <Z80, R800, GBZ80> "CPL"  { return token(TOKEN_CPL); }
    <Z80, R800, GBZ80> "DAA"  { return token(TOKEN_DAA); }
    <Z80, R800, GBZ80> "SCF"  { return token(TOKEN_SCF); }
    <Z80, R800, GBZ80> "CCF"  { return token(TOKEN_CCF); }
    <Z80, R800, GBZ80> "NOP"  { return token(TOKEN_NOP); }
    <Z80, R800, GBZ80> "HALT"  { return token(TOKEN_HALT); }
    <Z80, R800, GBZ80> "DI"   { return token(TOKEN_DI); }
    <Z80, R800, GBZ80> "EI"   { return token(TOKEN_EI); }
    <Z80, R800, GBZ80> "BIT"  { return token(TOKEN_BIT); }
    <Z80, R800, GBZ80> "SET"  { return token(TOKEN_SET); }
    <Z80, R800, GBZ80> "RES"  { return token(TOKEN_RES); }
    <Z80, R800, GBZ80> "RLCA"  { return token(TOKEN_RLCA); }
    <Z80, R800, GBZ80> "RRCA"  { return token(TOKEN_RRCA); }
    <Z80, R800, GBZ80> "RLA"  { return token(TOKEN_RLA); }
    <Z80, R800, GBZ80> "RRA"  { return token(TOKEN_RRA); }
    <Z80, R800, GBZ80> "RLC"  { return token(TOKEN_RLC); }
    <Z80, R800, GBZ80> "RRC"  { return token(TOKEN_RRC); }
    <Z80, R800, GBZ80> "RL"   { return token(TOKEN_RL); }
    <Z80, R800, GBZ80> "RR"   { return token(TOKEN_RR); }
    <Z80, R800, GBZ80> "SLA"  { return token(TOKEN_SLA); }
    <Z80, R800, GBZ80> "SRA"  { return token(TOKEN_SRA); }
    <Z80, R800, GBZ80> "SRL"  { return token(TOKEN_SRL); }

    // Mnemonics of the Z80 and R800 modes.
    <Z80, R800> "ADC"  { return token(TOKEN_ADC); }
    <Z80, R800> "SBC"  { return token(TOKEN_SBC); }
    <Z80, R800> "NEG"  { return token(TOKEN_NEG); }
    <Z80, R800> "EX"   { return token(TOKEN_EX); }
    <Z80, R800> "EXX"  { return token(TOKEN_EXX); }
    <Z80, R800> "IN"   { return token(TOKEN_IN); }
    <Z80, R800> "OUT"  { return token(TOKEN_OUT); }
    <Z80, R800> "IM"   { return token(TOKEN_IM); }
    <Z80, R800> "RETI"  { return token(TOKEN_RETI); }
    <Z80, R800> "RETN"  { return token(TOKEN_RETN); }
    <Z80, R800> "RLD"  { return token(TOKEN_RLD); }
    <Z80, R800> "RRD"  { return token(TOKEN_RRD); }
    <Z80, R800> "DJNZ"  { return token(TOKEN_DJNZ); }
    <Z80, R800> "LD"   { return token(TOKEN_LD); }
    <Z80, R800> "SLL"  { return token(TOKEN_SLI); }
    <Z80, R800> "SLI"  { return token(TOKEN_SLI); }
    <Z80, R800> "LDI"  { return token(TOKEN_LDI); }
    <Z80, R800> "CPI"  { return token(TOKEN_CPI); }
    <Z80, R800> "INI"  { return token(TOKEN_INI); }
    <Z80, R800> "OUTI"  { return token(TOKEN_OUTI); }
    <Z80, R800> "LDD"  { return token(TOKEN_LDD); }
    <Z80, R800> "CPD"  { return token(TOKEN_CPD); }
    <Z80, R800> "IND"  { return token(TOKEN_IND); }
    <Z80, R800> "OUTD"  { return token(TOKEN_OUTD); }
    <Z80, R800> "LDIR"  { return token(TOKEN_LDIR); }
    <Z80, R800> "CPIR"  { return token(TOKEN_CPIR); }
    <Z80, R800> "INIR"  { return token(TOKEN_INIR); }
    <Z80, R800> "OTIR"  { return token(TOKEN_OTIR); }
    <Z80, R800> "LDDR"  { return token(TOKEN_LDDR); }
    <Z80, R800> "CPDR"  { return token(TOKEN_CPDR); }
    <Z80, R800> "INDR"  { return token(TOKEN_INDR); }
    <Z80, R800> "OTDR"  { return token(TOKEN_OTDR); }

    // Mnemonics of the R800 mode.
    <R800> "MULUB"  { return token(TOKEN_MULUB); }
    <R800> "MULUW"  { return token(TOKEN_MULUW); }

    // Mnemonics of the GBZ80 mode.
    <GBZ80> "LD"   { return token(TOKEN_GB_LD); }
    <GBZ80> "LDD"  { return token(TOKEN_GB_LDD); }
    <GBZ80> "LDI"  { return token(TOKEN_GB_LDI); }
    <GBZ80> "LDH"  { return token(TOKEN_GB_LDH); }
    <GBZ80> "ADC"  { return token(TOKEN_GB_ADC); }
    <GBZ80> "SBC"  { return token(TOKEN_GB_SBC); }
    <GBZ80> "IN"   { return token(TOKEN_GB_IN); }
    <GBZ80> "OUT"  { return token(TOKEN_GB_OUT); }
    <GBZ80> "RETI"  { return token(TOKEN_GB_RETI); }
    <GBZ80> "STOP"  { return token(TOKEN_GB_STOP); }
    <GBZ80> "SWAP"  { return token(TOKEN_GB_SWAP); }

    // Registers of every mode.
    <Z80, R800, GBZ80> "B"    { return token(valued(0, TOKEN_B)); }
    <Z80, R800, GBZ80> "C"    { return token(valued(1, TOKEN_C)); }
    <Z80, R800, GBZ80> "D"    { return token(valued(2, TOKEN_D)); }
    <Z80, R800, GBZ80> "E"    { return token(valued(3, TOKEN_E)); }
    <Z80, R800, GBZ80> "H"    { return token(valued(4, TOKEN_H)); }
    <Z80, R800, GBZ80> "L"    { return token(valued(5, TOKEN_L)); }
    <Z80, R800, GBZ80> "A"    { return token(valued(7, TOKEN_A)); }
    <Z80, R800, GBZ80> "BC"   { return token(valued(0, TOKEN_BC)); }
    <Z80, R800, GBZ80> "DE"   { return token(valued(1, TOKEN_DE)); }
    <Z80, R800, GBZ80> "HL"   { return token(valued(2, TOKEN_HL)); }
    <Z80, R800, GBZ80> "SP"   { return token(valued(3, TOKEN_SP)); }
    <Z80, R800, GBZ80> "AF"   { return token(valued(3, TOKEN_AF)); }

    // Registers of the Z80 and R800 modes.
    <Z80, R800> "F"    { return token(valued(6, TOKEN_F)); }
    <Z80, R800> "IXH"  { return token(valued(4, TOKEN_IXH)); }
    <Z80, R800> "IXL"  { return token(valued(5, TOKEN_IXL)); }
    <Z80, R800> "IYH"  { return token(valued(4, TOKEN_IYH)); }
    <Z80, R800> "IYL"  { return token(valued(5, TOKEN_IYL)); }
    <Z80, R800> "I"    { return token(valued(0, TOKEN_I)); }
    <Z80, R800> "R"    { return token(valued(8, TOKEN_R)); }
    <Z80, R800> "IX"   { return token(valued(PREFIX_IX, TOKEN_IX)); }
    <Z80, R800> "IY"   { return token(valued(PREFIX_IY, TOKEN_IY)); }

    // Conditions ("C" is the register token).
    <Z80, R800, GBZ80> "NZ"   { return token(valued(0, TOKEN_NZ)); }
    <Z80, R800, GBZ80> "Z"    { return token(valued(1, TOKEN_Z)); }
    <Z80, R800, GBZ80> "NC"   { return token(valued(2, TOKEN_NC)); }
    <Z80, R800> "PO"   { return token(valued(4, TOKEN_PO)); }
    <Z80, R800> "PE"   { return token(valued(5, TOKEN_PE)); }
    <Z80, R800> "P"    { return token(valued(6, TOKEN_P)); }
    <Z80, R800> "M"    { return token(valued(7, TOKEN_M)); }

    // Operators written as words.
    <Z80, R800, GBZ80> "AND"  { return token(TOKEN_AND); }
    <Z80, R800, GBZ80> "OR"   { return token(TOKEN_OR); }
    <Z80, R800, GBZ80> "XOR"  { return token(TOKEN_XOR); }
    <Z80, R800, GBZ80> "NOT"  { return token(TOKEN_NOT); }
    <Z80, R800, GBZ80> "MOD"  { return token(TOKEN_MOD); }

    // Directives.
    <Z80, R800, GBZ80> "DB"   { return token(TOKEN_DB); }
    <Z80, R800, GBZ80> "DC"   { return token(TOKEN_DC); }
    <Z80, R800, GBZ80> "DW"   { return token(TOKEN_DW); }
    <Z80, R800, GBZ80> "DS"   { return token(TOKEN_DS); }
    <Z80, R800, GBZ80> "RB"   { return token(TOKEN_RB); }
    <Z80, R800, GBZ80> "RW"   { return token(TOKEN_RW); }
    <Z80, R800, GBZ80> "EQU"  { return token(TOKEN_EQU); }
    <Z80, R800, GBZ80> "ORG"  { return token(TOKEN_ORG); }
    <Z80, R800, GBZ80> "FORG"  { return token(TOKEN_FORG); }
    <Z80, R800, GBZ80> "FNAME"  { return token(TOKEN_FNAME); }
    <Z80, R800, GBZ80> "PHASE"  { return token(TOKEN_PHASE); }
    <Z80, R800, GBZ80> "DEPHASE"  { return token(TOKEN_DEPHASE); }
    <Z80, R800, GBZ80> "INCBIN"  { return token(TOKEN_INCBIN); }
    <Z80, R800, GBZ80> "IF"   { return token(TOKEN_IF); }
    <Z80, R800, GBZ80> "IFDEF"  { return token(TOKEN_IFDEF); }
    <Z80, R800, GBZ80> "IFEXIST"  { return token(TOKEN_IFEXIST); }
    <Z80, R800, GBZ80> "ELSE"  { return token(TOKEN_ELSE); }
    <Z80, R800, GBZ80> "ENDIF"  { return token(TOKEN_ENDIF); }
    <Z80, R800, GBZ80> "CPU"  { return token(TOKEN_CPU); }

    // Names.
    <Z80, R800, GBZ80> NAME ":" { matched(); scanLabelDefinition(); return TOKEN_LABEL_DEFINITION; }
    <Z80, R800, GBZ80> NAME { matched(); scanIdentifier(); return TOKEN_IDENTIFIER; }
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

    // Markers of the temporary file, statement separator, blanks. A marker
    // as preprocessing writes it is read whole; the closing 01 byte is not
    // part of the token text.
    <Z80, R800, GBZ80> "\x01" [0-9]{1,9} "\x01" {
        matched();
        --asmState.tokenLength;
        scanLineMarker();
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
    <Z80, R800, GBZ80> " "      { matched(); continue; }
    // A NUL byte is not the end of the text: give it a token of its own.
    <Z80, R800, GBZ80> "\x00"   { return token(TOKEN_STRAY_NUL); }
    <Z80, R800, GBZ80> [^]      { return token(static_cast<unsigned char>(*start)); }

    // Preprocessing pass: flatten the source into the temporary file.
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
    <PREPROCESS> [ \t]+         { matched(); writeTempText(" ", 1); continue; }
    <PREPROCESS> ";" [^\n]*     { matched(); continue; }
    <PREPROCESS> "{" {
        matched();
        scanning.commentDepth = 1;
        enter(yycBRACE_COMMENT);
        continue;
    }
    <PREPROCESS> "INCLUDE" [ \t]* "\"" {
        matched();
        enter(yycPREPROCESS_STRING);
        scanning.includeNamePending = true;
        return TOKEN_INCLUDE;
    }
    <PREPROCESS> "INCLUDE" [ \t]* "'" {
        matched();
        enter(yycPREPROCESS_CHARACTER);
        scanning.includeNamePending = true;
        return TOKEN_INCLUDE;
    }
    <PREPROCESS> "INCBIN" [ \t]* ["'] { matched(); copyIncbinOpening(); continue; }
    <PREPROCESS> "\"" { matched(); enter(yycPREPROCESS_STRING); writeTempText(asmState.tokenText, 1); continue; }
    <PREPROCESS> "'"  { matched(); enter(yycPREPROCESS_CHARACTER); writeTempText(asmState.tokenText, 1); continue; }
    <PREPROCESS> NAME ":"       { matched(); copyLabelDefinition(); continue; }
    <PREPROCESS> "AF'" | NAME | "&" NAME | [0-9]+ {
        matched();
        writeTempText(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
        continue;
    }
    <PREPROCESS> [^\n]          { matched(); writeTempText(asmState.tokenText, 1); continue; }

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

    <BRACE_COMMENT> "{"         { matched(); ++scanning.commentDepth; continue; }
    <BRACE_COMMENT> "}" {
        matched();
        if (--scanning.commentDepth == 0)
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

int readChar()
{
    for (;;) {
        ScanBuffer* buffer = scan.buffer;
        if (buffer->cursor < buffer->limit)
            return static_cast<unsigned char>(*buffer->cursor++);
        if (!resumeAfterEnd())
            return -1;
    }
}

void setEndOfInputHook(bool (*resumeAfterEndOfText)())
{
    scanning.resumeAfterEnd = resumeAfterEndOfText;
}

ScanBuffer* createBuffer(FILE* stream)
{
    ScanBuffer* buffer = emptyBuffer();
    fillFromStream(buffer, stream);
    return buffer;
}

ScanBuffer* currentBuffer()
{
    return scan.buffer;
}

void switchToBuffer(ScanBuffer* buffer)
{
    scan.buffer = buffer;
}

void ScanBufferDeleter::operator()(ScanBuffer* buffer) const
{
    delete buffer;
}

void deleteBuffer(ScanBuffer* buffer)
{
    if (scan.buffer == buffer)
        scan.buffer = nullptr;
    delete buffer;
}

void restartInput(FILE* stream)
{
    // Each pass reads its text into the memory of the last, which is
    // already mapped.
    if (scan.buffer)
        scan.buffer->start = scan.buffer->cursor = scan.buffer->limit = EMPTY_TEXT;
    else
        scan.buffer = emptyBuffer();
    scan.pendingStream = stream;
    // A string or comment left open at the end of the previous input must not
    // carry its condition into the next pass.
    scan.nested = false;
}

void restartWithText(const char* text, std::size_t length)
{
    ScanBuffer* buffer = emptyBuffer();
    buffer->start = buffer->cursor = text;
    buffer->limit = text + length;
    replaceBuffer(buffer);
    scan.pendingStream = nullptr;
    scan.nested = false;
}

const char* scannedText()
{
    return scan.buffer->start;
}

bool convertNumberLiteral(std::string_view text, int32_t& value)
{
    const std::string literal(text);  // ends in the NUL byte the rules need
    ScanBuffer buffer;
    buffer.start = buffer.cursor = literal.c_str();
    buffer.limit = buffer.start + literal.size();
    // One token of the number rules, read without disturbing a scan under
    // way: the scanner's state and the token fields are put back after.
    const ScanState savedScan = scan;
    const auto savedResume = scanning.resumeAfterEnd;
    const CpuMode savedMode = asmState.cpuMode;
    char* const savedText = asmState.tokenText;
    const int savedLength = asmState.tokenLength;
    const int32_t savedValue = asmState.tokenValue;
    scan = ScanState{};
    scan.buffer = &buffer;
    scanning.resumeAfterEnd = nullptr;
    asmState.cpuMode = CPU_MODE_Z80;
    const bool whole = nextToken() == TOKEN_NUMBER && asmState.tokenText == buffer.start && buffer.cursor == buffer.limit;
    const int32_t found = asmState.tokenValue;
    scan = savedScan;
    scanning.resumeAfterEnd = savedResume;
    asmState.cpuMode = savedMode;
    asmState.tokenText = savedText;
    asmState.tokenLength = savedLength;
    asmState.tokenValue = savedValue;
    if (whole)
        value = found;
    return whole;
}

std::size_t scanPosition()
{
    return static_cast<std::size_t>(scan.buffer->cursor - scan.buffer->start);
}

void setScanPosition(std::size_t offset)
{
    scan.buffer->cursor = scan.buffer->start + offset;
    scan.nested = false;
}
