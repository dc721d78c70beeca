// The harness's own checks: a joint run of table rows must fail whenever
// any row's bytes or warnings differ, also when two wrong lengths make up the
// expected image together or a warning lands on another row; the console
// normalisation hides only what varies between runs and builds; a run's
// standard output is closed only when asked; case files say exactly what they
// mean, and a case that cannot mean anything is refused.
#include "caseFile.h"
#include "caseRunner.h"
#include "processRunner.h"
#include "tableRuns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

namespace {

TableRow row(int lineNumber, const std::string& source, const std::string& hexBytes,
             std::vector<std::string> warnings = {})
{
    TableRow result;
    result.lineNumber = lineNumber;
    result.mode = "z80";
    result.source = source;
    result.bytes = decodeHexBytes(hexBytes);
    result.warnings = std::move(warnings);
    return result;
}

std::string symbolFile(const std::vector<int>& starts)
{
    std::string text;
    for (std::size_t i = 0; i < starts.size(); ++i)
        text += "row" + std::to_string(i) + ": equ 0" + std::to_string(starts[i]) + "h ; last def. pass 2\n";
    return text;
}

std::string warningOnLine(int line)
{
    return "Warning in line " + std::to_string(line) + " (t.asm): Operand exceeds 16 bits\n";
}

// Rows 0, 1 and 2 stand on lines 4, 7 and 10 of the joint source.
class JointRun : public testing::Test {
protected:
    std::string differences(const std::string& hexImage, const std::vector<int>& starts,
                            const std::string& standardError = warningOnLine(7))
    {
        return jointDifferences(rows, decodeHexBytes(hexImage), symbolFile(starts), standardError);
    }

