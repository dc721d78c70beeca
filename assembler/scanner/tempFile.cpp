#include "tempFile.h"

#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"
#include "../driver/fileSystem.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The text is written a token at a time: it is collected here and handed to
// the file in large blocks, since a library call per token costs more than
// the scanning itself.
constexpr std::size_t BLOCK_SIZE = 65536;

struct TempFileState {
    std::string name;
    char block[BLOCK_SIZE];
    std::size_t buffered = 0;
};

TempFileState temp;

bool writeBlock()
{
    std::size_t length = temp.buffered;
    temp.buffered = 0;
    return length == 0 || std::fwrite(temp.block, 1, length, asmState.tempFile) == length;
}

// An error exit leaves the text written so far in the file; a failure to
// write it then is left to the stream's close.
void flushOnExit()
{
    if (asmState.tempFile)
        writeBlock();
}

}  // namespace

bool openTempFile(const char* name)
{
    asmState.tempFile = openForWriting(name);
    if (!asmState.tempFile) {
        printOpenFailure(name, true);
        return false;
    }
    temp.name = name;
    temp.buffered = 0;
    registerExitHook(flushOnExit);
    return true;
}

void closeTempFile()
{
    if (!writeBlock())
        exitWithWriteFailure(temp.name.c_str());
    FILE* file = asmState.tempFile;
    asmState.tempFile = nullptr;
    if (std::fclose(file) != 0)
        exitWithWriteFailure(temp.name.c_str());
}

void writeTempText(const char* text, std::size_t length)
{
    if (length > BLOCK_SIZE - temp.buffered) {
        if (!writeBlock())
            exitWithWriteFailure(temp.name.c_str());
        if (length > BLOCK_SIZE) {
            if (std::fwrite(text, 1, length, asmState.tempFile) != length)
                exitWithWriteFailure(temp.name.c_str());
            return;
        }
    }
    std::memcpy(temp.block + temp.buffered, text, length);
    temp.buffered += length;
}

void writeLineMarker(int lineNumber)
{
    char marker[16];
    marker[0] = '\x01';
    char* end = std::to_chars(marker + 1, marker + sizeof marker - 1, static_cast<unsigned>(lineNumber)).ptr;
    *end++ = '\x01';
    writeTempText(marker, static_cast<std::size_t>(end - marker));
}

void writeFileMarker(const char* name)
{
    writeTempText("\x02", 1);
    writeTempText(name, std::strlen(name));
    writeTempText("\x02", 1);
}
