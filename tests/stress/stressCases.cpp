// Inputs far larger or stranger than real sources: each run must end in a
// defined outcome (the bytes, or a clear error and status 1), never a crash,
// a hang or a silent success.
#include "caseFile.h"
#include "processRunner.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t ONE_MIB = 1 << 20;

RunResult assemble(const ScratchDirectory& directory, const std::string& source)
{
    directory.writeFile("main.asm", source);
    return runOrbant(directory, {"main.asm"});
}

std::string imageOf(const ScratchDirectory& directory)
{
    std::string image;
    directory.readFile("orbant.out", image);
    return image;
}

TEST(Stress, OneMebibyteString)
{
    ScratchDirectory directory;
    RunResult result = assemble(directory, " DB \"" + std::string(ONE_MIB, 'x') + "\"\n HALT\n");
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string image = imageOf(directory);
    ASSERT_EQ(ONE_MIB + 1, image.size());
    EXPECT_EQ(std::string(ONE_MIB, 'x') + "\x76", image);
}

// A token's cost grows with its length alone: a scanner that rescans a
// token from its start whenever it reads more input took 20 s for a 4 M
// string and 14 s for a 2 M label; linear scanning takes a fraction of a
// second, and the bound leaves room for a loaded or sanitized build.
TEST(Stress, LongTokensScanInLinearTime)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto BOUND = std::chrono::seconds(3);
    const std::string label = "L" + std::string(2000000, 'b');
    struct LongToken {
        const char* what;
        std::string source;
        std::string image;
    };
    const LongToken tokens[] = {
        {"4 M string", " DB \"" + std::string(4 * ONE_MIB, 'y') + "\"\n", std::string(4 * ONE_MIB, 'y')},
        {"2 M label", label + ": DB 1\n DW " + label + "+2\n", std::string("\x01\x02\x00", 3)},
    };
    for (const LongToken& token : tokens) {
        ScratchDirectory directory;
        Clock::time_point start = Clock::now();
        RunResult result = assemble(directory, token.source);
        Clock::duration elapsed = Clock::now() - start;
        ASSERT_EQ(0, result.status) << token.what << "\n" << result.standardError;
        EXPECT_TRUE(imageOf(directory) == token.image) << token.what;
        EXPECT_LT(elapsed, BOUND) << token.what;
    }
}

TEST(Stress, OneMebibyteComments)
{
    ScratchDirectory directory;
    std::string source = " NOP ;" + std::string(ONE_MIB, 'c') + "\n { " + std::string(ONE_MIB, '{')
                         + std::string(ONE_MIB, '}') + " }\n HALT\n";
    RunResult result = assemble(directory, source);
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ(std::string("\x00\x76", 2), imageOf(directory));
}

TEST(Stress, HundredThousandLabelsAllInTheSymbolFile)
{
    ScratchDirectory directory;
    std::string source;
    for (int i = 0; i < 100000; ++i) {
        source += "label";
        source += std::to_string(i);
        source += ": NOP\n";
    }
    RunResult result = assemble(directory, source);
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string symbols;
    ASSERT_TRUE(directory.readFile("orbant.sym", symbols));
    std::size_t lines = 0;
    for (char c : symbols)
        lines += c == '\n';
    EXPECT_EQ(100000u, lines);
    EXPECT_NE(std::string::npos, symbols.find("label99999: equ 01869Fh ; last def. pass 2\n"));
    EXPECT_EQ(100000u, imageOf(directory).size());
}

