// A `.case` file: input files, arguments and the expected outcome of one run.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

struct ExpectedFile {
    std::string name;
    std::string content;
};

struct CaseFile {
    std::string description;
    std::vector<ExpectedFile> inputs;
    std::vector<ExpectedFile> symlinks;  // content holds the link's target
    std::vector<std::string> directories;
    std::vector<std::string> fifos;
    std::vector<std::string> arguments = {"main.asm"};
    std::optional<int> status;
    std::optional<std::string> standardOutput;
    std::optional<std::string> standardError;
    std::vector<ExpectedFile> images;  // content holds raw bytes
    std::vector<ExpectedFile> texts;
    std::vector<std::string> absent;
    // Why the case holds only for the native build (system messages that
    // differ between C runtimes, devices such as /dev/full).
    std::optional<std::string> nativeOnly;
};

// Throws std::runtime_error naming the line on a malformed file.
CaseFile parseCaseFile(const std::string& text);

// "\xHH" is the byte HH and "\\" a backslash.
std::string decodeEscapes(const std::string& text);
// Pairs of hexadecimal digits; white space between them is ignored.
std::string decodeHexBytes(const std::string& text);
std::string hexDump(const std::string& bytes);
