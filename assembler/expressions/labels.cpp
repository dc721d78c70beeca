#include "labels.h"

#include "../driver/AsmState.h"
#include "../driver/text.h"
#include "../scanner/tokenStream.h"

#include <cstring>
#include <deque>
#include <vector>

namespace {

constexpr uint32_t GOLDEN_RATIO = 0x9E3779B9u;

// The index starts at this many slots and doubles before it is half full.
constexpr std::size_t FIRST_INDEX_SIZE = 1024;

struct LabelTableState {
    // Records never move once made: the buckets' chains and the index point
    // into this.
    std::deque<LabelRecord> records;
    // The last record of each bucket's chain, so that appending is one step.
    LabelRecord* bucketTails[LABEL_BUCKET_COUNT] = {};
    // Open addressing with linear probing; a null slot ends a probe.
    std::vector<LabelRecord*> index = std::vector<LabelRecord*>(FIRST_INDEX_SIZE);
    // The full name of the last local name scanned: labelName points here.
    std::string joinedLocalName;
};

LabelTableState table;

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

// The key's bytes are upper-cased as they are read, so that names differing
// only in case hash alike without a copy of the name.
inline uint32_t upperByte(const char* key, int index)
{
    return asciiUpper(static_cast<unsigned char>(key[index]));
}

inline uint32_t littleEndianWord(const char* key)
{
    return upperByte(key, 0) | (upperByte(key, 1) << 8) | (upperByte(key, 2) << 16) | (upperByte(key, 3) << 24);
}

uint32_t hashUpperCased(const char* key, uint32_t length)
{
    uint32_t a = GOLDEN_RATIO, b = GOLDEN_RATIO, c = GOLDEN_RATIO;
    uint32_t remaining = length;
    while (remaining >= 12) {
        a += littleEndianWord(key);
        b += littleEndianWord(key + 4);
        c += littleEndianWord(key + 8);
        mix(a, b, c);
        key += 12;
        remaining -= 12;
    }
    c += length;
    switch (remaining) {
    case 11: c += upperByte(key, 10) << 24; [[fallthrough]];
    case 10: c += upperByte(key, 9) << 16; [[fallthrough]];
    case 9: c += upperByte(key, 8) << 8; [[fallthrough]];
    case 8: b += upperByte(key, 7) << 24; [[fallthrough]];
    case 7: b += upperByte(key, 6) << 16; [[fallthrough]];
    case 6: b += upperByte(key, 5) << 8; [[fallthrough]];
    case 5: b += upperByte(key, 4); [[fallthrough]];
    case 4: a += upperByte(key, 3) << 24; [[fallthrough]];
    case 3: a += upperByte(key, 2) << 16; [[fallthrough]];
    case 2: a += upperByte(key, 1) << 8; [[fallthrough]];
    case 1: a += upperByte(key, 0); break;
    default: break;
    }
    mix(a, b, c);
    return c;
}

// Eight bytes at a time, in either byte order: the index's hash need only
// agree with itself within a run.
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

constexpr uint64_t GOLDEN_RATIO_64 = 0x9E3779B97F4A7C15u;

uint64_t hashStep(uint64_t hash, uint64_t bytes)
{
    return (hash ^ upperCasedBytes(bytes)) * GOLDEN_RATIO_64;
}

// The index's own hash, a word at a time: every look-up of a name not yet
// known to its token pays it, where labelHash, which fixes the symbol
// file's order, folds and mixes the name a byte at a time. The last word
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
    return hash & (table.index.size() - 1);
}

std::size_t nextSlot(std::size_t slot)
{
    return (slot + 1) & (table.index.size() - 1);
}

LabelRecord** indexSlotOf(std::string_view name, uint32_t hash)
{
    std::size_t slot = firstSlot(hash);
    for (; table.index[slot]; slot = nextSlot(slot)) {
        const LabelRecord* record = table.index[slot];
        // Names are mostly written the same way each time: a plain
        // comparison settles those before the case-blind one.
        if (record->hash == hash && (record->name == name || equalIgnoringCase(record->name, name)))
            break;
    }
    return &table.index[slot];
}

void growIndex()
{
    std::vector<LabelRecord*> old(table.index.size() * 2);
    old.swap(table.index);
    for (LabelRecord* record : old) {
        if (!record)
            continue;
        std::size_t slot = firstSlot(record->hash);
        while (table.index[slot])
            slot = nextSlot(slot);
        table.index[slot] = record;
    }
}

void appendToBucket(LabelRecord& record)
{
    const std::size_t bucket = labelHash(record.name) & (LABEL_BUCKET_COUNT - 1);
    LabelRecord*& tail = table.bucketTails[bucket];
    (tail ? tail->next : asmState.labelBuckets[bucket]) = &record;
    tail = &record;
}

}  // namespace

void clearLabels()
{
    for (LabelRecord*& head : asmState.labelBuckets)
        head = nullptr;
    for (LabelRecord*& tail : table.bucketTails)
        tail = nullptr;
    table.records.clear();
    table.index.assign(FIRST_INDEX_SIZE, nullptr);
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
    LabelRecord* record = findLabel(asmState.labelName);
    if (slot)
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
    LabelRecord& record = table.records.emplace_back();
    record.definitionPass = asmState.pass;
    record.hash = hash;
    record.name = name;
    *slot = &record;
    appendToBucket(record);
    if (2 * table.records.size() >= table.index.size())
        growIndex();
    return &record;
}

void joinLocalName()
{
    table.joinedLocalName.assign(asmState.globalLabel);
    table.joinedLocalName.append(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    asmState.labelName = table.joinedLocalName;
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
