#include "symbolFile.h"

#include "AsmState.h"
#include "commandLine.h"
#include "output.h"
#include "../expressions/labels.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace {

char* appendNumber(char* out, char* limit, unsigned value, int base)
{
    char* end = std::to_chars(out, limit, value, base).ptr;
    std::transform(out, end, out, [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; });
    return end;
}

// "NAME: equ 0XXXXh ; last def. pass N", formatted without printf: a
// program has tens of thousands of labels, and printf would cost more than
// the rest.
void writeSymbolLine(FILE* symbols, const LabelRecord& record)
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
    std::fwrite(record.name.data(), 1, record.name.size(), symbols);
    std::fwrite(line, 1, static_cast<std::size_t>(end - line), symbols);
}

void writeSymbolLines(FILE* symbols)
{
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0 && !record->fromCommandLine)
                writeSymbolLine(symbols, *record);
}

}  // namespace

void writeSymbolFile()
{
    if (!openOutput(commandLine().symbolFileName.c_str())) {
        std::fputs("Unable to write .SYM file!\n", stderr);
        return;
    }
    FILE* symbols = asmState.outputFile;
    asmState.outputFile = nullptr;
    writeSymbolLines(symbols);
    bool failed = std::ferror(symbols) != 0;
    if (std::fclose(symbols) != 0 || failed)
        std::fputs("Unable to write .SYM file!\n", stderr);
}
