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
