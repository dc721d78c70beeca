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
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Seconds before a run counts as hanging.
constexpr int RUN_TIME_LIMIT = 60;

std::string uniqueName()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "test-run-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(random());
}

}  // namespace

ScratchDirectory::ScratchDirectory() : path_(fs::temp_directory_path() / uniqueName())
{
    fs::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory()
{
    if (kept_)
        return;
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

bool isCleared(const std::string& entry, const CommandSetup& setup)
{
    for (const std::string& prefix : setup.clearedPrefixes)
        if (entry.rfind(prefix, 0) == 0)
            return true;
    for (const auto& [name, value] : setup.environment)
        if (entry.rfind(name + "=", 0) == 0)
            return true;
    return false;
}

// NAME=VALUE entries for the child, built before the fork.
std::vector<std::string> childEnvironment(const CommandSetup& setup)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry)
        if (!isCleared(*entry, setup))
            entries.emplace_back(*entry);
    for (const auto& [name, value] : setup.environment)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words)
        pointers.push_back(word.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Standard output into the file, or closed when there is none.
bool redirectStandardOutput(const char* stdoutPath)
{
    if (!stdoutPath)
        return close(1) == 0 || errno == EBADF;
    int output = open(stdoutPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return output >= 0 && dup2(output, 1) >= 0;
}

// The limit on the length of any file written, as `ulimit -f` sets it: a
// write past it raises SIGXFSZ, whose default action the program starts
// with (the harness may have inherited it ignored).
bool limitFileSize(const std::optional<std::size_t>& limit)
{
    if (!limit)
        return true;
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    const struct rlimit size = {static_cast<rlim_t>(*limit), static_cast<rlim_t>(*limit)};
    return sigaction(SIGXFSZ, &byDefault, nullptr) == 0 && setrlimit(RLIMIT_FSIZE, &size) == 0;
}

// In the child: the scratch directory as working directory, no input, the
// output into files (standard output closed when stdoutPath is null), the
// prepared environment (which the search for the program on PATH uses too).
// Only calls that are safe between fork and exec.
[[noreturn]] void becomeCommand(char* const* argv, char** environment, const char* directory, const char* stdoutPath,
                                const char* stderrPath, const std::optional<std::size_t>& fileSizeLimit)
{
    int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int errors = open(stderrPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (chdir(directory) == 0 && input >= 0 && errors >= 0 && dup2(input, 0) >= 0 && redirectStandardOutput(stdoutPath)
        && dup2(errors, 2) >= 0 && limitFileSize(fileSizeLimit)) {
        environ = environment;
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

struct StartedCommand {
    pid_t child = -1;
    std::string shown;
    std::string stdoutName;  // in the directory; empty when standard output is not collected
    std::string stderrName;
};

// Started directly, without a shell: a run costs one process start. The
// console goes to files named by tag, so that runs side by side keep theirs.
StartedCommand startCommand(const ScratchDirectory& directory, std::vector<std::string> words,
                            const CommandSetup& setup, const std::string& tag)
{
    std::vector<char*> argv = pointersTo(words);
    std::vector<std::string> environment = childEnvironment(setup);
    std::vector<char*> envp = pointersTo(environment);
    const std::string workingDirectory = directory.path().string();
    StartedCommand started;
    started.shown = words.front();
    started.stdoutName = setup.collectsStandardOutput() ? ".stdout" + tag : std::string();
    started.stderrName = ".stderr" + tag;
    const std::string stdoutPath
        = (directory.path() / (started.stdoutName.empty() ? setup.standardOutputPath : started.stdoutName)).string();
    const std::string stderrPath = (directory.path() / started.stderrName).string();
    started.child = fork();
    if (started.child < 0)
        throw std::runtime_error("cannot start " + words.front());
    if (started.child == 0)
        becomeCommand(argv.data(), envp.data(), workingDirectory.c_str(),
                      setup.standardOutputClosed ? nullptr : stdoutPath.c_str(), stderrPath.c_str(),
                      setup.fileSizeLimit);
    return started;
}

RunResult finishCommand(const ScratchDirectory& directory, const StartedCommand& started)
{
    int raw = waitWithinLimit(started.child, started.shown);
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (!started.stdoutName.empty()) {
        directory.readFile(started.stdoutName, result.standardOutput);
        fs::remove(directory.path() / started.stdoutName);
    }
    directory.readFile(started.stderrName, result.standardError);
    fs::remove(directory.path() / started.stderrName);
    return result;
}

}  // namespace

RunResult runCommand(const ScratchDirectory& directory, std::vector<std::string> words, const CommandSetup& setup)
{
    return finishCommand(directory, startCommand(directory, std::move(words), setup, ""));
}

std::vector<RunResult> runCommandsTogether(const ScratchDirectory& directory,
                                           const std::vector<std::vector<std::string>>& commands)
{
    std::vector<StartedCommand> started;
    for (std::size_t i = 0; i < commands.size(); ++i)
        started.push_back(startCommand(directory, commands[i], {}, "-" + std::to_string(i)));
    std::vector<RunResult> results;
    for (const StartedCommand& command : started)
        results.push_back(finishCommand(directory, command));
    return results;
}
