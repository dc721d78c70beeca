// The passes over statements kept by the passes before against passes that
// read every statement afresh: passes_diff on the source of every orbant
// case and table, and on generated programs.
#include "caseFile.h"
#include "commandRunner.h"
#include "tableFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> filesEndingIn(const std::string& extension)
{
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(CASES_DIRECTORY))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            files.push_back(entry.path());
    return files;
}

// passes_diff on a folder with arguments; the failure, if any, names the subject.
void expectSamePasses(const fs::path& folder, const std::vector<std::string>& arguments, const std::string& subject,
                      const EnvironmentChanges& environment = {})
{
    ScratchDirectory runIn;
    std::vector<std::string> words = {PASSES_DIFF, folder.string(), "--"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    CommandSetup setup;
    setup.environment = environment;
    const RunResult run = runCommand(runIn, words, setup);
    EXPECT_EQ(run.status, 0) << subject << ":\n" << run.standardError;
}

// What of a case passes_diff can set up: no FIFO (a run would wait on it),
// standard output to the harness and no file size limit.
bool comparable(const CaseFile& testCase)
{
    return testCase.program == "orbant" && testCase.fifos.empty() && testCase.standardOutputTarget.empty()
           && !testCase.fileSizeLimit;
}

void compareCase(const fs::path& file)
{
    const CaseFile testCase = parseCaseFile(readWholeFile(file));
    if (!comparable(testCase))
        return;
    ScratchDirectory folder;
    for (const std::string& directory : testCase.directories)
        folder.makeDirectory(directory);
    for (const ExpectedFile& input : testCase.inputs)
        folder.writeFile(input.name, input.content);
    for (const ExpectedFile& link : testCase.symlinks)
        folder.makeSymlink(link.name, link.content);
    expectSamePasses(folder.path(), testCase.arguments, file.string(), testCase.environment);
}

// Runs work on each item, two at a time: most of the time goes to the runs.
template <typename Item>
void forEachTwoAtATime(const std::vector<Item>& items, void (*work)(const Item&))
{
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t index = next++; index < items.size(); index = next++)
            work(items[index]);
    };
    std::thread second(worker);
    worker();
    second.join();
}

TEST(PassesDiff, EveryCaseSource)
{
    const std::vector<fs::path> cases = filesEndingIn(".case");
    ASSERT_GT(cases.size(), 100u);
    forEachTwoAtATime(cases, compareCase);
}

// Each table's rows that give bytes (and warnings), per CPU mode, as one
// program; a row that fails ends its run in the first pass, before any pass
// could differ.
TEST(PassesDiff, EveryTable)
{
    std::size_t compared = 0;
    for (const fs::path& file : filesEndingIn(".table")) {
        std::map<std::string, std::string> programs;
        for (const TableRow& row : parseTableFile(readWholeFile(file)))
            if (!row.expectsError)
                programs[row.mode] += " CPU " + row.mode + "\n " + row.source + "\n";
        compared += programs.size();
        for (const auto& [mode, program] : programs) {
            ScratchDirectory folder;
            folder.writeFile("main.asm", program);
            expectSamePasses(folder.path(), {"main.asm"}, file.string() + " (" + mode + ")");
        }
    }
    EXPECT_GT(compared, 5u);
}

// A program of every instruction family, local labels, tables, banks and
// INCBIN, plain and with a listing (which the final pass makes of every
// statement read afresh).
TEST(PassesDiff, GeneratedPrograms)
{
    ScratchDirectory generated;
    const RunResult generation = runCommand(
        generated, {PYTHON, GENERATOR, "--lines", "20000", "--out", generated.path().string(), "--dialects", "orbant"});
    ASSERT_EQ(generation.status, 0) << generation.standardError;
    const fs::path program = generated.path() / "orbant";
    expectSamePasses(program, {"main.asm", "main.bin"}, "the generated program");
    expectSamePasses(program, {"--listing", "main.lst", "main.asm", "main.bin"}, "the generated program, listed");
}

// A program of a big game's shape: folders of sources, INCBIN files, a
// page per ORG with its end address.
TEST(PassesDiff, BigGameShape)
{
    ScratchDirectory generated;
    const RunResult generation
        = runCommand(generated, {PYTHON, GENERATOR, "--big-game", "--out", generated.path().string()});
    ASSERT_EQ(generation.status, 0) << generation.standardError;
    expectSamePasses(generated.path() / "orbant-game", {"main.asm", "game.rom"}, "the big game's shape");
}

}  // namespace
