// Runs every `.case` and `.table` file below the cases folder as a test of
// the real orbant or romtap executable. A file there that is neither, or a
// case that cannot be read, is a failing test: no file is passed over.
#include "caseFile.h"
#include "caseRunner.h"
#include "processRunner.h"
#include "tableFile.h"
#include "tableRuns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A case file as registered: what it says, or why it cannot be read.
struct CaseEntry {
    fs::path file;
    std::optional<CaseFile> testCase;
    std::string problem;
};

// The suite of a program's cases, so that each program's cases can be run
// apart (ctest runs romtap's on their own, several at once).
std::string suiteOf(const CaseEntry& entry)
{
    return entry.testCase && entry.testCase->program == "romtap" ? "RomtapCase" : "Case";
}

std::string defaultImageName(const CaseFile& expected)
{
    return expected.arguments.size() > 1 ? expected.arguments[1] : "orbant.out";
}

// Small images side by side in hexadecimal; of a whole ROM, where they part.
std::string imageDifference(const std::string& expected, const std::string& actual)
{
    constexpr std::size_t DUMPED_SIZE = 4096;
    if (expected.size() <= DUMPED_SIZE && actual.size() <= DUMPED_SIZE)
        return "expected\n" + hexDump(expected) + "\nactual\n" + hexDump(actual);
    const auto parting = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return "expected " + std::to_string(expected.size()) + " bytes, got " + std::to_string(actual.size())
           + "; the first difference is at offset " + std::to_string(parting.first - expected.begin());
}

void checkImages(const ScratchDirectory& directory, const CaseFile& expected)
{
    for (const ExpectedFile& image : expected.images) {
        std::string name = image.name.empty() ? defaultImageName(expected) : image.name;
        std::string actual;
        ASSERT_TRUE(directory.readFile(name, actual)) << name << " was not written";
        if (actual != image.content)
            ADD_FAILURE() << "bytes of " << name << " differ:\n" << imageDifference(image.content, actual);
    }
}

void checkTexts(const CaseRun& run, const CaseFile& expected)
{
    for (const ExpectedFile& text : run.expectedTexts) {
        std::string actual;
        ASSERT_TRUE(run.directory->readFile(text.name, actual)) << text.name << " was not written";
        EXPECT_EQ(withDates(text.content, actual, run), actual) << "content of " << text.name;
    }
    const ScratchDirectory& directory = *run.directory;
    for (const std::string& name : expected.absent)
        EXPECT_FALSE(directory.exists(name)) << name << " should not exist";
}

bool isWrite(const std::string& line)
{
    return line.rfind("W ", 0) == 0;
}

bool isRead(const std::string& line)
{
    return line.rfind("R ", 0) == 0;
}

bool isBinding(const std::string& line)
{
    return line == "Init" || line == "Uninit";
}

void checkReader(const CaseFile& expected, const CaseRun& run)
{
    const ReaderLog& log = expected.readerLog;
    if (log.writes) {
        EXPECT_EQ(*log.writes, readerLogLines(run, isWrite)) << "the reader's memory writes";
    }
    if (log.reads) {
        EXPECT_EQ(*log.reads, readerLogLines(run, isRead)) << "the reader's memory reads";
    }
    if (log.binding) {
        EXPECT_EQ(*log.binding, readerLogLines(run, isBinding)) << "the reader's Init and Uninit calls";
    }
    if (!run.copiedLibrary.empty()) {
        EXPECT_TRUE(copiedLibraryIsUnchanged(run)) << "the reader library was changed";
    }
}

void checkRun(const CaseFile& expected, const CaseRun& run)
{
    const RunResult& result = run.result;
    EXPECT_EQ(*expected.status, result.status) << "exit status; stdout:\n"
                                               << result.standardOutput << "\nstderr:\n"
                                               << result.standardError;
    if (run.expectedStandardOutput) {
        EXPECT_EQ(*run.expectedStandardOutput, normaliseConsole(result.standardOutput, expected.program))
            << "standard output";
    }
    if (run.expectedStandardError) {
        EXPECT_EQ(*run.expectedStandardError, normaliseConsole(result.standardError, expected.program))
            << "standard error";
    }
    checkImages(*run.directory, expected);
    checkTexts(run, expected);
    checkReader(expected, run);
}

class CaseTest : public testing::Test {
public:
    explicit CaseTest(const CaseEntry& entry) : entry_(entry) {}

