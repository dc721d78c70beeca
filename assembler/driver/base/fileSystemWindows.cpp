#include "fileSystemPlatform.h"

#include "fileSystem.h"

#include "text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

// The volume serial number and file index of the file behind handle, which
// tell files apart as device and inode numbers do elsewhere.
bool identifyHandle(HANDLE handle, FileIdentity& identity, std::int64_t* size = nullptr)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return false;
    identity.numbered = true;
    identity.device = information.dwVolumeSerialNumber;
    identity.number = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    if (size)
        *size = static_cast<std::int64_t>((std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow);
    return true;
}

}  // namespace

FILE* openExisting(const char* name, OpenAsWritten openAsWritten, OpenedFile& opened)
{
    return openAsWritten(name, opened);
}

FILE* openToRead(const char* name, OpenedFile& opened)
{
    std::error_code error;
    fs::file_type kind = fs::status(name, error).type();
    if (!error && kind != fs::file_type::regular && kind != fs::file_type::directory)
        return refuseKind();
    FILE* file = std::fopen(name, "rb");
    if (file)
        identifyHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), opened.identity, &opened.size);
    return file;
}

bool existsAsWritten(const std::string& name)
{
    std::error_code error;
    return fs::exists(name, error);
}

FILE* createFile(const char* name)
{
    return std::fopen(name, "wb");
}

bool findByWindowsSpelling(const std::string&, std::string&)
{
    return false;
}

bool isClosed(int descriptor)
{
    static const DWORD STANDARD_HANDLES[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE handle = GetStdHandle(STANDARD_HANDLES[descriptor]);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

bool openNullDeviceOn(int descriptor)
{
    int nullDevice = _open("NUL", _O_RDWR | _O_BINARY);
    if (nullDevice < 0)
        return false;
    if (nullDevice == descriptor)
        return true;
    // The runtime may keep the number of a closed standard handle reserved.
    bool moved = _dup2(nullDevice, descriptor) == 0;
    _close(nullDevice);
    return moved;
}

// Shared for deletion: the interruption handler, which runs on a thread of
// its own, removes the file while the run may still be writing it.
int createExclusively(const char* name, const char*)
{
    HANDLE handle = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
        return -1;
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0)
        CloseHandle(handle);
    return descriptor;
}

int processId()
{
    return _getpid();
}

FILE* streamOnDescriptor(int descriptor)
{
    FILE* file = _fdopen(descriptor, "wb");
    if (!file)
        _close(descriptor);
    return file;
}

// Windows file names do not tell letter case apart.
std::string comparableName(std::string fullName)
{
    for (char& c : fullName)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
    return fullName;
}

}  // namespace platform

bool isReplaceableInOneStep(const char* name)
{
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    constexpr DWORD NOT_PLAIN
        = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY;
    return (attributes & NOT_PLAIN) == 0;
}

bool isReadable(const char* name)
{
    return _access(platform::existingSpelling(name).c_str(), 4) == 0;
}

// Asked through a handle that may not read or write: a file another program
// holds open is identified too, and so is a folder.
FileIdentity identifyFile(const char* name)
{
    FileIdentity identity;
    identity.spelling = platform::existingSpelling(name);
    HANDLE handle = CreateFileA(identity.spelling.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        platform::identifyHandle(handle, identity);
        CloseHandle(handle);
    }
    return identity;
}

std::int64_t readDirectly(FILE* stream, char* bytes, std::size_t count)
{
    return _read(_fileno(stream), bytes, static_cast<unsigned>(std::min<std::size_t>(count, INT_MAX)));
}

bool seekDirectly(FILE* stream, std::int64_t offset)
{
    return _lseeki64(_fileno(stream), offset, SEEK_SET) == offset;
}

std::int64_t reportedSize(FILE* stream)
{
    struct _stat64 status;
    if (_fstat64(_fileno(stream), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG)
        return -1;
    return static_cast<std::int64_t>(status.st_size);
}

bool replaceFileWith(const char* name, const char* privateName)
{
    if (MoveFileExA(privateName, name, MOVEFILE_REPLACE_EXISTING)) {
        platform::forgetPrivateFile(privateName);
        return true;
    }
    errno = EACCES;
    return false;
}

namespace {

// Runs on a thread of its own; ends the process as the default handler would,
// without the library's clean-up, which could wait for a lock the main
// thread holds.
BOOL WINAPI removePrivateFilesOnControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    for (const std::atomic<const char*>& slot : platform::privateFiles)
        if (const char* name = slot.load())
            DeleteFileA(name);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

void removePrivateFilesWhenInterrupted()
{
    SetConsoleCtrlHandler(removePrivateFilesOnControl, TRUE);
}

void failWritesPastFileSizeLimit() {}
