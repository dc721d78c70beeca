#include "listing.h"

#include "AsmState.h"
#include "fileSafety.h"
#include "sourceFiles.h"
#include "sourceLines.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t BYTES_PER_ROW = 4;
constexpr int LINE_NUMBER_WIDTH = 5;
constexpr int ADDRESS_WIDTH = 11;  // "XXXX (YYYY)"
constexpr int BYTES_WIDTH = 11;    // "XX XX XX XX"

// Bytes that went out in one go at one address: all of them, or for a run
// its first ones and its length. The bytes shown are in the listing's store.
struct Piece {
    uint32_t address = 0;
    uint32_t position = 0;
    std::size_t firstByte = 0;  // in ListingState::bytes
    std::size_t shown = 0;      // bytes there
    int64_t count = 0;
    bool run = false;
};

using LinePosition = std::pair<int, int>;  // segment, line

struct ListedLine {
    LinePosition at;
    uint32_t address = 0;
    uint32_t position = 0;
    std::size_t firstPiece = 0;  // its pieces, in ListingState::pieces
    uint32_t pieceCount = 0;
    bool equ = false;  // an EQU: equValue stands in the address column
    uint32_t equValue = 0;
    bool expanded = false;          // a line of a macro's or REPT's expansion, at its call
    std::string_view expandedText;  // then its text in the flattened source
};

struct ListingState {
    bool enabled = false;
    // Both in the order the final pass met them, which is the order of the
    // flattened source: the listing walks them alongside the lines.
    std::vector<ListedLine> lines;
    // Every line's pieces and every piece's bytes, each in one store rather
    // than in small arrays of their own (a listing may have millions of
    // lines): pieces go to the last line only, and bytes to its last piece.
    std::vector<Piece> pieces;
    std::vector<unsigned char> bytes;
    std::vector<std::pair<LinePosition, LinePosition>> unassembled;  // both ends exclusive
    bool capturingStatement = false;
    LinePosition skipStart;
};

ListingState listing;

std::span<const Piece> piecesOf(const ListedLine& line)
{
    return {listing.pieces.data() + line.firstPiece, line.pieceCount};
}

// A new last piece of the last line.
Piece& addPiece(uint32_t address, uint32_t position, int64_t count, bool run)
{
    ++listing.lines.back().pieceCount;
    return listing.pieces.emplace_back(Piece{address, position, listing.bytes.size(), 0, count, run});
}

void keepBytes(Piece& piece, const unsigned char* bytes, std::size_t count)
{
    listing.bytes.insert(listing.bytes.end(), bytes, bytes + count);
    piece.shown += count;
}

uint32_t logicalAddress()
{
    return static_cast<uint32_t>(wrappingAdd(asmState.address, asmState.phaseOffset));
}

// Upper-case hex with at least `digits` digits.
void appendHex(std::string& out, uint32_t value, int digits)
{
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    char text[8];
    int length = 0;
    do {
        text[length++] = DIGITS[value & 0xF];
        value >>= 4;
    } while (value != 0 || length < digits);
    while (length > 0)
        out += text[--length];
}

void appendPadded(std::string& out, std::size_t start, std::size_t width)
{
    if (out.size() - start < width)
        out.append(width - (out.size() - start), ' ');
}

// A value as the listing shows it: 4 upper-case hex digits, 8 when it does
// not fit 16 bits.
void appendValue(std::string& out, uint32_t value)
{
    appendHex(out, value, value > 0xFFFF ? 8 : 4);
}

// The address and bytes of one row; `bytes` null for none.
struct RowContent {
    bool hasAddress = false;
    uint32_t address = 0;
    uint32_t position = 0;
    const unsigned char* bytes = nullptr;
    std::size_t count = 0;
    int64_t runLength = -1;  // >= 0: the row that gives a run's length
    bool equ = false;        // "=VALUE" in place of the address
    uint32_t equValue = 0;
};

// Writes the listing's rows to its file as they are made, a block at a
// time: a listing of millions of lines is never held whole.
class ListingWriter {
public:
    ListingWriter(std::size_t fileWidth, WholeOutput& file) : fileWidth(fileWidth), file(file) {}

    // The rows of one source line: its text beside the first bytes, the
    // rest of the bytes below.
    void sourceLine(const std::string& file, int line, const ListedLine* listed, const std::string& text)
    {
        bool first = true;
        auto emitRow = [&](RowContent content) {
            if (first && listed && listed->equ) {
                content.equ = true;
                content.equValue = listed->equValue;
            }
            row(first ? file : EMPTY, first ? line : 0, content, first ? text : EMPTY);
            first = false;
        };
        if (listed)
            for (const Piece& piece : piecesOf(*listed))
                pieceRows(piece, emitRow);
        if (first) {
            RowContent content;
            content.hasAddress = listed != nullptr;
            if (listed) {
                content.address = listed->address;
                content.position = listed->position;
            }
            emitRow(content);
        }
    }

    void unassembledLine(const std::string& file, int line, const std::string& text)
    {
        start(file, line);
        std::size_t middle = out.size();
        out += "(not assembled)";
        finish(middle, text);
    }

