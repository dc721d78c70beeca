#include "tableRuns.h"

#include "caseFile.h"
#include "processRunner.h"
#include "symbolFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace {

const std::string SOURCE_NAME = "t.asm";

std::string describe(const TableRow& row)
{
    return "line " + std::to_string(row.lineNumber) + ": " + row.mode + " | " + row.source;
}

RunResult assemble(const ScratchDirectory& directory, const std::string& source)
{
    directory.writeFile(SOURCE_NAME, source);
    RunResult result = runOrbant(directory, {SOURCE_NAME});
    result.standardError = normaliseConsole(result.standardError);
    return result;
}

// The line a "Warning in line N (t.asm): TEXT" line names, with its TEXT;
// -1 for any other line.
long warningLine(const std::string& line, std::string& text)
{
    const std::string lead = "Warning in line ";
    const std::string marker = " (" + SOURCE_NAME + "): ";
    std::size_t at = line.find(marker);
    if (line.rfind(lead, 0) != 0 || at == std::string::npos || at == lead.size() || at > lead.size() + 9
        || line.find_first_not_of("0123456789", lead.size()) != at)
        return -1;
    text = line.substr(at + marker.size());
    return std::stol(line.substr(lead.size(), at - lead.size()));
}

// Messages of the "Warning in line N (t.asm): TEXT" lines, in order; any
// other line is added to unexpected.
std::vector<std::string> warningMessages(const std::string& standardError, std::string& unexpected)
{
    std::vector<std::string> messages;
    std::istringstream stream(standardError);
    for (std::string line, text; std::getline(stream, line);) {
        if (warningLine(line, text) >= 0)
            messages.push_back(text);
        else
            unexpected += line + "\n";
    }
    return messages;
}

void checkErrorRow(const TableRow& row, const RunResult& result)
{
    EXPECT_EQ(1, result.status);
    const std::string prefix = "Syntax Error in line ";
    const std::string marker = " (" + SOURCE_NAME + "): ";
    const std::string& text = result.standardError;
    std::size_t at = text.find(marker);
    bool wellFormed = text.rfind(prefix, 0) == 0 && at != std::string::npos;
    EXPECT_TRUE(wellFormed) << "standard error: " << text;
    if (wellFormed) {
        EXPECT_EQ(row.errorMessage + "\nExiting...", text.substr(at + marker.size()));
    }
}

void checkBytesRow(const TableRow& row, const ScratchDirectory& directory, const RunResult& result)
{
    EXPECT_EQ(0, result.status) << "standard output: " << result.standardOutput
                                << "\nstandard error: " << result.standardError;
    std::string unexpected;
    std::vector<std::string> warnings = warningMessages(result.standardError, unexpected);
    EXPECT_EQ(row.warnings, warnings);
    EXPECT_EQ("", unexpected);
    std::string image;
    EXPECT_TRUE(directory.readFile("orbant.out", image));
    EXPECT_EQ(hexDump(row.bytes), hexDump(image));
}

void checkRowAlone(const TableRow& row)
{
    SCOPED_TRACE(describe(row));
    ScratchDirectory directory;
    RunResult result = assemble(directory, " CPU " + row.mode + "\n " + row.source + "\n");
    if (row.expectsError)
        checkErrorRow(row, result);
    else
        checkBytesRow(row, directory, result);
}

bool runsJointly(const TableRow& row)
{
    return !row.expectsError;
}

// Lower case: the symbol file keeps a label's spelling.
std::string startLabel(std::size_t index)
{
    return "row" + std::to_string(index);
}

// The joint source's layout: the mode on line 1, then three lines for each
// row (its start label, ORG 0, the row) and a closing label.
constexpr int FIRST_ROW_LINE = 4;
constexpr int LINES_PER_ROW = 3;

// A message names its row's line or, raised at the end of that line, the
// next line holding text: the next row's start label.
long rowNamedBy(long line)
{
    return line < FIRST_ROW_LINE ? -1 : (line - FIRST_ROW_LINE) / LINES_PER_ROW;
}

