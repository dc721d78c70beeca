#include "platformSystem.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#endif

namespace platform {

#if defined(_WIN32)

void sleepMilliseconds(unsigned milliseconds)
{
    Sleep(milliseconds);
}

namespace {

// Opens nothing for reading or writing, so that even a file in use (a loaded
// library) can be identified.
bool identifyFile(const char* name, BY_HANDLE_FILE_INFORMATION& info)
{
    const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool identified = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return identified;
}

}  // namespace

bool isSameFile(const char* first, const char* second)
{
    BY_HANDLE_FILE_INFORMATION firstInfo{}, secondInfo{};
    return identifyFile(first, firstInfo) && identifyFile(second, secondInfo)
           && firstInfo.dwVolumeSerialNumber == secondInfo.dwVolumeSerialNumber
           && firstInfo.nFileIndexHigh == secondInfo.nFileIndexHigh
           && firstInfo.nFileIndexLow == secondInfo.nFileIndexLow;
}

#else

void sleepMilliseconds(unsigned milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after a signal interrupts the sleep.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

bool isSameFile(const char* first, const char* second)
{
    struct stat firstStatus {
    }, secondStatus{};
    return stat(first, &firstStatus) == 0 && stat(second, &secondStatus) == 0
           && firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}

#endif

}  // namespace platform