    // A blank line, "Symbols:", then each symbol's name, value and place in
    // columns.
    void symbolTable(const std::vector<ListedSymbol>& symbols)
    {
        std::size_t nameWidth = 0;
        std::size_t valueWidth = 0;
        for (const ListedSymbol& symbol : symbols) {
            nameWidth = std::max(nameWidth, symbol.name.size());
            valueWidth = std::max<std::size_t>(valueWidth, symbol.value > 0xFFFF ? 8 : 4);
        }
        out += "\nSymbols:\n";
        for (const ListedSymbol& symbol : symbols) {
            std::size_t rowStart = out.size();
            out += symbol.name;
            appendPadded(out, rowStart, nameWidth + 2);
            std::size_t valueStart = out.size();
            appendValue(out, symbol.value);
            appendPadded(out, valueStart, valueWidth + 2);
            out += symbol.place;
            out += '\n';
            rowDone();
        }
    }

    // What is left of the rows made.
    void flush()
    {
        file.write(out);
        out.clear();
    }

private:
    inline static const std::string EMPTY;
    static constexpr std::size_t BLOCK_SIZE = 65536;

    // Rows go out in blocks; a block ends with a row, so that the next row's
    // trailing blanks are never looked for in what has gone out.
    void rowDone()
    {
        if (out.size() >= BLOCK_SIZE)
            flush();
    }

    template <typename EmitRow>
    static void pieceRows(const Piece& piece, EmitRow& emitRow)
    {
        const unsigned char* bytes = listing.bytes.data() + piece.firstByte;
        for (std::size_t offset = 0; offset < piece.shown; offset += BYTES_PER_ROW) {
            auto step = static_cast<uint32_t>(offset);
            emitRow(RowContent{true, piece.address + step, piece.position + step, bytes + offset,
                               std::min(BYTES_PER_ROW, piece.shown - offset), -1});
        }
        if (piece.run)
            emitRow(RowContent{false, 0, 0, nullptr, 0, piece.count});
    }

    void start(const std::string& file, int line)
    {
        std::size_t rowStart = out.size();
        out += file;
        appendPadded(out, rowStart, fileWidth + 1);
        std::string number = line > 0 ? std::to_string(line) : std::string();
        if (number.size() < LINE_NUMBER_WIDTH)
            out.append(LINE_NUMBER_WIDTH - number.size(), ' ');
        out += number;
        out += "  ";
    }

    // Pads the address and bytes fields, adds the text and drops trailing blanks.
    void finish(std::size_t middle, const std::string& text)
    {
        appendPadded(out, middle, ADDRESS_WIDTH + 2 + BYTES_WIDTH);
        out += "  ";
        out += text;
        out.erase(out.find_last_not_of(' ') + 1);
        out += '\n';
        rowDone();
    }

    void row(const std::string& file, int line, const RowContent& content, const std::string& text)
    {
        start(file, line);
        std::size_t middle = out.size();
        if (content.equ) {
            out += '=';
            appendValue(out, content.equValue);
        } else if (content.hasAddress) {
            appendHex(out, content.address, 4);
            if (content.address != content.position) {
                out += " (";
                appendHex(out, content.position, 4);
                out += ')';
            }
        }
        appendPadded(out, middle, ADDRESS_WIDTH);
        out += "  ";
        for (std::size_t i = 0; i < content.count; ++i) {
            if (i > 0)
                out += ' ';
            appendHex(out, content.bytes[i], 2);
        }
        if (content.runLength >= 0)
            out.append("(").append(std::to_string(content.runLength)).append(" bytes)");
        finish(middle, text);
    }

    std::size_t fileWidth;
    WholeOutput& file;
    std::string out;
};

// Walks the listed lines and the skipped ranges along with the source lines,
// which come in the same order.
class ListingCursor {
public:
    const ListedLine* peekAt(const LinePosition& at)
    {
        while (nextLine < listing.lines.size() && listing.lines[nextLine].at < at)
            ++nextLine;
        if (nextLine < listing.lines.size() && listing.lines[nextLine].at == at)
            return &listing.lines[nextLine];
        return nullptr;
    }

    const ListedLine* takeAt(const LinePosition& at)
    {
        const ListedLine* listed = peekAt(at);
        if (listed)
            ++nextLine;
        return listed;
    }

    bool unassembledAt(const LinePosition& at)
    {
        while (nextRange < listing.unassembled.size() && !(at < listing.unassembled[nextRange].second))
            ++nextRange;
        return nextRange < listing.unassembled.size() && listing.unassembled[nextRange].first < at;
    }

private:
    std::size_t nextLine = 0;
    std::size_t nextRange = 0;
};

// The last line of segment `index`: the INCLUDE that ends it, or the end
// of its file.
int lastLineOf(std::size_t index, const std::vector<std::string>& text)
{
    const std::vector<SourceSegment>& segments = sourceSegments();
    if (index + 1 < segments.size() && !segments[index + 1].resumesIncluder)
        return segments[index + 1].includedAt;
    return static_cast<int>(text.size());
}

