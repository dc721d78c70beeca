#include "processRunner.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace {

// A foreign run that failed without a word of the program's own is the
// emulator losing it (at start or midway), which happens now and then under
// load. orbant reports every failure on standard error; romtap prints its
// title first of all.
bool orbantWasLost(const RunResult& result, const CommandSetup&)
{
    return result.standardError.empty();
}

bool romtapWasLost(const RunResult& result, const CommandSetup& setup)
{
    return setup.collectsStandardOutput()
           && (result.standardOutput.empty()
               || result.standardOutput.rfind("Application could not be started", 0) == 0);
}

struct Program {
    const char* name;
    const char* builtExecutable;
    bool (*wasLost)(const RunResult&, const CommandSetup&);
};

const Program PROGRAMS[] = {
    {"orbant", ORBANT_EXECUTABLE, orbantWasLost},
    {"romtap", ROMTAP_EXECUTABLE, romtapWasLost},
};

const Program& programNamed(const std::string& name)
{
    for (const Program& program : PROGRAMS)
        if (name == program.name)
            return program;
    throw std::runtime_error("no such program to run: " + name);
}

// NAME_COMMAND, NAME_CONSOLE_CRLF, ... for the program's NAME in capitals.
const char* variableOf(const std::string& program, const char* suffix)
{
    std::string name;
    for (char c : program)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char* value = std::getenv((name + suffix).c_str());
    return value && *value ? value : nullptr;
}

std::vector<std::string> commandWords(const Program& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words;
    if (const char* configured = variableOf(program.name, "_COMMAND")) {
        std::istringstream stream(configured);
        for (std::string word; stream >> word;)
            words.push_back(word);
    } else {
        words.push_back(program.builtExecutable);
    }
    words.insert(words.end(), arguments.begin(), arguments.end());
    return words;
}

}  // namespace

RunResult runProgram(const std::string& name, const ScratchDirectory& directory,
                     const std::vector<std::string>& arguments, const CommandSetup& setup)
{
    const Program& program = programNamed(name);
    std::vector<std::string> words = commandWords(program, arguments);
    RunResult result = runCommand(directory, words, setup);
    for (int retry = 0; retry < 3 && runsForeignBuild(name) && result.status != 0 && program.wasLost(result, setup);
         ++retry) {
        std::fprintf(stderr, "The emulator lost a run (status %d, standard output \"%s\"); running it again.\n",
                     result.status, result.standardOutput.c_str());
        result = runCommand(directory, words, setup);
    }
    return result;
}

RunResult runOrbant(const ScratchDirectory& directory, const std::vector<std::string>& arguments)
{
    return runProgram("orbant", directory, arguments);
}

std::vector<RunResult> runOrbantTogether(const ScratchDirectory& directory,
                                         const std::vector<std::vector<std::string>>& argumentLists)
{
    std::vector<std::vector<std::string>> commands;
    for (const std::vector<std::string>& arguments : argumentLists)
        commands.push_back(commandWords(programNamed("orbant"), arguments));
    return runCommandsTogether(directory, commands);
}

bool runsForeignBuild(const std::string& program)
{
    return variableOf(program, "_COMMAND") != nullptr;
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

std::string normaliseConsole(const std::string& text, const std::string& program)
{
    return withTimingsMasked(variableOf(program, "_CONSOLE_CRLF") ? withLineFeedsOnly(text) : text);
}
