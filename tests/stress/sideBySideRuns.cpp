// Two runs in one directory at the same time, as `make -j` starts them: each
// must assemble its own program, and the files they share (orbant.tmp and
// orbant.sym) must each be whole and from one of the runs.
#include "processRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int ROUTINES = 3000;
constexpr int ROUNDS = 30;

// The part both programs share: forward jumps make it take two passes.
std::string commonPart()
{
    std::string source;
    for (int i = 0; i < ROUTINES; ++i) {
        std::string number = std::to_string(i);
        source += "r" + number + ": LD A,LANGUAGE*" + std::to_string(i % 7) + "+" + std::to_string(i % 100) + "\n";
        source += " JP r" + std::to_string(i + 1) + "\n DB \"text " + number + "\"\n";
    }
    return source + "r" + std::to_string(ROUTINES) + ": RET\n";
}

std::string program(int language)
{
    return "LANGUAGE: EQU " + std::to_string(language) + "\n INCLUDE \"common.asm\"\n";
}

struct Outcome {
    std::string image;
    std::string flattened;
    std::string symbols;
};

Outcome readOutcome(const ScratchDirectory& directory, const std::string& image)
{
    Outcome outcome;
    directory.readFile(image, outcome.image);
    directory.readFile("orbant.tmp", outcome.flattened);
    directory.readFile("orbant.sym", outcome.symbols);
    return outcome;
}

void writePrograms(const ScratchDirectory& directory)
{
    directory.writeFile("common.asm", commonPart());
    directory.writeFile("en.asm", program(0));
    directory.writeFile("jp.asm", program(1));
}

// What each program gives when it runs alone.
Outcome runAlone(const std::string& source, const std::string& image)
{
    ScratchDirectory directory;
    writePrograms(directory);
    RunResult result = runOrbant(directory, {source, image});
    EXPECT_EQ(0, result.status) << result.standardError;
    return readOutcome(directory, image);
}

std::set<std::string> namesIn(const ScratchDirectory& directory)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path()))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(SideBySide, TwoProgramsInOneDirectoryKeepApart)
{
    const Outcome en = runAlone("en.asm", "en.bin");
    const Outcome jp = runAlone("jp.asm", "jp.bin");
    ASSERT_NE(en.image, jp.image);
    ASSERT_NE(en.flattened, jp.flattened);
    ASSERT_NE(en.symbols, jp.symbols);

    ScratchDirectory directory;
    writePrograms(directory);
    for (int round = 0; round < ROUNDS; ++round) {
        std::vector<RunResult> results = runOrbantTogether(directory, {{"en.asm", "en.bin"}, {"jp.asm", "jp.bin"}});
        for (const RunResult& result : results) {
            ASSERT_EQ(0, result.status) << "round " << round << ": " << result.standardError;
            ASSERT_EQ("", result.standardError) << "round " << round;
        }
        Outcome shared = readOutcome(directory, "en.bin");
        std::string jpImage;
        directory.readFile("jp.bin", jpImage);
        ASSERT_TRUE(shared.image == en.image) << "round " << round << ": en.bin holds other bytes";
        ASSERT_TRUE(jpImage == jp.image) << "round " << round << ": jp.bin holds other bytes";
        ASSERT_TRUE(shared.flattened == en.flattened || shared.flattened == jp.flattened)
            << "round " << round << ": orbant.tmp is not the whole text of one run";
        ASSERT_TRUE(shared.symbols == en.symbols || shared.symbols == jp.symbols)
            << "round " << round << ": orbant.sym is not the whole symbol file of one run";
    }
    std::set<std::string> expected = {"common.asm", "en.asm", "jp.asm", "en.bin", "jp.bin", "orbant.tmp", "orbant.sym"};
    EXPECT_EQ(expected, namesIn(directory)) << "a run left a file of its own behind";
}

// Every way a run ends puts its private files in place or removes them.
TEST(SideBySide, RunsLeaveNoFileOfTheirOwn)
{
    const char* sources[] = {
        "x: NOP\n",                          // complete
        "x: NOP\nx: NOP\n",                  // error while preprocessing
        " NOP\n INCLUDE \"missing.asm\"\n",  // error while preprocessing, at an include
        " JP nowhere\n",                     // error in a pass
    };
    for (const char* source : sources) {
        ScratchDirectory directory;
        directory.writeFile("main.asm", source);
        RunResult result = runOrbant(directory, {"main.asm"});
        std::set<std::string> names = namesIn(directory);
        names.erase("orbant.out");
        names.erase("orbant.sym");
        EXPECT_EQ((std::set<std::string>{"main.asm", "orbant.tmp"}), names)
            << source << "status " << result.status << ": " << result.standardError;
    }
}

}  // namespace
