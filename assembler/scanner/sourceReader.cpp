#include "sourceReader.h"

#include "../driver/base/diagnostics.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t READ_BLOCK_SIZE = 65536;

[[noreturn]] void inputFailed()
{
    exitWithInternalError("input in scanner failed");
}

// What is left of a file that can tell its size; 0 for a stream of unknown
// length. Space for it is set aside at once rather than grown step by step.
std::size_t remainingSize(FILE* stream)
{
    long position = std::ftell(stream);
    if (position < 0 || std::fseek(stream, 0, SEEK_END) != 0)
        return 0;
    long end = std::ftell(stream);
    if (std::fseek(stream, position, SEEK_SET) != 0)
        inputFailed();
    return end > position ? std::min(static_cast<std::size_t>(end - position), MAX_SOURCE_TEXT_SIZE) : 0;
}

// Room for more bytes than needed: the NUL byte follows them.
void reserveRoom(SourceText& text, std::size_t needed)
{
    if (text.capacity - text.size > needed)
        return;
    std::size_t capacity = std::max(text.size + needed + 1, 2 * text.capacity);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (text.size != 0)
        std::memcpy(grown.get(), text.bytes.get(), text.size);
    text.bytes = std::move(grown);
    text.capacity = capacity;
}

// Editors under DOS, MSX-DOS and Windows may end a text with Ctrl-Z, and
// text-mode reading there stops at it: nothing after it is source text.
// Reading stops there too, so the rest of the file is never read. The file
// is read straight into the text, in blocks of at most READ_BLOCK_SIZE.
void readUpToEndOfText(FILE* stream, SourceText& text)
{
    text.size = 0;
    // One byte more than the file holds: the read that finds its end fits.
    reserveRoom(text, remainingSize(stream) + 1);
    for (;;) {
        reserveRoom(text, 1);
        char* block = text.bytes.get() + text.size;
        std::size_t got = std::fread(block, 1, std::min(text.capacity - text.size - 1, READ_BLOCK_SIZE), stream);
        if (got == 0) {
            if (std::ferror(stream))
                inputFailed();
            return;
        }
        const void* endOfText = std::memchr(block, '\x1A', got);
        if (endOfText)
            got = static_cast<std::size_t>(static_cast<const char*>(endOfText) - block);
        if (text.size + got > MAX_SOURCE_TEXT_SIZE)
            reportError("Source file exceeds 1 GiB");
        text.size += got;
        if (endOfText)
            return;
    }
}

// Drops each carriage return that directly precedes a line feed.
void dropReturnsBeforeLineFeeds(SourceText& text)
{
    std::size_t kept = text.view().find("\r\n");
    if (kept == std::string_view::npos)
        return;
    char* bytes = text.bytes.get();
    for (std::size_t i = kept; i < text.size; ++i) {
        if (bytes[i] == '\r' && i + 1 < text.size && bytes[i + 1] == '\n')
            continue;
        bytes[kept++] = bytes[i];
    }
    text.size = kept;
}

}  // namespace

void readSourceText(FILE* stream, SourceText& text)
{
    readUpToEndOfText(stream, text);
    dropReturnsBeforeLineFeeds(text);
    text.bytes[text.size] = '\0';
}