// A source line with what it assembled to; below it the lines of the
// expansions it called, each with its text after "+".
void listSourceLine(ListingWriter& writer, ListingCursor& cursor, const std::string& file, const LinePosition& at,
                    const std::string& text)
{
    static const std::string NO_TEXT;
    const ListedLine* own = cursor.peekAt(at);
    if (own && !own->expanded)
        cursor.takeAt(at);
    else
        own = nullptr;
    writer.sourceLine(file, at.second, own, text);
    while (const ListedLine* more = cursor.takeAt(at)) {
        std::string expandedText;
        if (more->expanded)
            expandedText.append("+").append(more->expandedText);
        writer.sourceLine(NO_TEXT, 0, more, expandedText);
    }
}

void listSegment(ListingWriter& writer, ListingCursor& cursor, std::size_t index)
{
    static const std::string NO_TEXT;
    const SourceSegment& segment = sourceSegments()[index];
    const std::vector<std::string>& text = sourceLinesOf(segment.openedPath);
    int segmentIndex = static_cast<int>(index);
    int first = segment.firstLine;
    // Back from an include: its INCLUDE line was listed before the included
    // file; what followed the include on that line shows as bytes only.
    if (segment.resumesIncluder) {
        const ListedLine* rest = cursor.takeAt({segmentIndex, first});
        if (rest && rest->pieceCount != 0)
            writer.sourceLine(NO_TEXT, 0, rest, NO_TEXT);
        ++first;
    }
    int last = lastLineOf(index, text);
    for (int line = first; line <= last; ++line) {
        const std::string& lineText = line <= static_cast<int>(text.size()) ? text[line - 1] : NO_TEXT;
        LinePosition at{segmentIndex, line};
        if (cursor.unassembledAt(at))
            writer.unassembledLine(segment.openedPath, line, lineText);
        else
            listSourceLine(writer, cursor, segment.openedPath, at, lineText);
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
    if (listing.enabled)
        keepSourceLines(openedPath);
}

void restartListing()
{
    listing.lines.clear();
    listing.pieces.clear();
    listing.bytes.clear();
    listing.unassembled.clear();
    listing.capturingStatement = false;
    listingCaptures = listing.enabled && asmState.finalPass;
}

void listStatementStart()
{
    int segment = statementSegment();
    listing.capturingStatement = segment >= 0;
    if (!listing.capturingStatement)
        return;
    LinePosition at{segment, statementLine()};
    bool expanded = statementIsExpanded();
    std::string_view expandedText = expanded ? statementExpandedLine() : std::string_view();
    if (!listing.lines.empty() && listing.lines.back().at == at && listing.lines.back().expanded == expanded
        && listing.lines.back().expandedText.data() == expandedText.data())
        return;
    listing.lines.push_back({at, logicalAddress(), static_cast<uint32_t>(asmState.outputPosition),
                             listing.pieces.size(), 0, false, 0, expanded, expandedText});
}

void listEmitted(const unsigned char* bytes, std::size_t count)
{
    if (!listing.capturingStatement || count == 0)
        return;
    uint32_t address = logicalAddress();
    auto position = static_cast<uint32_t>(asmState.outputPosition);
    Piece* last = listing.lines.back().pieceCount != 0 ? &listing.pieces.back() : nullptr;
    if (!last || last->run || last->address + static_cast<uint32_t>(last->count) != address
        || last->position + static_cast<uint32_t>(last->count) != position)
        last = &addPiece(address, position, 0, false);
    keepBytes(*last, bytes, count);
    last->count += static_cast<int64_t>(count);
}

void listRun(const unsigned char* first, std::size_t firstCount, int64_t count, int64_t position)
{
    if (!listing.capturingStatement || count == 0)
        return;
    Piece& piece = addPiece(logicalAddress(), static_cast<uint32_t>(position), count, true);
    // No more than the run holds: a DS of two shows two bytes.
    keepBytes(piece, first, std::min({firstCount, BYTES_PER_ROW, static_cast<std::size_t>(count)}));
}

void listEquValue(int32_t value)
{
    if (!listing.capturingStatement)
        return;
    listing.lines.back().equ = true;
    listing.lines.back().equValue = static_cast<uint32_t>(value);
}

void beginUnassembled()
{
    listing.skipStart = {statementSegment(), statementLine()};
}

void endUnassembled()
{
    listing.unassembled.emplace_back(listing.skipStart, LinePosition{readingSegmentIndex(), readingLine()});
}

bool writeListing(const std::string& name, const std::vector<ListedSymbol>& symbols)
{
    std::size_t fileWidth = 0;
    for (const SourceSegment& segment : sourceSegments())
        fileWidth = std::max(fileWidth, segment.openedPath.size());
    WholeOutput file;
    if (!file.open(name, FileRole::LISTING))
        return false;
    ListingWriter writer(fileWidth, file);
    ListingCursor cursor;
    for (std::size_t index = 0; index < sourceSegments().size(); ++index)
        listSegment(writer, cursor, index);
    writer.symbolTable(symbols);
    writer.flush();
    return file.finishRequested();
}
