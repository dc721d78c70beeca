/*
 * Entry points of the cartridge reader's driver library, exactly as romtap
 * calls them. Any library exporting these names can be dropped in; the
 * simulated reader in simreader/ implements them from this same header.
 */
#ifndef ROMTAP_MSXGR_API_H
#define ROMTAP_MSXGR_API_H

/* The one place to change if a reader library uses another convention. */
#if defined(_WIN32)
#define MSXGR_CALL __cdecl
#else
#define MSXGR_CALL
#endif

#if defined(MSXGR_BUILDING_LIBRARY) && defined(_WIN32)
#define MSXGR_EXPORT __declspec(dllexport)
#elif defined(MSXGR_BUILDING_LIBRARY)
#define MSXGR_EXPORT __attribute__((visibility("default")))
#else
#define MSXGR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

MSXGR_EXPORT int MSXGR_CALL MSXGR_Init(void);
MSXGR_EXPORT void MSXGR_CALL MSXGR_Uninit(void);
MSXGR_EXPORT int MSXGR_CALL MSXGR_GetVersion(void);
MSXGR_EXPORT void MSXGR_CALL MSXGR_SetDebugMode(int mode);
MSXGR_EXPORT int MSXGR_CALL MSXGR_IsSlotEnable(int slot);
MSXGR_EXPORT int MSXGR_CALL MSXGR_GetSlotStatus(int slot, unsigned int status[3]);
MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadMemory(int slot, unsigned char* buffer, int address, int length);
MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteMemory(int slot, unsigned char* buffer, int address, int length);
MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadIO(int slot, unsigned char* buffer, int port, int length);
MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteIO(int slot, unsigned char* buffer, int port, int length);
MSXGR_EXPORT const char* MSXGR_CALL MSXGR_Err2Str(int code);

/* Pointer types for binding the entry points at run time. */
typedef int(MSXGR_CALL* MSXGR_InitFn)(void);
typedef void(MSXGR_CALL* MSXGR_UninitFn)(void);
typedef int(MSXGR_CALL* MSXGR_GetVersionFn)(void);
typedef void(MSXGR_CALL* MSXGR_SetDebugModeFn)(int mode);
typedef int(MSXGR_CALL* MSXGR_IsSlotEnableFn)(int slot);
typedef int(MSXGR_CALL* MSXGR_GetSlotStatusFn)(int slot, unsigned int status[3]);
typedef int(MSXGR_CALL* MSXGR_TransferFn)(int slot, unsigned char* buffer, int addressOrPort, int length);
typedef const char*(MSXGR_CALL* MSXGR_Err2StrFn)(int code);

#ifdef __cplusplus
}
#endif

#endif
