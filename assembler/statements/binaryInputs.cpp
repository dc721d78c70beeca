#include "binaryInputs.h"

#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSystem.h"
#include "../driver/base/largeBlocks.h"
#include "../driver/base/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

namespace {

// The kept files' bytes, in blocks that never move. The first block comes
// from the heap, room for the few short files most programs include; the
// later ones are array blocks large enough for huge pages, so that keeping
// hundreds of files costs neither an allocation nor a page fault for each.
class KeptBytes {
public:
    // Room for at least count bytes after those kept so far.
    char* room(std::size_t count)
    {
        if (count > left)
            startBlock(count);
        return next;
    }
    // Keeps the first count bytes of the room just given.
    std::string_view keep(std::size_t count)
    {
        const std::string_view kept(next, count);
        next += count;
        left -= count;
        return kept;
    }

private:
    static constexpr std::size_t FIRST_BLOCK_SIZE = std::size_t{256} << 10;

    void startBlock(std::size_t atLeast)
    {
        const bool first = blocks.empty() && atLeast <= FIRST_BLOCK_SIZE;
        const std::size_t size = first ? FIRST_BLOCK_SIZE : std::max(atLeast, ArrayBlock::LARGE_FROM);
        next = static_cast<char*>(blocks.emplace_back(size).get());
        left = size;
    }

