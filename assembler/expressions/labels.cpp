#include "labels.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/largeBlocks.h"
#include "../driver/base/sourceFiles.h"
#include "../driver/base/text.h"
#include "../driver/base/textStore.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

constexpr uint32_t GOLDEN_RATIO = 0x9E3779B9u;

// The index starts at this many slots and doubles before it is half full.
constexpr std::size_t FIRST_INDEX_SIZE = 1024;
// Records come in blocks of this many while they take less than an array
// block's large size, then in blocks of that size: a few small blocks for
// most programs, huge pages for one of hundreds of thousands of labels.
constexpr std::size_t RECORD_BLOCK_SIZE = 1024;
constexpr std::size_t LARGE_RECORD_BLOCK_SIZE = ArrayBlock::LARGE_FROM / sizeof(LabelRecord);

// Index slots come zeroed: a large block from the system, where a vector
// would clear each slot itself, and the index doubles often.
class ZeroedSlots {
public:
    explicit ZeroedSlots(std::size_t count) : block(count * sizeof(LabelRecord*), ArrayBlock::Bytes::ZEROED) {}
    LabelRecord*& operator[](std::size_t slot) const { return static_cast<LabelRecord**>(block.get())[slot]; }

private:
    ArrayBlock block;
};

struct LabelTableState {
    // The records, in blocks that never move: the buckets' chains and the
    // index point into them.
    std::vector<ArrayBlock> recordBlocks;
    LabelRecord* nextRecord = nullptr;
    std::size_t recordsLeft = 0;  // in the last block
    std::size_t recordCount = 0;
    // The records' names, in blocks that never move either.
    TextStore names;
    // Open addressing with linear probing; a null slot ends a probe.
    ZeroedSlots index{FIRST_INDEX_SIZE};
    std::size_t indexSize = FIRST_INDEX_SIZE;
    // The full name of the last local name scanned: labelName points here.
    std::string joinedLocalName;
};

LabelTableState labelTable;

// The last record of each bucket's chain, so that appending is one step.
// Outside the table, so that it starts zeroed without a clearing at start-up.
LabelRecord* bucketTails[LABEL_BUCKET_COUNT];

// Three steps to a line, as the hash is usually written.
// clang-format off
inline void mix(uint32_t& a, uint32_t& b, uint32_t& c)
{
    a -= b; a -= c; a ^= c >> 13;
    b -= c; b -= a; b ^= a << 8;
    c -= a; c -= b; c ^= b >> 13;
    a -= b; a -= c; a ^= c >> 12;
    b -= c; b -= a; b ^= a << 16;
    c -= a; c -= b; c ^= b >> 5;
    a -= b; a -= c; a ^= c >> 3;
    b -= c; b -= a; b ^= a << 10;
    c -= a; c -= b; c ^= b >> 15;
}
// clang-format on

// Native byte order: the index's hash need only agree with itself within
// a run.
uint64_t wordAt(const char* bytes)
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

