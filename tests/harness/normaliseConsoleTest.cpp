// The console normalisation hides only what varies between runs and builds.
#include "processRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(NormaliseConsole, MasksTheTimingOnly)
{
    EXPECT_EQ("Pass 1...\nFinished in #.## seconds.\n", normaliseConsole("Pass 1...\nFinished in 12.05 seconds.\n"));
    EXPECT_EQ("Finished in 1.5 seconds.\nFinished in x.00 seconds.\nFinished in #.## seconds.",
              normaliseConsole("Finished in 1.5 seconds.\nFinished in x.00 seconds.\nFinished in 0.00 seconds."));
}

TEST(NormaliseConsole, TurnsCarriageReturnLineFeedIntoLineFeedForAWindowsBuild)
{
    const char* saved = std::getenv("ORBANT_CONSOLE_CRLF");
    std::string kept = saved ? saved : "";
    setenv("ORBANT_CONSOLE_CRLF", "1", 1);
    EXPECT_EQ("a\nb\r\nc\r", normaliseConsole("a\r\nb\r\r\nc\r"));
    unsetenv("ORBANT_CONSOLE_CRLF");
    EXPECT_EQ("a\r\n", normaliseConsole("a\r\n"));
    if (saved)
        setenv("ORBANT_CONSOLE_CRLF", kept.c_str(), 1);
}

}  // namespace
