// The joint run of table rows must fail whenever any row's bytes differ,
// also when two wrong lengths make up the expected image together.
#include "caseFile.h"
#include "tableRuns.h"

#include <gtest/gtest.h>

namespace {

TableRow row(int lineNumber, const std::string& source, const std::string& hexBytes)
{
    TableRow result;
    result.lineNumber = lineNumber;
    result.mode = "z80";
    result.source = source;
    result.bytes = decodeHexBytes(hexBytes);
    return result;
}

std::string symbolFile(const std::vector<int>& starts)
{
    std::string text;
    for (std::size_t i = 0; i < starts.size(); ++i)
        text += "row" + std::to_string(i) + ": equ 0" + std::to_string(starts[i]) + "h ; last def. pass 2\n";
    return text;
}

class JointRun : public testing::Test {
protected:
    TableRow load = row(3, "LD A,B", "78");
    TableRow jump = row(4, "JP 1234H", "C3 34 12");
    TableRow halt = row(5, "HALT", "76");
    std::vector<const TableRow*> rows = {&load, &jump, &halt};
};

TEST_F(JointRun, SourcePutsEachRowAtAddressZeroAfterItsStartLabel)
{
    EXPECT_EQ(" CPU z80\n"
              "row0: EQU $$\n ORG 0\n LD A,B\n"
              "row1: EQU $$\n ORG 0\n JP 1234H\n"
              "row2: EQU $$\n ORG 0\n HALT\n"
              "row3: EQU $$\n",
              jointSource("z80", rows));
}

TEST_F(JointRun, ExpectedBytesAtEveryStartShowNoDifference)
{
    EXPECT_EQ("", jointDifferences(rows, decodeHexBytes("78 C3 34 12 76"), symbolFile({0, 1, 4, 5})));
}

TEST_F(JointRun, AWrongByteNamesItsRow)
{
    EXPECT_EQ("line 4: z80 | JP 1234H: expected C3 34 12, got C3 35 12\n",
              jointDifferences(rows, decodeHexBytes("78 C3 35 12 76"), symbolFile({0, 1, 4, 5})));
}

TEST_F(JointRun, LengthsThatCancelOutStillDiffer)
{
    // The image is the expected one, but the first row took a byte of the second's.
    EXPECT_EQ("line 3: z80 | LD A,B: expected 78, got 78 C3\nline 4: z80 | JP 1234H: expected C3 34 12, got 34 12\n",
              jointDifferences(rows, decodeHexBytes("78 C3 34 12 76"), symbolFile({0, 2, 4, 5})));
}

TEST_F(JointRun, BytesBeyondTheLastRowDiffer)
{
    EXPECT_NE("", jointDifferences(rows, decodeHexBytes("78 C3 34 12 76 00"), symbolFile({0, 1, 4, 5})));
}

TEST_F(JointRun, AMissingStartLabelDiffers)
{
    EXPECT_EQ("the symbol file lacks row3\n",
              jointDifferences(rows, decodeHexBytes("78 C3 34 12 76"), symbolFile({0, 1, 4})));
}

TEST_F(JointRun, StartsThatGoBackwardsDiffer)
{
    EXPECT_NE("", jointDifferences(rows, decodeHexBytes("78 C3 34 12 76"), symbolFile({0, 4, 1, 5})));
}

}  // namespace
