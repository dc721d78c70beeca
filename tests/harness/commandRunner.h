// Runs a program in a scratch directory and collects what it produced.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RunResult {
    int status = -1;
    std::string standardOutput;
    std::string standardError;
};

// A fresh, empty directory that removes itself.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

    void writeFile(const std::string& name, const std::string& content) const;
    void makeSymlink(const std::string& name, const std::string& target) const;
    void makeDirectory(const std::string& name) const;
    void makeFifo(const std::string& name) const;
    bool readFile(const std::string& name, std::string& content) const;
    bool exists(const std::string& name) const;
    // Leaves the directory in place, for a look at a failed run.
    void keep() { kept_ = true; }

private:
    std::filesystem::path path_;
    bool kept_ = false;
};

using EnvironmentChanges = std::vector<std::pair<std::string, std::string>>;

// What a run needs besides its words; the defaults collect both outputs and
// pass the harness's own environment on.
struct CommandSetup {
    // The harness's environment without the variables whose names begin with
    // one of these prefixes...
    std::vector<std::string> clearedPrefixes;
    // ...and with these, each replacing a variable of the same name.
    EnvironmentChanges environment;
    // A file for standard output (relative to the directory), which is then
    // not collected; empty: collected.
    std::string standardOutputPath;
    // The program starts with standard output closed (nothing collected).
    bool standardOutputClosed = false;
    // How long a file the program may write (ulimit -f: a write past it
    // raises SIGXFSZ, which the program must turn into a failed write).
    std::optional<std::size_t> fileSizeLimit;

    bool collectsStandardOutput() const { return standardOutputPath.empty() && !standardOutputClosed; }
};

// Runs the words as a command (the first one found on PATH unless it holds
// a slash) in the directory, with no input and a time limit: a run still
// going after a minute is killed and ends with status -1. Safe to call from
// several threads at once.
RunResult runCommand(const ScratchDirectory& directory, std::vector<std::string> words, const CommandSetup& setup = {});
// Starts every command at once in the same directory, then waits for each.
std::vector<RunResult> runCommandsTogether(const ScratchDirectory& directory,
                                           const std::vector<std::vector<std::string>>& commands);
