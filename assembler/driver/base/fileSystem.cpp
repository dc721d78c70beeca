#include "fileSystem.h"

#include "fileSystemPlatform.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <forward_list>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

LastOpen lastOpen;

std::atomic<const char*> privateFiles[PRIVATE_FILE_SLOTS];

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
    lastOpen.refusedKind = true;
    errno = EINVAL;
    return nullptr;
}

// The name the file opens under: as written, or as the fallback for names
// written on Windows finds it.
std::string existingSpelling(const char* name)
{
    std::string found;
    return findExistingFile(name, found) ? found : std::string(name);
}

}  // namespace platform

using platform::lastOpen;

namespace {

std::forward_list<std::string>& privateFileNameCopies()
{
    static auto* copies = new std::forward_list<std::string>;
    return *copies;
}

void notePrivateFile(const std::string& name)
{
    const char* copy = privateFileNameCopies().emplace_front(name).c_str();
    for (std::atomic<const char*>& slot : platform::privateFiles) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, copy))
            return;
    }
}

FILE* openToUpdate(const char* name, OpenedFile&)
{
    return std::fopen(name, "r+b");
}

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

bool openStandardStreams()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor)
        if (platform::isClosed(descriptor) && !platform::openNullDeviceOn(descriptor))
            return false;
    return true;
}

const char* openFailureReason()
{
    if (lastOpen.refusedKind)
        return "Not a regular file";
    return lastOpen.ambiguity.empty() ? std::strerror(errno) : lastOpen.ambiguity.c_str();
}

FILE* openForReading(const char* name, OpenedFile* opened)
{
    lastOpen.refusedKind = false;
    OpenedFile facts;
    return platform::openExisting(name, platform::openToRead, opened ? *opened : facts);
}

std::size_t nextReadSize(std::int64_t reported, std::int64_t read, std::size_t block)
{
    return reported > read ? static_cast<std::size_t>(reported - read) + 1 : block;
}

bool readReachedEnd(std::int64_t reported, std::int64_t read, std::size_t asked, std::size_t got)
{
    return got < asked && read == reported;
}

FILE* openForWriting(const char* name)
{
    lastOpen.refusedKind = false;
    return platform::createFile(name);
}

FILE* openForUpdate(const char* name)
{
    lastOpen.refusedKind = false;
    OpenedFile ignored;
    return refuseDirectory(platform::openExisting(name, openToUpdate, ignored));
}

bool fileExists(const char* name)
{
    FILE* file = openForReading(name);
    if (file) {
        std::fclose(file);
        return true;
    }
    if (!lastOpen.ambiguity.empty())
        return true;  // several files match: each exists
    // Neither a regular file nor a folder: asked without opening it, which
    // could wait forever.
    return lastOpen.refusedKind && isReadable(name);
}

bool findExistingFile(const std::string& name, std::string& found)
{
    if (platform::existsAsWritten(name)) {
        found = name;
        return true;
    }
    return platform::findByWindowsSpelling(name, found);
}

bool lastLookupAmbiguous()
{
    return !lastOpen.ambiguity.empty();
}

FILE* createPrivateFileBeside(const char* name, std::string& privateName)
{
    // The process number keeps runs apart; the count, names left over from
    // an earlier run of the same number.
    for (int attempt = 0; attempt < 100; ++attempt) {
        privateName
            = std::string(name) + "." + std::to_string(platform::processId()) + "-" + std::to_string(attempt) + ".part";
        // Noted before it exists, so that no interruption finds it unnoted;
        // a leftover of that name is no other run's.
        notePrivateFile(privateName);
        int descriptor = platform::createExclusively(privateName.c_str(), name);
        if (descriptor >= 0) {
            FILE* file = platform::streamOnDescriptor(descriptor);
            if (!file)
                removePrivateFile(privateName.c_str());
            return file;
        }
        int failure = errno;
        platform::forgetPrivateFile(privateName.c_str());
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
    platform::forgetPrivateFile(privateName);
}

void removeLeftPrivateFiles()
{
    for (std::atomic<const char*>& slot : platform::privateFiles)
        if (const char* name = slot.exchange(nullptr))
            std::remove(name);
}

namespace {

// The full name a file's spelling resolves to, as the platform compares names.
std::string resolvedNameOf(const std::string& spelling)
{
    std::error_code error;
    return platform::comparableName(fs::weakly_canonical(fs::absolute(spelling, error), error).string());
}

// A name that stands for an entry of a folder, not for the folder itself.
bool isEntryName(const fs::path& name)
{
    return !name.empty() && name != "." && name != "..";
}

FileIdentity folderOf(const fs::path& path)
{
    return identifyFile(path.has_parent_path() ? path.parent_path().string().c_str() : ".");
}

// Two names of files that do not exist are the same where their folders are
// the same folder and the names in it are the same: one look at each
// folder, not a walk of every folder on the way. Where a folder is missing
// too, their full names decide.
bool isSameAbsentFile(const FileIdentity& left, const FileIdentity& right)
{
    fs::path leftPath(left.spelling), rightPath(right.spelling);
    fs::path leftName = leftPath.filename(), rightName = rightPath.filename();
    if (isEntryName(leftName) && isEntryName(rightName)) {
        FileIdentity leftFolder = folderOf(leftPath), rightFolder = folderOf(rightPath);
        if (leftFolder.numbered && rightFolder.numbered)
            return isSameFile(leftFolder, rightFolder)
                   && platform::comparableName(leftName.string()) == platform::comparableName(rightName.string());
    }
    const std::string leftFullName = resolvedNameOf(left.spelling);
    return !leftFullName.empty() && leftFullName == resolvedNameOf(right.spelling);
}

}  // namespace

// A file that exists is not one that does not, whatever their names: had one
// come or gone in between, it was not there when the other was looked at.
bool isSameFile(const FileIdentity& left, const FileIdentity& right)
{
    if (left.numbered || right.numbered)
        return left.numbered && right.numbered && left.device == right.device && left.number == right.number;
    return isSameAbsentFile(left, right);
}
