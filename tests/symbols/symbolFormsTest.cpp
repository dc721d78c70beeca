// The symbol file's debugger forms, each read back by a reader written from
// the form's own description, must list exactly the labels of the default
// symbol file that fit 16 bits, in order of value and then name.
#include "processRunner.h"
#include "symbolFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Symbol {
    std::string name;
    uint32_t value = 0;
};

bool isHexNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

// NoICE's command "DEF name value": the command word in any case, the value
// in hexadecimal, here with the "h" suffix of the form.
std::vector<Symbol> readNoiceForm(const std::string& text)
{
    std::vector<Symbol> symbols;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string command, name, value, extra;
        words >> command >> name >> value;
        EXPECT_FALSE(words >> extra) << "more than three words: " << line;
        std::transform(command.begin(), command.end(), command.begin(), ::toupper);
        EXPECT_EQ("DEF", command) << line;
        EXPECT_TRUE(value.size() == 5 && value.back() == 'h') << line;
        value.pop_back();
        EXPECT_TRUE(isHexNumber(value)) << line;
        symbols.push_back({name, static_cast<uint32_t>(std::stoul(value, nullptr, 16))});
    }
    return symbols;
}

// "BB:AAAA name": bank and address in hexadecimal, then the name.
std::vector<Symbol> readBankForm(const std::string& text)
{
    std::vector<Symbol> symbols;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string place, name, extra;
        words >> place >> name;
        EXPECT_FALSE(words >> extra) << "more than two words: " << line;
        const std::size_t colon = place.find(':');
        EXPECT_EQ(2u, colon) << line;
        if (colon != 2)
            continue;
        const std::string bank = place.substr(0, colon), address = place.substr(colon + 1);
        EXPECT_EQ("00", bank) << line;
        EXPECT_TRUE(address.size() == 4 && isHexNumber(address)) << line;
        symbols.push_back({name, static_cast<uint32_t>(std::stoul(address, nullptr, 16))});
    }
    return symbols;
}

std::string upperCased(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

// What a debugger form must hold, from the default symbol file's labels:
// those that fit 16 bits by value, then by upper-cased name.
std::vector<Symbol> expectedOrder(const std::map<std::string, uint32_t>& defaults)
{
    std::vector<Symbol> expected;
    for (const auto& [name, value] : defaults)
        if (value <= 0xFFFF)
            expected.push_back({name, value});
    std::sort(expected.begin(), expected.end(), [](const Symbol& left, const Symbol& right) {
        return std::make_pair(left.value, upperCased(left.name)) < std::make_pair(right.value, upperCased(right.name));
    });
    return expected;
}

std::size_t countAbove16Bits(const std::map<std::string, uint32_t>& defaults)
{
    return static_cast<std::size_t>(
        std::count_if(defaults.begin(), defaults.end(), [](const auto& entry) { return entry.second > 0xFFFF; }));
}

void expectSameSymbols(const std::vector<Symbol>& expected, const std::vector<Symbol>& actual, const char* form)
{
    ASSERT_EQ(expected.size(), actual.size()) << form;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].name, actual[i].name) << form << " line " << i + 1;
        EXPECT_EQ(expected[i].value, actual[i].value) << form << " line " << i + 1;
    }
}

std::string leftOutLine(std::size_t count, const std::string& file)
{
    return count == 0 ? "" : "orbant: " + std::to_string(count) + " labels above FFFFH left out of " + file + "\n";
}

std::string readSymbolFile(const ScratchDirectory& directory, const std::string& name)
{
    std::string text;
    EXPECT_TRUE(directory.readFile(name, text)) << name << " was not written";
    return text;
}

// Assembles main.asm in each form and compares the debugger forms with the
// default form's labels.
void checkFormsAgainstDefault(const ScratchDirectory& directory, const std::vector<std::string>& extraArguments = {})
{
    auto assemble = [&](const std::string& form, const std::string& symbols) {
        std::vector<std::string> arguments = extraArguments;
        arguments.insert(arguments.end(), {"--symbols-format=" + form, "--symbols", symbols, "main.asm"});
        RunResult result = runOrbant(directory, arguments);
        EXPECT_EQ(0, result.status) << form << ": " << result.standardError;
        return result;
    };
    RunResult byDefault = assemble("default", "default.sym");
    const std::map<std::string, uint32_t> defaults = symbolValues(readSymbolFile(directory, "default.sym"));
    ASSERT_FALSE(defaults.empty());
    const std::vector<Symbol> expected = expectedOrder(defaults);
    const std::size_t above = countAbove16Bits(defaults);
    EXPECT_EQ("", byDefault.standardError);

    RunResult noice = assemble("noice", "noice.sym");
    EXPECT_EQ(leftOutLine(above, "noice.sym"), normaliseConsole(noice.standardError));
    expectSameSymbols(expected, readNoiceForm(readSymbolFile(directory, "noice.sym")), "noice");

    RunResult bank = assemble("bank", "bank.sym");
    EXPECT_EQ(leftOutLine(above, "bank.sym"), normaliseConsole(bank.standardError));
    expectSameSymbols(expected, readBankForm(readSymbolFile(directory, "bank.sym")), "bank");
}

// Many labels of every kind: spread over the 16-bit range and its edges,
// equal values under names that differ in case and in characters that sort
// around the letters, local labels, values above 16 bits and negative ones,
// a -D name and labels never assembled (neither of which any form lists).
std::string manyLabels()
{
    std::ostringstream source;
    source << "first: NOP\n.local: NOP\n";
    for (int i = 0; i < 600; ++i)
        source << "label" << i << ": EQU " << (i * 7919) % 65536 << "\n";
    const char* sameValue[] = {"zeta", "Alpha", "_under", "beta2", "Beta1", "a.b", "@at", "~tilde", "!bang", "?ask"};
    for (const char* name : sameValue)
        source << name << ": EQU 1234H\n";
    source << "top: EQU 0FFFFH\nabove: EQU 10000H\nminusOne: EQU -1\nlowest: EQU -32768\nbig: EQU 7FFFFFFFH\n";
    source << " IF 0\nnever: NOP\n ENDIF\n LD A, VERSION\n";
    return source.str();
}

TEST(SymbolForms, ManyLabelsReadBackAsTheDefaultFormLists)
{
    ScratchDirectory directory;
    directory.writeFile("main.asm", manyLabels());
    checkFormsAgainstDefault(directory, {"-D", "VERSION=2"});
}

std::string readWhole(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A real cartridge, every label in 16 bits: nothing is left out.
TEST(SymbolForms, TheExampleCartridgeReadsBackWhole)
{
    ScratchDirectory directory;
    directory.writeFile("main.asm", readWhole(EXAMPLES_DIRECTORY "/hello/hello.asm"));
    directory.writeFile("bios.asm", readWhole(EXAMPLES_DIRECTORY "/hello/bios.asm"));
    checkFormsAgainstDefault(directory);
}

}  // namespace
