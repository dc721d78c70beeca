// Runs orbant in a scratch directory and collects what it produced.
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
    bool readFile(const std::string& name, std::string& content) const;
    bool exists(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Runs orbant in the directory, with no input and a time limit. The command
// is ORBANT_COMMAND from the environment, words separated by blanks (for an
// emulator and a cross-built executable), or else the executable just built.
RunResult runOrbant(const ScratchDirectory& directory, const std::vector<std::string>& arguments);

// True when ORBANT_COMMAND runs another build than the one just made.
bool runsForeignBuild();

// The timing line varies from run to run; a Windows build ends console lines
// with CR LF (ORBANT_CONSOLE_CRLF set), which compares as LF.
std::string normaliseConsole(const std::string& text);
