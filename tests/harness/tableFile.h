// A `.table` file: one instruction per row with its bytes or its message.
#pragma once

#include <string>
#include <vector>

struct TableRow {
    int lineNumber = 0;
    std::string mode;
    std::string source;
    bool expectsError = false;
    std::string errorMessage;
    std::string bytes;  // raw bytes
    std::vector<std::string> warnings;
};

// Throws std::runtime_error naming the line on a malformed row.
std::vector<TableRow> parseTableFile(const std::string& text);
