// Assembles every row of the encoder tables with orbant and with GNU as for
// the Z80, and the whole programs among the encoder cases with both, and
// compares. Rows with bytes must get the same bytes from GNU as; rows with a
// message must be refused by it. The differences that the source language
// intends are listed below, each with its reason; any other is a fault.
#include "caseFile.h"
#include "gnuSyntax.h"
#include "gnuToolchain.h"
#include "processRunner.h"
#include "symbolFile.h"
#include "tableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct KnownDifference {
    const char* modes;   // the modes it applies to, separated by blanks
    const char* source;  // a regular expression for the whole source column, any letter case
    const char* reason;
};

constexpr const char* VALUE_IN_BRACKETS
    = "where no memory operand exists a bracket starts an ordinary expression; GNU as takes it for memory";
constexpr const char* NO_SEPARATOR
    = "a statement ends where its operands end, so another may follow on the line; GNU as needs a line end";
constexpr const char* WARNED_RANGE
    = "an out-of-range displacement, index or offset is assembled with a warning; GNU as refuses it";
constexpr const char* LOGICAL_ENDS_OPERAND
    = "a top-level AND, OR or XOR ends an RST address, interrupt mode or bit number, to begin the next statement; "
      "GNU as reads an operator";
constexpr const char* HIGH_PAGE_GAP
    = "addresses 100H..0FEFFH are refused for LDH, IN and OUT; GNU as keeps their low byte with a warning";
constexpr const char* LAX_GNU
    = "GNU as accepts an operand the instruction does not have (a register read as a pair or as a symbol)";

const KnownDifference KNOWN_DIFFERENCES[] = {
    {"z80 gbz80", R"((ADD|ADC|SUB|SBC|AND|XOR|OR|CP) \(5\))", VALUE_IN_BRACKETS},
    {"z80 gbz80", R"(LD [BCDEHL],\(5\))", VALUE_IN_BRACKETS},
    {"z80", R"((JP \(1234H\)|CALL \(5\)|CALL \(1000H\)|JR \(\$\+5\)))", VALUE_IN_BRACKETS},
    {"gbz80", R"(LD (BC|DE|HL|SP),\(1234H\))", VALUE_IN_BRACKETS},
    {"z80", R"(LD (A,\(2\)|HL,\(1234H\))\+1)",
     "a bracket opens the memory operand and ends it; GNU as reads (nn)+1 as a value"},
    {"z80 gbz80", R"((RET|RET Z|OR A|NOP|POP HL|INC A|LD A,B|LD HL,SP|STOP) (NOP|RET|DEC A|LD C,A))", NO_SEPARATOR},
    {"z80 gbz80", R"((JR|DJNZ) \$(\+130|\+131|\+257|\+258|-127|-128))", WARNED_RANGE},
    {"z80", R"(.*\(I[XY](\+128|\+200|\+255|\+256|-129)\).*)", WARNED_RANGE},
    {"gbz80", R"(LD (HL|SP),SP(\+128|\+200|-129))", WARNED_RANGE},
    {"z80", R"((BIT \(1\),A|IM \(1\)))", VALUE_IN_BRACKETS},
    {"z80", R"(RST (8 OR 20H|0 XOR A|10H AND 0FH)|IM 1 OR 2|BIT 1 OR 2,A)", LOGICAL_ENDS_OPERAND},
    {"gbz80", R"((LDH|IN|OUT) .*(100H|1234H|0FEFFH).*)", HIGH_PAGE_GAP},
    {"z80", R"((RLC \(IX\+1\),B))", "the undocumented rotate-and-copy forms (IX+d),r are not in the instruction set"},
    {"z80", R"(OUT \(C\),0)", "the undocumented OUT (C),0 is not in the instruction set"},
    {"z80", R"(LD [HL],I[XY][HL])",
     "H and L from an index half keep the bytes of the B-E rows (DD 64 ...); GNU as refuses them"},
    {"z80", R"(EX AF,AF)", "the alternate pair must be written AF'"},
    {"z80", R"((DEC \(IY\]|DEC \[IY\)|JP \[IY\)))",
     "(IY] is no operand, but GNU syntax has parentheses only and the translation pairs them"},
    {"z80", R"((LD \(1000H\),\(HL\)|CP NZ))", LAX_GNU},
    {"gbz80", R"((ADC|SBC) HL,BC)",
     "GNU as accepts the Z80's ED-prefixed 16-bit ADC and SBC for the GBZ80, which has no ED group"},
    {"gbz80", R"(ADD SP,5)", "the GBZ80 stack-pointer addition is written LD SP,SP+e; ADD has no SP form"},
    {"gbz80", R"((IN \(44H\),A|OUT A,\(C\)))",
     "IN only loads and OUT only stores; the translation to LDH loses that direction"},
    {"gbz80", R"(STOP)", "STOP is written as two bytes, 10 00; GNU as writes the single byte 10"},
    {"r800", R"(SL[LI] .*)",
     "the R800 mode is the Z80 set plus the multiplies, SLL included; GNU as lacks SLL for the R800"},
    {"r800", R"((MULUB A,[BCDEHLA]|MULUW HL,(DE|HL)))",
     "GNU as 2.40 encodes MULUB A,r as ED C5+8r and lacks several forms; the R800 opcodes are ED C1+8r and ED C3+16p"},
};

