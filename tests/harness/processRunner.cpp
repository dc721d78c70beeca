#include "processRunner.h"

#include <cstdio>
#include <cstdlib>
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

std::vector<std::string> orbantCommand(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = commandWords();
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

RunResult runOnce(const ScratchDirectory& directory, const std::vector<std::string>& arguments)
{
    return runCommand(directory, orbantCommand(arguments));
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

std::vector<RunResult> runOrbantTogether(const ScratchDirectory& directory,
                                         const std::vector<std::vector<std::string>>& argumentLists)
{
    std::vector<std::vector<std::string>> commands;
    for (const std::vector<std::string>& arguments : argumentLists)
        commands.push_back(orbantCommand(arguments));
    return runCommandsTogether(directory, commands);
}

bool runsForeignBuild()
{
    const char* configured = std::getenv("ORBANT_COMMAND");
    return configured && *configured;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of "N.NN seconds." at the start of text, N any number; 0 if none.
std::size_t timingLength(const std::string& text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    const std::string rest = " seconds.";
    if (end == at || end + 3 > text.size() || text[end] != '.' || !isDigit(text[end + 1]) || !isDigit(text[end + 2])
        || text.compare(end + 3, rest.size(), rest) != 0)
        return 0;
    return end + 3 + rest.size() - at;
}

std::string withTimingsMasked(const std::string& text)
{
    const std::string lead = "Finished in ";
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(lead, from)) != std::string::npos;) {
        std::size_t timing = at + lead.size();
        result.append(text, from, timing - from);
        from = timing;
        if (std::size_t length = timingLength(text, timing)) {
            result += "#.## seconds.";
            from += length;
        }
    }
    return result.append(text, from);
}

std::string withLineFeedsOnly(const std::string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            result += text[i];
    return result;
}

}  // namespace

std::string normaliseConsole(const std::string& text)
{
    const char* crlf = std::getenv("ORBANT_CONSOLE_CRLF");
    return withTimingsMasked(crlf && *crlf ? withLineFeedsOnly(text) : text);
}
