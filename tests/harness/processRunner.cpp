#include "processRunner.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

// The words that start orbant: ORBANT_COMMAND split at blanks (an emulator
// and a cross-built executable), or the executable just built.
std::vector<std::string> commandWords()
{
    if (!runsForeignBuild())
        return {ORBANT_EXECUTABLE};
    std::istringstream stream(std::getenv("ORBANT_COMMAND"));
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

RunResult runOnce(const ScratchDirectory& directory, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = commandWords();
    words.insert(words.end(), arguments.begin(), arguments.end());
    return runCommand(directory, words);
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
