// "FNAME", "FORG" and "INCBIN": output files, write positions, binary includes.
#pragma once

#include <cstdint>
#include <string>

void fnameDirective();
void forgDirective();
void incbinDirective();

// The current string token as a file name, of any length: one holding a NUL
// byte is refused.
std::string stringTokenAsFileName();
