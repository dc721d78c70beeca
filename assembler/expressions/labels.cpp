#include "labels.h"

#include "../driver/AsmState.h"
#include "../driver/diagnostics.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t GOLDEN_RATIO = 0x9E3779B9u;

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

inline unsigned char upperCase(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
}

// The key's bytes are upper-cased as they are read, so that names differing
// only in case hash alike without a copy of the name.
inline uint32_t upperByte(const char* key, int index)
{
    return upperCase(static_cast<unsigned char>(key[index]));
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

bool sameNameIgnoringCase(const char* left, const char* right)
{
    for (;; ++left, ++right) {
        unsigned char l = upperCase(static_cast<unsigned char>(*left));
        if (l != upperCase(static_cast<unsigned char>(*right)))
            return false;
        if (l == '\0')
            return true;
    }
}

LabelRecord*& bucketOf(const char* name, int length)
{
    return asmState.labelBuckets[labelHash(name, length) & (LABEL_BUCKET_COUNT - 1)];
}

// Grows a heap string held in AsmState to hold at least `needed` bytes.
void reserveString(char*& text, int& capacity, int needed)
{
    if (needed <= capacity)
        return;
    int grown = capacity ? capacity : 64;
    while (grown < needed)
        grown = grown > (1 << 29) ? needed : grown * 2;
    text = static_cast<char*>(reallocOrExit(text, static_cast<std::size_t>(grown)));
    capacity = grown;
}

}  // namespace

void clearLabels()
{
    for (LabelRecord*& head : asmState.labelBuckets) {
        while (head) {
            LabelRecord* next = head->next;
            std::free(head);
            head = next;
        }
    }
}

uint32_t labelHash(const char* name, int length)
{
    return hashUpperCased(name, static_cast<uint32_t>(length));
}

LabelRecord* findLabel(const char* name, int length)
{
    for (LabelRecord* record = bucketOf(name, length); record; record = record->next)
        if (sameNameIgnoringCase(record->name, name))
            return record;
    return nullptr;
}

LabelRecord* insertLabel(const char* name, int length)
{
    LabelRecord** link = &bucketOf(name, length);
    for (; *link; link = &(*link)->next)
        if (sameNameIgnoringCase((*link)->name, name))
            return nullptr;
    std::size_t nameSize = std::strlen(name) + 1;
    auto* record = static_cast<LabelRecord*>(allocOrExit(offsetof(LabelRecord, name) + nameSize));
    record->next = nullptr;
    record->value = 0;
    record->definitionPass = asmState.pass;
    std::memcpy(record->name, name, nameSize);
    *link = record;
    return record;
}

void joinLocalName()
{
    const char* global = asmState.globalLabel ? asmState.globalLabel : "";
    int globalLength = static_cast<int>(std::strlen(global));
    int localLength = asmState.tokenLength;
    reserveString(asmState.labelName, asmState.labelNameCapacity, globalLength + localLength + 1);
    std::memcpy(asmState.labelName, global, static_cast<std::size_t>(globalLength));
    std::memcpy(asmState.labelName + globalLength, asmState.tokenText, static_cast<std::size_t>(localLength));
    asmState.labelName[globalLength + localLength] = '\0';
    asmState.tokenLength = globalLength + localLength;
}

void setLabelName(const char* text, int length)
{
    reserveString(asmState.labelName, asmState.labelNameCapacity, length + 1);
    std::memcpy(asmState.labelName, text, static_cast<std::size_t>(length));
    asmState.labelName[length] = '\0';
}

void setGlobalLabelFromLabelName()
{
    int length = static_cast<int>(std::strlen(asmState.labelName));
    reserveString(asmState.globalLabel, asmState.globalLabelCapacity, length + 1);
    std::memcpy(asmState.globalLabel, asmState.labelName, static_cast<std::size_t>(length) + 1);
}

void resetGlobalLabel()
{
    if (asmState.globalLabel)
        asmState.globalLabel[0] = '\0';
}
