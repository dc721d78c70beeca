#include "output.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "fileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

struct OutputState {
    std::string fileName;  // of outputFile, for the message when a write fails
    std::vector<ProtectedFile> protectedFiles;
    std::unordered_set<std::string> protectedNames;  // an INCBIN may name a file many times
};

OutputState output;

bool storeOutput(FILE* stream, const char* name, bool forWriting)
{
    if (!stream) {
        printOpenFailure(name, forWriting);
        return false;
    }
    asmState.outputFile = stream;
    output.fileName = name;
    return true;
}

constexpr int32_t MAX_FILL_WARNINGS = 256;

void checkByteRange(int32_t value)
{
    if (value < -128 || value > 255)
        reportWarning("Operand exceeds 8 bits");
}

// Long runs (up to the 64 MiB an output may reach) go out a block at a time.
void writeRun(int byte, int64_t count)
{
    static unsigned char block[16384];
    std::size_t blockSize = static_cast<std::size_t>(std::min<int64_t>(count, sizeof block));
    std::memset(block, byte, blockSize);
    while (count > 0) {
        std::size_t chunk = static_cast<std::size_t>(std::min<int64_t>(count, static_cast<int64_t>(blockSize)));
        if (std::fwrite(block, 1, chunk, asmState.outputFile) != chunk)
            exitWithWriteFailure(output.fileName.c_str());
        count -= static_cast<int64_t>(chunk);
    }
}

}  // namespace

bool openOutput(const char* name)
{
    return storeOutput(openForWriting(name), name, true);
}

bool openOutputForUpdate(const char* name)
{
    return storeOutput(openForUpdate(name), name, false);
}

void closeOutput()
{
    FILE* stream = asmState.outputFile;
    if (!stream)
        return;
    asmState.outputFile = nullptr;
    bool failed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || failed)
        exitWithWriteFailure(output.fileName.c_str());
}

void emitByte(int32_t value)
{
    if (asmState.finalPass) {
        checkByteRange(value);
        std::putc(value & 0xFF, asmState.outputFile);
    }
    advancePosition(1);
}

void emitFill(int32_t value, int32_t count)
{
    if (asmState.finalPass) {
        // Every byte of the run goes through the 8-bit rule, as if emitted
        // alone; a long run stops repeating the warning after a screenful.
        int32_t warnings = std::min(count, MAX_FILL_WARNINGS);
        for (int32_t i = 0; i < warnings && (value < -128 || value > 255); ++i)
            checkByteRange(value);
        writeRun(value & 0xFF, count);
    }
    advancePosition(count);
}

void emitWord(int32_t value)
{
    if (asmState.finalPass) {
        if (value < -32768 || value > 65535)
            reportWarning("Operand exceeds 16 bits");
        std::putc(value & 0xFF, asmState.outputFile);
        std::putc((value >> 8) & 0xFF, asmState.outputFile);
    }
    advancePosition(2);
}

void emitText()
{
    if (asmState.finalPass)
        std::fwrite(asmState.tokenText, 1, static_cast<std::size_t>(asmState.tokenLength), asmState.outputFile);
    advancePosition(asmState.tokenLength);
}

void moveOutputPosition(int32_t position)
{
    FILE* stream = asmState.outputFile;
    long length = std::fseek(stream, 0, SEEK_END) == 0 ? std::ftell(stream) : -1;
    if (length < 0)
        exitWithWriteFailure(output.fileName.c_str());
    if (position > length)
        writeRun(0, position - length);
    else if (std::fseek(stream, position, SEEK_SET) != 0)
        exitWithWriteFailure(output.fileName.c_str());
}

bool openReplacing(ReplacingOutput& output, const char* name)
{
    output.name = name;
    output.privateName.clear();
    output.stream = isReplaceableInOneStep(name) ? createPrivateFileBeside(name, output.privateName) : nullptr;
    if (!output.stream) {
        output.privateName.clear();
        output.stream = openForWriting(name);
    }
    if (!output.stream)
        printOpenFailure(name, true);
    return output.stream != nullptr;
}

bool finishReplacing(ReplacingOutput& output)
{
    bool written = std::ferror(output.stream) == 0;
    bool closed = std::fclose(output.stream) == 0;
    int failure = errno;
    output.stream = nullptr;
    if (!output.privateName.empty() && !replaceFileWith(output.name.c_str(), output.privateName.c_str())) {
        failure = errno;
        removeFile(output.privateName.c_str());
        written = false;
    }
    errno = failure;
    return written && closed;
}

void abandonReplacing(ReplacingOutput& output)
{
    int failure = errno;
    std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.privateName.empty())
        removeFile(output.privateName.c_str());
    errno = failure;
}

bool writeWholeOutput(const char* name, std::string_view content)
{
    ReplacingOutput output;
    if (!openReplacing(output, name))
        return false;
    if (std::fwrite(content.data(), 1, content.size(), output.stream) != content.size()
        || std::fflush(output.stream) != 0) {
        abandonReplacing(output);
        return false;
    }
    return finishReplacing(output);
}

void protectFile(const char* name, const char* role)
{
    if (output.protectedNames.insert(name).second)
        output.protectedFiles.push_back({name, role, identifyFile(name)});
}

const ProtectedFile* protectedFileAt(const char* name)
{
    FileIdentity identity = identifyFile(name);
    for (const ProtectedFile& file : output.protectedFiles)
        if (isSameFile(identity, file.identity))
            return &file;
    return nullptr;
}

void refuseOverwriting(const char* name, const ProtectedFile& file)
{
    std::fprintf(stderr, "Output %s is the same file as the %s %s\n", name, file.role, file.name.c_str());
    exitWithError();
}

void requireNotProtected(const char* name)
{
    if (const ProtectedFile* file = protectedFileAt(name))
        refuseOverwriting(name, *file);
}