// Each row's warnings, in order; lines of standard error that are no
// warning naming a row are added to unexpected.
std::vector<std::vector<std::string>> warningsByRow(std::size_t rowCount, const std::string& standardError,
                                                    std::string& unexpected)
{
    std::vector<std::vector<std::string>> warnings(rowCount);
    std::istringstream stream(standardError);
    for (std::string line, text; std::getline(stream, line);) {
        long lineNumber = warningLine(line, text);
        long row = lineNumber < 0 ? -1 : rowNamedBy(lineNumber);
        if (row >= 0 && row < static_cast<long>(rowCount))
            warnings[static_cast<std::size_t>(row)].push_back(text);
        else
            unexpected += line + "\n";
    }
    return warnings;
}

// Bytes and warnings as a table row writes them.
std::string asWritten(const std::string& bytes, const std::vector<std::string>& warnings)
{
    std::string text = hexDump(bytes);
    for (const std::string& warning : warnings)
        text += " ; warning: " + warning;
    return text;
}

// Why the joint run as a whole failed, or empty when it gave its files.
std::string runFailure(const RunResult& result, bool wroteImage, bool wroteSymbols)
{
    if (result.status != 0)
        return "status " + std::to_string(result.status) + ", standard error:\n" + result.standardError;
    if (!wroteImage || !wroteSymbols)
        return "the image or the symbol file was not written\n";
    return "";
}

void checkJointly(const std::string& mode, const std::vector<const TableRow*>& rows)
{
    ScratchDirectory directory;
    RunResult result = assemble(directory, jointSource(mode, rows));
    std::string image, symbols;
    bool wroteImage = directory.readFile("orbant.out", image);
    bool wroteSymbols = directory.readFile("orbant.sym", symbols);
    std::string failure = runFailure(result, wroteImage, wroteSymbols);
    if (failure.empty())
        failure = jointDifferences(rows, image, symbols, result.standardError);
    if (failure.empty())
        return;
    ADD_FAILURE() << "The " << rows.size() << " " << mode << " rows that expect bytes, assembled in one run, differ:\n"
                  << failure << "Each runs again alone:";
    for (const TableRow* row : rows)
        checkRowAlone(*row);
}

}  // namespace

std::string jointSource(const std::string& mode, const std::vector<const TableRow*>& rows)
{
    std::string source = " CPU " + mode + "\n";
    for (std::size_t i = 0; i < rows.size(); ++i)
        source += startLabel(i) + ": EQU $$\n ORG 0\n " + rows[i]->source + "\n";
    return source + startLabel(rows.size()) + ": EQU $$\n";
}

std::string jointDifferences(const std::vector<const TableRow*>& rows, const std::string& image,
                             const std::string& symbolFile, const std::string& standardError)
{
    std::string unexpected;
    std::vector<std::vector<std::string>> warnings = warningsByRow(rows.size(), standardError, unexpected);
    if (!unexpected.empty())
        return "standard error holds more than the rows' warnings:\n" + unexpected;
    std::map<std::string, uint32_t> starts = symbolValues(symbolFile);
    std::vector<uint32_t> bounds;
    for (std::size_t i = 0; i <= rows.size(); ++i) {
        auto found = starts.find(startLabel(i));
        if (found == starts.end())
            return "the symbol file lacks " + startLabel(i) + "\n";
        bounds.push_back(found->second);
    }
    if (!std::is_sorted(bounds.begin(), bounds.end()))
        return "the rows' start positions go backwards\n";
    if (bounds.front() != 0 || bounds.back() != image.size())
        return "the rows' bytes span " + std::to_string(bounds.front()) + " to " + std::to_string(bounds.back())
               + ", the image holds " + std::to_string(image.size()) + " bytes\n";
    std::string differences;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string actual = image.substr(bounds[i], bounds[i + 1] - bounds[i]);
        if (actual != rows[i]->bytes || warnings[i] != rows[i]->warnings)
            differences += describe(*rows[i]) + ": expected " + asWritten(rows[i]->bytes, rows[i]->warnings) + ", got "
                           + asWritten(actual, warnings[i]) + "\n";
    }
    return differences;
}

void checkTable(const std::vector<TableRow>& rows)
{
    std::map<std::string, std::vector<const TableRow*>> jointRowsByMode;
    for (const TableRow& row : rows) {
        if (runsJointly(row))
            jointRowsByMode[row.mode].push_back(&row);
        else
            checkRowAlone(row);
    }
    for (const auto& [mode, jointRows] : jointRowsByMode)
        checkJointly(mode, jointRows);
}
