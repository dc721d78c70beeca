#include "decodedStatements.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/appendBuffer.h"
#include "../driver/base/freshPasses.h"
#include "../driver/base/listing.h"
#include "../driver/base/output.h"
#include "../driver/base/sourceFiles.h"
#include "../expressions/labelReads.h"
#include "../scanner/flattenedText.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "routes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// Below UINT16_MAX, which marks a fill run (KeptRun::FILL).
constexpr std::size_t MAX_RUN_BYTES = UINT16_MAX - 1;
constexpr unsigned MAX_RUN_READS = UINT8_MAX;  // what KeptRun::readCount holds

// Kept statements that follow each other, one a line, served at once: the
// records from start, the last statement's from start + lastOffset (its
// line marker just before) up to there + lastSpan (a replay point), and the
// byteCount bytes they emit, bytesBeforeLast of them before the last
// statement, which follow those of the runs before in the pool; readCount
// label reads, which follow those of the runs before among the reads, hold
// where the run is served. A DS run stands alone (bytesBeforeLast FILL): the
// pool holds its count (four bytes, low first) and its fill byte. Twelve
// bytes: a run serves a few statements.
struct KeptRun {
    // bytesBeforeLast of a fill run, which no other run's can be: it is at
    // most byteCount, which is at most MAX_RUN_BYTES.
    static constexpr uint16_t FILL = UINT16_MAX;

    uint32_t start;
    uint16_t lastOffset;
    uint16_t byteCount;
    uint16_t bytesBeforeLast;
    uint8_t lastSpan;
    uint8_t readCount;

    std::size_t lastStart() const { return std::size_t{start} + lastOffset; }
    bool fill() const { return bytesBeforeLast == FILL; }
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
    return run.fill() ? FILL_BYTES : run.byteCount;
}

// The kept runs of a pass, in pass order, the bytes they emit and the label
// reads they depend on.
// Appends read a few more bytes or reads than they take.
static_assert(CAPTURED_BYTES >= 8 && MAX_LOGGED_LABEL_READS >= 2);
struct KeptRuns {
    std::vector<KeptRun> runs;
    // Most statements emit at most four bytes and read at most one label.
    AppendBuffer<unsigned char, 8> pool;
    AppendBuffer<LabelRead, 2> reads;

    // Room for more than a program's text mostly holds, so that none is
    // copied while it grows: what is never filled is never touched.
    void reserveFor(std::size_t textBytes)
    {
        runs.reserve(textBytes / 32 + 1);
        pool.reserve(textBytes / 8 + 1);
        reads.reserve(textBytes / 16 + 1);
    }
};

// Where serving stands in one pass's kept runs.
struct Cursor {
    const KeptRun* next = nullptr;  // the next run to serve
    const KeptRun* end = nullptr;
    const unsigned char* bytes = nullptr;  // its bytes in the pool
    const LabelRead* reads = nullptr;      // its label reads

    explicit Cursor(const KeptRuns& kept)
        : next(kept.runs.data()), end(kept.runs.data() + kept.runs.size()), bytes(kept.pool.data()),
          reads(kept.reads.data())
    {
    }
    Cursor() = default;

    std::size_t nextStart() const { return next != end ? next->start : NO_RECORD; }
    void passRun()
    {
        bytes += poolBytes(*next);
        reads += next->readCount;
        ++next;
    }
    void passBefore(std::size_t index)
    {
        while (next != end && next->start < index)
            passRun();
    }
    // Whether what the next run's statements depend on holds where the run
    // would be served, at position runStart.
    bool readsHold(int32_t runStart) const
    {
        for (const LabelRead *read = reads, *last = reads + next->readCount; read != last; ++read)
            if (!read->holds(runStart))
                return false;
        return true;
    }
    // What the next run's label definitions change: each label's pass, and
    // the scope of local names where one is global.
    void applyDefinitions() const
    {
        for (const LabelRead *read = reads, *last = reads + next->readCount; read != last; ++read) {
            if (!read->isDefinition())
                continue;
            LabelRecord* label = const_cast<LabelRecord*>(read->label);
            label->definitionPass = asmState.pass;
            if (read->kind == LabelRead::GLOBAL_DEFINITION)
                asmState.globalLabel.assign(label->name);
        }
    }
};

// A pass serves what the pass before it kept; a pass before the final one
// keeps what it reads and may keep, and what it serves.
struct DecodedState {
    KeptRuns kept;     // the pass before's
    KeptRuns keeping;  // this pass's
    Cursor cursor;
    std::size_t nextStart = NO_RECORD;       // the first start of a run left to serve
    const bool* qualifyingStarts = nullptr;  // by token
    bool keeps = false;
    // The record a statement must begin at to join the last run kept: just
    // after the line marker after that run; NO_RECORD after a fill run.
    std::size_t joiningStart = NO_RECORD;
    unsigned rewritesAtStart = 0;
    unsigned rewritesAtEnd = 0;
};

