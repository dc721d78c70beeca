#include "symbolFile.h"

#include "AsmState.h"
#include "commandLine.h"
#include "output.h"
#include "../expressions/labels.h"

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

// orbant.sym is written in place, as always; a file named on the command line
// could be anything, so it is put in place whole and never over an input.
bool writeNamedSymbolFile(const std::string& name)
{
    return writeWholeOutput(name, symbolText());
}

}  // namespace

void writeSymbolFile()
{
    const std::string& name = commandLine().symbolFileName;
    if (name != DEFAULT_SYMBOL_FILE_NAME) {
        if (!writeNamedSymbolFile(name))
            std::fputs("Unable to write .SYM file!\n", stderr);
        return;
    }
    if (!openOutput(name.c_str())) {
        std::fputs("Unable to write .SYM file!\n", stderr);
        return;
    }
    FILE* symbols = asmState.outputFile;
    asmState.outputFile = nullptr;
    std::string text = symbolText();
    std::fwrite(text.data(), 1, text.size(), symbols);
    bool failed = std::ferror(symbols) != 0;
    if (std::fclose(symbols) != 0 || failed)
        std::fputs("Unable to write .SYM file!\n", stderr);
}
