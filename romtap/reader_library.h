// Binding of the reader's driver library for one run of romtap.
#pragma once

#include "msxgr_api.h"
#include "platform_loader.h"

constexpr int kReaderSlotCount = 16;

struct ReaderLibrary {
    platform::LibraryHandle module = nullptr;
    int lastResult = 0;  // result of the last Init, GetSlotStatus, ReadMemory or WriteMemory; 0 = success
    MSXGR_Err2StrFn err2Str = nullptr;
    MSXGR_GetVersionFn getVersion = nullptr;
    MSXGR_SetDebugModeFn setDebugMode = nullptr;
    MSXGR_IsSlotEnableFn isSlotEnable = nullptr;
    MSXGR_GetSlotStatusFn getSlotStatus = nullptr;
    MSXGR_TransferFn readMemory = nullptr;
    MSXGR_TransferFn writeMemory = nullptr;
    MSXGR_TransferFn writeIO = nullptr;
    MSXGR_TransferFn readIO = nullptr;
};

// Thrown by the calls below when the library lacks the entry point needed.
struct MissingEntryPoint {
    const char *name;
};

// Loads and initialises the library and waits (bounded) for a reader to
// show up. Returns 0 when ready, otherwise -1 or the library's Init result.
int bindReaderLibrary(ReaderLibrary &record);
void unbindReaderLibrary(ReaderLibrary &record);

bool isSlotEnabled(const ReaderLibrary &record, int slot);
int firstEnabledSlot(const ReaderLibrary &record);  // -1 when no slot is enabled
bool hasCartridge(ReaderLibrary &record, int slot);

// Transfers through the library; each stores its result in lastResult.
int readMemory(ReaderLibrary &record, int slot, unsigned char *buffer, int address, int length);
int writeMemory(ReaderLibrary &record, int slot, unsigned char *buffer, int address, int length);

// Describes lastResult in the library's own words.
const char *lastResultText(const ReaderLibrary &record);
