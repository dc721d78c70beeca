// Translates orbant instruction lines into the syntax of GNU as for the Z80.
#pragma once

#include <string>
#include <vector>

// The -march option of GNU as for an orbant CPU mode ("z80", "r800", "gbz80").
std::string gnuArchitecture(const std::string& mode);

// The GNU lines for one orbant source line: statements separated by "|"
// become lines of their own; brackets, number notations, the implied
// accumulator, operand lists of PUSH and POP, and the GBZ80 spellings of the
// high-page and stack-relative loads are rewritten. Anything else is passed
// through, so that GNU as judges it.
std::vector<std::string> toGnuSyntax(const std::string& mode, const std::string& line);
