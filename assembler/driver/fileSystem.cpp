#include "fileSystem.h"

#include "text.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

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

FILE* openExisting(const char* name, const char* mode)
{
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

bool findByWindowsSpelling(const std::string& name, std::string& found)
{
    fs::path resolved;
    if (!resolvePath(name, 0, resolved))
        return false;
    found = resolved.string();
    return true;
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

FILE* openExisting(const char* name, const char* mode)
{
    return std::fopen(name, mode);
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

}  // namespace

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
        return false;
    std::fclose(file);
    return true;
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

bool sameFile(const std::string& left, const std::string& right)
{
    std::error_code error;
    return fs::equivalent(left, right, error) && !error;
}

bool replaceWholeFile(const std::string& name, const std::string& content)
{
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::string privateName = name + ".part" + std::to_string(stamp);
    FILE* file = std::fopen(privateName.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    int writeError = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        writeError = errno;
    }
    std::error_code error;
    if (written)
        fs::rename(privateName, name, error);
    if (!written || error) {
        int renameError = error.default_error_condition().value();
        fs::remove(privateName, error);
        errno = written ? renameError : writeError;
        return false;
    }
    return true;
}
