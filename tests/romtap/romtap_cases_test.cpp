// Runs the real romtap against the simulated reader for every case file in
// tests/cases/romtap, each in a temporary folder of its own.
#include "case_file.h"
#include "test_rom.h"

#include "shell_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string kTitle =
    "romtap v0.5d - ROM dumper for the MSX Game Reader - by the romtap developers\n" + std::string(59, '-') + "\n";

// Cleared for every run, so that a developer's own settings cannot leak in.
const char *const kSimulatorVariables[] = {"MSXGRSIM_MISBEHAVE", "MSXGRSIM_ENABLE_AFTER", "MSXGRSIM_INIT_ERROR", "MSXGRSIM_READ_ERROR",
                                           "MSXGRSIM_WRITE_ERROR", "MSXGRSIM_FLAKY_READ", "MSXGRSIM_LOG"};

// Size, CRC32 and SHA-1 as Python's zlib and hashlib give them, so that
// romtap's -c is checked against code that is not its own.
const char *const kChecksumScript =
    "import hashlib, sys, zlib; data = open(sys.argv[1], 'rb').read(); "
    "print(len(data), '%08x' % zlib.crc32(data), hashlib.sha1(data).hexdigest())";

#if defined(__APPLE__)
const char *const kLoaderPathVariable = "DYLD_LIBRARY_PATH";
#else
const char *const kLoaderPathVariable = "LD_LIBRARY_PATH";
#endif

// Set to run another build, e.g. "wine /path/romtap.exe" with the Windows
// reader library's folder in ROMTAP_READER_DIR; console lines then end in
// CR LF, and only cases that need no native-only reader run. The stand-in
// libraries of that build (without-init/MSXGr.dll, ...) may be given in
// ROMTAP_STANDIN_DIR; without it their cases are skipped.
const char *foreignCommand() {
    const char *command = std::getenv("ROMTAP_COMMAND");
    return command && *command ? command : nullptr;
}

fs::path standInDirectory() {
    if (!foreignCommand()) return INCOMPLETE_READERS_DIR;
    const char *directory = std::getenv("ROMTAP_STANDIN_DIR");
    return directory && *directory ? directory : "";
}

std::string withoutCarriageReturns(std::string text) {
    if (foreignCommand()) text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> caseNames() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(ROMTAP_CASES_DIR)) {
        if (entry.path().extension() == ".case") names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> logLines(const fs::path &path, char kind) {
    std::istringstream log(readFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line[0] == kind) lines.push_back(line);
    }
    return lines;
}

