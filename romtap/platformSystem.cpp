#include "platformSystem.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

namespace {

bool isClosed(int descriptor)
{
    static const DWORD STANDARD_HANDLES[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const HANDLE handle = GetStdHandle(STANDARD_HANDLES[descriptor]);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

bool openNullDeviceOn(int descriptor)
{
    const int nullDevice = _open("NUL", _O_RDWR | _O_BINARY);
    if (nullDevice < 0)
        return false;
    if (nullDevice == descriptor)
        return true;
    // The runtime may keep the number of a closed standard handle reserved.
    const bool moved = _dup2(nullDevice, descriptor) == 0;
    _close(nullDevice);
    return moved;
}

// The system's text for the last error, without its closing line end.
std::string lastErrorText()
{
    const DWORD error = GetLastError();
    char text[256] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

}  // namespace

// Append-only access makes every write land at the end of the file, even
// with other writers.
AppendOnlyFile::AppendOnlyFile(const char* path)
{
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        error_ = lastErrorText();
    else
        handle_ = reinterpret_cast<std::intptr_t>(file);
}

AppendOnlyFile::~AppendOnlyFile()
{
    if (isOpen())
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool AppendOnlyFile::append(const std::string& text)
{
    DWORD written = 0;
    if (WriteFile(reinterpret_cast<HANDLE>(handle_), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)
        && written == text.size())
        return true;
    error_ = written == 0 ? lastErrorText() : "only part of the record was written";
    return false;
}

#else

void sleepMilliseconds(unsigned milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after a signal interrupts the sleep.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

namespace {

bool isClosed(int descriptor)
{
    return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF;
}

// Descriptors 0 to 2 are checked in order, so the lowest free number, which
// open takes, is this one.
bool openNullDeviceOn(int descriptor)
{
    return open("/dev/null", O_RDWR) == descriptor;
}

}  // namespace

// Opened without waiting, so that a FIFO without a reader is an error
// rather than a hang; then blocking again, so that one write takes the record.
AppendOnlyFile::AppendOnlyFile(const char* path)
{
    const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (file < 0) {
        error_ = std::strerror(errno);
        return;
    }
    const int flags = fcntl(file, F_GETFL);
    if (flags == -1 || fcntl(file, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        error_ = std::strerror(errno);
        close(file);
        return;
    }
    handle_ = file;
}

AppendOnlyFile::~AppendOnlyFile()
{
    if (isOpen())
        close(static_cast<int>(handle_));
}

bool AppendOnlyFile::append(const std::string& text)
{
    errno = 0;
    const ssize_t written = write(static_cast<int>(handle_), text.data(), text.size());
    if (written == static_cast<ssize_t>(text.size()))
        return true;
    error_ = written < 0 ? std::strerror(errno) : "only part of the record was written";
    return false;
}

bool isSameFile(const char* first, const char* second)
{
    struct stat firstStatus {
    }, secondStatus{};
    return stat(first, &firstStatus) == 0 && stat(second, &secondStatus) == 0
           && firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}

#endif

bool openStandardStreams()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (isClosed(descriptor) && !openNullDeviceOn(descriptor))
            return false;
    }
    return true;
}

}  // namespace platform
