// romtap: copies a game cartridge into a ROM image file, block by block,
// through the cartridge reader's driver library.
#include "reader_library.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

struct Options {
    bool listFlag = false;
    int slot = -1;  // -1: the first enabled slot
    int beginAddress = 0x4000;
    int blockSize = 0x4000;
    int mapperAddress = 0x4000;
    int blockCount = 1;
    const char *fileName = nullptr;
};

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

void printTitle() {
    std::fputs("romtap v0.5d - ROM dumper for the MSX Game Reader - by the romtap developers\n", stdout);
    std::fputs("-----------------------------------------------------------\n", stdout);
}

[[noreturn]] void printUsageAndFail() {
    for (const char *line : kUsageLines) std::fputs(line, stdout);
    std::exit(1);
}

[[noreturn]] void dieWithMessage(const char *text) {
    std::printf("%s\n", text);
    std::exit(1);
}

// For failures in the middle of the progress line.
[[noreturn]] void dieOnNewLine(const char *prefix, const char *text) {
    std::printf("\n%s", prefix);
    dieWithMessage(text);
}

// Set while "Dumping ROM in slot N..." waits for its end.
bool progressLineOpen = false;

[[noreturn]] void dieForMissingEntryPoint(const MissingEntryPoint &missing) {
    std::printf("%sMSX Game Reader library lacks %s!\n", progressLineOpen ? "\n" : "", missing.name);
    std::exit(1);
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

// Reads one option group such as "-li"; returns the index of the last argument used.
int parseOptionGroup(Options &options, int argc, char **argv, int index) {
    for (const char *letter = argv[index] + 1; *letter != '\0'; ++letter) {
        if (*letter == 'l') {
            options.listFlag = true;
        } else if (takesValue(*letter)) {
            if (index + 1 >= argc) {
                std::fprintf(stderr, "romtap: option -%c requires a value\n", *letter);
                std::exit(1);
            }
            storeOptionValue(options, *letter, argv[index + 1]);
            return index + 1;  // the rest of this argument is ignored
        } else {
            dieWithInvalidOption();
        }
    }
    return index;
}

Options parseArguments(int argc, char **argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        if (argv[index][0] == '-') {
            index = parseOptionGroup(options, argc, argv, index);
        } else if (options.fileName == nullptr) {
            options.fileName = argv[index];
        } else {
            dieWithInvalidOption();
        }
    }
    return options;
}

void bindOrDie(ReaderLibrary &reader) {
    if (bindReaderLibrary(reader) != 0) {
        std::fputs("failed to init gamereader\n", stdout);
        std::exit(1);
    }
}

void listReaders() {
    ReaderLibrary reader;
    bindOrDie(reader);
    bool found = false;
    for (int slot = 0; slot < kReaderSlotCount; ++slot) {
        if (!isSlotEnabled(reader, slot)) continue;
        found = true;
        std::printf("Found MSX Game Reader, Slot %d, %s.\n", slot,
                    hasCartridge(reader, slot) ? "cartridge inserted" : "no cartridge inserted");
    }
    if (!found) dieWithMessage("MSX GameReader not found!");
    unbindReaderLibrary(reader);
}

// Sized at least 1 so that the library never receives a null buffer.
std::vector<unsigned char> allocateTransferBuffer(int blockSize) {
    if (blockSize < 0) dieWithMessage("Invalid block size!");
    try {
        return std::vector<unsigned char>(static_cast<std::size_t>(std::max(blockSize, 1)));
    } catch (const std::bad_alloc &) {
        dieWithMessage("Out of memory!");
    }
}

bool appendBlock(std::FILE *image, const std::vector<unsigned char> &buffer, int blockSize) {
    const auto size = static_cast<std::size_t>(blockSize);
    return std::fwrite(buffer.data(), 1, size, image) == size && std::fflush(image) == 0;
}

void dumpBlock(ReaderLibrary &reader, const Options &options, int slot, int block,
               std::vector<unsigned char> &buffer, std::FILE *image) {
    std::fputs(".", stdout);
    std::fflush(stdout);
    if (options.blockCount > 1) {
        unsigned char bank = static_cast<unsigned char>(block & 0xFF);
        if (writeMemory(reader, slot, &bank, options.mapperAddress, 1) != 0)
            dieOnNewLine("MSX Game Reader error: ", lastResultText(reader));
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    if (readMemory(reader, slot, buffer.data(), options.beginAddress, options.blockSize) != 0)
        dieOnNewLine("MSX Game Reader error: ", lastResultText(reader));
    if (!appendBlock(image, buffer, options.blockSize)) dieOnNewLine("", "Error writing ROM file!");
}

void dumpRom(const Options &options) {
    ReaderLibrary reader;
    bindOrDie(reader);
    int slot = options.slot;
    if (slot == -1) {
        slot = firstEnabledSlot(reader);
        if (slot == -1) dieWithMessage("MSX Game Reader not found!");
    }
    if (!hasCartridge(reader, slot)) dieWithMessage("No ROM inserted in MSX Game Reader!");
    std::vector<unsigned char> buffer;
    if (options.blockCount > 0) buffer = allocateTransferBuffer(options.blockSize);
    std::FILE *image = std::fopen(options.fileName, "w+b");
    if (image == nullptr) dieWithMessage("Error writing ROM file!");
    std::printf("Dumping ROM in slot %d", slot);
    progressLineOpen = true;
    for (int block = 0; block < options.blockCount; ++block) dumpBlock(reader, options, slot, block, buffer, image);
    if (std::fclose(image) != 0) dieOnNewLine("", "Error writing ROM file!");
    std::fputs("done\n", stdout);
    unbindReaderLibrary(reader);
}

}  // namespace

int main(int argc, char **argv) {
    printTitle();
    if (argc < 2) printUsageAndFail();
    const Options options = parseArguments(argc, argv);
    try {
        if (options.listFlag) {
            listReaders();
        } else if (options.fileName != nullptr) {
            dumpRom(options);
        } else {
            printUsageAndFail();
        }
    } catch (const MissingEntryPoint &missing) {
        dieForMissingEntryPoint(missing);
    }
    return 0;
}
