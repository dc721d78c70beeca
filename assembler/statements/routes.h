// Which handler assembles a statement that begins with a given token.
#pragma once

#include "dispatcher.h"

// The handler of each token, indexed by token (0 to TOKEN_COUNT - 1);
// nullptr where the token cannot begin a statement. End-of-statement tokens
// are the loop's own business and have none.
const StatementHandler* statementHandlers();

// Enters the directives' handlers in a table indexed by token.
void addDirectiveRoutes(StatementHandler* table);