std::string replaceAll(std::string text, const std::string &placeholder, const std::string &value) {
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

fs::path simulatedReader() {
    return foreignCommand() ? fs::path(std::getenv("ROMTAP_READER_DIR")) / "MSXGr.dll"
                            : fs::path(SIMREADER_DIR) / SIMREADER_FILE_NAME;
}

// Where a sim-copy case finds its reader, relative to the case's folder.
std::string copiedReader() { return "reader/" + simulatedReader().filename().string(); }

fs::path readerDirectory(const std::string &reader, const fs::path &workDir) {
    if (reader == "sim") return simulatedReader().parent_path();
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

class RomtapCaseTest : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        workDir_ = fs::temp_directory_path() / ("romtap-case-" + GetParam() + "-" + std::to_string(getpid()));
        fs::remove_all(workDir_);
        fs::create_directories(workDir_);
        testCase_ = loadCase(fs::path(ROMTAP_CASES_DIR) / (GetParam() + ".case"));
    }

    void TearDown() override {
        if (!HasFailure()) fs::remove_all(workDir_);
        else std::cerr << "case files kept in " << workDir_ << "\n";
    }

    // Writes each slot's made-up ROM and returns the simulator's slot variables.
    std::vector<std::pair<std::string, std::string>> insertCartridges() {
        std::vector<std::pair<std::string, std::string>> variables;
        for (const SlotSetup &setup : testCase_.slots) {
            std::string value = setup.mapper;
            if (setup.mapper != "empty") {
                const fs::path romPath = workDir_ / ("rom" + std::to_string(setup.slot) + ".bin");
                roms_[setup.slot] = simreader::makeTestRom(setup.romSize);
                std::ofstream(romPath, std::ios::binary)
                    .write(reinterpret_cast<const char *>(roms_[setup.slot].data()),
                           static_cast<std::streamsize>(setup.romSize));
                value += ":" + romPath.string();
            }
            variables.emplace_back("MSXGRSIM_SLOT" + std::to_string(setup.slot), value);
        }
        return variables;
    }

    std::string commandLine() {
        std::string command = "cd " + shellQuote(workDir_.string()) + " && env";
        for (int slot = 0; slot < 16; ++slot) command += " -u MSXGRSIM_SLOT" + std::to_string(slot);
        for (const char *name : kSimulatorVariables) command += std::string(" -u ") + name;
        auto variables = insertCartridges();
        variables.emplace_back(foreignCommand() ? "WINEPATH" : kLoaderPathVariable,
                               readerDirectory(testCase_.reader, workDir_).string());
        variables.emplace_back("MSXGRSIM_LOG", (workDir_ / "reader.log").string());
        variables.insert(variables.end(), testCase_.environment.begin(), testCase_.environment.end());
        for (const auto &[name, value] : variables) command += " " + shellQuote(name + "=" + value);
        command += " " + (foreignCommand() ? std::string(foreignCommand()) : shellQuote(ROMTAP_PROGRAM));
        for (const std::string &argument : testCase_.args)
            command += " " + shellQuote(replaceAll(argument, "{library}", copiedReader()));
        const std::string output = testCase_.stdoutTarget.empty() ? "stdout.txt" : testCase_.stdoutTarget;
        return command + " >" + shellQuote(output) + " 2>stderr.txt";
    }

    // romtap always prints its title: a failed run without it is the
    // emulator failing to start the program (silently, or with a word of its
    // own), which happens now and then under load.
    bool emulatorLostTheRun(int raw) {
        if (!foreignCommand() || raw == 0 || !testCase_.stdoutTarget.empty()) return false;
        const std::string output = readFile(workDir_ / "stdout.txt");
        return output.empty() || output.rfind("Application could not be started", 0) == 0;
    }

    int runRomtap() {
        const std::string command = commandLine();
        int raw = std::system(command.c_str());
        for (int retry = 0; retry < 3 && emulatorLostTheRun(raw); ++retry) raw = std::system(command.c_str());
        return raw;
    }

    std::string expectedImage(const ImageExpectation &image) {
        std::string bytes;
        for (const ImagePiece &piece : image.pieces) {
            if (piece.slot < 0) {
                bytes.append(piece.fillCount, '\xFF');
                continue;
            }
            const auto &rom = roms_.at(piece.slot);
            if (piece.start > piece.end || piece.end > rom.size()) throw std::out_of_range("image piece beyond ROM");
            bytes.append(rom.begin() + static_cast<std::ptrdiff_t>(piece.start),
                         rom.begin() + static_cast<std::ptrdiff_t>(piece.end));
        }
        return bytes;
    }

    // Fills in {library}, and {size}, {crc32} and {sha1} of the expected image.
    std::string expectedStdout() {
        std::string text = replaceAll(testCase_.expectedStdout, "{library}", copiedReader());
        if (text.find("{crc32}") == std::string::npos) return text;
        if (!testCase_.image) throw std::invalid_argument("checksums need an image: line");
        const fs::path imagePath = workDir_ / "expected-image.bin";
        const std::string bytes = expectedImage(*testCase_.image);
        std::ofstream(imagePath, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const std::string command = "python3 -c " + shellQuote(kChecksumScript) + " " + shellQuote(imagePath.string()) +
                                    " >" + shellQuote((workDir_ / "checksums.txt").string());
        if (std::system(command.c_str()) != 0) throw std::runtime_error("python3 could not compute the checksums");
        std::istringstream checksums(readFile(workDir_ / "checksums.txt"));
        std::string size, crc32, sha1;
        checksums >> size >> crc32 >> sha1;
        return replaceAll(replaceAll(replaceAll(text, "{size}", size), "{crc32}", crc32), "{sha1}", sha1);
    }

    void checkImage(const ImageExpectation &image) {
        const fs::path path = workDir_ / image.fileName;
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

    fs::path workDir_;
    RomtapCase testCase_;
    std::map<int, std::vector<unsigned char>> roms_;
};

TEST_P(RomtapCaseTest, BehavesAsExpected) {
    if (foreignCommand() && testCase_.nativeOnly) GTEST_SKIP() << "needs a device of the native system";
    if (testCase_.reader.rfind("without-", 0) == 0 && standInDirectory().empty())
        GTEST_SKIP() << "needs the stand-in reader libraries of this build (ROMTAP_STANDIN_DIR)";
    const int raw = runRomtap();
    ASSERT_TRUE(WIFEXITED(raw)) << "romtap did not exit normally";
    EXPECT_EQ(WEXITSTATUS(raw), testCase_.status);
    if (testCase_.stdoutTarget.empty()) {
        EXPECT_EQ(withoutCarriageReturns(readFile(workDir_ / "stdout.txt")), kTitle + expectedStdout());
    }
    EXPECT_EQ(withoutCarriageReturns(readFile(workDir_ / "stderr.txt")), testCase_.expectedStderr);
    if (testCase_.reader == "sim-copy") {
        EXPECT_TRUE(readFile(workDir_ / copiedReader()) == readFile(simulatedReader()))
            << "the reader library was changed";
    }
    if (testCase_.image) checkImage(*testCase_.image);
    if (testCase_.writeLog) {
        EXPECT_EQ(logLines(workDir_ / "reader.log", 'W'), *testCase_.writeLog);
    }
    if (testCase_.readLog) {
        EXPECT_EQ(logLines(workDir_ / "reader.log", 'R'), *testCase_.readLog);
    }
}

std::string testName(const testing::TestParamInfo<std::string> &info) {
    std::string name = info.param;
    std::replace_if(name.begin(), name.end(), [](char character) { return !std::isalnum(static_cast<unsigned char>(character)); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, RomtapCaseTest, testing::ValuesIn(caseNames()), testName);

}  // namespace