// Every row sits at its own 16-byte slot in both assemblers, so that rows
// whose bytes depend on their address ("$") agree whatever came before.
constexpr uint32_t SLOT_SIZE = 16;

const char* const MODES[] = {"z80", "r800", "gbz80"};

struct Row {
    std::string file;
    TableRow table;
    std::vector<std::string> gnuLines;
};

struct Comparison {
    const Row* row = nullptr;
    bool agrees = false;
    std::string detail;  // what GNU as made of it
};

std::vector<fs::path> filesWithExtension(const std::string& extension)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(ENCODER_CASES_DIRECTORY))
        if (entry.path().extension() == extension)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<Row> loadRows()
{
    std::vector<Row> rows;
    for (const fs::path& file : filesWithExtension(".table"))
        for (const TableRow& table : parseTableFile(readWholeFile(file)))
            rows.push_back({file.filename().string(), table, toGnuSyntax(table.mode, table.source)});
    return rows;
}

std::string where(const Row& row)
{
    return row.file + ":" + std::to_string(row.table.lineNumber) + ": " + row.table.mode + " | " + row.table.source;
}

std::string indexedName(const char* stem, std::size_t index)
{
    return stem + std::to_string(index);
}

// The bytes orbant gives each row, assembled in one run.
std::vector<std::string> orbantBytes(const std::string& mode, const std::vector<const Row*>& rows)
{
    std::string source = " CPU " + mode + "\n";
    for (std::size_t i = 0; i <= rows.size(); ++i) {
        source += indexedName("row", i) + ": EQU $$\n";
        if (i < rows.size())
            source += " ORG " + std::to_string(i * SLOT_SIZE) + "\n " + rows[i]->table.source + "\n";
    }
    ScratchDirectory directory;
    directory.writeFile("t.asm", source);
    RunResult run = runOrbant(directory, {"t.asm"});
    if (run.status != 0)
        throw std::runtime_error("orbant failed on the " + mode + " rows:\n" + run.standardError);
    std::string image, symbols;
    directory.readFile("orbant.out", image);
    directory.readFile("orbant.sym", symbols);
    std::map<std::string, uint32_t> positions = symbolValues(symbols);
    std::vector<std::string> bytes;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        uint32_t start = positions.at(indexedName("row", i));
        bytes.push_back(image.substr(start, positions.at(indexedName("row", i + 1)) - start));
    }
    return bytes;
}

// GNU source for rows, and which row each of its lines belongs to (-1: none).
struct GnuBatch {
    std::string source;
    std::vector<int> owners;

    void add(const std::string& line, int owner)
    {
        source += line + "\n";
        owners.push_back(owner);
    }
    std::set<int> refusedRows(const GnuResult& result) const
    {
        std::set<int> rows;
        for (int line : result.refusedLines)
            if (line >= 1 && line <= static_cast<int>(owners.size()))
                rows.insert(owners[line - 1]);
        return rows;
    }
};

GnuBatch slottedBatch(const std::vector<const Row*>& rows, const std::set<int>& left)
{
    GnuBatch batch;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (left.count(static_cast<int>(i)))
            continue;
        batch.add(" .org " + std::to_string(i * SLOT_SIZE), -1);
        for (const std::string& line : rows[i]->gnuLines)
            batch.add(line, static_cast<int>(i));
        batch.add(indexedName("row_end_", i) + ":", -1);
    }
    return batch;
}

// The bytes GNU as gives each row; refused rows are listed in refused.
std::vector<std::string> gnuBytes(const std::string& mode, const std::vector<const Row*>& rows, std::set<int>& refused)
{
    std::string architecture = gnuArchitecture(mode);
    GnuBatch first = slottedBatch(rows, {});
    GnuResult result = assembleWithGnu(architecture, first.source);
    refused = first.refusedRows(result);
    if (!result.assembled)
        result = assembleWithGnu(architecture, slottedBatch(rows, refused).source);
    if (!result.assembled || refused.count(-1))
        throw std::runtime_error("GNU as failed on the " + mode + " rows:\n" + result.messages);
    std::vector<std::string> bytes(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (refused.count(static_cast<int>(i)))
            continue;
        uint32_t start = static_cast<uint32_t>(i * SLOT_SIZE);
        uint32_t end = result.symbols.at(indexedName("row_end_", i));
        bytes[i] = start < result.image.size() ? result.image.substr(start, end - start) : "";
        bytes[i].resize(end - start);
    }
    return bytes;
}

