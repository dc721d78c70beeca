#include "commandLine.h"

#include "consoleOutput.h"
#include "optionValues.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

namespace {

const char* const USAGE_LINES[] = {
    "Syntax: romtap <parameters> <filename>\n",
    "\n",
    "Parameters:\n",
    "  -l ............ list available MSX Game Readers.\n",
    "  -i <slot> ..... use given slot for dumping cartridge (optional).\n",
    "  -b <address> .. begin address of block (hex).\n",
    "  -s <size> ..... size of block (hex).\n",
    "  -m <address> .. address of rom mapper (hex).\n",
    "  -n <blocks> ... number of blocks to dump.\n",
    "  filename ...... filename to dump rom image to.\n",
    "\n",
    "Examples:\n",
    "\n",
    "  List available MSX Game Readers and their status;\n",
    "   romtap -l\n",
    "\n",
    "  Dump a 128 kB SCC ROM;\n",
    "   romtap -b a000 -s 2000 -m b000 -n 16 konami1mb.rom\n",
    "\n",
    "  Dump a 32 kB ROM;\n",
    "   romtap -b 4000 -s 8000 normal32kb.rom\n",
};

// Follows the usage text for -h and --help.
const char* const OPTION_LINES[] = {
    "\n",
    "Options:\n",
    "  -l             list the reader slots and whether a cartridge is inserted;\n",
    "                 a file name and the other options are then ignored.\n",
    "  -i <slot>      dump this slot (decimal, -1 to 15; -1: the first slot that\n",
    "                 reports a reader, the default). A slot given is used\n",
    "                 once any slot has answered.\n",
    "  -b <address>   begin address of every block (hex, 0 to FFFF); default 4000.\n",
    "  -s <size>      size of every block (hex, 0 to 10000); default 4000. -b plus\n",
    "                 -s is at most 10000: the reader sees 64 KiB.\n",
    "  -m <address>   address of the rom mapper (hex, 0 to FFFF); default 4000.\n",
    "                 With more than one block, the block number goes there first.\n",
    "  -n <blocks>    number of blocks (decimal); default 1. The image is at most\n",
    "                 64 MiB.\n",
    "  -v             verify: read every block a second time, selecting its\n",
    "                 bank again, and compare; a block that differs is read\n",
    "                 again up to 3 times, then the dump fails.\n",
    "  -c             after the dump, print the image's size, CRC32 and SHA-1.\n",
    "  -w             warn when a bank equals bank 0 (or the image's second\n",
    "                 half its first): the cartridge is probably smaller; after\n",
    "                 one block ending below C000, read the bytes after it and\n",
    "                 warn when they hold data: the cartridge is probably larger.\n",
    "  --db <file>    print the sums as -c does, then the title, company, year\n",
    "                 and mapper type of the dump in this software database\n",
    "                 (softwaredb.xml format), found by its SHA-1.\n",
    "  --log <file>   append a record of the run to this file: time, version,\n",
    "                 reader library, values, image and sums, verification,\n",
    "                 identification, status.\n",
    "  -h, --help     print this text.\n",
    "  --version      print the version.\n",
    "\n",
    "Hex values are digits 0-9, A-F, a-f, with 0x or $ before them or h after\n",
    "them if you like: 4000, 0x4000, $4000 and 4000h are all 4000. Decimal\n",
    "values are digits, optionally with - before them. Anything else is\n",
    "refused. Letters without a value may be grouped (-vcw, -li); a letter\n",
    "that takes a value takes the whole next argument and ends its group.\n",
    "--db and --log take the next argument, or the text after --db= and\n",
    "--log=.\n",
};

void printLines(const char* const* first, const char* const* last)
{
    for (; first != last; ++first)
        std::fputs(*first, stdout);
}

void printUsage()
{
    printLines(std::begin(USAGE_LINES), std::end(USAGE_LINES));
}

[[noreturn]] void printHelp()
{
    printUsage();
    printLines(std::begin(OPTION_LINES), std::end(OPTION_LINES));
    endRun(0);
}

[[noreturn]] void dieWithInvalidOption()
{
    dieOnCommandLine("invalid option");
}

constexpr long long LAST_SLOT = 15;
constexpr long long ADDRESS_SPACE = 0x10000;  // the reader sees 64 KiB of the cartridge
constexpr long long LARGEST_IMAGE = 64LL << 20;

// The options, and -n as given: its range depends on -s, which may follow it.
struct ParsedArguments {
    Options options;
    long long blockCount = 1;
};

int readAddress(const char* text, char option)
{
    const long long address = readHexValue(text, option);
    requireRange(address, 0, ADDRESS_SPACE - 1, option);
    return static_cast<int>(address);
}

void storeOptionValue(ParsedArguments& parsed, char letter, const char* text)
{
    Options& options = parsed.options;
    switch (letter) {
    case 'i': {
        const long long slot = readDecimalValue(text, letter);
        requireRange(slot, -1, LAST_SLOT, letter);
        options.slot = static_cast<int>(slot);
        break;
    }
    case 'b': options.beginAddress = readAddress(text, letter); break;
    case 'm': options.mapperAddress = readAddress(text, letter); break;
    case 's': {
        const long long size = readHexValue(text, letter);
        requireRange(size, 0, ADDRESS_SPACE, letter);
        options.blockSize = static_cast<int>(size);
        break;
    }
    case 'n': parsed.blockCount = readDecimalValue(text, letter); break;
    }
}

// The checks that need the final value of more than one option.
void checkCombinedValues(ParsedArguments& parsed)
{
    Options& options = parsed.options;
    if (options.beginAddress + options.blockSize > ADDRESS_SPACE)
        dieOnCommandLine("-b plus -s must be at most 10000");
    // Zero-sized blocks are bounded as 1-byte ones: each is still a read.
    requireRange(parsed.blockCount, 0, LARGEST_IMAGE / std::max(options.blockSize, 1), 'n');
    options.blockCount = static_cast<int>(parsed.blockCount);
}

bool takesValue(char letter)
{
    return letter == 'i' || letter == 'b' || letter == 's' || letter == 'm' || letter == 'n';
}

// Returns false for a letter that is no flag.
bool setFlag(Options& options, char letter)
{
    switch (letter) {
    case 'l': options.listFlag = true; return true;
    case 'v': options.verify = true; return true;
    case 'c': options.checksums = true; return true;
    case 'w': options.sizeWarnings = true; return true;
    case 'h': printHelp();
    default: return false;
    }
}

// Reads one option group such as "-li"; returns the index of the last argument used.
int parseOptionGroup(ParsedArguments& parsed, int argc, char** argv, int index)
{
    for (const char* letter = argv[index] + 1; *letter != '\0'; ++letter) {
        if (setFlag(parsed.options, *letter))
            continue;
        if (!takesValue(*letter))
            dieWithInvalidOption();
        if (index + 1 >= argc)
            dieOnCommandLine(std::string("option -") + *letter + " requires a value");
        storeOptionValue(parsed, *letter, argv[index + 1]);
        return index + 1;  // the rest of this argument is ignored
    }
    return index;
}

// The value of "--NAME VALUE" or "--NAME=VALUE", moving index past a separate
// value; nullptr when the argument is not that option.
const char* longOptionValue(int argc, char** argv, int& index, std::string_view name)
{
    const std::string_view argument = argv[index];
    if (argument.substr(0, name.size()) != name)
        return nullptr;
    if (argument.size() == name.size()) {
        if (index + 1 >= argc)
            dieOnCommandLine("option " + std::string(name) + " requires a value");
        return argv[++index];
    }
    return argument[name.size()] == '=' ? argv[index] + name.size() + 1 : nullptr;
}

}  // namespace

const char* versionLine()
{
    return ROMTAP_VERSION_TEXT " - ROM dumper for the MSX Game Reader - by the romtap developers";
}

void printTitle()
{
    std::printf("%s\n", versionLine());
    std::fputs("-----------------------------------------------------------\n", stdout);
}

void printUsageAndFail()
{
    printUsage();
    std::exit(1);
}

Options parseArguments(int argc, char** argv)
{
    ParsedArguments parsed;
    Options& options = parsed.options;
    for (int index = 1; index < argc; ++index) {
        const char* argument = argv[index];
        if (std::strcmp(argument, "--help") == 0)
            printHelp();
        if (std::strcmp(argument, "--version") == 0)
            endRun(0);  // the title names the version
        if (const char* database = longOptionValue(argc, argv, index, "--db")) {
            options.databasePath = database;
        } else if (const char* log = longOptionValue(argc, argv, index, "--log")) {
            options.logPath = log;
        } else if (argument[0] == '-') {
            index = parseOptionGroup(parsed, argc, argv, index);
        } else if (options.fileName == nullptr) {
            options.fileName = argument;
        } else {
            dieWithInvalidOption();
        }
    }
    checkCombinedValues(parsed);
    return options;
}
