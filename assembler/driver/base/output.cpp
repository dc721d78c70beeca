#include "output.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"
#include "listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct OutputState {
    std::string fileName;  // of outputFile, for the message when a write fails
};

OutputState currentOutput;

// An image of megabytes goes out to a file in writes of this size, not of
// the system's default (4 KiB here: a thousand writes for a 4 MiB megaROM).
// One output is open at a time, so they share one buffer; the C library
// takes a buffer of its own size where it is given none. A device keeps the
// default, so that a write to it fails where it always did.
constexpr std::size_t OUTPUT_BUFFER_SIZE = 65536;
char outputBuffer[OUTPUT_BUFFER_SIZE];

// The bytes emitted one or a few at a time go to a file through this, a
// block at a time: a library call per byte costs more than the copy. Every
// other use of the stream hands it what is gathered first, so that the
// stream sees the same bytes in the same order as without it. A device
// takes each byte at once, as it always did.
struct GatheredBytes {
    bool active = false;
    std::size_t count = 0;
    unsigned char bytes[4096];
};

GatheredBytes gathered;

}  // namespace

void handOverOutput()
{
    // A failed write shows when the file is closed, as for every emit.
    if (gathered.count != 0 && asmState.outputFile)
        std::fwrite(gathered.bytes, 1, gathered.count, asmState.outputFile);
    gathered.count = 0;
}

namespace {

void outputBytes(const unsigned char* bytes, std::size_t count)
{
    if (!gathered.active) {
        for (std::size_t i = 0; i < count; ++i)
            putByte(bytes[i], asmState.outputFile);
        return;
    }
    if (count > sizeof gathered.bytes - gathered.count) {
        handOverOutput();
        if (count > sizeof gathered.bytes) {
            std::fwrite(bytes, 1, count, asmState.outputFile);
            return;
        }
    }
    std::memcpy(gathered.bytes + gathered.count, bytes, count);
    gathered.count += count;
}

void bufferFileOutput(FILE* stream)
{
    handOverOutput();
    gathered.active = reportedSize(stream) >= 0;
    if (gathered.active)
        std::setvbuf(stream, outputBuffer, _IOFBF, OUTPUT_BUFFER_SIZE);
    registerExitHook(handOverOutput);
}

bool storeOutput(FILE* stream, const char* name, bool forWriting)
{
    if (!stream) {
        printOpenFailure(name, forWriting);
        return false;
    }
    bufferFileOutput(stream);
    asmState.outputFile = stream;
    currentOutput.fileName = name;
    return true;
}

constexpr int32_t MAX_FILL_WARNINGS = 256;

void checkByteRange(int32_t value)
{
    if (value < -128 || value > 255)
        reportWarning(WarningClass::RANGE, "Operand exceeds 8 bits");
}

// Long runs (up to the 64 MiB an output may reach) go out a block at a time.
// The block keeps the byte it was last filled with, and how many of it: a
// megaROM's pages are mostly padded with one byte.
void writeRun(int byte, std::size_t count)
{
    if (count == 0)
        return;
    static unsigned char block[16384];
    static std::size_t filled = 0;
    std::size_t blockSize = std::min(count, sizeof block);
    if (filled < blockSize || block[0] != static_cast<unsigned char>(byte)) {
        std::memset(block, byte, blockSize);
        filled = blockSize;
    }
    handOverOutput();
    while (count > 0) {
        std::size_t chunk = std::min(count, blockSize);
        if (std::fwrite(block, 1, chunk, asmState.outputFile) != chunk)
            exitWithWriteFailure(currentOutput.fileName.c_str());
        count -= chunk;
    }
}

void captureFill(int32_t value, int32_t count)
{
    EmitCapture& capture = emitCapture;
    if (capture.byteCount > 0 || capture.fillCount > 0 || value < -128 || value > 255)
        capture.spoiled = true;
    capture.fillCount = count;
    capture.fillByte = static_cast<unsigned char>(value);
}

void captureText()
{
    EmitCapture& capture = emitCapture;
    const auto count = static_cast<std::size_t>(asmState.tokenLength);
    if (capture.fillCount > 0 || count > CAPTURED_BYTES - capture.byteCount) {
        capture.spoiled = true;
        return;
    }
    std::memcpy(capture.bytes + capture.byteCount, asmState.tokenText, count);
    capture.byteCount += count;
}

// One addition and one comparison per emit, so that every write is checked.
void requireRoomFor(int32_t count)
{
    requireOutputEndWithinLimit(int64_t{asmState.outputPosition} + count);
}

}  // namespace

EmitCapture emitCapture;

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
    handOverOutput();
    FILE* stream = asmState.outputFile;
    if (!stream)
        return;
    asmState.outputFile = nullptr;
    bool failed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || failed)
        exitWithWriteFailure(currentOutput.fileName.c_str());
}

void outputByte(int32_t value)
{
    requireRoomFor(1);
    checkByteRange(value);
    auto byte = static_cast<unsigned char>(value);
    outputBytes(&byte, 1);
    if (listingActive())
        listEmitted(&byte, 1);
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
        auto byte = static_cast<unsigned char>(value);
        const unsigned char first[] = {byte, byte, byte, byte};
        if (listingActive())
            listRun(first, sizeof first, count, asmState.outputPosition);
        writeRun(byte, static_cast<std::size_t>(count));
    } else if (emitCapture.active) {
        captureFill(value, count);
    }
    advancePosition(count);
}

void outputWord(int32_t value)
{
    requireRoomFor(2);
    if (value < -32768 || value > 65535)
        reportWarning(WarningClass::RANGE, "Operand exceeds 16 bits");
    const unsigned char bytes[] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
    outputBytes(bytes, sizeof bytes);
    if (listingActive())
        listEmitted(bytes, sizeof bytes);
}

void emitText()
{
    if (asmState.finalPass) {
        requireRoomFor(asmState.tokenLength);
        auto length = static_cast<std::size_t>(asmState.tokenLength);
        handOverOutput();
        std::fwrite(asmState.tokenText, 1, length, asmState.outputFile);
        if (listingActive())
            listEmitted(reinterpret_cast<const unsigned char*>(asmState.tokenText), length);
    } else if (emitCapture.active) {
        captureText();
    }
    advancePosition(asmState.tokenLength);
}

void outputKeptBytes(const unsigned char* bytes, std::size_t count)
{
    outputBytes(bytes, count);
    if (listingActive())
        listEmitted(bytes, count);
}

void outputIncludedBytes(const unsigned char* bytes, std::size_t count)
{
    handOverOutput();
    std::fwrite(bytes, 1, count, asmState.outputFile);
}

void moveOutputPosition(int32_t position)
{
    handOverOutput();
    FILE* stream = asmState.outputFile;
    long length = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    if (length < 0)
        exitWithWriteFailure(currentOutput.fileName.c_str());
    if (position > length) {
        const unsigned char zeros[4] = {};
        if (listingActive())
            listRun(zeros, sizeof zeros, position - length, length);
        writeRun(0, static_cast<std::size_t>(position - length));
    } else if (std::fseek(stream, position, SEEK_SET) != 0)
        exitWithWriteFailure(currentOutput.fileName.c_str());
}
