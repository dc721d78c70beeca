#include "scanText.h"

#include "driver/base/AsmState.h"
#include "expressions/evaluator.h"
#include "expressions/labels.h"
#include "scanner/tokens.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class EvaluatorTest : public testing::Test {
protected:
    void SetUp() override
    {
        clearLabels();
        asmState.pass = 0;
        define("known", 0x1234, 1);
        define("later", 0, 0);  // entered by preprocessing, not yet defined
        asmState.statementAddress = 0x4010;
        asmState.statementOutputPosition = 0x10;
    }

    static void define(const char* name, int32_t value, int pass)
    {
        LabelRecord* record = insertLabel(name);
        record->value = value;
        record->definitionPass = pass;
    }

    static int32_t evaluate(const std::string& text)
    {
        scanText(text);
        return evaluateExpression();
    }
};

struct Sample {
    const char* text;
    int32_t value;
};

TEST_F(EvaluatorTest, PrecedenceAndAssociativity)
{
    const Sample samples[] = {
        {"2+3*4", 14},      {"(2+3)*4", 20},    {"10-4-3", 3},    {"100/10/5", 2},   {"1 OR 2 AND 3", 3},
        {"6 XOR 3 + 1", 6}, {"1 < 2 = -1", -1}, {"3 > 2 > 1", 0}, {"2 ^ 3 ^ 2", 64}, {"2 * 3 ^ 2", 36},
        {"-2 ^ 2", 4},      {"-(-5)", 5},       {"+7", 7},
    };
    for (const Sample& sample : samples)
        EXPECT_EQ(sample.value, evaluate(sample.text)) << sample.text;
}

TEST_F(EvaluatorTest, OperatorsAndSignedness)
{
    const Sample samples[] = {
        {"5 = 5", -1},
        {"5 <> 5", 0},
        {"5 >< 4", -1},
        {"-1 < 0", -1},
        {"3 <= 3", -1},
        {"3 =< 2", 0},
        {"3 >= 4", 0},
        {"3 => 3", -1},
        {"NOT 0", -1},
        {"NOT 1 + 1", -1},
        {"-1 >> 28", 0x0F},
        {"1 << 31", INT32_MIN},
        {"1 << 32", 1},
        {"1 << 33", 2},
        {"-16 >> 2", 0x3FFFFFFC},
        {"-7 / 2", -3},
        {"-7 MOD 2", -1},
        {"7 mod 4", 3},
        {"2 ^ 10", 1024},
        {"2 ^ -1", 0},
        {"-2 ^ 3", -8},
        {"2 ^ 31", INT32_MIN},
        {"3 ^ 0", 1},
        {"0 ^ -1", INT32_MIN},
        {"7FFFFFFFH + 1", INT32_MIN},
        {"80000000H * 2", 0},
        {"-(80000000H)", INT32_MIN},
    };
    for (const Sample& sample : samples)
        EXPECT_EQ(sample.value, evaluate(sample.text)) << sample.text;
}

TEST_F(EvaluatorTest, PrimariesOfEveryKind)
{
    EXPECT_EQ(0x41, evaluate("'A'"));
    EXPECT_EQ(0x4241, evaluate("\"AB\""));
    EXPECT_EQ(0x4241, evaluate("'AB'"));
    EXPECT_EQ(static_cast<int32_t>(0x44434241), evaluate("'ABCD'"));
    // Each character counts as a signed byte: -1 - 256 - 65536 - 16777216.
    EXPECT_EQ(-16843009, evaluate("'\xff\xff\xff\xff'"));
    EXPECT_EQ(0xFF - 256 + 1, evaluate("'\xff' + 1"));
    EXPECT_EQ(0x4010, evaluate("$"));
    EXPECT_EQ(0x4011, evaluate("$+1"));
    EXPECT_EQ(0x10, evaluate("$$"));
    EXPECT_EQ(1, evaluate("$1"));
    EXPECT_EQ(0x1234, evaluate("known"));
    EXPECT_EQ(0x1234, evaluate("KNOWN"));
    EXPECT_EQ(0x1235, evaluate("&known+1"));
}

