#include "tokenStream.h"

#include "../driver/AsmState.h"
#include "scanner.h"
#include "scannerActions.h"
#include "tokens.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// The low two bits of TokenRecord::kindAndMode hold the CPU mode a token
// was scanned in; the others say what the record's value is and what a
// replay must do besides.
constexpr uint8_t MODE_MASK = 3;
enum RecordFlag : uint8_t {
    SETS_VALUE = 4,          // value is the tokenValue the scan set
    LINE_MARKER = 8,         // value is the line number the marker set
    NAME = 16,               // value indexes the name's record
    GLOBAL_DEFINITION = 32,  // a global label definition: the scope of local names
    STRING_BODY = 64,        // the text is copied out, as the scanner does
    FILE_MARKER = 128,       // sets sourceName and gives no token
};
static_assert(CPU_MODE_PREPROCESS <= MODE_MASK);

// Lengths from this on are kept aside, by record index.
constexpr uint8_t LONG_LENGTH = 255;

// One scanned token, or a file marker, as a pass after the first delivers it.
// Sixteen bytes: a program has millions of tokens.
struct TokenRecord {
    uint32_t scanStart;   // where the scan that found it began: a restart point
    uint32_t textOffset;  // tokenText, as an offset into the scanned text
    int32_t value;        // see RecordFlag
    uint16_t token;
    uint8_t kindAndMode;
    uint8_t textLength;  // tokenLength as the scan left it, or LONG_LENGTH
};
static_assert(sizeof(TokenRecord) == 16);

// The records of a pass, in blocks that never move: a program of millions
// of tokens would need twice its records' memory while a vector regrows.
class RecordBlocks {
public:
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    TokenRecord& operator[](std::size_t index) { return blocks[index >> BLOCK_BITS][index & BLOCK_MASK]; }
    void push_back(const TokenRecord& record)
    {
        if ((count >> BLOCK_BITS) == blocks.size())
            blocks.push_back(std::make_unique<TokenRecord[]>(BLOCK_MASK + 1));
        (*this)[count++] = record;
    }
    // Keeps the first newSize records.
    void truncate(std::size_t newSize) { count = newSize; }
    void clear()
    {
        blocks.clear();
        count = 0;
    }

private:
    static constexpr unsigned BLOCK_BITS = 16;
    static constexpr std::size_t BLOCK_MASK = (std::size_t{1} << BLOCK_BITS) - 1;
    std::vector<std::unique_ptr<TokenRecord[]>> blocks;
    std::size_t count = 0;
};

// The full name a name token composed (local names joined to their scope),
// and its label record once a look-up has found it.
struct NameRecord {
    uint32_t offset;  // into TokenStreamState::names
    uint32_t length;
    LabelRecord* label;
};

enum class StreamMode {
    SCANNING,
    RECORDING,
    REPLAYING
};

struct TokenStreamState {
    StreamMode mode = StreamMode::SCANNING;
    const char* text = nullptr;  // the text the records point into
    RecordBlocks records;
    std::unordered_map<std::size_t, uint32_t> longLengths;  // by record index
    std::vector<NameRecord> nameRecords;
    std::string names;
    std::size_t next = 0;         // the next record to replay
    std::size_t recordedEnd = 0;  // the scan position after the last record
    std::size_t scanStart = 0;    // of the token being scanned
    int currentName = -1;         // the current token's name record, if any
};

TokenStreamState stream;

uint32_t offsetInText(const char* pointer)
{
    return static_cast<uint32_t>(pointer - stream.text);
}

void setLength(TokenRecord& record, std::size_t index, int length)
{
    if (length < LONG_LENGTH) {
        record.textLength = static_cast<uint8_t>(length);
        return;
    }
    record.textLength = LONG_LENGTH;
    stream.longLengths[index] = static_cast<uint32_t>(length);
}

int lengthOf(const TokenRecord& record, std::size_t index)
{
    return record.textLength == LONG_LENGTH ? static_cast<int>(stream.longLengths[index]) : record.textLength;
}

int recordName(TokenRecord& record)
{
    record.kindAndMode |= NAME;
    if (record.token == TOKEN_LABEL_DEFINITION && asmState.tokenText[0] != '.')
        record.kindAndMode |= GLOBAL_DEFINITION;
    stream.nameRecords.push_back(
        {static_cast<uint32_t>(stream.names.size()), static_cast<uint32_t>(asmState.labelName.size()), nullptr});
    stream.names += asmState.labelName;
    return static_cast<int>(stream.nameRecords.size() - 1);
}

