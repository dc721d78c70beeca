#include "symbolFile.h"

#include "../expressions/labels.h"
#include "AsmState.h"
#include "commandLine.h"
#include "output.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

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

std::string symbolText()
{
    std::string symbols;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0 && !record->fromCommandLine)
                appendSymbolLine(symbols, *record);
    return symbols;
}

bool isNamedByOption()
{
    return commandLine().symbolFileName != DEFAULT_SYMBOL_FILE_NAME;
}

}  // namespace

// orbant.sym is refused at once when it would overwrite a file the run
// needs; a file named by --symbols is refused only when the symbols are
// written, and then, like a symbol file that cannot be written, without
// failing the run.
void protectSymbolFile()
{
    const std::string& name = commandLine().symbolFileName;
    if (!isNamedByOption())
        requireNotProtected(name);
    protectFile(name, FileRole::SYMBOL_FILE);
}

void writeSymbolFile()
{
    if (writeWholeOutput(commandLine().symbolFileName, symbolText(), FileRole::SYMBOL_FILE)
        != WholeOutputResult::WRITTEN)
        std::fputs("Unable to write .SYM file!\n", stderr);
}
