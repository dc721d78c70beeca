#include "sourceReader.h"

#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSystem.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Where the system reports no size (a file under /proc), the text is read in
// blocks of this many bytes; no read asks for more than LARGEST_READ.
constexpr std::size_t READ_BLOCK_SIZE = 65536;
constexpr std::size_t LARGEST_READ = std::size_t{64} << 20;

[[noreturn]] void inputFailed()
{
    exitWithInternalError("input in scanner failed");
}

// Room for more bytes than needed: the NUL byte and the slack follow them.
void reserveRoom(SourceText& text, std::size_t needed)
{
    if (text.capacity - text.size > needed + SOURCE_TEXT_SLACK)
        return;
    std::size_t capacity = std::max(text.size + needed + 1 + SOURCE_TEXT_SLACK, 2 * text.capacity);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (text.size != 0)
        std::memcpy(grown.get(), text.bytes.get(), text.size);
    text.bytes = std::move(grown);
    text.capacity = capacity;
}

// Editors under DOS, MSX-DOS and Windows may end a text with Ctrl-Z, and
// text-mode reading there stops at it: nothing after it is source text.
// Reading stops at the read that finds it. The file is read straight into
// the text: where the system reports its size, the whole of it in one read.
void readUpToEndOfText(FILE* stream, std::int64_t reported, SourceText& text)
{
    text.size = 0;
    for (;;) {
        std::size_t asked
            = std::min(nextReadSize(reported, static_cast<std::int64_t>(text.size), READ_BLOCK_SIZE), LARGEST_READ);
        reserveRoom(text, asked);
        char* block = text.bytes.get() + text.size;
        std::int64_t read = readDirectly(stream, block, asked);
        if (read < 0)
            inputFailed();
        auto got = static_cast<std::size_t>(read);
        const void* endOfText = std::memchr(block, '\x1A', got);
        std::size_t kept = endOfText ? static_cast<std::size_t>(static_cast<const char*>(endOfText) - block) : got;
        if (text.size + kept > MAX_SOURCE_TEXT_SIZE)
            reportError("Source file exceeds 1 GiB");
        text.size += kept;
        if (got == 0 || endOfText || readReachedEnd(reported, static_cast<std::int64_t>(text.size), asked, got))
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

void readSourceText(FILE* stream, std::int64_t reportedSize, SourceText& text)
{
    readUpToEndOfText(stream, reportedSize, text);
    dropReturnsBeforeLineFeeds(text);
    text.bytes[text.size] = '\0';
}
