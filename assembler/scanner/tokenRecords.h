// The record a pass keeps of each token it scanned, from which later passes
// deliver the token again without scanning it.
#pragma once

#include "../driver/base/AsmState.h"
#include "tokens.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The low two bits of TokenRecord::kindAndMode hold the CPU mode a token
// was scanned in; the others say what the record's value is and what a
// replay must do besides.
constexpr uint8_t MODE_MASK = 3;
enum RecordFlag : uint8_t {
    SETS_VALUE = 4,     // value is the tokenValue the scan set
    LINE_MARKER = 8,    // value is the line number the marker set
    NAME = 16,          // value indexes the name's record
    LONG_TEXT = 32,     // the text's length is kept aside, by record index
    STRING_BODY = 64,   // the text is copied out, as the scanner does
    FILE_MARKER = 128,  // sets sourceName and gives no token
};
static_assert(CPU_MODE_PREPROCESS <= MODE_MASK);

// A record scanned in the current mode and none of whose other flags is set
// is delivered by the quick path: it sets the token fields and, for a line
// marker or a name, the line or the name.
constexpr uint8_t NEEDS_MORE_THAN_FIELDS = MODE_MASK | LONG_TEXT | STRING_BODY | FILE_MARKER;

// One scanned token, or a file marker, as a pass after the first delivers it.
// Twelve bytes: a program has millions of tokens.
struct TokenRecord {
    uint32_t textOffset;  // tokenText, as an offset into the scanned text
    int32_t value;        // see RecordFlag
    // The token in the low TOKEN_BITS; above them how far before the text
    // the scan that found it began (a restart point), unless that is
    // FAR_SCAN_START: then it is kept aside by record index.
    uint16_t tokenAndScanDistance;
    uint8_t kindAndMode;
    uint8_t textLength;  // tokenLength as the scan left it, unless LONG_TEXT
};
static_assert(sizeof(TokenRecord) == 12);
constexpr unsigned TOKEN_BITS = 9;
constexpr uint16_t TOKEN_MASK = (1u << TOKEN_BITS) - 1;
constexpr unsigned FAR_SCAN_START = 0xFFFFu >> TOKEN_BITS;
static_assert(TOKEN_COUNT <= TOKEN_MASK + 1, "every token fits its bits");

// Lengths from this on are kept aside.
constexpr uint8_t LONG_LENGTH = 255;

// Tokens scanned ahead of the parsers, as records, by scanTokenRun.
struct TokenRun {
    TokenRecord* records = nullptr;  // room for `room` records
    std::size_t room = 0;
    std::size_t from = 0;  // the scan position to go on from; after the run, the position after it
    CpuMode mode = CPU_MODE_R800;
    std::string_view scope;  // the global label in force where the run begins
    // The name record of a name token: token is its text (for a label
    // definition without the colon), scope the global label a local name
    // joins.
    int (*recordName)(std::string_view token, std::string_view scope, bool globalDefinition) = nullptr;
};