    TableRow load = row(3, "LD A,B", "78");
    TableRow jump = row(4, "JP 10000H", "C3 00 00", {"Operand exceeds 16 bits"});
    TableRow halt = row(5, "HALT", "76");
    std::vector<const TableRow*> rows = {&load, &jump, &halt};
};

TEST_F(JointRun, SourcePutsEachRowAtAddressZeroAfterItsStartLabel)
{
    EXPECT_EQ(" CPU z80\n"
              "row0: EQU $$\n ORG 0\n LD A,B\n"
              "row1: EQU $$\n ORG 0\n JP 10000H\n"
              "row2: EQU $$\n ORG 0\n HALT\n"
              "row3: EQU $$\n",
              jointSource("z80", rows));
}

TEST_F(JointRun, ExpectedBytesAndWarningsShowNoDifference)
{
    EXPECT_EQ("", differences("78 C3 00 00 76", {0, 1, 4, 5}));
}

TEST_F(JointRun, AWarningNamingTheNextRowsLabelBelongsToItsRow)
{
    // Raised at the end of row 1's line, it names the next line that holds text.
    EXPECT_EQ("", differences("78 C3 00 00 76", {0, 1, 4, 5}, warningOnLine(8)));
}

TEST_F(JointRun, AWrongByteNamesItsRow)
{
    EXPECT_EQ("line 4: z80 | JP 10000H: expected C3 00 00 ; warning: Operand exceeds 16 bits, "
              "got C3 01 00 ; warning: Operand exceeds 16 bits\n",
              differences("78 C3 01 00 76", {0, 1, 4, 5}));
}

TEST_F(JointRun, LengthsThatCancelOutStillDiffer)
{
    // The image is the expected one, but the first row took a byte of the second's.
    EXPECT_EQ("line 3: z80 | LD A,B: expected 78, got 78 C3\n"
              "line 4: z80 | JP 10000H: expected C3 00 00 ; warning: Operand exceeds 16 bits, "
              "got 00 00 ; warning: Operand exceeds 16 bits\n",
              differences("78 C3 00 00 76", {0, 2, 4, 5}));
}

TEST_F(JointRun, AWarningOnAnotherRowDiffers)
{
    EXPECT_EQ("line 4: z80 | JP 10000H: expected C3 00 00 ; warning: Operand exceeds 16 bits, got C3 00 00\n"
              "line 5: z80 | HALT: expected 76, got 76 ; warning: Operand exceeds 16 bits\n",
              differences("78 C3 00 00 76", {0, 1, 4, 5}, warningOnLine(10)));
}

TEST_F(JointRun, AMissingOrExtraWarningDiffers)
{
    EXPECT_NE("", differences("78 C3 00 00 76", {0, 1, 4, 5}, ""));
    EXPECT_NE("", differences("78 C3 00 00 76", {0, 1, 4, 5}, warningOnLine(7) + warningOnLine(7)));
}

TEST_F(JointRun, AnyOtherMessageDiffers)
{
    EXPECT_EQ(
        "standard error holds more than the rows' warnings:\nWarning in line 3 (t.asm): Operand exceeds 16 bits\n",
        differences("78 C3 00 00 76", {0, 1, 4, 5}, warningOnLine(7) + warningOnLine(3)));
    EXPECT_NE("", differences("78 C3 00 00 76", {0, 1, 4, 5}, warningOnLine(7) + "Out of memory\n"));
}

TEST_F(JointRun, BytesBeyondTheLastRowDiffer)
{
    EXPECT_NE("", differences("78 C3 00 00 76 00", {0, 1, 4, 5}));
}

TEST_F(JointRun, AMissingStartLabelDiffers)
{
    EXPECT_EQ("the symbol file lacks row3\n", differences("78 C3 00 00 76", {0, 1, 4}));
}

TEST_F(JointRun, StartsThatGoBackwardsDiffer)
{
    EXPECT_NE("", differences("78 C3 00 00 76", {0, 4, 1, 5}));
}

TEST(NormaliseConsole, MasksTheTimingOnly)
{
    EXPECT_EQ("Pass 1...\nFinished in #.## seconds.\n", normaliseConsole("Pass 1...\nFinished in 12.05 seconds.\n"));
    EXPECT_EQ("Finished in 1.5 seconds.\nFinished in x.00 seconds.\nFinished in #.## seconds.",
              normaliseConsole("Finished in 1.5 seconds.\nFinished in x.00 seconds.\nFinished in 0.00 seconds."));
}

TEST(NormaliseConsole, TurnsCarriageReturnLineFeedIntoLineFeedForAWindowsBuild)
{
    const char* saved = std::getenv("ORBANT_CONSOLE_CRLF");
    std::string kept = saved ? saved : "";
    setenv("ORBANT_CONSOLE_CRLF", "1", 1);
    EXPECT_EQ("a\nb\r\nc\r", normaliseConsole("a\r\nb\r\r\nc\r"));
    unsetenv("ORBANT_CONSOLE_CRLF");
    EXPECT_EQ("a\r\n", normaliseConsole("a\r\n"));
    if (saved)
        setenv("ORBANT_CONSOLE_CRLF", kept.c_str(), 1);
}

TEST(NormaliseConsole, ReadsEachProgramsOwnSetting)
{
    const char* saved = std::getenv("ROMTAP_CONSOLE_CRLF");
    std::string kept = saved ? saved : "";
    setenv("ROMTAP_CONSOLE_CRLF", "1", 1);
    EXPECT_EQ("a\n", normaliseConsole("a\r\n", "romtap"));
    unsetenv("ROMTAP_CONSOLE_CRLF");
    EXPECT_EQ("a\r\n", normaliseConsole("a\r\n", "romtap"));
    if (saved)
        setenv("ROMTAP_CONSOLE_CRLF", kept.c_str(), 1);
}

const std::string ROMTAP_CASE = "--- program\nromtap\n--- status\n0\n";

// /proc/self/fd/1 exists exactly while the process has a standard output.
TEST(RunCommand, ClosesStandardOutputOnlyWhenAsked)
{
    const std::vector<std::string> hasStandardOutput = {"test", "-e", "/proc/self/fd/1"};
    ScratchDirectory directory;
    CommandSetup closed;
    closed.standardOutputClosed = true;
    EXPECT_EQ(1, runCommand(directory, hasStandardOutput, closed).status);
    EXPECT_EQ(0, runCommand(directory, hasStandardOutput).status);
    CommandSetup toFile;
    toFile.standardOutputPath = "out.txt";
    EXPECT_EQ(0, runCommand(directory, hasStandardOutput, toFile).status);
    EXPECT_TRUE(directory.exists("out.txt"));
}

TEST(CaseFile, ImagesMixBytesPiecesOfInputsAndRuns)
{
    CaseFile parsed = parseCaseFile(ROMTAP_CASE
                                    + "--- image out.rom\n"
                                      "01 0 2 rom.bin[1:3]\n"
                                      "FF*3 rom.bin[0:0] 7E\n"
                                      "--- hexfile rom.bin\n"
                                      "A0 A1 A2 A3\n");
    ASSERT_EQ(1u, parsed.images.size());
    EXPECT_EQ("out.rom", parsed.images[0].name);
    EXPECT_EQ(hexDump(decodeHexBytes("01 02 A1 A2 FF FF FF 7E")), hexDump(parsed.images[0].content));
}

TEST(CaseFile, TestRomsAreMadeUpImagesOfTheGivenSize)
{
    CaseFile parsed = parseCaseFile(ROMTAP_CASE + "--- testrom rom0.bin 16\n--- image out.rom\nrom0.bin[0:4]\n");
    ASSERT_EQ(1u, parsed.inputs.size());
    EXPECT_EQ(16u, parsed.inputs[0].content.size());
    EXPECT_EQ("AB", parsed.inputs[0].content.substr(0, 2)) << "a cartridge header";
    EXPECT_EQ(parsed.inputs[0].content.substr(0, 4), parsed.images[0].content);
}

TEST(CaseFile, ReaderLogsExpandToOneLinePerTransfer)
{
    CaseFile parsed = parseCaseFile(ROMTAP_CASE
                                    + "--- reader-writes\n0 B000 00-02 0a\n"
                                      "--- reader-reads\n1 A000 2000 x2\n1 C000 10 x1\n"
                                      "--- reader-binding\nInit\nUninit\n");
    EXPECT_EQ((std::vector<std::string>{"W 0 B000 00", "W 0 B000 01", "W 0 B000 02", "W 0 B000 0A"}),
              parsed.readerLog.writes);
    EXPECT_EQ((std::vector<std::string>{"R 1 A000 2000", "R 1 A000 2000", "R 1 C000 10"}), parsed.readerLog.reads);
    EXPECT_EQ((std::vector<std::string>{"Init", "Uninit"}), parsed.readerLog.binding);
    CaseFile none = parseCaseFile(ROMTAP_CASE + "--- reader-writes\nnone\n--- reader-binding\nnone\n");
    EXPECT_EQ(std::vector<std::string>{}, none.readerLog.writes);
    EXPECT_EQ(std::vector<std::string>{}, none.readerLog.binding);
    EXPECT_FALSE(none.readerLog.reads) << "not given, not checked";
}

TEST(CaseFile, EachProgramHasItsOwnDefaultArguments)
{
    EXPECT_EQ(std::vector<std::string>{"main.asm"}, parseCaseFile("--- status\n0\n").arguments);
    EXPECT_EQ(std::vector<std::string>{}, parseCaseFile(ROMTAP_CASE).arguments);
    CaseFile romtap = parseCaseFile(ROMTAP_CASE + "--- args\n-l\n--- env\nA=1\nB=x=y\n");
    EXPECT_EQ(std::vector<std::string>{"-l"}, romtap.arguments);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"B", "x=y"}}), romtap.environment);
}

