#include "fileSystem.h"

#include "text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <forward_list>
#include <map>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A directory's entry names, grouped by their folded case.
using Listing = std::unordered_map<std::string, std::vector<std::string>>;

struct FileSystemState {
    // Why the last open failed when several names matched it; empty otherwise.
    std::string ambiguity;
    // Whether the last open refused a file for being neither a regular file
    // nor a folder.
    bool refusedKind = false;
    // Each directory is listed once per run: a source may miss many names in a
    // large one. Keyed by the directory's path without "." parts ("." for the
    // current one); ".." stays, since it need not undo a symbolic link.
    std::map<std::string, Listing> listings;
};

FileSystemState lookups;

// The private files on disk, for the interruption handler, which may read
// them at any moment: each name is copied once, into a slot published and
// withdrawn as a whole. The copies are never freed (a run makes a few), since
// on Windows the handler runs beside the main thread; they stay reachable
// from here to the end of the run. A run has at most two at once: the
// flattened source and one file written whole.
constexpr std::size_t PRIVATE_FILE_SLOTS = 4;
static_assert(std::atomic<const char*>::is_always_lock_free);

std::atomic<const char*> privateFiles[PRIVATE_FILE_SLOTS];

std::forward_list<std::string>& privateFileNameCopies()
{
    static auto* copies = new std::forward_list<std::string>;
    return *copies;
}

void notePrivateFile(const std::string& name)
{
    const char* copy = privateFileNameCopies().emplace_front(name).c_str();
    for (std::atomic<const char*>& slot : privateFiles) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, copy))
            return;
    }
}

void forgetPrivateFile(const char* name)
{
    for (std::atomic<const char*>& slot : privateFiles) {
        const char* held = slot.load();
        if (held && std::strcmp(held, name) == 0) {
            slot.store(nullptr);
            return;
        }
    }
}

