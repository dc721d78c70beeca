#include "binaryInputs.h"

#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSystem.h"
#include "../driver/base/output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace {

struct KeptInputs {
    // By the name opened; none: too large for what is left, read every pass.
    std::unordered_map<std::string, std::optional<std::string>> files;
    int64_t total = 0;
};

KeptInputs keptInputs;

[[noreturn]] void failToRead(const char* name)
{
    std::fprintf(stderr, "Error while reading %s! %s\n", name, std::strerror(errno));
    exitWithError();
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
        int64_t got = readDirectly(input.file, block.data(), asked);
        if (got < 0)
            failToRead(input.name.c_str());
        int64_t from = std::clamp<int64_t>(start - size, 0, got);
        int64_t wanted = std::min<int64_t>(got - from, keep - static_cast<int64_t>(kept.size()));
        if (wanted > 0)
            kept.append(block.data() + from, static_cast<std::size_t>(wanted));
        size += got;
        if (got == 0 || readReachedEnd(input.reportedSize, size, asked, static_cast<std::size_t>(got)))
            return size;
    }
}

// Reads an opened file: whole, into the kept ones, where it fits what is
// left; else only the part this pass needs, in this pass and every other.
int64_t readOpened(BinaryInput& input, int64_t start, int64_t keep)
{
    bool readEveryPass = keptInputs.files.count(input.name) != 0;
    if (!readEveryPass) {
        std::string whole;
        int64_t room = OUTPUT_SIZE_LIMIT - keptInputs.total;
        int64_t size = readToEnd(input, 0, room, whole);
        if (size <= room) {
            keptInputs.total += size;
            input.whole = &keptInputs.files.try_emplace(input.name, std::move(whole)).first->second.value();
            return size;
        }
        keptInputs.files.try_emplace(input.name, std::nullopt);
        std::rewind(input.file);
    }
    return readToEnd(input, start, keep, input.part);
}

// The bytes from start on, at most keep of them, as readToEnd keeps them.
std::string_view partOf(const std::string& whole, int64_t start, int64_t keep)
{
    int64_t size = static_cast<int64_t>(whole.size());
    int64_t from = std::clamp<int64_t>(start, 0, size);
    int64_t length = std::clamp<int64_t>(keep, 0, size - from);
    return std::string_view(whole).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
}

}  // namespace

BinaryInput openBinaryInput(const std::string& name)
{
    BinaryInput input;
    input.name = name;
    auto kept = keptInputs.files.find(name);
    if (kept != keptInputs.files.end() && kept->second) {
        input.whole = &*kept->second;
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
