#include "readerLibrary.h"

#include "consoleOutput.h"
#include "platformSystem.h"

#include <string>

namespace {

// The reader may need a moment after Init before its slots answer; waiting
// longer than about three seconds means there is none.
constexpr unsigned SLOT_POLL_INTERVAL_MS = 300;
constexpr int SLOT_POLL_CYCLES = 10;

template <typename Function>
Function lookUp(platform::LibraryHandle module, const char* name)
{
    return reinterpret_cast<Function>(platform::findEntryPoint(module, name));
}

void lookUpEntryPoints(ReaderLibrary& record)
{
    record.err2Str = lookUp<MSXGR_Err2StrFn>(record.module, "MSXGR_Err2Str");
    record.getVersion = lookUp<MSXGR_GetVersionFn>(record.module, "MSXGR_GetVersion");
    record.setDebugMode = lookUp<MSXGR_SetDebugModeFn>(record.module, "MSXGR_SetDebugMode");
    record.isSlotEnable = lookUp<MSXGR_IsSlotEnableFn>(record.module, "MSXGR_IsSlotEnable");
    record.getSlotStatus = lookUp<MSXGR_GetSlotStatusFn>(record.module, "MSXGR_GetSlotStatus");
    record.readMemory = lookUp<MSXGR_TransferFn>(record.module, "MSXGR_ReadMemory");
    record.writeMemory = lookUp<MSXGR_TransferFn>(record.module, "MSXGR_WriteMemory");
    record.writeIO = lookUp<MSXGR_TransferFn>(record.module, "MSXGR_WriteIO");
    record.readIO = lookUp<MSXGR_TransferFn>(record.module, "MSXGR_ReadIO");
}

// Entry points other than Init are looked up once and required only by a
// run that calls them: a library may lack one a run never needs.
template <typename Function>
Function required(Function entry, const char* name)
{
    if (entry == nullptr)
        dieWithMessage(std::string("MSX Game Reader library lacks ") + name + "!");
    return entry;
}

// Every slot is asked in every cycle.
std::bitset<READER_SLOT_COUNT> pollSlots(const ReaderLibrary& record)
{
    std::bitset<READER_SLOT_COUNT> ready;
    for (int slot = 0; slot < READER_SLOT_COUNT; ++slot)
        ready[slot] = isSlotEnabled(record, slot);
    return ready;
}

void waitForReader(ReaderLibrary& record)
{
    for (int cycle = 0; cycle < SLOT_POLL_CYCLES; ++cycle) {
        platform::sleepMilliseconds(SLOT_POLL_INTERVAL_MS);
        stopIfInterrupted();
        record.readySlots = pollSlots(record);
        if (anySlotAnswered(record))
            return;
    }
}

void releaseModule(ReaderLibrary& record)
{
    platform::unloadLibrary(record.module);
    record.module = nullptr;
}

// Loads and initialises the library; 0 when it is initialised, otherwise -1
// or the library's Init result.
int bindReaderLibrary(ReaderLibrary& record)
{
    record.module = platform::loadLibrary(platform::readerLibraryName());
    if (record.module == nullptr)
        return -1;
    const platform::EntryPoint init = platform::findEntryPoint(record.module, "MSXGR_Init");
    if (init == nullptr) {
        releaseModule(record);
        return -1;
    }
    record.filePath = platform::libraryFilePath(record.module, init);
    record.lastResult = reinterpret_cast<MSXGR_InitFn>(init)();
    if (record.lastResult != 0) {
        releaseModule(record);
        return record.lastResult;
    }
    lookUpEntryPoints(record);
    return 0;
}

void unbindReaderLibrary(ReaderLibrary& record)
{
    if (record.module == nullptr)
        return;
    if (const auto uninit = lookUp<MSXGR_UninitFn>(record.module, "MSXGR_Uninit"))
        uninit();
    releaseModule(record);
}

}  // namespace

BoundReaderLibrary::BoundReaderLibrary()
{
    platform::deferInterruptions();
    if (bindReaderLibrary(record_) != 0) {
        platform::resumeInterruptions();
        dieWithMessage("failed to init gamereader");
    }
    // Bound from here: whatever ends the wait (an interruption, a library
    // without MSXGR_IsSlotEnable), the library gets its Uninit.
    try {
        waitForReader(record_);
    } catch (...) {
        release();
        throw;
    }
}

BoundReaderLibrary::~BoundReaderLibrary()
{
    release();
}

void BoundReaderLibrary::release()
{
    unbindReaderLibrary(record_);
    platform::resumeInterruptions();
}

bool anySlotAnswered(const ReaderLibrary& record)
{
    return record.readySlots.any();
}

bool isSlotEnabled(const ReaderLibrary& record, int slot)
{
    return (required(record.isSlotEnable, "MSXGR_IsSlotEnable")(slot) & 0xFF) != 0;
}

int firstEnabledSlot(const ReaderLibrary& record)
{
    for (int slot = 0; slot < READER_SLOT_COUNT; ++slot) {
        if (isSlotEnabled(record, slot))
            return slot;
    }
    return -1;
}

bool hasCartridge(ReaderLibrary& record, int slot)
{
    unsigned int status[3] = {0, 0, 0};
    record.lastResult = required(record.getSlotStatus, "MSXGR_GetSlotStatus")(slot, status);
    return record.lastResult == 0 && status[1] != 0;
}

void requireTransfers(const ReaderLibrary& record, bool reads, bool mapperWrites)
{
    if (reads)
        required(record.readMemory, "MSXGR_ReadMemory");
    if (mapperWrites)
        required(record.writeMemory, "MSXGR_WriteMemory");
}

int readMemory(ReaderLibrary& record, int slot, unsigned char* buffer, int address, int length)
{
    record.lastResult = required(record.readMemory, "MSXGR_ReadMemory")(slot, buffer, address, length);
    return record.lastResult;
}

int writeMemory(ReaderLibrary& record, int slot, unsigned char* buffer, int address, int length)
{
    record.lastResult = required(record.writeMemory, "MSXGR_WriteMemory")(slot, buffer, address, length);
    return record.lastResult;
}

std::string lastResultText(const ReaderLibrary& record)
{
    // Without Err2Str the code is all there is; the failure must still show.
    if (record.err2Str == nullptr)
        return "code " + std::to_string(record.lastResult);
    const char* text = record.err2Str(record.lastResult);
    return text != nullptr ? text : "unknown error";
}

bool isLibraryFile(const ReaderLibrary& record, const char* path)
{
    return !record.filePath.empty() && platform::isSameFile(path, record.filePath.c_str());
}
