#include "tokenStream.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/freshPasses.h"
#include "../driver/base/largeBlocks.h"
#include "../driver/base/textStore.h"
#include "../expressions/scannerLabels.h"
#include "flattenedText.h"
#include "scanner.h"
#include "scannerActions.h"
#include "tokens.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

TokenCursor tokenCursor;

namespace {

// Records' memory in large blocks, for arrays that are allocated once (or
// seldom) and filled from front to back.
template <typename Record>
struct LargeBlockAllocator {
    using value_type = Record;

    LargeBlockAllocator() = default;
    template <typename Other>
    LargeBlockAllocator(const LargeBlockAllocator<Other>&)
    {
    }
    Record* allocate(std::size_t count)
    {
        void* block = allocateLargeBlock(count * sizeof(Record));
        if (!block)
            outOfMemory();
        return static_cast<Record*>(block);
    }
    void deallocate(Record* block, std::size_t count) { freeLargeBlock(block, count * sizeof(Record)); }
    friend bool operator==(const LargeBlockAllocator&, const LargeBlockAllocator&) { return true; }
};

// The records of a pass, in blocks that never move: a program of millions
// of tokens would need twice its records' memory while a vector regrows.
// A block is three huge pages where the system has them (a power of two of
// twelve-byte records that ends on a huge page); pages never touched cost
// nothing.
class RecordBlocks {
public:
    static constexpr unsigned BLOCK_BITS = RECORD_BLOCK_BITS;
    static constexpr std::size_t BLOCK_SIZE = RECORD_BLOCK_SIZE;

    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    TokenRecord& operator[](std::size_t index) { return blocks[index >> BLOCK_BITS][index & (BLOCK_SIZE - 1)]; }
    TokenRecord& append()
    {
        if (appendNext == appendEnd)
            startBlockAt(count);
        ++count;
        return *appendNext++;
    }
    // The record appended, or nullptr where its block is full: append then.
    TokenRecord* appendInBlock()
    {
        if (appendNext == appendEnd)
            return nullptr;
        ++count;
        return appendNext++;
    }
    // Where records are appended next, and how many fit in their block.
    TokenRecord* room(std::size_t& free)
    {
        if (appendNext == appendEnd)
            startBlockAt(count);
        free = static_cast<std::size_t>(appendEnd - appendNext);
        return appendNext;
    }
    // Takes the first added of the records room gave.
    void appendFilled(std::size_t added)
    {
        appendNext += added;
        count += added;
    }
    // Keeps the first newSize records.
    void truncate(std::size_t newSize)
    {
        count = newSize;
        appendNext = appendEnd = nullptr;
    }
    void clear()
    {
        blocks.clear();
        starts.clear();
        tokenCursor.blocks = nullptr;
        truncate(0);
    }
    // The records from index to the end of its block; false when none is left.
    bool blockFrom(std::size_t index, const TokenRecord*& first, const TokenRecord*& end)
    {
        if (index >= count)
            return false;
        first = &(*this)[index];
        end = first + std::min(BLOCK_SIZE - (index & (BLOCK_SIZE - 1)), count - index);
        return true;
    }

private:
    // Appending goes on at index, the first of its block or after a truncate.
    [[gnu::noinline]] void startBlockAt(std::size_t index)
    {
        if ((index >> BLOCK_BITS) == blocks.size()) {
            blocks.push_back(allocateBlock());
            starts.push_back(blocks.back().get());
            tokenCursor.blocks = starts.data();
        }
        appendNext = &(*this)[index];
        appendEnd = appendNext + (BLOCK_SIZE - (index & (BLOCK_SIZE - 1)));
    }

    struct FreeBlock {
        void operator()(TokenRecord* block) const { LargeBlockAllocator<TokenRecord>().deallocate(block, BLOCK_SIZE); }
    };
    using Block = std::unique_ptr<TokenRecord[], FreeBlock>;

    static Block allocateBlock() { return Block(LargeBlockAllocator<TokenRecord>().allocate(BLOCK_SIZE)); }

