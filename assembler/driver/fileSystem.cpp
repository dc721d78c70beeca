#include "fileSystem.h"

#include "text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

struct FileSystemState {
    const char* refusal = nullptr;  // why the last open was refused, if it was
};

FileSystemState files;

// What is not a regular file or a folder (a FIFO, a device) may never end
// or may keep a reader waiting: it is no source.
FILE* refuseKind()
{
    files.refusal = "Not a regular file";
    errno = EINVAL;
    return nullptr;
}

FILE* openToUpdate(const char* name)
{
    return std::fopen(name, "r+b");
}

#ifndef _WIN32

// Sources written on Windows name files with "\" and without regard to the
// letter case on disk. Where such a name does not open as written, find the
// file the way Windows would: "\" separates directories and every component
// matches without regard to case (the first match in directory order).

std::vector<std::string> splitComponents(const std::string& name)
{
    std::vector<std::string> components(1);
    for (char c : name) {
        if (c == '/' || c == '\\')
            components.emplace_back();
        else
            components.back() += c;
    }
    return components;
}

// The entry of `directory` whose name matches `component`, as written if it
// exists so, else the first one that matches without regard to case.
bool findEntry(const fs::path& directory, const std::string& component, fs::path& found)
{
    std::error_code error;
    fs::path exact = directory / component;
    if (fs::exists(exact, error)) {
        found = exact;
        return true;
    }
    for (fs::directory_iterator entry(directory.empty() ? fs::path(".") : directory, error), end;
         !error && entry != end; entry.increment(error)) {
        std::string candidate = entry->path().filename().string();
        if (equalIgnoringCase(candidate, component)) {
            found = directory / candidate;
            return true;
        }
    }
    return false;
}

// Resolves every component but the last `unresolvedTail` ones.
bool resolvePath(const std::string& name, std::size_t unresolvedTail, fs::path& resolved)
{
    std::vector<std::string> components = splitComponents(name);
    fs::path current = components.front().empty() && components.size() > 1 ? fs::path("/") : fs::path();
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& component = components[i];
        if (component.empty() || component == ".")
            continue;
        if (i + unresolvedTail >= components.size() || component == "..") {
            current /= component;
            continue;
        }
        if (!findEntry(current, component, current))
            return false;
    }
    resolved = current;
    return true;
}

FILE* openExisting(const char* name, FILE* (*openAsWritten)(const char*))
{
    FILE* file = openAsWritten(name);
    if (file || errno != ENOENT)
        return file;
    int originalError = errno;
    fs::path resolved;
    if (resolvePath(name, 0, resolved) && (file = openAsWritten(resolved.string().c_str())))
        return file;
    errno = originalError;
    return nullptr;
}

bool isRegularOrDirectory(mode_t mode)
{
    return S_ISREG(mode) || S_ISDIR(mode);
}

// Never waits: a FIFO or device is refused, by its kind before it is opened,
// and again once opened (without waiting), in case it was replaced between.
FILE* openToRead(const char* name)
{
    struct stat status;
    if (stat(name, &status) == 0 && !isRegularOrDirectory(status.st_mode))
        return refuseKind();
    int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    if (fstat(descriptor, &status) != 0 || !isRegularOrDirectory(status.st_mode)) {
        close(descriptor);
        return refuseKind();
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    FILE* file = fdopen(descriptor, "rb");
    if (!file)
        close(descriptor);
    return file;
}

bool hasBackslash(const char* name)
{
    return std::string(name).find('\\') != std::string::npos;
}

FILE* createFile(const char* name)
{
    std::error_code error;
    bool existsAsWritten = fs::exists(name, error);
    if (existsAsWritten || !hasBackslash(name)) {
        FILE* file = std::fopen(name, "wb");
        if (file || errno != ENOENT)
            return file;
    }
    int originalError = hasBackslash(name) ? ENOENT : errno;
    fs::path resolved;
    // An existing file is replaced under its own spelling; a new one is made
    // as written in the directory that resolves.
    if (resolvePath(name, 0, resolved) || resolvePath(name, 1, resolved)) {
        if (FILE* file = std::fopen(resolved.string().c_str(), "wb"))
            return file;
    }
    errno = originalError;
    return nullptr;
}

#else

FILE* openExisting(const char* name, FILE* (*openAsWritten)(const char*))
{
    return openAsWritten(name);
}

FILE* openToRead(const char* name)
{
    std::error_code error;
    fs::file_type kind = fs::status(name, error).type();
    if (!error && kind != fs::file_type::regular && kind != fs::file_type::directory)
        return refuseKind();
    return std::fopen(name, "rb");
}

FILE* createFile(const char* name)
{
    return std::fopen(name, "wb");
}

#endif

// A directory opens like a file on some systems and then fails to read:
// refuse it up front with the system's own reason.
FILE* refuseDirectory(FILE* file)
{
    if (!file)
        return nullptr;
    int first = std::fgetc(file);
    if (first == EOF && std::ferror(file)) {
        int readError = errno;
        std::fclose(file);
        errno = readError;
        return nullptr;
    }
    if (first != EOF)
        std::ungetc(first, file);
    else
        std::rewind(file);
    return file;
}

}  // namespace

