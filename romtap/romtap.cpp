// romtap: copies a game cartridge into a ROM image file, block by block,
// through the cartridge reader's driver library.
#include "commandLine.h"
#include "consoleOutput.h"
#include "readerLibrary.h"
#include "romDump.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void dieForMissingEntryPoint(const MissingEntryPoint& missing)
{
    std::printf("MSX Game Reader library lacks %s!\n", missing.name);
    std::exit(1);
}

void listReaders()
{
    ReaderLibrary reader;
    if (bindReaderLibrary(reader, ANY_SLOT) != 0)
        dieWithMessage("failed to init gamereader");
    bool found = false;
    for (int slot = 0; slot < READER_SLOT_COUNT; ++slot) {
        if (!isSlotEnabled(reader, slot))
            continue;
        found = true;
        std::printf("Found MSX Game Reader, Slot %d, %s.\n", slot,
                    hasCartridge(reader, slot) ? "cartridge inserted" : "no cartridge inserted");
    }
    if (!found)
        dieWithMessage("MSX GameReader not found!");
    unbindReaderLibrary(reader);
}

}  // namespace

int main(int argc, char** argv)
{
    printTitle();
    if (argc < 2)
        printUsageAndFail();
    const Options options = parseArguments(argc, argv);
    try {
        if (options.listFlag) {
            listReaders();
        } else if (options.fileName != nullptr) {
            dumpRom(options);
        } else {
            printUsageAndFail();
        }
    } catch (const MissingEntryPoint& missing) {
        dieForMissingEntryPoint(missing);
    } catch (const std::bad_alloc&) {
        dieWithMessage("Out of memory!");
    }
    endRun(0);
}
