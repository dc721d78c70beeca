#include "consoleOutput.h"

#include "platformSystem.h"

#include <cstdio>
#include <cstdlib>

void stopIfInterrupted()
{
    if (const int interruption = platform::notedInterruption())
        throw RunInterrupted{interruption};
}

void dieOnCommandLine(const std::string& text)
{
    std::fprintf(stderr, "romtap: %s\n", text.c_str());
    std::exit(1);
}

void dieWithMessage(const std::string& text)
{
    throw RunFailure{text + "\n"};
}

void dieOnNewLine(const std::string& prefix, const std::string& text)
{
    dieWithMessage("\n" + prefix + text);
}

void endRunWith(const RunFailure& failure)
{
    std::fputs(failure.message.c_str(), stdout);
    std::exit(1);
}

bool standardOutputWritten()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

void endRun(int status)
{
    if (!standardOutputWritten()) {
        std::fprintf(stderr, "%s\n", STANDARD_OUTPUT_FAILURE);
        std::exit(1);
    }
    std::exit(status);
}