FILE* openForReading(const char* name)
{
    files.refusal = nullptr;
    return refuseDirectory(openExisting(name, openToRead));
}

FILE* openForWriting(const char* name)
{
    files.refusal = nullptr;
    return createFile(name);
}

FILE* openForUpdate(const char* name)
{
    files.refusal = nullptr;
    return refuseDirectory(openExisting(name, openToUpdate));
}

bool fileExists(const char* name)
{
    FILE* file = openForReading(name);
    if (file) {
        std::fclose(file);
        return true;
    }
    // Neither a regular file nor a folder: asked without opening it, which
    // could wait forever.
    return files.refusal && isReadable(name);
}

const char* openFailureReason()
{
    return files.refusal ? files.refusal : std::strerror(errno);
}

#ifndef _WIN32

bool isReplaceableInOneStep(const char* name)
{
    struct stat status;
    if (lstat(name, &status) != 0)
        return errno == ENOENT && !hasBackslash(name);
    return S_ISREG(status.st_mode) && access(name, W_OK) == 0;
}

namespace {

// The name the file opens under: as written, or as the fallback for names
// written on Windows finds it.
std::string existingSpelling(const char* name)
{
    std::error_code error;
    fs::path resolved;
    if (!fs::exists(name, error) && resolvePath(name, 0, resolved))
        return resolved.string();
    return name;
}

}  // namespace

bool isReadable(const char* name)
{
    std::string spelling = existingSpelling(name);
    return access(spelling.c_str(), R_OK) == 0;
}

FileIdentity identifyFile(const char* name)
{
    FileIdentity identity;
    std::string spelling = existingSpelling(name);
    struct stat status;
    if (stat(spelling.c_str(), &status) == 0) {
        identity.numbered = true;
        identity.device = static_cast<std::uint64_t>(status.st_dev);
        identity.number = static_cast<std::uint64_t>(status.st_ino);
        return identity;
    }
    std::error_code error;
    identity.resolvedName = fs::weakly_canonical(fs::absolute(spelling, error), error).string();
    return identity;
}

namespace {

int createExclusively(const char* name, const char* replaced)
{
    int descriptor = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    struct stat status;
    if (descriptor >= 0 && stat(replaced, &status) == 0)
        fchmod(descriptor, status.st_mode & 07777);
    return descriptor;
}

int processId()
{
    return static_cast<int>(getpid());
}

FILE* streamOnDescriptor(int descriptor)
{
    FILE* file = fdopen(descriptor, "wb");
    if (!file)
        close(descriptor);
    return file;
}

}  // namespace

bool replaceFileWith(const char* name, const char* privateName)
{
    return std::rename(privateName, name) == 0;
}

#else

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
    return _access(name, 4) == 0;
}

// Without file numbers at hand, the full name in one letter case.
FileIdentity identifyFile(const char* name)
{
    FileIdentity identity;
    std::error_code error;
    identity.resolvedName = fs::weakly_canonical(fs::absolute(name, error), error).string();
    for (char& c : identity.resolvedName)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
    return identity;
}

namespace {

int createExclusively(const char* name, const char*)
{
    return _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
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

}  // namespace

bool replaceFileWith(const char* name, const char* privateName)
{
    if (MoveFileExA(privateName, name, MOVEFILE_REPLACE_EXISTING))
        return true;
    errno = EACCES;
    return false;
}

#endif

FILE* createPrivateFileBeside(const char* name, std::string& privateName)
{
    // The process number keeps runs apart; the count, names left over from
    // an earlier run of the same number.
    for (int attempt = 0; attempt < 100; ++attempt) {
        privateName = std::string(name) + "." + std::to_string(processId()) + "-" + std::to_string(attempt) + ".part";
        int descriptor = createExclusively(privateName.c_str(), name);
        if (descriptor >= 0) {
            FILE* file = streamOnDescriptor(descriptor);
            if (!file)
                removeFile(privateName.c_str());
            return file;
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

void removeFile(const char* name)
{
    std::remove(name);
}

bool isSameFile(const FileIdentity& left, const FileIdentity& right)
{
    if (left.numbered || right.numbered)
        return left.numbered == right.numbered && left.device == right.device && left.number == right.number;
    return !left.resolvedName.empty() && left.resolvedName == right.resolvedName;
}
