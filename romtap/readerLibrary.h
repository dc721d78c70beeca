// Binding of the reader's driver library for one run of romtap.
#pragma once

#include "msxgrApi.h"
#include "platformLoader.h"

#include <bitset>
#include <string>

constexpr int READER_SLOT_COUNT = 16;
constexpr int ANY_SLOT = -1;

struct ReaderLibrary {
    platform::LibraryHandle module = nullptr;
    std::string filePath;  // where the loader found the library
    int lastResult = 0;    // result of the last Init, GetSlotStatus, ReadMemory or WriteMemory; 0 = success
    std::bitset<READER_SLOT_COUNT> readySlots;  // slots that answered in the last poll of the wait
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

// The library bound for one run, from construction to the end of the scope:
// every way out of the run, failures included, unbinds it, so that the
// reader's library always gets its Uninit. Construction loads and
// initialises the library and waits (bounded) until any slot reports a
// reader; it fails the run with "failed to init gamereader" when the library
// cannot be loaded or initialised.
class BoundReaderLibrary {
public:
    BoundReaderLibrary();
    ~BoundReaderLibrary();
    BoundReaderLibrary(const BoundReaderLibrary&) = delete;
    BoundReaderLibrary& operator=(const BoundReaderLibrary&) = delete;

    ReaderLibrary& record() { return record_; }

private:
    // Uninit and unload, then an interruption noted meanwhile ends the run.
    void release();

    ReaderLibrary record_;
};

// Whether any slot reported a reader when the wait ended.
bool anySlotAnswered(const ReaderLibrary& record);

bool isSlotEnabled(const ReaderLibrary& record, int slot);
int firstEnabledSlot(const ReaderLibrary& record);  // -1 when no slot is enabled
bool hasCartridge(ReaderLibrary& record, int slot);

// Fails the run unless the library has the transfers a dump will make, so
// that a run fails before it creates its image. The calls below fail it
// likewise when the library lacks the entry point they need.
void requireTransfers(const ReaderLibrary& record, bool reads, bool mapperWrites);

// Transfers through the library; each stores its result in lastResult.
int readMemory(ReaderLibrary& record, int slot, unsigned char* buffer, int address, int length);
int writeMemory(ReaderLibrary& record, int slot, unsigned char* buffer, int address, int length);

// Describes lastResult in the library's own words, or by its code when the
// library has no Err2Str.
std::string lastResultText(const ReaderLibrary& record);

// Whether path names the very file the library was loaded from.
bool isLibraryFile(const ReaderLibrary& record, const char* path);
