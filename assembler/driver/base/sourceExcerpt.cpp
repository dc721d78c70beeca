#include "sourceExcerpt.h"

#include "sourceLines.h"
#include "text.h"

#include <optional>
#include <vector>

namespace {

constexpr int TAB_WIDTH = 8;
constexpr std::size_t LINE_NUMBER_WIDTH = 4;

struct ScannedText {
    const char* text = nullptr;
    std::size_t size = 0;
};

ScannedText scanned;

constexpr char LINE_MARKER = '\x01';
constexpr char FILE_MARKER = '\x02';

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The scanned text from the marker before `at` up to `at`: what flattening
// left of the source line before the place.
std::optional<std::string_view> scannedBefore(const char* at)
{
    if (!at || !scanned.text || at < scanned.text || at >= scanned.text + scanned.size)
        return std::nullopt;
    const char* start = at;
    while (start > scanned.text && start[-1] != LINE_MARKER && start[-1] != FILE_MARKER)
        --start;
    return std::string_view(start, static_cast<std::size_t>(at - start));
}

// Flattening only drops text (comments) and squeezes each run of blanks to
// one blank, so the scanned text before the place is found in the source
// line in order; the place is the next character after it.
std::optional<std::size_t> alignedColumn(const std::string& line, std::string_view before, char first)
{
    std::size_t column = 0;
    for (char c : before) {
        if (isBlank(c)) {
            while (column < line.size() && !isBlank(line[column]))
                ++column;
            while (column < line.size() && isBlank(line[column]))
                ++column;
            continue;
        }
        column = line.find(c, column);
        if (column == std::string::npos)
            return std::nullopt;
        ++column;
    }
    column = line.find(first, column);
    if (column == std::string::npos)
        return std::nullopt;
    return column;
}

std::size_t caretColumn(const std::string& line, const char* at, std::string_view named)
{
    if (std::optional<std::string_view> before = scannedBefore(at))
        if (std::optional<std::size_t> column = alignedColumn(line, *before, *at))
            return *column;
    // The name as a word of its own: "start" is not the end of "restart".
    for (std::size_t found = named.empty() ? std::string::npos : line.find(named); found != std::string::npos;
         found = line.find(named, found + 1))
        if (found == 0 || !isNameCharacter(line[found - 1]))
            return found;
    std::size_t firstText = line.find_first_not_of(" \t");
    return firstText == std::string::npos ? 0 : firstText;
}

// The line with its tabs expanded, and the column that `index` moves to.
std::string expandTabs(const std::string& line, std::size_t index, std::size_t& expandedIndex)
{
    std::string expanded;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i == index)
            expandedIndex = expanded.size();
        if (line[i] == '\t')
            expanded.append(TAB_WIDTH - expanded.size() % TAB_WIDTH, ' ');
        else
            expanded += line[i];
    }
    if (index >= line.size())
        expandedIndex = expanded.size();
    return expanded;
}

}  // namespace

void setScannedText(const char* text, std::size_t size)
{
    scanned = {text, size};
}

std::string sourceExcerpt(const std::string& file, int line, const char* at, std::string_view named)
{
    const std::vector<std::string>& lines = sourceLinesOf(file);
    if (line < 1 || static_cast<std::size_t>(line) > lines.size())
        return {};
    const std::string& text = lines[static_cast<std::size_t>(line) - 1];
    std::size_t caret = 0;
    std::string expanded = expandTabs(text, caretColumn(text, at, named), caret);
    std::string number = std::to_string(line);
    if (number.size() < LINE_NUMBER_WIDTH)
        number.insert(0, LINE_NUMBER_WIDTH - number.size(), ' ');
    std::string gutter(4 + number.size() + 1, ' ');
    return "    " + number + " | " + expanded + "\n" + gutter + "| " + std::string(caret, ' ') + "^\n";
}
