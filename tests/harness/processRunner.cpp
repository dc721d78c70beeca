#include "processRunner.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Seconds before a run counts as hanging.
constexpr int RUN_TIME_LIMIT = 60;

std::string quoted(const std::string& word)
{
    std::string result = "'";
    for (char c : word) {
        if (c == '\'')
            result += "'\\''";
        else
            result += c;
    }
    return result + "'";
}

std::string uniqueName()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "orbant-case-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-"
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

std::string orbantCommand()
{
    const char* configured = std::getenv("ORBANT_COMMAND");
    return configured && *configured ? configured : quoted(ORBANT_EXECUTABLE);
}

namespace {

RunResult runOnce(const ScratchDirectory& directory, const std::vector<std::string>& arguments)
{
    const fs::path stdoutFile = directory.path() / ".stdout";
    const fs::path stderrFile = directory.path() / ".stderr";
    std::string command = "cd " + quoted(directory.path().string()) + " && timeout " + std::to_string(RUN_TIME_LIMIT)
        + " " + orbantCommand();
    for (const std::string& argument : arguments) {
        command += ' ';
        command += quoted(argument);
    }
    command += " </dev/null >";
    command += quoted(stdoutFile.string());
    command += " 2>";
    command += quoted(stderrFile.string());
    int raw = std::system(command.c_str());
    RunResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    directory.readFile(".stdout", result.standardOutput);
    directory.readFile(".stderr", result.standardError);
    fs::remove(stdoutFile);
    fs::remove(stderrFile);
    return result;
}

// orbant reports every failure on standard error; a failed run that says
// nothing there is the emulator losing the program (at start or midway),
// which happens now and then under load. Such a run is tried again.
bool emulatorLostTheRun(const RunResult& result)
{
    return runsForeignBuild() && result.status != 0 && result.standardError.empty();
}

}  // namespace

RunResult runOrbant(const ScratchDirectory& directory, const std::vector<std::string>& arguments)
{
    RunResult result = runOnce(directory, arguments);
    for (int retry = 0; retry < 3 && emulatorLostTheRun(result); ++retry) {
        std::fprintf(stderr, "The emulator lost a run (status %d, standard output \"%s\"); running it again.\n",
                     result.status, result.standardOutput.c_str());
        result = runOnce(directory, arguments);
    }
    return result;
}

bool runsForeignBuild()
{
    const char* configured = std::getenv("ORBANT_COMMAND");
    return configured && *configured;
}

std::string normaliseConsole(const std::string& text)
{
    static const std::regex timing("Finished in [0-9]+\\.[0-9][0-9] seconds\\.");
    std::string lines = text;
    const char* crlf = std::getenv("ORBANT_CONSOLE_CRLF");
    if (crlf && *crlf)
        lines = std::regex_replace(lines, std::regex("\r\n"), "\n");
    return std::regex_replace(lines, timing, "Finished in #.## seconds.");
}
