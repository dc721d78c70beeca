// The token stream that the statement loop, the encoders and the evaluator
// read: curToken is the parsers' one cursor into it.
//
// The first pass over the flattened source scans it and records every token;
// later passes over the same text replay the records instead of scanning
// again. A replayed token leaves exactly the state a fresh scan would leave:
// where the CPU mode differs from the one a token was scanned in, the text is
// scanned again from that token on, and recorded anew.
#pragma once

#include "../driver/base/AsmState.h"
#include "scannerActions.h"
#include "tokenRecords.h"
#include "tokens.h"

#include <cstddef>
#include <cstdint>

struct LabelRecord;

// Records come in blocks of this many, which never move.
constexpr unsigned RECORD_BLOCK_BITS = 19;
constexpr std::size_t RECORD_BLOCK_SIZE = std::size_t{1} << RECORD_BLOCK_BITS;

struct TokenCursor {
    // While replaying, the records still to deliver in the current block;
    // both null otherwise.
    const TokenRecord* next = nullptr;
    const TokenRecord* end = nullptr;
    std::size_t endIndex = 0;              // the record index of end
    const char* text = nullptr;            // the text the records point into
    int currentName = -1;                  // the current token's name record, if any
    TokenRecord* const* blocks = nullptr;  // every block of records, in order
};
extern TokenCursor tokenCursor;

// Every way of fetching a token but the quick path of a replay.
void advanceTokenOtherwise();
// Sets labelName (and globalLabel for a global definition) from the record of a name.
void deliverRecordedName(const TokenRecord& record);

// Fetches the next token into curToken: the one place that moves the cursor.
// Inline, as the parsers call it for every token: most replayed tokens only
// set the token fields.
inline void advanceToken()
{
    const TokenRecord* record = tokenCursor.next;
    if (record == tokenCursor.end || (record->kindAndMode & NEEDS_MORE_THAN_FIELDS) != asmState.cpuMode)
        return advanceTokenOtherwise();
    tokenCursor.next = record + 1;
    tokenCursor.currentName = -1;
    asmState.tokenText = const_cast<char*>(tokenCursor.text) + record->textOffset;
    asmState.tokenLength = record->textLength;
    if (record->kindAndMode & SETS_VALUE)
        asmState.tokenValue = record->value;
    else if (record->kindAndMode & LINE_MARKER)
        enterLine(record->value);
    else if (record->kindAndMode & NAME)
        deliverRecordedName(*record);
    asmState.curToken = record->tokenAndScanDistance & TOKEN_MASK;
}

// Called once the pass's input is set to a text that stays in place for the
// whole run: its tokens come from the records an earlier pass made of it.
// Before the first call (preprocessing) tokens are scanned, not recorded.
void startTokenPass();

// Where the label record of the current name token (an identifier or a label
// definition) is kept between passes; nullptr for other tokens.
LabelRecord** currentTokenLabelSlot();
// The label table's hash of that name (prefetchLabel's), where there is a slot.
uint32_t currentTokenLabelHash();

// The scanner read a file marker, which gives no token of its own: a pass
// that records keeps it as an event before the next token.
void recordFileMarker();

// For what keeps statements by the records their tokens were read from.
// Record indexes stay valid until records are dropped and recorded anew
// (scanned again in another CPU mode); each such rewrite is counted.
constexpr std::size_t NO_RECORD = SIZE_MAX;
// The record that delivered curToken while a pass replays records;
// NO_RECORD otherwise (and before the first token).
inline std::size_t replayedRecordIndex()
{
    if (!tokenCursor.end)
        return NO_RECORD;
    return tokenCursor.endIndex - static_cast<std::size_t>(tokenCursor.end - tokenCursor.next) - 1;
}
// The same, NO_RECORD at the end of the input.
inline std::size_t currentRecordIndex()
{
    return asmState.curToken == TOKEN_END_OF_INPUT ? NO_RECORD : replayedRecordIndex();
}
// The record of index, which has been recorded.
inline const TokenRecord& recordAt(std::size_t index)
{
    return tokenCursor.blocks[index >> RECORD_BLOCK_BITS][index & (RECORD_BLOCK_SIZE - 1)];
}
unsigned recordRewriteCount();
// The record that delivered curToken while a pass replays records.
inline const TokenRecord& replayedRecord()
{
    return tokenCursor.next[-1];
}
// The record before record, of index.
inline const TokenRecord& recordBefore(const TokenRecord& record, std::size_t index)
{
    return (index & (RECORD_BLOCK_SIZE - 1)) != 0 ? (&record)[-1] : recordAt(index - 1);
}
// With first the record a statement began at and the statement read: the
// point from which a replay delivers curToken as a fresh read would (before
// the file markers read with it); NO_RECORD at the end of the input.
inline std::size_t replayPointAfter(std::size_t first)
{
    std::size_t resume = currentRecordIndex();
    if (resume == NO_RECORD)
        return NO_RECORD;
    // File markers read with the next token are delivered with it.
    const TokenRecord* record = &replayedRecord();
    while (resume > first + 1) {
        const TokenRecord& before = recordBefore(*record, resume);
        if (!(before.kindAndMode & FILE_MARKER))
            break;
        record = &before;
        --resume;
    }
    return resume;
}
// Whether the record before first, of index, is a line marker between two
// statements, scanned in the mode of first.
inline bool recordJoinsLines(const TokenRecord& first, std::size_t index)
{
    const TokenRecord& marker = recordBefore(first, index);
    return (marker.kindAndMode & (LINE_MARKER | FILE_MARKER)) == LINE_MARKER
           && (marker.kindAndMode & MODE_MASK) == (first.kindAndMode & MODE_MASK);
}
// While replaying, with first the record of curToken: goes on as if the
// tokens of the records after first up to resume (a replay point) had been
// delivered: tokenValue as the last of
// them that sets one left it, and the next token from resume.
void skipRecordsTo(std::size_t first, std::size_t resume);
