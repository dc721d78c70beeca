// Runs orbant in a scratch directory and collects what it produced.
#pragma once

#include "commandRunner.h"

// Runs orbant in the directory, with no input and a time limit. The command
// is ORBANT_COMMAND from the environment, words separated by blanks (for an
// emulator and a cross-built executable), or else the executable just built.
RunResult runOrbant(const ScratchDirectory& directory, const std::vector<std::string>& arguments);

// Starts one orbant run per argument list at once, all in the directory.
std::vector<RunResult> runOrbantTogether(const ScratchDirectory& directory,
                                         const std::vector<std::vector<std::string>>& argumentLists);

// True when ORBANT_COMMAND runs another build than the one just made.
bool runsForeignBuild();

// The timing line varies from run to run; a Windows build ends console lines
// with CR LF (ORBANT_CONSOLE_CRLF set), which compares as LF.
std::string normaliseConsole(const std::string& text);
