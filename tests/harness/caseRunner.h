// Runs one `.case` file of either program in a scratch directory of its own
// and keeps what the run produced, for the checks.
#pragma once

#include "caseFile.h"
#include "commandRunner.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct CaseRun {
    std::unique_ptr<ScratchDirectory> directory;
    RunResult result;
    std::string skipReason;  // why this build does not run the case
    std::string setupError;  // why the case could not be run
    // romtap's reader library as copied into the directory (reader sim-copy),
    // relative to it; {library} in the arguments and the standard streams.
    std::string copiedLibrary;
    // The case's standard output and error with {library}, and {size},
    // {crc32} and {sha1} of its first image, filled in.
    std::optional<std::string> expectedStandardOutput;
    std::optional<std::string> expectedStandardError;
    // The case's text files with those filled in, and {library-name} and
    // {library-sha1}, the reader library's file name and SHA-1; {date} is
    // left for checkDates.
    std::vector<ExpectedFile> expectedTexts;
    std::chrono::system_clock::time_point started, ended;
};

CaseRun runCase(const CaseFile& testCase);

// The expected text with each {date} replaced by the actual text at its
// place when that is a UTC time in ISO 8601 ("2026-12-09T13:05:00Z") within
// the run; else left as it is, so that the texts differ.
std::string withDates(std::string expected, const std::string& actual, const CaseRun& run);

// How many cases of the program run at once: romtap's runs mostly wait for
// the reader (a 300 ms poll at least, three seconds when none appears).
unsigned runsAtOnce(const std::string& program);

// The lines of the simulated reader's log for which keep is true.
std::vector<std::string> readerLogLines(const CaseRun& run, bool (*keep)(const std::string& line));

// Whether the reader library copied into the run's directory is still the
// simulated reader, byte for byte.
bool copiedLibraryIsUnchanged(const CaseRun& run);