    std::vector<Block> blocks;
    std::vector<TokenRecord*> starts;  // each block's first record, for recordAt
    std::size_t count = 0;
    TokenRecord* appendNext = nullptr;
    TokenRecord* appendEnd = nullptr;
};

// The full name a name token composed, and its label record once a look-up
// has found it.
struct NameRecord {
    const char* text;  // in the scanned text, or in the name store
    uint32_t length : 31;
    uint32_t globalDefinition : 1;  // a global label definition: the scope of local names
    uint32_t labelHash;             // the label table's, for the look-up
    LabelRecord* label;
};
static_assert(sizeof(void*) != 8 || sizeof(NameRecord) == 24, "the hash fills what would be padding");

// While preprocessing, tokens are scanned and not kept. A pass scans each
// token as it is read and records it only where its tokens are fresh
// (freshPasses); otherwise it delivers them from records, which it scans
// ahead in runs where there are none yet.
enum class StreamMode {
    SCANNING,
    RECORDING,
    REPLAYING
};

// Tokens scanned ahead at most: a CPU directive makes those after it be
// scanned again in its mode.
constexpr std::size_t RUN_LENGTH = 512;

struct TokenStreamState {
    StreamMode mode = StreamMode::SCANNING;
    RecordBlocks records;
    std::unordered_map<std::size_t, uint32_t> longLengths;    // by record index
    std::unordered_map<std::size_t, uint32_t> farScanStarts;  // by record index
    std::vector<NameRecord, LargeBlockAllocator<NameRecord>> nameRecords;
    // Copies of the full names the scanned text does not hold as they are
    // (local names joined to their scope): labelName points into them.
    TextStore names;
    // Where the next scan begins: after the last token scanned.
    std::size_t scanFrom = 0;
    unsigned rewrites = 0;  // the times records were dropped
    // The pass's text, which stays current for the whole pass: read after
    // every token scanned, where a call would cost more than the reading.
    const ScanBuffer* scanned = nullptr;
};

TokenStreamState tokenStream;

// Points the replay at record index; false when there is none.
bool replayFrom(std::size_t index)
{
    if (!tokenStream.records.blockFrom(index, tokenCursor.next, tokenCursor.end))
        return false;
    tokenCursor.endIndex = index + static_cast<std::size_t>(tokenCursor.end - tokenCursor.next);
    return true;
}

uint32_t offsetInText(const char* pointer)
{
    return static_cast<uint32_t>(pointer - tokenCursor.text);
}

// A field too large for the record just appended, kept aside by its index.
[[gnu::noinline]] void keepAside(std::unordered_map<std::size_t, uint32_t>& fields, std::size_t value)
{
    fields[tokenStream.records.size() - 1] = static_cast<uint32_t>(value);
}

// The length of the record just appended.
uint8_t setLength(TokenRecord& record, int length)
{
    if (length < LONG_LENGTH) {
        record.textLength = static_cast<uint8_t>(length);
        return 0;
    }
    record.textLength = LONG_LENGTH;
    keepAside(tokenStream.longLengths, static_cast<std::size_t>(length));
    return LONG_TEXT;
}

// The token of the record just appended, whose text is at textOffset, and
// where its scan began.
void setTokenAndScanStart(TokenRecord& record, int token, uint32_t textOffset, std::size_t start)
{
    // A text before its scan's start wraps to a far distance too.
    std::size_t distance = textOffset - start;
    if (distance >= FAR_SCAN_START) [[unlikely]] {
        distance = FAR_SCAN_START;
        keepAside(tokenStream.farScanStarts, start);
    }
    record.tokenAndScanDistance = static_cast<uint16_t>(token | (distance << TOKEN_BITS));
}

uint32_t scanStartOf(std::size_t index)
{
    const TokenRecord& record = tokenStream.records[index];
    const unsigned distance = record.tokenAndScanDistance >> TOKEN_BITS;
    if (distance == FAR_SCAN_START)
        return tokenStream.farScanStarts[index];
    return record.textOffset - distance;
}

int lengthOf(const TokenRecord& record, std::size_t index)
{
    return (record.kindAndMode & LONG_TEXT) ? static_cast<int>(tokenStream.longLengths[index]) : record.textLength;
}

bool isNameToken(int token)
{
    return token == TOKEN_IDENTIFIER || token == TOKEN_LABEL_DEFINITION;
}

// The record of the full name name, which stays in place, and its index.
int addNameRecord(std::string_view name, bool globalDefinition)
{
    const uint32_t labelHash = prefetchLabel(name);
    tokenStream.nameRecords.push_back(
        {name.data(), static_cast<uint32_t>(name.size()), globalDefinition, labelHash, nullptr});
    return static_cast<int>(tokenStream.nameRecords.size() - 1);
}

[[gnu::noinline]] int recordName(int token)
{
    const bool global = token == TOKEN_LABEL_DEFINITION && asmState.tokenText[0] != '.';
    const std::string_view name = asmState.labelName;
    // A name that is its own token text lies in the scanned text, which
    // stays in place; a joined one is copied.
    return addNameRecord(name.data() == asmState.tokenText ? name : tokenStream.names.keep(name), global);
}

int recordRunName(std::string_view token, std::string_view scope, bool globalDefinition)
{
    return addNameRecord(scope.empty() ? token : tokenStream.names.keepJoined(scope, token), globalDefinition);
}

// The record of the token just scanned, from the token fields; a scan
// leaves the CPU mode as it found it. Names only where maybeName.
template <bool maybeName>
void fillRecord(TokenRecord& record, int token, uint8_t lengthFlag)
{
    record.value = asmState.tokenValue;
    uint8_t kind = static_cast<uint8_t>(asmState.cpuMode) | lengthFlag;
    const char* text = asmState.tokenText;
    if (ruleActions.valueSet) {
        kind |= SETS_VALUE;
    } else if (maybeName && isNameToken(token)) {
        kind |= NAME;
        record.value = tokenCursor.currentName = recordName(token);
    } else if (token == TOKEN_END_OF_STATEMENT && text[0] == '\x01') {
        kind |= LINE_MARKER;
        record.value = asmState.lineNumber;
    } else if (token == TOKEN_STRING && asmState.tokenLength != 0) {
        kind |= STRING_BODY;
        text = ruleActions.stringBodySource;
    }
    const uint32_t textOffset = offsetInText(text);
    record.textOffset = textOffset;
    record.kindAndMode = kind;
    setTokenAndScanStart(record, token, textOffset, tokenStream.scanFrom);
}

// The tokens record leaves: a name, a long text, a full block.
[[gnu::noinline]] void recordFully(int token)
{
    TokenRecord& record = tokenStream.records.append();
    fillRecord<true>(record, token, setLength(record, asmState.tokenLength));
}

// Most tokens: their record is filled in place, with no call, so that the
// recording holds no value across a call and saves no registers for one.
void record(int token)
{
    const int length = asmState.tokenLength;
    TokenRecord* record = nullptr;
    if (length < LONG_LENGTH && (ruleActions.valueSet || !isNameToken(token)))
        record = tokenStream.records.appendInBlock();
    if (!record)
        return recordFully(token);
    record->textLength = static_cast<uint8_t>(length);
    fillRecord<false>(*record, token, 0);
}

void forgetRecords()
{
    tokenStream.records.clear();
    tokenStream.longLengths.clear();
    tokenStream.farScanStarts.clear();
    tokenStream.nameRecords.clear();
    tokenStream.names.clear();
    tokenStream.scanFrom = 0;
    ++tokenStream.rewrites;
}

// Room for more names than a program's text mostly holds, so that the
// records are not copied while they grow: what is never filled is never
// touched.
void reserveNameRecords()
{
    constexpr std::size_t TEXT_BYTES_PER_NAME = 8;
    tokenStream.nameRecords.reserve(flattenedTextEnd.size / TEXT_BYTES_PER_NAME + 1);
}

void scanToken()
{
    tokenCursor.currentName = -1;
    ruleActions.valueSet = false;
    const int token = nextToken();
    asmState.curToken = token;
    if (token != 0)
        record(token);
    tokenStream.scanFrom = static_cast<std::size_t>(tokenStream.scanned->cursor - tokenStream.scanned->start);
}

// Sets tokenText and tokenLength as the scan of record index did.
void deliverText(const TokenRecord& record, std::size_t index)
{
    asmState.tokenText = const_cast<char*>(tokenCursor.text) + record.textOffset;
    asmState.tokenLength = lengthOf(record, index);
}

void deliver(const TokenRecord& record, std::size_t index)
{
    tokenCursor.currentName = -1;
    deliverText(record, index);
    const uint8_t kind = record.kindAndMode;
    if (kind & SETS_VALUE)
        asmState.tokenValue = record.value;
    else if (kind & NAME)
        deliverRecordedName(record);
    else if (kind & LINE_MARKER)
        enterLine(record.value);
    else if (kind & STRING_BODY)
        captureStringBody();
    asmState.curToken = record.tokenAndScanDistance & TOKEN_MASK;
}

// Scans a run of tokens ahead of the parsers, from where the records end, in
// the current mode; false where the next token needs more than its record
// or the text has ended.
bool scanRunAhead()
{
    TokenRun run;
    run.records = tokenStream.records.room(run.room);
    run.room = std::min(run.room, RUN_LENGTH);
    run.from = tokenStream.scanFrom;
    run.mode = asmState.cpuMode;
    run.scope = asmState.globalLabel;
    run.recordName = recordRunName;
    const std::size_t added = scanTokenRun(run);
    tokenStream.records.appendFilled(added);
    tokenStream.scanFrom = run.from;
    return added != 0;
}

void replayToken();

// Replaying has delivered every record: the tokens from there on are scanned,
// ahead where they can be, and delivered from their records. A token that
// needs more is scanned as it is read, and recorded with the file markers
// read with it.
void continueAtEnd()
{
    if (scanRunAhead()) {
        replayFrom(tokenCursor.endIndex);
        return replayToken();
    }
    const std::size_t recorded = tokenStream.records.size();
    tokenStream.mode = StreamMode::RECORDING;
    setScanPosition(tokenStream.scanFrom);
    scanToken();
    tokenStream.mode = StreamMode::REPLAYING;
    if (tokenStream.records.size() != recorded) {
        // As if the records just made had been delivered from their block.
        tokenCursor.endIndex = tokenStream.records.size();
        tokenCursor.next = tokenCursor.end = &tokenStream.records[tokenCursor.endIndex - 1] + 1;
    }
}

// The records from index on no longer hold (the CPU mode differs from the one
// they were scanned in): scan again from there, recording anew. File markers
// scanned in the same call as the token are scanned again with it.
void rescanFrom(std::size_t index)
{
    const uint32_t start = scanStartOf(index);
    while (index > 0 && (tokenStream.records[index - 1].kindAndMode & FILE_MARKER) && scanStartOf(index - 1) == start)
        --index;
    tokenStream.records.truncate(index);
    ++tokenStream.rewrites;
    tokenStream.scanFrom = start;
    tokenCursor.next = tokenCursor.end = nullptr;
    tokenCursor.endIndex = index;
    continueAtEnd();
}

void replayToken()
{
    for (;;) {
        if (tokenCursor.next == tokenCursor.end && !replayFrom(tokenCursor.endIndex))
            return continueAtEnd();
        const std::size_t index = replayedRecordIndex() + 1;  // the record about to be delivered
        const TokenRecord& record = *tokenCursor.next;
        if (record.kindAndMode & FILE_MARKER) {
            deliverText(record, index);
            scanFileMarker();
            ++tokenCursor.next;
            continue;
        }
        if ((record.kindAndMode & MODE_MASK) != asmState.cpuMode)
            return rescanFrom(index);
        ++tokenCursor.next;
        return deliver(record, index);
    }
}

}  // namespace

