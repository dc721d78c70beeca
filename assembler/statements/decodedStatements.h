// Statements decoded once: a pass before the final one keeps, for each
// statement whose bytes follow from its tokens and the labels it reads, the
// bytes it emitted and the value each of those labels gave; a later pass that
// meets the same statement while every such label still gives its value
// emits the bytes again through the same emit operations and goes on after
// it, without reading its operands. Kept statements on consecutive lines
// form runs, served at once.
//
// A statement qualifies when it is an instruction (not a relative jump) or
// DB, DC, DW, DS that read only defined labels (no "$", "$$" or label not yet
// defined), raised no warning (in any pass, printed or not) and emitted only
// values in range. The runs are found by the token record they start at,
// walked in pass order; records scanned again (another CPU mode) end their
// use for the rest of the pass.
#pragma once

#include "dispatcher.h"

// Around each pass: what the two passes before kept is served in this one
// (but in the pass that makes the listing: start after the listing is set
// up for the pass), and a pass before the final one keeps what it reads and
// may keep.
void startDecodedPass();
void endDecodedPass();

// Runs the statement that token (in curToken) begins: from its kept form
// where there is one, else through handler, keeping its form if it
// qualifies.
void runDecodable(StatementHandler handler, int token);
