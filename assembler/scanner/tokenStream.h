// The token stream that the statement loop, the encoders and the evaluator
// read: curToken is the parsers' one cursor into it.
//
// The first pass over the flattened source scans it and records every token;
// later passes over the same text replay the records instead of scanning
// again. A replayed token leaves exactly the state a fresh scan would leave:
// where the CPU mode differs from the one a token was scanned in, the text is
// scanned again from that token on, and recorded anew.
#pragma once

struct LabelRecord;

// Fetches the next token into curToken: the one place that moves the cursor.
void advanceToken();

// Called once the pass's input is set to a text that stays in place for the
// whole run: its tokens come from the records an earlier pass made of it.
// Before the first call (preprocessing) tokens are scanned, not recorded.
void startTokenPass();

// Where the label record of the current name token (an identifier or a label
// definition) is kept between passes; nullptr for other tokens.
LabelRecord** currentTokenLabelSlot();

// The scanner read a file marker, which gives no token of its own: a pass
// that records keeps it as an event before the next token.
void recordFileMarker();
