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

// Editors under DOS, MSX-DOS and Windows may end a text with Ctrl-Z, and
// text-mode reading there stops at it: nothing after it is source text.
// Reading stops there too, so the rest of the file is never read.
std::string readUpToEndOfText(FILE* stream)
{
    std::string text;
    char block[READ_BLOCK_SIZE];
    for (;;) {
        std::size_t got = std::fread(block, 1, sizeof block, stream);
        if (got == 0) {
            if (std::ferror(stream))
                inputFailed();
            return text;
        }
        const void* endOfText = std::memchr(block, '\x1A', got);
        if (endOfText)
            got = static_cast<std::size_t>(static_cast<const char*>(endOfText) - block);
        if (text.size() + got > MAX_SOURCE_TEXT_SIZE)
            reportError("Source file exceeds 1 GiB");
        text.append(block, got);
        if (endOfText)
            return text;
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

std::string readSourceText(FILE* stream)
{
    std::string text = readUpToEndOfText(stream);
    dropReturnsBeforeLineFeeds(text);
    return text;
}
