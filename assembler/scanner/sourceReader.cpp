#include "sourceReader.h"

#include "../driver/diagnostics.h"

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

// Editors under DOS, MSX-DOS and Windows may end a text with Ctrl-Z, and
// text-mode reading there stops at it: nothing after it is source text.
// Reading stops there too, so the rest of the file is never read.
void readUpToEndOfText(FILE* stream, std::string& text)
{
    text.clear();
    text.reserve(remainingSize(stream));
    char block[READ_BLOCK_SIZE];
    for (;;) {
        std::size_t got = std::fread(block, 1, sizeof block, stream);
        if (got == 0) {
            if (std::ferror(stream))
                inputFailed();
            return;
        }
        const void* endOfText = std::memchr(block, '\x1A', got);
        if (endOfText)
            got = static_cast<std::size_t>(static_cast<const char*>(endOfText) - block);
        if (text.size() + got > MAX_SOURCE_TEXT_SIZE)
            reportError("Source file exceeds 1 GiB");
        text.append(block, got);
        if (endOfText)
            return;
    }
}

// Drops each carriage return that directly precedes a line feed.
void dropReturnsBeforeLineFeeds(std::string& text)
{
    std::size_t kept = text.find("\r\n");
    if (kept == std::string::npos)
        return;
    for (std::size_t i = kept; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        text[kept++] = text[i];
    }
    text.resize(kept);
}

}  // namespace

void readSourceText(FILE* stream, std::string& text)
{
    readUpToEndOfText(stream, text);
    dropReturnsBeforeLineFeeds(text);
}
