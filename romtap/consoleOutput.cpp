#include "consoleOutput.h"

#include <cstdio>
#include <cstdlib>

void dieWithMessage(const char* text)
{
    std::printf("%s\n", text);
    std::exit(1);
}

void dieOnNewLine(const char* prefix, const char* text)
{
    std::printf("\n%s", prefix);
    dieWithMessage(text);
}

void endRun(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("romtap: error writing to standard output\n", stderr);
        std::exit(1);
    }
    std::exit(status);
}
