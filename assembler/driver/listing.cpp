#include "listing.h"

#include "AsmState.h"
#include "output.h"
#include "sourceFiles.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t BYTES_PER_ROW = 4;
constexpr int LINE_NUMBER_WIDTH = 5;
constexpr int ADDRESS_WIDTH = 11;  // "XXXX (YYYY)"
constexpr int BYTES_WIDTH = 11;    // "XX XX XX XX"

// Bytes that went out in one go at one address: all of them, or for a run
// its first ones and its length.
struct Piece {
    uint32_t address = 0;
    uint32_t position = 0;
    std::vector<unsigned char> bytes;
    int64_t count = 0;
    bool run = false;
};

struct ListedLine {
    uint32_t address = 0;
    uint32_t position = 0;
    std::vector<Piece> pieces;
};

using LinePosition = std::pair<int, int>;  // segment, line

struct ListingState {
    bool enabled = false;
    std::map<std::string, std::vector<std::string>> texts;  // by path as opened
    std::map<LinePosition, ListedLine> lines;
    ListedLine* current = nullptr;
    std::vector<std::pair<LinePosition, LinePosition>> unassembled;  // both ends exclusive
    LinePosition skipStart;
};

ListingState listing;

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

std::string readText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // The source reader stops at Ctrl-Z too.
    return text.substr(0, text.find('\x1A'));
}

uint32_t logicalAddress()
{
    return static_cast<uint32_t>(wrappingAdd(asmState.address, asmState.phaseOffset));
}

std::string hex(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string addressField(uint32_t address, uint32_t position)
{
    std::string field = hex(address, 4);
    if (address != position)
        field.append(" (").append(hex(position, 4)).append(")");
    return field;
}

std::string bytesField(const unsigned char* bytes, std::size_t count)
{
    std::string field;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            field += ' ';
        field += hex(bytes[i], 2);
    }
    return field;
}

std::string runLength(int64_t count)
{
    char text[32];
    std::snprintf(text, sizeof text, "(%lld bytes)", static_cast<long long>(count));
    return text;
}

std::string padded(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

class ListingWriter
{
public:
    explicit ListingWriter(std::size_t fileWidth) : fileWidth(fileWidth) {}

    void row(const std::string& file, int line, const std::string& address, const std::string& bytes,
             const std::string& text)
    {
        row(file, line, padded(address, ADDRESS_WIDTH) + "  " + bytes, text);
    }

    void row(const std::string& file, int line, const std::string& middle, const std::string& text)
    {
        std::string number = line > 0 ? std::to_string(line) : std::string();
        std::string row = padded(file, fileWidth) + " " +
                          std::string(std::max<std::size_t>(LINE_NUMBER_WIDTH, number.size()) - number.size(), ' ') +
                          number + "  " + padded(middle, ADDRESS_WIDTH + 2 + BYTES_WIDTH) + "  " + text;
        row.erase(row.find_last_not_of(' ') + 1);
        out << row << '\n';
    }

    // The rows of one source line: its text beside the first bytes, the
    // rest of the bytes below.
    void sourceLine(const std::string& file, int line, const ListedLine* listed, const std::string& text)
    {
        std::vector<std::pair<std::string, std::string>> rows;  // address, bytes
        if (listed)
            for (const Piece& piece : listed->pieces)
                addPieceRows(piece, rows);
        if (rows.empty())
            rows.emplace_back(listed ? addressField(listed->address, listed->position) : std::string(), "");
        for (std::size_t i = 0; i < rows.size(); ++i)
            row(i == 0 ? file : std::string(), i == 0 ? line : 0, rows[i].first, rows[i].second,
                i == 0 ? text : std::string());
    }

    void unassembledLine(const std::string& file, int line, const std::string& text)
    {
        row(file, line, "(not assembled)", text);
    }

    std::string text() const { return out.str(); }

private:
    static void addPieceRows(const Piece& piece, std::vector<std::pair<std::string, std::string>>& rows)
    {
        for (std::size_t offset = 0; offset < piece.bytes.size(); offset += BYTES_PER_ROW) {
            auto step = static_cast<uint32_t>(offset);
            std::size_t count = std::min(BYTES_PER_ROW, piece.bytes.size() - offset);
            rows.emplace_back(addressField(piece.address + step, piece.position + step),
                              bytesField(piece.bytes.data() + offset, count));
        }
        if (piece.run)
            rows.emplace_back("", runLength(piece.count));
    }

    std::size_t fileWidth;
    std::ostringstream out;
};

bool isUnassembled(const LinePosition& line)
{
    for (const auto& [from, to] : listing.unassembled)
        if (from < line && line < to)
            return true;
    return false;
}

// The last line of segment `index`: the INCLUDE that ends it, or the end
// of its file.
int lastLineOf(std::size_t index, const std::vector<std::string>& text)
{
    const std::vector<SourceSegment>& segments = sourceSegments();
    if (index + 1 < segments.size() && !segments[index + 1].resumesIncluder)
        return segments[index + 1].includedAt;
    return static_cast<int>(text.size());
}

void listSegment(ListingWriter& writer, std::size_t index)
{
    const SourceSegment& segment = sourceSegments()[index];
    const std::vector<std::string>& text = listing.texts[segment.openedPath];
    int segmentIndex = static_cast<int>(index);
    int first = segment.firstLine;
    // Back from an include: its INCLUDE line was listed before the included
    // file; what followed the include on that line shows as bytes only.
    if (segment.resumesIncluder) {
        auto rest = listing.lines.find({segmentIndex, first});
        if (rest != listing.lines.end() && !rest->second.pieces.empty())
            writer.sourceLine(std::string(), 0, &rest->second, std::string());
        ++first;
    }
    int last = lastLineOf(index, text);
    for (int line = first; line <= last; ++line) {
        const std::string& lineText = line <= static_cast<int>(text.size()) ? text[line - 1] : std::string();
        if (isUnassembled({segmentIndex, line})) {
            writer.unassembledLine(segment.openedPath, line, lineText);
            continue;
        }
        auto listed = listing.lines.find({segmentIndex, line});
        writer.sourceLine(segment.openedPath, line, listed == listing.lines.end() ? nullptr : &listed->second,
                          lineText);
    }
}

}  // namespace

