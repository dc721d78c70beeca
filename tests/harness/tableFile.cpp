#include "tableFile.h"

#include "caseFile.h"

#include <sstream>
#include <stdexcept>

namespace {

std::string trim(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits at "|" that is not written "\|".
std::vector<std::string> splitColumns(const std::string& line)
{
    std::vector<std::string> columns(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
            columns.back() += '|';
            ++i;
        } else if (line[i] == '|') {
            columns.emplace_back();
        } else {
            columns.back() += line[i];
        }
    }
    return columns;
}

void parseExpectation(TableRow& row, const std::string& expected)
{
    const std::string errorPrefix = "error:";
    if (expected.rfind(errorPrefix, 0) == 0) {
        row.expectsError = true;
        row.errorMessage = trim(expected.substr(errorPrefix.size()));
        return;
    }
    std::size_t semicolon = expected.find(';');
    row.bytes = decodeHexBytes(expected.substr(0, semicolon));
    const std::string warningPrefix = "warning:";
    while (semicolon != std::string::npos) {
        std::size_t next = expected.find(';', semicolon + 1);
        std::string item
            = trim(expected.substr(semicolon + 1, next == std::string::npos ? next : next - semicolon - 1));
        if (item.rfind(warningPrefix, 0) != 0)
            throw std::runtime_error("expected 'warning: TEXT' after ';'");
        row.warnings.push_back(trim(item.substr(warningPrefix.size())));
        semicolon = next;
    }
}

}  // namespace

std::vector<TableRow> parseTableFile(const std::string& text)
{
    std::vector<TableRow> rows;
    std::istringstream stream(text);
    int lineNumber = 0;
    for (std::string line; std::getline(stream, line);) {
        ++lineNumber;
        std::string content = trim(line);
        if (content.empty() || content[0] == '#')
            continue;
        std::vector<std::string> columns = splitColumns(line);
        if (columns.size() != 3)
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": expected three columns");
        TableRow row;
        row.lineNumber = lineNumber;
        row.mode = trim(columns[0]);
        row.source = trim(columns[1]);
        try {
            parseExpectation(row, trim(columns[2]));
        } catch (const std::exception& error) {
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": " + error.what());
        }
        rows.push_back(row);
    }
    return rows;
}
