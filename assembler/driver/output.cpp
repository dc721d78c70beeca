#include "output.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"
#include "../expressions/labels.h"

#include <cstdio>
#include <string>

namespace {

std::string outputName;  // for the message when a write fails

bool storeOutput(FILE* stream, const char* name, bool forWriting)
{
    if (!stream) {
        printOpenFailure(name, forWriting);
        return false;
    }
    asmState.outputFile = stream;
    outputName = name;
    return true;
}

void writeSymbolLines(FILE* symbols)
{
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0)
                std::fprintf(symbols, "%s: equ 0%Xh ; last def. pass %d\n", record->name,
                             static_cast<unsigned>(record->value), record->definitionPass);
}

}  // namespace

bool openTemp(const char* name)
{
    return storeOutput(openForWriting(name), name, true);
}

bool openOutput(const char* name)
{
    return storeOutput(openForWriting(name), name, true);
}

bool openOutputForUpdate(const char* name)
{
    return storeOutput(openForUpdate(name), name, false);
}

void closeOutput()
{
    FILE* stream = asmState.outputFile;
    if (!stream)
        return;
    asmState.outputFile = nullptr;
    bool failed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || failed)
        exitWithWriteFailure(outputName.c_str());
}

void emitByte(int32_t value)
{
    if (asmState.finalPass) {
        if (value < -128 || value > 255)
            reportWarning("Operand exceeds 8 bits");
        std::putc(value & 0xFF, asmState.outputFile);
    }
    advancePosition(1);
}

void emitWord(int32_t value)
{
    if (asmState.finalPass) {
        if (value < -32768 || value > 65535)
            reportWarning("Operand exceeds 16 bits");
        std::putc(value & 0xFF, asmState.outputFile);
        std::putc((value >> 8) & 0xFF, asmState.outputFile);
    }
    advancePosition(2);
}

void emitText()
{
    if (asmState.finalPass)
        std::fwrite(asmState.tokenText, 1, static_cast<std::size_t>(asmState.tokenLength), asmState.outputFile);
    advancePosition(asmState.tokenLength);
}

void writeSymbolFile()
{
    if (!openOutput("orbant.sym")) {
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
