#include "output.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct OutputState {
    std::string fileName;  // of outputFile, for the message when a write fails
};

OutputState output;

bool storeOutput(FILE* stream, const char* name, bool forWriting)
{
    if (!stream) {
        printOpenFailure(name, forWriting);
        return false;
    }
    asmState.outputFile = stream;
    output.fileName = name;
    return true;
}

constexpr int32_t MAX_FILL_WARNINGS = 256;

void checkByteRange(int32_t value)
{
    if (value < -128 || value > 255)
        reportWarning("Operand exceeds 8 bits");
}

// Long runs (up to the 64 MiB an output may reach) go out a block at a time.
void writeRun(int byte, std::size_t count)
{
    static unsigned char block[16384];
    std::size_t blockSize = std::min(count, sizeof block);
    std::memset(block, byte, blockSize);
    while (count > 0) {
        std::size_t chunk = std::min(count, blockSize);
        if (std::fwrite(block, 1, chunk, asmState.outputFile) != chunk)
            exitWithWriteFailure(output.fileName.c_str());
        count -= chunk;
    }
}

// One addition and one comparison per emit, so that every write is checked.
void requireRoomFor(int32_t count)
{
    requireOutputEndWithinLimit(int64_t{asmState.outputPosition} + count);
}

}  // namespace

void requireOutputEndWithinLimit(int64_t end)
{
    if (end > OUTPUT_SIZE_LIMIT)
        reportError("Output file would exceed 64 MiB");
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
        exitWithWriteFailure(output.fileName.c_str());
}

void emitByte(int32_t value)
{
    if (asmState.finalPass) {
        requireRoomFor(1);
        checkByteRange(value);
        std::putc(value & 0xFF, asmState.outputFile);
    }
    advancePosition(1);
}

void emitFill(int32_t value, int32_t count)
{
    if (asmState.finalPass) {
        requireRoomFor(count);
        // Every byte of the run goes through the 8-bit rule, as if emitted
        // alone; a long run stops repeating the warning after a screenful.
        int32_t warnings = std::min(count, MAX_FILL_WARNINGS);
        for (int32_t i = 0; i < warnings && (value < -128 || value > 255); ++i)
            checkByteRange(value);
        writeRun(value & 0xFF, static_cast<std::size_t>(count));
    }
    advancePosition(count);
}

void emitWord(int32_t value)
{
    if (asmState.finalPass) {
        requireRoomFor(2);
        if (value < -32768 || value > 65535)
            reportWarning("Operand exceeds 16 bits");
        std::putc(value & 0xFF, asmState.outputFile);
        std::putc((value >> 8) & 0xFF, asmState.outputFile);
    }
    advancePosition(2);
}

void emitText()
{
    if (asmState.finalPass) {
        requireRoomFor(asmState.tokenLength);
        std::fwrite(asmState.tokenText, 1, static_cast<std::size_t>(asmState.tokenLength), asmState.outputFile);
    }
    advancePosition(asmState.tokenLength);
}

void moveOutputPosition(int32_t position)
{
    FILE* stream = asmState.outputFile;
    long length = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    if (length < 0)
        exitWithWriteFailure(output.fileName.c_str());
    if (position > length)
        writeRun(0, static_cast<std::size_t>(position - length));
    else if (std::fseek(stream, position, SEEK_SET) != 0)
        exitWithWriteFailure(output.fileName.c_str());
}
