// Runs orbant both ways on the same input and aborts where the two differ:
// with the statements each pass keeps for the later passes, and with
// every pass reading every statement (ORBANT_FRESH_PASSES=1). Each run is a
// child process in a folder of its own; the status, standard output (but the
// time it took), standard error and every file left in the folder must be
// the same, byte for byte, and neither may crash.
//
// Usage: passes_diff FOLDER [-- ARGUMENT...]  a copy of FOLDER for each run,
//                                             orbant's arguments (default main.asm)
//        passes_diff FILE...                  each FILE as main.asm: the fuzzer's form
#include "driver/passDriver.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string standardOutput;
    std::string standardError;
    std::map<std::string, std::string> files;  // by path within the folder
};

std::string readFile(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    std::size_t done = 0;
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
        result.append(text, done, at - done).append(to);
        done = at + from.size();
    }
    return result.append(text, done);
}

// The run's own folder and the time it took are all that may differ.
std::string normalized(const std::string& original, const fs::path& folder)
{
    std::string text = replaceAll(original, folder.string(), "{folder}");
    const std::string finished = "Finished in ";
    const std::size_t at = text.find(finished);
    const std::size_t end = at == std::string::npos ? at : text.find(" seconds.", at);
    if (end == std::string::npos)
        return text;
    return text.substr(0, at + finished.size()) + "#" + text.substr(end);
}

// In the child: the folder as working directory, outputs to files, the
// environment variable set or not, then orbant's run.
[[noreturn]] void runChild(const fs::path& folder, const fs::path& outputs, bool fresh,
                           std::vector<std::string> arguments)
{
    if (chdir(folder.c_str()) != 0)
        std::_Exit(126);
    const int input = open("/dev/null", O_RDONLY);
    const int output = open((outputs.string() + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int error = open((outputs.string() + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input < 0 || output < 0 || error < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0)
        std::_Exit(126);
    if (fresh)
        setenv("ORBANT_FRESH_PASSES", "1", 1);
    else
        unsetenv("ORBANT_FRESH_PASSES");
    arguments.insert(arguments.begin(), "orbant");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::exit(runAssembler(static_cast<int>(arguments.size()), argv.data()));
}

Outcome runOnce(const fs::path& work, const std::string& name, const fs::path& source, bool fresh,
                const std::vector<std::string>& arguments)
{
    const fs::path folder = work / name;
    fs::create_directory(folder);
    if (fs::is_directory(source))
        fs::copy(source, folder, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    else
        fs::copy_file(source, folder / "main.asm");
    const fs::path outputs = work / (name + "-outputs");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::abort();
    }
    if (child == 0)
        runChild(folder, outputs, fresh, arguments);
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        std::perror("waitpid");
        std::abort();
    }
    // A crash or a sanitizer's report in either run is the fuzzer's finding.
    if (!WIFEXITED(status)) {
        std::cerr << source.string() << ": the run " << (fresh ? "fresh" : "with kept statements")
                  << " ended by signal " << WTERMSIG(status) << "\n";
        std::abort();
    }
    Outcome outcome;
    outcome.status = WEXITSTATUS(status);
    outcome.standardOutput = normalized(readFile(outputs.string() + ".out"), folder);
    outcome.standardError = normalized(readFile(outputs.string() + ".err"), folder);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && !entry.is_symlink())
            outcome.files[fs::relative(entry.path(), folder).string()] = normalized(readFile(entry.path()), folder);
    return outcome;
}

[[noreturn]] void reportDifference(const fs::path& source, const std::string& what, const std::string& kept,
                                   const std::string& fresh)
{
    std::cerr << source.string() << ": " << what << " differs\n--- with kept statements:\n"
              << kept << "\n--- fresh:\n"
              << fresh << "\n";
    std::abort();
}

void compare(const fs::path& source, const std::vector<std::string>& arguments)
{
    const fs::path work = fs::temp_directory_path() / ("passes_diff." + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    // Names of one length, so that messages naming the folder line up.
    const Outcome kept = runOnce(work, "k", source, false, arguments);
    const Outcome fresh = runOnce(work, "f", source, true, arguments);
    fs::remove_all(work);
    if (kept.status != fresh.status)
        reportDifference(source, "the status", std::to_string(kept.status), std::to_string(fresh.status));
    if (kept.standardOutput != fresh.standardOutput)
        reportDifference(source, "standard output", kept.standardOutput, fresh.standardOutput);
    if (kept.standardError != fresh.standardError)
        reportDifference(source, "standard error", kept.standardError, fresh.standardError);
    for (const auto& [name, content] : fresh.files) {
        auto found = kept.files.find(name);
        if (found == kept.files.end())
            reportDifference(source, "the files", "(no " + name + ")", name);
        if (found->second != content)
            reportDifference(source, name, found->second, content);
    }
    if (kept.files.size() != fresh.files.size())
        reportDifference(source, "the number of files", std::to_string(kept.files.size()),
                         std::to_string(fresh.files.size()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "Usage: passes_diff FOLDER [-- ARGUMENT...] | passes_diff FILE...\n";
        return 2;
    }
    if (fs::is_directory(argv[1])) {
        std::vector<std::string> arguments(argv + 2, argv + argc);
        if (!arguments.empty() && arguments.front() == "--")
            arguments.erase(arguments.begin());
        if (arguments.empty())
            arguments.push_back("main.asm");
        compare(argv[1], arguments);
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        compare(argv[i], {"main.asm"});
    return 0;
}
