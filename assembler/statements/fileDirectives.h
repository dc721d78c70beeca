// "FNAME", "FORG" and "INCBIN": output files, write positions, binary includes.
#pragma once

#include <cstdint>
#include <string>

void fnameDirective();
void forgDirective();
void incbinDirective();

// The current string token as a file name. Names the include pass would
// refuse (over 255 characters or holding a NUL byte) are refused the same way.
std::string stringTokenAsFileName();

// No directive may make an output file longer than this: far beyond any
// cartridge, and a guard against a stray huge count filling the disk.
constexpr int64_t OUTPUT_SIZE_LIMIT = int64_t{64} << 20;
// Ends the run when a write would reach past OUTPUT_SIZE_LIMIT.
void requireOutputEndWithinLimit(int64_t end);
