// Scanning a text in memory, and restarting at any token's start: what
// replaying a pass from a recorded position relies on.
#include "driver/base/AsmState.h"
#include "driver/base/fileSystem.h"
#include "scanner/scanner.h"
#include "scanner/sourceReader.h"
#include "scanner/tokens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct ScannedToken {
    std::size_t start;  // scan position before the token was asked for
    int code;
    int32_t value;
    std::string text;
    int line;
    std::string file;
};

bool operator==(const ScannedToken& a, const ScannedToken& b)
{
    return a.code == b.code && a.value == b.value && a.text == b.text && a.line == b.line && a.file == b.file;
}

// Every token up to the end of the text, in Z80 mode.
std::vector<ScannedToken> scanRest()
{
    std::vector<ScannedToken> tokens;
    asmState.cpuMode = CPU_MODE_Z80;
    for (;;) {
        ScannedToken token;
        token.start = scanPosition();
        token.code = nextToken();
        token.value = asmState.tokenValue;
        token.text = token.code == TOKEN_IDENTIFIER ? std::string(asmState.labelName)
                                                    : std::string(asmState.tokenText, asmState.tokenLength);
        token.line = asmState.lineNumber;
        token.file = asmState.sourceName;
        tokens.push_back(token);
        if (token.code == TOKEN_END_OF_INPUT)
            return tokens;
    }
}

const std::string FLATTENED = "\x02main.asm\x02\x01"
                              "1\x01 ld a,(ix+2)\x01"
                              "2\x01lbl: db \"str\",'c',$1F\x02inc.asm\x02"
                              "\x01"
                              "1\x01 jp lbl|ld [iy-1],b\x01"
                              "7\x01";

TEST(ScanPosition, RestartingAtAnyTokenGivesTheSameRest)
{
    restartWithText(FLATTENED.c_str(), FLATTENED.size());
    asmState.lineNumber = 0;
    setSourceName("");
    asmState.tokenValue = 0;
    std::vector<ScannedToken> whole = scanRest();
    ASSERT_GT(whole.size(), 20u);
    EXPECT_EQ(FLATTENED.size(), whole.back().start);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        // Line, file and a value that tokens without one leave standing are
        // what a replay restores from its own record.
        asmState.lineNumber = i == 0 ? 0 : whole[i - 1].line;
        setSourceName(i == 0 ? "" : whole[i - 1].file.c_str());
        asmState.tokenValue = i == 0 ? 0 : whole[i - 1].value;
        setScanPosition(whole[i].start);
        std::vector<ScannedToken> rest = scanRest();
        ASSERT_EQ(whole.size() - i, rest.size()) << "restarted at token " << i;
        for (std::size_t j = 0; j < rest.size(); ++j)
            EXPECT_TRUE(rest[j] == whole[i + j]) << "restarted at token " << i << ", token " << i + j;
    }
}

TEST(ScanPosition, TextInMemoryIsScannedWhereItLies)
{
    const std::string text = " db \"abc\",x";
    restartWithText(text.c_str(), text.size());
    asmState.cpuMode = CPU_MODE_R800;
    EXPECT_EQ(TOKEN_DB, nextToken());
    EXPECT_EQ(TOKEN_STRING, nextToken());
    EXPECT_EQ(',', nextToken());
    EXPECT_EQ(TOKEN_IDENTIFIER, nextToken());
    // Names point into the text itself; only string bodies are copied.
    EXPECT_EQ(text.c_str() + 10, asmState.tokenText);
    EXPECT_EQ(text.size(), scanPosition());
    EXPECT_EQ(TOKEN_END_OF_INPUT, nextToken());
}

TEST(SourceText, LineEndsAndEndOfText)
{
    struct Reading {
        std::string file;
        std::string text;
    };
    const Reading readings[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\r\r\nb\rc", "a\r\nb\rc"},
        {"a\r\n\x1A"
         "b\r\n",
         "a\n"},
        {"\r\x1A\n", "\r"},
        {std::string("a\0b\r", 4), std::string("a\0b\r", 4)},
        {"", ""},
    };
    // One text for all: each reading replaces what the last one left.
    SourceText text;
    for (const Reading& reading : readings) {
        FILE* file = std::tmpfile();
        ASSERT_NE(nullptr, file);
        std::fwrite(reading.file.data(), 1, reading.file.size(), file);
        std::rewind(file);
        readSourceText(file, reportedSize(file), text);
        EXPECT_EQ(reading.text, text.view()) << testing::PrintToString(reading.file);
        EXPECT_EQ('\0', text.bytes[text.size]);
        std::fclose(file);
    }
}

}  // namespace