DecodedState decoded;

// Whether the last run kept, joined by a run whose last statement starts at
// lastStart and that emits byteCount bytes with readCount reads, keeps its
// counts within their fields.
bool fitsLastRun(const KeptRuns& kept, std::size_t lastStart, std::size_t byteCount, unsigned readCount)
{
    const KeptRun& last = kept.runs.back();
    return lastStart - last.start <= UINT16_MAX && last.byteCount + byteCount <= MAX_RUN_BYTES
           && last.readCount + readCount <= MAX_RUN_READS;
}

// Adds run after the runs kept, joined to the last where joins says so.
void addRun(KeptRuns& kept, const KeptRun& run, bool joins)
{
    if (!joins) {
        kept.runs.push_back(run);
        return;
    }
    KeptRun& last = kept.runs.back();
    last.bytesBeforeLast = static_cast<uint16_t>(last.byteCount + run.bytesBeforeLast);
    last.lastOffset = static_cast<uint16_t>(run.lastStart() - last.start);
    last.lastSpan = run.lastSpan;
    last.byteCount = static_cast<uint16_t>(last.byteCount + run.byteCount);
    last.readCount = static_cast<uint8_t>(last.readCount + run.readCount);
}

// The reads of statements whose bytes follow bytesBefore more bytes of
// their run than when they were noted.
void appendReads(KeptRuns& kept, const LabelRead* reads, std::size_t count, std::size_t bytesBefore)
{
    kept.reads.append(reads, count);
    if (bytesBefore == 0)
        return;
    for (std::size_t index = kept.reads.size() - count; index < kept.reads.size(); ++index)
        kept.reads[index].offset = static_cast<uint16_t>(kept.reads[index].offset + bytesBefore);
}

void keep(std::size_t start, const TokenRecord& first, std::size_t resume, const EmitCapture& emitted,
          const LabelReadLog& log)
{
    KeptRuns& kept = decoded.keeping;
    const auto lastSpan = static_cast<uint8_t>(resume - start);
    const auto readCount = static_cast<uint8_t>(log.count);
    if (emitted.fillCount > 0) {
        appendReads(kept, log.reads, log.count, 0);
        kept.runs.push_back({static_cast<uint32_t>(start), 0, 0, KeptRun::FILL, lastSpan, readCount});
        for (unsigned shift = 0; shift < 32; shift += 8)
            kept.pool.push_back(static_cast<unsigned char>(static_cast<uint32_t>(emitted.fillCount) >> shift));
        kept.pool.push_back(emitted.fillByte);
        decoded.joiningStart = NO_RECORD;
        return;
    }
    const bool joins = start == decoded.joiningStart && fitsLastRun(kept, start, emitted.byteCount, readCount)
                       && recordJoinsLines(first, start);
    // Only positions and definitions read their offset.
    appendReads(kept, log.reads, log.count, joins && log.positional ? kept.runs.back().byteCount : 0);
    addRun(kept, {static_cast<uint32_t>(start), 0, static_cast<uint16_t>(emitted.byteCount), 0, lastSpan, readCount},
           joins);
    decoded.joiningStart = resume + 1;
    kept.pool.append(emitted.bytes, emitted.byteCount);
}

// A run served in a pass that keeps, kept again as it stands, joined to the
// last run kept where the two meet: the next pass finds every run it may
// serve among this pass's.
void keepServed(const KeptRun& run, const unsigned char* bytes, const LabelRead* reads)
{
    KeptRuns& kept = decoded.keeping;
    const bool joins = !run.fill() && run.start == decoded.joiningStart
                       && fitsLastRun(kept, run.lastStart(), run.byteCount, run.readCount)
                       && recordJoinsLines(recordAt(run.start), run.start);
    appendReads(kept, reads, run.readCount, joins ? kept.runs.back().byteCount : 0);
    kept.pool.append(bytes, poolBytes(run));
    decoded.joiningStart = run.fill() ? NO_RECORD : run.lastStart() + run.lastSpan + 1;
    addRun(kept, run, joins);
}

// Runs the statement that begins at record start (curToken's) and keeps it
// where it may be kept. Out of line, as is serveKept, so that a statement
// with neither to do costs runDecodable no saved registers.
[[gnu::noinline]] void runAndKeep(StatementHandler handler, std::size_t start)
{
    const TokenRecord* const first = &replayedRecord();
    const unsigned dependences = asmState.stateDependences;
    EmitCapture& emitted = emitCapture;
    emitted.byteCount = 0;
    emitted.fillCount = 0;
    emitted.spoiled = false;
    emitted.active = true;
    LabelReadLog& log = labelReadLog;
    log.count = 0;
    log.positional = false;
    log.active = true;
    handler();
    emitted.active = false;
    log.active = false;
    // These statements read names, "$" and "$$" only through the evaluator,
    // which counts them, and none reads past the end of its line. Of those
    // only defined labels' values are noted: anything else read, or raised,
    // leaves the statement to be read again.
    if (emitted.spoiled || asmState.stateDependences - dependences != log.count || log.count > MAX_LOGGED_LABEL_READS)
        return;
    const std::size_t resume = replayPointAfter(start);
    if (resume != NO_RECORD && resume - start <= UINT8_MAX)
        keep(start, *first, resume, emitted, log);
}

