// Statements decoded once: a pass before the final one keeps, for each
// statement whose bytes follow from its tokens alone, the bytes it emitted;
// a later pass that meets the same statement emits them again through the
// same emit operations and goes on after it, without reading its operands.
//
// A statement qualifies when it names no label, uses neither "$" nor "$$",
// raised no warning (in any pass, printed or not), emitted only values in
// range, and its tokens lie on one line of one file. The kept form is found
// by the token record the statement starts at, walked in pass order; records
// scanned again (another CPU mode) end its use for the rest of the pass.
#pragma once

#include "dispatcher.h"

// Around each pass: what the previous passes kept is served in this one,
// and a pass before the final one keeps anew what it meets.
void startDecodedPass();
void endDecodedPass();

// Runs the statement that token (in curToken) begins: from its kept form
// where there is one, else through handler, keeping its form if it
// qualifies.
void runDecodable(StatementHandler handler, int token);
