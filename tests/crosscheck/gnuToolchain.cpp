#include "gnuToolchain.h"

#include "processRunner.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

bool runInDirectory(const ScratchDirectory& directory, const std::string& command)
{
    std::string line = "cd '" + directory.path().string() + "' && " + command + " </dev/null";
    return std::system(line.c_str()) == 0;
}

std::set<int> errorLines(const std::string& messages)
{
    static const std::regex error("^t\\.s:([0-9]+): Error:");
    std::set<int> lines;
    std::istringstream stream(messages);
    std::smatch match;
    for (std::string line; std::getline(stream, line);)
        if (std::regex_search(line, match, error))
            lines.insert(std::stoi(match[1].str()));
    return lines;
}

std::map<std::string, uint32_t> parseSymbols(const std::string& listing)
{
    std::map<std::string, uint32_t> symbols;
    std::istringstream stream(listing);
    for (std::string line; std::getline(stream, line);) {
        unsigned address = 0;
        char kind = 0;
        char name[128];
        // Defined symbols only: "ADDRESS KIND NAME".
        if (std::sscanf(line.c_str(), "%x %c %127s", &address, &kind, name) == 3)
            symbols[name] = address;
    }
    return symbols;
}

// linkCommand, when not empty, turns t.o into t.out and ends with "&& ".
GnuResult assemble(const std::string& architecture, const std::string& source, const std::string& linkCommand)
{
    ScratchDirectory directory;
    directory.writeFile("t.s", source);
    GnuResult result;
    bool assembled
        = runInDirectory(directory, std::string(GNU_ASSEMBLER) + " -march=" + architecture + " -o t.o t.s 2>as.txt");
    directory.readFile("as.txt", result.messages);
    result.refusedLines = errorLines(result.messages);
    if (!assembled)
        return result;
    std::string binary = linkCommand.empty() ? "t.o" : "t.out";
    result.assembled = runInDirectory(directory, linkCommand + "z80-unknown-coff-objcopy -O binary " + binary
                                                     + " t.bin && z80-unknown-coff-nm " + binary + " >t.nm");
    std::string listing;
    directory.readFile("t.bin", result.image);
    directory.readFile("t.nm", listing);
    result.symbols = parseSymbols(listing);
    return result;
}

}  // namespace

bool gnuToolchainAvailable()
{
    std::string command = std::string("command -v ") + GNU_ASSEMBLER + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

GnuResult assembleWithGnu(const std::string& architecture, const std::string& source)
{
    return assemble(architecture, source, "");
}

GnuResult assembleAndLinkWithGnu(const std::string& architecture, const std::string& source, uint32_t origin)
{
    char linkCommand[96];
    std::snprintf(linkCommand, sizeof linkCommand, "z80-unknown-coff-ld -Ttext=0x%X -o t.out t.o 2>ld.txt && ",
                  static_cast<unsigned>(origin));
    return assemble(architecture, source, linkCommand);
}
