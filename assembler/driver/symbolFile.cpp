#include "symbolFile.h"

#include "AsmState.h"
#include "output.h"
#include "../expressions/labels.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* SYMBOL_FILE_NAME = "orbant.sym";

char* appendNumber(char* out, char* limit, unsigned value, int base)
{
    char* end = std::to_chars(out, limit, value, base).ptr;
    std::transform(out, end, out, [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; });
    return end;
}

// "NAME: equ 0XXXXh ; last def. pass N", formatted without printf: a
// program has tens of thousands of labels, and printf would cost more than
// the rest.
void appendSymbolLine(std::string& symbols, const LabelRecord& record)
{
    static constexpr char MIDDLE[] = ": equ 0";
    static constexpr char TAIL[] = "h ; last def. pass ";
    char line[64];
    char* limit = line + sizeof line;
    char* end = std::copy(MIDDLE, MIDDLE + sizeof MIDDLE - 1, line);
    end = appendNumber(end, limit, static_cast<unsigned>(record.value), 16);
    end = std::copy(TAIL, TAIL + sizeof TAIL - 1, end);
    end = appendNumber(end, limit, static_cast<unsigned>(record.definitionPass), 10);
    *end++ = '\n';
    symbols.append(record.name);
    symbols.append(line, static_cast<std::size_t>(end - line));
}

std::string symbolLines()
{
    std::string symbols;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0)
                appendSymbolLine(symbols, *record);
    return symbols;
}

}  // namespace

void protectSymbolFile()
{
    requireNotProtected(SYMBOL_FILE_NAME);
    protectFile(SYMBOL_FILE_NAME, SYMBOL_FILE_ROLE);
}

void writeSymbolFile()
{
    if (!writeWholeOutput(SYMBOL_FILE_NAME, symbolLines()))
        std::fputs("Unable to write .SYM file!\n", stderr);
}
