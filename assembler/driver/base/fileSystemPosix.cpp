#include "fileSystemPlatform.h"

#include "fileSystem.h"

#include "text.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {

namespace {

// A directory's entry names, grouped by their folded case.
using Listing = std::unordered_map<std::string, std::vector<std::string>>;

// Each directory is listed once per run: a source may miss many names in a
// large one. Keyed by the directory's path without "." parts ("." for the
// current one); ".." stays, since it need not undo a symbolic link.
std::map<std::string, Listing> directoryListings;

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
    auto [listing, added] = directoryListings.try_emplace(listingKey(directory));
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
    auto listing = directoryListings.find(listingKey(file.parent_path()));
    if (listing == directoryListings.end())
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
        lastOpen.ambiguity = describeAmbiguity(directory, match->second);
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

bool isRegularOrDirectory(mode_t mode)
{
    return S_ISREG(mode) || S_ISDIR(mode);
}

bool hasBackslash(const char* name)
{
    return std::string(name).find('\\') != std::string::npos;
}

// The last name found as written and what stat said of it. The open or
// identification that comes next takes it instead of asking again, when it
// is of that name; it serves once, and only the very next one.
struct LookedAtName {
    std::string name;
    struct stat status = {};
    bool held = false;
};

LookedAtName lastLookedAt;

// What stat says of name: from the lookup just made, else asked now.
bool lookedAt(const char* name, struct stat& status)
{
    bool held = lastLookedAt.held && lastLookedAt.name == name;
    lastLookedAt.held = false;
    if (held)
        status = lastLookedAt.status;
    return held || stat(name, &status) == 0;
}

FileIdentity identityOf(const struct stat& status)
{
    FileIdentity identity;
    identity.numbered = true;
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.number = static_cast<std::uint64_t>(status.st_ino);
    return identity;
}

FILE* createdAs(const fs::path& name)
{
    FILE* file = std::fopen(name.string().c_str(), "wb");
    if (file)
        noteCreated(name);
    return file;
}

}  // namespace

FILE* openExisting(const char* name, OpenAsWritten openAsWritten, OpenedFile& opened)
{
    lastOpen.ambiguity.clear();
    FILE* file = openAsWritten(name, opened);
    if (file || errno != ENOENT)
        return file;
    int originalError = errno;
    fs::path resolved;
    if (resolvePath(name, 0, resolved) && (file = openAsWritten(resolved.string().c_str(), opened)))
        return file;
    errno = originalError;
    return nullptr;
}

// Never waits: a FIFO or device is refused, by its kind before it is opened,
// and again once opened (without waiting), in case it was replaced between.
// A folder opens but reads nothing: it is refused with the system's reason.
// What is kept is a regular file, which O_NONBLOCK does not affect: it stays
// set. Its identity and size come from the handle it is read through.
FILE* openToRead(const char* name, OpenedFile& opened)
{
    struct stat status;
    if (lookedAt(name, status) && !isRegularOrDirectory(status.st_mode))
        return refuseKind();
    int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return nullptr;
    if (fstat(descriptor, &status) != 0 || !isRegularOrDirectory(status.st_mode)) {
        close(descriptor);
        return refuseKind();
    }
    if (S_ISDIR(status.st_mode)) {
        close(descriptor);
        errno = EISDIR;
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "rb");
    if (!file) {
        close(descriptor);
        return nullptr;
    }
    opened.identity = identityOf(status);
    opened.size = static_cast<std::int64_t>(status.st_size);
    return file;
}

bool existsAsWritten(const std::string& name)
{
    lastLookedAt.held = stat(name.c_str(), &lastLookedAt.status) == 0;
    if (lastLookedAt.held)
        lastLookedAt.name = name;
    return lastLookedAt.held;
}

bool findByWindowsSpelling(const std::string& name, std::string& found)
{
    lastOpen.ambiguity.clear();
    fs::path resolved;
    if (!resolvePath(name, 0, resolved))
        return false;
    found = resolved.string();
    return true;
}

FILE* createFile(const char* name)
{
    lastOpen.ambiguity.clear();
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
    if (resolvePath(name, 0, resolved) || (lastOpen.ambiguity.empty() && resolvePath(name, 1, resolved))) {
        if (FILE* file = createdAs(resolved))
            return file;
    }
    errno = originalError;
    return nullptr;
}

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

std::string comparableName(std::string fullName)
{
    return fullName;
}

}  // namespace platform

bool isReplaceableInOneStep(const char* name)
{
    struct stat status;
    if (lstat(name, &status) != 0)
        return errno == ENOENT && !platform::hasBackslash(name);
    return S_ISREG(status.st_mode) && access(name, W_OK) == 0;
}

bool isReadable(const char* name)
{
    return access(platform::existingSpelling(name).c_str(), R_OK) == 0;
}

namespace {

// As many links in a row as the system follows before it gives up.
constexpr int MAX_LINKS_FOLLOWED = 40;

// Where a symbolic link whose target does not exist (yet) leads: a file
// written through it is created there. Links to links are followed; a name
// that is no link is its own end.
std::string endOfLinks(const std::string& name)
{
    fs::path path(name);
    std::error_code error;
    for (int link = 0; link < MAX_LINKS_FOLLOWED && fs::is_symlink(fs::symlink_status(path, error)); ++link) {
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path.string();
}

}  // namespace

// A name that exists as written is its own spelling: the one stat that finds
// it also numbers it. One that does not exist is named by where it would be
// created, through any link.
FileIdentity identifyFile(const char* name)
{
    struct stat status;
    std::string spelling = name;
    FileIdentity identity;
    if (platform::lookedAt(name, status)
        || (platform::findByWindowsSpelling(name, spelling) && stat(spelling.c_str(), &status) == 0))
        identity = platform::identityOf(status);
    identity.spelling = identity.numbered ? std::move(spelling) : endOfLinks(spelling);
    return identity;
}

std::int64_t readDirectly(FILE* stream, char* bytes, std::size_t count)
{
    ssize_t got;
    do
        got = read(fileno(stream), bytes, count);
    while (got < 0 && errno == EINTR);
    return got;
}

bool seekDirectly(FILE* stream, std::int64_t offset)
{
    return lseek(fileno(stream), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

std::int64_t reportedSize(FILE* stream)
{
    struct stat status;
    if (fstat(fileno(stream), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return static_cast<std::int64_t>(status.st_size);
}

bool replaceFileWith(const char* name, const char* privateName)
{
    if (std::rename(privateName, name) != 0)
        return false;
    platform::forgetPrivateFile(privateName);
    platform::noteCreated(name);
    return true;
}

namespace {

// SIGPIPE too: a console piped into a reader that has gone (`| head`) ends
// the run at its next message, which may come while a private file is open.
constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

extern "C" void removePrivateFilesOnSignal(int signalNumber)
{
    for (const std::atomic<const char*>& slot : platform::privateFiles)
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

void failWritesPastFileSizeLimit()
{
    signal(SIGXFSZ, SIG_IGN);
}
