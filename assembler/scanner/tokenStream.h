// The token stream that the statement loop, the encoders and the evaluator
// read: curToken is the parsers' one cursor into it.
#pragma once

// Fetches the next token into curToken: the one place that moves the cursor.
void advanceToken();
