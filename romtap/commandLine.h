// romtap's command line: its options, and the texts that describe them.
#pragma once

struct Options {
    bool listFlag = false;
    bool verify = false;        // -v: read every block twice
    bool checksums = false;     // -c: print the image's size, CRC32 and SHA-1
    bool sizeWarnings = false;  // -w: warn about mirrored banks
    int slot = -1;              // -1: the first enabled slot
    int beginAddress = 0x4000;
    int blockSize = 0x4000;
    int mapperAddress = 0x4000;
    int blockCount = 1;
    const char* fileName = nullptr;
    const char* databasePath = nullptr;  // --db: identify the dump in this software database
    const char* logPath = nullptr;       // --log: append a record of the run to this file
};

// The title's first line, which names the version.
const char* versionLine();
void printTitle();
[[noreturn]] void printUsageAndFail();

// Reads the arguments from left to right. Help, version, invalid options
// and values that are mistyped or out of range end the run here.
Options parseArguments(int argc, char** argv);
