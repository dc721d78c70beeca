// Runs the real romtap against the simulated reader for every case file in
// tests/cases/romtap, each in a temporary folder of its own.
#include "romtapCaseFile.h"
#include "testRom.h"

#include "shellSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string TITLE
    = "romtap v0.5d - ROM dumper for the MSX Game Reader - by the romtap developers\n" + std::string(59, '-') + "\n";

// Cleared for every run, so that a developer's own settings cannot leak in.
const char* const SIMULATOR_VARIABLES[]
    = {"MSXGRSIM_MISBEHAVE",   "MSXGRSIM_ENABLE_AFTER", "MSXGRSIM_INIT_ERROR", "MSXGRSIM_READ_ERROR",
       "MSXGRSIM_WRITE_ERROR", "MSXGRSIM_FLAKY_READ",   "MSXGRSIM_LOG"};

// Size, CRC32 and SHA-1 as Python's zlib and hashlib give them, so that
// romtap's -c is checked against code that is not its own.
const char* const CHECKSUM_SCRIPT = "import hashlib, sys, zlib; data = open(sys.argv[1], 'rb').read(); "
                                    "print(len(data), '%08x' % zlib.crc32(data), hashlib.sha1(data).hexdigest())";

#if defined(__APPLE__)
const char* const LOADER_PATH_VARIABLE = "DYLD_LIBRARY_PATH";
#else
const char* const LOADER_PATH_VARIABLE = "LD_LIBRARY_PATH";
#endif

// Set to run another build, e.g. "wine /path/romtap.exe" with the Windows
// reader library's folder in ROMTAP_READER_DIR; console lines then end in
// CR LF, and only cases that need no native-only reader run. The stand-in
// libraries of that build (without-init/MSXGr.dll, ...) may be given in
// ROMTAP_STANDIN_DIR; without it their cases are skipped.
const char* foreignCommand()
{
    const char* command = std::getenv("ROMTAP_COMMAND");
    return command && *command ? command : nullptr;
}

fs::path standInDirectory()
{
    if (!foreignCommand())
        return INCOMPLETE_READERS_DIR;
    const char* directory = std::getenv("ROMTAP_STANDIN_DIR");
    return directory && *directory ? directory : "";
}

std::string withoutCarriageReturns(std::string text)
{
    if (foreignCommand())
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ROMTAP_CASES_DIR)) {
        if (entry.path().extension() == ".case")
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> logLines(const fs::path& path, char kind)
{
    std::istringstream log(readFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line[0] == kind)
            lines.push_back(line);
    }
    return lines;
}

