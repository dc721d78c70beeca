// Statements decoded once: a pass before the final one keeps, for each
// statement whose bytes follow from its tokens, the labels it reads and its
// position, the bytes it emitted and what it depended on; a later pass that
// meets the same statement while all of that holds emits the bytes again
// through the same emit operations and goes on after it, without reading
// its operands. Kept statements on consecutive lines form runs, served at
// once, and a pass that keeps keeps what it serves too, so that the next
// pass finds every run in the runs of the pass before it.
//
// A statement qualifies when it is an instruction or DB, DC, DW, DS that
// read only defined labels (no "$", "$$" or label not yet defined), raised
// no warning (in any pass, printed or not) and emitted only values in
// range; or the definition of a label where it stands (not an EQU). A
// relative jump depends on its position, a label definition on its
// position and on the label's value. The runs are found by the token record
// they start at, walked in pass order; records scanned again (another CPU
// mode) end their use for the rest of the pass.
#pragma once

#include "dispatcher.h"

// Around each pass: what the pass before kept is served in this one (but in
// the pass that makes the listing: start after the listing is set up for
// the pass), and a pass before the final one keeps what it reads and may
// keep, and what it serves.
void startDecodedPass();
void endDecodedPass();

// Runs the statement that token (in curToken) begins: from its kept form
// where there is one, else through handler, keeping its form if it
// qualifies.
void runDecodable(StatementHandler handler, int token);