TEST_F(EvaluatorTest, StopsAtTheFirstTokenThatCannotContinue)
{
    EXPECT_EQ(1, evaluate("1 2"));
    EXPECT_EQ(TOKEN_NUMBER, asmState.curToken);
    EXPECT_EQ(3, evaluate("(1+2),5"));
    EXPECT_EQ(',', asmState.curToken);
}

struct OperandSample {
    const char* text;
    int32_t value;
    int stopsAt;  // the token left in curToken
};

TEST_F(EvaluatorTest, AnOperandEndsAtATopLevelLogicalOperator)
{
    const OperandSample samples[] = {
        {"8 OR 20H", 8, TOKEN_OR},
        {"0 XOR 1", 0, TOKEN_XOR},
        {"1*8 AND 0FH", 8, TOKEN_AND},
        {"NOT 0 AND 1", -1, TOKEN_AND},
        {"4 = 4 OR 1", -1, TOKEN_OR},
        {"2 < 1 XOR 5", 0, TOKEN_XOR},
        {"(1 OR 4)*8", 40, TOKEN_END_OF_INPUT},
        {"(6 AND 3) + (1 XOR 3)", 4, TOKEN_END_OF_INPUT},
        {"known-1,A", 0x1233, ','},
    };
    for (const OperandSample& sample : samples) {
        scanText(sample.text);
        EXPECT_EQ(sample.value, evaluateUpToLogicalOperator()) << sample.text;
        EXPECT_EQ(sample.stopsAt, asmState.curToken) << sample.text;
    }
}

TEST_F(EvaluatorTest, TheTokensThatBeginAnExpression)
{
    for (const char* text : {"5", "'A'", "known", "$", "$$", "(1)", "-1", "+1", "NOT 0"}) {
        scanText(text);
        EXPECT_TRUE(beginsExpression(asmState.curToken)) << text;
    }
    for (const char* text : {"A", "HL", "(HL)", "(IX+1)", ",", ")", "OR", "|", "*", "[1]"}) {
        scanText(text);
        EXPECT_FALSE(beginsExpression(asmState.curToken)) << text;
    }
}

TEST_F(EvaluatorTest, UnresolvedLabelIsZeroAndMarksThePass)
{
    EXPECT_EQ(5, evaluate("later + 5"));
    EXPECT_EQ(-1, asmState.unresolvedCount);
}

using EvaluatorDeathTest = EvaluatorTest;

TEST_F(EvaluatorDeathTest, SyntaxErrors)
{
    EXPECT_EXIT(evaluate("- -5"), testing::ExitedWithCode(1), "Illegal Text in Expression\nExiting...");
    EXPECT_EXIT(evaluate("NOT -1"), testing::ExitedWithCode(1), "Illegal Text in Expression");
    EXPECT_EXIT(evaluate("(1+2"), testing::ExitedWithCode(1), "Closing parenthesis expected");
    EXPECT_EXIT(evaluate("'ABCDE'"), testing::ExitedWithCode(1), "Illegal Character Constant");
    EXPECT_EXIT(evaluate("A"), testing::ExitedWithCode(1), "Illegal Text in Expression");
    EXPECT_EXIT(evaluate("[1]"), testing::ExitedWithCode(1), "Illegal Text in Expression");
}

TEST_F(EvaluatorDeathTest, LabelErrors)
{
    EXPECT_EXIT(evaluate("nowhere"), testing::ExitedWithCode(1),
                "Error in line 0 \\(.*\\): Label 'nowhere' not found\n");
    EXPECT_EXIT(
        {
            scanText("later");
            asmState.pass = 4;
            evaluateExpression();
        },
        testing::ExitedWithCode(1), "Label 'later' not defined within allowable passes\n");
}

TEST_F(EvaluatorDeathTest, DivisionFaultsAreErrorsNotCrashes)
{
    EXPECT_EXIT(evaluate("1/0"), testing::ExitedWithCode(1), "Syntax Error in line .*: Division by zero");
    EXPECT_EXIT(evaluate("1 MOD 0"), testing::ExitedWithCode(1), "Division by zero");
    EXPECT_EXIT(evaluate("80000000H / -1"), testing::ExitedWithCode(1), "Division overflow");
    EXPECT_EXIT(evaluate("80000000H MOD -1"), testing::ExitedWithCode(1), "Division overflow");
}

}  // namespace