uint32_t halfWordAt(const char* bytes)
{
    uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The first byte lowest, whatever the platform: the bucket hash fixes the
// symbol file's order.
uint64_t littleEndianWordAt(const char* bytes)
{
    const uint64_t word = wordAt(bytes);
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap64(word);
    return word;
}

uint64_t littleEndianHalfWordAt(const char* bytes)
{
    const uint32_t word = halfWordAt(bytes);
    if constexpr (std::endian::native == std::endian::big)
        return __builtin_bswap32(word);
    return word;
}

// Upper-cases the letters among eight bytes at once. A byte's top bit is set
// where adding 1FH carries it past 7FH (at least "a") and adding 05H does not
// (at most "z"); bytes above 7FH are no letters.
constexpr uint64_t upperCasedBytes(uint64_t bytes)
{
    constexpr uint64_t ONES = 0x0101010101010101u;
    const uint64_t lowBits = bytes & (0x7F * ONES);
    const uint64_t letters = (lowBits + 0x1F * ONES) & ~(lowBits + 0x05 * ONES) & ~bytes & (0x80 * ONES);
    return bytes - (letters >> 2);
}

// A twelve-byte block of the bucket hash: bytes 0 to 7, then 8 to 11.
struct Block {
    uint64_t first;
    uint64_t second;
};

// The 0 to 11 bytes left at a name's end, zero-extended to a block. The
// loads end at the name's last byte and shift the bytes before the wanted
// ones out, so that no byte past the name is read.
Block lastBlock(const char* bytes, uint32_t count)
{
    if (count >= 8)
        return {littleEndianWordAt(bytes), littleEndianHalfWordAt(bytes + count - 4) >> (8 * (12 - count))};
    if (count >= 4) {
        const uint64_t upper = littleEndianHalfWordAt(bytes + count - 4) >> (8 * (8 - count));
        return {littleEndianHalfWordAt(bytes) | upper << 32, 0};
    }
    if (count == 0)
        return {0, 0};
    auto byte = [bytes](uint32_t index) { return uint64_t{static_cast<unsigned char>(bytes[index])} << (8 * index); };
    return {byte(0) | byte(count / 2) | byte(count - 1), 0};
}

// Names differing only in case hash alike: the bytes are upper-cased eight
// at a time as they are read.
uint32_t hashUpperCased(const char* key, uint32_t length)
{
    uint32_t a = GOLDEN_RATIO, b = GOLDEN_RATIO, c = GOLDEN_RATIO;
    auto addBlock = [&a, &b, &c](Block block, int secondShift) {
        const uint64_t first = upperCasedBytes(block.first);
        a += static_cast<uint32_t>(first);
        b += static_cast<uint32_t>(first >> 32);
        c += static_cast<uint32_t>(upperCasedBytes(block.second)) << secondShift;
    };
    uint32_t remaining = length;
    while (remaining >= 12) {
        addBlock({littleEndianWordAt(key), littleEndianHalfWordAt(key + 8)}, 0);
        mix(a, b, c);
        key += 12;
        remaining -= 12;
    }
    // The length takes the last block's low byte, its eleven bytes the rest.
    c += length;
    addBlock(lastBlock(key, remaining), 8);
    mix(a, b, c);
    return c;
}

constexpr uint64_t GOLDEN_RATIO_64 = 0x9E3779B97F4A7C15u;

// Setting every byte's 20H bit folds the letters' case, and a few other
// pairs of bytes (@ and `, [ and {) with them: those only share a hash.
uint64_t hashStep(uint64_t hash, uint64_t bytes)
{
    constexpr uint64_t CASE_BITS = 0x2020202020202020u;
    return (hash ^ (bytes | CASE_BITS)) * GOLDEN_RATIO_64;
}

// The index's own hash, a word at a time: every look-up of a name not yet
// known to its token pays it, where labelHash, which fixes the symbol
// file's order, runs three words through a long mix per twelve bytes. The last word
// overlaps the one before it, so that no byte past the name is read.
uint32_t indexHash(std::string_view name)
{
    const char* bytes = name.data();
    std::size_t remaining = name.size();
    uint64_t hash = remaining * GOLDEN_RATIO_64;
    if (remaining >= 8) {
        for (; remaining > 8; bytes += 8, remaining -= 8)
            hash = hashStep(hash, wordAt(bytes));
        hash = hashStep(hash, wordAt(bytes + remaining - 8));
    } else if (remaining >= 4) {
        hash = hashStep(hash, uint64_t{halfWordAt(bytes)} << 32 | halfWordAt(bytes + remaining - 4));
    } else if (remaining > 0) {
        auto byte = [bytes](std::size_t index) { return uint64_t{static_cast<unsigned char>(bytes[index])}; };
        hash = hashStep(hash, byte(0) << 16 | byte(remaining / 2) << 8 | byte(remaining - 1));
    }
    // A product's bit depends only on the bits below it: the high half,
    // where the last bytes tell, is folded down and multiplied once more.
    hash ^= hash >> 32;
    return static_cast<uint32_t>((hash * GOLDEN_RATIO_64) >> 32);
}

std::size_t firstSlot(uint32_t hash)
{
    return hash & (labelTable.indexSize - 1);
}

std::size_t nextSlot(std::size_t slot)
{
    return (slot + 1) & (labelTable.indexSize - 1);
}

// Whether two names of one length hold the same bytes, read as indexHash
// reads them: a word at a time, the last word overlapping the one before.
bool sameBytes(const char* left, const char* right, std::size_t size)
{
    if (size >= 8) {
        for (std::size_t at = 0; at + 8 < size; at += 8)
            if (wordAt(left + at) != wordAt(right + at))
                return false;
        return wordAt(left + size - 8) == wordAt(right + size - 8);
    }
    if (size >= 4)
        return halfWordAt(left) == halfWordAt(right) && halfWordAt(left + size - 4) == halfWordAt(right + size - 4);
    return size == 0 || (left[0] == right[0] && left[size / 2] == right[size / 2] && left[size - 1] == right[size - 1]);
}

// Out of line: the probe loop stays small for the usual case.
[[gnu::noinline]] bool equalInOtherCase(std::string_view left, std::string_view right)
{
    return equalIgnoringCase(left, right);
}

// Names are mostly written the same way each time: a plain comparison
// settles those before the case-blind one.
bool isNamed(const LabelRecord& record, std::string_view name, uint32_t hash)
{
    if (record.hash != hash || record.name.size() != name.size())
        return false;
    return sameBytes(record.name.data(), name.data(), name.size()) || equalInOtherCase(record.name, name);
}

LabelRecord** indexSlotOf(std::string_view name, uint32_t hash)
{
    std::size_t slot = firstSlot(hash);
    while (labelTable.index[slot] && !isNamed(*labelTable.index[slot], name, hash))
        slot = nextSlot(slot);
    return &labelTable.index[slot];
}

void growIndex()
{
    const std::size_t oldSize = labelTable.indexSize;
    ZeroedSlots old = std::exchange(labelTable.index, ZeroedSlots(2 * oldSize));
    labelTable.indexSize = 2 * oldSize;
    for (std::size_t oldSlot = 0; oldSlot < oldSize; ++oldSlot) {
        LabelRecord* record = old[oldSlot];
        if (!record)
            continue;
        std::size_t slot = firstSlot(record->hash);
        while (labelTable.index[slot])
            slot = nextSlot(slot);
        labelTable.index[slot] = record;
    }
}

void startRecordBlock()
{
    const bool large = labelTable.recordCount * sizeof(LabelRecord) >= ArrayBlock::LARGE_FROM;
    const std::size_t records = large ? LARGE_RECORD_BLOCK_SIZE : RECORD_BLOCK_SIZE;
    labelTable.nextRecord
        = static_cast<LabelRecord*>(labelTable.recordBlocks.emplace_back(records * sizeof(LabelRecord)).get());
    labelTable.recordsLeft = records;
}

// A record with every field at its default.
LabelRecord& newRecord()
{
    if (labelTable.recordsLeft == 0)
        startRecordBlock();
    --labelTable.recordsLeft;
    ++labelTable.recordCount;
    return *new (labelTable.nextRecord++) LabelRecord();
}

void appendToBucket(LabelRecord& record)
{
    const std::size_t bucket = labelHash(record.name) & (LABEL_BUCKET_COUNT - 1);
    LabelRecord*& tail = bucketTails[bucket];
    (tail ? tail->next : asmState.labelBuckets[bucket]) = &record;
    tail = &record;
}

}  // namespace

