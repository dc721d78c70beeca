// Runs that end before their time: interrupted by a signal while the
// flattened source is being written, or stopped by a write that fails. Either
// way no private file of the run may stay behind, and the flattened source of
// an earlier run stays as it was.
#include "processRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* EARLIER_TEXT = "earlier\n";

// Lines whose preprocessing takes long enough (a few hundred milliseconds
// for the first size tried) to catch the run in it.
std::string largeSource(int lines)
{
    std::string source;
    source.reserve(static_cast<std::size_t>(lines) * 48);
    for (int line = 0; line < lines; ++line)
        source += " DB \"some text of line " + std::to_string(line) + "\" ; and a comment\n";
    return source;
}

std::vector<std::string> privateFilesIn(const ScratchDirectory& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory.path())) {
        std::string name = entry.path().filename().string();
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
            names.push_back(name);
    }
    return names;
}

// The words of ORBANT_COMMAND (another native build), else the one just built.
std::vector<std::string> orbantWords()
{
    std::vector<std::string> words;
    if (const char* command = std::getenv("ORBANT_COMMAND")) {
        std::istringstream split(command);
        for (std::string word; split >> word;)
            words.push_back(word);
    }
    if (words.empty())
        words.push_back(ORBANT_EXECUTABLE);
    return words;
}

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

// Started with the interruptions at their default action, whatever the test
// runner was started with, no core file, and the console discarded, unless
// errors names the descriptor for standard error.
pid_t startOrbant(const ScratchDirectory& directory, std::vector<std::string> words, int errors = -1,
                  rlim_t addressSpace = RLIM_INFINITY)
{
    words.push_back("main.asm");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const std::string workingDirectory = directory.path().string();
    pid_t child = fork();
    if (child == 0) {
        int discard = open("/dev/null", O_RDWR);
        const struct rlimit noCore = {0, 0};
        const struct rlimit memory = {addressSpace, addressSpace};
        if (chdir(workingDirectory.c_str()) == 0 && discard >= 0 && dup2(discard, 0) >= 0 && dup2(discard, 1) >= 0
            && dup2(errors >= 0 ? errors : discard, 2) >= 0 && setrlimit(RLIMIT_CORE, &noCore) == 0
            && setrlimit(RLIMIT_AS, &memory) == 0) {
            for (int signalNumber : INTERRUPTIONS)
                signal(signalNumber, SIG_DFL);
            execv(argv[0], argv.data());
        }
        _exit(127);
    }
    return child;
}