// The symbol file goes out in blocks of 64 KiB: names just short of a block,
// filling one exactly, just over one and far longer, among short names that
// fill several, must each come out whole, once.
TEST(Stress, LongNamesAcrossTheSymbolFileBlocks)
{
    ScratchDirectory directory;
    std::vector<std::string> names;
    for (std::size_t length : {65490u, 65491u, 65492u, 70000u, 200000u})
        names.push_back("L" + std::string(length - 1, 'x'));
    for (int i = 0; i < 3000; ++i)
        names.push_back("short" + std::to_string(i));
    std::string source;
    for (const std::string& name : names)
        source += name + ": EQU 0FFFFFH\n";
    RunResult result = assemble(directory, source);
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string symbols;
    ASSERT_TRUE(directory.readFile("orbant.sym", symbols));
    std::size_t expectedSize = 0;
    for (const std::string& name : names) {
        const std::string line = name + ": equ 0FFFFFh ; last def. pass 2\n";
        expectedSize += line.size();
        const std::size_t at = symbols.find(line);
        ASSERT_NE(std::string::npos, at) << name.substr(0, 20) << "... (" << name.size() << " bytes)";
        EXPECT_TRUE(at == 0 || symbols[at - 1] == '\n') << name.substr(0, 20);
    }
    EXPECT_EQ(expectedSize, symbols.size());
}
TEST(Stress, TenThousandLevelIncludeChain)
{
    ScratchDirectory directory;
    const int levels = 10000;
    auto fileName = [](int level) {
        std::string name = "f";
        name += std::to_string(level);
        return name + ".asm";
    };
    for (int i = 1; i < levels; ++i) {
        std::string text = " NOP\n INCLUDE \"";
        text += fileName(i + 1);
        text += "\"\n HALT\n";
        directory.writeFile(fileName(i), text);
    }
    directory.writeFile(fileName(levels), " DI\n");
    RunResult result = assemble(directory, " INCLUDE \"f1.asm\"\n EI\n");
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string expected = std::string(levels - 1, '\x00') + "\xF3" + std::string(levels - 1, '\x76') + "\xFB";
    EXPECT_EQ(expected, imageOf(directory));
}

TEST(Stress, HundredThousandNestedBlocks)
{
    ScratchDirectory directory;
    const int levels = 100000;
    std::string source;
    for (int i = 0; i < levels; ++i)
        source += " IF 1\n";
    source += " NOP\n";
    for (int i = 0; i < levels; ++i)
        source += " ENDIF\n";
    RunResult result = assemble(directory, source);
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ(std::string(1, '\x00'), imageOf(directory));
}

std::string nestedInParentheses(int levels, const std::string& inner)
{
    return std::string(static_cast<std::size_t>(levels), '(') + inner
           + std::string(static_cast<std::size_t>(levels), ')');
}

TEST(Stress, DeeplyNestedParentheses)
{
    ScratchDirectory directory;
    RunResult result = assemble(directory, " DB " + nestedInParentheses(1000, "7") + "\n");
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ("\x07", imageOf(directory));

    for (int levels : {1001, 100000}) {
        RunResult refused = assemble(directory, " DB 1\n DB " + nestedInParentheses(levels, "7") + "\n");
        EXPECT_EQ(1, refused.status) << levels << " levels";
        EXPECT_EQ("Syntax Error in line 2 (main.asm): Parentheses nested too deeply\nExiting...",
                  normaliseConsole(refused.standardError))
            << levels << " levels";
    }
}

TEST(Stress, CtrlZPastTheFirstBlocksEndsTheText)
{
    ScratchDirectory directory;
    const int lines = 5000;  // several read blocks before the Ctrl-Z
    std::string source;
    for (int i = 0; i < lines; ++i)
        source += " NOP\r\n";
    source += "\x1A";
    for (int i = 0; i < lines; ++i)
        source += " HALT\r\n";
    RunResult result = assemble(directory, source);
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ(std::string(lines, '\x00'), imageOf(directory));
}

TEST(Stress, EveryByteValueEverywhere)
{
    // Every byte 00-FF, markers 01 and 02 included, in many arrangements.
    for (int rotation = 0; rotation < 256; rotation += 17) {
        ScratchDirectory directory;
        std::string source;
        for (int i = 0; i < 256 * 4; ++i)
            source += static_cast<char>((i * 7 + rotation) & 0xFF);
        RunResult result = assemble(directory, source);
        EXPECT_TRUE(result.status == 0 || result.status == 1) << "status " << result.status << "\n"
                                                              << result.standardError;
        if (result.status == 1) {
            EXPECT_NE(std::string::npos, result.standardError.find("Exiting...")) << result.standardError;
        }
    }
}

TEST(Stress, SourceThatIsADirectory)
{
    ScratchDirectory directory;
    directory.makeDirectory("src.asm");
    RunResult result = runOrbant(directory, {"src.asm"});
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(0u, result.standardError.find("Error while opening src.asm! ")) << result.standardError;
}