    std::vector<ArrayBlock> blocks;
    char* next = nullptr;
    std::size_t left = 0;
};

struct KeptInputs {
    // By the name opened; none: too large for what is left, read every pass.
    std::unordered_map<std::string, std::optional<std::string_view>> files;
    KeptBytes bytes;
    int64_t total = 0;
};

KeptInputs keptInputs;

[[noreturn]] void failToRead(const char* name)
{
    std::fprintf(stderr, "Error while reading %s! %s\n", name, std::strerror(errno));
    exitWithError();
}

// Reads at most count bytes on from where the file stands; ends the run when
// the read fails.
int64_t readOrFail(BinaryInput& input, char* bytes, std::size_t count)
{
    const int64_t got = readDirectly(input.file, bytes, count);
    if (got < 0)
        failToRead(input.name.c_str());
    return got;
}

// Where the system reports no size (a file under /proc), the file is read
// in blocks of READ_BLOCK_SIZE bytes; no read asks for more than LARGEST_READ.
constexpr std::size_t READ_BLOCK_SIZE = 65536;
constexpr std::size_t LARGEST_READ = std::size_t{1} << 20;

// Reads the file to its end, whatever size the system reports (a file under
// /proc reports none), and returns how long it is: where the size is
// reported, in one read. The bytes from `start` on are kept, up to `keep` of
// them.
int64_t readToEnd(BinaryInput& input, int64_t start, int64_t keep, std::string& kept)
{
    static std::string block;  // grows to the largest read
    int64_t size = 0;
    for (;;) {
        std::size_t asked = std::min(nextReadSize(input.reportedSize, size, READ_BLOCK_SIZE), LARGEST_READ);
        if (block.size() < asked)
            block.resize(asked);
        int64_t got = readOrFail(input, block.data(), asked);
        int64_t from = std::clamp<int64_t>(start - size, 0, got);
        int64_t wanted = std::min<int64_t>(got - from, keep - static_cast<int64_t>(kept.size()));
        if (wanted > 0)
            kept.append(block.data() + from, static_cast<std::size_t>(wanted));
        size += got;
        if (got == 0 || readReachedEnd(input.reportedSize, size, asked, static_cast<std::size_t>(got)))
            return size;
    }
}

void seekOrFail(BinaryInput& input, int64_t offset)
{
    if (!seekDirectly(input.file, offset))
        failToRead(input.name.c_str());
}

// Reads a file of reported size straight into the kept bytes, in the reads
// readToEnd would make; false, with nothing kept, where it turns out longer
// than reported.
bool keepReadInPlace(BinaryInput& input, std::string_view& kept)
{
    const auto expected = static_cast<std::size_t>(input.reportedSize);
    char* const place = keptInputs.bytes.room(expected + 1);
    std::size_t size = 0;
    for (;;) {
        const std::size_t asked = std::min(expected + 1 - size, LARGEST_READ);
        const auto got = static_cast<std::size_t>(readOrFail(input, place + size, asked));
        size += got;
        if (got == 0 || readReachedEnd(input.reportedSize, static_cast<int64_t>(size), asked, got)) {
            kept = keptInputs.bytes.keep(size);
            return true;
        }
        if (size > expected)
            return false;
    }
}

// A file of no reported size, or not of the size reported, read to its end
// from its start and kept where it fits room; false where it does not.
bool keepReadToEnd(BinaryInput& input, int64_t room, std::string_view& kept)
{
    std::string whole;
    if (readToEnd(input, 0, room, whole) > room)
        return false;
    char* const place = keptInputs.bytes.room(whole.size());
    std::copy(whole.begin(), whole.end(), place);
    kept = keptInputs.bytes.keep(whole.size());
    return true;
}

// Keeps an opened file whole where it fits what is left of the room for all
// of them; a larger one is noted, to be read again in every pass. A file of
// reported size is known to be larger without a read.
bool keepWhole(BinaryInput& input)
{
    const int64_t room = OUTPUT_SIZE_LIMIT - keptInputs.total;
    if (input.reportedSize <= room) {
        std::string_view kept;
        bool fits = input.reportedSize >= 0 && keepReadInPlace(input, kept);
        if (!fits) {
            seekOrFail(input, 0);
            fits = keepReadToEnd(input, room, kept);
        }
        if (fits) {
            keptInputs.total += static_cast<int64_t>(kept.size());
            input.whole = keptInputs.files.try_emplace(input.name, kept).first->second;
            return true;
        }
        seekOrFail(input, 0);
    }
    keptInputs.files.try_emplace(input.name, std::nullopt);
    return false;
}

// The part of a file of reported size that this pass needs, read where it
// lies, and then a check that the file ends where its size says: a slice of
// a disk image of gigabytes costs two short reads, not a read of the whole.
// False where the file has changed since its size was taken: it is read to
// its end then.
bool readPartWhereItLies(BinaryInput& input, int64_t start, int64_t keep)
{
    const int64_t size = input.reportedSize;
    const int64_t from = std::clamp<int64_t>(start, 0, size);
    const auto wanted = static_cast<std::size_t>(std::clamp<int64_t>(keep, 0, size - from));
    input.part.resize(wanted);
    seekOrFail(input, from);
    for (std::size_t done = 0; done < wanted;) {
        const int64_t got = readOrFail(input, input.part.data() + done, std::min(wanted - done, LARGEST_READ));
        if (got == 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    seekOrFail(input, size);
    char after;
    return readOrFail(input, &after, 1) == 0;
}

// Reads an opened file: whole, into the kept ones, where it fits what is
// left; else only the part this pass needs, in this pass and every other.
int64_t readOpened(BinaryInput& input, int64_t start, int64_t keep)
{
    const bool readEveryPass = keptInputs.files.count(input.name) != 0;
    if (!readEveryPass && keepWhole(input))
        return static_cast<int64_t>(input.whole->size());
    if (input.reportedSize >= 0 && readPartWhereItLies(input, start, keep))
        return input.reportedSize;
    input.part.clear();
    seekOrFail(input, 0);
    return readToEnd(input, start, keep, input.part);
}

// The bytes from start on, at most keep of them, as readToEnd keeps them.
std::string_view partOf(std::string_view whole, int64_t start, int64_t keep)
{
    int64_t size = static_cast<int64_t>(whole.size());
    int64_t from = std::clamp<int64_t>(start, 0, size);
    int64_t length = std::clamp<int64_t>(keep, 0, size - from);
    return whole.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
}

}  // namespace

BinaryInput openBinaryInput(const std::string& name)
{
    BinaryInput input;
    input.name = name;
    auto kept = keptInputs.files.find(name);
    if (kept != keptInputs.files.end() && kept->second) {
        input.whole = kept->second;
        return input;
    }
    OpenedFile opened;
    input.file = openForReading(name.c_str(), &opened);
    input.reportedSize = opened.size;
    if (!input.file) {
        printOpenFailure(name.c_str(), false);
        exitWithError();
    }
    return input;
}

BinaryInputBytes readBinaryInput(BinaryInput& input, int64_t start, int64_t keep)
{
    if (input.file) {
        int64_t size = readOpened(input, start, keep);
        std::fclose(input.file);
        input.file = nullptr;
        if (!input.whole)
            return {size, input.part};
    }
    return {static_cast<int64_t>(input.whole->size()), partOf(*input.whole, start, keep)};
}
