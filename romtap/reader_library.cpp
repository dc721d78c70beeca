#include "reader_library.h"

#include "platform_system.h"

namespace {

// The reader may need a moment after Init before its slots answer; waiting
// longer than about three seconds means there is none.
constexpr unsigned kSlotPollIntervalMs = 300;
constexpr int kSlotPollCycles = 10;

template <typename Function>
Function lookUp(platform::LibraryHandle module, const char *name) {
    return reinterpret_cast<Function>(platform::findEntryPoint(module, name));
}

void lookUpEntryPoints(ReaderLibrary &record) {
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

// Entry points other than Init are looked up once and checked only when
// romtap is about to call them: a library may lack one a run never needs.
template <typename Function>
Function required(Function entry, const char *name) {
    if (entry == nullptr) throw MissingEntryPoint{name};
    return entry;
}

bool anySlotEnabled(const ReaderLibrary &record) {
    bool found = false;
    for (int slot = 0; slot < kReaderSlotCount; ++slot) {
        found = isSlotEnabled(record, slot) || found;  // every slot is asked in every cycle
    }
    return found;
}

void waitForReader(const ReaderLibrary &record) {
    for (int cycle = 0; cycle < kSlotPollCycles; ++cycle) {
        platform::sleepMilliseconds(kSlotPollIntervalMs);
        if (anySlotEnabled(record)) return;
    }
}

void releaseModule(ReaderLibrary &record) {
    platform::unloadLibrary(record.module);
    record.module = nullptr;
}

}  // namespace

int bindReaderLibrary(ReaderLibrary &record) {
    record.module = platform::loadLibrary(platform::readerLibraryName());
    if (record.module == nullptr) return -1;
    const auto init = lookUp<MSXGR_InitFn>(record.module, "MSXGR_Init");
    if (init == nullptr) {
        releaseModule(record);
        return -1;
    }
    record.lastResult = init();
    if (record.lastResult != 0) {
        releaseModule(record);
        return record.lastResult;
    }
    lookUpEntryPoints(record);
    waitForReader(record);
    return 0;
}

void unbindReaderLibrary(ReaderLibrary &record) {
    if (record.module == nullptr) return;
    if (const auto uninit = lookUp<MSXGR_UninitFn>(record.module, "MSXGR_Uninit")) uninit();
    releaseModule(record);
}

bool isSlotEnabled(const ReaderLibrary &record, int slot) {
    return (required(record.isSlotEnable, "MSXGR_IsSlotEnable")(slot) & 0xFF) != 0;
}

int firstEnabledSlot(const ReaderLibrary &record) {
    for (int slot = 0; slot < kReaderSlotCount; ++slot) {
        if (isSlotEnabled(record, slot)) return slot;
    }
    return -1;
}

bool hasCartridge(ReaderLibrary &record, int slot) {
    unsigned int status[3] = {0, 0, 0};
    record.lastResult = required(record.getSlotStatus, "MSXGR_GetSlotStatus")(slot, status);
    return record.lastResult == 0 && status[1] != 0;
}

int readMemory(ReaderLibrary &record, int slot, unsigned char *buffer, int address, int length) {
    record.lastResult = required(record.readMemory, "MSXGR_ReadMemory")(slot, buffer, address, length);
    return record.lastResult;
}

int writeMemory(ReaderLibrary &record, int slot, unsigned char *buffer, int address, int length) {
    record.lastResult = required(record.writeMemory, "MSXGR_WriteMemory")(slot, buffer, address, length);
    return record.lastResult;
}

const char *lastResultText(const ReaderLibrary &record) {
    const char *text = required(record.err2Str, "MSXGR_Err2Str")(record.lastResult);
    return text != nullptr ? text : "unknown error";
}