void clearLabels()
{
    // A run starts with an empty table: its buckets need no clearing.
    if (labelTable.recordCount == 0)
        return;
    for (LabelRecord*& head : asmState.labelBuckets)
        head = nullptr;
    for (LabelRecord*& tail : bucketTails)
        tail = nullptr;
    labelTable.recordBlocks.clear();
    labelTable.nextRecord = nullptr;
    labelTable.recordsLeft = 0;
    labelTable.recordCount = 0;
    labelTable.names.clear();
    labelTable.index = ZeroedSlots(FIRST_INDEX_SIZE);
    labelTable.indexSize = FIRST_INDEX_SIZE;
}

uint32_t labelHash(std::string_view name)
{
    return hashUpperCased(name.data(), static_cast<uint32_t>(name.size()));
}

LabelRecord* findLabel(std::string_view name)
{
    return *indexSlotOf(name, indexHash(name));
}

namespace {

// The first look-up of a name token: out of line, so that the later ones,
// most of all, stay short.
[[gnu::noinline]] LabelRecord* findAndKeepTokenLabel(LabelRecord** slot)
{
    if (!slot)
        return findLabel(asmState.labelName);
    LabelRecord* record = *indexSlotOf(asmState.labelName, currentTokenLabelHash());
    *slot = record;
    return record;
}

}  // namespace

