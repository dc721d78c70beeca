// The former block reader of source text, kept for the flex reference and
// as the reference that readSourceText is compared with.
#include "blockSourceReader.h"

#include "driver/base/diagnostics.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int READ_BLOCK_SIZE = 8192;

struct SourceReaderState {
    std::string pendingText;  // delivered before the stream's own bytes
    std::size_t pendingOffset = 0;
};

SourceReaderState reader;

int readPendingText(char* buffer, int wanted)
{
    std::size_t count = std::min(reader.pendingText.size() - reader.pendingOffset, static_cast<std::size_t>(wanted));
    std::memcpy(buffer, reader.pendingText.data() + reader.pendingOffset, count);
    reader.pendingOffset += count;
    if (reader.pendingOffset == reader.pendingText.size()) {
        reader.pendingText.clear();
        reader.pendingOffset = 0;
    }
    return static_cast<int>(count);
}

[[noreturn]] void inputFailed()
{
    exitWithInternalError("input in scanner failed");
}

// A carriage return at the end of a block: is its line feed the next byte?
bool lineFeedFollows(FILE* stream)
{
    int next = std::getc(stream);
    if (next == EOF)
        return false;
    std::ungetc(next, stream);
    return next == '\n';
}

void skipRestOfFile(FILE* stream)
{
    if (std::fseek(stream, 0, SEEK_END) == 0)
        return;
    char discarded[READ_BLOCK_SIZE];
    while (std::fread(discarded, 1, sizeof discarded, stream) != 0) {
    }
}

// Editors under DOS, MSX-DOS and Windows may end a text with Ctrl-Z, and
// text-mode reading there stops at it: nothing after it is source text.
std::size_t cutAtEndOfText(FILE* stream, const char* buffer, std::size_t got)
{
    const void* endOfText = std::memchr(buffer, '\x1A', got);
    if (!endOfText)
        return got;
    skipRestOfFile(stream);
    return static_cast<std::size_t>(static_cast<const char*>(endOfText) - buffer);
}

// One read of at most `wanted` bytes, up to any Ctrl-Z, with the CR of each
// CR LF dropped.
int readOnce(FILE* stream, char* buffer, int wanted)
{
    std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(wanted), stream);
    if (got == 0 && std::ferror(stream))
        inputFailed();
    got = cutAtEndOfText(stream, buffer, got);
    int count = static_cast<int>(got);
    // Most sources have no carriage return at all: leave such a block as read.
    const void* firstReturn = std::memchr(buffer, '\r', got);
    if (!firstReturn)
        return count == 0 ? -1 : count;
    int kept = static_cast<int>(static_cast<const char*>(firstReturn) - buffer);
    for (int i = kept; i < count; ++i) {
        if (buffer[i] == '\r') {
            bool beforeLineFeed = i + 1 < count ? buffer[i + 1] == '\n' : lineFeedFollows(stream);
            if (beforeLineFeed)
                continue;
        }
        buffer[kept++] = buffer[i];
    }
    return count == 0 ? -1 : kept;
}

}  // namespace

int readSourceBlock(FILE* stream, char* buffer, int maxSize)
{
    int wanted = std::min(maxSize, READ_BLOCK_SIZE);
    if (!reader.pendingText.empty())
        return readPendingText(buffer, wanted);
    // A read that only dropped a carriage return is not the end of the input.
    for (;;) {
        int kept = readOnce(stream, buffer, wanted);
        if (kept != 0)
            return kept < 0 ? 0 : kept;
    }
}

void setPendingText(std::string text)
{
    reader.pendingText = std::move(text);
    reader.pendingOffset = 0;
}

std::string readInBlocks(FILE* stream)
{
    std::string text;
    char block[READ_BLOCK_SIZE];
    for (;;) {
        int count = readSourceBlock(stream, block, READ_BLOCK_SIZE);
        if (count == 0)
            return text;
        text.append(block, static_cast<std::size_t>(count));
    }
}
