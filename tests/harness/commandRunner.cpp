#include "commandRunner.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Seconds before a run counts as hanging.
constexpr int RUN_TIME_LIMIT = 60;

std::string uniqueName()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "test-run-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-"
        + std::to_string(random());
}

}  // namespace

ScratchDirectory::ScratchDirectory() : path_(fs::temp_directory_path() / uniqueName())
{
    fs::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void ScratchDirectory::writeFile(const std::string& name, const std::string& content) const
{
    fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary);
    stream.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!stream)
        throw std::runtime_error("cannot write " + file.string());
}

void ScratchDirectory::makeSymlink(const std::string& name, const std::string& target) const
{
    fs::create_symlink(target, path_ / name);
}

void ScratchDirectory::makeDirectory(const std::string& name) const
{
    fs::create_directories(path_ / name);
}

void ScratchDirectory::makeFifo(const std::string& name) const
{
    if (mkfifo((path_ / name).c_str(), 0644) != 0)
        throw std::runtime_error("cannot make the FIFO " + name);
}

bool ScratchDirectory::readFile(const std::string& name, std::string& content) const
{
    std::ifstream stream(path_ / name, std::ios::binary);
    if (!stream)
        return false;
    std::ostringstream buffer;
    buffer << stream.rdbuf();
    content = buffer.str();
    return true;
}

bool ScratchDirectory::exists(const std::string& name) const
{
    return fs::exists(path_ / name);
}

namespace {

// In the child: the scratch directory as working directory, no input, the
// output into files. Only calls that are safe between fork and exec.
[[noreturn]] void becomeCommand(char* const* argv, const char* directory, const char* stdoutPath, const char* stderrPath)
{
    int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int output = open(stdoutPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int errors = open(stderrPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (chdir(directory) == 0 && input >= 0 && output >= 0 && errors >= 0 && dup2(input, 0) >= 0
        && dup2(output, 1) >= 0 && dup2(errors, 2) >= 0) {
        execvp(argv[0], argv);
        const char message[] = "the test harness could not start the command\n";
        [[maybe_unused]] ssize_t ignored = write(2, message, sizeof message - 1);
    }
    _exit(127);
}

// The wait status; a run still going at the time limit is killed.
int waitWithinLimit(pid_t child, const std::string& shown)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(RUN_TIME_LIMIT);
    int raw = 0;
    for (;;) {
        pid_t ended = waitpid(child, &raw, WNOHANG);
        if (ended == child)
            return raw;
        if (ended < 0 && errno != EINTR)
            throw std::runtime_error("lost track of " + shown);
        if (steady_clock::now() >= deadline) {
            std::fprintf(stderr, "%s ran over %d seconds and was stopped.\n", shown.c_str(), RUN_TIME_LIMIT);
            kill(child, SIGKILL);
            while (waitpid(child, &raw, 0) < 0 && errno == EINTR) {
            }
            return raw;
        }
        // Short naps: most runs end within a few milliseconds.
        std::this_thread::sleep_for(milliseconds(1));
    }
}

}  // namespace

namespace {

struct StartedCommand {
    pid_t child;
    std::string shown;
    std::string stdoutName;
    std::string stderrName;
};

// Started directly, without a shell: a run costs one process start. The
// console goes to files named by tag, so that runs side by side keep theirs.
StartedCommand startCommand(const ScratchDirectory& directory, std::vector<std::string> words, const std::string& tag)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    StartedCommand started{-1, words.front(), ".stdout" + tag, ".stderr" + tag};
    const std::string workingDirectory = directory.path().string();
    const std::string stdoutPath = (directory.path() / started.stdoutName).string();
    const std::string stderrPath = (directory.path() / started.stderrName).string();
    started.child = fork();
    if (started.child < 0)
        throw std::runtime_error("cannot start " + words.front());
    if (started.child == 0)
        becomeCommand(argv.data(), workingDirectory.c_str(), stdoutPath.c_str(), stderrPath.c_str());
    return started;
}

RunResult finishCommand(const ScratchDirectory& directory, const StartedCommand& started)
{
    int raw = waitWithinLimit(started.child, started.shown);
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    directory.readFile(started.stdoutName, result.standardOutput);
    directory.readFile(started.stderrName, result.standardError);
    fs::remove(directory.path() / started.stdoutName);
    fs::remove(directory.path() / started.stderrName);
    return result;
}

}  // namespace

RunResult runCommand(const ScratchDirectory& directory, std::vector<std::string> words)
{
    return finishCommand(directory, startCommand(directory, std::move(words), ""));
}

std::vector<RunResult> runCommandsTogether(const ScratchDirectory& directory,
                                           const std::vector<std::vector<std::string>>& commands)
{
    std::vector<StartedCommand> started;
    for (std::size_t i = 0; i < commands.size(); ++i)
        started.push_back(startCommand(directory, commands[i], "-" + std::to_string(i)));
    std::vector<RunResult> results;
    for (const StartedCommand& command : started)
        results.push_back(finishCommand(directory, command));
    return results;
}