// What is not a regular file or a folder (a FIFO, a device) may never end
// or may keep a reader waiting: it is no source.
FILE* refuseKind()
{
    lookups.refusedKind = true;
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
// matches without regard to case. A component that exists as written is
// taken; otherwise the one entry that matches it without regard to case.
// Where several entries differ only in case the open fails, naming them all.

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

std::string foldedCase(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
    return folded;
}

std::string listingKey(const fs::path& directory)
{
    fs::path key;
    for (const fs::path& part : directory)
        if (!part.empty() && part != ".")
            key /= part;
    return key.empty() ? "." : key.string();
}

const Listing& listingOf(const fs::path& directory)
{
    auto [listing, added] = lookups.listings.try_emplace(listingKey(directory));
    if (added) {
        std::error_code error;
        for (fs::directory_iterator entry(directory.empty() ? fs::path(".") : directory, error), end;
             !error && entry != end; entry.increment(error)) {
            std::string name = entry->path().filename().string();
            listing->second[foldedCase(name)].push_back(name);
        }
    }
    return listing->second;
}

// A file made during the run joins its directory's listing, if already taken.
void noteCreated(const fs::path& file)
{
    auto listing = lookups.listings.find(listingKey(file.parent_path()));
    if (listing == lookups.listings.end())
        return;
    std::string name = file.filename().string();
    std::vector<std::string>& names = listing->second[foldedCase(name)];
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

std::string describeAmbiguity(const fs::path& directory, std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    std::string text = "Several files match it:";
    for (const std::string& name : names)
        text += (text.back() == ':' ? " " : ", ") + (directory / name).string();
    return text;
}

// The entry of `directory` whose name matches `component`, as written if it
// exists so, else the only one that matches without regard to case.
bool findEntry(const fs::path& directory, const std::string& component, fs::path& found)
{
    std::error_code error;
    fs::path exact = directory / component;
    if (fs::exists(exact, error)) {
        found = exact;
        return true;
    }
    const Listing& listing = listingOf(directory);
    auto match = listing.find(foldedCase(component));
    if (match == listing.end())
        return false;
    if (match->second.size() > 1) {
        lookups.ambiguity = describeAmbiguity(directory, match->second);
        return false;
    }
    found = directory / match->second.front();
    return true;
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
    lookups.ambiguity.clear();
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

FILE* createdAs(const fs::path& name)
{
    FILE* file = std::fopen(name.string().c_str(), "wb");
    if (file)
        noteCreated(name);
    return file;
}

bool findByWindowsSpelling(const std::string& name, std::string& found)
{
    lookups.ambiguity.clear();
    fs::path resolved;
    if (!resolvePath(name, 0, resolved))
        return false;
    found = resolved.string();
    return true;
}

FILE* createFile(const char* name)
{
    lookups.ambiguity.clear();
    std::error_code error;
    bool existsAsWritten = fs::exists(name, error);
    if (existsAsWritten || !hasBackslash(name)) {
        FILE* file = createdAs(name);
        if (file || errno != ENOENT)
            return file;
    }
    int originalError = hasBackslash(name) ? ENOENT : errno;
    fs::path resolved;
    // An existing file is replaced under its own spelling; a new one is made
    // as written in the directory that resolves, unless several files match.
    if (resolvePath(name, 0, resolved) || (lookups.ambiguity.empty() && resolvePath(name, 1, resolved))) {
        if (FILE* file = createdAs(resolved))
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

bool findByWindowsSpelling(const std::string&, std::string&)
{
    return false;
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

#ifdef _WIN32

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

#else

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

#endif

}  // namespace

bool openStandardStreams()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor)
        if (isClosed(descriptor) && !openNullDeviceOn(descriptor))
            return false;
    return true;
}

const char* openFailureReason()
{
    if (lookups.refusedKind)
        return "Not a regular file";
    return lookups.ambiguity.empty() ? std::strerror(errno) : lookups.ambiguity.c_str();
}

FILE* openForReading(const char* name)
{
    lookups.refusedKind = false;
    return refuseDirectory(openExisting(name, openToRead));
}

FILE* openForWriting(const char* name)
{
    lookups.refusedKind = false;
    return createFile(name);
}

FILE* openForUpdate(const char* name)
{
    lookups.refusedKind = false;
    return refuseDirectory(openExisting(name, openToUpdate));
}

bool fileExists(const char* name)
{
    FILE* file = openForReading(name);
    if (file) {
        std::fclose(file);
        return true;
    }
    if (!lookups.ambiguity.empty())
        return true;  // several files match: each exists
    // Neither a regular file nor a folder: asked without opening it, which
    // could wait forever.
    return lookups.refusedKind && isReadable(name);
}

bool findExistingFile(const std::string& name, std::string& found)
{
    std::error_code error;
    if (fs::exists(name, error)) {
        found = name;
        return true;
    }
    return findByWindowsSpelling(name, found);
}

bool lastLookupAmbiguous()
{
    return !lookups.ambiguity.empty();
}

namespace {

// The name the file opens under: as written, or as the fallback for names
// written on Windows finds it.
std::string existingSpelling(const char* name)
{
    std::string found;
    return findExistingFile(name, found) ? found : std::string(name);
}

}  // namespace

#ifndef _WIN32

bool isReplaceableInOneStep(const char* name)
{
    struct stat status;
    if (lstat(name, &status) != 0)
        return errno == ENOENT && !hasBackslash(name);
    return S_ISREG(status.st_mode) && access(name, W_OK) == 0;
}

bool isReadable(const char* name)
{
    return access(existingSpelling(name).c_str(), R_OK) == 0;
}

FileIdentity identifyFile(const char* name)
{
    FileIdentity identity;
    identity.spelling = existingSpelling(name);
    struct stat status;
    if (stat(identity.spelling.c_str(), &status) == 0) {
        identity.numbered = true;
        identity.device = static_cast<std::uint64_t>(status.st_dev);
        identity.number = static_cast<std::uint64_t>(status.st_ino);
    }
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
    if (std::rename(privateName, name) != 0)
        return false;
    forgetPrivateFile(privateName);
    noteCreated(name);
    return true;
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
    return _access(existingSpelling(name).c_str(), 4) == 0;
}

// Without file numbers at hand, the full name in one letter case.
FileIdentity identifyFile(const char* name)
{
    FileIdentity identity;
    identity.spelling = existingSpelling(name);
    return identity;
}

namespace {

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

}  // namespace

bool replaceFileWith(const char* name, const char* privateName)
{
    if (MoveFileExA(privateName, name, MOVEFILE_REPLACE_EXISTING)) {
        forgetPrivateFile(privateName);
        return true;
    }
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
        // Noted before it exists, so that no interruption finds it unnoted;
        // a leftover of that name is no other run's.
        notePrivateFile(privateName);
        int descriptor = createExclusively(privateName.c_str(), name);
        if (descriptor >= 0) {
            FILE* file = streamOnDescriptor(descriptor);
            if (!file)
                removePrivateFile(privateName.c_str());
            return file;
        }
        int failure = errno;
        forgetPrivateFile(privateName.c_str());
        if (failure != EEXIST) {
            errno = failure;
            return nullptr;
        }
    }
    return nullptr;
}

void removePrivateFile(const char* privateName)
{
    std::remove(privateName);
    forgetPrivateFile(privateName);
}

#ifdef _WIN32

namespace {

// Runs on a thread of its own; ends the process as the default handler would,
// without the library's clean-up, which could wait for a lock the main
// thread holds.
BOOL WINAPI removePrivateFilesOnControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    for (const std::atomic<const char*>& slot : privateFiles)
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

#else

namespace {

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removePrivateFilesOnSignal(int signalNumber)
{
    for (const std::atomic<const char*>& slot : privateFiles)
        if (const char* name = slot.load())
            unlink(name);
    // Blocked while the handler runs, the signal takes its default action
    // as the handler returns.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

void removePrivateFilesWhenInterrupted()
{
    struct sigaction action = {};
    action.sa_handler = removePrivateFilesOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : INTERRUPTIONS)
        sigaddset(&action.sa_mask, signalNumber);
    for (int signalNumber : INTERRUPTIONS) {
        struct sigaction previous;
        // A signal ignored by whoever started the run (nohup, a background
        // job) stays ignored.
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signalNumber, &action, nullptr);
    }
}

#endif

// The same number, or the same full name (also for a file not there yet).
namespace {

// The full name a file's spelling resolves to; on Windows in upper case, as
// its file names do not tell letter case apart.
std::string resolvedNameOf(const FileIdentity& identity)
{
    std::error_code error;
    std::string resolved = fs::weakly_canonical(fs::absolute(identity.spelling, error), error).string();
#ifdef _WIN32
    for (char& c : resolved)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
#endif
    return resolved;
}

}  // namespace

// Two files that both exist are told apart by their numbers alone; the
// resolved names, which cost a walk of every folder on the way, are only
// compared where a number is missing (a file not made yet, or Windows).
bool isSameFile(const FileIdentity& left, const FileIdentity& right)
{
    if (left.numbered && right.numbered)
        return left.device == right.device && left.number == right.number;
    const std::string leftName = resolvedNameOf(left);
    return !leftName.empty() && leftName == resolvedNameOf(right);
}
