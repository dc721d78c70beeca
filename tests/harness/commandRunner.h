// Runs a program in a scratch directory and collects what it produced.
#pragma once

#include <filesystem>
#include <string>
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

private:
    std::filesystem::path path_;
};

// Runs the words as a command (the first one found on PATH unless it holds
// a slash) in the directory, with no input and a time limit: a run still
// going after a minute is killed and ends with status -1.
RunResult runCommand(const ScratchDirectory& directory, std::vector<std::string> words);
// Starts every command at once in the same directory, then waits for each.
std::vector<RunResult> runCommandsTogether(const ScratchDirectory& directory,
                                           const std::vector<std::vector<std::string>>& commands);
