// Assembles every example of docs/language.md with the orbant just built and
// checks its bytes, files, messages and status; a failure names the example
// by its line in the document. The block format is tests/docs/README.md's.
#include "docExamples.h"
#include "processRunner.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const std::string DOCUMENT_NAME = "docs/language.md";

const DocExamples& documentExamples()
{
    static const DocExamples examples = [] {
        std::ifstream stream(LANGUAGE_DOCUMENT, std::ios::binary);
        std::ostringstream text;
        text << stream.rdbuf();
        return parseDocExamples(text.str());
    }();
    return examples;
}

std::string where(const DocExample& example)
{
    return DOCUMENT_NAME + ":" + std::to_string(example.line) + ": ";
}

void checkFile(const ScratchDirectory& directory, const DocExample& example, const ExpectedFile& expected, bool binary)
{
    std::string actual;
    if (!directory.readFile(expected.name, actual)) {
        ADD_FAILURE() << where(example) << expected.name << " was not written";
        return;
    }
    if (binary)
        EXPECT_EQ(hexDump(actual), hexDump(expected.content)) << where(example) << "bytes of " << expected.name;
    else
        EXPECT_EQ(actual, expected.content) << where(example) << "text of " << expected.name;
}

}  // namespace

// GoogleTest names a failing parameter by this.
void PrintTo(const DocExample& example, std::ostream* stream)
{
    *stream << DOCUMENT_NAME << ":" << example.line;
}

namespace {

class LanguageExample : public testing::TestWithParam<DocExample> {};

TEST_P(LanguageExample, AssemblesAsDocumented)
{
    const DocExample& example = GetParam();
    ScratchDirectory directory;
    for (const ExpectedFile& input : example.inputs)
        directory.writeFile(input.name, input.content);
    directory.writeFile("main.asm", example.source);
    std::vector<std::string> arguments = example.options;
    arguments.push_back("main.asm");

    const RunResult result = runOrbant(directory, arguments);

    EXPECT_EQ(result.status, example.status) << where(example) << "status; standard error:\n" << result.standardError;
    EXPECT_EQ(normaliseConsole(result.standardError), example.standardError) << where(example) << "messages";
    for (const ExpectedFile& image : example.images)
        checkFile(directory, example, image, true);
    for (const ExpectedFile& text : example.texts)
        checkFile(directory, example, text, false);
    if (HasFailure()) {
        directory.keep();
        std::cerr << where(example) << "the run is kept in " << directory.path().string() << '\n';
    }
}

INSTANTIATE_TEST_SUITE_P(Document, LanguageExample, testing::ValuesIn(documentExamples().examples),
                         [](const testing::TestParamInfo<DocExample>& info) {
                             return "line_" + std::to_string(info.param.line);
                         });

TEST(LanguageDocument, EveryExampleIsChecked)
{
    const DocExamples& document = documentExamples();
    EXPECT_FALSE(document.examples.empty()) << DOCUMENT_NAME << " holds no example (or cannot be read)";
    for (const DocProblem& problem : document.problems)
        ADD_FAILURE() << DOCUMENT_NAME << ":" << problem.line << ": " << problem.text;
}

// The reader itself: what it takes, and that no example goes unchecked.
TEST(DocExampleReader, TakesFilesOptionsAndChecks)
{
    const DocExamples read = parseDocExamples("Prose.\n"
                                              "```file data.inc\n"
                                              "DB 1\n"
                                              "```\n"
                                              "```asm -I lib\n"
                                              " INCLUDE \"data.inc\"\n"
                                              "```\n"
                                              "\n"
                                              "```bytes\n"
                                              "01\n"
                                              "```\n"
                                              "```text orbant.sym\n"
                                              "```\n"
                                              "```sh\n"
                                              "orbant main.asm\n"
                                              "```\n");
    ASSERT_TRUE(read.problems.empty()) << read.problems.front().text;
    ASSERT_EQ(read.examples.size(), 1u);
    const DocExample& example = read.examples.front();
    EXPECT_EQ(example.line, 5);
    EXPECT_EQ(example.options, (std::vector<std::string>{"-I", "lib"}));
    EXPECT_EQ(example.source, " INCLUDE \"data.inc\"\n");
    ASSERT_EQ(example.inputs.size(), 1u);
    EXPECT_EQ(example.inputs[0].content, "DB 1\n");
    ASSERT_EQ(example.images.size(), 1u);
    EXPECT_EQ(example.images[0].name, "orbant.out");
    EXPECT_EQ(example.images[0].content, std::string(1, '\x01'));
    ASSERT_EQ(example.texts.size(), 1u);
    EXPECT_EQ(example.texts[0].content, "");
    EXPECT_EQ(example.status, 0);
    EXPECT_EQ(example.standardError, "");
}

TEST(DocExampleReader, TakesStatusAndMessages)
{
    const DocExamples read = parseDocExamples("```asm\n NOP 5\n```\n"
                                              "```messages noeol\n"
                                              "status 1\n"
                                              "Syntax Error in line 1 (main.asm): Illegal Text\n"
                                              "Exiting...\n"
                                              "```\n");
    ASSERT_TRUE(read.problems.empty()) << read.problems.front().text;
    ASSERT_EQ(read.examples.size(), 1u);
    EXPECT_EQ(read.examples[0].status, 1);
    EXPECT_EQ(read.examples[0].standardError, "Syntax Error in line 1 (main.asm): Illegal Text\nExiting...");
    EXPECT_TRUE(read.examples[0].images.empty());
}

std::vector<int> problemLines(const std::string& markdown)
{
    std::vector<int> lines;
    for (const DocProblem& problem : parseDocExamples(markdown).problems)
        lines.push_back(problem.line);
    return lines;
}

TEST(DocExampleReader, RefusesUncheckedAndMalformedExamples)
{
    // An example without a check, or with prose between it and its check.
    EXPECT_EQ(problemLines("```asm\n NOP\n```\n"), std::vector<int>{1});
    EXPECT_EQ(problemLines("```asm\n NOP\n```\nprose\n```bytes\n00\n```\n"), (std::vector<int>{1, 5}));
    // A check or a file that belongs to no example.
    EXPECT_EQ(problemLines("```bytes\n00\n```\n"), std::vector<int>{1});
    EXPECT_EQ(problemLines("```file a.inc\n NOP\n```\n"), std::vector<int>{1});
    EXPECT_EQ(problemLines("```file a.inc\n NOP\n```\n```sh\n```\n"), std::vector<int>{4});
    // Malformed checks, and a block left open.
    EXPECT_EQ(problemLines("```asm\n NOP\n```\n```bytes\n0\n```\n"), std::vector<int>{4});
    EXPECT_EQ(problemLines("```asm\n NOP\n```\n```messages\nError\n```\n"), std::vector<int>{4});
    EXPECT_EQ(problemLines("```asm\n NOP\n```\n```messages eol\nstatus 0\n```\n"), std::vector<int>{4});
    EXPECT_EQ(problemLines("```asm\n NOP\n```\n```bytes\n00\n```\n```bytes\n00\n```\n"), std::vector<int>{7});
    EXPECT_EQ(problemLines("```asm\n NOP\n"), std::vector<int>{1});
}

}  // namespace