TEST(CaseFile, FileNamesAndArgumentsTakeEscapesOtherBackslashesStay)
{
    CaseFile parsed = parseCaseFile("--- file a\\x0Ab.inc\n NOP\n--- absent out\\x0D.rom\n--- text gfx\\new.bin\n"
                                    "--- args\nmain.asm game\\x0A.rom build\\Game.ROM\n--- image game\\x0A.rom\n00\n"
                                    "--- status\n0\n");
    ASSERT_EQ(1u, parsed.images.size());
    EXPECT_EQ("game\n.rom", parsed.images[0].name);
    EXPECT_EQ((std::vector<std::string>{"main.asm", "game\n.rom", "build\\Game.ROM"}), parsed.arguments);
    ASSERT_EQ(1u, parsed.inputs.size());
    EXPECT_EQ("a\nb.inc", parsed.inputs[0].name);
    EXPECT_EQ(std::vector<std::string>{"out\r.rom"}, parsed.absent);
    ASSERT_EQ(1u, parsed.texts.size());
    EXPECT_EQ("gfx\\new.bin", parsed.texts[0].name);
}

TEST(CaseFile, RefusesWhatCannotBeRun)
{
    const std::string refused[] = {
        "--- program\nromtap\n",                                         // no status
        "--- program\nromtapp\n--- status\n0\n",                         // no such program
        "--- status\n0\n--- reader\nnone\n",                             // a reader for orbant
        ROMTAP_CASE + "--- stdout-to /dev/full\n--- stdout\nx\n",        // output both checked and sent away
        ROMTAP_CASE + "--- image out.rom\nmissing.bin[0:1]\n",           // a piece of no input
        ROMTAP_CASE + "--- hexfile a\n00\n--- image out.rom\na[0:2]\n",  // beyond the input's end
        ROMTAP_CASE + "--- image out.rom\n0 FF*2\n",                     // half a byte before a run
        ROMTAP_CASE + "--- reader-writes\n0 B000 00-100\n",              // no byte
        ROMTAP_CASE + "--- reader-reads\n0 A000 2000 16\n",              // no count
        ROMTAP_CASE + "--- reader-binding\nInit\nClose\n",               // no such call
        ROMTAP_CASE + "--- testrom rom.bin\n",                           // no size
        ROMTAP_CASE + "--- env\n=1\n",                                   // no name
        ROMTAP_CASE + "--- readers\nsim\n",                              // no such section
    };
    for (const std::string& text : refused)
        EXPECT_THROW(parseCaseFile(text), std::runtime_error) << text;
}

}  // namespace

namespace {

CaseRun runBetween(int startSecond, int endSecond)
{
    CaseRun run;
    run.started = std::chrono::system_clock::from_time_t(1796821200 + startSecond);  // 2026-12-09T13:00:00Z
    run.ended = std::chrono::system_clock::from_time_t(1796821200 + endSecond);
    return run;
}

}  // namespace

TEST(CaseDates, TakeATimeWithinTheRun)
{
    const CaseRun run = runBetween(0, 2);
    EXPECT_EQ("date: 2026-12-09T13:00:01Z\nend\n",
              withDates("date: {date}\nend\n", "date: 2026-12-09T13:00:01Z\nend\n", run));
}

TEST(CaseDates, RefuseATimeOutsideTheRunOrOfAnotherShape)
{
    const CaseRun run = runBetween(0, 2);
    for (const char* actual : {"date: 2026-12-09T13:00:04Z\n", "date: 2026-12-09T12:59:58Z\n",
                               "date: 2026-12-09 13:00:01Z\n", "date: 2026-12-09T13:00:01+\n", "date: \n"})
        EXPECT_EQ("date: {date}\n", withDates("date: {date}\n", actual, run)) << actual;
}
