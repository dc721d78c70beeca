// Which handler assembles a statement that begins with a given token.
#pragma once

#include "dispatcher.h"

// The handler of each token, indexed by token (0 to TOKEN_COUNT - 1);
// refuseStatement where the token cannot begin a statement, so that the loop
// tests for none. End-of-statement tokens are the loop's own business.
const StatementHandler* statementHandlers();
// "Illegal Text": the statement begins with a token that begins none.
[[noreturn]] void refuseStatement();

// Enters the directives' handlers in a table indexed by token.
void addDirectiveRoutes(StatementHandler* table);

// By token (0 to TOKEN_COUNT - 1): whether the statements it begins emit
// bytes that follow from their tokens alone and change nothing but the
// position: the instructions but the relative jumps, and the data
// directives that write bytes.
const bool* tokensWithStandAloneBytes();
