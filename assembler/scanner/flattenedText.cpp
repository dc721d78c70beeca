#include "flattenedText.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSafety.h"
#include "../driver/base/largeBlocks.h"
#include "../driver/base/sourceExcerpt.h"
#include "scanner.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The text grows a token at a time; the file gets it in large blocks, since
// a library call per token costs more than the scanning itself.
constexpr std::size_t BLOCK_SIZE = 65536;
// The text's first block: one huge page, where the system has them.
constexpr std::size_t FIRST_CAPACITY = std::size_t{2} << 20;
// A bound on what an endless or runaway input can make of the text.
constexpr std::size_t MAX_TEXT_SIZE = std::size_t{256} << 20;

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

struct FlattenedTextState {
    ReplacingOutput file;
    // The whole flattened source so far is flattenedTextEnd.text. Grown by hand,
    // since a library append per token costs more than the copy, in large
    // blocks that double: copying it once more costs less than the page
    // faults of small pages (where the system moves pages, it copies
    // nothing). It is kept until the process ends: the passes
    // scan it.
    std::size_t capacity = 0;
    std::size_t written = 0;    // how much of the text the file has been given
    bool endMarkAdded = false;  // the NUL byte the scanner needs follows the text
    bool held = false;          // the file waits for the text that replaces this one
};

FlattenedTextState flattened;

void updateQuickLimit()
{
    std::size_t unwritten = flattened.held ? MAX_TEXT_SIZE : flattened.written + BLOCK_SIZE;
    flattenedTextEnd.quickLimit = std::min({unwritten, flattened.capacity, MAX_TEXT_SIZE});
}

bool writePending()
{
    const char* pending = flattenedTextEnd.text + flattened.written;
    std::size_t length = flattenedTextEnd.size - flattened.written;
    flattened.written = flattenedTextEnd.size;
    updateQuickLimit();
    return length == 0 || std::fwrite(pending, 1, length, asmState.flattenedFile) == length;
}

void reserveText(std::size_t needed)
{
    if (needed <= flattened.capacity)
        return;
    std::size_t capacity = std::max(flattened.capacity, FIRST_CAPACITY);
    while (capacity < needed)
        capacity *= 2;
    void* grown = flattenedTextEnd.text ? growLargeBlock(flattenedTextEnd.text, flattened.capacity, capacity)
                                        : allocateLargeBlock(capacity);
    if (!grown)
        outOfMemory();
    flattenedTextEnd.text = static_cast<char*>(grown);
    flattened.capacity = capacity;
    updateQuickLimit();
}

void appendText(const char* text, std::size_t length)
{
    if (length > flattened.capacity - flattenedTextEnd.size)
        reserveText(flattenedTextEnd.size + length);
    std::memcpy(flattenedTextEnd.text + flattenedTextEnd.size, text, length);
    flattenedTextEnd.size += length;
}

// An error exit leaves the text made so far in the file; a failure to write
// it then goes unreported, as the run ends with its own message anyway.
void flushOnExit()
{
    if (!asmState.flattenedFile)
        return;
    writePending();
    asmState.flattenedFile = nullptr;
    finishReplacing(flattened.file);
}

}  // namespace

FlattenedTextEnd flattenedTextEnd;

bool openFlattenedFile(const char* name)
{
    if (!openReplacing(flattened.file, name))
        return false;
    asmState.flattenedFile = flattened.file.stream;
    // Before anything that may fail: a run that ends here leaves what it
    // flattened so far, as any error while preprocessing does.
    registerExitHook(flushOnExit);
    flattenedTextEnd.size = 0;
    flattened.written = 0;
    reserveText(BLOCK_SIZE);
    flattened.endMarkAdded = false;
    return true;
}

void closeFlattenedFile()
{
    if (!writePending())
        exitWithWriteFailure(flattened.file.name.c_str());
    asmState.flattenedFile = nullptr;
    if (!finishReplacing(flattened.file))
        exitWithWriteFailure(flattened.file.name.c_str());
}

void abandonFlattenedFile()
{
    asmState.flattenedFile = nullptr;
    abandonReplacing(flattened.file);
}

// Text beyond the quick limit: the file gets what is pending in a block of
// at most BLOCK_SIZE, and text longer than that goes straight after it.
void appendAndWrite(const char* text, std::size_t length)
{
    if (length > MAX_TEXT_SIZE - flattenedTextEnd.size)
        reportError("Flattened source exceeds 256 MiB");
    if (flattened.held) {
        appendText(text, length);
        return;
    }
    if (length > BLOCK_SIZE - (flattenedTextEnd.size - flattened.written) && !writePending())
        exitWithWriteFailure(flattened.file.name.c_str());
    appendText(text, length);
    if (length > BLOCK_SIZE && !writePending())
        exitWithWriteFailure(flattened.file.name.c_str());
}

void holdFlattenedText()
{
    flattened.held = true;
    updateQuickLimit();
}

std::string takeFlattenedText()
{
    std::string taken(flattenedTextEnd.text, flattenedTextEnd.size);
    flattenedTextEnd.size = 0;
    flattened.written = 0;
    flattened.held = false;
    updateQuickLimit();
    return taken;
}

void writeFlattenedText(const char* text, std::size_t length)
{
    appendFlattenedText(text, length);
}

void writeAnyLineMarker(int lineNumber)
{
    LineMarker& marker = flattenedTextEnd.lastMarker;
    updateLineMarker(marker, static_cast<unsigned>(lineNumber));
    if (sizeof marker.text > flattenedTextEnd.quickLimit - flattenedTextEnd.size) {
        writeFlattenedText(marker.text, marker.length);
        return;
    }
    // The whole array is copied, as a fixed size copies fastest; the size
    // grows by the marker's length.
    std::memcpy(flattenedTextEnd.text + flattenedTextEnd.size, marker.text, sizeof marker.text);
    flattenedTextEnd.size += marker.length;
}

void writeFileMarker(const char* name)
{
    writeFlattenedText("\x02", 1);
    writeFlattenedText(name, std::strlen(name));
    writeFlattenedText("\x02", 1);
}

void scanFlattenedSource()
{
    if (!flattened.endMarkAdded) {
        // The NUL byte that ends the text, and the slack that runs of
        // tokens read past it.
        reserveText(flattenedTextEnd.size + 1 + SCANNED_TEXT_SLACK);
        appendText("", 1);
        flattenedTextEnd.size -= 1;
        flattened.endMarkAdded = true;
    }
    restartWithText(flattenedTextEnd.text, flattenedTextEnd.size);
    setScannedText(flattenedTextEnd.text, flattenedTextEnd.size);
}
