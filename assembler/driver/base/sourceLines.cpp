#include "sourceLines.h"

#include "fileSystem.h"

#include <map>
#include <optional>

namespace {

// By path as opened: each noted source, its lines once read.
std::map<std::string, std::optional<std::vector<std::string>>> sources;

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r')
            --length;
        lines.push_back(text.substr(start, length));
        start = end + 1;
    }
    return lines;
}

// Opened as the source reader opens: a name that did not open as a source
// (a device such as /dev/zero, a pipe) gives no lines rather than a wait or
// an endless read.
std::string readText(const std::string& path)
{
    std::string text;
    FILE* file = openForReading(path.c_str());
    if (!file)
        return text;
    char block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    std::fclose(file);
    // The source reader stops at Ctrl-Z too.
    return text.substr(0, text.find('\x1A'));
}

}  // namespace

void noteSourceFile(const std::string& openedPath)
{
    sources.try_emplace(openedPath);
}

void keepSourceLines(const std::string& openedPath)
{
    sourceLinesOf(openedPath);
}

const std::vector<std::string>& sourceLinesOf(const std::string& openedPath)
{
    static const std::vector<std::string> NO_LINES;
    auto found = sources.find(openedPath);
    if (found == sources.end())
        return NO_LINES;
    if (!found->second)
        found->second = splitLines(readText(openedPath));
    return *found->second;
}
