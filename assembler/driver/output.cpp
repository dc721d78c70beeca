#include "output.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"
#include "../expressions/labels.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

constexpr int32_t MAX_FILL_WARNINGS = 256;

void checkByteRange(int32_t value)
{
    if (value < -128 || value > 255)
        reportWarning("Operand exceeds 8 bits");
}

// Long runs (up to the 64 MiB an output may reach) go out a block at a time.
void writeRun(int byte, int64_t count)
{
    static unsigned char block[16384];
    std::size_t blockSize = static_cast<std::size_t>(std::min<int64_t>(count, sizeof block));
    std::memset(block, byte, blockSize);
    while (count > 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<int64_t>(count, static_cast<int64_t>(blockSize)));
        if (std::fwrite(block, 1, chunk, asmState.outputFile) != chunk)
            exitWithWriteFailure(outputName.c_str());
        count -= static_cast<int64_t>(chunk);
    }
}

// Writes the digits of value in base (10 or 16, upper case) at out; returns the end.
char* appendDigits(char* out, unsigned value, unsigned base)
{
    char digits[16];
    int count = 0;
    do {
        digits[count++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    while (count > 0)
        *out++ = digits[--count];
    return out;
}

// "NAME: equ 0XXXXh ; last def. pass N", formatted by hand: a program has
// tens of thousands of labels, and printf would cost more than the rest.
void writeSymbolLine(FILE* symbols, const LabelRecord& record)
{
    static const char middle[] = ": equ 0";
    static const char tail[] = "h ; last def. pass ";
    char line[64];
    char* end = std::copy(middle, middle + sizeof middle - 1, line);
    end = appendDigits(end, static_cast<unsigned>(record.value), 16);
    end = std::copy(tail, tail + sizeof tail - 1, end);
    end = appendDigits(end, static_cast<unsigned>(record.definitionPass), 10);  // a pass number: 1 or more
    *end++ = '\n';
    std::fputs(record.name, symbols);
    std::fwrite(line, 1, static_cast<std::size_t>(end - line), symbols);
}

void writeSymbolLines(FILE* symbols)
{
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0)
                writeSymbolLine(symbols, *record);
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
        checkByteRange(value);
        std::putc(value & 0xFF, asmState.outputFile);
    }
    advancePosition(1);
}

void emitFill(int32_t value, int32_t count)
{
    if (asmState.finalPass) {
        // Every byte of the run goes through the 8-bit rule, as if emitted
        // alone; a long run stops repeating the warning after a screenful.
        int32_t warnings = std::min(count, MAX_FILL_WARNINGS);
        for (int32_t i = 0; i < warnings && (value < -128 || value > 255); ++i)
            checkByteRange(value);
        writeRun(value & 0xFF, count);
    }
    advancePosition(count);
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

void moveOutputPosition(int32_t position)
{
    FILE* stream = asmState.outputFile;
    long length = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    if (length < 0)
        exitWithWriteFailure(outputName.c_str());
    if (position > length)
        writeRun(0, position - length);
    else if (std::fseek(stream, position, SEEK_SET) != 0)
        exitWithWriteFailure(outputName.c_str());
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
