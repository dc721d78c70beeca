// Runs every `.case` and `.table` file below the cases folder as a test of
// the real orbant executable.
#include "caseFile.h"
#include "processRunner.h"
#include "tableFile.h"
#include "tableRuns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string readWholeFile(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

std::string defaultImageName(const CaseFile& expected)
{
    return expected.arguments.size() > 1 ? expected.arguments[1] : "orbant.out";
}

void checkImages(const ScratchDirectory& directory, const CaseFile& expected)
{
    for (const ExpectedFile& image : expected.images) {
        std::string name = image.name.empty() ? defaultImageName(expected) : image.name;
        std::string actual;
        ASSERT_TRUE(directory.readFile(name, actual)) << name << " was not written";
        EXPECT_EQ(hexDump(image.content), hexDump(actual)) << "bytes of " << name;
    }
}

void checkTexts(const ScratchDirectory& directory, const CaseFile& expected)
{
    for (const ExpectedFile& text : expected.texts) {
        std::string actual;
        ASSERT_TRUE(directory.readFile(text.name, actual)) << text.name << " was not written";
        EXPECT_EQ(text.content, actual) << "content of " << text.name;
    }
    for (const std::string& name : expected.absent)
        EXPECT_FALSE(directory.exists(name)) << name << " should not exist";
}

void runCase(const fs::path& file)
{
    CaseFile expected = parseCaseFile(readWholeFile(file));
    if (expected.nativeOnly && runsForeignBuild())
        GTEST_SKIP() << "native build only: " << *expected.nativeOnly;
    ScratchDirectory directory;
    for (const ExpectedFile& input : expected.inputs)
        directory.writeFile(input.name, input.content);
    for (const ExpectedFile& link : expected.symlinks)
        directory.makeSymlink(link.name, link.content);
    for (const std::string& name : expected.directories)
        directory.makeDirectory(name);
    for (const std::string& name : expected.fifos)
        directory.makeFifo(name);
    RunResult result = runOrbant(directory, expected.arguments);
    EXPECT_EQ(*expected.status, result.status)
        << "exit status; stdout:\n" << result.standardOutput << "\nstderr:\n" << result.standardError;
    if (expected.standardOutput) {
        EXPECT_EQ(*expected.standardOutput, normaliseConsole(result.standardOutput)) << "standard output";
    }
    if (expected.standardError) {
        EXPECT_EQ(*expected.standardError, normaliseConsole(result.standardError)) << "standard error";
    }
    checkImages(directory, expected);
    checkTexts(directory, expected);
}

void runTable(const fs::path& file)
{
    checkTable(parseTableFile(readWholeFile(file)));
}

std::string testNameFor(const fs::path& file, const fs::path& root)
{
    std::string name = fs::relative(file, root).replace_extension().generic_string();
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class CaseTest : public testing::Test {
public:
    CaseTest(fs::path file, bool isTable) : file_(std::move(file)), isTable_(isTable) {}
    void TestBody() override { isTable_ ? runTable(file_) : runCase(file_); }

private:
    fs::path file_;
    bool isTable_;
};

bool isOrbantCase(const fs::path& file, const fs::path& root)
{
    // romtap's cases live beside ours in a format of their own.
    if (*fs::relative(file, root).begin() == "romtap")
        return false;
    return file.extension() == ".case" || file.extension() == ".table";
}

void registerCases(const fs::path& root)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file() && isOrbantCase(entry.path(), root))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        bool isTable = file.extension() == ".table";
        testing::RegisterTest(isTable ? "Table" : "Case", testNameFor(file, root).c_str(), nullptr, nullptr,
                              file.string().c_str(), 0, [file, isTable]() -> testing::Test* {
                                  return new CaseTest(file, isTable);
                              });
    }
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    registerCases(CASES_DIRECTORY);
    return RUN_ALL_TESTS();
}