bool listingCaptures = false;

void enableListing()
{
    listing.enabled = true;
}

void keepListingText(const std::string& openedPath)
{
    if (listing.enabled && listing.texts.count(openedPath) == 0)
        listing.texts[openedPath] = splitLines(readText(openedPath));
}

void restartListing()
{
    listing.lines.clear();
    listing.unassembled.clear();
    listing.current = nullptr;
    listingCaptures = listing.enabled && asmState.finalPass;
}

void listStatementStart()
{
    int segment = statementSegment();
    if (segment < 0) {
        listing.current = nullptr;
        return;
    }
    auto [entry, added] = listing.lines.try_emplace({segment, statementLine()});
    if (added) {
        entry->second.address = logicalAddress();
        entry->second.position = static_cast<uint32_t>(asmState.outputPosition);
    }
    listing.current = &entry->second;
}

void listEmitted(const unsigned char* bytes, std::size_t count)
{
    if (!listing.current || count == 0)
        return;
    std::vector<Piece>& pieces = listing.current->pieces;
    uint32_t address = logicalAddress();
    auto position = static_cast<uint32_t>(asmState.outputPosition);
    if (pieces.empty() || pieces.back().run ||
        pieces.back().address + static_cast<uint32_t>(pieces.back().count) != address ||
        pieces.back().position + static_cast<uint32_t>(pieces.back().count) != position)
        pieces.push_back({address, position, {}, 0, false});
    Piece& piece = pieces.back();
    piece.bytes.insert(piece.bytes.end(), bytes, bytes + count);
    piece.count += static_cast<int64_t>(count);
}

void listRun(const unsigned char* first, std::size_t firstCount, int64_t count, int64_t position)
{
    if (!listing.current || count == 0)
        return;
    std::size_t shown = std::min(firstCount, BYTES_PER_ROW);
    listing.current->pieces.push_back(
        {logicalAddress(), static_cast<uint32_t>(position), {first, first + shown}, count, true});
}

void beginUnassembled()
{
    listing.skipStart = {statementSegment(), statementLine()};
}

void endUnassembled()
{
    listing.unassembled.emplace_back(listing.skipStart, LinePosition{readingSegmentIndex(), readingLine()});
}

bool writeListing(const std::string& name)
{
    std::size_t fileWidth = 0;
    for (const SourceSegment& segment : sourceSegments())
        fileWidth = std::max(fileWidth, segment.openedPath.size());
    ListingWriter writer(fileWidth);
    for (std::size_t index = 0; index < sourceSegments().size(); ++index)
        listSegment(writer, index);
    return writeWholeOutput(name, writer.text());
}
