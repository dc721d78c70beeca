// The one record that every part of the assembler reads and writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct LabelRecord;

// Selects the scanner's rule set; the scanner maps it to its start condition.
enum CpuMode : int {
    CPU_MODE_Z80,
    CPU_MODE_R800,
    CPU_MODE_GBZ80,
    CPU_MODE_PREPROCESS,
};

constexpr int LABEL_BUCKET_COUNT = 16384;
// Assembling passes are numbered 1 to LAST_PASS, the final pass included.
constexpr int LAST_PASS = 5;
constexpr int SOURCE_NAME_SIZE = 256;  // 255 characters and the terminator

struct AsmState {
    // Run control
    int pass = 0;
    int finalPass = 0;        // 0 or -1
    int unresolvedCount = 0;  // nonzero: another pass is needed
    // What made a statement's outcome depend on more than its tokens, counted
    // for the statements later passes take as kept: each value read from a
    // label, "$" or "$$", each division by zero let through while a label is
    // undefined, each warning raised (printed or not).
    unsigned stateDependences = 0;

    // Source position
    char sourceName[SOURCE_NAME_SIZE] = {};
    int lineNumber = 0;

    // Streams
    FILE* inputFile = nullptr;
    FILE* flattenedFile = nullptr;
    FILE* outputFile = nullptr;

    // Token state
    int curToken = 0;
    int32_t tokenValue = 0;
    char* tokenText = nullptr;
    int tokenLength = 0;
    // Full name of the last identifier or label definition. It stays in
    // place until the next name token: it lies in the scanned text, in the
    // names the token stream keeps, or in the joined local name.
    std::string_view labelName;
    std::string globalLabel;  // scope of local names: the last global label defined
    LabelRecord* currentLabel = nullptr;

    // Assembly position
    int32_t address = 0;
    int32_t outputPosition = 0;
    int32_t phaseOffset = 0;
    int32_t addressLimit = 0;
    int32_t statementAddress = 0;
    int32_t statementOutputPosition = 0;
    int conditionalDepth = 0;
    CpuMode cpuMode = CPU_MODE_R800;

    // Tables
    LabelRecord* labelBuckets[LABEL_BUCKET_COUNT] = {};
};

extern AsmState asmState;

// Assembler arithmetic is 32-bit two's complement that wraps around.
inline int32_t wrappingAdd(int32_t left, int32_t right)
{
    return static_cast<int32_t>(static_cast<uint32_t>(left) + static_cast<uint32_t>(right));
}

inline int32_t wrappingSubtract(int32_t left, int32_t right)
{
    return static_cast<int32_t>(static_cast<uint32_t>(left) - static_cast<uint32_t>(right));
}

// Every emitted byte moves both the assembly address and the output position.
inline void advancePosition(int32_t count)
{
    asmState.address = wrappingAdd(asmState.address, count);
    asmState.outputPosition = wrappingAdd(asmState.outputPosition, count);
}

// Copies at most 255 characters of text into sourceName.
void setSourceName(const char* text);