void noteNextStart()
{
    decoded.nextStart = decoded.cursor.nextStart();
}

void stopServing()
{
    decoded.cursor = Cursor();
    decoded.nextStart = NO_RECORD;
}

// Whether the next run starts at index and may be served.
bool servableAt(std::size_t index)
{
    Cursor& cursor = decoded.cursor;
    cursor.passBefore(index);
    return cursor.nextStart() == index && cursor.readsHold(wrappingAdd(asmState.address, asmState.phaseOffset));
}

// Whether the run's statements before the last would pass the address an
// ORG allows, which their ends warn of: then they are read one by one.
bool passesAddressLimit(const KeptRun& run)
{
    return asmState.addressLimit != 0 && int64_t{asmState.address} + run.bytesBeforeLast > asmState.addressLimit;
}

// The statements of the run before its last, as the statement loop would
// have run them: their bytes, and the end of the line before the last.
void serveAllButLast(const KeptRun& run, const unsigned char* bytes, std::size_t index)
{
    emitKeptBytes(bytes, run.bytesBeforeLast);
    skipRecordsTo(index, run.lastStart() - 1);
    advanceToken();
    endStatement();
    advanceToken();
    markStatementStart();
}

// Emits the kept run that starts at record index (curToken's) and goes on
// after it; false when there is none or it must be read: a label it read
// gives another value now, its bytes would reach past the output's limit or
// past an ORG's. Records scanned anew (another CPU mode) end serving for
// the pass: the runs point at the records they replaced.
[[gnu::noinline]] bool serveKept(std::size_t index)
{
    if (recordRewriteCount() != decoded.rewritesAtStart) {
        stopServing();
        return false;
    }
    if (!servableAt(index)) {
        noteNextStart();
        return false;
    }
    Cursor* cursor = &decoded.cursor;
    const KeptRun& run = *cursor->next;
    const unsigned char* bytes = cursor->bytes;
    if (run.fill()) {
        const int32_t count = fillCountAt(bytes);
        if (asmState.outputPosition + int64_t{count} > OUTPUT_SIZE_LIMIT)
            return false;
        emitFill(bytes[FILL_BYTES - 1], count);
    } else {
        if (asmState.outputPosition + int64_t{run.byteCount} > OUTPUT_SIZE_LIMIT || passesAddressLimit(run))
            return false;
        cursor->applyDefinitions();
        // Between the run's statements only the end-of-statement check of
        // an ORG's end address could show: without one, the run goes out
        // at once.
        std::size_t served = 0;
        if (run.lastOffset != 0 && asmState.addressLimit != 0) {
            serveAllButLast(run, bytes, index);
            served = run.bytesBeforeLast;
            index = run.lastStart();
        }
        emitKeptBytes(bytes + served, run.byteCount - served);
    }
    if (decoded.keeps)
        keepServed(run, cursor->bytes, cursor->reads);
    skipRecordsTo(index, run.lastStart() + run.lastSpan);
    cursor->passRun();
    noteNextStart();
    advanceToken();
    return true;
}

void forgetKept()
{
    decoded.kept = KeptRuns();
}

}  // namespace

void startDecodedPass()
{
    // Records made anew since (another text) leave nothing kept valid.
    if (recordRewriteCount() != decoded.rewritesAtEnd)
        forgetKept();
    decoded.keeps = !freshPasses() && !asmState.finalPass;
    decoded.joiningStart = NO_RECORD;
    if (decoded.keeps)
        decoded.keeping.reserveFor(flattenedTextEnd.size);
    decoded.qualifyingStarts = tokensWithStandAloneBytes();
    decoded.rewritesAtStart = recordRewriteCount();
    // The pass that makes the listing reads every statement for its operands.
    if (!listingActive())
        decoded.cursor = Cursor(decoded.kept);
    noteNextStart();
}

void endDecodedPass()
{
    decoded.rewritesAtEnd = recordRewriteCount();
    stopServing();
    if (decoded.keeps) {
        decoded.kept = std::move(decoded.keeping);
        decoded.keeping = KeptRuns();
    }
    decoded.keeps = false;
    if (decoded.rewritesAtEnd != decoded.rewritesAtStart)
        forgetKept();
}

void runDecodable(StatementHandler handler, int token)
{
    const std::size_t index = replayedRecordIndex();
    if (index >= decoded.nextStart && index != NO_RECORD && serveKept(index))
        return;
    if (decoded.keeps && index != NO_RECORD && static_cast<unsigned>(token) < TOKEN_COUNT
        && decoded.qualifyingStarts[token])
        runAndKeep(handler, index);
    else
        handler();
}
