// Macros and repeated blocks (--macros): MACRO, ENDM, REPT, ENDR and EXITM
// act on the flattened source, before any pass, as INCLUDE does. The passes
// then assemble the expansion like any other text.
#pragma once

// Preprocessing: label definitions wait for the expansion, which registers
// those of the expanded text; the flattened file waits for the expansion.
void prepareMacroExpansion();
// Replaces the flattened text made so far by its expansion.
void expandMacros();
