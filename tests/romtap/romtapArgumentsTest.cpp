// Random argument lists: whatever the words, romtap ends with status 0 or 1
// and its own messages, never a crash or a sanitizer report. No reader
// library is reachable, so every run that gets past the options stops at the
// library. Each run starts romtap directly, without a shell: two hundred
// process starts are what the test costs.
#include "commandRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> WORDS = {"-l",
                                        "-i",
                                        "-b",
                                        "-s",
                                        "-m",
                                        "-n",
                                        "-li",
                                        "-lb",
                                        "-",
                                        "--",
                                        "-x",
                                        "-lz",
                                        "-L",
                                        "-ib",
                                        "a000",
                                        "A000",
                                        "0xa000",
                                        "4000h",
                                        "ffffffff",
                                        "80000000",
                                        "0",
                                        "-1",
                                        "99999999999999999999",
                                        "16",
                                        "257",
                                        "",
                                        "out.rom",
                                        "second.rom",
                                        std::string(300, 'f'),
                                        "\xff\xfe",
                                        "%s%n",
                                        "-n-1",
                                        "-v",
                                        "-c",
                                        "-w",
                                        "-vcw",
                                        "-h",
                                        "--help",
                                        "--version",
                                        "-lh",
                                        "--db",
                                        "--log",
                                        "--db=",
                                        "--log=log.txt",
                                        "$a000",
                                        "4000H",
                                        "0x",
                                        "-2"};

TEST(RomtapArguments, RandomArgumentListsEndCleanly)
{
    ScratchDirectory workDir;
    workDir.makeDirectory("no-reader");
    setenv("LD_LIBRARY_PATH", (workDir.path() / "no-reader").c_str(), 1);
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> pickWord(0, WORDS.size() - 1), pickCount(0, 7);
    for (int run = 0; run < 200; ++run) {
        std::vector<std::string> command = {ROMTAP_PROGRAM};
        std::string shown;
        for (std::size_t count = pickCount(random); count > 0; --count) {
            const std::string& word = WORDS[pickWord(random)];
            command.push_back(word);
            shown += " [";
            shown += word.substr(0, 20);
            shown += ']';
        }
        const RunResult result = runCommand(workDir, command);
        ASSERT_NE(result.status, -1) << "romtap was killed for:" << shown;
        EXPECT_TRUE(result.status == 0 || result.status == 1) << "status " << result.status << " for:" << shown;
        EXPECT_EQ(result.standardError.find("Sanitizer"), std::string::npos) << shown << "\n" << result.standardError;
        EXPECT_EQ(result.standardError.find("runtime error"), std::string::npos) << shown << "\n"
                                                                                 << result.standardError;
    }
}

}  // namespace
