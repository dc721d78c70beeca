// Conditional assembly: "IF", "IFDEF", "IFEXIST", "ELSE", "ENDIF".
//
// An assembled block's body runs in the ordinary statement loop, which meets
// the block's "ELSE" or "ENDIF" like any other statement; a false block is
// skipped token by token here. Nesting therefore costs no call depth, only
// one flag per open block.
#pragma once

void ifDirective();
void ifdefDirective();
void ifexistDirective();
// Reached only in assembled code with a block open (the loop checks that).
void elseDirective();
void endifDirective();
// "IF without ENDIF" for the input ending inside a block; the GNU form notes
// where the innermost open block was opened.
[[noreturn]] void reportUnclosedBlock();
