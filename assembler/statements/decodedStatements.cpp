#include "decodedStatements.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../expressions/evaluator.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "routes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Longer data is read again in every pass: the kept forms stay small.
constexpr std::size_t MAX_KEPT_BYTES = 255;

// What one statement emitted: bytes, or one run of a fill byte (DS).
struct Emitted {
    unsigned char bytes[MAX_KEPT_BYTES];
    std::size_t byteCount = 0;
    int32_t fillCount = 0;
    unsigned char fillByte = 0;
    bool qualifies = true;
};

// A kept statement: the records from start up to start + span (a replay
// point), and what it emits: up to four bytes held in payload, more in the
// pool from payload on, or a fill run of payload bytes. Twelve bytes, read in
// pass order.
struct KeptStatement {
    uint32_t start;
    uint8_t span;
    uint8_t byteCount;  // 0 for a fill run
    uint8_t fillByte;
    bool fill;
    uint32_t payload;
};
static_assert(sizeof(KeptStatement) == 12);

constexpr std::size_t INLINE_BYTES = sizeof(uint32_t);

// The kept statements of a pass and the pool of their longer data.
struct KeptStatements {
    std::vector<KeptStatement> statements;
    std::vector<unsigned char> pool;

    bool empty() const { return statements.empty(); }
    void clear()
    {
        statements.clear();
        pool.clear();
    }
    const unsigned char* bytesOf(const KeptStatement& statement) const
    {
        if (statement.byteCount <= INLINE_BYTES)
            return reinterpret_cast<const unsigned char*>(&statement.payload);
        return pool.data() + statement.payload;
    }
};

struct DecodedState {
    KeptStatements kept;                  // by the first pass that kept, served in the later ones
    const KeptStatement* next = nullptr;  // the next one to serve
    const KeptStatement* end = nullptr;
    std::size_t nextStart = NO_RECORD;  // its start, NO_RECORD after the last
    bool keeps = false;
    unsigned rewritesAtStart = 0;
    unsigned rewritesAtEnd = 0;
    Emitted emitted;
};

DecodedState decoded;

// ORBANT_FRESH_PASSES (any value) makes every pass read every statement,
// which the tests compare against.
bool enabled()
{
    static const bool fresh = [] {
        const char* value = std::getenv("ORBANT_FRESH_PASSES");
        return value && *value;
    }();
    return !fresh;
}

// The emit operations' ranges: a value outside them warns in the final pass.
bool fitsWidth(int32_t value, int32_t width)
{
    return width == 1 ? value >= -128 && value <= 255 : value >= -32768 && value <= 65535;
}

void addBytes(const unsigned char* bytes, std::size_t count)
{
    Emitted& emitted = decoded.emitted;
    if (emitted.fillCount > 0 || count > MAX_KEPT_BYTES - emitted.byteCount) {
        emitted.qualifies = false;
        return;
    }
    std::memcpy(emitted.bytes + emitted.byteCount, bytes, count);
    emitted.byteCount += count;
}

void recordValue(int32_t value, int32_t width)
{
    Emitted& emitted = decoded.emitted;
    if (!fitsWidth(value, width) || emitted.fillCount > 0 || emitted.byteCount + 2 > MAX_KEPT_BYTES) {
        emitted.qualifies = false;
        return;
    }
    emitted.bytes[emitted.byteCount] = static_cast<unsigned char>(value);
    emitted.bytes[emitted.byteCount + 1] = static_cast<unsigned char>(value >> 8);
    emitted.byteCount += static_cast<std::size_t>(width);
}

void recordText()
{
    addBytes(reinterpret_cast<const unsigned char*>(asmState.tokenText),
             static_cast<std::size_t>(asmState.tokenLength));
}

void recordFill(int32_t value, int32_t count)
{
    Emitted& emitted = decoded.emitted;
    if (emitted.byteCount > 0 || emitted.fillCount > 0 || !fitsWidth(value, 1))
        emitted.qualifies = false;
    emitted.fillCount = count;
    emitted.fillByte = static_cast<unsigned char>(value);
}

constexpr EmitRecorder RECORDER = {recordValue, recordText, recordFill};

