// A reader library with one entry point left out (WITHOUT_INIT or
// WITHOUT_READMEMORY): one reader on slot 0 with a cartridge inserted.
#include "msxgr_api.h"

extern "C" {

#ifndef WITHOUT_INIT
MSXGR_EXPORT int MSXGR_CALL MSXGR_Init(void) { return 0; }
#endif
MSXGR_EXPORT void MSXGR_CALL MSXGR_Uninit(void) {}
MSXGR_EXPORT int MSXGR_CALL MSXGR_IsSlotEnable(int slot) { return slot == 0 ? 1 : 0; }
MSXGR_EXPORT int MSXGR_CALL MSXGR_GetSlotStatus(int, unsigned int status[3]) {
    status[0] = 1;
    status[1] = 1;
    status[2] = 0;
    return 0;
}
#ifndef WITHOUT_READMEMORY
MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadMemory(int, unsigned char *, int, int) { return 0; }
#endif
MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteMemory(int, unsigned char *, int, int) { return 0; }
MSXGR_EXPORT const char *MSXGR_CALL MSXGR_Err2Str(int) { return "incomplete reader"; }

}  // extern "C"
