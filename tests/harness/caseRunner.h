// Runs one `.case` file of either program in a scratch directory of its own
// and keeps what the run produced, for the checks.
#pragma once

#include "caseFile.h"
#include "commandRunner.h"

#include <memory>
#include <optional>
#include <string>

struct CaseRun {
    std::unique_ptr<ScratchDirectory> directory;
    RunResult result;
    std::string skipReason;  // why this build does not run the case
    std::string setupError;  // why the case could not be run
    // romtap's reader library as copied into the directory (reader sim-copy),
    // relative to it; {library} in the arguments and standard output.
    std::string copiedLibrary;
    // The case's standard output with {library}, and {size}, {crc32} and
    // {sha1} of its first image, filled in.
    std::optional<std::string> expectedStandardOutput;
};

CaseRun runCase(const CaseFile& testCase);

// How many cases of the program run at once: romtap's runs mostly wait for
// the reader (a 300 ms poll at least, three seconds when none appears).
unsigned runsAtOnce(const std::string& program);

// The lines of the simulated reader's log for which keep is true.
std::vector<std::string> readerLogLines(const CaseRun& run, bool (*keep)(const std::string& line));

// Whether the reader library copied into the run's directory is still the
// simulated reader, byte for byte.
bool copiedLibraryIsUnchanged(const CaseRun& run);
