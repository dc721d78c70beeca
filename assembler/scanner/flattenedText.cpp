#include "flattenedText.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSafety.h"
#include "../driver/base/sourceExcerpt.h"
#include "scanner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The text grows a token at a time; the file gets it in large blocks, since
// a library call per token costs more than the scanning itself.
constexpr std::size_t BLOCK_SIZE = 65536;
// A bound on what an endless or runaway input can make of the text.
constexpr std::size_t MAX_TEXT_SIZE = std::size_t{256} << 20;

// Byte 01, the number in decimal, byte 01. A line's marker mostly follows the
// last one by one: counting up its digits costs less than formatting anew.
struct LineMarker {
    unsigned lineNumber = 0;
    std::size_t length = 3;
    char text[16] = {'\x01', '0', '\x01'};
};

// The marker of lineNumber, given the last one.
void updateLineMarker(LineMarker& marker, unsigned lineNumber)
{
    bool followsLast = lineNumber == marker.lineNumber + 1;
    marker.lineNumber = lineNumber;
    if (followsLast) {
        char* digit = marker.text + marker.length - 2;
        while (*digit == '9')
            *digit-- = '0';
        // Byte 01 before the first digit: the number gains a digit.
        if (*digit != '\x01') {
            ++*digit;
            return;
        }
    }
    char* end = std::to_chars(marker.text + 1, marker.text + 11, lineNumber).ptr;
    *end++ = '\x01';
    marker.length = static_cast<std::size_t>(end - marker.text);
}

struct TempFileState {
    ReplacingOutput file;
    // The whole flattened source so far is tempTextEnd.text. Grown by hand,
    // since a library append per token costs more than the copy, and with
    // realloc, which can grow a large block without copying it. It is kept
    // until the process ends: the passes scan it.
    std::size_t capacity = 0;
    std::size_t written = 0;    // how much of the text the file has been given
    bool endMarkAdded = false;  // the NUL byte the scanner needs follows the text
    bool held = false;          // the file waits for the text that replaces this one
    LineMarker lastMarker;
};

TempFileState temp;

void updateQuickLimit()
{
    std::size_t unwritten = temp.held ? MAX_TEXT_SIZE : temp.written + BLOCK_SIZE;
    tempTextEnd.quickLimit = std::min({unwritten, temp.capacity, MAX_TEXT_SIZE});
}

bool writePending()
{
    const char* pending = tempTextEnd.text + temp.written;
    std::size_t length = tempTextEnd.size - temp.written;
    temp.written = tempTextEnd.size;
    updateQuickLimit();
    return length == 0 || std::fwrite(pending, 1, length, asmState.tempFile) == length;
}

void reserveText(std::size_t needed)
{
    std::size_t capacity = std::max(temp.capacity, BLOCK_SIZE);
    while (capacity < needed)
        capacity *= 2;
    char* grown = static_cast<char*>(std::realloc(tempTextEnd.text, capacity));
    if (!grown)
        outOfMemory();
    tempTextEnd.text = grown;
    temp.capacity = capacity;
    updateQuickLimit();
}

void appendText(const char* text, std::size_t length)
{
    if (length > temp.capacity - tempTextEnd.size)
        reserveText(tempTextEnd.size + length);
    std::memcpy(tempTextEnd.text + tempTextEnd.size, text, length);
    tempTextEnd.size += length;
}

// An error exit leaves the text made so far in the file; a failure to write
// it then goes unreported, as the run ends with its own message anyway.
void flushOnExit()
{
    if (!asmState.tempFile)
        return;
    writePending();
    asmState.tempFile = nullptr;
    finishReplacing(temp.file);
}

}  // namespace

TempTextEnd tempTextEnd;

bool openTempFile(const char* name)
{
    if (!openReplacing(temp.file, name))
        return false;
    asmState.tempFile = temp.file.stream;
    tempTextEnd.size = 0;
    temp.written = 0;
    reserveText(BLOCK_SIZE);
    temp.endMarkAdded = false;
    registerExitHook(flushOnExit);
    return true;
}

void closeTempFile()
{
    if (!writePending())
        exitWithWriteFailure(temp.file.name.c_str());
    asmState.tempFile = nullptr;
    if (!finishReplacing(temp.file))
        exitWithWriteFailure(temp.file.name.c_str());
}

void abandonTempFile()
{
    asmState.tempFile = nullptr;
    abandonReplacing(temp.file);
}

// Text beyond the quick limit: the file gets what is pending in a block of
// at most BLOCK_SIZE, and text longer than that goes straight after it.
void appendAndWrite(const char* text, std::size_t length)
{
    if (length > MAX_TEXT_SIZE - tempTextEnd.size)
        reportError("Flattened source exceeds 256 MiB");
    if (temp.held) {
        appendText(text, length);
        return;
    }
    if (length > BLOCK_SIZE - (tempTextEnd.size - temp.written) && !writePending())
        exitWithWriteFailure(temp.file.name.c_str());
    appendText(text, length);
    if (length > BLOCK_SIZE && !writePending())
        exitWithWriteFailure(temp.file.name.c_str());
}

void holdTempText()
{
    temp.held = true;
    updateQuickLimit();
}

std::string takeTempText()
{
    std::string taken(tempTextEnd.text, tempTextEnd.size);
    tempTextEnd.size = 0;
    temp.written = 0;
    temp.held = false;
    updateQuickLimit();
    return taken;
}

void writeTempText(const char* text, std::size_t length)
{
    appendTempText(text, length);
}

void writeLineMarker(int lineNumber)
{
    LineMarker& marker = temp.lastMarker;
    updateLineMarker(marker, static_cast<unsigned>(lineNumber));
    if (sizeof marker.text > tempTextEnd.quickLimit - tempTextEnd.size) {
        writeTempText(marker.text, marker.length);
        return;
    }
    // The whole array is copied, as a fixed size copies fastest; the size
    // grows by the marker's length.
    std::memcpy(tempTextEnd.text + tempTextEnd.size, marker.text, sizeof marker.text);
    tempTextEnd.size += marker.length;
}

void writeFileMarker(const char* name)
{
    writeTempText("\x02", 1);
    writeTempText(name, std::strlen(name));
    writeTempText("\x02", 1);
}

void scanFlattenedSource()
{
    if (!temp.endMarkAdded) {
        appendText("", 1);
        tempTextEnd.size -= 1;
        temp.endMarkAdded = true;
    }
    restartWithText(tempTextEnd.text, tempTextEnd.size);
    setScannedText(tempTextEnd.text, tempTextEnd.size);
}