std::string replaceAll(std::string text, const std::string& placeholder, const std::string& value)
{
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

fs::path simulatedReader()
{
    return foreignCommand() ? fs::path(std::getenv("ROMTAP_READER_DIR")) / "MSXGr.dll"
                            : fs::path(SIMREADER_DIR) / SIMREADER_FILE_NAME;
}

// Where a sim-copy case finds its reader, relative to the case's folder.
std::string copiedReader()
{
    return "reader/" + simulatedReader().filename().string();
}

fs::path readerDirectory(const std::string& reader, const fs::path& workDir)
{
    if (reader == "sim")
        return simulatedReader().parent_path();
    if (reader == "sim-copy") {
        fs::create_directory(workDir / "reader");
        fs::copy_file(simulatedReader(), workDir / copiedReader());
        return workDir / "reader";
    }
    if (reader == "none") {
        fs::create_directory(workDir / "no-reader");
        return workDir / "no-reader";
    }
    if (reader.rfind("without-", 0) == 0 && fs::is_directory(standInDirectory() / reader))
        return standInDirectory() / reader;
    throw std::invalid_argument("unknown reader " + reader);
}

// Cases that this build cannot run: a native device, or stand-in libraries
// that were not given.
bool cannotRun(const RomtapCase& testCase)
{
    return (foreignCommand() && testCase.nativeOnly)
           || (testCase.reader.rfind("without-", 0) == 0 && standInDirectory().empty());
}

// One case's run: its folder, the made-up ROMs it inserted and romtap's raw
// wait status, or why the case could not be run.
struct CaseRun {
    fs::path workDir;
    RomtapCase testCase;
    std::map<int, std::vector<unsigned char>> roms;
    int raw = -1;
    std::string setupError;
};

// Writes each slot's made-up ROM and returns the simulator's slot variables.
std::vector<std::pair<std::string, std::string>> insertCartridges(CaseRun& run)
{
    std::vector<std::pair<std::string, std::string>> variables;
    for (const SlotSetup& setup : run.testCase.slots) {
        std::string value = setup.mapper;
        if (setup.mapper != "empty") {
            const fs::path romPath = run.workDir / ("rom" + std::to_string(setup.slot) + ".bin");
            run.roms[setup.slot] = simreader::makeTestRom(setup.romSize);
            std::ofstream(romPath, std::ios::binary)
                .write(reinterpret_cast<const char*>(run.roms[setup.slot].data()),
                       static_cast<std::streamsize>(setup.romSize));
            value += ":" + romPath.string();
        }
        variables.emplace_back("MSXGRSIM_SLOT" + std::to_string(setup.slot), value);
    }
    return variables;
}

std::string commandLine(CaseRun& run)
{
    std::string command = "cd " + shellQuote(run.workDir.string()) + " && env";
    for (int slot = 0; slot < 16; ++slot)
        command += " -u MSXGRSIM_SLOT" + std::to_string(slot);
    for (const char* name : SIMULATOR_VARIABLES)
        command += std::string(" -u ") + name;
    auto variables = insertCartridges(run);
    variables.emplace_back(foreignCommand() ? "WINEPATH" : LOADER_PATH_VARIABLE,
                           readerDirectory(run.testCase.reader, run.workDir).string());
    variables.emplace_back("MSXGRSIM_LOG", (run.workDir / "reader.log").string());
    variables.insert(variables.end(), run.testCase.environment.begin(), run.testCase.environment.end());
    for (const auto& [name, value] : variables)
        command += " " + shellQuote(name + "=" + value);
    command += " " + (foreignCommand() ? std::string(foreignCommand()) : shellQuote(ROMTAP_PROGRAM));
    for (const std::string& argument : run.testCase.args)
        command += " " + shellQuote(replaceAll(argument, "{library}", copiedReader()));
    const std::string output = run.testCase.stdoutTarget.empty() ? "stdout.txt" : run.testCase.stdoutTarget;
    return command + " >" + shellQuote(output) + " 2>stderr.txt";
}

// romtap always prints its title: a failed run without it is the emulator
// failing to start the program (silently, or with a word of its own), which
// happens now and then under load.
bool emulatorLostTheRun(const CaseRun& run)
{
    if (!foreignCommand() || run.raw == 0 || !run.testCase.stdoutTarget.empty())
        return false;
    const std::string output = readFile(run.workDir / "stdout.txt");
    return output.empty() || output.rfind("Application could not be started", 0) == 0;
}

CaseRun runCase(const std::string& name)
{
    CaseRun run;
    run.workDir = fs::temp_directory_path() / ("romtap-case-" + name + "-" + std::to_string(getpid()));
    try {
        fs::remove_all(run.workDir);
        fs::create_directories(run.workDir);
        run.testCase = loadCase(fs::path(ROMTAP_CASES_DIR) / (name + ".case"));
        if (cannotRun(run.testCase))
            return run;
        const std::string command = commandLine(run);
        run.raw = std::system(command.c_str());
        for (int retry = 0; retry < 3 && emulatorLostTheRun(run); ++retry)
            run.raw = std::system(command.c_str());
    } catch (const std::exception& error) {
        run.setupError = error.what();
    }
    return run;
}

// Most of a run is romtap waiting for the reader (at least one 300 ms poll,
// three seconds when none appears), so the cases run side by side, a few
// at a time, before their results are checked one by one.
constexpr unsigned RUNS_AT_ONCE = 8;

std::map<std::string, CaseRun> runCases(const std::vector<std::string>& names)
{
    std::vector<CaseRun> runs(names.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t index = next++; index < names.size(); index = next++)
            runs[index] = runCase(names[index]);
    };
    std::vector<std::thread> workers;
    for (unsigned worker = 0; worker < RUNS_AT_ONCE && worker < names.size(); ++worker)
        workers.emplace_back(work);
    for (std::thread& worker : workers)
        worker.join();
    std::map<std::string, CaseRun> byName;
    for (std::size_t index = 0; index < names.size(); ++index)
        byName[names[index]] = std::move(runs[index]);
    return byName;
}

std::string testName(const testing::TestParamInfo<std::string>& info);

class RomtapCaseTest : public testing::TestWithParam<std::string> {
protected:
    // Runs the cases that this invocation selected (filter, shard), all at once.
    static void SetUpTestSuite()
    {
        std::map<std::string, std::string> caseByTestName;
        for (const std::string& name : caseNames()) {
            caseByTestName["BehavesAsExpected/" + testName(testing::TestParamInfo<std::string>(name, 0))] = name;
        }
        const testing::TestSuite* suite = testing::UnitTest::GetInstance()->current_test_suite();
        std::vector<std::string> selected;
        for (int index = 0; index < suite->total_test_count(); ++index) {
            const testing::TestInfo* info = suite->GetTestInfo(index);
            if (info->should_run() && caseByTestName.count(info->name()))
                selected.push_back(caseByTestName[info->name()]);
        }
        runs_ = new std::map<std::string, CaseRun>(runCases(selected));
    }