void deliverRecordedName(const TokenRecord& record)
{
    tokenCursor.currentName = record.value;
    const NameRecord& name = tokenStream.nameRecords[static_cast<std::size_t>(record.value)];
    asmState.labelName = std::string_view(name.text, name.length);
    if (name.globalDefinition)
        asmState.globalLabel.assign(name.text, name.length);
}

void advanceTokenOtherwise()
{
    if (tokenStream.mode == StreamMode::RECORDING)
        return scanToken();
    if (tokenStream.mode == StreamMode::REPLAYING)
        return replayToken();
    asmState.curToken = nextToken();
}

void startTokenPass()
{
    tokenCursor.currentName = -1;
    tokenStream.scanned = currentBuffer();
    const bool fresh = freshPasses();
    if (!fresh && scannedText() == tokenCursor.text && !tokenStream.records.empty()) {
        tokenStream.mode = StreamMode::REPLAYING;
        replayFrom(0);
        return;
    }
    forgetRecords();
    reserveNameRecords();
    tokenCursor.text = scannedText();
    tokenCursor.next = tokenCursor.end = nullptr;
    tokenCursor.endIndex = 0;
    tokenStream.mode = fresh ? StreamMode::RECORDING : StreamMode::REPLAYING;
}

LabelRecord** currentTokenLabelSlot()
{
    if (tokenCursor.currentName < 0)
        return nullptr;
    return &tokenStream.nameRecords[static_cast<std::size_t>(tokenCursor.currentName)].label;
}

uint32_t currentTokenLabelHash()
{
    return tokenStream.nameRecords[static_cast<std::size_t>(tokenCursor.currentName)].labelHash;
}

void recordFileMarker()
{
    if (tokenStream.mode != StreamMode::RECORDING)
        return;
    TokenRecord& record = tokenStream.records.append();
    record = {offsetInText(asmState.tokenText), 0, 0, FILE_MARKER, 0};
    record.kindAndMode |= setLength(record, asmState.tokenLength);
    setTokenAndScanStart(record, 0, record.textOffset, tokenStream.scanFrom);
}

unsigned recordRewriteCount()
{
    return tokenStream.rewrites;
}

void skipRecordsTo(std::size_t first, std::size_t resume)
{
    for (std::size_t index = resume - 1; index > first; --index) {
        const TokenRecord& record = tokenStream.records[index];
        if (record.kindAndMode & SETS_VALUE) {
            asmState.tokenValue = record.value;
            break;
        }
    }
    if (resume < tokenCursor.endIndex) {
        tokenCursor.next = tokenCursor.end - (tokenCursor.endIndex - resume);
    } else if (!replayFrom(resume)) {
        tokenCursor.next = tokenCursor.end = nullptr;
        tokenCursor.endIndex = resume;
    }
}
