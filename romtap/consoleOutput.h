// How a run of romtap ends, and what it says when it fails. Everything but
// the command line's complaints goes to standard output.
#pragma once

#include <string>

// A failure of the run. Thrown rather than ending the process on the spot,
// so that what the run holds is released on the way out (the reader library
// is unbound); main prints the message and ends with status 1.
struct RunFailure {
    std::string message;  // printed as it is, line ends included
};

// An interruption noted while the reader is bound: thrown where the run next
// looks, so that the reader is released on the way out, which then ends the
// run as the interruption would have ended it.
struct RunInterrupted {
    int interruption;
};

// Throws RunInterrupted once an interruption has been noted. Called between
// the reader's calls.
void stopIfInterrupted();

// A command line romtap cannot take: "romtap: TEXT" on standard error,
// status 1, before anything else happens.
[[noreturn]] void dieOnCommandLine(const std::string& text);

// Ends the run with the text and a line end, by throwing RunFailure.
[[noreturn]] void dieWithMessage(const std::string& text);

// For failures in the middle of the "Dumping ROM" progress line.
[[noreturn]] void dieOnNewLine(const std::string& prefix, const std::string& text);

// Prints the failure's message, status 1.
[[noreturn]] void endRunWith(const RunFailure& failure);

// What a run says when its standard output could not be written.
constexpr const char* STANDARD_OUTPUT_FAILURE = "romtap: error writing to standard output";

// Flushes standard output: false when anything written to it was lost.
bool standardOutputWritten();

// Ends with status, or with 1 when standard output could not be written:
// a listing or checksum nobody can read is no success.
[[noreturn]] void endRun(int status);
