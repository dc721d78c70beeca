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
// bytes that follow from their tokens, the labels they read and (relative
// jumps) their position, and change nothing but the position and (label
// definitions) a label's pass: the instructions, the data directives that
// write bytes and label definitions.
const bool* tokensWithStandAloneBytes();
