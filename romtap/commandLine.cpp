#include "commandLine.h"

#include "consoleOutput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

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
    "  -i <slot>      dump this slot (decimal); default: the first slot that\n",
    "                 reports a reader.\n",
    "  -b <address>   begin address of every block (hex); default 4000.\n",
    "  -s <size>      size of every block (hex); default 4000.\n",
    "  -m <address>   address of the rom mapper (hex); default 4000. With more\n",
    "                 than one block, the block number goes there before each.\n",
    "  -n <blocks>    number of blocks (decimal); default 1.\n",
    "  -v             verify: read every block a second time, selecting its\n",
    "                 bank again, and compare; a block that differs is read\n",
    "                 again up to 3 times, then the dump fails.\n",
    "  -c             after the dump, print the image's size, CRC32 and SHA-1.\n",
    "  -w             warn when a bank equals bank 0 (or the image's second\n",
    "                 half its first): the cartridge is probably smaller.\n",
    "  -h, --help     print this text.\n",
    "  --version      print the version.\n",
    "\n",
    "Hex values take every character as a digit: letters other than A to F\n",
    "count as 0, so 0xa000 is A000 and 4000h is 40000. Letters without a value\n",
    "may be grouped (-vcw, -li); a letter that takes a value takes the whole\n",
    "next argument and ends its group.\n",
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
    std::fputs("romtap: invalid option\n", stderr);
    std::exit(1);
}

// Every character is a digit: anything that is not a hex digit counts as 0.
int parseHex(const char* text)
{
    std::uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        value <<= 4;
        const char digit = *text;
        if (digit >= '0' && digit <= '9')
            value += static_cast<std::uint32_t>(digit - '0');
        else if (digit >= 'A' && digit <= 'F')
            value += static_cast<std::uint32_t>(digit - 'A' + 10);
        else if (digit >= 'a' && digit <= 'f')
            value += static_cast<std::uint32_t>(digit - 'a' + 10);
    }
    return static_cast<int>(value);
}

void storeOptionValue(Options& options, char letter, const char* value)
{
    switch (letter) {
    case 'i': options.slot = std::atoi(value); break;
    case 'b': options.beginAddress = parseHex(value); break;
    case 's': options.blockSize = parseHex(value); break;
    case 'm': options.mapperAddress = parseHex(value); break;
    case 'n': options.blockCount = std::atoi(value); break;
    }
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
int parseOptionGroup(Options& options, int argc, char** argv, int index)
{
    for (const char* letter = argv[index] + 1; *letter != '\0'; ++letter) {
        if (setFlag(options, *letter))
            continue;
        if (!takesValue(*letter))
            dieWithInvalidOption();
        if (index + 1 >= argc) {
            std::fprintf(stderr, "romtap: option -%c requires a value\n", *letter);
            std::exit(1);
        }
        storeOptionValue(options, *letter, argv[index + 1]);
        return index + 1;  // the rest of this argument is ignored
    }
    return index;
}

}  // namespace

void printTitle()
{
    std::fputs(ROMTAP_VERSION_TEXT " - ROM dumper for the MSX Game Reader - by the romtap developers\n", stdout);
    std::fputs("-----------------------------------------------------------\n", stdout);
}

void printUsageAndFail()
{
    printUsage();
    std::exit(1);
}

Options parseArguments(int argc, char** argv)
{
    Options options;
    for (int index = 1; index < argc; ++index) {
        const char* argument = argv[index];
        if (std::strcmp(argument, "--help") == 0)
            printHelp();
        if (std::strcmp(argument, "--version") == 0)
            endRun(0);  // the title names the version
        if (argument[0] == '-') {
            index = parseOptionGroup(options, argc, argv, index);
        } else if (options.fileName == nullptr) {
            options.fileName = argument;
        } else {
            dieWithInvalidOption();
        }
    }
    return options;
}