void compareByteRows(const std::string& mode, const std::vector<const Row*>& rows, std::vector<Comparison>& out)
{
    std::vector<std::string> ours = orbantBytes(mode, rows);
    std::set<int> refused;
    std::vector<std::string> theirs = gnuBytes(mode, rows, refused);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Comparison comparison{rows[i], false, ""};
        if (refused.count(static_cast<int>(i)))
            comparison.detail = "GNU as refuses it";
        else if (theirs[i] != ours[i])
            comparison.detail = "GNU as gives " + hexDump(theirs[i]) + ", orbant " + hexDump(ours[i]);
        else
            comparison.agrees = true;
        out.push_back(comparison);
    }
}

void compareRefusedRows(const std::string& mode, const std::vector<const Row*>& rows, std::vector<Comparison>& out)
{
    GnuBatch batch;
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (const std::string& line : rows[i]->gnuLines)
            batch.add(line, static_cast<int>(i));
    std::set<int> refused = batch.refusedRows(assembleWithGnu(gnuArchitecture(mode), batch.source));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        bool agrees = refused.count(static_cast<int>(i)) != 0;
        out.push_back({rows[i], agrees, agrees ? "" : "GNU as accepts it"});
    }
}

std::vector<Comparison> compareAllRows(const std::vector<Row>& rows)
{
    std::vector<Comparison> comparisons;
    for (const char* mode : MODES) {
        std::vector<const Row*> withBytes, withMessages;
        for (const Row& row : rows)
            if (row.table.mode == mode)
                (row.table.expectsError ? withMessages : withBytes).push_back(&row);
        compareByteRows(mode, withBytes, comparisons);
        compareRefusedRows(mode, withMessages, comparisons);
    }
    return comparisons;
}

bool appliesTo(const KnownDifference& difference, const Row& row)
{
    std::istringstream modes(difference.modes);
    std::string mode;
    bool inMode = false;
    while (modes >> mode)
        inMode = inMode || mode == row.table.mode;
    std::regex pattern(difference.source, std::regex::ECMAScript | std::regex::icase);
    return inMode && std::regex_match(row.table.source, pattern);
}

const KnownDifference* knownDifferenceFor(const Row& row)
{
    for (const KnownDifference& difference : KNOWN_DIFFERENCES)
        if (appliesTo(difference, row))
            return &difference;
    return nullptr;
}

std::string gnuText(const Row& row)
{
    std::string text;
    for (const std::string& line : row.gnuLines)
        text += (text.empty() ? "" : " /") + line;
    return text;
}

class CrossCheck : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!gnuToolchainAvailable())
            return;
        rows_ = new std::vector<Row>(loadRows());
        comparisons_ = new std::vector<Comparison>(compareAllRows(*rows_));
        printSummary();
    }

    static void TearDownTestSuite()
    {
        delete comparisons_;
        delete rows_;
        comparisons_ = nullptr;
        rows_ = nullptr;
    }

    void SetUp() override
    {
        if (!gnuToolchainAvailable())
            GTEST_SKIP() << GNU_ASSEMBLER << " is not installed, so orbant is not compared with it; install the "
                         << "Debian package " << GNU_PACKAGE << " (apt-get install " << GNU_PACKAGE << ")";
    }

    // Differences nobody listed, for rows expecting bytes or a message.
    static void expectNoUnlistedDifference(bool expectsError)
    {
        for (const Comparison& comparison : *comparisons_) {
            const Row& row = *comparison.row;
            if (row.table.expectsError != expectsError || comparison.agrees || knownDifferenceFor(row))
                continue;
            ADD_FAILURE() << where(row) << "\n  " << comparison.detail << "\n  GNU syntax:" << gnuText(row);
        }
    }

    static void printSummary()
    {
        std::size_t agreeing = 0;
        std::map<std::string, int> listed;  // by reason
        for (const Comparison& comparison : *comparisons_) {
            if (comparison.agrees)
                ++agreeing;
            else if (const KnownDifference* difference = knownDifferenceFor(*comparison.row))
                ++listed[difference->reason];
        }
        std::cout << comparisons_->size() << " rows compared with GNU as, " << agreeing << " agree\n";
        for (const auto& [reason, count] : listed)
            std::cout << "  " << count << " differ as listed: " << reason << "\n";
    }

    static std::vector<Row>* rows_;
    static std::vector<Comparison>* comparisons_;
};

