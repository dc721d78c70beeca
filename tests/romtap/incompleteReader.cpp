// A reader library with one entry point left out (WITHOUT_INIT,
// WITHOUT_ISSLOTENABLE, WITHOUT_READMEMORY, WITHOUT_WRITEMEMORY or
// WITHOUT_ERR2STR): one reader on
// slot 0 with a cartridge inserted. Without Err2Str its transfers fail
// (reads with code 13, writes with 14), so that a failure has no text.
// Init and Uninit are logged as the simulated reader logs them (MSXGRSIM_LOG).
#include "msxgrApi.h"

#include <cstdio>
#include <cstdlib>

// Unused in the variant that lacks the transfer.
#ifdef WITHOUT_ERR2STR
[[maybe_unused]] constexpr int READ_RESULT = 13;
[[maybe_unused]] constexpr int WRITE_RESULT = 14;
#else
[[maybe_unused]] constexpr int READ_RESULT = 0;
[[maybe_unused]] constexpr int WRITE_RESULT = 0;
#endif

namespace {

void logCall(const char* name)
{
    const char* path = std::getenv("MSXGRSIM_LOG");
    std::FILE* log = path != nullptr ? std::fopen(path, "ab") : nullptr;
    if (log != nullptr) {
        std::fprintf(log, "%s\n", name);
        std::fclose(log);
    }
}

}  // namespace

extern "C" {

#ifndef WITHOUT_INIT
MSXGR_EXPORT int MSXGR_CALL MSXGR_Init(void)
{
    logCall("Init");
    return 0;
}
#endif
MSXGR_EXPORT void MSXGR_CALL MSXGR_Uninit(void)
{
    logCall("Uninit");
}
#ifndef WITHOUT_ISSLOTENABLE
MSXGR_EXPORT int MSXGR_CALL MSXGR_IsSlotEnable(int slot)
{
    return slot == 0 ? 1 : 0;
}
#endif
MSXGR_EXPORT int MSXGR_CALL MSXGR_GetSlotStatus(int, unsigned int status[3])
{
    status[0] = 1;
    status[1] = 1;
    status[2] = 0;
    return 0;
}
#ifndef WITHOUT_READMEMORY
MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadMemory(int, unsigned char*, int, int)
{
    return READ_RESULT;
}
#endif
#ifndef WITHOUT_WRITEMEMORY
MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteMemory(int, unsigned char*, int, int)
{
    return WRITE_RESULT;
}
#endif
#ifndef WITHOUT_ERR2STR
MSXGR_EXPORT const char* MSXGR_CALL MSXGR_Err2Str(int)
{
    return "incomplete reader";
}
#endif

}  // extern "C"
