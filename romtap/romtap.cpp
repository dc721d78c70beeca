// romtap: copies a game cartridge into a ROM image file, block by block,
// through the cartridge reader's driver library.
#include "commandLine.h"
#include "consoleOutput.h"
#include "platformSystem.h"
#include "readerLibrary.h"
#include "romDump.h"

#include <cstdio>
#include <new>

namespace {

void listReaders()
{
    BoundReaderLibrary bound;
    ReaderLibrary& reader = bound.record();
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
}

}  // namespace

int main(int argc, char** argv)
{
    // Without a usable descriptor there is nowhere to say so.
    if (!platform::openStandardStreams())
        return 1;
    platform::failWritesPastFileSizeLimit();
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
    } catch (const RunFailure& failure) {
        endRunWith(failure);
    } catch (const RunInterrupted&) {
        // Caught so that the stack unwinds: releasing the reader on the way
        // has ended the run by the interruption.
        platform::resumeInterruptions();

    } catch (const std::bad_alloc&) {
        endRunWith(RunFailure{"Out of memory!\n"});
    }
    endRun(0);
}
