// The symbol file "orbant.sym": every label defined in some pass, one
// definition per line in the assembler's own syntax.
#pragma once

// Called once after the last pass; a failure is reported, not fatal.
void writeSymbolFile();
