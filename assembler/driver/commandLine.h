// The assembler's command line: options before the source, the source, and
// the image name after it.
#pragma once

#include "base/diagnostics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CommandLineDefine {
    std::string name;
    int32_t value = 1;
};

constexpr const char* DEFAULT_SYMBOL_FILE_NAME = "orbant.sym";
constexpr const char* DEFAULT_TEMP_FILE_NAME = "orbant.tmp";

// What the symbol file holds: the assembler's own EQU lines, or the lines
// of a debugger's symbol format.
enum class SymbolFormat {
    DEFAULT,  // NAME: equ 0XXXXh ; last def. pass N
    NOICE,    // def NAME HHHHh
    BANK,     // 00:HHHH NAME
};

struct CommandLine {
    std::string sourceName;
    std::string outputName = "orbant.out";
    std::vector<std::string> includeDirectories;  // -I, searched in this order
    std::vector<CommandLineDefine> defines;       // -D, each name once, its last value
    bool gnuDiagnostics = false;
    WarningActions warningActions{};  // -W words and --warnings-as-errors, left to right
    std::string symbolFileName = DEFAULT_SYMBOL_FILE_NAME;
    SymbolFormat symbolFormat = SymbolFormat::DEFAULT;
    std::string flattenedFileName = DEFAULT_TEMP_FILE_NAME;
    std::string listingName;     // empty: no listing
    std::string dependencyName;  // empty: no make rule
    bool macros = false;         // MACRO, ENDM, REPT, ENDR and EXITM are keywords
};

// Reads argv into the run's command line. Help, version, usage and bad
// options end the process here.
void parseCommandLine(int argc, char** argv);
const CommandLine& commandLine();

// Enters every -D name in the label table; before preprocessing, so that a
// source defining one of them meets the duplicate-label error.
void registerCommandLineDefines();
// The value -D gave name (compared without regard to case); false when none did.
bool commandLineDefineValue(std::string_view name, int32_t& value);
// Defines the -D names again with the current pass as their definition pass.
void defineCommandLineLabels();