// The wait status of the child once it has ended.
int waitForEnd(pid_t child)
{
    int waitStatus = 0;
    while (waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    return waitStatus;
}

struct InterruptedRun {
    bool caughtWhileWriting = false;  // the signal came while a private file was there
    int waitStatus = 0;
};

// Sends the signal as soon as the run's private file appears.
InterruptedRun interruptWhileWriting(const ScratchDirectory& directory, int signalNumber)
{
    InterruptedRun run;
    pid_t child = startOrbant(directory, orbantWords());
    if (child < 0)
        return run;
    for (;;) {
        if (waitpid(child, &run.waitStatus, WNOHANG) == child)
            return run;  // ended before the file was seen
        if (!privateFilesIn(directory).empty())
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    run.caughtWhileWriting = true;
    kill(child, signalNumber);
    run.waitStatus = waitForEnd(child);
    return run;
}

void expectInterruptionLeavesNothing(int signalNumber)
{
    // A machine fast enough to finish before the file is seen gets a larger
    // source.
    for (int lines = 200000; lines <= 3200000; lines *= 2) {
        ScratchDirectory directory;
        directory.writeFile("main.asm", largeSource(lines));
        directory.writeFile("orbant.tmp", EARLIER_TEXT);
        InterruptedRun run = interruptWhileWriting(directory, signalNumber);
        if (!run.caughtWhileWriting)
            continue;
        ASSERT_TRUE(WIFSIGNALED(run.waitStatus)) << "ended with status " << WEXITSTATUS(run.waitStatus);
        EXPECT_EQ(signalNumber, WTERMSIG(run.waitStatus));
        EXPECT_EQ(std::vector<std::string>{}, privateFilesIn(directory));
        std::string flattened;
        directory.readFile("orbant.tmp", flattened);
        EXPECT_EQ(EARLIER_TEXT, flattened);
        return;
    }
    FAIL() << "every run ended before its private file was seen";
}

TEST(InterruptedRuns, TerminationRemovesThePrivateFile)
{
    expectInterruptionLeavesNothing(SIGTERM);
}

TEST(InterruptedRuns, InterruptionRemovesThePrivateFile)
{
    expectInterruptionLeavesNothing(SIGINT);
}

TEST(InterruptedRuns, HangupRemovesThePrivateFile)
{
    expectInterruptionLeavesNothing(SIGHUP);
}

TEST(InterruptedRuns, QuitRemovesThePrivateFile)
{
    expectInterruptionLeavesNothing(SIGQUIT);
}

// Messages piped into a reader that has gone (as `2>&1 | head` leaves them):
// the error found while the flattened source is written ends the run by
// SIGPIPE as it is printed, and its private file goes first.
TEST(InterruptedRuns, AMessageIntoAClosedPipeLeavesNoPrivateFile)
{
    ScratchDirectory directory;
    directory.writeFile("main.asm", " NOP\n DB \"not closed\n");
    directory.writeFile("orbant.tmp", EARLIER_TEXT);
    int pipeEnds[2];
    ASSERT_EQ(0, pipe(pipeEnds));
    close(pipeEnds[0]);
    pid_t child = startOrbant(directory, orbantWords(), pipeEnds[1]);
    close(pipeEnds[1]);
    ASSERT_GT(child, 0);
    const int waitStatus = waitForEnd(child);
    ASSERT_TRUE(WIFSIGNALED(waitStatus)) << "ended with status " << WEXITSTATUS(waitStatus);
    EXPECT_EQ(SIGPIPE, WTERMSIG(waitStatus));
    EXPECT_EQ(std::vector<std::string>{}, privateFilesIn(directory));
    std::string flattened;
    directory.readFile("orbant.tmp", flattened);
    EXPECT_EQ(EARLIER_TEXT, flattened);
}

// A write that fails removes the private file: the earlier flattened source
// stays, and nothing of the run's own is left.
TEST(InterruptedRuns, AFailedWriteLeavesNoPrivateFile)
{
    ScratchDirectory directory;
    directory.writeFile("main.asm", largeSource(2000));
    directory.writeFile("orbant.tmp", EARLIER_TEXT);
    CommandSetup setup;
    setup.fileSizeLimit = 4096;
    RunResult result = runProgram("orbant", directory, {"main.asm"}, setup);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("Error while writing orbant.tmp! File too large\nExiting...", result.standardError);
    EXPECT_EQ(std::vector<std::string>{}, privateFilesIn(directory));
    std::string flattened;
    directory.readFile("orbant.tmp", flattened);
    EXPECT_EQ(EARLIER_TEXT, flattened);
}

// Memory that runs out anywhere in a run, early or late, ends it with the
// message, and with no private file left (the flattened source's was, when
// the first block of its text could not be had).
TEST(InterruptedRuns, RunningOutOfMemoryLeavesNoPrivateFile)
{
#ifdef ORBANT_SANITIZED
    GTEST_SKIP() << "the sanitizers' run-time library needs more address space than any limit tried";
#else
    // One long name: its label record, its name record and the flattened
    // text each need memory in proportion.
    const std::string source = " DB 1\n" + std::string(4000000, 'x') + ": DB 2\n";
    int outOfMemory = 0;
    for (rlim_t mebibytes = 8; mebibytes <= 64; mebibytes += 2) {
        ScratchDirectory directory;
        directory.writeFile("main.asm", source);
        const int errors = open((directory.path() / "errors.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(errors, 0);
        pid_t child = startOrbant(directory, orbantWords(), errors, mebibytes << 20);
        close(errors);
        ASSERT_GT(child, 0);
        const int waitStatus = waitForEnd(child);
        std::string message;
        directory.readFile("errors.txt", message);
        ASSERT_TRUE(WIFEXITED(waitStatus)) << mebibytes << " MiB: ended by signal " << WTERMSIG(waitStatus);
        if (WEXITSTATUS(waitStatus) != 0) {
            EXPECT_EQ("Out of memory!\nExiting...", message) << mebibytes << " MiB";
            ++outOfMemory;
        }
        EXPECT_EQ(std::vector<std::string>{}, privateFilesIn(directory)) << mebibytes << " MiB";
    }
    EXPECT_GT(outOfMemory, 0) << "no limit tried was low enough";
#endif
}

}  // namespace
