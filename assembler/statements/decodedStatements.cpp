#include "decodedStatements.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../driver/base/sourceFiles.h"
#include "../scanner/flattenedText.h"
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
// records from start, the last statement's from start + lastOffset (its
// line marker just before) up to there + lastSpan (a replay point), and the
// byteCount bytes they emit, bytesBeforeLast of them before the last
// statement, which follow those of the runs before in the pool. A DS run
// stands alone: the pool holds its count (four bytes, low first) and its
// fill byte. Twelve bytes: a run serves a few statements.
struct KeptRun {
    uint32_t start;
    uint16_t lastOffset;
    uint16_t byteCount;
    uint16_t bytesBeforeLast;
    uint8_t lastSpan;
    bool fill;

    std::size_t lastStart() const { return std::size_t{start} + lastOffset; }
};
static_assert(sizeof(KeptRun) == 12);

constexpr std::size_t FILL_BYTES = 5;

int32_t fillCountAt(const unsigned char* bytes)
{
    uint32_t count = 0;
    for (unsigned shift = 0; shift < 32; shift += 8)
        count |= uint32_t{*bytes++} << shift;
    return static_cast<int32_t>(count);
}

std::size_t poolBytes(const KeptRun& run)
{
    return run.fill ? FILL_BYTES : run.byteCount;
}

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
    // Room for more than a program's text mostly holds, so that neither is
    // copied while it grows: what is never filled is never touched.
    void reserveFor(std::size_t textBytes)
    {
        runs.reserve(textBytes / 32 + 1);
        pool.reserve(textBytes / 8 + 1);
    }
};

struct DecodedState {
    KeptRuns kept;                  // by the first pass that kept, served in the later ones
    const KeptRun* next = nullptr;  // the next one to serve
    const KeptRun* end = nullptr;
    const unsigned char* nextBytes = nullptr;  // its bytes in the pool
    std::size_t nextStart = NO_RECORD;         // its start, NO_RECORD after the last
    const bool* qualifyingStarts = nullptr;    // by token
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
    return !last.fill && last.lastStart() + last.lastSpan + 1 == start && start - last.start <= UINT16_MAX
           && last.byteCount + emitted.byteCount <= MAX_RUN_BYTES && recordJoinsLines(start - 1);
}

void keep(std::size_t start, std::size_t resume, const EmitCapture& emitted)
{
    KeptRuns& kept = decoded.kept;
    const auto lastSpan = static_cast<uint8_t>(resume - start);
    if (emitted.fillCount > 0) {
        kept.runs.push_back({static_cast<uint32_t>(start), 0, 0, 0, lastSpan, true});
        for (unsigned shift = 0; shift < 32; shift += 8)
            kept.pool.push_back(static_cast<unsigned char>(static_cast<uint32_t>(emitted.fillCount) >> shift));
        kept.pool.push_back(emitted.fillByte);
        return;
    }
    if (joinsLastRun(kept, start, emitted)) {
        KeptRun& run = kept.runs.back();
        run.bytesBeforeLast = run.byteCount;
        run.byteCount = static_cast<uint16_t>(run.byteCount + emitted.byteCount);
        run.lastOffset = static_cast<uint16_t>(start - run.start);
        run.lastSpan = lastSpan;
    } else {
        kept.runs.push_back(
            {static_cast<uint32_t>(start), 0, static_cast<uint16_t>(emitted.byteCount), 0, lastSpan, false});
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

void noteNextStart()
{
    decoded.nextStart = decoded.next != decoded.end ? decoded.next->start : NO_RECORD;
}

void passKeptBefore(std::size_t index)
{
    while (decoded.next != decoded.end && decoded.next->start < index)
        decoded.nextBytes += poolBytes(*decoded.next++);
    noteNextStart();
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
    emitKeptBytes(decoded.nextBytes, run.bytesBeforeLast);
    skipRecordsTo(index, run.lastStart() - 1);
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
    const unsigned char* bytes = decoded.nextBytes;
    if (run.fill) {
        const int32_t count = fillCountAt(bytes);
        if (asmState.outputPosition + int64_t{count} > OUTPUT_SIZE_LIMIT)
            return false;
        emitFill(bytes[FILL_BYTES - 1], count);
    } else {
        if (asmState.outputPosition + int64_t{run.byteCount} > OUTPUT_SIZE_LIMIT || passesAddressLimit(run))
            return false;
        // Between the run's statements only the end-of-statement check of
        // an ORG's end address could show: without one, the run goes out
        // at once.
        std::size_t served = 0;
        if (run.lastOffset != 0 && asmState.addressLimit != 0) {
            serveAllButLast(run, index);
            served = run.bytesBeforeLast;
            index = run.lastStart();
        }
        emitKeptBytes(bytes + served, run.byteCount - served);
    }
    skipRecordsTo(index, run.lastStart() + run.lastSpan);
    decoded.nextBytes += poolBytes(run);
    ++decoded.next;
    noteNextStart();
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
    if (decoded.keeps)
        decoded.kept.reserveFor(flattenedTextEnd.size);
    decoded.qualifyingStarts = tokensWithStandAloneBytes();
    decoded.rewritesAtStart = recordRewriteCount();
    decoded.next = decoded.kept.runs.data();
    decoded.end = decoded.next + decoded.kept.runs.size();
    decoded.nextBytes = decoded.kept.pool.data();
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
