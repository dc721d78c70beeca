// Random argument lists: whatever the words, romtap ends with status 0 or 1
// and its own messages, never a crash or a sanitizer report. No reader
// library is reachable, so every run that gets past the options stops at the
// library.
#include "shell_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kWords = {
    "-l", "-i", "-b", "-s", "-m", "-n", "-li", "-lb", "-", "--", "-x", "-lz", "-L", "-ib", "a000", "A000",
    "0xa000", "4000h", "ffffffff", "80000000", "0", "-1", "99999999999999999999", "16", "257", "",
    "out.rom", "second.rom", std::string(300, 'f'), "\xff\xfe", "%s%n", "-n-1", "-v", "-c", "-w", "-vcw", "-h",
    "--help", "--version", "-lh"};

TEST(RomtapArguments, RandomArgumentListsEndCleanly) {
    const fs::path workDir = fs::temp_directory_path() / ("romtap-arguments-" + std::to_string(getpid()));
    fs::create_directories(workDir / "no-reader");
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> pickWord(0, kWords.size() - 1), pickCount(0, 7);
    for (int run = 0; run < 200; ++run) {
        std::string command = "cd ";
        command += shellQuote(workDir.string());
        command += " && env LD_LIBRARY_PATH=";
        command += shellQuote((workDir / "no-reader").string());
        command += ' ';
        command += shellQuote(ROMTAP_PROGRAM);
        std::string shown;
        for (std::size_t count = pickCount(random); count > 0; --count) {
            const std::string &word = kWords[pickWord(random)];
            command += ' ';
            command += shellQuote(word);
            shown += " [";
            shown += word.substr(0, 20);
            shown += ']';
        }
        command += " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << "romtap was killed for:" << shown;
        const int status = WEXITSTATUS(raw);
        EXPECT_TRUE(status == 0 || status == 1) << "status " << status << " for:" << shown;
        const std::string errors = readFile(workDir / "stderr.txt");
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << shown << "\n" << errors;
        EXPECT_EQ(errors.find("runtime error"), std::string::npos) << shown << "\n" << errors;
    }
    fs::remove_all(workDir);
}

}  // namespace