LabelRecord* findTokenLabel()
{
    LabelRecord** slot = currentTokenLabelSlot();
    if (slot && *slot)
        return *slot;
    return findAndKeepTokenLabel(slot);
}

LabelRecord* insertLabel(std::string_view name)
{
    const uint32_t hash = indexHash(name);
    LabelRecord** slot = indexSlotOf(name, hash);
    if (*slot)
        return nullptr;
    LabelRecord& record = newRecord();
    record.definitionPass = asmState.pass;
    record.hash = hash;
    record.name = labelTable.names.keep(name);
    *slot = &record;
    appendToBucket(record);
    if (2 * labelTable.recordCount >= labelTable.indexSize)
        growIndex();
    return &record;
}

uint32_t prefetchLabel(std::string_view name)
{
    const uint32_t hash = indexHash(name);
    __builtin_prefetch(&labelTable.index[firstSlot(hash)]);
    return hash;
}

void setDefinitionPlace(LabelRecord* record, int segment, int line)
{
    record->definitionSegment = segment;
    record->definitionLine = line;
}

void joinLocalName()
{
    labelTable.joinedLocalName.assign(asmState.globalLabel);
    labelTable.joinedLocalName.append(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    asmState.labelName = labelTable.joinedLocalName;
    asmState.tokenLength = static_cast<int>(asmState.labelName.size());
}

void setLabelName(const char* text, int length)
{
    asmState.labelName = std::string_view(text, static_cast<std::size_t>(length));
}

void setGlobalLabelFromLabelName()
{
    asmState.globalLabel = asmState.labelName;
}

void resetGlobalLabel()
{
    asmState.globalLabel.clear();
}

namespace {

// The edit distance (insertions, deletions, replacements) between two names
// without regard to case, or limit + 1 when it exceeds limit.
std::size_t distanceWithin(std::string_view left, std::string_view right, std::size_t limit)
{
    if ((left.size() > right.size() ? left.size() - right.size() : right.size() - left.size()) > limit)
        return limit + 1;
    std::vector<std::size_t> previous(right.size() + 1);
    std::vector<std::size_t> current(right.size() + 1);
    for (std::size_t j = 0; j <= right.size(); ++j)
        previous[j] = j;
    for (std::size_t i = 1; i <= left.size(); ++i) {
        current[0] = i;
        std::size_t rowMinimum = i;
        for (std::size_t j = 1; j <= right.size(); ++j) {
            std::size_t replace = previous[j - 1]
                                  + (asciiUpper(static_cast<unsigned char>(left[i - 1]))
                                             != asciiUpper(static_cast<unsigned char>(right[j - 1]))
                                         ? 1
                                         : 0);
            current[j] = std::min({replace, previous[j] + 1, current[j - 1] + 1});
            rowMinimum = std::min(rowMinimum, current[j]);
        }
        if (rowMinimum > limit)
            return limit + 1;
        std::swap(previous, current);
    }
    return std::min(previous[right.size()], limit + 1);
}

}  // namespace

const LabelRecord* nearestLabel(std::string_view name)
{
    constexpr std::size_t MOST_EDITS = 2;
    const std::size_t limit = std::min(MOST_EDITS, name.size() / 3);
    const LabelRecord* nearest = nullptr;
    std::size_t nearestDistance = limit + 1;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next) {
            std::size_t distance = distanceWithin(name, record->name, limit);
            if (distance < nearestDistance) {
                nearest = record;
                nearestDistance = distance;
            }
        }
    return nearest;
}

void reportLabelNotFound()
{
    const LabelRecord* nearest = nearestLabel(asmState.labelName);
    reportLabelError("not found", currentTokenMention(), nearest ? nearest->name : std::string_view());
}

void reportLabelNotDefined()
{
    reportLabelError("not defined within allowable passes", currentTokenMention());
}

void reportDuplicateLabel(const TokenMention& label)
{
    const LabelRecord* first = findLabel(asmState.labelName);
    DiagnosticNote note{definitionPlace(first->definitionSegment, first->definitionLine), "first defined here"};
    if (first->fromCommandLine) {
        note.place = "<command-line>";
        note.text.assign("'").append(first->name).append("' is defined by -D");
    }
    reportErrorNaming("Duplicate label definition", label, {note});
}
