#include "romDump.h"

#include "consoleOutput.h"
#include "dumpLog.h"
#include "dumpReport.h"
#include "imageFile.h"
#include "platformSystem.h"
#include "readerLibrary.h"
#include "softwareDatabase.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Rereads of a block whose two reads differ, before the dump gives up.
constexpr int VERIFY_RETRIES = 3;
// Cartridges answer up to here: page 3 of the address space is the computer's RAM.
constexpr long long CARTRIDGE_WINDOWS_END = 0xC000;

using Block = std::vector<unsigned char>;

// What the block loop needs of the run.
struct DumpRun {
    ReaderLibrary& reader;
    const Options& options;
    int slot;
    std::size_t blockSize;
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
    const auto size = static_cast<std::size_t>(std::max(options.blockSize, 1));
    buffers.read.resize(size);
    if (options.verify)
        buffers.check.resize(size);
    return buffers;
}

// A slot given with -i is used unchecked, once any slot has answered.
int chooseSlot(const ReaderLibrary& reader, int slotAsked)
{
    const int slot = slotAsked != ANY_SLOT ? slotAsked : firstEnabledSlot(reader);
    if (slot == -1 || !anySlotAnswered(reader))
        dieWithMessage("MSX Game Reader not found!");
    return slot;
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
// end in accepted. The retries it took are noted, also when they fail.
void verifyBlock(const DumpRun& run, int block, Block& accepted, Block& check, DumpReport& report)
{
    for (int retries = 0;; ++retries) {
        stopIfInterrupted();
        readBlock(run, block, check);
        const auto end = accepted.begin() + static_cast<std::ptrdiff_t>(run.blockSize);
        const auto difference = std::mismatch(accepted.begin(), end, check.begin()).first;
        if (difference == end)
            return report.noteRetries(block, retries);
        const auto offset = static_cast<std::size_t>(difference - accepted.begin());
        if (retries == VERIFY_RETRIES) {
            report.noteRetries(block, retries);
            failUnverified(run, block, offset);
        }
        std::swap(accepted, check);
    }
}

void dumpBlocks(const DumpRun& run, TransferBuffers& buffers, ImageFile& image, DumpReport& report)
{
    for (int block = 0; block < run.options.blockCount; ++block) {
        stopIfInterrupted();
        std::fputs(".", stdout);
        std::fflush(stdout);
        readBlock(run, block, buffers.read);
        if (run.options.verify)
            verifyBlock(run, block, buffers.read, buffers.check, report);
        image.append(buffers.read.data(), run.blockSize);
        report.addBlock(block, buffers.read.data(), run.blockSize);
    }
}

// -w: the bytes after a one-block dump, up to C000H, tell a larger cartridge.
void readPastTheBlock(const DumpRun& run, const Block& dumped, DumpReport& report)
{
    const long long end = run.options.beginAddress + static_cast<long long>(run.blockSize);
    if (run.options.blockCount != 1 || run.blockSize == 0 || end >= CARTRIDGE_WINDOWS_END)
        return;
    Block following(std::min<std::size_t>(run.blockSize, static_cast<std::size_t>(CARTRIDGE_WINDOWS_END - end)));
    if (readMemory(run.reader, run.slot, following.data(), static_cast<int>(end), static_cast<int>(following.size()))
        != 0)
        failWithReaderError(run.reader);
    report.addFollowingBytes(following.data(), dumped.data(), following.size());
}

// The image may not overwrite the reader library, the log or the database,
// nor be a file the run's messages go to.
void refuseImageName(const ReaderLibrary& reader, const Options& options)
{
    const char* name = options.fileName;
    if (isLibraryFile(reader, name))
        ImageFile::refuse(name, "this is the MSX Game Reader library itself");
    if (const char* stream = platform::standardStreamWritingTo(name))
        ImageFile::refuse(name, (std::string("this is where the ") + stream + " goes").c_str());
    if (options.logPath != nullptr && platform::isSameFile(name, options.logPath))
        ImageFile::refuse(name, "this is the dump log");
    if (options.databasePath != nullptr && platform::isSameFile(name, options.databasePath))
        ImageFile::refuse(name, "this is the software database");
}

void dumpThrough(ReaderLibrary& reader, const Options& options, DumpReport& report, DumpLog& log)
{
    log.noteLibrary(reader.filePath);
    const int slot = chooseSlot(reader, options.slot);
    log.noteSlot(slot);
    if (!hasCartridge(reader, slot))
        dieWithMessage("No ROM inserted in MSX Game Reader!");
    requireTransfers(reader, options.blockCount > 0, options.blockCount > 1);
    const DumpRun run{reader, options, slot, static_cast<std::size_t>(options.blockSize)};
    TransferBuffers buffers = allocateTransferBuffers(options);
    refuseImageName(reader, options);
    ImageFile image(options.fileName);
    report.noteImageCreated();
    std::printf("Dumping ROM in slot %d", slot);
    dumpBlocks(run, buffers, image, report);
    stopIfInterrupted();
    report.noteEveryBlockDumped();
    if (options.sizeWarnings)
        readPastTheBlock(run, buffers.read, report);
    image.close();
    std::fputs("done\n", stdout);
}

void dumpCartridge(const Options& options, DumpReport& report, DumpLog& log)
{
    BoundReaderLibrary bound;
    // Releasing the reader ends an interrupted run by its interruption:
    // the record goes to the log before.
    try {
        dumpThrough(bound.record(), options, report, log);
    } catch (const RunInterrupted& interrupted) {
        log.finish(report, "interrupted", "interrupted by " + platform::interruptionName(interrupted.interruption));
        throw;
    }
}

// Without --db, or when it cannot be read (which is said, and the dump goes on): nothing.
std::optional<SoftwareDatabase> loadDatabase(const char* path, std::string& problem)
{
    if (path == nullptr)
        return std::nullopt;
    try {
        return SoftwareDatabase::load(path);
    } catch (const DatabaseError& error) {
        problem = std::string("romtap: cannot read the database ") + path + ": " + error.reason;
        std::fprintf(stderr, "%s\n", problem.c_str());
        return std::nullopt;
    }
}

}  // namespace

void dumpRom(const Options& options)
{
    DumpLog log(options);
    std::string databaseProblem;
    const std::optional<SoftwareDatabase> database = loadDatabase(options.databasePath, databaseProblem);
    DumpReport report(options, database ? &*database : nullptr, databaseProblem);
    try {
        dumpCartridge(options, report, log);
    } catch (const RunFailure& failure) {
        log.finish(report, "1", failure.message);
        throw;
    } catch (const std::bad_alloc&) {
        log.finish(report, "1", "Out of memory!");
        throw;
    }
    report.print();
    // The run fails where its report could not be written: so says the record.
    const bool reported = standardOutputWritten();
    if (!log.finish(report, reported ? "0" : "1", reported ? "done" : STANDARD_OUTPUT_FAILURE))
        endRun(1);
}
