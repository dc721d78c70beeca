#include "platformDescriptors.h"
#include "platformSystem.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

void failWritesPastFileSizeLimit() {}

namespace {

std::atomic<int> interruptionNoted{0};

// Runs on a thread of its own. The first Ctrl-C or Ctrl-Break is noted; a
// second one, or the console's closing, goes on to the default handler,
// which ends the process.
BOOL WINAPI noteInterruption(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    int none = 0;
    return interruptionNoted.compare_exchange_strong(none, static_cast<int>(event) + 1) ? TRUE : FALSE;
}

}  // namespace

void deferInterruptions()
{
    SetConsoleCtrlHandler(noteInterruption, TRUE);
}

int notedInterruption()
{
    return interruptionNoted.load();
}

// The noted value is the console event plus one.
std::string interruptionName(int interruption)
{
    return interruption == CTRL_BREAK_EVENT + 1 ? "Ctrl-Break" : "Ctrl-C";
}

void resumeInterruptions()
{
    SetConsoleCtrlHandler(noteInterruption, FALSE);
    if (interruptionNoted.load() != 0) {
        std::fflush(stdout);
        ExitProcess(STATUS_CONTROL_C_EXIT);
    }
}

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

bool isSameVolumeAndIndex(const BY_HANDLE_FILE_INFORMATION& first, const BY_HANDLE_FILE_INFORMATION& second)
{
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh
           && first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

bool isSameFile(const char* first, const char* second)
{
    BY_HANDLE_FILE_INFORMATION firstInfo{}, secondInfo{};
    return identifyFile(first, firstInfo) && identifyFile(second, secondInfo)
           && isSameVolumeAndIndex(firstInfo, secondInfo);
}

const char* standardStreamWritingTo(const char* name)
{
    BY_HANDLE_FILE_INFORMATION file{};
    if (!identifyFile(name, file) || (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return nullptr;
    for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        BY_HANDLE_FILE_INFORMATION stream{};
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK
            && GetFileInformationByHandle(handle, &stream) != 0 && isSameVolumeAndIndex(stream, file))
            return which == STD_OUTPUT_HANDLE ? "standard output" : "standard error";
    }
    return nullptr;
}

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

namespace {

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

// Append-only access makes every write land at the end of the file, even
// with other writers.
HANDLE openForAppending(const char* path)
{
    return CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Opened here only to learn that it opens: a file held open for writing
// cannot be loaded as a library, and a log named like the reader library is
// told apart only once that is loaded. Each append opens it again.
AppendOnlyFile::AppendOnlyFile(const char* path) : path_(path)
{
    const HANDLE file = openForAppending(path);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = lastErrorText();
        return;
    }
    CloseHandle(file);
    opened_ = true;
}

AppendOnlyFile::~AppendOnlyFile() = default;

bool AppendOnlyFile::append(const std::string& text)
{
    const HANDLE file = openForAppending(path_.c_str());
    if (file == INVALID_HANDLE_VALUE) {
        error_ = lastErrorText();
        return false;
    }
    DWORD written = 0;
    const bool whole
        = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    if (!whole)
        error_ = written == 0 ? lastErrorText() : "only part of the record was written";
    CloseHandle(file);
    return whole;
}

}  // namespace platform