    // Runs the cases of the suite that this invocation selected (filter,
    // shard) before any is checked, several at once where their program
    // allows it; the others run when their test does.
    static void SetUpTestSuite()
    {
        const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
        std::vector<const CaseEntry*> selected;
        for (int i = 0; i < suite->total_test_count(); ++i) {
            const testing::TestInfo* info = suite->GetTestInfo(i);
            const CaseEntry& entry = entries().at(std::string(suite->name()) + "." + info->name());
            if (info->should_run() && entry.testCase && runsAtOnce(entry.testCase->program) > 1)
                selected.push_back(&entry);
        }
        runSideBySide(selected);
    }

    static void TearDownTestSuite() { runs().clear(); }

    void TestBody() override
    {
        if (!entry_.testCase)
            FAIL() << entry_.file.string() << ": " << entry_.problem;
        const CaseFile& expected = *entry_.testCase;
        auto preRun = runs().find(&entry_);
        CaseRun run = preRun != runs().end() ? std::move(preRun->second) : runCase(expected);
        if (!run.skipReason.empty())
            GTEST_SKIP() << run.skipReason;
        ASSERT_EQ("", run.setupError) << "the case could not be run";
        checkRun(expected, run);
        if (HasFailure()) {
            run.directory->keep();
            std::cerr << "case files kept in " << run.directory->path() << "\n";
        }
    }

    static std::map<std::string, CaseEntry>& entries()
    {
        static std::map<std::string, CaseEntry> byTestName;
        return byTestName;
    }

private:
    static std::map<const CaseEntry*, CaseRun>& runs()
    {
        static std::map<const CaseEntry*, CaseRun> byEntry;
        return byEntry;
    }

    static void runSideBySide(const std::vector<const CaseEntry*>& selected)
    {
        if (selected.empty())
            return;
        std::vector<CaseRun> results(selected.size());
        std::atomic<std::size_t> next{0};
        auto work = [&] {
            for (std::size_t i = next++; i < selected.size(); i = next++)
                results[i] = runCase(*selected[i]->testCase);
        };
        std::vector<std::thread> workers;
        for (unsigned worker = 0; worker < runsAtOnce(selected.front()->testCase->program); ++worker)
            workers.emplace_back(work);
        for (std::thread& worker : workers)
            worker.join();
        for (std::size_t i = 0; i < selected.size(); ++i)
            runs()[selected[i]] = std::move(results[i]);
    }

    const CaseEntry& entry_;
};

class TableTest : public testing::Test {
public:
    explicit TableTest(fs::path file) : file_(std::move(file)) {}
    void TestBody() override { checkTable(parseTableFile(readWholeFile(file_))); }

private:
    fs::path file_;
};

class StrayFileTest : public testing::Test {
public:
    explicit StrayFileTest(fs::path file) : file_(std::move(file)) {}
    void TestBody() override { FAIL() << file_.string() << " is neither a .case nor a .table file"; }

private:
    fs::path file_;
};

std::string testNameFor(const fs::path& file, const fs::path& root)
{
    std::string name = fs::relative(file, root).replace_extension().generic_string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

CaseEntry readCase(const fs::path& file)
{
    CaseEntry entry{file, std::nullopt, ""};
    try {
        entry.testCase = parseCaseFile(readWholeFile(file));
    } catch (const std::exception& error) {
        entry.problem = error.what();
    }
    return entry;
}

template <typename Factory>
void registerTest(const std::string& suite, const std::string& name, const fs::path& file, Factory factory)
{
    testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, file.string().c_str(), 0, factory);
}

void registerFile(const fs::path& file, const fs::path& root)
{
    const std::string name = testNameFor(file, root);
    if (file.extension() == ".table") {
        registerTest("Table", name, file, [file]() -> testing::Test* { return new TableTest(file); });
    } else if (file.extension() == ".case") {
        CaseEntry entry = readCase(file);
        const std::string suite = suiteOf(entry);
        const CaseEntry& registered = CaseTest::entries().emplace(suite + "." + name, std::move(entry)).first->second;
        registerTest(suite, name, file, [&registered]() -> CaseTest* { return new CaseTest(registered); });
    } else if (file.filename() != "README.md") {
        registerTest("StrayFile", name, file, [file]() -> testing::Test* { return new StrayFileTest(file); });
    }
}

void registerCases(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files)
        registerFile(file, root);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    registerCases(CASES_DIRECTORY);
    return RUN_ALL_TESTS();
}
