#include "decodedStatements.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../driver/base/sourceFiles.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "routes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t MAX_RUN_BYTES = UINT16_MAX;

// Kept statements that follow each other, one a line, served at once: the
// records from start, the last statement's from lastStart (its line marker
// just before) up to lastStart + lastSpan (a replay point), and the bytes
// they emit, from pool on, byteCount in all, bytesBeforeLast before the last
// statement. A DS run stands alone: it emits fillCount (in pool) times
// fillByte (in bytesBeforeLast).
struct KeptRun {
    uint32_t start;
    uint32_t lastStart;
    uint32_t pool;
    uint16_t byteCount;
    uint16_t bytesBeforeLast;
    uint8_t lastSpan;
    bool fill;
};

// The kept runs of a pass, in pass order, and the bytes they emit.
struct KeptRuns {
    std::vector<KeptRun> runs;
    std::vector<unsigned char> pool;

    bool empty() const { return runs.empty(); }
    void clear()
    {
        runs.clear();
        pool.clear();
    }
};

struct DecodedState {
    KeptRuns kept;                  // by the first pass that kept, served in the later ones
    const KeptRun* next = nullptr;  // the next one to serve
    const KeptRun* end = nullptr;
    std::size_t nextStart = NO_RECORD;       // its start, NO_RECORD after the last
    const bool* qualifyingStarts = nullptr;  // by token
    bool keeps = false;
    unsigned rewritesAtStart = 0;
    unsigned rewritesAtEnd = 0;
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

// Whether the statement from start joins the last run: that run's last
// statement ended on the line before, and both emit bytes.
bool joinsLastRun(const KeptRuns& kept, std::size_t start, const EmitCapture& emitted)
{
    if (kept.runs.empty() || emitted.fillCount > 0)
        return false;
    const KeptRun& last = kept.runs.back();
    return !last.fill && last.lastStart + last.lastSpan + 1 == start
           && last.byteCount + emitted.byteCount <= MAX_RUN_BYTES && recordJoinsLines(start - 1);
}

void keep(std::size_t start, std::size_t resume, const EmitCapture& emitted)
{
    KeptRuns& kept = decoded.kept;
    const auto lastSpan = static_cast<uint8_t>(resume - start);
    if (emitted.fillCount > 0) {
        kept.runs.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(start),
                             static_cast<uint32_t>(emitted.fillCount), 0, emitted.fillByte, lastSpan, true});
        return;
    }
    if (joinsLastRun(kept, start, emitted)) {
        KeptRun& run = kept.runs.back();
        run.bytesBeforeLast = run.byteCount;
        run.byteCount = static_cast<uint16_t>(run.byteCount + emitted.byteCount);
        run.lastStart = static_cast<uint32_t>(start);
        run.lastSpan = lastSpan;
    } else {
        kept.runs.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(start),
                             static_cast<uint32_t>(kept.pool.size()), static_cast<uint16_t>(emitted.byteCount), 0,
                             lastSpan, false});
    }
    for (std::size_t i = 0; i < emitted.byteCount; ++i)
        kept.pool.push_back(emitted.bytes[i]);
}

// Out of line, as is serveKept, so that a statement with neither to do
// costs runDecodable no saved registers.
[[gnu::noinline]] void runAndKeep(StatementHandler handler)
{
    const std::size_t start = currentRecordIndex();
    const unsigned dependences = asmState.stateDependences;
    EmitCapture& emitted = emitCapture;
    emitted.byteCount = 0;
    emitted.fillCount = 0;
    emitted.spoiled = false;
    emitted.active = true;
    handler();
    emitted.active = false;
    // These statements read names, "$" and "$$" only through the evaluator,
    // which counts them, and none reads past the end of its line.
    if (emitted.spoiled || start == NO_RECORD || dependences != asmState.stateDependences)
        return;
    const std::size_t resume = replayPointAfter(start);
    if (resume != NO_RECORD && resume - start <= UINT8_MAX)
        keep(start, resume, emitted);
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

// Whether the run's statements before the last would pass the address an
// ORG allows, which their ends warn of: then they are read one by one.
bool passesAddressLimit(const KeptRun& run)
{
    return asmState.addressLimit != 0 && int64_t{asmState.address} + run.bytesBeforeLast > asmState.addressLimit;
}

// The statements of the run before its last, as the statement loop would
// have run them: their bytes, and the end of the line before the last.
void serveAllButLast(const KeptRun& run, std::size_t index)
{
    emitKeptBytes(decoded.kept.pool.data() + run.pool, run.bytesBeforeLast);
    skipRecordsTo(index, run.lastStart - 1);
    advanceToken();
    endStatement();
    advanceToken();
    markStatementStart();
}

// Emits the kept run that starts at record index (curToken's) and goes on
// after it; false when there is none or it must be read: the listing wants
// its operands, its bytes would reach past the output's limit or past an
// ORG's. (Records scanned anew end the replay, and so serving, for the pass.)
[[gnu::noinline]] bool serveKept(std::size_t index)
{
    passKeptBefore(index);
    if (decoded.nextStart != index || listingActive())
        return false;
    const KeptRun& run = *decoded.next;
    const int64_t size = run.fill ? run.pool : run.byteCount;
    if (asmState.outputPosition + size > OUTPUT_SIZE_LIMIT || (!run.fill && passesAddressLimit(run)))
        return false;
    if (run.fill) {
        emitFill(static_cast<unsigned char>(run.bytesBeforeLast), static_cast<int32_t>(run.pool));
    } else {
        if (run.lastStart != index)
            serveAllButLast(run, index);
        emitKeptBytes(decoded.kept.pool.data() + run.pool + run.bytesBeforeLast,
                      static_cast<std::size_t>(run.byteCount - run.bytesBeforeLast));
    }
    skipRecordsTo(run.lastStart, run.lastStart + run.lastSpan);
    ++decoded.next;
    decoded.nextStart = decoded.next != decoded.end ? decoded.next->start : NO_RECORD;
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
    decoded.qualifyingStarts = tokensWithStandAloneBytes();
    decoded.rewritesAtStart = recordRewriteCount();
    decoded.next = decoded.kept.runs.data();
    decoded.end = decoded.next + decoded.kept.runs.size();
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
    if (decoded.keeps && static_cast<unsigned>(token) < TOKEN_COUNT && decoded.qualifyingStarts[token])
        runAndKeep(handler);
    else
        handler();
}
