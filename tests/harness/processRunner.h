// Runs the programs under test, orbant and romtap, in a scratch directory and
// collects what they produced.
#pragma once

#include "commandRunner.h"

// Runs the program ("orbant" or "romtap") in the directory, with no input and
// a time limit. The command is NAME_COMMAND from the environment (ORBANT_COMMAND,
// ROMTAP_COMMAND), words separated by blanks (for an emulator and a
// cross-built executable), or else the executable just built. A run that the
// emulator lost is tried again.
RunResult runProgram(const std::string& program, const ScratchDirectory& directory,
                     const std::vector<std::string>& arguments, const CommandSetup& setup = {});

RunResult runOrbant(const ScratchDirectory& directory, const std::vector<std::string>& arguments);

// Starts one orbant run per argument list at once, all in the directory.
std::vector<RunResult> runOrbantTogether(const ScratchDirectory& directory,
                                         const std::vector<std::vector<std::string>>& argumentLists);

// True when NAME_COMMAND runs another build than the one just made.
bool runsForeignBuild(const std::string& program = "orbant");

// The timing line varies from run to run; a Windows build ends console lines
// with CR LF (NAME_CONSOLE_CRLF set: ORBANT_CONSOLE_CRLF, ROMTAP_CONSOLE_CRLF),
// which compares as LF.
std::string normaliseConsole(const std::string& text, const std::string& program = "orbant");