    static void TearDownTestSuite()
    {
        delete runs_;
        runs_ = nullptr;
    }

    void SetUp() override { run_ = &runs_->at(GetParam()); }

    void TearDown() override
    {
        if (!HasFailure())
            fs::remove_all(run_->workDir);
        else
            std::cerr << "case files kept in " << run_->workDir << "\n";
    }

    std::string expectedImage(const ImageExpectation& image)
    {
        std::string bytes;
        for (const ImagePiece& piece : image.pieces) {
            if (piece.slot < 0) {
                bytes.append(piece.fillCount, '\xFF');
                continue;
            }
            const auto& rom = run_->roms.at(piece.slot);
            if (piece.start > piece.end || piece.end > rom.size())
                throw std::out_of_range("image piece beyond ROM");
            bytes.append(rom.begin() + static_cast<std::ptrdiff_t>(piece.start),
                         rom.begin() + static_cast<std::ptrdiff_t>(piece.end));
        }
        return bytes;
    }

    // Fills in {library}, and {size}, {crc32} and {sha1} of the expected image.
    std::string expectedStdout()
    {
        const RomtapCase& testCase = run_->testCase;
        const fs::path& workDir = run_->workDir;
        std::string text = replaceAll(testCase.expectedStdout, "{library}", copiedReader());
        if (text.find("{crc32}") == std::string::npos)
            return text;
        if (!testCase.image)
            throw std::invalid_argument("checksums need an image: line");
        const fs::path imagePath = workDir / "expected-image.bin";
        const std::string bytes = expectedImage(*testCase.image);
        std::ofstream(imagePath, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const std::string command = "python3 -c " + shellQuote(CHECKSUM_SCRIPT) + " " + shellQuote(imagePath.string())
                                    + " >" + shellQuote((workDir / "checksums.txt").string());
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("python3 could not compute the checksums");
        std::istringstream checksums(readFile(workDir / "checksums.txt"));
        std::string size, crc32, sha1;
        checksums >> size >> crc32 >> sha1;
        return replaceAll(replaceAll(replaceAll(text, "{size}", size), "{crc32}", crc32), "{sha1}", sha1);
    }

    void checkImage(const ImageExpectation& image)
    {
        const fs::path path = run_->workDir / image.fileName;
        if (image.absent) {
            EXPECT_FALSE(fs::exists(path)) << image.fileName << " should not have been written";
            return;
        }
        ASSERT_TRUE(fs::exists(path)) << image.fileName << " was not written";
        const std::string actual = readFile(path);
        const std::string expected = expectedImage(image);
        const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
        EXPECT_TRUE(actual == expected) << "image has " << actual.size() << " bytes, expected " << expected.size()
                                        << "; first difference at offset " << (mismatch.first - actual.begin());
    }

    static std::map<std::string, CaseRun>* runs_;
    CaseRun* run_ = nullptr;
};

std::map<std::string, CaseRun>* RomtapCaseTest::runs_ = nullptr;

TEST_P(RomtapCaseTest, BehavesAsExpected)
{
    ASSERT_EQ(run_->setupError, "") << "the case could not be run";
    const RomtapCase& testCase = run_->testCase;
    if (foreignCommand() && testCase.nativeOnly)
        GTEST_SKIP() << "needs a device of the native system";
    if (testCase.reader.rfind("without-", 0) == 0 && standInDirectory().empty())
        GTEST_SKIP() << "needs the stand-in reader libraries of this build (ROMTAP_STANDIN_DIR)";
    const int raw = run_->raw;
    ASSERT_TRUE(WIFEXITED(raw)) << "romtap did not exit normally";
    EXPECT_EQ(WEXITSTATUS(raw), testCase.status);
    if (testCase.stdoutTarget.empty()) {
        EXPECT_EQ(withoutCarriageReturns(readFile(run_->workDir / "stdout.txt")), TITLE + expectedStdout());
    }
    EXPECT_EQ(withoutCarriageReturns(readFile(run_->workDir / "stderr.txt")), testCase.expectedStderr);
    if (testCase.reader == "sim-copy") {
        EXPECT_TRUE(readFile(run_->workDir / copiedReader()) == readFile(simulatedReader()))
            << "the reader library was changed";
    }
    if (testCase.image)
        checkImage(*testCase.image);
    if (testCase.writeLog) {
        EXPECT_EQ(logLines(run_->workDir / "reader.log", 'W'), *testCase.writeLog);
    }
    if (testCase.readLog) {
        EXPECT_EQ(logLines(run_->workDir / "reader.log", 'R'), *testCase.readLog);
    }
}

std::string testName(const testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char character) { return !std::isalnum(static_cast<unsigned char>(character)); },
        '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RomtapCaseTest, testing::ValuesIn(caseNames()), testName);

}  // namespace