std::vector<Row>* CrossCheck::rows_ = nullptr;
std::vector<Comparison>* CrossCheck::comparisons_ = nullptr;

TEST_F(CrossCheck, RowsWithBytesGetTheSameBytesFromGnuAs)
{
    expectNoUnlistedDifference(false);
}

TEST_F(CrossCheck, RowsWithAMessageAreRefusedByGnuAs)
{
    expectNoUnlistedDifference(true);
}

TEST_F(CrossCheck, EveryListedDifferenceStillOccurs)
{
    for (const KnownDifference& difference : KNOWN_DIFFERENCES) {
        bool occurs = std::any_of(comparisons_->begin(), comparisons_->end(), [&](const Comparison& comparison) {
            return !comparison.agrees && appliesTo(difference, *comparison.row);
        });
        EXPECT_TRUE(occurs) << "no row differs as listed: " << difference.source << " (" << difference.reason << ")";
    }
}

// A whole program in a case file: its single ORG line becomes the link address.
TEST_F(CrossCheck, WholeProgramsGetTheImageGnuAsGives)
{
    const fs::path program = fs::path(ENCODER_CASES_DIRECTORY) / "msx_cartridge.case";
    CaseFile expected = parseCaseFile(readWholeFile(program));
    ASSERT_EQ(1u, expected.inputs.size());
    ASSERT_EQ(1u, expected.images.size());
    static const std::regex org("^\\s*ORG\\s+([0-9A-F]+)H\\s*$", std::regex::icase);
    std::string source;
    uint32_t origin = 0;
    int orgLines = 0;
    std::istringstream stream(expected.inputs[0].content);
    std::smatch match;
    for (std::string line; std::getline(stream, line);) {
        if (std::regex_match(line, match, org)) {
            origin = static_cast<uint32_t>(std::stoul(match[1].str(), nullptr, 16));
            ++orgLines;
        } else {
            source += line + "\n";
        }
    }
    ASSERT_EQ(1, orgLines) << "the program needs exactly one ORG";
    GnuResult result = assembleAndLinkWithGnu(gnuArchitecture("z80"), source, origin);
    ASSERT_TRUE(result.assembled) << result.messages;
    EXPECT_EQ(hexDump(expected.images[0].content), hexDump(result.image));
}

TEST(GnuSyntax, RewritesWhatGnuAsWritesOtherwise)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(Lines{" ld A,(0xFF)"}, toGnuSyntax("z80", "LD A,[0FFH]"));
    EXPECT_EQ(Lines{" ld A,(IX+0x5)"}, toGnuSyntax("z80", "LD A,(IX+101B)"));
    EXPECT_EQ(Lines{" rst 0x38"}, toGnuSyntax("z80", "RST $38"));
    EXPECT_EQ(Lines{" im -1"}, toGnuSyntax("z80", "IM 0FFFFFFFFH"));
    EXPECT_EQ(Lines{" rst (0x1 | 0x4)*0x8"}, toGnuSyntax("z80", "RST (1 OR 4)*8"));
    EXPECT_EQ(Lines{" set 0x0+(0x7 & 0x3) ^ 0x1,B"}, toGnuSyntax("z80", "SET 0+(7 AND 3) XOR 1,B"));
    EXPECT_EQ(Lines{" or A"}, toGnuSyntax("z80", "OR A"));
    EXPECT_EQ((Lines{"flag: EQU 0x3", " bit flag,(IX+0x3)"}), toGnuSyntax("z80", "flag: EQU 3 | BIT flag,(IX+3)"));
    EXPECT_EQ(Lines{" add a,B"}, toGnuSyntax("z80", "ADD B"));
    EXPECT_EQ(Lines{" cp 'A'"}, toGnuSyntax("z80", "CP A,'A'"));
    EXPECT_EQ(Lines{" ex AF,AF'"}, toGnuSyntax("z80", "EX AF,AF'"));
    EXPECT_EQ((Lines{" push AF", " push BC"}), toGnuSyntax("z80", "PUSH AF,BC"));
    EXPECT_EQ((Lines{" ret", " nop"}), toGnuSyntax("z80", "RET | NOP"));
    EXPECT_EQ(Lines{" ldh A,(0x44)"}, toGnuSyntax("gbz80", "IN A,(44H)"));
    EXPECT_EQ(Lines{" ldhl sp,-0x8"}, toGnuSyntax("gbz80", "LD HL,SP-8"));
    EXPECT_EQ(Lines{" add sp,0"}, toGnuSyntax("gbz80", "LD SP,SP"));
}

}  // namespace
