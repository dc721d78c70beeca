#include "command_line.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const char *const kUsageLines[] = {
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

void printUsage() {
    for (const char *line : kUsageLines) std::fputs(line, stdout);
}

[[noreturn]] void dieWithInvalidOption() {
    std::fputs("romtap: invalid option\n", stderr);
    std::exit(1);
}

// Every character is a digit: anything that is not a hex digit counts as 0.
int parseHex(const char *text) {
    std::uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        value <<= 4;
        const char digit = *text;
        if (digit >= '0' && digit <= '9') value += static_cast<std::uint32_t>(digit - '0');
        else if (digit >= 'A' && digit <= 'F') value += static_cast<std::uint32_t>(digit - 'A' + 10);
        else if (digit >= 'a' && digit <= 'f') value += static_cast<std::uint32_t>(digit - 'a' + 10);
    }
    return static_cast<int>(value);
}

void storeOptionValue(Options &options, char letter, const char *value) {
    switch (letter) {
        case 'i': options.slot = std::atoi(value); break;
        case 'b': options.beginAddress = parseHex(value); break;
        case 's': options.blockSize = parseHex(value); break;
        case 'm': options.mapperAddress = parseHex(value); break;
        case 'n': options.blockCount = std::atoi(value); break;
    }
}

bool takesValue(char letter) {
    return letter == 'i' || letter == 'b' || letter == 's' || letter == 'm' || letter == 'n';
}

// Returns false for a letter that is no flag.
bool setFlag(Options &options, char letter) {
    switch (letter) {
        case 'l': options.listFlag = true; return true;
        case 'v': options.verify = true; return true;
        case 'c': options.checksums = true; return true;
        case 'w': options.sizeWarnings = true; return true;
        default: return false;
    }
}

// Reads one option group such as "-li"; returns the index of the last argument used.
int parseOptionGroup(Options &options, int argc, char **argv, int index) {
    for (const char *letter = argv[index] + 1; *letter != '\0'; ++letter) {
        if (setFlag(options, *letter)) continue;
        if (!takesValue(*letter)) dieWithInvalidOption();
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

void printTitle() {
    std::fputs("romtap v0.5d - ROM dumper for the MSX Game Reader - by the romtap developers\n", stdout);
    std::fputs("-----------------------------------------------------------\n", stdout);
}

void printUsageAndFail() {
    printUsage();
    std::exit(1);
}

Options parseArguments(int argc, char **argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        const char *argument = argv[index];
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
