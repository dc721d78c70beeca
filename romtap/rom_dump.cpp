#include "rom_dump.h"

#include "console_output.h"
#include "image_file.h"
#include "reader_library.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Block = std::vector<unsigned char>;

// What the block loop needs of the run.
struct DumpRun {
    ReaderLibrary &reader;
    const Options &options;
    int slot;
    std::size_t blockSize;
};

[[noreturn]] void dieWithReaderError(const ReaderLibrary &reader) {
    dieOnNewLine("MSX Game Reader error: ", lastResultText(reader).c_str());
}

// The block as read. Sized at least 1 so that the library never receives a
// null buffer.
struct TransferBuffers {
    Block read;
};

TransferBuffers allocateTransferBuffers(const Options &options) {
    TransferBuffers buffers;
    if (options.blockCount <= 0) return buffers;
    if (options.blockSize < 0) dieWithMessage("Invalid block size!");
    buffers.read.resize(static_cast<std::size_t>(std::max(options.blockSize, 1)));
    return buffers;
}

int chooseSlot(const ReaderLibrary &reader, int slotAsked) {
    if (slotAsked == kAnySlot) {
        const int slot = firstEnabledSlot(reader);
        if (slot == -1) dieWithMessage("MSX Game Reader not found!");
        return slot;
    }
    // A slot whose reader never became ready is no reader to dump from.
    if (!answeredReady(reader, slotAsked)) dieWithMessage("MSX Game Reader not found!");
    return slotAsked;
}

// Selects the block's bank first when the dump has several blocks.
void readBlock(const DumpRun &run, int block, Block &buffer) {
    if (run.options.blockCount > 1) {
        unsigned char bank = static_cast<unsigned char>(block & 0xFF);
        if (writeMemory(run.reader, run.slot, &bank, run.options.mapperAddress, 1) != 0) dieWithReaderError(run.reader);
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    if (readMemory(run.reader, run.slot, buffer.data(), run.options.beginAddress, run.options.blockSize) != 0)
        dieWithReaderError(run.reader);
}

void dumpBlocks(const DumpRun &run, TransferBuffers &buffers, ImageFile &image) {
    for (int block = 0; block < run.options.blockCount; ++block) {
        std::fputs(".", stdout);
        std::fflush(stdout);
        readBlock(run, block, buffers.read);
        image.append(buffers.read.data(), run.blockSize);
    }
}

}  // namespace

void dumpRom(const Options &options) {
    ReaderLibrary reader;
    if (bindReaderLibrary(reader, options.slot) != 0) dieWithMessage("failed to init gamereader");
    const int slot = chooseSlot(reader, options.slot);
    if (!hasCartridge(reader, slot)) dieWithMessage("No ROM inserted in MSX Game Reader!");
    requireTransfers(reader, options.blockCount > 0, options.blockCount > 1);
    const DumpRun run{reader, options, slot, static_cast<std::size_t>(std::max(options.blockSize, 0))};
    TransferBuffers buffers = allocateTransferBuffers(options);
    if (isLibraryFile(reader, options.fileName))
        ImageFile::refuse(options.fileName, "this is the MSX Game Reader library itself");
    ImageFile image(options.fileName);
    std::printf("Dumping ROM in slot %d", slot);
    dumpBlocks(run, buffers, image);
    image.close();
    std::fputs("done\n", stdout);
    unbindReaderLibrary(reader);
}