void keep(std::size_t start, std::size_t resume, const Emitted& emitted)
{
    KeptStatements& kept = decoded.kept;
    KeptStatement statement = {static_cast<uint32_t>(start),
                               static_cast<uint8_t>(resume - start),
                               static_cast<uint8_t>(emitted.byteCount),
                               emitted.fillByte,
                               emitted.fillCount > 0,
                               0};
    if (statement.fill) {
        statement.payload = static_cast<uint32_t>(emitted.fillCount);
    } else if (emitted.byteCount <= INLINE_BYTES) {
        std::memcpy(&statement.payload, emitted.bytes, emitted.byteCount);
    } else {
        statement.payload = static_cast<uint32_t>(kept.pool.size());
        kept.pool.insert(kept.pool.end(), emitted.bytes, emitted.bytes + emitted.byteCount);
    }
    kept.statements.push_back(statement);
}

void runAndKeep(StatementHandler handler)
{
    const std::size_t start = currentRecordIndex();
    const unsigned warnings = warningsRaised();
    const unsigned quotients = zeroDivisorsPassed();
    const unsigned rewrites = recordRewriteCount();
    Emitted& emitted = decoded.emitted;
    emitted.byteCount = 0;
    emitted.fillCount = 0;
    emitted.qualifies = true;
    emitRecorder = &RECORDER;
    handler();
    emitRecorder = nullptr;
    if (!emitted.qualifies || start == NO_RECORD || warnings != warningsRaised() || quotients != zeroDivisorsPassed()
        || rewrites != recordRewriteCount())
        return;
    const std::size_t resume = standAloneReplayPoint(start);
    if (resume != NO_RECORD && resume - start <= UINT8_MAX)
        keep(start, resume, emitted);
}

int64_t keptSize(const KeptStatement& statement)
{
    return statement.fill ? static_cast<int64_t>(statement.payload) : statement.byteCount;
}

void passKeptBefore(std::size_t index)
{
    while (decoded.next != decoded.end && decoded.next->start < index)
        ++decoded.next;
    decoded.nextStart = decoded.next != decoded.end ? decoded.next->start : NO_RECORD;
}

void stopServing()
{
    decoded.next = decoded.end;
    decoded.nextStart = NO_RECORD;
}

// Emits the kept statement that starts at record index (curToken's) and
// goes on after it; false when there is none or it must be read: the
// listing wants its operands, or its bytes would reach past the output's
// limit. (Records scanned anew end the replay, and so serving, for the pass.)
bool serveKept(std::size_t index)
{
    passKeptBefore(index);
    if (decoded.nextStart != index)
        return false;
    const KeptStatement& statement = *decoded.next;
    if (listingActive() || asmState.outputPosition + keptSize(statement) > OUTPUT_SIZE_LIMIT)
        return false;
    if (statement.fill)
        emitFill(statement.fillByte, static_cast<int32_t>(statement.payload));
    else
        emitKeptBytes(decoded.kept.bytesOf(statement), statement.byteCount);
    skipRecordsTo(index, index + statement.span);
    passKeptBefore(index + 1);
    advanceToken();
    return true;
}

}  // namespace

void startDecodedPass()
{
    // Records made anew since (another text) leave nothing kept valid.
    if (recordRewriteCount() != decoded.rewritesAtEnd)
        decoded.kept.clear();
    // What is kept holds for every later pass: only a pass with nothing
    // kept keeps.
    decoded.keeps = enabled() && !asmState.finalPass && decoded.kept.empty();
    decoded.rewritesAtStart = recordRewriteCount();
    decoded.next = decoded.kept.statements.data();
    decoded.end = decoded.next + decoded.kept.statements.size();
    passKeptBefore(0);
}

void endDecodedPass()
{
    decoded.rewritesAtEnd = recordRewriteCount();
    decoded.keeps = false;
    stopServing();
    if (decoded.rewritesAtEnd != decoded.rewritesAtStart)
        decoded.kept.clear();
}

void runDecodable(StatementHandler handler, int token)
{
    const std::size_t index = replayedRecordIndex();
    if (index >= decoded.nextStart && index != NO_RECORD && serveKept(index))
        return;
    if (decoded.keeps && bytesFollowFromTokens(token))
        runAndKeep(handler);
    else
        handler();
}
