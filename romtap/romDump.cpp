#include "romDump.h"

#include "checksums.h"
#include "consoleOutput.h"
#include "imageFile.h"
#include "mirrorCheck.h"
#include "readerLibrary.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Rereads of a block whose two reads differ, before the dump gives up.
constexpr int VERIFY_RETRIES = 3;

using Block = std::vector<unsigned char>;

// What the block loop needs of the run.
struct DumpRun {
    ReaderLibrary& reader;
    const Options& options;
    int slot;
    std::size_t blockSize;
};

struct RetriedBlock {
    int block;
    int retries;
};

[[noreturn]] void failWithReaderError(const ReaderLibrary& reader)
{
    dieOnNewLine("MSX Game Reader error: ", lastResultText(reader));
}

// The block as read, and with -v the reread that checks it. Each is sized at
// least 1 so that the library never receives a null buffer.
struct TransferBuffers {
    Block read;
    Block check;
};

TransferBuffers allocateTransferBuffers(const Options& options)
{
    TransferBuffers buffers;
    if (options.blockCount <= 0)
        return buffers;
    if (options.blockSize < 0)
        dieWithMessage("Invalid block size!");
    const auto size = static_cast<std::size_t>(std::max(options.blockSize, 1));
    buffers.read.resize(size);
    if (options.verify)
        buffers.check.resize(size);
    return buffers;
}

int chooseSlot(const ReaderLibrary& reader, int slotAsked)
{
    if (slotAsked == ANY_SLOT) {
        const int slot = firstEnabledSlot(reader);
        if (slot == -1)
            dieWithMessage("MSX Game Reader not found!");
        return slot;
    }
    // A slot whose reader never became ready is no reader to dump from.
    if (!answeredReady(reader, slotAsked))
        dieWithMessage("MSX Game Reader not found!");
    return slotAsked;
}

// Selects the block's bank first when the dump has several blocks.
void readBlock(const DumpRun& run, int block, Block& buffer)
{
    if (run.options.blockCount > 1) {
        unsigned char bank = static_cast<unsigned char>(block & 0xFF);
        if (writeMemory(run.reader, run.slot, &bank, run.options.mapperAddress, 1) != 0)
            failWithReaderError(run.reader);
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    if (readMemory(run.reader, run.slot, buffer.data(), run.options.beginAddress, run.options.blockSize) != 0)
        failWithReaderError(run.reader);
}

[[noreturn]] void failUnverified(const DumpRun& run, int block, std::size_t offset)
{
    const unsigned long long imageOffset = static_cast<unsigned long long>(block) * run.blockSize + offset;
    char text[160];
    std::snprintf(text, sizeof text, "block %d differs at offset %llXH (image offset %llXH) after %d retries!", block,
                  static_cast<unsigned long long>(offset), imageOffset, VERIFY_RETRIES);
    dieOnNewLine("Verify failed: ", text);
}

// Reads the block again until two reads in a row agree; the agreed bytes
// end in accepted. Returns the retries it took.
int verifyBlock(const DumpRun& run, int block, Block& accepted, Block& check)
{
    for (int retries = 0;; ++retries) {
        readBlock(run, block, check);
        const auto end = accepted.begin() + static_cast<std::ptrdiff_t>(run.blockSize);
        const auto difference = std::mismatch(accepted.begin(), end, check.begin()).first;
        if (difference == end)
            return retries;
        const auto offset = static_cast<std::size_t>(difference - accepted.begin());
        if (retries == VERIFY_RETRIES)
            failUnverified(run, block, offset);
        std::swap(accepted, check);
    }
}

// What -v, -w and -c report after "done", gathered as blocks go into the image.
class DumpReport {
public:
    explicit DumpReport(const Options& options) : options_(options)
    {
        if (options.sizeWarnings)
            mirrors_.emplace(options.blockCount, options.blockSize);
    }

    void noteRetries(int block, int retries)
    {
        if (retries > 0)
            retried_.push_back({block, retries});
    }

    void addBlock(int block, const unsigned char* bytes, std::size_t size)
    {
        if (mirrors_)
            mirrors_->addBlock(block, bytes);
        if (!options_.checksums)
            return;
        imageSize_ += size;
        crc_.update(bytes, size);
        sha1_.update(bytes, size);
    }

    void print() const
    {
        if (options_.verify)
            printVerified();
        if (mirrors_)
            std::fputs(mirrors_->warning().c_str(), stdout);
        if (options_.checksums)
            printChecksums();
    }

private:
    void printVerified() const
    {
        for (const RetriedBlock& entry : retried_)
            std::printf("Block %d read differently at first; verified after %d %s.\n", entry.block, entry.retries,
                        entry.retries == 1 ? "retry" : "retries");
        std::fputs("Verified: every block gave the same bytes twice in a row.\n", stdout);
    }

    void printChecksums() const
    {
        std::printf("Size:  %llu bytes\n", imageSize_);
        std::printf("CRC32: %s\n", toHex(crc_.value()).c_str());
        std::printf("SHA-1: %s\n", toHex(sha1_.digest()).c_str());
    }

    const Options& options_;
    std::vector<RetriedBlock> retried_;
    std::optional<MirrorCheck> mirrors_;
    unsigned long long imageSize_ = 0;
    Crc32 crc_;
    Sha1 sha1_;
};

void dumpBlocks(const DumpRun& run, TransferBuffers& buffers, ImageFile& image, DumpReport& report)
{
    for (int block = 0; block < run.options.blockCount; ++block) {
        std::fputs(".", stdout);
        std::fflush(stdout);
        readBlock(run, block, buffers.read);
        if (run.options.verify)
            report.noteRetries(block, verifyBlock(run, block, buffers.read, buffers.check));
        image.append(buffers.read.data(), run.blockSize);
        report.addBlock(block, buffers.read.data(), run.blockSize);
    }
}

}  // namespace

void dumpRom(const Options& options)
{
    BoundReaderLibrary bound(options.slot);
    ReaderLibrary& reader = bound.record();
    const int slot = chooseSlot(reader, options.slot);
    if (!hasCartridge(reader, slot))
        dieWithMessage("No ROM inserted in MSX Game Reader!");
    requireTransfers(reader, options.blockCount > 0, options.blockCount > 1);
    const DumpRun run{reader, options, slot, static_cast<std::size_t>(std::max(options.blockSize, 0))};
    TransferBuffers buffers = allocateTransferBuffers(options);
    DumpReport report(options);
    if (isLibraryFile(reader, options.fileName))
        ImageFile::refuse(options.fileName, "this is the MSX Game Reader library itself");
    ImageFile image(options.fileName);
    std::printf("Dumping ROM in slot %d", slot);
    dumpBlocks(run, buffers, image, report);
    image.close();
    std::fputs("done\n", stdout);
    report.print();
}
