#include "fileSystem.h"

#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Why the last open failed when several names matched it; empty otherwise.
std::string ambiguity;

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

// A directory's entry names, grouped by their folded case.
using Listing = std::unordered_map<std::string, std::vector<std::string>>;

// Each directory is listed once per run: a source may miss many names in a
// large one. Keyed by the directory's path without "." parts ("." for the
// current one); ".." stays, since it need not undo a symbolic link.
std::map<std::string, Listing> listings;

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
    auto [listing, added] = listings.try_emplace(listingKey(directory));
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
    auto listing = listings.find(listingKey(file.parent_path()));
    if (listing == listings.end())
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
        ambiguity = describeAmbiguity(directory, match->second);
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

FILE* openExisting(const char* name, const char* mode)
{
    ambiguity.clear();
    FILE* file = std::fopen(name, mode);
    if (file || errno != ENOENT)
        return file;
    int originalError = errno;
    fs::path resolved;
    if (resolvePath(name, 0, resolved) && (file = std::fopen(resolved.string().c_str(), mode)))
        return file;
    errno = originalError;
    return nullptr;
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

FILE* createFile(const char* name)
{
    ambiguity.clear();
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
    if (resolvePath(name, 0, resolved) || (ambiguity.empty() && resolvePath(name, 1, resolved))) {
        if (FILE* file = createdAs(resolved))
            return file;
    }
    errno = originalError;
    return nullptr;
}

#else

FILE* openExisting(const char* name, const char* mode)
{
    return std::fopen(name, mode);
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
    return ambiguity.empty() ? std::strerror(errno) : ambiguity.c_str();
}

FILE* openForReading(const char* name)
{
    return refuseDirectory(openExisting(name, "rb"));
}

FILE* openForWriting(const char* name)
{
    return createFile(name);
}

FILE* openForUpdate(const char* name)
{
    return refuseDirectory(openExisting(name, "r+b"));
}

bool fileExists(const char* name)
{
    FILE* file = openForReading(name);
    if (!file)
        return !ambiguity.empty();  // several files match: each exists
    std::fclose(file);
    return true;
}