TEST(Stress, HugeOutputsAreRefused)
{
    for (const char* statement : {" DS 7FFFFFFFH", " FORG 7FFFFFFFH\n NOP"}) {
        ScratchDirectory directory;
        RunResult result = assemble(directory, std::string(statement) + "\n");
        EXPECT_EQ(1, result.status) << statement;
        EXPECT_NE(std::string::npos, result.standardError.find("Output file would exceed 64 MiB"))
            << result.standardError;
    }
}

// A name that does not open as written is looked for without regard to case;
// each directory is listed once, however many names miss in it.
TEST(Stress, ManyMissesInAHugeDirectory)
{
    ScratchDirectory directory;
    for (int i = 0; i < 100000; ++i) {
        std::FILE* file = std::fopen((directory.path() / ("file" + std::to_string(i) + ".bin")).c_str(), "wb");
        ASSERT_NE(nullptr, file);
        std::fclose(file);
    }
    std::string source;
    for (int i = 0; i < 1000; ++i)
        source += " IFEXIST \"Missing" + std::to_string(i) + ".bin\"\n DB 1\n ENDIF\n";
    source += " IFEXIST \"FILE99999.BIN\"\n DB 2\n ENDIF\n";
    auto start = std::chrono::steady_clock::now();
    RunResult result = assemble(directory, source);
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ("\x02", imageOf(directory));
    // Listing the directory for every miss took over a minute here.
    EXPECT_LT(seconds, 20.0);
}

// The shell closes the streams, as `orbant c.asm o.bin >&- 2>&-` does;
// returns the exit status, or -1 when orbant did not exit normally.
int assembleWithStreamsClosed(const ScratchDirectory& directory, const std::string& closing)
{
    std::string command = "cd '" + directory.path().string() + "' && '" ORBANT_EXECUTABLE "' c.asm o.bin " + closing;
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Stress, ClosedStandardStreamsLeaveTheFilesAlone)
{
    if (runsForeignBuild())
        GTEST_SKIP() << "the shell closes the streams of the native executable only";
    for (const char* closing : {">&- 2>&-", "<&- >&- 2>&-", "2>&-", "<&-"}) {
        ScratchDirectory directory;
        directory.writeFile("c.asm", " DB 256\n NOP\nlast: NOP\n");  // with a warning to print
        EXPECT_EQ(0, assembleWithStreamsClosed(directory, closing)) << closing;
        std::string image, symbols, flattened;
        directory.readFile("o.bin", image);
        EXPECT_EQ(std::string(3, '\0'), image) << closing;
        directory.readFile("orbant.sym", symbols);
        EXPECT_EQ("last: equ 02h ; last def. pass 2\n", symbols) << closing;
        directory.readFile("orbant.tmp", flattened);
        EXPECT_EQ(std::string::npos, flattened.find("Preprocessing")) << closing;

        ScratchDirectory failing;
        failing.writeFile("c.asm", " DB 1\n LD A,\n");
        EXPECT_EQ(1, assembleWithStreamsClosed(failing, closing)) << closing;
        failing.readFile("orbant.tmp", flattened);
        EXPECT_EQ(std::string::npos, flattened.find("Syntax Error")) << closing;
    }
}

// Every input is closed once read: a project of thousands of files
// assembles where a process may hold only a few open.
TEST(Stress, ThousandsOfInputFilesWithFewDescriptors)
{
    constexpr int FILES = 1000;
    constexpr rlim_t FEW_DESCRIPTORS = 32;
    ScratchDirectory directory;
    std::string source, expected;
    for (int i = 0; i < FILES; ++i) {
        std::string number = std::to_string(i);
        char letter = static_cast<char>('A' + i % 26);
        directory.writeFile("src/m" + number + ".asm", " DB " + std::to_string(i % 256) + "\n");
        directory.writeFile("data/b" + number + ".bin", std::string(1, letter));
        source += " INCLUDE \"src/m" + number + ".asm\"\n INCBIN \"data/b" + number + ".bin\"\n";
        expected += static_cast<char>(i % 256);
        expected += letter;
    }
    struct rlimit previous;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &previous));
    const struct rlimit few = {FEW_DESCRIPTORS, previous.rlim_max};
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &few));
    RunResult result = assemble(directory, source);
    setrlimit(RLIMIT_NOFILE, &previous);
    ASSERT_EQ(0, result.status) << result.standardError;
    EXPECT_EQ(expected, imageOf(directory));
}

}  // namespace