void record(int token, CpuMode mode)
{
    TokenRecord record{static_cast<uint32_t>(stream.scanStart),
                       0,
                       asmState.tokenValue,
                       static_cast<uint16_t>(token),
                       static_cast<uint8_t>(mode),
                       0};
    setLength(record, stream.records.size(), asmState.tokenLength);
    if (token == TOKEN_STRING && asmState.tokenLength != 0) {
        record.kindAndMode |= STRING_BODY;
        record.textOffset = offsetInText(scanning.stringBodySource);
    } else {
        record.textOffset = offsetInText(asmState.tokenText);
    }
    if (scanning.valueSet)
        record.kindAndMode |= SETS_VALUE;
    if (token == TOKEN_IDENTIFIER || token == TOKEN_LABEL_DEFINITION)
        record.value = stream.currentName = recordName(record);
    if (token == TOKEN_END_OF_STATEMENT && asmState.tokenText[0] == '\x01') {
        record.kindAndMode |= LINE_MARKER;
        record.value = asmState.lineNumber;
    }
    stream.records.push_back(record);
    stream.recordedEnd = scanPosition();
}

void forgetRecords()
{
    stream.records.clear();
    stream.longLengths.clear();
    stream.nameRecords.clear();
    stream.names.clear();
    stream.recordedEnd = 0;
}

void scanToken()
{
    stream.currentName = -1;
    stream.scanStart = scanPosition();
    scanning.valueSet = false;
    const CpuMode mode = asmState.cpuMode;
    int token = nextToken();
    asmState.curToken = token;
    if (token != 0)
        record(token, mode);
}

void deliverName(const TokenRecord& record)
{
    stream.currentName = record.value;
    const NameRecord& name = stream.nameRecords[static_cast<std::size_t>(record.value)];
    asmState.labelName.assign(stream.names, name.offset, name.length);
    if (record.kindAndMode & GLOBAL_DEFINITION)
        asmState.globalLabel = asmState.labelName;
}

// Sets tokenText and tokenLength as the scan of record index did.
void deliverText(const TokenRecord& record, std::size_t index)
{
    asmState.tokenText = const_cast<char*>(stream.text) + record.textOffset;
    asmState.tokenLength = lengthOf(record, index);
}

void deliver(const TokenRecord& record, std::size_t index)
{
    stream.currentName = -1;
    deliverText(record, index);
    const uint8_t kind = record.kindAndMode;
    if (kind & SETS_VALUE)
        asmState.tokenValue = record.value;
    else if (kind & NAME)
        deliverName(record);
    else if (kind & LINE_MARKER)
        enterLine(record.value);
    else if (kind & STRING_BODY)
        captureStringBody();
    asmState.curToken = record.token;
}

// The records from index on no longer hold (the CPU mode differs from the one
// they were scanned in): scan again from there, recording anew. File markers
// scanned in the same call as the token are scanned again with it.
void rescanFrom(std::size_t index)
{
    const uint32_t start = stream.records[index].scanStart;
    while (index > 0 && (stream.records[index - 1].kindAndMode & FILE_MARKER)
           && stream.records[index - 1].scanStart == start)
        --index;
    stream.records.truncate(index);
    setScanPosition(start);
    stream.mode = StreamMode::RECORDING;
    scanToken();
}

void continueScanningAtEnd()
{
    setScanPosition(stream.recordedEnd);
    stream.mode = StreamMode::RECORDING;
    scanToken();
}

void replayToken()
{
    for (;;) {
        if (stream.next == stream.records.size())
            return continueScanningAtEnd();
        const std::size_t index = stream.next;
        const TokenRecord& record = stream.records[index];
        if (record.kindAndMode & FILE_MARKER) {
            deliverText(record, index);
            scanFileMarker();
            ++stream.next;
            continue;
        }
        if ((record.kindAndMode & MODE_MASK) != asmState.cpuMode)
            return rescanFrom(index);
        ++stream.next;
        return deliver(record, index);
    }
}

}  // namespace

void advanceToken()
{
    if (stream.mode == StreamMode::REPLAYING)
        return replayToken();
    if (stream.mode == StreamMode::RECORDING)
        return scanToken();
    asmState.curToken = nextToken();
}

void startTokenPass()
{
    stream.next = 0;
    stream.currentName = -1;
    if (scannedText() == stream.text && !stream.records.empty()) {
        stream.mode = StreamMode::REPLAYING;
        return;
    }
    forgetRecords();
    stream.text = scannedText();
    stream.mode = StreamMode::RECORDING;
}

LabelRecord** currentTokenLabelSlot()
{
    if (stream.currentName < 0)
        return nullptr;
    return &stream.nameRecords[static_cast<std::size_t>(stream.currentName)].label;
}

void recordFileMarker()
{
    if (stream.mode != StreamMode::RECORDING)
        return;
    TokenRecord record{static_cast<uint32_t>(stream.scanStart), offsetInText(asmState.tokenText), 0, 0, FILE_MARKER, 0};
    setLength(record, stream.records.size(), asmState.tokenLength);
    stream.records.push_back(record);
}
