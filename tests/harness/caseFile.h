// A `.case` file: the program to run, its input files, arguments and
// environment, and the expected outcome of the run (tests/cases/README.md).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The `stdout-to` target that starts the program with standard output closed.
inline const std::string CLOSED_STANDARD_OUTPUT = "closed";

struct ExpectedFile {
    std::string name;
    std::string content;
};

// What a case expects of the simulated reader's log, one entry per line.
struct ReaderLog {
    std::optional<std::vector<std::string>> writes;   // "W SLOT ADDRESS BYTE"
    std::optional<std::vector<std::string>> reads;    // "R SLOT ADDRESS LENGTH"
    std::optional<std::vector<std::string>> binding;  // "Init", "Uninit"
};

struct CaseFile {
    std::string description;
    std::string program = "orbant";
    std::vector<ExpectedFile> inputs;
    std::vector<ExpectedFile> symlinks;  // content holds the link's target
    std::vector<std::string> directories;
    std::vector<std::string> fifos;
    std::vector<std::string> arguments = {"main.asm"};
    std::vector<std::pair<std::string, std::string>> environment;
    std::optional<int> status;
    std::optional<std::string> standardOutput;
    std::optional<std::string> standardError;
    std::string standardOutputTarget;  // a file that takes standard output, unchecked, or CLOSED_STANDARD_OUTPUT
    std::optional<std::size_t> fileSizeLimit;  // bytes any file the run writes may reach
    std::vector<ExpectedFile> images;          // content holds raw bytes
    std::vector<ExpectedFile> texts;
    std::vector<std::string> absent;
    // Why the case holds only for the native build (system messages that
    // differ between C runtimes, devices such as /dev/full).
    std::optional<std::string> nativeOnly;
    // romtap: where its loader finds the reader library (sim, sim-copy, none,
    // without-ENTRY), and what the simulated reader must have logged.
    std::string reader = "sim";
    ReaderLog readerLog;
};

// Throws std::runtime_error naming the line on a malformed file.
CaseFile parseCaseFile(const std::string& text);

// The bytes of the file at path; empty when it cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// The blank-separated words of text.
std::vector<std::string> splitWords(const std::string& text);
// "\xHH" is the byte HH and "\\" a backslash.
std::string decodeEscapes(const std::string& text);
// Pairs of hexadecimal digits; white space between them is ignored.
std::string decodeHexBytes(const std::string& text);
std::string hexDump(const std::string& bytes);
