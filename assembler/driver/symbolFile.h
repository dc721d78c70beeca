// The symbol file "orbant.sym": every label defined in some pass, one
// definition per line in the assembler's own syntax.
#pragma once

// Ends the run when the symbol file would overwrite an input or the
// flattened source; from then on no output may overwrite it either.
void protectSymbolFile();
// Called once after the last pass; a failure is reported, not fatal.
void writeSymbolFile();
